// The picture-quality measure: CIEDE2000 on published pairs, the Gaussian
// blur with reflecting borders, the SSIM of L*, and the checks of its inputs.
#include <cmath>
#include <limits>
#include <memory>

#include <gtest/gtest.h>

#include "c64/pixel.h"
#include "colour/colour_science.h"
#include "convert/picture_measure.h"
#include "support/test_pictures.h"

namespace {

std::unique_ptr<LinearRgb> grey_picture(float light) {
    auto picture = std::make_unique<LinearRgb>();
    picture->fill(light);
    return picture;
}

void set_grey(LinearRgb& picture, int x, int y, float light) {
    for (int channel = 0; channel < 3; ++channel) {
        picture[static_cast<std::size_t>((y * IMAGE_WIDTH + x) * 3 + channel)] = light;
    }
}

float red_at(const LinearRgb& picture, int x, int y) {
    return picture[static_cast<std::size_t>((y * IMAGE_WIDTH + x) * 3)];
}

// The linear light of a grey of lightness L*.
float grey_of_lightness(double lightness) {
    const double root = (lightness + 16.0) / 116.0;
    return static_cast<float>(root * root * root);
}

std::unique_ptr<LinearRgb> random_picture(std::uint32_t seed) {
    auto picture = std::make_unique<LinearRgb>();
    TestBytes bytes(seed);
    for (float& value : *picture) value = linear_of_srgb_byte()[bytes.next()];
    return picture;
}

// Sharma, Wu and Dalal's test data (2005): pairs 1, 4, 7, 9 to 12 and 13 to
// 15 (hues on either side of opposite), 17, 19, 21, 25, 33, 34.
TEST(Ciede2000, PublishedPairs) {
    struct Pair {
        LabColour first;
        LabColour second;
        double difference;
    };
    const Pair pairs[] = {
        {{50, 2.6772, -79.7751}, {50, 0, -82.7485}, 2.0425},
        {{50, -1.3802, -84.2814}, {50, 0, -82.7485}, 1.0000},
        {{50, 0, 0}, {50, -1, 2}, 2.3669},
        {{50, 2.49, -0.001}, {50, -2.49, 0.0009}, 7.1792},
        {{50, 2.49, -0.001}, {50, -2.49, 0.001}, 7.1792},
        {{50, 2.49, -0.001}, {50, -2.49, 0.0011}, 7.2195},
        {{50, -0.001, 2.49}, {50, 0.001, -2.49}, 4.8045},
        {{50, -0.001, 2.49}, {50, 0.0011, -2.49}, 4.7461},
        {{50, 2.5, 0}, {73, 25, -18}, 27.1492},
        {{50, 2.5, 0}, {56, -27, -3}, 31.9030},
        {{50, 2.5, 0}, {50, 3.1736, 0.5854}, 1.0000},
        {{60.2574, -34.0099, 36.2677}, {60.4626, -34.1751, 39.4387}, 1.2644},
        {{22.7233, 20.0904, -46.6940}, {23.0331, 14.9730, -42.5619}, 2.0373},
        {{36.4612, 47.8580, 18.3852}, {36.2715, 50.5065, 21.2231}, 1.4146},
    };
    for (const Pair& pair : pairs) {
        EXPECT_NEAR(ciede2000(pair.first, pair.second), pair.difference, 5e-5) << pair.second.a << " " << pair.second.b;
        EXPECT_NEAR(ciede2000(pair.second, pair.first), pair.difference, 5e-5) << pair.second.a << " " << pair.second.b;
    }
    EXPECT_EQ(ciede2000({41.5, -12.25, 30.0}, {41.5, -12.25, 30.0}), 0.0);
    EXPECT_EQ(ciede2000({63.0, 0.0, 0.0}, {63.0, 0.0, 0.0}), 0.0);
}

// A one-pixel line along an edge: the pixels beyond the edge mirror those
// inside, the edge pixel repeated. Figures from scipy's gaussian_filter
// (mode 'reflect', truncate 4).
TEST(MeasureBlur, ReflectsAtTheBorders) {
    auto line = grey_picture(0.0f);
    for (int y = 0; y < IMAGE_HEIGHT; ++y) set_grey(*line, 0, y, 1.0f);
    auto blurred = std::make_unique<LinearRgb>();
    ASSERT_EQ(blur_linear_rgb(*line, 1.0, *blurred), ERR_SUCCESS);
    const float left_columns[] = {0.6409149f, 0.2959626f, 0.058423f, 0.0045657f, 0.0001338f, 0.0f};
    for (int x = 0; x < 6; ++x) {
        EXPECT_NEAR(red_at(*blurred, x, 100), left_columns[x], 2e-7) << "column " << x;
        EXPECT_NEAR(red_at(*blurred, x, 0), left_columns[x], 2e-7) << "column " << x << ", top row";
    }
    double row_total = 0.0;
    for (int x = 0; x < IMAGE_WIDTH; ++x) row_total += red_at(*blurred, x, 57);
    EXPECT_NEAR(row_total, 1.0, 1e-6);  // reflection loses no light

    // The bottom row lit but for its last pixel, at sigma 2: both passes and a corner.
    line = grey_picture(0.0f);
    for (int x = 0; x < IMAGE_WIDTH - 1; ++x) set_grey(*line, x, IMAGE_HEIGHT - 1, 1.0f);
    ASSERT_EQ(blur_linear_rgb(*line, 2.0, *blurred), ERR_SUCCESS);
    const float bottom_rows[] = {0.0f, 6.69e-05f, 0.0005033f, 0.0026523f, 0.0109803f,
                                 0.0357603f, 0.0917559f, 0.1857474f, 0.2970232f, 0.3755104f};
    for (int y = 190; y < IMAGE_HEIGHT; ++y) {
        EXPECT_NEAR(red_at(*blurred, 160, y), bottom_rows[y - 190], 2e-7) << "row " << y;
    }
    EXPECT_NEAR(red_at(*blurred, 319, 199), 0.23450234f, 2e-7);
    EXPECT_NEAR(red_at(*blurred, 318, 199), 0.26397509f, 2e-7);
}

TEST(PictureMeasure, EqualPicturesScorePerfectly) {
    const auto picture = random_picture(11);
    for (const double sigma : {0.0, 1.0, 2.0, 0.4}) {
        PictureScore score{-1.0, -1.0};
        ASSERT_EQ(measure_picture(*picture, *picture, sigma, score), ERR_SUCCESS);
        EXPECT_EQ(score.delta_e, 0.0) << "sigma " << sigma;
        EXPECT_NEAR(score.ssim, 1.0, 1e-12) << "sigma " << sigma;
    }
}

// One pixel of L* 60 in a grey of L* 50, unblurred. The 49 windows that hold
// it: means 50 and 50 + 10/49, variances 0 and 100/49, covariance 0; every
// other window scores 1.
TEST(PictureMeasure, OnePixelOffByTenLightness) {
    const auto reference = grey_picture(grey_of_lightness(50.0));
    auto output = grey_picture(grey_of_lightness(50.0));
    set_grey(*output, 100, 100, grey_of_lightness(60.0));
    PictureScore score{};
    ASSERT_EQ(measure_picture(*reference, *output, 0.0, score), ERR_SUCCESS);
    const double mean = 50.0 + 10.0 / 49.0;
    const double window = (2.0 * 50.0 * mean + 1.0) * 9.0 / ((2500.0 + mean * mean + 1.0) * (100.0 / 49.0 + 9.0));
    EXPECT_NEAR(score.ssim, 1.0 - 49.0 * (1.0 - window) / (314.0 * 194.0), 1e-7);
    // Greys differ in lightness alone: delta L* / S_L, S_L = 1 + 0.015 * 25 / sqrt(45) at L* 55.
    EXPECT_NEAR(score.delta_e * IMAGE_PIXELS, 10.0 / (1.0 + 0.015 * 25.0 / std::sqrt(45.0)), 1e-3);

    // Two flat greys: SSIM is the ratio of the means' terms alone.
    const auto lighter = grey_picture(grey_of_lightness(60.0));
    ASSERT_EQ(measure_picture(*reference, *lighter, 1.0, score), ERR_SUCCESS);
    EXPECT_NEAR(score.ssim, (2.0 * 50.0 * 60.0 + 1.0) / (2500.0 + 3600.0 + 1.0), 1e-6);
}

TEST(PictureMeasure, BlurForgivesDitheringAndAPreparedReferenceScoresTheSame) {
    // A mid grey against a checkerboard of black and white of the same light.
    const auto reference = grey_picture(0.5f);
    auto dithered = grey_picture(0.0f);
    for (int y = 0; y < IMAGE_HEIGHT; ++y)
        for (int x = (y & 1); x < IMAGE_WIDTH; x += 2) set_grey(*dithered, x, y, 1.0f);
    PictureScore sharp{};
    PictureScore soft{};
    ASSERT_EQ(measure_picture(*reference, *dithered, 0.0, sharp), ERR_SUCCESS);
    ASSERT_EQ(measure_picture(*reference, *dithered, 2.0, soft), ERR_SUCCESS);
    EXPECT_GT(sharp.delta_e, 40.0);
    EXPECT_LT(soft.delta_e, 0.5);
    EXPECT_GT(soft.ssim, sharp.ssim);

    const auto other = random_picture(5);
    const auto prepared = std::make_unique<MeasureReference>();
    ASSERT_EQ(prepare_measure_reference(*other, 1.0, *prepared), ERR_SUCCESS);
    PictureScore direct{};
    PictureScore reused{};
    ASSERT_EQ(measure_picture(*other, *dithered, 1.0, direct), ERR_SUCCESS);
    ASSERT_EQ(measure_against_reference(*prepared, *dithered, reused), ERR_SUCCESS);
    EXPECT_EQ(direct.delta_e, reused.delta_e);
    EXPECT_EQ(direct.ssim, reused.ssim);
}

TEST(PictureMeasure, RefusesWhatItCannotMeasure) {
    const auto picture = grey_picture(0.25f);
    PictureScore score{};
    for (const double sigma : {-0.5, MAX_MEASURE_SIGMA + 0.1, std::numeric_limits<double>::quiet_NaN()}) {
        EXPECT_EQ(measure_picture(*picture, *picture, sigma, score), ERR_FUNCTION_PARAMETERS) << sigma;
    }
    auto broken = grey_picture(0.25f);
    (*broken)[12345] = std::numeric_limits<float>::quiet_NaN();
    EXPECT_EQ(measure_picture(*picture, *broken, 1.0, score), ERR_FUNCTION_PARAMETERS);
    (*broken)[12345] = std::numeric_limits<float>::infinity();
    EXPECT_EQ(measure_picture(*broken, *picture, 1.0, score), ERR_FUNCTION_PARAMETERS);
    const auto prepared = std::make_unique<MeasureReference>();
    EXPECT_EQ(prepare_measure_reference(*broken, 1.0, *prepared), ERR_FUNCTION_PARAMETERS);
}

TEST(PictureMeasure, LinearLightOfColoursAndRenderings) {
    auto colours = std::make_unique<std::array<std::uint32_t, IMAGE_PIXELS>>();
    colours->fill(0x000000);
    (*colours)[1] = 0xFF8000;
    auto light = std::make_unique<LinearRgb>();
    ASSERT_EQ(linear_rgb_from_colours(*colours, *light), ERR_SUCCESS);
    EXPECT_EQ((*light)[3], 1.0f);
    EXPECT_NEAR((*light)[4], srgb_to_linear(128.0 / 255.0), 1e-7);
    EXPECT_EQ((*light)[5], 0.0f);

    auto image = std::make_unique<PixelImage>();
    image->pixels.fill(6);
    image->pixels[IMAGE_PIXELS - 1] = 1;
    ASSERT_EQ(linear_rgb_from_pixel_image(*image, 13, *light), ERR_SUCCESS);
    const std::uint32_t blue = library_colour(13, 6);
    EXPECT_NEAR((*light)[2], srgb_to_linear((blue & 0xFF) / 255.0), 1e-7);
    EXPECT_NEAR((*light)[0], srgb_to_linear((blue >> 16) / 255.0), 1e-7);
    const std::uint32_t white = library_colour(13, 1);
    EXPECT_NEAR((*light)[LINEAR_RGB_VALUES - 2], srgb_to_linear((white >> 8 & 0xFF) / 255.0), 1e-7);

    EXPECT_EQ(linear_rgb_from_pixel_image(*image, LIBRARY_PALETTE_COUNT, *light), ERR_FUNCTION_PARAMETERS);
    image->pixels[77] = 16;  // an error value, not a colour
    EXPECT_EQ(linear_rgb_from_pixel_image(*image, 13, *light), ERR_FUNCTION_PARAMETERS);
}

}  // namespace
