// Any picture read onto the screen, checked by its colours: embedded
// profiles, sRGB and gamma chunks, EXIF orientation, alpha, grey, 16 bits,
// CMYK; the line that says what was read; damaged files refused with their
// codes and a line saying why.
#include <array>
#include <cmath>
#include <filesystem>
#include <memory>
#include <string>

#include <gtest/gtest.h>
#include <unistd.h>
#include <zlib.h>

#include "colour/colour_science.h"
#include "desktop/exif_orientation.h"
#include "desktop/jpeg_file.h"
#include "desktop/pcx.h"
#include "desktop/screen_reader.h"
#include "support/gif_builder.h"
#include "support/screen_pictures.h"

namespace fs = std::filesystem;

namespace {

using Rgb = std::array<double, 3>;

// Display P3 in linear light to sRGB's primaries, both with the D65 white.
Rgb p3_to_srgb(const Rgb& p3) {
    return {1.2249 * p3[0] - 0.2247 * p3[1], -0.0420 * p3[0] + 1.0419 * p3[1],
            -0.0197 * p3[0] - 0.0786 * p3[1] + 1.0979 * p3[2]};
}

double linear(int byte) {
    return srgb_to_linear(byte / 255.0);
}

class ScreenReaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string test = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        folder = fs::temp_directory_path() / ("c64suite_screen_" + std::to_string(getpid()) + "_" + test);
        fs::create_directories(folder);
    }
    void TearDown() override { fs::remove_all(folder); }

    ErrorCode read(const PictureBytes& bytes, ScreenFit fit = ScreenFit::cover, const char* name = "picture") {
        EXPECT_FALSE(bytes.empty());
        const std::string path = (folder / name).string();
        store_picture(path, bytes);
        return read_screen_image(path, fit, *image, source);
    }

    Rgb at(int x, int y) const {
        const std::size_t pixel = static_cast<std::size_t>(y * IMAGE_WIDTH + x) * 3;
        return {image->rgb[pixel], image->rgb[pixel + 1], image->rgb[pixel + 2]};
    }
    float coverage(int x, int y) const { return image->coverage[static_cast<std::size_t>(y * IMAGE_WIDTH + x)]; }

    void expect_colour(int x, int y, const Rgb& expected, double tolerance) const {
        const Rgb got = at(x, y);
        for (std::size_t channel = 0; channel < 3; ++channel) {
            EXPECT_NEAR(got[channel], expected[channel], tolerance) << "channel " << channel << " at " << x << ", " << y;
        }
    }

    fs::path folder;
    std::unique_ptr<ScreenImage> image = std::make_unique<ScreenImage>();
    ScreenSource source;
};

TestPng flat_rgb_png(int width, int height, std::uint16_t red, std::uint16_t green, std::uint16_t blue, int depth = 8) {
    return {width, height, PNG_COLOR_TYPE_RGB, depth, false, {},
            [=](int, int) { return std::array<std::uint16_t, 4>{red, green, blue, 0}; }};
}

// ---------------------------------------------------------------- PNG

TEST_F(ScreenReaderTest, PlainPngIsSrgbThroughTheTable) {
    ASSERT_EQ(read(build_png(flat_rgb_png(320, 200, 200, 100, 50))), ERR_SUCCESS);
    expect_colour(5, 5, {linear(200), linear(100), linear(50)}, 1e-6);
    EXPECT_FALSE(image->has_transparency);
    EXPECT_EQ(source.profile, "");
    EXPECT_EQ(describe_screen_source(source), "read png 320 x 200\n");
}

TEST_F(ScreenReaderTest, PngWithADisplayP3ProfileIsConvertedToSrgb) {
    PngColourChunks chunks;
    chunks.icc = display_p3_profile();
    ASSERT_EQ(read(build_coloured_png(flat_rgb_png(640, 400, 200, 100, 50), chunks)), ERR_SUCCESS);
    const Rgb expected = p3_to_srgb({linear(200), linear(100), linear(50)});
    expect_colour(100, 100, expected, 0.004);
    // Read as sRGB, red would be 0.58 instead of 0.68.
    EXPECT_GT(at(100, 100)[0], linear(200) + 0.05);
    EXPECT_EQ(source.profile, "Display P3");
    EXPECT_EQ(describe_screen_source(source), "read png 640 x 400, profile Display P3\n");
}

