// The conversion of a picture on the screen into a C64 picture: what shows
// where the picture is transparent, a colour of the palette kept exactly,
// a given background kept, and dithering that keeps a ramp's brightness.
#include <cmath>
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

TEST(PhotoConversion, PaletteColourIsKeptExactlyInEveryModeAndDither) {
    const auto cyan = linear_of(library_colour(PALETTE, 3));
    const auto screen = screen_of([&](int, int) { return std::array<float, 4>{cyan[0], cyan[1], cyan[2], 1.0f}; });
    for (const bool hires : {false, true}) {
        for (int dither = 0; dither < DITHER_KIND_COUNT; ++dither) {
            auto picture = std::make_unique<ConvertedPicture>();
            ASSERT_EQ(convert_photo(*screen, {hires, PALETTE, false, 0, dither, VIEW_TELEVISION}, *picture), ERR_SUCCESS);
            const auto image = rendered(*picture, hires);
            for (const std::uint8_t pixel : image->pixels) {
                ASSERT_EQ(pixel, 3) << "hires " << hires << " dither " << dither;
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
    for (const bool hires : {false, true}) {
        auto picture = std::make_unique<ConvertedPicture>();
        ASSERT_EQ(convert_photo(*screen, {hires, PALETTE, false, 0, DITHER_BEST, VIEW_TELEVISION}, *picture), ERR_SUCCESS);
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
            EXPECT_NEAR(sum / (16 * IMAGE_HEIGHT), target / (16 * IMAGE_HEIGHT), 0.04)
                << (hires ? "hires" : "multicolour") << " band " << band;
        }
    }
}

}  // namespace
