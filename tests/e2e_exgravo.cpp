// exgravo end to end: names, console output, PCX bytes, failures.
#include <algorithm>
#include <array>
#include <cstdlib>
#include <memory>

#include "png_builder.h"
#include "run_program.h"
#include "test_pictures.h"

namespace {

const std::string EXGRAVO_BANNER = "EXGRAVO v1.0.0beta - converts a C64 picture into a PCX image\n";
const std::string EXGRAVO_USAGE =
    "Usage: EXGRAVO infile [outfile] [switches]\n"
    "\n"
    "switches are :\n"
    "-k source picture in koala painter format (multi-color bitmap) (default)\n"
    "-a source picture in amica paint   format (multi-color bitmap)          \n"
    "-s source picture in art studio    format (hires       bitmap)          \n"
    "-? display this help                                                    \n"
    "-cNN palette of the image, 0 to 26 of the palette library (default: 12)\n";
const std::string RANGE_ERROR_TAIL = "]\n" + error_block("param\x82trage incorrect", EXGRAVO_USAGE);

// The PCX of an image filled with one colour below 0xC0: 12 bytes a row.
std::vector<std::uint8_t> one_colour_pcx(std::uint8_t colour, int palette) {
    std::vector<std::uint8_t> file{0x0A, 5, 1, 8, 0, 0, 0, 0, 0x3F, 0x01, 0xC7, 0x00, 0x40, 0x01, 0xC8, 0x00};
    file.resize(128, 0);
    file[65] = 1;
    file[66] = 0x40;
    file[67] = 0x01;
    for (int y = 0; y < 200; ++y) {
        for (int run = 0; run < 5; ++run) file.insert(file.end(), {0xFF, colour});
        file.insert(file.end(), {0xC5, colour});
    }
    file.push_back(0x0C);
    for (const auto& entry : c64_palettes[palette]) file.insert(file.end(), entry.begin(), entry.end());
    file.resize(file.size() + 240 * 3, 0);
    return file;
}

class Exgravo : public ToolTest {};

TEST_F(Exgravo, KoalaPictureBecomesPcxBesideIt) {
    auto picture = random_multicolour_picture(5, 6);
    picture->bitmap.fill(0);
    save_multicolour_picture(file("pic.koa").string(), FORMAT_KOALA, *picture);
    const ProgramResult result = run("exgravo", {"pic"});
    EXPECT_EQ(result.output, EXGRAVO_BANNER + "background colour = $06\nmost  used colour = $06\nEnded process.\n");
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(read_bytes(file("pic.pcx")), one_colour_pcx(6, 12));

    // A named output, palette 0; a third name is ignored.
    EXPECT_EQ(run("exgravo", {"pic", "out", "-p0", "extra"}).status, 0);
    EXPECT_EQ(read_bytes(file("out.pcx")), one_colour_pcx(6, 0));
    EXPECT_FALSE(exists("extra.pcx"));
}

TEST_F(Exgravo, AmicaAndArtStudioRenderLikeTheLibrary) {
    const auto multicolour = random_multicolour_picture(21, 14);
    save_multicolour_picture(file("pic.ami").string(), FORMAT_AMICA, *multicolour);
    ProgramResult result = run("exgravo", {"-a", "pic.ami", "-p$5"});
    EXPECT_EQ(result.output.substr(EXGRAVO_BANNER.size(), 24), "background colour = $0e\n");
    auto image = std::make_unique<PixelImage>();
    ASSERT_EQ(pcx_read(file("pic.pcx").string(), *image), 0);
    EXPECT_TRUE(image->pixels == rendered(*multicolour, 5)->pixels);
    EXPECT_TRUE(image->palette == rendered(*multicolour, 5)->palette);

    // -s wins over -k: pic.art is read, and no background is reported.
    const auto hires = random_hires_picture(22);
    save_hires_picture(file("pic.art").string(), *hires);
    result = run("exgravo", {"-s", "-k", "pic"});
    std::uint8_t most_used = 0;
    most_used_colour(*rendered(*hires), most_used);
    char line[64];
    std::snprintf(line, sizeof line, "most  used colour = $%02x\nEnded process.\n", most_used);
    EXPECT_EQ(result.output, EXGRAVO_BANNER + line);
    ASSERT_EQ(pcx_read(file("pic.pcx").string(), *image), 0);
    EXPECT_TRUE(image->pixels == rendered(*hires)->pixels);
}

TEST_F(Exgravo, CommandLineErrors) {
    EXPECT_EQ(run("exgravo", {"-?"}).output, EXGRAVO_BANNER + EXGRAVO_USAGE);
    ProgramResult result = run("exgravo", {});
    EXPECT_EQ(result.output, EXGRAVO_BANNER + error_block("param\x82trage incorrect", EXGRAVO_USAGE));
    EXPECT_EQ(result.status, status_of(ERR_PARAMETERS));
    result = run("exgravo", {"pic", "-p13"});
    EXPECT_EQ(result.output, EXGRAVO_BANNER + "Valeur : 13 en dehors de l'intervalle : [0, 12]\n" +
                                 error_block("param\x82trage incorrect", EXGRAVO_USAGE));
    result = run("exgravo", {"pic.pcx"});
    EXPECT_EQ(result.output, EXGRAVO_BANNER + error_block("noms de fichiers \x82gaux", EXGRAVO_USAGE));
    EXPECT_EQ(result.status, status_of(ERR_SAME_FILE_NAMES));
    EXPECT_EQ(run("exgravo", {"pic."}).status, status_of(ERR_PARAMETERS));
}

TEST_F(Exgravo, BadPicturesLeaveNoPcx) {
    EXPECT_EQ(run("exgravo", {"missing"}).status, status_of(ERR_OPEN));
    write_bytes(file("short.koa"), std::vector<std::uint8_t>(10002, 0));
    EXPECT_EQ(run("exgravo", {"short"}).status, status_of(ERR_READ));
    write_bytes(file("short.art"), std::vector<std::uint8_t>(9008, 0));
    EXPECT_EQ(run("exgravo", {"-s", "short"}).status, status_of(ERR_READ));
    write_bytes(file("bad.ami"), {0x00, 0x40, 1, 2, 3, 0xC2, 0x00});  // early end marker
    EXPECT_EQ(run("exgravo", {"-a", "bad"}).status, status_of(ERR_INVALID_AMICA));
    write_bytes(file("cut.ami"), {0x00, 0x40, 0xC2, 0xFF});  // ends inside a run
    EXPECT_EQ(run("exgravo", {"-a", "cut"}).status, status_of(ERR_READ));
    EXPECT_FALSE(exists("short.pcx") || exists("bad.pcx") || exists("cut.pcx") || exists("missing.pcx"));
    write_bytes(file("pic.koa"), std::vector<std::uint8_t>(10003, 0));
    EXPECT_EQ(run("exgravo", {"pic", "no/such/folder/out"}).status, status_of(ERR_OPEN));
}

// colodore's colours, written down from its palette file: black, white, red,
// and light blue.
const std::vector<std::uint8_t> COLODORE_FIRST_THREE{0, 0, 0, 255, 255, 255, 129, 51, 56};
constexpr std::uint8_t COLODORE_LIGHT_BLUE[3] = {112, 109, 235};

// -c reaches the palettes beyond the built-in 13: the image carries the
// library palette's colours in entries 0 to 15 and black after them.
TEST_F(Exgravo, LibraryPaletteColoursTheImage) {
    const auto picture = random_multicolour_picture(41, 14);
    save_multicolour_picture(file("pic.koa").string(), FORMAT_KOALA, *picture);
    ASSERT_EQ(run("exgravo", {"pic", "-c13"}).status, 0);
    const auto pcx = read_bytes(file("pic.pcx"));
    ASSERT_GT(pcx.size(), 769u);
    const auto palette = pcx.end() - 768;
    EXPECT_EQ(palette[-1], 0x0C);
    EXPECT_TRUE(std::equal(COLODORE_FIRST_THREE.begin(), COLODORE_FIRST_THREE.end(), palette));
    EXPECT_TRUE(std::equal(COLODORE_LIGHT_BLUE, COLODORE_LIGHT_BLUE + 3, palette + 14 * 3));
    EXPECT_TRUE(std::all_of(palette + 48, pcx.end(), [](std::uint8_t byte) { return byte == 0; }));
    auto image = std::make_unique<PixelImage>();
    ASSERT_EQ(pcx_read(file("pic.pcx").string(), *image), 0);
    EXPECT_TRUE(image->pixels == rendered(*picture)->pixels);

    // A PNG output carries the same 16 colours; -c0 is palette 0, as -p0.
    ASSERT_EQ(run("exgravo", {"pic", "out.png", "-c13"}).status, 0);
    StoredPng png;
    ASSERT_TRUE(decode_stored_png(read_bytes(file("out.png")), png));
    ASSERT_EQ(png.palette.size(), 16u);
    EXPECT_EQ((std::array{png.palette[2].red, png.palette[2].green, png.palette[2].blue}),
              (std::array<std::uint8_t, 3>{129, 51, 56}));
    ASSERT_EQ(run("exgravo", {"pic", "zero", "-c0"}).status, 0);
    ASSERT_EQ(run("exgravo", {"pic", "zero_p", "-p0"}).status, 0);
    EXPECT_EQ(read_bytes(file("zero.pcx")), read_bytes(file("zero_p.pcx")));
}

TEST_F(Exgravo, PaletteSwitchesKeepTheirRangesAndExcludeEachOther) {
    save_multicolour_picture(file("pic.koa").string(), FORMAT_KOALA, *random_multicolour_picture(42, 0));
    ProgramResult result = run("exgravo", {"pic", "-c27"});
    EXPECT_EQ(result.output, EXGRAVO_BANNER + "Valeur : 27 en dehors de l'intervalle : [0, 26" + RANGE_ERROR_TAIL);
    EXPECT_EQ(result.status, status_of(ERR_PARAMETERS));
    result = run("exgravo", {"pic", "-p13"});
    EXPECT_EQ(result.output, EXGRAVO_BANNER + "Valeur : 13 en dehors de l'intervalle : [0, 12" + RANGE_ERROR_TAIL);
    result = run("exgravo", {"pic", "-c13", "-p12"});
    EXPECT_EQ(result.output, EXGRAVO_BANNER + error_block("param\x82trage incorrect", EXGRAVO_USAGE));
    EXPECT_EQ(result.status, status_of(ERR_PARAMETERS));
    EXPECT_FALSE(exists("pic.pcx"));
}

// Other PCX readers must see the colours of the palette: pcxtoppm, when the
// machine has it, turns the file into RGB pixels.
TEST_F(Exgravo, OtherReadersSeeThePaletteColours) {
    if (std::system("command -v pcxtoppm >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "pcxtoppm is not installed";
    }
    const auto picture = random_multicolour_picture(31, 2);
    save_multicolour_picture(file("pic.koa").string(), FORMAT_KOALA, *picture);
    ASSERT_EQ(run("exgravo", {"pic", "-p3"}).status, 0);
    const std::string command = "cd '" + folder.string() + "' && pcxtoppm pic.pcx > pic.ppm 2>/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    const auto ppm = read_bytes(file("pic.ppm"));
    const std::string header = "P6\n320 200\n255\n";
    ASSERT_EQ(ppm.size(), header.size() + 3 * 64000);
    ASSERT_EQ(std::string(ppm.begin(), ppm.begin() + static_cast<std::ptrdiff_t>(header.size())), header);
    const auto image = rendered(*picture, 3);
    for (std::size_t i = 0; i < 64000; ++i) {
        const auto& expected = c64_palettes[3][image->pixels[i]];
        const auto got = ppm.begin() + static_cast<std::ptrdiff_t>(header.size() + 3 * i);
        ASSERT_TRUE(std::equal(expected.begin(), expected.end(), got)) << "pixel " << i;
    }
}

}  // namespace
