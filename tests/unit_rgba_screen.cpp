// Pixels decoded elsewhere (the web page's browser) must reach the screen
// exactly as the PNG reader brings a PNG without colour chunks there: the
// page's conversions are then the programs' byte for byte.
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <unistd.h>

#include "desktop/rgba_screen.h"
#include "desktop/screen_reader.h"
#include "support/png_builder.h"
#include "support/screen_pictures.h"

namespace fs = std::filesystem;

namespace {

// A picture with smooth and sharp parts and, when asked, partly transparent.
std::array<std::uint16_t, 4> sample_at(int x, int y, bool transparent) {
    const auto red = static_cast<std::uint16_t>((x * 7 + y * 3) % 256);
    const auto green = static_cast<std::uint16_t>((x * y) % 251);
    const auto blue = static_cast<std::uint16_t>(x / 3 % 2 == 0 ? 40 : 220);
    const auto alpha = static_cast<std::uint16_t>(transparent ? (x + y) % 256 : 255);
    return {red, green, blue, alpha};
}

struct Case {
    int width;
    int height;
    bool transparent;
    ScreenFit fit;
};

class RgbaScreenTest : public ::testing::TestWithParam<Case> {};

TEST_P(RgbaScreenTest, GivesThePngReadersScreen) {
    const Case c = GetParam();
    const TestPng recipe{c.width, c.height, c.transparent ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, 8, false,
                         {}, [&](int x, int y) { return sample_at(x, y, c.transparent); }};
    const fs::path path = fs::temp_directory_path() / ("c64suite_rgba_" + std::to_string(getpid()) + ".png");
    store_picture(path.string(), build_png(recipe));
    const auto from_file = std::make_unique<ScreenImage>();
    ScreenSource file_source{};
    ASSERT_EQ(read_screen_image(path.string(), c.fit, *from_file, file_source), ERR_SUCCESS);
    fs::remove(path);

    std::vector<std::uint8_t> rgba(static_cast<std::size_t>(c.width * c.height) * 4);
    for (int y = 0; y < c.height; ++y) {
        for (int x = 0; x < c.width; ++x) {
            const auto sample = sample_at(x, y, c.transparent);
            for (int channel = 0; channel < 4; ++channel) {
                rgba[static_cast<std::size_t>((y * c.width + x) * 4 + channel)] = static_cast<std::uint8_t>(sample[channel]);
            }
        }
    }
    const auto from_pixels = std::make_unique<ScreenImage>();
    ScreenSource source{};
    ASSERT_EQ(rgba_read_screen(rgba.data(), c.width, c.height, c.fit, ERR_INVALID_PNG, *from_pixels, source),
              ERR_SUCCESS);
    EXPECT_EQ(source.width, c.width);
    EXPECT_EQ(source.height, c.height);
    EXPECT_EQ(std::memcmp(from_pixels->rgb.data(), from_file->rgb.data(), sizeof from_file->rgb), 0);
    EXPECT_EQ(std::memcmp(from_pixels->coverage.data(), from_file->coverage.data(), sizeof from_file->coverage), 0);
    EXPECT_EQ(from_pixels->has_transparency, from_file->has_transparency);
}

INSTANTIATE_TEST_SUITE_P(Shapes, RgbaScreenTest,
                         ::testing::Values(Case{480, 360, false, ScreenFit::cover}, Case{480, 360, false, ScreenFit::contain},
                                           Case{320, 200, false, ScreenFit::cover}, Case{37, 611, true, ScreenFit::cover},
                                           Case{1000, 90, true, ScreenFit::contain}),
                         [](const ::testing::TestParamInfo<Case>& info) {
                             const Case& c = info.param;
                             return std::to_string(c.width) + "x" + std::to_string(c.height) +
                                    (c.transparent ? "_transparent" : "") +
                                    (c.fit == ScreenFit::cover ? "_cover" : "_contain");
                         });

TEST(RgbaScreen, RefusesAPictureOfNoPixelsWithTheCallersCode) {
    const auto image = std::make_unique<ScreenImage>();
    ScreenSource source{};
    const std::uint8_t pixel[4] = {1, 2, 3, 255};
    EXPECT_EQ(rgba_read_screen(pixel, 0, 5, ScreenFit::cover, ERR_INVALID_JPEG, *image, source), ERR_INVALID_JPEG);
    EXPECT_FALSE(source.problem.empty());
}

}  // namespace
