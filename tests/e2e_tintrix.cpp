// tintrix end to end: pictures rewritten with the colour sources named.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "c64/picture.h"
#include "run_program.h"

namespace {

const std::string banner = "TINTRIX v0.9.1 - gives each colour of a picture the colour source you name\n";
const std::string usage =
    "Usage: TINTRIX infile outfile [switches]\n"
    "\n"
    "switches are :\n"
    "\n"
    "-k   pictures in koala painter format (multi-color bitmap in 4 colors)\n"
    "-a   pictures in amica paint   format (multi-color bitmap in 4 colors)\n"
    "-s   pictures in art studio    format (hires       bitmap in 2 colors)\n"
    "\n"
    "-0NN bits 00 for multi-color pictures (Background    : $D021      )\n"
    "     or bit 0 for hires pictures      (LN-Screen-RAM : $0400-$07E7)\n"
    "     assigned to the color NN\n"
    "-1NN bits 01 for multi-color pictures (HN-Screen-RAM : $0400-$07E7)\n"
    "     or bit 1 for hires pictures      (HN-Screen-RAM : $0400-$07E7)\n"
    "     assigned to the color NN\n"
    "-2NN bits 10 for multi-color pictures (LN-Screen-RAM : $0400-$07E7)\n"
    "     assigned to the color NN\n"
    "-3NN bits 11 for multi-color pictures (Color-RAM     : $D800-$DBE7)\n"
    "     assigned to the color NN\n"
    "\n"
    "-?   display this help\n";
const std::string success = banner + "Ended process.\n";
const std::string parameters_message = "param\x82trage incorrect";

using Bytes = std::vector<std::uint8_t>;

// Background 0, pair 01 colour 1, pair 10 colour 2, pair 11 colour 3, and a
// bitmap that mixes all four pairs (0x1B among its bytes).
std::unique_ptr<C64Picture> four_colour_picture() {
    auto picture = std::make_unique<C64Picture>();
    for (int i = 0; i < BITMAP_SIZE; ++i) {
        picture->bitmap[i] = static_cast<std::uint8_t>(0x1B + i * 37);
    }
    picture->screen.fill(0x12);
    picture->colour.fill(0x03);
    picture->background = 0;
    return picture;
}

std::uint8_t swap_pairs_01_and_10(std::uint8_t byte) {
    std::uint8_t swapped = 0;
    for (int shift = 0; shift < 8; shift += 2) {
        int pair = (byte >> shift) & 3;
        if (pair == 1 || pair == 2) {
            pair ^= 3;
        }
        swapped = static_cast<std::uint8_t>(swapped | (pair << shift));
    }
    return swapped;
}

class Tintrix : public ToolTest {
protected:
    void save(const std::string& name, const C64Picture& picture, int format = FORMAT_KOALA) const {
        ASSERT_EQ(save_multicolour_picture(file(name).string(), format, picture), ERR_SUCCESS);
    }
    std::unique_ptr<C64Picture> load(const std::string& name, int format = FORMAT_KOALA) const {
        auto picture = std::make_unique<C64Picture>();
        EXPECT_EQ(load_multicolour_picture(file(name).string(), format, *picture), ERR_SUCCESS);
        return picture;
    }
    void expect_failure(const std::vector<std::string>& arguments, ErrorCode code, const std::string& message,
                        const std::string& output_name) const {
        const ProgramResult result = run("tintrix", arguments);
        EXPECT_EQ(result.status, status_of(code));
        EXPECT_EQ(result.output, banner + error_block(message, usage));
        EXPECT_FALSE(exists(output_name)) << "a rejected picture must leave no output";
    }
};

TEST_F(Tintrix, HelpAndNames) {
    const ProgramResult result = run("tintrix", {"-?"});
    EXPECT_EQ(result.output, banner + usage);
    EXPECT_EQ(result.status, 0);

    expect_failure({"pic"}, ERR_PARAMETERS, parameters_message, "pic.koa");
    // Both names end up as pic.koa: refused before the (missing) file is read.
    expect_failure({"pic", "pic.koa"}, ERR_SAME_FILE_NAMES, "noms de fichiers \x82gaux", "pic.koa");
    expect_failure({"pic.art", "pic", "-s"}, ERR_SAME_FILE_NAMES, "noms de fichiers \x82gaux", "pic.art");
    expect_failure({"pic", "out"}, ERR_OPEN, "ouverture fichier impossible", "out.koa");
    expect_failure({"pic", "out."}, ERR_PARAMETERS, parameters_message, "out.");

    write_bytes(file("short.koa"), Bytes(10002, 0));
    expect_failure({"short", "out"}, ERR_READ, "probl\x8Ame de lecture de fichier", "out.koa");
}

TEST_F(Tintrix, IdentitySwapAndReversal) {
    const auto source = four_colour_picture();
    // The output name takes the format's extension, whatever the input's.
    save("pic.bin", *source);
    ProgramResult result = run("tintrix", {"pic.bin", "same", "-00", "-11", "-22", "-33"});
    EXPECT_EQ(result.output, success);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(read_bytes(file("same.koa")), read_bytes(file("pic.bin")));

    ASSERT_EQ(run("tintrix", {"pic.bin", "swapped", "-00", "-12", "-21", "-33"}).output, success);
    const auto swapped = load("swapped.koa");
    for (int i = 0; i < BITMAP_SIZE; ++i) {
        ASSERT_EQ(swapped->bitmap[i], swap_pairs_01_and_10(source->bitmap[i])) << i;
    }
    EXPECT_TRUE(std::all_of(swapped->screen.begin(), swapped->screen.end(), [](auto b) { return b == 0x21; }));
    EXPECT_TRUE(std::all_of(swapped->colour.begin(), swapped->colour.end(), [](auto b) { return b == 0x03; }));
    EXPECT_EQ(swapped->background, 0);

    ASSERT_EQ(run("tintrix", {"pic.bin", "reversed", "-03", "-12", "-21", "-30"}).output, success);
    const auto reversed = load("reversed.koa");
    EXPECT_EQ(source->bitmap[0], 0x1B);
    EXPECT_EQ(reversed->bitmap[0], 0xE4);
    for (int i = 0; i < BITMAP_SIZE; ++i) {
        ASSERT_EQ(reversed->bitmap[i], static_cast<std::uint8_t>(~source->bitmap[i])) << i;
    }
    EXPECT_EQ(reversed->background, 3);
    EXPECT_TRUE(std::all_of(reversed->screen.begin(), reversed->screen.end(), [](auto b) { return b == 0x21; }));
    EXPECT_TRUE(std::all_of(reversed->colour.begin(), reversed->colour.end(), [](auto b) { return b == 0x00; }));
}

TEST_F(Tintrix, AmicaOutputUnpacksToTheRemappedPicture) {
    save("pic.ami", *four_colour_picture(), FORMAT_AMICA);
    ASSERT_EQ(run("tintrix", {"pic", "out", "-a", "-03", "-12", "-21", "-30"}).output, success);
    ASSERT_TRUE(exists("out.ami"));
    const Bytes packed = read_bytes(file("out.ami"));
    ASSERT_GE(packed.size(), 4u);
    EXPECT_EQ(packed[0], 0x00);
    EXPECT_EQ(packed[1], 0x40);
    EXPECT_EQ(packed[packed.size() - 2], 0xC2);
    EXPECT_EQ(packed.back(), 0x00);

    const auto expected = four_colour_picture();
    for (auto& byte : expected->bitmap) {
        byte = static_cast<std::uint8_t>(~byte);
    }
    expected->screen.fill(0x21);
    expected->colour.fill(0x00);
    expected->background = 3;
    const auto remapped = load("out.ami", FORMAT_AMICA);
    EXPECT_EQ(remapped->bitmap, expected->bitmap);
    EXPECT_EQ(remapped->screen, expected->screen);
    EXPECT_EQ(remapped->colour, expected->colour);
    EXPECT_EQ(remapped->background, 3);
}

TEST_F(Tintrix, ColoursOutsideTheNamedSources) {
    // Background 6, but every pixel is pair 01 (colour 1).
    auto picture = four_colour_picture();
    picture->bitmap.fill(0x55);
    picture->background = 6;
    picture->screen.fill(0x1F);  // 15 and the colour memory's 9 are never shown
    picture->colour.fill(0x09);
    save("pic.koa", *picture);
    expect_failure({"pic", "out", "-01", "-12", "-23", "-30"}, ERR_PARAMETERS, parameters_message, "out.koa");
    ASSERT_EQ(run("tintrix", {"pic", "out", "-06", "-11"}).output, success);
    const auto remapped = load("out.koa");
    EXPECT_EQ(remapped->background, 6);
    EXPECT_EQ(remapped->bitmap[4000], 0x55);
    EXPECT_EQ(remapped->screen[0], 0x10);

    // Without colour switches every slot is black: only black passes, as
    // pair 11.
    const auto black = four_colour_picture();
    black->screen.fill(0x00);
    black->colour.fill(0x00);
    save("black.koa", *black);
    ASSERT_EQ(run("tintrix", {"black", "black_out"}).output, success);
    const auto all_pair_11 = load("black_out.koa");
    EXPECT_TRUE(std::all_of(all_pair_11->bitmap.begin(), all_pair_11->bitmap.end(), [](auto b) { return b == 0xFF; }));
    save("colour.koa", *four_colour_picture());
    expect_failure({"colour", "colour_out"}, ERR_PARAMETERS, parameters_message, "colour_out.koa");
}

TEST_F(Tintrix, HiresInversion) {
    auto picture = std::make_unique<HiresPicture>();
    for (int i = 0; i < BITMAP_SIZE; ++i) {
        picture->bitmap[i] = static_cast<std::uint8_t>(i * 29 + 1);
    }
    picture->screen.fill(0x1E);
    ASSERT_EQ(save_hires_picture(file("pic.art").string(), *picture), ERR_SUCCESS);

    // -2 and -3 mean nothing for hires pictures.
    ASSERT_EQ(run("tintrix", {"pic", "inv", "-s", "-01", "-114", "-25", "-37"}).output, success);
    auto inverted = std::make_unique<HiresPicture>();
    ASSERT_EQ(load_hires_picture(file("inv.art").string(), *inverted), ERR_SUCCESS);
    for (int i = 0; i < BITMAP_SIZE; ++i) {
        ASSERT_EQ(inverted->bitmap[i], static_cast<std::uint8_t>(~picture->bitmap[i])) << i;
    }
    EXPECT_TRUE(std::all_of(inverted->screen.begin(), inverted->screen.end(), [](auto b) { return b == 0xE1; }));

    expect_failure({"pic", "bad", "-s", "-01", "-115"}, ERR_PARAMETERS, parameters_message, "bad.art");
}

}  // namespace
