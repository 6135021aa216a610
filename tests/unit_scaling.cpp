// The scaler onto the screen: placement for cover and contain, exact area
// averaging, interpolation when enlarging, the two sizes taken as they are,
// and EXIF orientation.
#include <cmath>
#include <functional>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "convert/scaling.h"

namespace {

using Pixel = std::array<float, 4>;

// Scales a picture given pixel by pixel (premultiplied) onto a new screen.
std::unique_ptr<ScreenImage> scale(int width, int height, ScreenFit fit, const std::function<Pixel(int, int)>& pixel) {
    auto image = std::make_unique<ScreenImage>();
    auto scaler = std::make_unique<ScreenScaler>();
    EXPECT_EQ(start_screen_scaling(width, height, fit, *image, *scaler), ERR_SUCCESS);
    std::vector<float> row(static_cast<std::size_t>(width) * 4);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const Pixel value = pixel(x, y);
            std::copy(value.begin(), value.end(), row.begin() + x * 4);
        }
        push_screen_row(*scaler, row.data());
    }
    finish_screen_scaling(*scaler);
    return image;
}

float red(const ScreenImage& image, int x, int y) {
    return image.rgb[static_cast<std::size_t>((y * IMAGE_WIDTH + x) * 3)];
}

float coverage(const ScreenImage& image, int x, int y) {
    return image.coverage[static_cast<std::size_t>(y * IMAGE_WIDTH + x)];
}

Pixel grey(float value) {
    return {value, value, value, 1.0F};
}

}  // namespace

TEST(ScreenPlacement, CoverFillsTheScreenAndCropsTheOverflowEvenly) {
    const ScreenPlacement wide = place_on_screen(1600, 900, ScreenFit::cover);
    EXPECT_EQ(wide.method, ScalingMethod::shrink);
    EXPECT_DOUBLE_EQ(wide.scale, 200.0 / 900.0);
    EXPECT_NEAR(wide.left, (320.0 - 1600.0 * 200.0 / 900.0) / 2.0, 1e-9);
    EXPECT_DOUBLE_EQ(wide.top, 0.0);
    const ScreenPlacement tall = place_on_screen(100, 1000, ScreenFit::cover);
    EXPECT_EQ(tall.method, ScalingMethod::enlarge);
    EXPECT_DOUBLE_EQ(tall.scale, 3.2);
    EXPECT_DOUBLE_EQ(tall.left, 0.0);
    EXPECT_DOUBLE_EQ(tall.top, (200.0 - 3200.0) / 2.0);
}

TEST(ScreenPlacement, ContainKeepsTheWholePictureCentred) {
    const ScreenPlacement wide = place_on_screen(640, 200, ScreenFit::contain);
    EXPECT_DOUBLE_EQ(wide.scale, 0.5);
    EXPECT_DOUBLE_EQ(wide.left, 0.0);
    EXPECT_DOUBLE_EQ(wide.top, 50.0);
    // At its own size a picture lies on whole pixels, not blurred by half of one.
    const ScreenPlacement odd = place_on_screen(320, 101, ScreenFit::contain);
    EXPECT_DOUBLE_EQ(odd.scale, 1.0);
    EXPECT_DOUBLE_EQ(odd.left, 0.0);
    EXPECT_DOUBLE_EQ(odd.top, 49.0);
}

TEST(ScreenPlacement, TheScreenSizeIsCopiedAndHalfItsWidthDoubledInEitherFit) {
    for (const ScreenFit fit : {ScreenFit::cover, ScreenFit::contain}) {
        EXPECT_EQ(place_on_screen(320, 200, fit).method, ScalingMethod::copy);
        EXPECT_EQ(place_on_screen(160, 200, fit).method, ScalingMethod::double_width);
    }
}

TEST(ScreenScaling, ACheckerboardOfTwiceTheSizeAveragesToHalfTheLight) {
    const auto image = scale(640, 400, ScreenFit::cover, [](int x, int y) { return grey((x + y) % 2 == 0 ? 1.0F : 0.0F); });
    for (int y = 0; y < IMAGE_HEIGHT; y += 7) {
        for (int x = 0; x < IMAGE_WIDTH; x += 11) {
            ASSERT_NEAR(red(*image, x, y), 0.5F, 1e-5F) << x << ", " << y;
            ASSERT_EQ(coverage(*image, x, y), 1.0F);
        }
    }
    EXPECT_FALSE(image->has_transparency);
}

