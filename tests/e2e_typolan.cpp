// typolan end to end: console output, exit status and picture files.
#include <gtest/gtest.h>

#include <memory>

#include "c64/picture.h"
#include "run_program.h"

namespace {

const std::string banner = "TYPOLAN v0.0.9beta - lays a C64 font out as a picture\n";
const std::string usage =
    "Usage: TYPOLAN infile [outfile][switches]\n"
    "\n"
    "switches are :\n"
    "-k   target picture in koala painter format  (multi-color bitmap)\n"
    "-a   target picture in amica paint   format  (multi-color bitmap)\n"
    "-s   target picture in art studio    format  (hires       bitmap) (default)\n"
    "-0NN bits 00 for multi-color pictures or bit 0 for hires pictures\n"
    "     assigned to the color NN\n"
    "-1NN bits 01 for multi-color pictures or bit 1 for hires pictures\n"
    "     assigned to the color NN\n"
    "-2NN bits 10 for multi-color pictures assigned to the color NN\n"
    "-3NN bits 11 for multi-color pictures assigned to the color NN\n"
    "-? display this help\n";
const std::string success = banner + "Ended process.\n";
const std::string parameters_message = "param\x82trage incorrect";

class Typolan : public ToolTest {
protected:
    // A font whose character k holds the bytes k, k+1, ... k+7.
    std::vector<std::uint8_t> write_font(const std::string& name, std::size_t size = 2050) const {
        std::vector<std::uint8_t> font(size);
        for (std::size_t i = 2; i < size; ++i) {
            font[i] = static_cast<std::uint8_t>((i - 2) / 8 + (i - 2) % 8);
        }
        write_bytes(file(name), font);
        return font;
    }
};

std::vector<std::uint8_t> expected_art_studio(const std::vector<std::uint8_t>& font, std::uint8_t screen_byte) {
    std::vector<std::uint8_t> art(9009, 0);
    art[1] = 0x20;
    for (std::size_t i = 2; i < font.size() && i < 2050; ++i) {
        art[i] = font[i];
    }
    std::fill(art.begin() + 8002, art.begin() + 8002 + 256, screen_byte);
    return art;
}

std::vector<std::uint8_t> expected_koala(const std::vector<std::uint8_t>& font, std::uint8_t screen_byte,
                                         std::uint8_t colour_byte, std::uint8_t background) {
    std::vector<std::uint8_t> koala(10003, 0);
    koala[1] = 0x60;
    std::copy(font.begin() + 2, font.end(), koala.begin() + 2);
    std::fill(koala.begin() + 8002, koala.begin() + 8002 + 256, screen_byte);
    std::fill(koala.begin() + 9002, koala.begin() + 9002 + 256, colour_byte);
    koala[10002] = background;
    return koala;
}

TEST_F(Typolan, DefaultRunWritesArtStudioBesideTheFont) {
    const auto font = write_font("font.fnt");
    const ProgramResult result = run("typolan", {"font"});
    EXPECT_EQ(result.output, success);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(read_bytes(file("font.art")), expected_art_studio(font, 0x00));
}

TEST_F(Typolan, ColoursAndFormats) {
    const auto font = write_font("font.fnt");
    ProgramResult result = run("typolan", {"font", "-014", "-1$06", "-2%11", "-315"});
    EXPECT_EQ(result.output, success);
    EXPECT_EQ(read_bytes(file("font.art")), expected_art_studio(font, 0x6E)) << "colours 2 and 3 have no effect";

    result = run("typolan", {"font", "-k", "-1$01"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(read_bytes(file("font.koa")), expected_koala(font, 0x10, 0x00, 0x00));

    result = run("typolan", {"-K", "font", "-05", "-11", "-22", "-3$1F"});
    EXPECT_EQ(result.status, status_of(-8)) << "-3$1F is 31";
    result = run("typolan", {"-K", "font", "-05", "-11", "-22", "-3$F"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(read_bytes(file("font.koa")), expected_koala(font, 0x12, 0x0F, 0x05)) << "-0 is the background";

    result = run("typolan", {"font", "pic", "-a", "-11", "-22", "-33"});
    EXPECT_EQ(result.output, success);
    auto image = std::make_unique<AmicaImage>();
    ASSERT_EQ(read_amica_file(file("pic.ami").string(), *image), 0);
    const auto koala = expected_koala(font, 0x12, 0x03, 0x00);
    EXPECT_TRUE(std::equal(koala.begin() + 2, koala.end(), image->bytes.begin() + 2));
    EXPECT_TRUE(std::all_of(image->bytes.begin() + 10003, image->bytes.end(), [](auto b) { return b == 0; }));
    EXPECT_EQ(read_bytes(file("pic.ami"))[1], 0x40);

    result = run("typolan", {"font", "-k", "-s", "-a"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(read_bytes(file("font.art")).size(), 9009u) << "-s wins";
}

TEST_F(Typolan, FileNames) {
    write_font("font.64c");
    EXPECT_EQ(run("typolan", {"font.64c"}).status, 0);
    EXPECT_TRUE(exists("font.art"));
    EXPECT_EQ(run("typolan", {"font.64c", "out.bin", "third", "fourth"}).status, 0);
    EXPECT_EQ(read_bytes(file("out.bin")).size(), 9009u);
    EXPECT_FALSE(exists("third"));

    const ProgramResult dot = run("typolan", {"font."});
    EXPECT_EQ(dot.output, banner + error_block(parameters_message, usage));
    EXPECT_EQ(dot.status, status_of(-8));
    EXPECT_EQ(run("typolan", {"font.64c", "out."}).status, status_of(-8));

    // The names are not compared: the font is read and closed first.
    const auto font = write_font("same.fnt");
    EXPECT_EQ(run("typolan", {"same.fnt", "same.fnt"}).status, 0);
    EXPECT_EQ(read_bytes(file("same.fnt")), expected_art_studio(font, 0x00));
}

TEST_F(Typolan, ShortAndEmptyFonts) {
    write_bytes(file("empty.fnt"), {});
    EXPECT_EQ(run("typolan", {"empty", "-13", "-07"}).status, 0);
    EXPECT_EQ(read_bytes(file("empty.art")), expected_art_studio(std::vector<std::uint8_t>(2050, 0), 0x37));

    const auto font = write_font("short.fnt", 100);
    EXPECT_EQ(run("typolan", {"short"}).status, 0);
    EXPECT_EQ(read_bytes(file("short.art")), expected_art_studio(font, 0x00));

    auto longer = write_font("long.fnt");
    longer.push_back(0xEE);
    write_bytes(file("long.fnt"), longer);
    EXPECT_EQ(run("typolan", {"long"}).status, 0);
    EXPECT_EQ(read_bytes(file("long.art")), expected_art_studio(longer, 0x00));
}

TEST_F(Typolan, CommandLineErrors) {
    ProgramResult result = run("typolan", {});
    EXPECT_EQ(result.output, banner + error_block(parameters_message, usage));
    EXPECT_EQ(result.status, status_of(-8));

    write_font("font.fnt");
    result = run("typolan", {"font", "-016"});
    EXPECT_EQ(result.output,
              banner + "Valeur : 16 en dehors de l'intervalle : [0, 15]\n" + error_block(parameters_message, usage));
    EXPECT_EQ(result.status, status_of(-8));
    EXPECT_FALSE(exists("font.art"));

    result = run("typolan", {"font", "-0$G"});
    EXPECT_EQ(result.output, banner + error_block("valeur non hexadecimale", usage));
    EXPECT_EQ(result.status, status_of(-11));

    result = run("typolan", {"font", "-q"});
    EXPECT_EQ(result.status, status_of(-8));

    result = run("typolan", {"font", "-?"});
    EXPECT_EQ(result.output, banner + usage);
    EXPECT_EQ(result.status, 0);
    EXPECT_FALSE(exists("font.art"));
}

TEST_F(Typolan, FileErrors) {
    ProgramResult result = run("typolan", {"missing"});
    EXPECT_EQ(result.output, banner + error_block("ouverture fichier impossible", usage));
    EXPECT_EQ(result.status, status_of(-3));
    EXPECT_FALSE(exists("missing.art"));

    write_font("font.fnt");
    result = run("typolan", {"font", "no/such/folder/pic"});
    EXPECT_EQ(result.output, banner + error_block("cr\x82" "ation fichier impossible", usage));
    EXPECT_EQ(result.status, status_of(-4));

    std::filesystem::create_directory(file("folder.fnt"));
    result = run("typolan", {"folder"});
    EXPECT_EQ(result.output, banner + error_block("probl\x8A" "me de lecture de fichier", usage));
    EXPECT_EQ(result.status, status_of(-5));
}

}  // namespace