TEST_F(ScreenReaderTest, ColoursBeyondSrgbAreClipped) {
    PngColourChunks chunks;
    chunks.icc = display_p3_profile();
    // P3's pure green lies outside sRGB: negative red and blue are clipped to 0.
    ASSERT_EQ(read(build_coloured_png(flat_rgb_png(320, 200, 0, 255, 0), chunks)), ERR_SUCCESS);
    const Rgb got = at(0, 0);
    EXPECT_EQ(got[0], 0.0);
    EXPECT_NEAR(got[1], 1.0, 1e-3);
    EXPECT_EQ(got[2], 0.0);
}

TEST_F(ScreenReaderTest, SrgbChunkIsNamed) {
    PngColourChunks chunks;
    chunks.srgb = true;
    ASSERT_EQ(read(build_coloured_png(flat_rgb_png(320, 200, 128, 128, 128), chunks)), ERR_SUCCESS);
    expect_colour(0, 0, {linear(128), linear(128), linear(128)}, 1e-5);
    EXPECT_EQ(source.profile, "sRGB");
}

TEST_F(ScreenReaderTest, GammaChunkAloneIsAPowerLaw) {
    PngColourChunks chunks;
    chunks.gamma = 1.0;  // the samples are linear light already
    ASSERT_EQ(read(build_coloured_png(flat_rgb_png(320, 200, 128, 64, 255), chunks)), ERR_SUCCESS);
    expect_colour(0, 0, {128 / 255.0, 64 / 255.0, 1.0}, 1e-5);
    EXPECT_EQ(source.profile, "gamma 1.00");
    chunks.gamma = 0.5;
    ASSERT_EQ(read(build_coloured_png(flat_rgb_png(320, 200, 128, 64, 255), chunks)), ERR_SUCCESS);
    expect_colour(0, 0, {std::pow(128 / 255.0, 2.0), std::pow(64 / 255.0, 2.0), 1.0}, 1e-5);
    EXPECT_EQ(source.profile, "gamma 0.50");
}

// gAMA 0.45455, alone or with sRGB's chromaticities, is how many writers
// (ImageMagick among them) tag an sRGB picture: it is read as sRGB, darks
// included.
TEST_F(ScreenReaderTest, SrgbFallbackGammaIsReadAsSrgb) {
    PngColourChunks chunks;
    chunks.gamma = 0.45455;
    ASSERT_EQ(read(build_coloured_png(flat_rgb_png(320, 200, 10, 64, 255), chunks)), ERR_SUCCESS);
    expect_colour(0, 0, {srgb_to_linear(10 / 255.0), srgb_to_linear(64 / 255.0), 1.0}, 1e-6);
    EXPECT_EQ(source.profile, "sRGB");
    chunks.primaries = true;
    chunks.chromaticities = {0.3127, 0.3290, 0.64, 0.33, 0.30, 0.60, 0.15, 0.06};
    ASSERT_EQ(read(build_coloured_png(flat_rgb_png(320, 200, 10, 64, 255), chunks)), ERR_SUCCESS);
    EXPECT_EQ(source.profile, "sRGB");
}

TEST_F(ScreenReaderTest, GammaWithChromaticitiesUsesTheFilesPrimaries) {
    PngColourChunks chunks;
    chunks.gamma = 1.0 / 2.2;
    chunks.primaries = true;
    chunks.chromaticities = {0.3127, 0.3290, 0.680, 0.320, 0.265, 0.690, 0.150, 0.060};  // P3
    ASSERT_EQ(read(build_coloured_png(flat_rgb_png(320, 200, 200, 100, 50), chunks)), ERR_SUCCESS);
    const Rgb expected = p3_to_srgb({std::pow(200 / 255.0, 2.2), std::pow(100 / 255.0, 2.2), std::pow(50 / 255.0, 2.2)});
    expect_colour(0, 0, expected, 0.004);
    EXPECT_EQ(source.profile, "gamma 0.45 with its own primaries");
}

