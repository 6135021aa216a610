// ingravo end to end on PNG and GIF files written by other programs (framed
// screenshots and enlargements too), the line that names a colour it cannot
// identify, and files that lie about themselves.
#include <filesystem>
#include <memory>

#include "fixture_patterns.h"
#include "gif_builder.h"
#include "ingravo_texts.h"
#include "png_builder.h"
#include "run_program.h"
#include "test_pictures.h"

namespace {

const std::string PICTURE_DONE = "most used colour = $00\nOK, C64 file generated.\nEnded process.\n";
const std::string READ_EXACTLY = "colours read exactly (palette 12)\n";

std::string read_exactly_in(int palette) {
    const std::string name = library_palette_name(palette);
    return "colours read exactly (palette " + std::to_string(palette) + (name.empty() ? "" : ", " + name) + ")\n";
}

struct ForeignPng {
    const char* name;  // in fixtures/png, or fixtures/gif when it ends in .gif
    bool hires;
    std::uint8_t (*pattern)(int, int);
    std::string reading_line;
};

class IngravoForeignPng : public ToolTest {
protected:
    // Converts the fixture and returns the picture file rendered back.
    std::unique_ptr<PixelImage> converted(const ForeignPng& fixture) {
        const std::string name = fixture.name;
        const bool gif = name.ends_with(".gif");
        const std::string stem = gif ? name.substr(0, name.size() - 4) : name;
        const std::string input = gif ? name : name + ".png";
        std::filesystem::copy_file(fixture_path((gif ? "gif/" : "png/") + input), file(input));
        const ProgramResult result = run("ingravo", {input, fixture.hires ? "-s" : "-b0"});
        EXPECT_EQ(result.output, INGRAVO_BANNER + fixture.reading_line + PICTURE_DONE) << fixture.name;
        EXPECT_FALSE(exists("errors.pcx")) << fixture.name;
        if (fixture.hires) {
            auto picture = std::make_unique<HiresPicture>();
            EXPECT_EQ(load_hires_picture(file(stem + ".art").string(), *picture), 0);
            return rendered(*picture);
        }
        auto picture = std::make_unique<C64Picture>();
        EXPECT_EQ(load_multicolour_picture(file(stem + ".koa").string(), FORMAT_KOALA, *picture), 0);
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
        // Drawn in the palette that became library palette 13.
        {"pillow_foreign_palette", false, multicolour_pattern, read_exactly_in(13)},
        {"imagemagick_rgb", false, multicolour_pattern, READ_EXACTLY},
        {"imagemagick_rgba", false, multicolour_pattern, READ_EXACTLY},
        {"imagemagick_interlaced_hires", true, hires_pattern, READ_EXACTLY},
        {"netpbm_grey", false, grey_pattern, READ_EXACTLY},
        {"netpbm_16bit", false, multicolour_pattern, READ_EXACTLY},
        {"netpbm_160x200", false, multicolour_pattern, READ_EXACTLY},
        {"gimp_indexed", false, multicolour_pattern, READ_EXACTLY},
        // Library palettes, indexed darkest first and RGB: read by colour, never by index.
        {"pillow_vice_by_brightness", false, multicolour_pattern, read_exactly_in(16)},
        {"pillow_pixel_editor_by_brightness", false, multicolour_pattern, read_exactly_in(15)},
        {"pillow_pantaloon_rgb", false, multicolour_pattern, read_exactly_in(23)},
        {"imagemagick_colodore_rgb", false, multicolour_pattern, read_exactly_in(13)},
        {"imagemagick_ste_indexed", false, multicolour_pattern, read_exactly_in(26)},
        {"gimp_perplex_indexed", false, multicolour_pattern, read_exactly_in(24)},
        {"pillow_unlisted_by_brightness", false, multicolour_pattern,
         "colours read through the file's palette of 16 colours (palette 15, lospec-commodore-64)\n"},
        // Framed screenshots and enlargements, in other built-in palettes.
        {"pillow_ntsc_384x247", false, multicolour_pattern, read_exactly_in(0)},
        {"imagemagick_framed_402x292", false, multicolour_pattern, read_exactly_in(8)},
        {"imagemagick_enlarged_2x", false, multicolour_pattern, read_exactly_in(0)},
        // GIF: the palette in C64 order or by brightness, interlaced, hires,
        // framed, an enlarged screenshot.
        {"pillow_c64_order.gif", false, multicolour_pattern, read_exactly_in(5)},
        {"pillow_brightness_order.gif", false, multicolour_pattern, read_exactly_in(6)},
        {"pillow_ntsc_384x247.gif", false, multicolour_pattern, read_exactly_in(5)},
        {"imagemagick_hires.gif", true, hires_pattern, read_exactly_in(8)},
        {"imagemagick_interlaced.gif", false, multicolour_pattern, read_exactly_in(0)},
        {"imagemagick_screenshot_2x.gif", false, multicolour_pattern, read_exactly_in(9)},
        {"gimp_indexed.gif", false, multicolour_pattern, read_exactly_in(9)},
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

    // A palette-based 160 by 200 image whose palette holds a library palette
    // in C64 order is read by index; index 16 stops it.
    TestPng narrow{160, 200, PNG_COLOR_TYPE_PALETTE, 8, false, {}, [](int x, int y) {
                       return std::array<std::uint16_t, 4>{static_cast<std::uint16_t>(x == 150 && y == 199 ? 16 : 0)};
                   }};
    for (int entry = 0; entry < 16; ++entry) {
        const std::uint32_t rgb = library_colour(18, entry) ^ 0x010203u;
        narrow.palette.push_back({static_cast<std::uint8_t>(rgb >> 16), static_cast<std::uint8_t>(rgb >> 8),
                                  static_cast<std::uint8_t>(rgb)});
    }
    narrow.palette.push_back({1, 2, 3});
    write_bytes(file("narrow.png"), build_png(narrow));
    result = run("ingravo", {"narrow.png"});
    EXPECT_EQ(result.status, status_of(ERR_UNKNOWN_COLOURS));
    EXPECT_EQ(result.output.substr(INGRAVO_BANNER.size()).rfind("palette index 16 above 15 at x 150, y 199\n", 0), 0u)
        << result.output;
    EXPECT_FALSE(exists("shot.koa"));
    EXPECT_FALSE(exists("narrow.koa"));
    EXPECT_FALSE(exists("errors.pcx"));
}

// Black and D5D5D5 alone: light grey in one emulator's palette, white in
// another's. The run stops and says how to settle it; -c16 does.
TEST_F(IngravoForeignPng, GreysAloneAreRefusedUntilThePaletteIsGiven) {
    TestPng greys{320, 200, PNG_COLOR_TYPE_RGB, 8, false, {}, [](int x, int y) {
                      const auto level = static_cast<std::uint16_t>((x / 8 + y / 8) % 2 ? 0xD5 : 0);
                      return std::array<std::uint16_t, 4>{level, level, level};
                  }};
    write_bytes(file("greys.png"), build_png(greys));
    ProgramResult result = run("ingravo", {"greys.png", "-s"});
    EXPECT_EQ(result.status, status_of(ERR_UNKNOWN_COLOURS));
    const std::string why = result.output.substr(INGRAVO_BANNER.size());
    EXPECT_EQ(why.rfind("grey #D5D5D5 at x 8, y 0 is colour 15 of palette 16 (vice) but near colour 1 of palette ", 0),
              0u)
        << why;
    EXPECT_NE(why.find("\nblack, white and greys alone do not tell the palette; -cNN reads it in the palette you "
                       "name\n"),
              std::string::npos)
        << why;
    EXPECT_FALSE(exists("greys.art"));
    result = run("ingravo", {"greys.png", "-s", "-c16"});
    EXPECT_EQ(result.status, 0) << result.output;
    EXPECT_TRUE(exists("greys.art"));
}

// A pixel editor's file: a 16-entry palette, sorted by brightness, of an
// emulator palette brightened by 20 (no entry pure black). Its two greys
// alone could be read several ways; the whole palette reads clearly.
TEST_F(IngravoForeignPng, SixteenColourPaletteSettlesAFewGreys) {
    static const int by_brightness[16] = {0, 6, 9, 11, 2, 4, 8, 12, 14, 10, 5, 3, 15, 7, 13, 1};
    TestPng sorted{320, 200, PNG_COLOR_TYPE_PALETTE, 4, false, {}, [](int x, int y) {
                       // entry 0 is black, entry 12 light grey
                       return std::array<std::uint16_t, 4>{static_cast<std::uint16_t>((x / 8 + y / 8) % 2 ? 12 : 0)};
                   }};
    for (const int number : by_brightness) {
        const std::uint32_t rgb = library_colour(16, number);
        auto raised = [&](int shift) { return static_cast<std::uint8_t>(std::min(255u, (rgb >> shift & 0xFF) + 20)); };
        sorted.palette.push_back({raised(16), raised(8), raised(0)});
    }
    write_bytes(file("sorted.png"), build_png(sorted));
    const ProgramResult result = run("ingravo", {"sorted.png", "-s"});
    ASSERT_EQ(result.status, 0) << result.output;
    EXPECT_NE(result.output.find("colours read through the file's palette of 16 colours (palette 16, vice)\n"),
              std::string::npos)
        << result.output;
    auto picture = std::make_unique<HiresPicture>();
    ASSERT_EQ(load_hires_picture(file("sorted.art").string(), *picture), 0);
    const auto back = rendered(*picture);
    EXPECT_EQ(back->pixels[0], 0);
    EXPECT_EQ(back->pixels[8], 15);
}

// A pixel the colours cannot name is named where it lies in an enlarged,
// framed file: its block's top left pixel.
TEST_F(IngravoForeignPng, UnknownColourInAnEnlargementIsNamedInFileCoordinates) {
    TestPng shot{768, 494, PNG_COLOR_TYPE_RGB, 8, false, {}, [](int x, int y) {
                     const bool odd = x / 2 == 32 + 100 && y / 2 == 23 + 50;
                     const auto level = static_cast<std::uint16_t>(odd ? 0x7A : 0);
                     return std::array<std::uint16_t, 4>{level, level, level};
                 }};
    write_bytes(file("shot.png"), build_png(shot));
    const ProgramResult result = run("ingravo", {"shot.png"});
    EXPECT_EQ(result.status, status_of(ERR_UNKNOWN_COLOURS));
    EXPECT_EQ(result.output.substr(INGRAVO_BANNER.size()).rfind("unknown colour #7A7A7A at x 264, y 146\n", 0), 0u)
        << result.output;
    EXPECT_FALSE(exists("shot.koa"));
}

class IngravoBadInput : public ToolTest {
protected:
    // Runs ingravo on the bytes; the run must stop with -29 after the line,
    // and write nothing.
    void expect_refused(const std::string& name, const std::vector<std::uint8_t>& bytes, const std::string& line) {
        write_bytes(file(name), bytes);
        const ProgramResult result = run("ingravo", {name});
        EXPECT_EQ(result.status, status_of(ERR_INVALID_PNG)) << name;
        EXPECT_EQ(result.output, INGRAVO_BANNER + line + error_block("fichier png invalide", INGRAVO_USAGE)) << name;
        const auto left = std::distance(std::filesystem::directory_iterator(folder), {});
        EXPECT_EQ(left, 1) << name << ": something was written";
        std::filesystem::remove(file(name));
    }
};

TestGif c64_gif(int width, int height, int colours) {
    std::vector<GifColorType> map;
    for (int entry = 0; entry < colours; ++entry) {
        const auto& rgb = c64_palettes[DEFAULT_PALETTE][static_cast<std::size_t>(entry % 16)];
        map.push_back({rgb[0], rgb[1], rgb[2]});
    }
    return {width, height, 0, 0, width, height, false, map, {}, 0,
            [colours](int x, int y) { return static_cast<std::uint8_t>(multicolour_pattern(x, y) % colours); }};
}

TEST_F(IngravoBadInput, GifsThatLieOrEndEarlyAreRefusedNamingGif) {
    const std::vector<std::uint8_t> good = build_gif(c64_gif(320, 200, 16));
    std::vector<std::uint8_t> huge = good;
    huge[6] = huge[7] = huge[8] = huge[9] = 0xFF;
    expect_refused("huge.gif", huge,
                   "gif image of 65535 x 65535: accepted sizes are 320 x 200, 384 x 272, 160 x 200, any size up to "
                   "2048 x 2048 with the picture centred in a one-colour frame, and these enlarged 2, 3 or 4 "
                   "times\n");
    std::vector<std::uint8_t> wide_frame = good;
    const std::size_t width_at = first_image_descriptor(good) + 5;
    ASSERT_LT(width_at + 1, wide_frame.size());
    wide_frame.at(width_at) = 0x41;  // 321 wide on a 320 screen
    wide_frame.at(width_at + 1) = 0x01;
    expect_refused("wide.gif", wide_frame, "gif file refused: a first image that does not fit in its screen\n");
    TestGif short_map = c64_gif(320, 200, 2);
    short_map.index = [](int x, int y) { return static_cast<std::uint8_t>(x == 200 && y == 100 ? 2 : 0); };
    expect_refused("short.gif", build_gif(short_map), "gif file refused: an index beyond its colour map\n");
    expect_refused("cut.gif", std::vector<std::uint8_t>(good.begin(), good.begin() + 900),
                   "gif file refused: Failed to read from given file\n");
    expect_refused("header.gif", std::vector<std::uint8_t>(good.begin(), good.begin() + 8),
                   "gif file refused: No screen descriptor detected\n");
}

TEST_F(IngravoBadInput, PngsWithAShortPaletteOrAFramedBorderAreRefused) {
    TestPng picture{320, 200, PNG_COLOR_TYPE_PALETTE, 8, false, {}, [](int x, int y) {
                        return std::array<std::uint16_t, 4>{static_cast<std::uint16_t>(multicolour_pattern(x, y))};
                    }};
    for (int entry = 0; entry < 16; ++entry) {
        const auto& rgb = c64_palettes[DEFAULT_PALETTE][static_cast<std::size_t>(entry)];
        picture.palette.push_back({rgb[0], rgb[1], rgb[2]});
    }
    TestPng short_palette = picture;
    short_palette.bit_depth = 4;
    short_palette.palette.resize(10);
    // libpng writes an index at most one beyond the palette.
    short_palette.sample = [](int x, int y) {
        return std::array<std::uint16_t, 4>{static_cast<std::uint16_t>(x == 160 && y == 100 ? 10 : x % 10)};
    };
    expect_refused("short.png", build_png(short_palette), "");
    // A framed size whose frame holds a second colour.
    TestPng framed{384, 247, PNG_COLOR_TYPE_RGB, 8, false, {}, [](int x, int y) {
                       const auto blue = static_cast<std::uint16_t>(x == 383 && y == 246 ? 0xC7 : 0xC8);
                       return std::array<std::uint16_t, 4>{0x3C, 0x3C, blue};
                   }};
    expect_refused("framed.png", build_png(framed),
                   "png image of 384 x 247: the frame around the 320 x 200 picture is not one colour (#3C3CC8, "
                   "then #3C3CC7 at x 383, y 246)\n");
}

}  // namespace

namespace {

class IngravoGivenPalette : public ToolTest {};

// An RGB PNG of the multicolour pattern in the given colours.
void write_pattern_png(const std::filesystem::path& path, const std::array<std::uint32_t, 16>& colours) {
    TestPng png{320, 200, PNG_COLOR_TYPE_RGB, 8, false, {}, [colours](int x, int y) {
                    const std::uint32_t rgb = colours[multicolour_pattern(x, y)];
                    return std::array<std::uint16_t, 4>{static_cast<std::uint16_t>(rgb >> 16),
                                                        static_cast<std::uint16_t>(rgb >> 8 & 0xFF),
                                                        static_cast<std::uint16_t>(rgb & 0xFF)};
                }};
    write_bytes(path, build_png(png));
}

// -c settles a picture the automatic rules refuse: palette 4's colours (never
// the palette of an approximate reading), each channel 20 brighter.
TEST_F(IngravoGivenPalette, NamedPaletteReadsWhatTheRulesRefuse) {
    std::array<std::uint32_t, 16> brighter{};
    for (int c = 0; c < 16; ++c) {
        for (int shift = 0; shift < 24; shift += 8) {
            brighter[c] |= std::min(255u, (library_colour(4, c) >> shift & 0xFF) + 20) << shift;
        }
    }
    write_pattern_png(file("bright.png"), brighter);
    const ProgramResult refused = run("ingravo", {"bright.png", "-b0"});
    ASSERT_EQ(refused.status, status_of(ERR_UNKNOWN_COLOURS)) << refused.output;
    EXPECT_FALSE(exists("bright.koa"));

    const ProgramResult result = run("ingravo", {"bright.png", "-b0", "-c4"});
    EXPECT_EQ(result.status, 0) << result.output;
    EXPECT_EQ(result.output.substr(INGRAVO_BANNER.size()).rfind("colours read in palette 4: ", 0), 0u)
        << result.output;
    auto picture = std::make_unique<C64Picture>();
    ASSERT_EQ(load_multicolour_picture(file("bright.koa").string(), FORMAT_KOALA, *picture), 0);
    EXPECT_EQ(first_difference(*rendered(*picture), multicolour_pattern), -1);
}

TEST_F(IngravoGivenPalette, ColoursThatCannotBeTheNamedPaletteAreRefused) {
    // Palette 4's colours are far from palette 10's dim ones.
    std::array<std::uint32_t, 16> colours{};
    for (int c = 0; c < 16; ++c) colours[c] = library_colour(4, c);
    write_pattern_png(file("bright.png"), colours);
    const ProgramResult result = run("ingravo", {"bright.png", "-c10"});
    EXPECT_EQ(result.status, status_of(ERR_UNKNOWN_COLOURS));
    EXPECT_NE(result.output.find("of palette 10"), std::string::npos) << result.output;
    EXPECT_FALSE(exists("bright.koa"));
    EXPECT_FALSE(exists("errors.pcx"));
    // Out of range: the range line and -8, as for every number switch.
    const ProgramResult range = run("ingravo", {"bright.png", "-c27"});
    EXPECT_EQ(range.status, status_of(ERR_PARAMETERS));
    EXPECT_EQ(range.output.substr(INGRAVO_BANNER.size()).rfind("Valeur : 27 en dehors de l'intervalle : [0, 26]\n", 0),
              0u)
        << range.output;
}

// A PCX holds colour numbers already: -c changes nothing.
TEST_F(IngravoGivenPalette, PcxIgnoresTheNamedPalette) {
    std::filesystem::copy_file(fixture_path("netpbm_multicolour.pcx"), file("net.pcx"));
    const ProgramResult plain = run("ingravo", {"net.pcx", "plain.koa", "-b0"});
    const ProgramResult given = run("ingravo", {"net.pcx", "given.koa", "-b0", "-c20"});
    EXPECT_EQ(plain.output, given.output);
    EXPECT_EQ(given.status, 0);
    EXPECT_EQ(read_bytes(file("plain.koa")), read_bytes(file("given.koa")));
}

}  // namespace