TEST(ScreenScaling, AreaAveragingWeighsFractionalPixelsByTheirShare) {
    // 480 columns onto 320: every screen pixel takes one and a half source
    // pixels: columns white, black by turns give 2/3, 2/3, 1/3, 1/3.
    const auto image = scale(480, 300, ScreenFit::cover, [](int x, int) { return grey(x % 2 == 0 ? 1.0F : 0.0F); });
    EXPECT_NEAR(red(*image, 0, 10), 2.0F / 3.0F, 1e-5F);
    EXPECT_NEAR(red(*image, 1, 10), 2.0F / 3.0F, 1e-5F);
    EXPECT_NEAR(red(*image, 2, 10), 1.0F / 3.0F, 1e-5F);
    EXPECT_NEAR(red(*image, 3, 10), 1.0F / 3.0F, 1e-5F);
    EXPECT_NEAR(red(*image, 4, 10), 2.0F / 3.0F, 1e-5F);
    EXPECT_FALSE(image->has_transparency);
}

TEST(ScreenScaling, ThePictureSizeIsCopiedUntouched) {
    const auto value = [](int x, int y) {
        return Pixel{static_cast<float>(x) / 320.0F, static_cast<float>(y) / 200.0F, 0.25F, 1.0F};
    };
    const auto image = scale(320, 200, ScreenFit::contain, value);
    for (int y = 0; y < IMAGE_HEIGHT; y += 13) {
        for (int x = 0; x < IMAGE_WIDTH; x += 17) {
            ASSERT_EQ(red(*image, x, y), value(x, y)[0]);
            ASSERT_EQ(image->rgb[static_cast<std::size_t>((y * IMAGE_WIDTH + x) * 3 + 1)], value(x, y)[1]);
        }
    }
}

TEST(ScreenScaling, AMulticolourScreenHasEachPixelDoubled) {
    const auto image = scale(160, 200, ScreenFit::cover, [](int x, int) { return grey(static_cast<float>(x) / 160.0F); });
    for (int x = 0; x < 160; ++x) {
        ASSERT_EQ(red(*image, 2 * x, 5), static_cast<float>(x) / 160.0F);
        ASSERT_EQ(red(*image, 2 * x + 1, 5), static_cast<float>(x) / 160.0F);
    }
}

TEST(ScreenScaling, ContainLeavesTheRestUncoveredAndBlack) {
    const auto image = scale(640, 200, ScreenFit::contain, [](int, int) { return grey(0.8F); });
    EXPECT_TRUE(image->has_transparency);
    EXPECT_EQ(coverage(*image, 100, 49), 0.0F);
    EXPECT_EQ(red(*image, 100, 49), 0.0F);
    EXPECT_EQ(coverage(*image, 100, 50), 1.0F);
    EXPECT_NEAR(red(*image, 100, 50), 0.8F, 1e-6F);
    EXPECT_EQ(coverage(*image, 100, 149), 1.0F);
    EXPECT_EQ(coverage(*image, 100, 150), 0.0F);
}

TEST(ScreenScaling, ContainCoversAnEdgePixelByTheShareThePictureTakesOfIt) {
    // 1000 x 700: scale 2/7, 285.7 pixels wide from x 17.14: pixel 17 is
    // covered 0.857, and its colour is the picture's times that share.
    const auto image = scale(1000, 700, ScreenFit::contain, [](int, int) { return grey(0.5F); });
    const double left = (320.0 - 1000.0 * 2.0 / 7.0) / 2.0;
    EXPECT_NEAR(coverage(*image, 17, 100), 18.0 - left, 1e-4);
    EXPECT_NEAR(red(*image, 17, 100), 0.5 * (18.0 - left), 1e-4);
    EXPECT_EQ(coverage(*image, 16, 100), 0.0F);
    EXPECT_EQ(coverage(*image, 18, 100), 1.0F);
}

TEST(ScreenScaling, CoverCropsBothEndsEvenly) {
    // 400 x 200 at its own size: 40 columns cropped each side.
    const auto image = scale(400, 200, ScreenFit::cover, [](int x, int) { return grey(static_cast<float>(x) / 400.0F); });
    EXPECT_FLOAT_EQ(red(*image, 0, 0), 40.0F / 400.0F);
    EXPECT_FLOAT_EQ(red(*image, 319, 199), 359.0F / 400.0F);
    EXPECT_FALSE(image->has_transparency);
}