TEST_F(ScreenReaderTest, SixteenBitSamplesKeepTheirPrecision) {
    ASSERT_EQ(read(build_png(flat_rgb_png(320, 200, 0x8000, 0x0101, 0xFFFF, 16))), ERR_SUCCESS);
    expect_colour(0, 0, {srgb_to_linear(0x8000 / 65535.0), srgb_to_linear(0x0101 / 65535.0), 1.0}, 1e-6);
}

TEST_F(ScreenReaderTest, GreyOfEveryDepthIsSpreadToItsRange) {
    const TestPng two_bit{320, 200, PNG_COLOR_TYPE_GRAY, 2, false, {},
                          [](int x, int) { return std::array<std::uint16_t, 4>{static_cast<std::uint16_t>(x % 4), 0, 0, 0}; }};
    ASSERT_EQ(read(build_png(two_bit)), ERR_SUCCESS);
    expect_colour(0, 0, {0.0, 0.0, 0.0}, 1e-6);
    expect_colour(1, 0, {linear(85), linear(85), linear(85)}, 1e-6);
    expect_colour(3, 0, {1.0, 1.0, 1.0}, 1e-6);
    const TestPng grey_alpha{320, 200, PNG_COLOR_TYPE_GRAY_ALPHA, 16, false, {},
                             [](int, int) { return std::array<std::uint16_t, 4>{0xFFFF, 0x8000, 0, 0}; }};
    ASSERT_EQ(read(build_png(grey_alpha)), ERR_SUCCESS);
    EXPECT_NEAR(coverage(0, 0), 0x8000 / 65535.0, 1e-6);
    expect_colour(0, 0, {0x8000 / 65535.0, 0x8000 / 65535.0, 0x8000 / 65535.0}, 1e-6);
}

TEST_F(ScreenReaderTest, PaletteTransparencyBecomesCoveragePremultipliedInLinearLight) {
    TestPng indexed{320, 200, PNG_COLOR_TYPE_PALETTE, 8, false, {{255, 255, 255}, {200, 100, 50}, {0, 0, 0}},
                    [](int x, int) { return std::array<std::uint16_t, 4>{static_cast<std::uint16_t>(x % 3), 0, 0, 0}; }};
    std::size_t row_bytes = 0;
    const std::vector<std::uint8_t> rows = packed_rows(indexed, row_bytes);
    // tRNS: entry 0 transparent, entry 1 half covered, entry 2 opaque.
    const std::array<std::uint8_t, 2> alpha = {0, 128};
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    PictureBytes with_trns;
    png_set_write_fn(png, &with_trns, append_png_bytes, flush_png_bytes);
    if (setjmp(png_jmpbuf(png)) == 0) {
        png_set_IHDR(png, info, 320, 200, 8, PNG_COLOR_TYPE_PALETTE, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                     PNG_FILTER_TYPE_DEFAULT);
        png_set_PLTE(png, info, indexed.palette.data(), 3);
        png_set_tRNS(png, info, alpha.data(), 2, nullptr);
        png_write_info(png, info);
        for (int y = 0; y < 200; ++y) png_write_row(png, rows.data() + static_cast<std::size_t>(y) * row_bytes);
        png_write_end(png, info);
    }
    png_destroy_write_struct(&png, &info);
    ASSERT_EQ(read(with_trns), ERR_SUCCESS);
    EXPECT_EQ(coverage(0, 0), 0.0F);
    expect_colour(0, 0, {0.0, 0.0, 0.0}, 0.0);
    EXPECT_NEAR(coverage(1, 0), 128 / 255.0, 1e-6);
    expect_colour(1, 0, {linear(200) * 128 / 255.0, linear(100) * 128 / 255.0, linear(50) * 128 / 255.0}, 1e-6);
    EXPECT_EQ(coverage(2, 0), 1.0F);
    EXPECT_TRUE(image->has_transparency);
}

TEST_F(ScreenReaderTest, InterlacedPngReadsAsTheSameColours) {
    TestPng recipe{640, 400, PNG_COLOR_TYPE_RGB, 8, false, {},
                   [](int x, int y) {
                       return std::array<std::uint16_t, 4>{static_cast<std::uint16_t>(x % 256),
                                                           static_cast<std::uint16_t>(y % 256), 77, 0};
                   }};
    ASSERT_EQ(read(build_png(recipe)), ERR_SUCCESS);
    const auto plain = std::make_unique<ScreenImage>(*image);
    recipe.interlaced = true;
    ASSERT_EQ(read(build_png(recipe)), ERR_SUCCESS);
    EXPECT_EQ(image->rgb, plain->rgb);
}

