// ingravo end to end: foreign PCX files, round trips with exgravo, the errors
// image, switches and names.
#include <filesystem>
#include <memory>

#include "fixture_patterns.h"
#include "ingravo_texts.h"
#include "run_program.h"
#include "test_pictures.h"

namespace {

const std::string PICTURE_DONE = "OK, C64 file generated.\nEnded process.\n";
const std::string ERRORS_DONE = "Errors occured, PCX errors file generated.\nEnded process.\n";

void expect_pattern(const PixelImage& image, std::uint8_t (*pattern)(int, int)) {
    for (int y = 0; y < 200; ++y) {
        for (int x = 0; x < 320; ++x) {
            ASSERT_EQ(image.pixels[static_cast<std::size_t>(y * 320 + x)], pattern(x, y)) << "x " << x << " y " << y;
        }
    }
}

class Ingravo : public ToolTest {
protected:
    std::unique_ptr<PixelImage> rendered_file(const std::string& name, int format) const {
        return rendered_picture_file(file(name).string(), format);
    }
};

TEST_F(Ingravo, ReadsPcxFilesOfOtherPrograms) {
    std::filesystem::copy_file(fixture_path("netpbm_multicolour.pcx"), file("net.pcx"));
    std::filesystem::copy_file(fixture_path("imagemagick_hires.pcx"), file("im.pcx"));
    EXPECT_EQ(run("ingravo", {"net"}).output, INGRAVO_BANNER + "most used colour = $00\n" + PICTURE_DONE);
    expect_pattern(*rendered_file("net.koa", FORMAT_KOALA), multicolour_pattern);
    EXPECT_EQ(run("ingravo", {"im", "-s"}).status, 0);
    expect_pattern(*rendered_file("im.art", FORMAT_ART_STUDIO), hires_pattern);
}

TEST_F(Ingravo, ExgravoOutputComesBackWithItsBackground) {
    const auto koala = random_multicolour_picture(41, 6);
    save_multicolour_picture(file("k.koa").string(), FORMAT_KOALA, *koala);
    const auto amica = random_multicolour_picture(42, 14);
    save_multicolour_picture(file("a.ami").string(), FORMAT_AMICA, *amica);
    const auto hires = random_hires_picture(43);
    save_hires_picture(file("h.art").string(), *hires);
    ASSERT_EQ(run("exgravo", {"k"}).status, 0);
    ASSERT_EQ(run("exgravo", {"a", "-a"}).status, 0);
    ASSERT_EQ(run("exgravo", {"h", "-s"}).status, 0);

    EXPECT_EQ(run("ingravo", {"k", "k2", "-b6"}).output.substr(INGRAVO_BANNER.size() + 23), PICTURE_DONE);
    EXPECT_TRUE(rendered_file("k2.koa", FORMAT_KOALA)->pixels == rendered(*koala)->pixels);
    EXPECT_EQ(run("ingravo", {"a", "a2", "-a", "-b$e"}).status, 0);
    EXPECT_TRUE(rendered_file("a2.ami", FORMAT_AMICA)->pixels == rendered(*amica)->pixels);
    EXPECT_EQ(run("ingravo", {"h", "h2", "-s"}).status, 0);
    EXPECT_TRUE(rendered_file("h2.art", FORMAT_ART_STUDIO)->pixels == rendered(*hires)->pixels);
    EXPECT_FALSE(exists("errors.pcx"));
}

TEST_F(Ingravo, FailingCellsAreMarkedWithTheirErrorValues) {
    auto image = blank_image();
    image->palette[767] = 0x5A;  // the palette is kept as read
    auto draw_pairs = [&](int cell, std::initializer_list<int> colours) {
        int x = (cell % 40) * 8, y = (cell / 40) * 8;
        for (const int colour : colours) {
            set_pixel(*image, x, y, static_cast<std::uint8_t>(colour));
            set_pixel(*image, x + 1, y, static_cast<std::uint8_t>(colour));
            x += 2;
        }
    };
    draw_pairs(0, {1, 2, 3, 4});   // five colours with the 0 around them: 1
    set_pixel(*image, 8, 0, 5);    // a pair of 5 and 0: 2
    draw_pairs(2, {16});           // no C64 colour: 4
    draw_pairs(3, {1, 2, 3, 4});
    set_pixel(*image, 31, 7, 9);   // 1 + 2 = 3
    draw_pairs(4, {200, 7});       // 0, 7 and a value that is no colour: 4
    draw_pairs(5, {1, 2, 3, 200});
    set_pixel(*image, 47, 7, 4);   // 0 to 4, a split pair, 200: 7
    draw_pairs(6, {1, 2, 3, 4});
    set_pixel(*image, 48, 1, 17);
    set_pixel(*image, 49, 1, 17);  // 1 + 4 = 5
    draw_pairs(46, {220});
    set_pixel(*image, 55, 15, 1);  // 2 + 4 = 6
    draw_pairs(7, {1, 2, 3});      // the background and three colours: passes
    pcx_write(*image, file("pic.pcx").string());

    const ProgramResult result = run("ingravo", {"pic"});
    EXPECT_EQ(result.output, INGRAVO_BANNER + "most used colour = $00\n" + ERRORS_DONE);
    EXPECT_EQ(result.status, 0);
    EXPECT_FALSE(exists("pic.koa"));
    auto errors = std::make_unique<PixelImage>();
    ASSERT_EQ(pcx_read(file("errors.pcx").string(), *errors), 0);
    const std::pair<int, std::uint8_t> failing[] = {{0, 1}, {1, 2}, {2, 4}, {3, 3}, {4, 4}, {5, 7}, {6, 5}, {46, 6}};
    for (const auto& [cell, value] : failing) fill_cell(*image, cell, value);
    EXPECT_TRUE(errors->pixels == image->pixels);
    EXPECT_TRUE(errors->palette == image->palette);
}

TEST_F(Ingravo, BackgroundIsTheMostUsedColourUnlessGiven) {
    auto image = blank_image();
    std::fill(image->pixels.begin(), image->pixels.begin() + 32000, 9);
    std::fill(image->pixels.begin() + 32000, image->pixels.end(), 3);
    pcx_write(*image, file("tie.pcx").string());
    EXPECT_EQ(run("ingravo", {"tie"}).output, INGRAVO_BANNER + "most used colour = $03\n" + PICTURE_DONE);
    auto picture = std::make_unique<C64Picture>();
    ASSERT_EQ(load_multicolour_picture(file("tie.koa").string(), FORMAT_KOALA, *picture), 0);
    EXPECT_EQ(picture->background, 3);

    // Four colours, none of them the most used one: passes only with -b.
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) set_pixel(*image, x, y, static_cast<std::uint8_t>(4 + x / 2));
    }
    pcx_write(*image, file("four.pcx").string());
    EXPECT_EQ(run("ingravo", {"four"}).output.substr(INGRAVO_BANNER.size() + 23), ERRORS_DONE);
    EXPECT_EQ(run("ingravo", {"four", "-b4"}).output.substr(INGRAVO_BANNER.size() + 23), PICTURE_DONE);
    // The same cells of two colours at most pass in hires, pairs or not.
    image = blank_image();
    set_pixel(*image, 0, 0, 1);
    pcx_write(*image, file("hires.pcx").string());
    EXPECT_EQ(run("ingravo", {"hires", "-s"}).output.substr(INGRAVO_BANNER.size() + 23), PICTURE_DONE);
    EXPECT_EQ(read_bytes(file("hires.art")).size(), 9009u);
}