TEST(ScreenScaling, EnlargingKeepsFlatColourAndEdgesWithinTheirBounds) {
    const auto flat = scale(32, 20, ScreenFit::cover, [](int, int) { return Pixel{0.3F, 0.2F, 0.1F, 1.0F}; });
    EXPECT_NEAR(red(*flat, 0, 0), 0.3F, 1e-5F);
    EXPECT_NEAR(red(*flat, 319, 199), 0.3F, 1e-5F);
    EXPECT_FALSE(flat->has_transparency);
    // A hard edge overshoots in Catmull-Rom; the values are still kept to 0..1.
    const auto edge = scale(16, 10, ScreenFit::cover, [](int x, int) { return grey(x < 8 ? 0.0F : 1.0F); });
    for (int x = 0; x < IMAGE_WIDTH; ++x) {
        ASSERT_GE(red(*edge, x, 100), 0.0F);
        ASSERT_LE(red(*edge, x, 100), 1.0F);
    }
    EXPECT_EQ(red(*edge, 0, 100), 0.0F);
    EXPECT_NEAR(red(*edge, 319, 100), 1.0F, 1e-5F);
    // Monotonic apart from the small overshoot either side of the edge.
    EXPECT_LT(red(*edge, 150, 100), red(*edge, 170, 100));
}

TEST(ScreenScaling, EnlargedContainIsCentredWithUncoveredSides) {
    const auto image = scale(100, 100, ScreenFit::contain, [](int, int) { return grey(0.6F); });
    EXPECT_EQ(coverage(*image, 59, 100), 0.0F);
    EXPECT_EQ(coverage(*image, 60, 100), 1.0F);
    EXPECT_NEAR(red(*image, 60, 100), 0.6F, 1e-5F);
    EXPECT_EQ(coverage(*image, 259, 100), 1.0F);
    EXPECT_EQ(coverage(*image, 260, 100), 0.0F);
    EXPECT_TRUE(image->has_transparency);
}

TEST(ScreenScaling, TransparencyIsAveragedAsCoverage) {
    // Left half transparent, right half opaque white, 640 wide: the screen's
    // left half is uncovered and black, its right half white.
    const auto image = scale(640, 400, ScreenFit::cover,
                             [](int x, int) { return x < 320 ? Pixel{0, 0, 0, 0} : grey(1.0F); });
    EXPECT_EQ(coverage(*image, 10, 10), 0.0F);
    EXPECT_EQ(coverage(*image, 300, 10), 1.0F);
    EXPECT_EQ(red(*image, 300, 10), 1.0F);
    EXPECT_TRUE(image->has_transparency);
}

TEST(ScreenScaling, RowsCroppedAwayAreNotNeeded) {
    auto image = std::make_unique<ScreenImage>();
    ScreenScaler scaler{};
    ASSERT_EQ(start_screen_scaling(320, 1000, ScreenFit::cover, *image, scaler), ERR_SUCCESS);
    EXPECT_FALSE(screen_row_needed(scaler, 399));
    EXPECT_TRUE(screen_row_needed(scaler, 400));
    EXPECT_TRUE(screen_row_needed(scaler, 599));
    EXPECT_FALSE(screen_row_needed(scaler, 600));
    EXPECT_EQ(start_screen_scaling(0, 10, ScreenFit::cover, *image, scaler), ERR_FUNCTION_PARAMETERS);
}

TEST(Orientation, StoredPixelsAreFoundForEveryTurn) {
    // A 3 x 2 picture: stored (0, 0) is the top-left corner.
    int x = 0;
    int y = 0;
    EXPECT_TRUE(orientation_swaps_sides(6));
    EXPECT_FALSE(orientation_swaps_sides(3));
    // Turned 90 degrees clockwise, the stored top-left corner shows top right.
    stored_position(6, 3, 2, 1, 0, x, y);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 0);
    // Turned 180 degrees: the shown top left is the stored bottom right.
    stored_position(3, 3, 2, 0, 0, x, y);
    EXPECT_EQ(x, 2);
    EXPECT_EQ(y, 1);
    // Turned 270 degrees: the stored top-left corner shows bottom left.
    stored_position(8, 3, 2, 0, 2, x, y);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 0);
    // Mirrored: the rows are reversed.
    stored_position(2, 3, 2, 0, 1, x, y);
    EXPECT_EQ(x, 2);
    EXPECT_EQ(y, 1);
    // Transposed (5) and transversed (7).
    stored_position(5, 3, 2, 1, 2, x, y);
    EXPECT_EQ(x, 2);
    EXPECT_EQ(y, 1);
    stored_position(7, 3, 2, 0, 0, x, y);
    EXPECT_EQ(x, 2);
    EXPECT_EQ(y, 1);
}