// The PNG built, its IHDR size replaced and its CRC made right again.
PictureBytes png_declaring(const PictureBytes& built, std::uint32_t width, std::uint32_t height) {
    PictureBytes file = built;
    for (int byte = 0; byte < 4; ++byte) {
        file[16 + static_cast<std::size_t>(byte)] = static_cast<std::uint8_t>(width >> (24 - 8 * byte));
        file[20 + static_cast<std::size_t>(byte)] = static_cast<std::uint8_t>(height >> (24 - 8 * byte));
    }
    const uLong crc = crc32(0, file.data() + 12, 17);
    for (int byte = 0; byte < 4; ++byte) {
        file[29 + static_cast<std::size_t>(byte)] = static_cast<std::uint8_t>(crc >> (24 - 8 * byte));
    }
    return file;
}

TEST_F(ScreenReaderTest, InterlacedPngBeyondTheMemoryBoundIsRefusedWithALine) {
    TestPng recipe = flat_rgb_png(8, 8, 1, 2, 3);
    recipe.interlaced = true;
    ASSERT_EQ(read(png_declaring(build_png(recipe), 5000, 5000)), ERR_INVALID_PNG);
    EXPECT_EQ(describe_refused_screen_source(source),
              "png file of 5000 x 5000 refused: an interlaced picture, which is held whole, too large for 40 MB\n");
}

TEST_F(ScreenReaderTest, ZeroSizedPicturesAreRefused) {
    ASSERT_EQ(read(png_declaring(build_png(flat_rgb_png(8, 8, 1, 2, 3)), 0, 8)), ERR_INVALID_PNG);
    EXPECT_NE(describe_refused_screen_source(source), "");
    PictureBytes gif = build_gif({8, 8, 0, 0, 8, 8, false, {{0, 0, 0}, {255, 255, 255}}, {}, 0, [](int, int) { return 0; }});
    gif[6] = 0;
    gif[7] = 0;
    ASSERT_EQ(read(gif), ERR_INVALID_PNG);
    EXPECT_NE(describe_refused_screen_source(source), "");
    PictureBytes jpeg = build_jpeg({16, 16, JCS_RGB, [](int, int) { return std::array<std::uint8_t, 4>{}; }, {}});
    // The frame header's height, after FF C0, its length and precision.
    for (std::size_t at = 2; at + 5 < jpeg.size(); ++at) {
        if (jpeg[at] == 0xFF && jpeg[at + 1] == 0xC0) {
            jpeg[at + 5] = 0;
            jpeg[at + 6] = 0;
            break;
        }
    }
    ASSERT_EQ(read(jpeg), ERR_INVALID_JPEG);
    EXPECT_NE(describe_refused_screen_source(source), "");
}

TEST_F(ScreenReaderTest, TruncatedPngIsRefused) {
    PictureBytes file = build_png(flat_rgb_png(640, 400, 9, 99, 199));
    file.resize(file.size() / 2);
    EXPECT_EQ(read(file), ERR_INVALID_PNG);
    EXPECT_EQ(describe_refused_screen_source(source), "png file of 640 x 400 refused: the file ends early\n");
}

// ---------------------------------------------------------------- GIF and PCX

TEST_F(ScreenReaderTest, GifTransparentIndexAndTheScreenAroundItsFrameAreUncovered) {
    TestGif recipe{64, 40, 16, 0, 32, 40, false, {{0, 0, 0}, {200, 100, 50}, {9, 9, 9}, {9, 9, 9}}, {}, 0,
                   [](int x, int) { return static_cast<std::uint8_t>(x < 16 ? 0 : 1); }};
    recipe.extensions_first = true;
    PictureBytes gif = build_gif(recipe);
    // The graphic control block: flags (transparency), delay, index 0.
    for (std::size_t at = 0; at + 7 < gif.size(); ++at) {
        if (gif[at] == 0x21 && gif[at + 1] == 0xF9 && gif[at + 2] == 4) {
            gif[at + 3] = 1;
            gif[at + 6] = 0;
            break;
        }
    }
    ASSERT_EQ(read(gif), ERR_SUCCESS);
    // Five times enlarged: screen columns 0-79 are outside the frame, 80-159
    // its transparent half, 160-239 colour 1, 240-319 outside again.
    EXPECT_EQ(coverage(40, 100), 0.0F);
    EXPECT_EQ(coverage(120, 100), 0.0F);
    EXPECT_EQ(coverage(200, 100), 1.0F);
    expect_colour(200, 100, {linear(200), linear(100), linear(50)}, 1e-5);
    EXPECT_EQ(coverage(300, 100), 0.0F);
    EXPECT_TRUE(image->has_transparency);
    EXPECT_EQ(describe_screen_source(source), "read gif 64 x 40\n");
}

