// ingravo -d end to end: what it writes is a legal picture in every format,
// a picture already legal comes back pixel for pixel, the switch rules, the
// hint on a refused picture, JPEG and WebP refused without -d, and a damaged
// JPEG that leaves the output alone.
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "png_builder.h"
#include "run_program.h"
#include "screen_pictures.h"
#include "test_pictures.h"

namespace {

constexpr int CONVERSION_PALETTE = 13;

// A small photo-like picture: smooth gradients in every direction, a soft
// disc and fine stripes, enlarged onto the screen by the converter.
std::vector<std::uint8_t> gradient_photo() {
    TestPng photo{96, 60, PNG_COLOR_TYPE_RGB, 8, false, {}, [](int x, int y) {
                      const double disc = std::hypot(x - 60.0, y - 28.0) < 14.0 ? 70.0 : 0.0;
                      const double stripes = (x / 3) % 2 == 0 && y > 45 ? 40.0 : 0.0;
                      const auto channel = [](double value) {
                          return static_cast<std::uint16_t>(std::lround(std::fmin(255.0, std::fmax(0.0, value))));
                      };
                      return std::array<std::uint16_t, 4>{channel(x * 2.5 + disc), channel(y * 3.8 + stripes),
                                                          channel(220.0 - x * 1.2 - y * 1.5 + disc * 0.5)};
                  }};
    return build_png(photo);
}

// The background colour exgravo printed ("background colour = $0f").
int printed_background(const std::string& output) {
    const std::string label = "background colour = $";
    const std::size_t at = output.find(label);
    return at == std::string::npos ? -1 : std::stoi(output.substr(at + label.size(), 2), nullptr, 16);
}

int first_differing_pixel(const PixelImage& a, const PixelImage& b) {
    for (std::size_t i = 0; i < a.pixels.size(); ++i) {
        if (a.pixels[i] != b.pixels[i]) return static_cast<int>(i);
    }
    return -1;
}

// A JPEG of a gradient, with some detail in blue.
std::vector<std::uint8_t> gradient_jpeg(int width, int height) {
    TestJpeg recipe{width, height, JCS_RGB, [width, height](int x, int y) {
                        return std::array<std::uint8_t, 4>{static_cast<std::uint8_t>(x * 255 / width),
                                                           static_cast<std::uint8_t>(y * 255 / height),
                                                           static_cast<std::uint8_t>((x ^ y) & 0xFF), 0};
                    }, {}};
    recipe.quality = 75;
    return build_jpeg(recipe);
}

class IngravoConvert : public ToolTest {
protected:
    // Renders a picture file with exgravo in the conversion's palette to a
    // PNG, reads that back with ingravo (with the background exgravo printed)
    // and expects the same pixels: the picture keeps every limit of its mode.
    void expect_round_trip(const std::string& picture, int format) {
        const bool hires = format == FORMAT_ART_STUDIO;
        const std::string format_switch = hires ? "-s" : format == FORMAT_AMICA ? "-a" : "-k";
        const ProgramResult shown = run("exgravo", {picture, "shown.png", format_switch, "-c13"});
        ASSERT_EQ(shown.status, 0) << shown.output;
        std::vector<std::string> arguments = {"shown.png", hires ? "back.art" : "back.koa", "-c13"};
        arguments.push_back(hires ? "-s" : "-b" + std::to_string(printed_background(shown.output)));
        const ProgramResult back = run("ingravo", arguments);
        ASSERT_EQ(back.status, 0) << back.output;
        ASSERT_FALSE(exists("errors.pcx")) << picture << ": a cell breaks the limits\n" << back.output;
        const auto original = rendered_picture_file(file(picture).string(), format);
        const auto read_back = rendered_picture_file(file(hires ? "back.art" : "back.koa").string(),
                                                     hires ? FORMAT_ART_STUDIO : FORMAT_KOALA);
        EXPECT_EQ(first_differing_pixel(*original, *read_back), -1) << picture;
        std::filesystem::remove(file("shown.png"));
    }
};

TEST_F(IngravoConvert, EveryFormatIsLegalAndTheSameOnEveryRun) {
    write_bytes(file("photo.png"), gradient_photo());
    struct Case {
        std::string output;
        std::vector<std::string> switches;
        int format;
        std::string mode_line;
    };
    const Case cases[] = {
        {"photo.koa", {"-d"}, FORMAT_KOALA, "converted to multicolour in palette 13, background $"},
        {"photo.ami", {"-d", "-a"}, FORMAT_AMICA, "converted to multicolour in palette 13, background $"},
        {"photo.art", {"-d", "-s"}, FORMAT_ART_STUDIO, "converted to hires in palette 13\n"},
        {"flat.koa", {"-d0"}, FORMAT_KOALA, "converted to multicolour in palette 13, background $"},
        {"diffused.art", {"-d2", "-s"}, FORMAT_ART_STUDIO, "converted to hires in palette 13\n"},
        {"crisp.koa", {"-d", "-v1"}, FORMAT_KOALA, "converted to multicolour in palette 13, background $"},
        {"crisp.art", {"-d", "-v1", "-s"}, FORMAT_ART_STUDIO, "converted to hires in palette 13\n"},
        {"television.koa", {"-d", "-v0"}, FORMAT_KOALA, "converted to multicolour in palette 13, background $"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> arguments = {"photo.png", c.output, "-c13"};
        arguments.insert(arguments.end(), c.switches.begin(), c.switches.end());
        const ProgramResult first = run("ingravo", arguments);
        ASSERT_EQ(first.status, 0) << c.output << "\n" << first.output;
        EXPECT_NE(first.output.find("read png 96 x 60\n"), std::string::npos) << first.output;
        EXPECT_NE(first.output.find(c.mode_line), std::string::npos) << first.output;
        EXPECT_NE(first.output.find("OK, C64 file generated.\nEnded process.\n"), std::string::npos) << first.output;
        const auto bytes = read_bytes(file(c.output));
        ASSERT_EQ(run("ingravo", arguments).status, 0);
        EXPECT_EQ(read_bytes(file(c.output)), bytes) << c.output << " differs between two runs";
        expect_round_trip(c.output, c.format);
    }
}

// A picture that is already legal, shown in the conversion's palette, has a
// conversion of no error at all: the converter must find it, in either view.
TEST_F(IngravoConvert, LegalPictureComesBackPixelForPixel) {
    const auto multicolour = random_multicolour_picture(0x5EED, 6);
    ASSERT_EQ(save_multicolour_picture(file("legal.koa").string(), FORMAT_KOALA, *multicolour), 0);
    const auto hires = random_hires_picture(0xC0DE);
    ASSERT_EQ(save_hires_picture(file("legal.art").string(), *hires), 0);
    struct Case {
        std::string picture;
        int format;
        std::string dither;
    };
    const Case cases[] = {{"legal.koa", FORMAT_KOALA, "-d"},
                          {"legal.koa", FORMAT_KOALA, "-d0"},
                          {"legal.art", FORMAT_ART_STUDIO, "-d"},
                          {"legal.art", FORMAT_ART_STUDIO, "-d0"}};
    for (const auto& c : cases) {
      for (const char* view : {"-v0", "-v1"}) {
        const bool is_hires = c.format == FORMAT_ART_STUDIO;
        ASSERT_EQ(run("exgravo", {c.picture, "shown.png", is_hires ? "-s" : "-k", "-c13"}).status, 0);
        const std::string output = is_hires ? "converted.art" : "converted.koa";
        const ProgramResult result =
            run("ingravo", {"shown.png", output, c.dither, view, "-c13", is_hires ? "-s" : "-k"});
        ASSERT_EQ(result.status, 0) << result.output;
        const auto original = rendered_picture_file(file(c.picture).string(), c.format);
        const auto converted = rendered_picture_file(file(output).string(), c.format);
        const int differing = first_differing_pixel(*original, *converted);
        EXPECT_EQ(differing, -1) << c.picture << " " << c.dither << " " << view << ": first differing pixel at x "
                                 << differing % IMAGE_WIDTH << ", y " << differing / IMAGE_WIDTH;
      }
    }
}

TEST_F(IngravoConvert, SwitchRules) {
    write_bytes(file("photo.png"), gradient_photo());
    EXPECT_EQ(run("ingravo", {"photo.png", "-w"}).status, status_of(ERR_PARAMETERS));
    const ProgramResult out_of_range = run("ingravo", {"photo.png", "-d3"});
    EXPECT_EQ(out_of_range.status, status_of(ERR_PARAMETERS));
    EXPECT_NE(out_of_range.output.find("Valeur : 3 en dehors de l'intervalle : [0, 2]\n"), std::string::npos);
    EXPECT_EQ(run("ingravo", {"photo.png", "-dx"}).status, status_of(ERR_NOT_INTEGER));
    EXPECT_EQ(run("ingravo", {"photo.png", "-d", "-c27"}).status, status_of(ERR_PARAMETERS));
    // The view goes with -d only, and is 0 or 1.
    EXPECT_EQ(run("ingravo", {"photo.png", "-v1"}).status, status_of(ERR_PARAMETERS));
    EXPECT_EQ(run("ingravo", {"photo.png", "-v0"}).status, status_of(ERR_PARAMETERS));
    const ProgramResult view_out_of_range = run("ingravo", {"photo.png", "-d", "-v2"});
    EXPECT_EQ(view_out_of_range.status, status_of(ERR_PARAMETERS));
    EXPECT_NE(view_out_of_range.output.find("Valeur : 2 en dehors de l'intervalle : [0, 1]\n"), std::string::npos);
    EXPECT_EQ(run("ingravo", {"photo.png", "-d", "-vx"}).status, status_of(ERR_NOT_INTEGER));
    EXPECT_FALSE(exists("photo.koa") || exists("photo.art"));

    // -f with the mode open keeps one mode and names the file after it.
    const ProgramResult fitted = run("ingravo", {"photo.png", "-d", "-f"});
    ASSERT_EQ(fitted.status, 0) << fitted.output;
    const bool hires = fitted.output.find("fit: hires") != std::string::npos;
    EXPECT_NE(fitted.output.find(hires ? "fit: hires (mean colour difference: multicolour "
                                       : "fit: multicolour (mean colour difference: multicolour "),
              std::string::npos)
        << fitted.output;
    EXPECT_EQ(exists("photo.art"), hires);
    EXPECT_EQ(exists("photo.koa"), !hires);
    EXPECT_EQ(read_bytes(file(hires ? "photo.art" : "photo.koa")).size(), hires ? 9009u : 10003u);

    // Each view judges the modes by its own measure: crisp pixels unblurred,
    // where a dither's every dot counts, so by larger differences.
    const auto multicolour_difference = [](const std::string& output) {
        const std::size_t at = output.find("(mean colour difference: multicolour ");
        return at == std::string::npos ? -1.0 : std::atof(output.c_str() + at + 37);
    };
    const ProgramResult crisp_fit = run("ingravo", {"photo.png", "crisp", "-d", "-f", "-v1"});
    ASSERT_EQ(crisp_fit.status, 0) << crisp_fit.output;
    EXPECT_GT(multicolour_difference(crisp_fit.output), multicolour_difference(fitted.output)) << crisp_fit.output;

    // -w keeps the whole picture: a photo three times as wide as high leaves
    // bands of background above and below it; without -w it covers the screen.
    TestPng wide{120, 40, PNG_COLOR_TYPE_RGB, 8, false, {}, [](int x, int y) {
                     return std::array<std::uint16_t, 4>{static_cast<std::uint16_t>(200 - x),
                                                         static_cast<std::uint16_t>(100 + y * 3), 0xC0};
                 }};
    write_bytes(file("wide.png"), build_png(wide));
    for (const bool whole : {true, false}) {
        std::vector<std::string> arguments = {"wide.png", "wide.koa", "-d", "-b0"};
        if (whole) arguments.push_back("-w");
        ASSERT_EQ(run("ingravo", arguments).status, 0);
        auto picture = std::make_unique<C64Picture>();
        ASSERT_EQ(load_multicolour_picture(file("wide.koa").string(), FORMAT_KOALA, *picture), 0);
        const auto image = rendered(*picture);
        int background_pixels = 0;
        for (const int y : {0, 20, 179, 199}) {
            for (int x = 0; x < IMAGE_WIDTH; ++x) {
                background_pixels += image->pixels[static_cast<std::size_t>(y * IMAGE_WIDTH + x)] == 0 ? 1 : 0;
            }
        }
        EXPECT_EQ(background_pixels, whole ? 4 * IMAGE_WIDTH : 0) << (whole ? "with -w" : "without -w");
    }
}

TEST_F(IngravoConvert, RefusedPictureNamesMinusD) {
    TestPng odd{320, 200, PNG_COLOR_TYPE_RGB, 8, false, {}, [](int x, int y) {
                    return std::array<std::uint16_t, 4>{static_cast<std::uint16_t>(x % 256),
                                                        static_cast<std::uint16_t>(y), 0x34};
                }};
    write_bytes(file("photo.png"), build_png(odd));
    const ProgramResult result = run("ingravo", {"photo.png"});
    EXPECT_EQ(result.status, status_of(ERR_UNKNOWN_COLOURS));
    EXPECT_NE(result.output.find("\n-d converts a picture of any colours, such as a photo, into a C64 picture\n"),
              std::string::npos)
        << result.output;
    EXPECT_FALSE(exists("photo.koa"));
}

// Without -d a sound JPEG or WebP is refused as a PNG photo is (-30, with the
// line that names -d), even a lossless WebP in exact C64 colours; a damaged
// one is refused as damaged. Neither writes anything.
TEST_F(IngravoConvert, JpegAndWebpWithoutMinusDAreRefusedByTheirSoundness) {
    const std::vector<std::uint8_t> jpeg = gradient_jpeg(320, 200);
    const PictureBytes webp = build_webp({320, 200, true, [](int x, int) {
                                              const std::uint8_t value = x < 160 ? 0 : 255;
                                              return std::array<std::uint8_t, 4>{value, value, value, 255};
                                          }, {}});
    ASSERT_GT(jpeg.size(), 1000u);
    ASSERT_GT(webp.size(), 20u);
    const std::string minus_d = "-d converts a picture of any colours, such as a photo, into a C64 picture\n";
    write_bytes(file("photo.jpg"), jpeg);
    const ProgramResult sound_jpeg = run("ingravo", {"photo.jpg"});
    EXPECT_EQ(sound_jpeg.status, status_of(ERR_UNKNOWN_COLOURS));
    EXPECT_NE(sound_jpeg.output.find("\na jpeg picture's colours are not identified as C64 colours\n" + minus_d),
              std::string::npos)
        << sound_jpeg.output;
    write_bytes(file("drawn.webp"), webp);
    const ProgramResult sound_webp = run("ingravo", {"drawn.webp", "-f"});
    EXPECT_EQ(sound_webp.status, status_of(ERR_UNKNOWN_COLOURS));
    EXPECT_NE(sound_webp.output.find("\na webp picture's colours are not identified as C64 colours\n" + minus_d),
              std::string::npos)
        << sound_webp.output;

    const auto half_jpeg = jpeg.begin() + static_cast<std::ptrdiff_t>(jpeg.size() / 2);
    write_bytes(file("photo.jpg"), std::vector<std::uint8_t>(jpeg.begin(), half_jpeg));
    const ProgramResult damaged_jpeg = run("ingravo", {"photo.jpg"});
    EXPECT_EQ(damaged_jpeg.status, status_of(ERR_INVALID_JPEG)) << damaged_jpeg.output;
    EXPECT_NE(damaged_jpeg.output.find("jpeg file of 320 x 200 refused: "), std::string::npos) << damaged_jpeg.output;
    PictureBytes damaged = webp;
    damaged.resize(damaged.size() / 2);
    write_bytes(file("drawn.webp"), damaged);
    const ProgramResult damaged_webp = run("ingravo", {"drawn.webp"});
    EXPECT_EQ(damaged_webp.status, status_of(ERR_INVALID_WEBP)) << damaged_webp.output;
    for (const ProgramResult* result : {&damaged_jpeg, &damaged_webp}) {
        EXPECT_EQ(result->output.find(minus_d), std::string::npos) << result->output;
    }
    for (const char* name : {"photo.koa", "drawn.koa", "drawn.art", "photo.pcx", "drawn.pcx"}) {
        EXPECT_FALSE(exists(name)) << name;
    }
}

TEST_F(IngravoConvert, DamagedJpegLeavesTheOutputAlone) {
    const std::vector<std::uint8_t> jpeg = gradient_jpeg(400, 250);
    ASSERT_GT(jpeg.size(), 1000u);
    ASSERT_EQ(run("ingravo", {"good.jpg", "pic.koa", "-d"}).status, status_of(ERR_OPEN));
    write_bytes(file("good.jpg"), jpeg);
    const ProgramResult good = run("ingravo", {"good.jpg", "pic.koa", "-d"});
    ASSERT_EQ(good.status, 0) << good.output;
    EXPECT_NE(good.output.find("read jpeg 400 x 250"), std::string::npos) << good.output;

    const std::vector<std::uint8_t> existing(10003, 0x5A);
    const std::vector<std::vector<std::uint8_t>> damaged = {
        std::vector<std::uint8_t>(jpeg.begin(), jpeg.begin() + static_cast<std::ptrdiff_t>(jpeg.size() / 2)),
        {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0x00, 0x01, 0x01, 0x00, 0x13, 0x37},
        std::vector<std::uint8_t>(jpeg.begin(), jpeg.begin() + 3),
    };
    for (std::size_t i = 0; i < damaged.size(); ++i) {
        write_bytes(file("bad.jpg"), damaged[i]);
        write_bytes(file("pic.koa"), existing);
        const ProgramResult result = run("ingravo", {"bad.jpg", "pic.koa", "-d"});
        EXPECT_EQ(result.status, status_of(ERR_INVALID_JPEG)) << "damage " << i << "\n" << result.output;
        EXPECT_EQ(read_bytes(file("pic.koa")), existing) << "damage " << i;
    }
}

}  // namespace
