// verimat end to end: counts, patch records, difference image, failures.
#include <memory>
#include <set>

#include "run_program.h"
#include "test_pictures.h"

namespace {

const std::string VERIMAT_BANNER = "VERIMAT v0.0.9beta - compares two C64 pictures cell by cell\n";
const std::string VERIMAT_USAGE =
    "Usage: VERIMAT infile1 infile2 [outfile1] [outfile2][switches]\n"
    "\n"
    "switches are :\n"
    "-k source picture in koala painter format (multi-color bitmap) (default)\n"
    "-a source picture in amica paint   format (multi-color bitmap)          \n"
    "-s source picture in art studio    format (hires       bitmap)          \n"
    "-? display this help                                                    \n"
    "-cNN palette of the difference image, 0 to 26 of the palette library (default: 12)\n";

using Bytes = std::vector<std::uint8_t>;

// Writes every multicolour record of a patch file into the picture.
void apply_multicolour_patch(const Bytes& patch, C64Picture& picture) {
    for (std::size_t at = 0; patch[at] != 0xFF || patch[at + 1] != 0xFF; at += 12) {
        const int cell = patch[at] | (patch[at + 1] << 8);
        picture.screen[cell] = patch[at + 2];
        picture.colour[cell] = patch[at + 3];
        std::copy_n(patch.begin() + static_cast<std::ptrdiff_t>(at + 4), 8, picture.bitmap.begin() + cell * 8);
    }
}

class Verimat : public ToolTest {
protected:
    Bytes pcx_bytes(const PixelImage& image) const {
        pcx_write(image, file("expected.pcx").string());
        return read_bytes(file("expected.pcx"));
    }
};

TEST_F(Verimat, IdenticalPicturesGiveAnEmptyPatch) {
    auto first = random_multicolour_picture(51, 6);
    save_multicolour_picture(file("a.koa").string(), FORMAT_KOALA, *first);
    // Cell 0 of the second picture shows the same pixels through other bytes.
    auto second = std::make_unique<C64Picture>(*first);
    std::fill_n(first->bitmap.begin(), 8, 0x55);
    first->screen[0] = 0x3C;
    std::fill_n(second->bitmap.begin(), 8, 0xAA);
    second->screen[0] = 0x33;
    save_multicolour_picture(file("a.koa").string(), FORMAT_KOALA, *first);
    save_multicolour_picture(file("b.koa").string(), FORMAT_KOALA, *second);
    const ProgramResult result = run("verimat", {"a", "b"});
    EXPECT_EQ(result.output, VERIMAT_BANNER + "0 different chars\nEnded process.\n");
    EXPECT_EQ(read_bytes(file("b.bin")), (Bytes{0xFF, 0xFF}));
    EXPECT_EQ(read_bytes(file("diff.pcx")), pcx_bytes(*rendered(*second)));
}

TEST_F(Verimat, OneDifferingCellGivesOneRecord) {
    auto first = random_multicolour_picture(52, 0);
    std::fill_n(first->bitmap.begin() + 41 * 8, 8, 0x00);
    auto second = std::make_unique<C64Picture>(*first);
    std::fill_n(second->bitmap.begin() + 41 * 8, 8, 0xE4);  // pairs 11 10 01 00
    second->screen[41] = 0x12;
    second->colour[41] = 0x03;
    save_multicolour_picture(file("a.ami").string(), FORMAT_AMICA, *first);
    save_multicolour_picture(file("b.ami").string(), FORMAT_AMICA, *second);
    EXPECT_EQ(run("verimat", {"a", "b", "-a", "patch", "marked", "-p5"}).output,
              VERIMAT_BANNER + "1 different chars\nEnded process.\n");
    const Bytes patch = read_bytes(file("patch.bin"));
    // Encoded from the pixels: colours 3, 2, 1 take pairs 01, 10, 11 as they appear.
    EXPECT_EQ(patch, (Bytes{0x29, 0x00, 0x32, 0x01, 0x6C, 0x6C, 0x6C, 0x6C, 0x6C, 0x6C, 0x6C, 0x6C, 0xFF, 0xFF}));
    apply_multicolour_patch(patch, *first);
    EXPECT_TRUE(rendered(*first)->pixels == rendered(*second)->pixels);

    auto marked = rendered(*second, 5);
    fill_cell(*marked, 41, 7);
    EXPECT_EQ(read_bytes(file("marked.pcx")), pcx_bytes(*marked));
    EXPECT_FALSE(exists("diff.pcx"));
}

TEST_F(Verimat, ArtStudioRecordsHaveNoColourByte) {
    auto first = random_hires_picture(53);
    auto second = std::make_unique<HiresPicture>(*first);
    second->screen[41] = static_cast<std::uint8_t>(~first->screen[41]);
    second->bitmap[41 * 8] = 0xF0;
    save_hires_picture(file("a.art").string(), *first);
    save_hires_picture(file("b.art").string(), *second);
    EXPECT_EQ(run("verimat", {"-s", "a", "b"}).output, VERIMAT_BANNER + "1 different chars\nEnded process.\n");
    const Bytes patch = read_bytes(file("b.bin"));
    ASSERT_EQ(patch.size(), 13u);
    EXPECT_EQ(patch[0], 0x29);
    EXPECT_EQ(patch[3], 0x0F);  // the top-left colour moves to the clear bits
    first->screen[41] = patch[2];
    std::copy_n(patch.begin() + 3, 8, first->bitmap.begin() + 41 * 8);
    EXPECT_TRUE(rendered(*first)->pixels == rendered(*second)->pixels);
}

// Backgrounds that differ make cells that no record can show for the first
// background; the run still writes a record for each of them.
TEST_F(Verimat, DifferentBackgroundsStillGiveEveryRecord) {
    auto first = random_multicolour_picture(54, 0);
    const auto second = random_multicolour_picture(55, 6);
    save_multicolour_picture(file("a.koa").string(), FORMAT_KOALA, *first);
    save_multicolour_picture(file("b.koa").string(), FORMAT_KOALA, *second);
    const ProgramResult result = run("verimat", {"a", "b"});
    ASSERT_EQ(result.status, 0);
    const auto first_image = rendered(*first);
    const auto second_image = rendered(*second);
    int differing = 0;
    std::set<int> beyond_limits;
    for (int cell = 0; cell < 1000; ++cell) {
        CellBlock a{}, b{};
        cell_block_get(cell, *first_image, a);
        cell_block_get(cell, *second_image, b);
        differing += a.pixels != b.pixels ? 1 : 0;
        std::uint8_t verdict = 0;
        cell_colour_check(b, false, 0, verdict);
        if (verdict != 0) beyond_limits.insert(cell);
    }
    EXPECT_EQ(result.output, VERIMAT_BANNER + std::to_string(differing) + " different chars\nEnded process.\n");
    const Bytes patch = read_bytes(file("b.bin"));
    ASSERT_EQ(patch.size(), 12u * static_cast<std::size_t>(differing) + 2);
    ASSERT_GT(beyond_limits.size(), 0u);

    apply_multicolour_patch(patch, *first);
    const auto patched = rendered(*first);
    for (int cell = 0; cell < 1000; ++cell) {
        CellBlock got{}, wanted{};
        cell_block_get(cell, *patched, got);
        cell_block_get(cell, *second_image, wanted);
        if (beyond_limits.count(cell) == 0) {
            ASSERT_EQ(got.pixels, wanted.pixels) << "cell " << cell;
            continue;
        }
        // Three of the four colours are shown where they are; the fourth
        // takes the colour of the last slot.
        const std::set<std::uint8_t> wanted_colours(wanted.pixels.begin(), wanted.pixels.end());
        const std::set<std::uint8_t> got_colours(got.pixels.begin(), got.pixels.end());
        EXPECT_EQ(got_colours.size(), 3u) << "cell " << cell;
        EXPECT_TRUE(
            std::includes(wanted_colours.begin(), wanted_colours.end(), got_colours.begin(), got_colours.end()));
    }
}

// -c takes any palette of the library for the difference image: colodore's
// red and light blue, written down from its palette file, end up in the file.
TEST_F(Verimat, LibraryPaletteColoursTheDifferenceImage) {
    auto first = random_multicolour_picture(57, 0);
    std::fill_n(first->bitmap.begin(), 8, 0x00);
    first->colour[0] = 1;
    auto second = std::make_unique<C64Picture>(*first);
    std::fill_n(second->bitmap.begin(), 8, 0xFF);  // cell 0 turns from the background to white
    save_multicolour_picture(file("a.koa").string(), FORMAT_KOALA, *first);
    save_multicolour_picture(file("b.koa").string(), FORMAT_KOALA, *second);
    EXPECT_EQ(run("verimat", {"a", "b", "-c13"}).output, VERIMAT_BANNER + "1 different chars\nEnded process.\n");
    const Bytes difference = read_bytes(file("diff.pcx"));
    ASSERT_GT(difference.size(), 768u);
    const auto palette = difference.end() - 768;
    EXPECT_EQ(Bytes(palette + 2 * 3, palette + 3 * 3), (Bytes{129, 51, 56}));
    EXPECT_EQ(Bytes(palette + 14 * 3, palette + 15 * 3), (Bytes{112, 109, 235}));
    auto marked = rendered(*second, 13);
    fill_cell(*marked, 0, 7);
    EXPECT_EQ(difference, pcx_bytes(*marked));
}

TEST_F(Verimat, PaletteSwitchesKeepTheirRangesAndExcludeEachOther) {
    save_multicolour_picture(file("a.koa").string(), FORMAT_KOALA, *random_multicolour_picture(58, 0));
    const std::string refused = error_block("param\x82trage incorrect", VERIMAT_USAGE);
    ProgramResult result = run("verimat", {"a", "a", "-c27"});
    EXPECT_EQ(result.output, VERIMAT_BANNER + "Valeur : 27 en dehors de l'intervalle : [0, 26]\n" + refused);
    EXPECT_EQ(result.status, status_of(ERR_PARAMETERS));
    result = run("verimat", {"a", "a", "-p13"});
    EXPECT_EQ(result.output, VERIMAT_BANNER + "Valeur : 13 en dehors de l'intervalle : [0, 12]\n" + refused);
    result = run("verimat", {"a", "a", "-p0", "-c0"});
    EXPECT_EQ(result.output, VERIMAT_BANNER + refused);
    EXPECT_EQ(result.status, status_of(ERR_PARAMETERS));
    EXPECT_FALSE(exists("a.bin") || exists("diff.pcx"));
}

TEST_F(Verimat, FailuresWriteNothing) {
    EXPECT_EQ(run("verimat", {"-?"}).output, VERIMAT_BANNER + VERIMAT_USAGE);
    EXPECT_EQ(run("verimat", {"a"}).output, VERIMAT_BANNER + error_block("param\x82trage incorrect", VERIMAT_USAGE));
    save_multicolour_picture(file("a.koa").string(), FORMAT_KOALA, *random_multicolour_picture(56, 0));
    EXPECT_EQ(run("verimat", {"a", "missing"}).status, status_of(ERR_OPEN));
    write_bytes(file("short.koa"), Bytes(10002, 0));
    EXPECT_EQ(run("verimat", {"a", "short"}).status, status_of(ERR_READ));
    EXPECT_EQ(run("verimat", {"a", "a", "-p13"}).status, status_of(ERR_PARAMETERS));
    EXPECT_FALSE(exists("missing.bin") || exists("short.bin") || exists("a.bin") || exists("diff.pcx"));
    // Both outputs in one file would lose the patch.
    EXPECT_EQ(run("verimat", {"a", "a", "same.pcx", "same"}).status, status_of(ERR_SAME_FILE_NAMES));
    EXPECT_EQ(run("verimat", {"a", "a", "no/such/patch"}).status, status_of(ERR_CREATE));
    EXPECT_EQ(run("verimat", {"a", "a", "patch", "no/such/diff"}).status, status_of(ERR_OPEN));
}

}  // namespace