TEST_F(ScreenReaderTest, PcxIsReadThroughItsPalette) {
    auto pixels = std::make_unique<PixelImage>();
    pixels->pixels.fill(3);
    pixels->palette.fill(0);
    pixels->palette[9] = 200;
    pixels->palette[10] = 100;
    pixels->palette[11] = 50;
    const std::string path = (folder / "picture.pcx").string();
    ASSERT_EQ(pcx_write(*pixels, path), ERR_SUCCESS);
    ASSERT_EQ(read_screen_image(path, ScreenFit::contain, *image, source), ERR_SUCCESS);
    expect_colour(319, 199, {linear(200), linear(100), linear(50)}, 1e-6);
    EXPECT_EQ(describe_screen_source(source), "read pcx 320 x 200\n");
    // Anything that is no other format is taken for a PCX, and refused as one.
    EXPECT_EQ(read(PictureBytes(2000, 'x')), ERR_INVALID_PCX);
}

// ---------------------------------------------------------------- JPEG

std::array<std::uint8_t, 4> jpeg_colour(std::uint8_t first, std::uint8_t second, std::uint8_t third,
                                        std::uint8_t fourth = 0) {
    return {first, second, third, fourth};
}

TEST_F(ScreenReaderTest, JpegIsReadAtTheSmallestDctScaleThatCoversTheScreen) {
    ASSERT_EQ(read(build_jpeg({1600, 900, JCS_RGB, [](int, int) { return jpeg_colour(200, 100, 50); }, {}})),
              ERR_SUCCESS);
    EXPECT_EQ(source.scale_eighths, 2);
    EXPECT_EQ(describe_screen_source(source), "read jpeg 1600 x 900 at 1/4 scale\n");
    expect_colour(160, 100, {linear(200), linear(100), linear(50)}, 0.01);
    EXPECT_EQ(jpeg_scale_eighths(6000, 4000, false, ScreenFit::cover), 1);
    EXPECT_EQ(jpeg_scale_eighths(640, 400, false, ScreenFit::cover), 4);
    EXPECT_EQ(jpeg_scale_eighths(400, 640, true, ScreenFit::cover), 4);
    EXPECT_EQ(jpeg_scale_eighths(400, 640, false, ScreenFit::contain), 3);
    EXPECT_EQ(jpeg_scale_eighths(320, 200, false, ScreenFit::contain), 8);
    // Half a 320 x 400 picture would be taken for a multicolour screen.
    EXPECT_EQ(jpeg_scale_eighths(320, 400, false, ScreenFit::contain), 5);
}

TEST_F(ScreenReaderTest, JpegWithAnIccProfileIsConverted) {
    ASSERT_EQ(read(build_jpeg({320, 200, JCS_RGB, [](int, int) { return jpeg_colour(200, 100, 50); }, display_p3_profile()})),
              ERR_SUCCESS);
    expect_colour(10, 10, p3_to_srgb({linear(200), linear(100), linear(50)}), 0.01);
    EXPECT_EQ(describe_screen_source(source), "read jpeg 320 x 200, profile Display P3\n");
}

TEST_F(ScreenReaderTest, JpegGreyIsGrey) {
    ASSERT_EQ(read(build_jpeg({320, 200, JCS_GRAYSCALE, [](int, int) { return jpeg_colour(128, 0, 0); }, {}})),
              ERR_SUCCESS);
    expect_colour(0, 0, {linear(128), linear(128), linear(128)}, 0.004);
}

