// The conversion of a picture on the screen into a C64 picture: what shows
// where the picture is transparent, a colour of the palette kept exactly,
// a given background kept, dithering that keeps a ramp's brightness, and in
// both views none of the faults people see first: colours foreign to a grey
// picture, stray dots of far colours on crisp pixels, bright dots in dark
// areas, stripes a television shows, a flat colour broken up.
#include <cmath>
#include <algorithm>
#include <functional>
#include <memory>

#include <gtest/gtest.h>

#include "c64/pixel.h"
#include "colour/colour_science.h"
#include "convert/photo_conversion.h"
#include "palettes/palette_library.h"

namespace {

constexpr int PALETTE = 13;

std::array<float, 3> linear_of(std::uint32_t rgb) {
    const auto& linear = linear_of_srgb_byte();
    return {linear[rgb >> 16 & 0xFF], linear[rgb >> 8 & 0xFF], linear[rgb & 0xFF]};
}

// A screen filled pixel by pixel with linear colours and coverage.
std::unique_ptr<ScreenImage> screen_of(const std::function<std::array<float, 4>(int, int)>& pixel) {
    auto screen = std::make_unique<ScreenImage>();
    screen->has_transparency = false;
    for (int y = 0; y < IMAGE_HEIGHT; ++y) {
        for (int x = 0; x < IMAGE_WIDTH; ++x) {
            const auto value = pixel(x, y);
            const auto i = static_cast<std::size_t>(y * IMAGE_WIDTH + x);
            for (int c = 0; c < 3; ++c) {
                screen->rgb[i * 3 + static_cast<std::size_t>(c)] = value[static_cast<std::size_t>(c)] * value[3];
            }
            screen->coverage[i] = value[3];
            screen->has_transparency = screen->has_transparency || value[3] < 1.0f;
        }
    }
    return screen;
}

// The converted picture as colour numbers.
std::unique_ptr<PixelImage> rendered(const ConvertedPicture& picture, bool hires) {
    auto image = std::make_unique<PixelImage>();
    const ErrorCode code = hires ? render_hires_picture(picture.hires, *image, PALETTE)
                                 : render_multicolour_picture(picture.multicolour, *image, PALETTE);
    EXPECT_EQ(code, ERR_SUCCESS);
    return image;
}

int colour_at(const PixelImage& image, int x, int y) {
    return image.pixels[static_cast<std::size_t>(y * IMAGE_WIDTH + x)];
}

struct ModeAndView {
    bool hires;
    int view;
};
constexpr ModeAndView MODES_AND_VIEWS[] = {
    {false, VIEW_TELEVISION}, {true, VIEW_TELEVISION}, {false, VIEW_CRISP}, {true, VIEW_CRISP}};

std::string described(const ModeAndView& c) {
    return std::string(c.hires ? "hires" : "multicolour") + (c.view == VIEW_CRISP ? ", crisp" : ", television");
}

std::unique_ptr<PixelImage> converted(const ScreenImage& screen, const ModeAndView& c) {
    auto picture = std::make_unique<ConvertedPicture>();
    EXPECT_EQ(convert_photo(screen, {c.hires, PALETTE, false, 0, DITHER_BEST, c.view}, *picture), ERR_SUCCESS);
    return rendered(*picture, c.hires);
}

// A smooth photo-like pattern: broad waves, no edges.
float smooth_wave(int x, int y) {
    return 0.5f + 0.25f * std::sin(static_cast<float>(x) * 0.021f) + 0.2f * std::cos(static_cast<float>(y) * 0.027f + 0.003f * static_cast<float>(x));
}

LabColour lab_of_linear(const std::array<float, 3>& rgb) {
    return lab_from_linear(rgb[0], rgb[1], rgb[2]);
}

TEST(PhotoConversion, PaletteColourIsKeptExactlyInEveryModeDitherAndView) {
    const auto cyan = linear_of(library_colour(PALETTE, 3));
    const auto screen = screen_of([&](int, int) { return std::array<float, 4>{cyan[0], cyan[1], cyan[2], 1.0f}; });
    for (const bool hires : {false, true}) {
        for (int dither = 0; dither < DITHER_KIND_COUNT; ++dither) {
            for (int view = 0; view < VIEW_COUNT; ++view) {
                auto picture = std::make_unique<ConvertedPicture>();
                ASSERT_EQ(convert_photo(*screen, {hires, PALETTE, false, 0, dither, view}, *picture), ERR_SUCCESS);
                const auto image = rendered(*picture, hires);
                for (const std::uint8_t pixel : image->pixels) {
                    ASSERT_EQ(pixel, 3) << "hires " << hires << " dither " << dither << " view " << view;
                }
            }
        }
    }
}

// Where the picture is transparent the background shows: the given one, or
// the one the search chose, and in hires black.
TEST(PhotoConversion, TransparentPartsShowTheBackground) {
    const auto orange = linear_of(library_colour(PALETTE, 8));
    const auto screen = screen_of([&](int x, int) {
        return std::array<float, 4>{orange[0], orange[1], orange[2], x < 160 ? 1.0f : 0.0f};
    });
    auto picture = std::make_unique<ConvertedPicture>();
    ASSERT_EQ(convert_photo(*screen, {false, PALETTE, true, 6, DITHER_BEST, VIEW_TELEVISION}, *picture), ERR_SUCCESS);
    EXPECT_EQ(picture->background, 6);
    EXPECT_EQ(picture->multicolour.background, 6);
    auto image = rendered(*picture, false);
    EXPECT_EQ(colour_at(*image, 10, 10), 8);
    EXPECT_EQ(colour_at(*image, 300, 190), 6);

    ASSERT_EQ(convert_photo(*screen, {false, PALETTE, false, 0, DITHER_BEST, VIEW_TELEVISION}, *picture), ERR_SUCCESS);
    image = rendered(*picture, false);
    EXPECT_EQ(colour_at(*image, 300, 190), picture->background);
    EXPECT_EQ(colour_at(*image, 10, 10), 8);

    ASSERT_EQ(convert_photo(*screen, {true, PALETTE, false, 0, DITHER_BEST, VIEW_TELEVISION}, *picture), ERR_SUCCESS);
    image = rendered(*picture, true);
    EXPECT_EQ(colour_at(*image, 300, 190), 0);
}

// A grey ramp keeps its brightness once dithered: each column's mean linear
// light follows the ramp, and brighter columns are never much darker.
TEST(PhotoConversion, DitheredRampKeepsItsBrightness) {
    const auto screen = screen_of([](int x, int) {
        const float grey = static_cast<float>(x) / (IMAGE_WIDTH - 1);
        return std::array<float, 4>{grey, grey, grey, 1.0f};
    });
    for (const auto& [hires, view] : MODES_AND_VIEWS) {
        auto picture = std::make_unique<ConvertedPicture>();
        ASSERT_EQ(convert_photo(*screen, {hires, PALETTE, false, 0, DITHER_BEST, view}, *picture), ERR_SUCCESS);
        const auto image = rendered(*picture, hires);
        // Means over bands of 16 columns, the width of two cells.
        for (int band = 0; band < IMAGE_WIDTH / 16; ++band) {
            double sum = 0.0;
            double target = 0.0;
            for (int y = 0; y < IMAGE_HEIGHT; ++y) {
                for (int x = band * 16; x < band * 16 + 16; ++x) {
                    const auto shown = linear_of(library_colour(PALETTE, colour_at(*image, x, y)));
                    sum += 0.2126 * shown[0] + 0.7152 * shown[1] + 0.0722 * shown[2];
                    target += static_cast<double>(x) / (IMAGE_WIDTH - 1);
                }
            }
            // Crisp pixels keep each dot near its own colour, at a cost to the tone
            // of light greys; hires for a television weighs that a little too.
            const double tolerance = view == VIEW_CRISP ? 0.25 : hires ? 0.07 : 0.04;
            EXPECT_NEAR(sum / (16 * IMAGE_HEIGHT), target / (16 * IMAGE_HEIGHT), tolerance)
                << (hires ? "hires" : "multicolour") << " view " << view << " band " << band;
        }
    }
}

// A grey photo stays in the greys: black, the three greys and white.
TEST(PhotoConversion, GreyPictureStaysInTheGreys) {
    const auto screen = screen_of([](int x, int y) {
        const float grey = smooth_wave(x, y) * smooth_wave(y, x);
        return std::array<float, 4>{grey, grey, grey, 1.0f};
    });
    for (const auto& c : MODES_AND_VIEWS) {
        const auto image = converted(*screen, c);
        for (const std::uint8_t pixel : image->pixels) {
            ASSERT_TRUE(pixel == 0 || pixel == 11 || pixel == 12 || pixel == 15 || pixel == 1)
                << described(c) << ": colour " << static_cast<int>(pixel);
        }
    }
}

// In a smooth area no dot stands alone in a colour far from the photo there:
// a dot unlike all of its four neighbours is one of the four colours nearest
// to its target. The television view's fine dither still places such dots,
// which a television's blur hides.
TEST(PhotoConversion, NoStrayFarColourDots) {
    const auto colour_at_pixel = [](int x, int y) {
        const float wave = smooth_wave(x, y);
        return std::array<float, 3>{0.6f * wave + 0.1f, 0.45f * wave + 0.05f, 0.25f * wave};
    };
    const auto screen = screen_of([&](int x, int y) {
        const auto rgb = colour_at_pixel(x, y);
        return std::array<float, 4>{rgb[0], rgb[1], rgb[2], 1.0f};
    });
    for (const auto& c : {MODES_AND_VIEWS[2], MODES_AND_VIEWS[3]}) {
        const auto image = converted(*screen, c);
        const int step = c.hires ? 1 : 2;
        int stray = 0;
        for (int y = 1; y < IMAGE_HEIGHT - 1; ++y) {
            for (int x = step; x < IMAGE_WIDTH - step; x += step) {
                const int colour = colour_at(*image, x, y);
                if (colour == colour_at(*image, x - step, y) || colour == colour_at(*image, x + step, y) ||
                    colour == colour_at(*image, x, y - 1) || colour == colour_at(*image, x, y + 1)) {
                    continue;
                }
                const LabColour target = lab_of_linear(colour_at_pixel(x, y));
                const double distance = ciede2000(target, lab_from_rgb(library_colour(PALETTE, colour)));
                int nearer = 0;
                for (int other = 0; other < 16; ++other) {
                    nearer += ciede2000(target, lab_from_rgb(library_colour(PALETTE, other))) < distance ? 1 : 0;
                }
                stray += nearer >= 4 ? 1 : 0;
            }
        }
        EXPECT_EQ(stray, 0) << described(c);
    }
}

// Dark areas stay dark: where the photo is near black, no dot is light.
TEST(PhotoConversion, DarkAreasHaveNoBrightDots) {
    const auto screen = screen_of([](int x, int y) {
        // A dim, bluish night scene: at most about L* 30.
        const float wave = 0.02f + 0.04f * smooth_wave(x, y);
        return std::array<float, 4>{wave * 0.8f, wave * 0.9f, wave * 1.3f, 1.0f};
    });
    for (const auto& c : MODES_AND_VIEWS) {
        const auto image = converted(*screen, c);
        double lightest = 0.0;
        for (const std::uint8_t pixel : image->pixels) {
            lightest = std::max(lightest, lab_from_rgb(library_colour(PALETTE, pixel)).l);
        }
        EXPECT_LT(lightest, 50.0) << described(c);
    }
}

// A television blurs along its lines far more than across them: the
// television search dithers a flat colour that needs mixing along the rows,
// not in stripes from row to row, which a set would show.
TEST(PhotoConversion, TelevisionDitherAlternatesAlongTheRows) {
    const auto tan = linear_of(0x968C78);
    const auto screen = screen_of([&](int, int) { return std::array<float, 4>{tan[0], tan[1], tan[2], 1.0f}; });
    const auto image = converted(*screen, MODES_AND_VIEWS[0]);
    const auto lightness = [&](int x, int y) { return lab_from_rgb(library_colour(PALETTE, colour_at(*image, x, y))).l; };
    double across = 0.0;
    double down = 0.0;
    for (int y = 0; y + 1 < IMAGE_HEIGHT; ++y) {
        for (int x = 0; x + 2 < IMAGE_WIDTH; x += 2) {
            across += std::fabs(lightness(x + 2, y) - lightness(x, y));
            down += std::fabs(lightness(x, y + 1) - lightness(x, y));
        }
    }
    EXPECT_LT(down, across);
}

// A flat area whose colour is a C64 colour comes out flat, beside a gradient
// that needs dithering.
TEST(PhotoConversion, FlatPaletteColourAreaStaysFlat) {
    const auto green = linear_of(library_colour(PALETTE, 5));
    const auto screen = screen_of([&](int x, int y) {
        if (x < 160) {
            return std::array<float, 4>{green[0], green[1], green[2], 1.0f};
        }
        const float ramp = static_cast<float>(x - 160) / 160.0f * 0.8f + 0.1f * smooth_wave(x, y);
        return std::array<float, 4>{ramp, ramp * 0.7f, 0.2f, 1.0f};
    });
    for (const auto& c : MODES_AND_VIEWS) {
        const auto image = converted(*screen, c);
        int other = 0;
        for (int y = 0; y < IMAGE_HEIGHT; ++y) {
            for (int x = 0; x < 152; ++x) {
                other += colour_at(*image, x, y) != 5 ? 1 : 0;
            }
        }
        EXPECT_EQ(other, 0) << described(c);
    }
}

}  // namespace
