// ingravo end to end on PNG files written by other programs, and the line
// that names a colour it cannot identify.
#include <filesystem>
#include <memory>

#include "fixture_patterns.h"
#include "png_builder.h"
#include "run_program.h"
#include "test_pictures.h"

namespace {

const std::string INGRAVO_BANNER = "INGRAVO v1.0.0beta - converts a PCX image into a C64 picture\n";
const std::string PICTURE_DONE = "most used colour = $00\nOK, C64 file generated.\nEnded process.\n";
const std::string READ_EXACTLY = "colours read exactly (palette 12)\n";

struct ForeignPng {
    const char* name;
    bool hires;
    std::uint8_t (*pattern)(int, int);
    std::string reading_line;
};

class IngravoForeignPng : public ToolTest {
protected:
    // Converts the fixture and returns the picture file rendered back.
    std::unique_ptr<PixelImage> converted(const ForeignPng& fixture) {
        const std::string input = std::string(fixture.name) + ".png";
        std::filesystem::copy_file(fixture_path("png/" + input), file(input));
        const ProgramResult result = run("ingravo", {input, fixture.hires ? "-s" : "-b0"});
        EXPECT_EQ(result.output, INGRAVO_BANNER + fixture.reading_line + PICTURE_DONE) << fixture.name;
        EXPECT_FALSE(exists("errors.pcx")) << fixture.name;
        if (fixture.hires) {
            auto picture = std::make_unique<HiresPicture>();
            EXPECT_EQ(load_hires_picture(file(std::string(fixture.name) + ".art").string(), *picture), 0);
            return rendered(*picture);
        }
        auto picture = std::make_unique<C64Picture>();
        EXPECT_EQ(load_multicolour_picture(file(std::string(fixture.name) + ".koa").string(), FORMAT_KOALA, *picture),
                  0);
        return rendered(*picture);
    }
};

int first_difference(const PixelImage& image, std::uint8_t (*pattern)(int, int)) {
    for (int i = 0; i < IMAGE_PIXELS; ++i) {
        if (image.pixels[static_cast<std::size_t>(i)] != pattern(i % IMAGE_WIDTH, i / IMAGE_WIDTH)) return i;
    }
    return -1;
}

TEST_F(IngravoForeignPng, EveryFixtureReadsToItsColourNumbers) {
    const ForeignPng fixtures[] = {
        {"pillow_indexed_c64_order", false, multicolour_pattern, READ_EXACTLY},
        {"pillow_indexed_reordered", false, multicolour_pattern, READ_EXACTLY},
        {"pillow_screenshot_384x272", false, multicolour_pattern, READ_EXACTLY},
        {"pillow_foreign_palette", false, multicolour_pattern,
         "colours read approximately: 14 colours matched to palette 11\n"},
        {"imagemagick_rgb", false, multicolour_pattern, READ_EXACTLY},
        {"imagemagick_rgba", false, multicolour_pattern, READ_EXACTLY},
        {"imagemagick_interlaced_hires", true, hires_pattern, READ_EXACTLY},
        {"netpbm_grey", false, grey_pattern, READ_EXACTLY},
        {"netpbm_16bit", false, multicolour_pattern, READ_EXACTLY},
        {"netpbm_160x200", false, multicolour_pattern, READ_EXACTLY},
        {"gimp_indexed", false, multicolour_pattern, READ_EXACTLY},
    };
    for (const auto& fixture : fixtures) {
        const auto image = converted(fixture);
        EXPECT_EQ(first_difference(*image, fixture.pattern), -1) << fixture.name;
    }
}

TEST_F(IngravoForeignPng, UnknownColourIsNamedWhereItLiesInTheFile) {
    // A screenshot whose picture holds, at picture x 100, y 50, a grey that is
    // dark grey in some palettes and grey in others.
    TestPng screenshot{384, 272, PNG_COLOR_TYPE_RGB, 8, false, {}, [](int x, int y) {
                           const bool odd = x == 132 && y == 85;
                           const auto level = static_cast<std::uint16_t>(odd ? 0x7A : 0);
                           return std::array<std::uint16_t, 4>{level, level, level};
                       }};
    write_bytes(file("shot.png"), build_png(screenshot));
    ProgramResult result = run("ingravo", {"shot.png"});
    EXPECT_EQ(result.status, status_of(ERR_UNKNOWN_COLOURS));
    EXPECT_EQ(result.output.substr(INGRAVO_BANNER.size()).rfind("unknown colour #7A7A7A at x 132, y 85\n", 0), 0u)
        << result.output;

    // A palette-based 160 by 200 image of unknown colours is read by index; index 16 stops it.
    TestPng narrow{160, 200, PNG_COLOR_TYPE_PALETTE, 8, false, {}, [](int x, int y) {
                       return std::array<std::uint16_t, 4>{static_cast<std::uint16_t>(x == 150 && y == 199 ? 16 : 0)};
                   }};
    for (int entry = 0; entry < 17; ++entry) narrow.palette.push_back({1, 2, static_cast<std::uint8_t>(entry)});
    write_bytes(file("narrow.png"), build_png(narrow));
    result = run("ingravo", {"narrow.png"});
    EXPECT_EQ(result.status, status_of(ERR_UNKNOWN_COLOURS));
    EXPECT_EQ(result.output.substr(INGRAVO_BANNER.size()).rfind("palette index 16 above 15 at x 150, y 199\n", 0), 0u)
        << result.output;
    EXPECT_FALSE(exists("shot.koa"));
    EXPECT_FALSE(exists("narrow.koa"));
    EXPECT_FALSE(exists("errors.pcx"));
}

}  // namespace