TEST_F(ScreenReaderTest, AdobeCmykJpegIsReadAsItsInks) {
    // Magenta and yellow ink full, no cyan or black: red. Half black on top: dark red.
    const auto inks = [](int x, int) { return x < 160 ? jpeg_colour(0, 255, 255, 0) : jpeg_colour(0, 0, 0, 128); };
    ASSERT_EQ(read(build_jpeg({320, 200, JCS_CMYK, inks, {}})), ERR_SUCCESS);
    expect_colour(40, 100, {1.0, 0.0, 0.0}, 0.01);
    expect_colour(280, 100, {linear(127), linear(127), linear(127)}, 0.01);
}

// Orientation: a stored 32 x 20 picture, white with a red top-left corner.
TestJpeg marked_jpeg(int orientation) {
    return {32, 20, JCS_RGB,
            [](int x, int y) { return x < 8 && y < 8 ? jpeg_colour(255, 0, 0) : jpeg_colour(255, 255, 255); },
            {}, orientation};
}

TEST_F(ScreenReaderTest, ExifOrientationSixTurnsTheStoredTopLeftToTheTopRight) {
    ASSERT_EQ(read(build_jpeg(marked_jpeg(6)), ScreenFit::contain), ERR_SUCCESS);
    // Shown 20 x 32, ten times 6.25 is 125 x 200, from x 97.5.
    EXPECT_EQ(source.orientation, 6);
    EXPECT_EQ(describe_screen_source(source), "read jpeg 32 x 20, turned 90 degrees\n");
    EXPECT_LT(at(210, 10)[1], 0.1);   // red: the corner, now top right
    EXPECT_GT(at(110, 10)[1], 0.9);   // white: top left
    EXPECT_GT(at(210, 190)[1], 0.9);  // white: bottom right
    EXPECT_EQ(coverage(50, 100), 0.0F);
}

TEST_F(ScreenReaderTest, ExifOrientationThreeTurnsThePictureUpsideDown) {
    ASSERT_EQ(read(build_jpeg(marked_jpeg(3))), ERR_SUCCESS);
    EXPECT_EQ(describe_screen_source(source), "read jpeg 32 x 20, turned 180 degrees\n");
    EXPECT_LT(at(315, 195)[1], 0.1);  // the corner, now bottom right
    EXPECT_GT(at(5, 5)[1], 0.9);
}

TEST_F(ScreenReaderTest, ExifOrientationIsFoundOnlyInWholeData) {
    const PictureBytes exif = exif_with_orientation(8);
    EXPECT_EQ(exif_orientation(exif.data(), exif.size()), 8);
    EXPECT_EQ(exif_orientation(exif.data(), exif.size() - 10), 1);
    PictureBytes big_endian = exif;
    big_endian[6] = 'M';
    big_endian[7] = 'M';
    EXPECT_EQ(exif_orientation(big_endian.data(), big_endian.size()), 1);  // 42 is now 0x2A00
    PictureBytes wild = exif;
    wild[24] = 9;
    EXPECT_EQ(exif_orientation(wild.data(), wild.size()), 1);
}

TEST_F(ScreenReaderTest, DamagedAndTruncatedJpegsAreRefusedWithTheirCode) {
    const PictureBytes good = build_jpeg({320, 200, JCS_RGB, [](int x, int y) {
        return jpeg_colour(static_cast<std::uint8_t>(x), static_cast<std::uint8_t>(y), 7);
    }, {}, 1, false, 90});
    PictureBytes truncated(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(good.size() / 2));
    EXPECT_EQ(read(truncated), ERR_INVALID_JPEG);
    EXPECT_EQ(describe_refused_screen_source(source), "jpeg file of 320 x 200 refused: premature end of JPEG file\n");
    PictureBytes damaged = good;
    for (std::size_t at = good.size() / 3; at < good.size() / 3 + 64; ++at) damaged[at] = 0xFF;
    EXPECT_EQ(read(damaged), ERR_INVALID_JPEG);
    EXPECT_NE(source.problem, "");
    EXPECT_EQ(read(PictureBytes{0xFF, 0xD8, 0xFF, 0xE0, 0, 2}), ERR_INVALID_JPEG);
    EXPECT_NE(describe_refused_screen_source(source), "");
}