TEST_F(Ingravo, SwitchesAndNames) {
    auto image = blank_image();
    pcx_write(*image, file("pic.pcx").string());
    EXPECT_EQ(run("ingravo", {"pic", "-b5", "-s"}).status, status_of(ERR_PARAMETERS));
    EXPECT_EQ(run("ingravo", {"pic", "-k", "-s"}).output,
              INGRAVO_BANNER + error_block("param\x82trage incorrect", INGRAVO_USAGE));
    EXPECT_EQ(run("ingravo", {"pic", "-b16"}).output, INGRAVO_BANNER +
                                                           "Valeur : 16 en dehors de l'intervalle : [0, 15]\n" +
                                                           error_block("param\x82trage incorrect", INGRAVO_USAGE));
    EXPECT_EQ(run("ingravo", {"-?"}).output, INGRAVO_BANNER + INGRAVO_USAGE);
    EXPECT_EQ(run("ingravo", {"-s", "-a", "pic"}).status, 0);
    EXPECT_TRUE(exists("pic.art"));
    EXPECT_EQ(run("ingravo", {"-a", "-k", "pic"}).status, 0);
    EXPECT_EQ(read_bytes(file("pic.ami"))[1], 0x40);
    EXPECT_FALSE(exists("pic.koa"));
    // errors reads errors.pcx, the default errors file.
    const ProgramResult same = run("ingravo", {"errors"});
    EXPECT_EQ(same.output, INGRAVO_BANNER + error_block("noms de fichiers \x82gaux", INGRAVO_USAGE));
    EXPECT_EQ(same.status, status_of(ERR_SAME_FILE_NAMES));
    EXPECT_EQ(run("ingravo", {"pic", "pic.pcx"}).status, status_of(ERR_SAME_FILE_NAMES));
    EXPECT_EQ(run("ingravo", {"pic", "out", "out.koa"}).status, status_of(ERR_SAME_FILE_NAMES));
    EXPECT_EQ(run("ingravo", {}).status, status_of(ERR_PARAMETERS));
}

TEST_F(Ingravo, BadPcxFilesLeaveNoOutput) {
    auto image = blank_image();
    set_pixel(*image, 0, 0, 1);
    set_pixel(*image, 2, 0, 2);
    set_pixel(*image, 4, 0, 3);
    set_pixel(*image, 6, 0, 4);  // a failing cell: only a bad file keeps the errors image away
    pcx_write(*image, file("good.pcx").string());
    auto bytes = read_bytes(file("good.pcx"));
    bytes[8] = 0x40;  // Xmax 320
    write_bytes(file("wide.pcx"), bytes);
    EXPECT_EQ(run("ingravo", {"wide"}).status, status_of(ERR_INVALID_PCX));
    bytes = read_bytes(file("good.pcx"));
    bytes.resize(bytes.size() - 100);
    write_bytes(file("cut.pcx"), bytes);
    const ProgramResult cut = run("ingravo", {"cut"});
    EXPECT_EQ(cut.output, INGRAVO_BANNER + error_block("probl\x8A" "me de lecture de fichier", INGRAVO_USAGE));
    EXPECT_EQ(run("ingravo", {"missing"}).status, status_of(ERR_OPEN));
    EXPECT_FALSE(exists("wide.koa") || exists("cut.koa") || exists("missing.koa") || exists("errors.pcx"));
    EXPECT_EQ(run("ingravo", {"good", "-b0", "good.koa", "no/such/errors"}).status, status_of(ERR_OPEN));
    pcx_write(*blank_image(), file("blank.pcx").string());
    EXPECT_EQ(run("ingravo", {"blank", "no/such/picture"}).status, status_of(ERR_CREATE));
}

}  // namespace
