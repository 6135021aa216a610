// snippel end to end: names, grids, failures that leave no sprite file.
#include <memory>
#include <string>
#include <vector>

#include "c64/picture.h"
#include "run_program.h"

namespace {

const std::string SNIPPEL_USAGE =
    "Usage: SNIPPEL infile outfile [switches]\n"
    "\n"
    "switches are :\n"
    "\n"
    "-k   source picture in koala painter format (multi-color bitmap) (default)\n"
    "-a   source picture in amica paint   format (multi-color bitmap)\n"
    "-s   source picture in art studio    format (hires       bitmap)\n"
    "-x   x-coordinate of the sprite in the picture\n"
    "-y   y-coordinate of the sprite in the picture\n"
    "-w   width  of the sprite in pixels\n"
    "-h   height of the sprite in pixels\n"
    "-0NN bits 00 for multi-color pictures or bit 0 for hires pictures\n"
    "     assigned to the color NN\n"
    "-1NN bits 01 for multi-color pictures or bit 1 for hires pictures\n"
    "     assigned to the color NN\n"
    "-2NN bits 10 for multi-color pictures assigned to the color NN\n"
    "-3NN bits 11 for multi-color pictures assigned to the color NN\n";

const std::string BANNER = "SNIPPEL v0.9.0 - cuts sprites out of a C64 picture\n";
const std::string PARAMETERS_MESSAGE = "param\x82trage incorrect";

// An Art Studio file: every screen byte 0x6E (bit 0 colour 14, bit 1
// colour 6) and bitmap byte i holding i mod 251.
std::vector<std::uint8_t> art_studio_file() {
    std::vector<std::uint8_t> bytes(9009, 0);
    bytes[1] = 0x20;
    for (int i = 0; i < 8000; ++i) {
        bytes[2 + i] = static_cast<std::uint8_t>(i % 251);
    }
    std::fill(bytes.begin() + 8002, bytes.begin() + 9002, 0x6E);
    return bytes;
}

// The sprite line j byte b of a hires cut at 0,0 with colours 14 / 6.
std::uint8_t hires_byte(const std::vector<std::uint8_t>& art, int line, int column_byte) {
    return art[2 + (line / 8) * 320 + column_byte * 8 + line % 8];
}

std::unique_ptr<C64Picture> multicolour_picture(std::uint8_t background, std::uint8_t screen, std::uint8_t colour) {
    auto picture = std::make_unique<C64Picture>();
    for (int i = 0; i < 8000; ++i) {
        picture->bitmap[i] = static_cast<std::uint8_t>(i * 7);
    }
    picture->screen.fill(screen);
    picture->colour.fill(colour);
    picture->background = background;
    return picture;
}

using Snippel = ToolTest;

TEST_F(Snippel, DefaultNamesFormatAndColours) {
    auto picture = multicolour_picture(0, 0, 0);
    ASSERT_EQ(save_multicolour_picture(file("pic.koa").string(), FORMAT_KOALA, *picture), 0);
    const ProgramResult result = run("snippel", {"pic", "sprite", "-w24", "-h21"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.output, BANNER + "Ended process.\n");
    // 24 double-width pixels are two sprites; colour 0, named for all four
    // patterns, gives the highest, bits 11. Byte 63 of each block stays 0.
    std::vector<std::uint8_t> expected(128, 0xFF);
    expected[63] = expected[127] = 0;
    EXPECT_EQ(read_bytes(file("sprite.spr")), expected);

    EXPECT_EQ(run("snippel", {"pic", "sprite.bin", "-w24", "-h21"}).status, 0);
    EXPECT_TRUE(exists("sprite.bin")) << "a name with an extension keeps it";

    // One cell with colour memory 1 among the cells the cut reads.
    picture->colour[41] = 1;
    ASSERT_EQ(save_multicolour_picture(file("pic.koa").string(), FORMAT_KOALA, *picture), 0);
    const ProgramResult refused = run("snippel", {"pic", "other", "-w24", "-h21"});
    EXPECT_EQ(refused.status, status_of(ERR_PARAMETERS));
    EXPECT_EQ(refused.output, BANNER + error_block(PARAMETERS_MESSAGE, SNIPPEL_USAGE));
    EXPECT_FALSE(exists("other.spr"));
}

TEST_F(Snippel, HiresSpriteAndTwoByTwoGrid) {
    const std::vector<std::uint8_t> art = art_studio_file();
    write_bytes(file("pic.art"), art);
    // Colour 14 for bit 0 and 6 for bit 1 keep the bitmap bits; -2 and -3
    // do nothing for hires pictures.
    ASSERT_EQ(run("snippel", {"pic", "one", "-s", "-w24", "-h21", "-014", "-1$6", "-27", "-3%101"}).status, 0);
    const std::vector<std::uint8_t> one = read_bytes(file("one.spr"));
    ASSERT_EQ(one.size(), 64u);
    for (int line = 0; line < 21; ++line) {
        for (int b = 0; b < 3; ++b) {
            ASSERT_EQ(one[line * 3 + b], hires_byte(art, line, b)) << "line " << line << " byte " << b;
        }
    }
    EXPECT_EQ(one[63], 0);

    ASSERT_EQ(run("snippel", {"pic", "grid", "-s", "-w25", "-h22", "-014", "-16"}).status, 0);
    const std::vector<std::uint8_t> grid = read_bytes(file("grid.spr"));
    ASSERT_EQ(grid.size(), 256u);
    EXPECT_TRUE(std::equal(one.begin(), one.end(), grid.begin())) << "block 0 is the 24 by 21 cut";
    // Block 1, line 0: pixel 24 from the picture, padding takes colour 14 (bit 0).
    EXPECT_EQ(grid[64], hires_byte(art, 0, 3) & 0x80);
    // Block 2, line 0 is picture line 21; block 3 line 1 is a padding line.
    EXPECT_EQ(grid[128], hires_byte(art, 21, 0));
    EXPECT_EQ(grid[192 + 3], 0);

    // -k and -s together read the Art Studio file.
    EXPECT_EQ(run("snippel", {"pic", "both", "-k", "-s", "-w24", "-h21", "-014", "-16"}).status, 0);
    EXPECT_EQ(read_bytes(file("both.spr")), one);
}

TEST_F(Snippel, AmicaPictureAndMulticolourBits) {
    auto picture = multicolour_picture(0, 0x52, 0x07);
    ASSERT_EQ(save_multicolour_picture(file("pic.ami").string(), FORMAT_AMICA, *picture), 0);
    ASSERT_EQ(run("snippel", {"pic", "mc", "-a", "-w12", "-h21", "-00", "-15", "-22", "-37"}).status, 0);
    const std::vector<std::uint8_t> sprite = read_bytes(file("mc.spr"));
    ASSERT_EQ(sprite.size(), 64u);
    for (int line = 0; line < 21; ++line) {
        for (int b = 0; b < 3; ++b) {
            ASSERT_EQ(sprite[line * 3 + b], picture->bitmap[(line / 8) * 320 + b * 8 + line % 8]);
        }
    }
}

TEST_F(Snippel, FailuresLeaveTheSpriteFileAlone) {
    auto picture = multicolour_picture(0, 0, 0);
    ASSERT_EQ(save_multicolour_picture(file("pic.koa").string(), FORMAT_KOALA, *picture), 0);
    const std::vector<std::uint8_t> earlier = {1, 2, 3};
    write_bytes(file("keep.spr"), earlier);

    const ProgramResult outside = run("snippel", {"pic", "keep", "-x150", "-w12", "-h21"});
    EXPECT_EQ(outside.status, status_of(ERR_VALUE_TOO_LARGE));
    EXPECT_EQ(outside.output, BANNER + error_block("valeur trop grande", SNIPPEL_USAGE));
    EXPECT_EQ(run("snippel", {"pic", "keep", "-y180", "-w12", "-h20"}).status, status_of(ERR_INDEX_OUT_OF_TABLE));
    // A multicolour rectangle as wide as the hires screen needs a grid larger
    // than any picture's: refused before a byte of it is touched.
    EXPECT_EQ(run("snippel", {"pic", "keep", "-w320", "-h200"}).status, status_of(ERR_VALUE_TOO_LARGE));
    EXPECT_EQ(run("snippel", {"pic", "keep", "-w12"}).status, status_of(ERR_PARAMETERS));
    EXPECT_EQ(run("snippel", {"pic", "keep", "-h21"}).status, status_of(ERR_PARAMETERS));
    EXPECT_EQ(run("snippel", {"pic", "-w12", "-h21"}).status, status_of(ERR_PARAMETERS));
    EXPECT_EQ(run("snippel", {"missing", "keep", "-w12", "-h21"}).status, status_of(ERR_OPEN));
    write_bytes(file("short.koa"), std::vector<std::uint8_t>(10002, 0));
    EXPECT_EQ(run("snippel", {"short", "keep", "-w12", "-h21"}).status, status_of(ERR_READ));
    EXPECT_EQ(run("snippel", {"pic", "keep.", "-w12", "-h21"}).status, status_of(ERR_PARAMETERS));
    const std::vector<std::uint8_t> picture_bytes = read_bytes(file("pic.koa"));
    const ProgramResult same = run("snippel", {"pic", "pic.koa", "-w12", "-h21"});
    EXPECT_EQ(same.output, BANNER + error_block("noms de fichiers \x82gaux", SNIPPEL_USAGE));
    EXPECT_EQ(read_bytes(file("pic.koa")), picture_bytes) << "the picture is never replaced by its sprites";

    const ProgramResult range = run("snippel", {"pic", "keep", "-w321", "-h21"});
    EXPECT_EQ(range.status, status_of(ERR_PARAMETERS));
    EXPECT_EQ(range.output, BANNER + "Valeur : 321 en dehors de l'intervalle : [1, 320]\n" +
                                error_block(PARAMETERS_MESSAGE, SNIPPEL_USAGE));
    EXPECT_EQ(read_bytes(file("keep.spr")), earlier);

    const ProgramResult help = run("snippel", {"-?"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.output, BANNER + SNIPPEL_USAGE);
}

}  // namespace