TEST_F(ScreenReaderTest, ProgressiveJpegReadsLikeABaselineOne) {
    TestJpeg recipe{640, 400, JCS_RGB, [](int x, int) { return jpeg_colour(static_cast<std::uint8_t>(x / 3), 90, 200); }, {}};
    ASSERT_EQ(read(build_jpeg(recipe)), ERR_SUCCESS);
    const auto baseline = std::make_unique<ScreenImage>(*image);
    recipe.progressive = true;
    ASSERT_EQ(read(build_jpeg(recipe)), ERR_SUCCESS);
    for (std::size_t at = 0; at < baseline->rgb.size(); at += 997) {
        ASSERT_NEAR(image->rgb[at], baseline->rgb[at], 0.01);
    }
}

// ---------------------------------------------------------------- WebP

TEST_F(ScreenReaderTest, LosslessWebpKeepsItsColoursAndAlpha) {
    const TestWebp recipe{320, 200, true, [](int x, int) {
        return x < 100 ? std::array<std::uint8_t, 4>{200, 100, 50, 255} : std::array<std::uint8_t, 4>{255, 255, 255, 64};
    }, {}};
    ASSERT_EQ(read(build_webp(recipe)), ERR_SUCCESS);
    expect_colour(10, 10, {linear(200), linear(100), linear(50)}, 1e-6);
    EXPECT_EQ(coverage(10, 10), 1.0F);
    EXPECT_NEAR(coverage(200, 10), 64 / 255.0, 1e-6);
    expect_colour(200, 10, {64 / 255.0, 64 / 255.0, 64 / 255.0}, 1e-6);
    EXPECT_TRUE(image->has_transparency);
    EXPECT_EQ(describe_screen_source(source), "read webp 320 x 200\n");
}

TEST_F(ScreenReaderTest, LossyWebpWithItsContainersProfile) {
    const TestWebp recipe{640, 400, false, [](int, int) { return std::array<std::uint8_t, 4>{200, 100, 50, 255}; },
                          display_p3_profile()};
    ASSERT_EQ(read(build_webp(recipe)), ERR_SUCCESS);
    expect_colour(100, 100, p3_to_srgb({linear(200), linear(100), linear(50)}), 0.02);
    EXPECT_EQ(source.profile, "Display P3");
    EXPECT_FALSE(image->has_transparency);
}

TEST_F(ScreenReaderTest, DamagedAndTruncatedWebpsAreRefusedWithTheirCode) {
    const TestWebp recipe{320, 200, false, [](int x, int y) {
        return std::array<std::uint8_t, 4>{static_cast<std::uint8_t>(x), static_cast<std::uint8_t>(y), 9, 255};
    }, {}};
    const PictureBytes good = build_webp(recipe);
    PictureBytes truncated(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(good.size() / 2));
    EXPECT_EQ(read(truncated), ERR_INVALID_WEBP);
    EXPECT_EQ(describe_refused_screen_source(source), "webp file of 320 x 200 refused: a file cut short\n");
    // The VP8 frame's start code, after the RIFF and chunk headers and the frame tag.
    PictureBytes damaged = good;
    ASSERT_EQ(damaged[23], 0x9D);
    damaged[23] = 0;
    EXPECT_EQ(read(damaged), ERR_INVALID_WEBP);
    EXPECT_NE(describe_refused_screen_source(source), "");
    EXPECT_EQ(read(PictureBytes{'R', 'I', 'F', 'F', 4, 0, 0, 0, 'W', 'E', 'B', 'P'}), ERR_INVALID_WEBP);
}

TEST_F(ScreenReaderTest, AMissingFileCannotBeOpened) {
    EXPECT_EQ(read_screen_image((folder / "none.jpg").string(), ScreenFit::cover, *image, source), ERR_OPEN);
}

TEST_F(ScreenReaderTest, AProfileForOtherPixelsIsRefused) {
    const TestJpeg grey{320, 200, JCS_GRAYSCALE, [](int, int) { return jpeg_colour(100, 0, 0); }, display_p3_profile()};
    EXPECT_EQ(read(build_jpeg(grey)), ERR_INVALID_JPEG);
    EXPECT_EQ(describe_refused_screen_source(source),
              "jpeg file of 320 x 200 refused: an embedded colour profile for rgb pixels on grey pixels\n");
}

}  // namespace
