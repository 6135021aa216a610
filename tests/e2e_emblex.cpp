// emblex end to end: the font, screen memory and colour memory of a logo.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <memory>

#include "c64/picture.h"
#include "run_program.h"
#include "test_pictures.h"

namespace {

const std::string banner = "EMBLEX v0.9.0 - turns a picture into a character-mode logo\n";
const std::string usage =
    "Usage: EMBLEX infile outfile1 outfile2 outfile3 [switches]\n"
    "\n"
    "switches are :\n"
    "\n"
    "-k   pictures in koala painter format (multi-color bitmap) (default)\n"
    "-a   pictures in amica paint   format (multi-color bitmap)\n"
    "-s   pictures in art studio    format (hires       bitmap)\n"
    "\n"
    "-0NN bits 00 for multi-color pictures (Background : $D021)\n"
    "     or bit 0 for hires pictures      (Background : $D021)\n"
    "     assigned to the color NN\n"
    "-1NN bits 01 for multi-color pictures (MC-Color1  : $d022)\n"
    "     assigned to the color NN\n"
    "-2NN bits 10 for multi-color pictures (MC-Color2  : $d023)\n"
    "     assigned to the color NN\n"
    "-?   display this help\n\n"
    "     outfile1 is the font file\n"
    "     outfile2 is the screen memory file\n"
    "     outfile3 is the color memory file\n";
const std::string success = banner + "Ended process.\n";
const std::string parameters_message = "param\x82trage incorrect";
const std::string too_large_message = "valeur trop grande";

using Bytes = std::vector<std::uint8_t>;

void fill_cell(C64Picture& picture, int cell, std::uint8_t byte) {
    std::fill_n(picture.bitmap.begin() + cell * 8, 8, byte);
}

Bytes repeated(std::size_t count, std::uint8_t byte) {
    return Bytes(count, byte);
}

class Emblex : public ToolTest {
protected:
    void save(const std::string& name, const C64Picture& picture, int format = FORMAT_KOALA) const {
        ASSERT_EQ(save_multicolour_picture(file(name).string(), format, picture), ERR_SUCCESS);
    }
    void save(const std::string& name, const HiresPicture& picture) const {
        ASSERT_EQ(save_hires_picture(file(name).string(), picture), ERR_SUCCESS);
    }
    bool any_logo_file(const std::string& base) const {
        return exists(base + ".fnt") || exists(base + ".scr") || exists(base + ".col");
    }
    // arguments[1] is the base name of the three outputs.
    void expect_failure(const std::vector<std::string>& arguments, ErrorCode code, const std::string& message) const {
        const ProgramResult result = run("emblex", arguments);
        EXPECT_EQ(result.status, status_of(code));
        EXPECT_EQ(result.output, banner + error_block(message, usage));
        EXPECT_FALSE(any_logo_file(arguments[1])) << "a rejected picture must leave no output";
    }
};

TEST_F(Emblex, HelpNamesAndUnreadablePictures) {
    ProgramResult result = run("emblex", {"-?"});
    EXPECT_EQ(result.output, banner + usage);
    EXPECT_EQ(result.status, 0);

    // Three names: refused before the (missing) picture is looked for.
    expect_failure({"pic", "logo", "logo"}, ERR_PARAMETERS, parameters_message);
    expect_failure({"pic", "logo", "logo.", "logo"}, ERR_PARAMETERS, parameters_message);
    expect_failure({"pic", "logo", "logo", "logo"}, ERR_OPEN, "ouverture fichier impossible");

    write_bytes(file("short.koa"), repeated(10002, 0));
    expect_failure({"short", "logo", "logo", "logo"}, ERR_READ, "probl\x8Ame de lecture de fichier");
    write_bytes(file("broken.ami"), {0x00, 0x40, 0x01, 0xC2, 0x00});
    expect_failure({"broken", "logo", "logo", "logo", "-a"}, ERR_INVALID_AMICA, "invalid amica paint file");
}

TEST_F(Emblex, EmptyPictureWithAndWithoutItsBackground) {
    save("pic.koa", *uniform_multicolour_picture(5, 0x12, 0x03));

    ProgramResult result = run("emblex", {"pic", "logo", "logo", "logo", "-05"});
    EXPECT_EQ(result.output, success);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(read_bytes(file("logo.fnt")), repeated(2048, 0));
    EXPECT_EQ(read_bytes(file("logo.scr")), repeated(1000, 0));
    EXPECT_EQ(read_bytes(file("logo.col")), repeated(1000, 0));

    // Shared colours 0, 0, 0: the background 5 becomes every cell's own
    // colour, drawn by pair 11.
    result = run("emblex", {"pic.koa", "font.bin", "screen.bin", "colour.bin"});
    EXPECT_EQ(result.output, success);
    Bytes font = repeated(2048, 0);
    std::fill_n(font.begin(), 8, 0xFF);
    EXPECT_EQ(read_bytes(file("font.bin")), font);
    EXPECT_EQ(read_bytes(file("screen.bin")), repeated(1000, 0));
    EXPECT_EQ(read_bytes(file("colour.bin")), repeated(1000, 5));
}

TEST_F(Emblex, CellsThatLearnNoColourKeepTheLastOneLearned) {
    // Shared colours 0, 1, 2; pair 11 shows each cell's colour memory.
    auto picture = uniform_multicolour_picture(0, 0x12, 0x09);  // 9 is never shown
    fill_cell(*picture, 10, 0xFF);
    picture->colour[10] = 3;
    fill_cell(*picture, 11, 0xFF);
    picture->colour[11] = 6;       // same pattern as cell 10, other colour
    fill_cell(*picture, 12, 0x66);  // shared colours only
    fill_cell(*picture, 130, 0xFF);
    picture->colour[130] = 4;      // the only learning cell of cell row 3
    save("pic.koa", *picture);

    ASSERT_EQ(run("emblex", {"pic", "logo", "logo", "logo", "-00", "-11", "-22"}).output, success);
    const Bytes colours = read_bytes(file("logo.col"));
    ASSERT_EQ(colours.size(), 1000u);
    EXPECT_EQ(colours[10], 3);
    EXPECT_EQ(colours[11], 6);
    EXPECT_EQ(colours[12], 6) << "nearest learning cell to the left";
    EXPECT_EQ(colours[39], 6);
    EXPECT_EQ(colours[0], 6) << "rightmost learning cell of the same row";
    EXPECT_EQ(colours[9], 6);
    EXPECT_EQ(colours[80], 6) << "rightmost learning cell of the row above";
    EXPECT_EQ(colours[120], 4);
    EXPECT_EQ(colours[130], 4);
    EXPECT_EQ(colours[999], 4);

    const Bytes screen = read_bytes(file("logo.scr"));
    EXPECT_EQ(screen[0], 0);
    EXPECT_EQ(screen[10], 1);
    EXPECT_EQ(screen[11], 1) << "equal patterns share a character";
    EXPECT_EQ(screen[12], 2);
    EXPECT_EQ(screen[130], 1);
    EXPECT_EQ(screen[999], 0);
    Bytes font = repeated(2048, 0);
    std::fill_n(font.begin() + 8, 8, 0xFF);
    std::fill_n(font.begin() + 16, 8, 0x66);
    EXPECT_EQ(read_bytes(file("logo.fnt")), font);
}

TEST_F(Emblex, AmicaInputGivesTheSameLogo) {
    auto picture = uniform_multicolour_picture(0, 0x12, 0x05);
    for (int cell = 0; cell < CELL_COUNT; cell += 3) {
        fill_cell(*picture, cell, static_cast<std::uint8_t>(0x1B + cell % 5));
    }
    save("pic.koa", *picture);
    save("pic.ami", *picture, FORMAT_AMICA);
    ASSERT_EQ(run("emblex", {"pic", "koala", "koala", "koala", "-00", "-11", "-22"}).output, success);
    ASSERT_EQ(run("emblex", {"pic", "amica", "amica", "amica", "-a", "-00", "-11", "-22"}).output, success);
    for (const char* extension : {".fnt", ".scr", ".col"}) {
        EXPECT_EQ(read_bytes(file(std::string("amica") + extension)), read_bytes(file(std::string("koala") + extension)))
            << extension;
    }
    EXPECT_EQ(read_bytes(file("koala.col")), repeated(1000, 5));
}

TEST_F(Emblex, HiresForegroundIsLearnedPerCell) {
    auto picture = std::make_unique<HiresPicture>();
    picture->bitmap.fill(0xF0);
    picture->screen.fill(0x1E);  // set bits colour 1, clear bits colour 14
    save("pic.art", *picture);

    ProgramResult result = run("emblex", {"pic", "logo", "logo", "logo", "-s", "-014"});
    EXPECT_EQ(result.output, success);
    Bytes font = repeated(2048, 0);
    std::fill_n(font.begin(), 8, 0xF0);
    EXPECT_EQ(read_bytes(file("logo.fnt")), font);
    EXPECT_EQ(read_bytes(file("logo.scr")), repeated(1000, 0));
    EXPECT_EQ(read_bytes(file("logo.col")), repeated(1000, 1));

    // Background 1: the bits are inverted and 14 is the foreground. -k loses
    // to -s; -1 and -2 mean nothing for hires pictures.
    result = run("emblex", {"pic", "inv", "inv", "inv", "-k", "-s", "-01", "-17", "-29"});
    EXPECT_EQ(result.output, success);
    std::fill_n(font.begin(), 8, 0x0F);
    EXPECT_EQ(read_bytes(file("inv.fnt")), font);
    EXPECT_EQ(read_bytes(file("inv.col")), repeated(1000, 14));

    // Two colours, neither of them the background.
    expect_failure({"pic", "logo2", "logo2", "logo2", "-s", "-05"}, ERR_PARAMETERS, parameters_message);
}

TEST_F(Emblex, ColoursBesidesTheSharedOnes) {
    // Pairs 01 and 10 show 3 and 12 with shared colours 0, 1, 2: the first
    // extra colour found decides which error comes first.
    auto picture = uniform_multicolour_picture(0, 0x3C, 0x01);
    picture->bitmap.fill(0x1B);
    save("two.koa", *picture);
    expect_failure({"two", "logo", "logo", "logo", "-00", "-11", "-22"}, ERR_PARAMETERS, parameters_message);

    picture->screen.fill(0xC3);
    save("bright.koa", *picture);
    expect_failure({"bright", "logo", "logo", "logo", "-00", "-11", "-22"}, ERR_VALUE_TOO_LARGE, too_large_message);

    // A bright colour that a shared slot holds is fine; one that no pixel
    // shows never counts.
    ASSERT_EQ(run("emblex", {"bright", "logo", "logo", "logo", "-00", "-112", "-23"}).output, success);
    picture->bitmap.fill(0x00);
    save("hidden.koa", *picture);
    ASSERT_EQ(run("emblex", {"hidden", "logo", "logo", "logo"}).output, success);
    EXPECT_EQ(read_bytes(file("logo.col")), repeated(1000, 0));
}

TEST_F(Emblex, AtMost255Characters) {
    // Background 0 and shared colours 0, 1, 2: pair 11 shows colour 3, the
    // learned one, so every pattern stays as it is.
    auto picture = uniform_multicolour_picture(0, 0x12, 0x03);
    for (int cell = 0; cell < CELL_COUNT; ++cell) {
        picture->bitmap[cell * 8] = static_cast<std::uint8_t>(cell * 7 % 255);
    }
    save("full.koa", *picture);
    ASSERT_EQ(run("emblex", {"full", "logo", "logo", "logo", "-00", "-11", "-22"}).output, success);
    const Bytes screen = read_bytes(file("logo.scr"));
    const Bytes font = read_bytes(file("logo.fnt"));
    ASSERT_EQ(screen.size(), 1000u);
    ASSERT_EQ(font.size(), 2048u);
    for (int cell = 0; cell < CELL_COUNT; ++cell) {
        ASSERT_EQ(screen[cell], cell % 255) << cell;
    }
    for (int character = 0; character < 255; ++character) {
        ASSERT_EQ(font[character * 8], character * 7 % 255) << character;
        ASSERT_EQ(font[character * 8 + 1], 0);
    }
    EXPECT_TRUE(std::all_of(font.begin() + 255 * 8, font.end(), [](std::uint8_t byte) { return byte == 0; }));
    std::filesystem::remove(file("logo.fnt"));
    std::filesystem::remove(file("logo.scr"));
    std::filesystem::remove(file("logo.col"));

    // The 256th distinct pattern, in the very last cell, is one too many.
    picture->bitmap[999 * 8 + 1] = 0x01;
    save("over.koa", *picture);
    expect_failure({"over", "logo", "logo", "logo", "-00", "-11", "-22"}, ERR_VALUE_TOO_LARGE, too_large_message);
}

// The colour memory is written first, but the three files appear together
// or not at all.
TEST_F(Emblex, AFontThatCannotBeCreatedLeavesNoColourMemory) {
    save("pic.koa", *uniform_multicolour_picture(0, 0x12, 0x03));
    std::filesystem::create_directory(file("logo.fnt"));
    const ProgramResult result = run("emblex", {"pic", "logo", "logo", "logo"});
    EXPECT_EQ(result.status, status_of(ERR_CREATE));
    EXPECT_EQ(result.output, banner + error_block("cr\x82" "ation fichier impossible", usage));
    EXPECT_FALSE(exists("logo.col"));
    EXPECT_FALSE(exists("logo.scr"));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), std::filesystem::directory_iterator()), 2);
}

}  // namespace
