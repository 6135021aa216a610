// The GIF reader: colour maps, interlacing, frames smaller than their screen,
// and every way a file can lie or end early.
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

#include <gtest/gtest.h>
#include <unistd.h>

#include "desktop/desktop_image.h"
#include "desktop/gif_file.h"
#include "desktop/png_file.h"
#include "support/gif_builder.h"
#include "support/test_pictures.h"

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

namespace {

std::uint8_t colour_at(int x, int y) {
    return static_cast<std::uint8_t>((x / 3 + y / 5 * 7 + (x * y) % 3) % 16);
}

std::vector<GifColorType> c64_map(int palette, int entries) {
    std::vector<GifColorType> map;
    for (int entry = 0; entry < entries; ++entry) {
        const auto& rgb = c64_palettes[static_cast<std::size_t>(palette)][static_cast<std::size_t>(entry % 16)];
        map.push_back({rgb[0], rgb[1], rgb[2]});
    }
    return map;
}

std::uint32_t rgb(int palette, int colour) {
    const auto& entry = c64_palettes[static_cast<std::size_t>(palette)][static_cast<std::size_t>(colour)];
    return static_cast<std::uint32_t>(entry[0]) << 16 | static_cast<std::uint32_t>(entry[1]) << 8 | entry[2];
}

TestGif picture_gif() {
    return {320, 200, 0, 0, 320, 200, false, c64_map(5, 16), {}, 0, colour_at};
}

class GifTest : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string test = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        folder = fs::temp_directory_path() / ("c64suite_gif_" + std::to_string(getpid()) + "_" + test);
        fs::create_directories(folder);
        path = (folder / "image.gif").string();
    }
    void TearDown() override { fs::remove_all(folder); }

    // Built files are never empty: an empty one is the encoder refusing a recipe.
    void store(const Bytes& bytes, bool empty_allowed = false) const {
        ASSERT_TRUE(empty_allowed || !bytes.empty());
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    ErrorCode read_back(bool multicolour = true) { return gif_read(path, multicolour, *image, framing); }
    void expect_indices(const std::function<int(int, int)>& expected) {
        ASSERT_TRUE(image->has_indices);
        for (int y = 0; y < 200; ++y)
            for (int x = 0; x < 320; ++x)
                ASSERT_EQ(image->indices[static_cast<std::size_t>(y * 320 + x)], expected(x, y))
                    << "x " << x << " y " << y;
    }

    fs::path folder;
    std::string path;
    std::unique_ptr<ColourImage> image = std::make_unique<ColourImage>();
    PictureFraming framing{};
};

// The frame's own colour map wins over the file's; rows stored interlaced
// come back in their places; extensions before the frame are skipped.
TEST_F(GifTest, FirstFrameReadsWithItsColourMap) {
    for (const bool interlaced : {false, true}) {
        for (const bool local : {false, true}) {
            TestGif recipe = picture_gif();
            recipe.interlaced = interlaced;
            recipe.extensions_first = local;
            if (local) recipe.local_map = c64_map(8, 16);
            store(build_gif(recipe));
            ASSERT_EQ(read_back(), 0) << interlaced << local;
            expect_indices(colour_at);
            for (int colour = 0; colour < 16; ++colour)
                EXPECT_EQ(image->palette[static_cast<std::size_t>(colour)], rgb(local ? 8 : 5, colour));
            EXPECT_EQ(image->x_offset, 0);
            EXPECT_EQ(image->scale, 1);
        }
    }
}

// A smaller frame on a screen: the rest of the screen is the background
// colour, here the screenshot's border.
TEST_F(GifTest, ScreenAroundASmallerFrameIsItsBackground) {
    TestGif recipe{384, 247, 32, 23, 320, 200, false, c64_map(5, 16), {}, 14, colour_at};
    store(build_gif(recipe));
    ASSERT_EQ(read_back(), 0);
    expect_indices(colour_at);
    EXPECT_EQ(image->x_offset, 32);
    EXPECT_EQ(image->y_offset, 23);
    // Off centre, the frame holds part of the border: the picture is read from
    // the centre, and the frame around it is not one colour.
    recipe.left = 0;
    store(build_gif(recipe));
    EXPECT_EQ(read_back(), ERR_INVALID_PNG);
    EXPECT_EQ(framing.verdict, FramingVerdict::frame_not_one_colour);
    // Its own map cannot give the background colour.
    recipe.left = 32;
    recipe.local_map = c64_map(3, 16);
    store(build_gif(recipe));
    EXPECT_EQ(read_back(), ERR_INVALID_PNG);
    EXPECT_EQ(framing.verdict, FramingVerdict::corrupt);
    EXPECT_EQ(describe_refused_framing(framing, true),
              "gif file refused: a first image smaller than its screen, without its background colour\n");
}

// A map of 2 entries holds its indices at 2 bits: 2 and 3 have no colour.
TEST_F(GifTest, IndexBeyondTheColourMapIsRefused) {
    TestGif recipe{320, 200, 0, 0, 320, 200, false, c64_map(5, 2), {}, 0,
                   [](int x, int y) { return static_cast<std::uint8_t>(x == 300 && y == 150 ? 3 : (x + y) % 2); }};
    store(build_gif(recipe));
    EXPECT_EQ(read_back(), ERR_INVALID_PNG);
    EXPECT_EQ(framing.verdict, FramingVerdict::corrupt);
    EXPECT_STREQ(framing.problem, "an index beyond its colour map");
}

// The screen's declared size is judged before anything is allocated.
TEST_F(GifTest, HugeDeclaredScreenIsRefusedAtOnce) {
    Bytes file = build_gif(picture_gif());
    file[6] = file[7] = file[8] = file[9] = 0xFF;
    store(file);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(read_back(), ERR_INVALID_PNG);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(200));
    EXPECT_EQ(framing.width, 65535);
    EXPECT_EQ(framing.verdict, FramingVerdict::size_refused);
}

// A frame that claims more than its screen, or lies outside it.
TEST_F(GifTest, FrameBeyondItsScreenIsRefused) {
    const Bytes good = build_gif(picture_gif());
    const std::size_t descriptor = first_image_descriptor(good);
    ASSERT_EQ(good[descriptor], 0x2C);
    struct Patch {
        std::size_t offset;  // from the descriptor: left 1, top 3, width 5, height 7
        std::uint8_t low, high;
    };
    for (const Patch patch : {Patch{5, 0x41, 0x01}, {7, 0xC9, 0x00}, {1, 0x01, 0x00}, {3, 0x00, 0x01},
                              {5, 0xFF, 0xFF}, {5, 0x00, 0x00}}) {
        Bytes bad = good;
        bad[descriptor + patch.offset] = patch.low;
        bad[descriptor + patch.offset + 1] = patch.high;
        store(bad);
        EXPECT_EQ(read_back(), ERR_INVALID_PNG) << patch.offset << " " << int{patch.low};
        EXPECT_EQ(framing.verdict, FramingVerdict::corrupt);
    }
}

// Cut anywhere (inside the header, the map, the descriptor, the data), or
// with its data damaged: refused with the decoder's reason.
TEST_F(GifTest, TruncatedAndDamagedFilesAreRefused) {
    const Bytes good = build_gif(picture_gif());
    const std::size_t data = first_image_descriptor(good) + 10;
    for (const std::size_t length : {std::size_t{0}, std::size_t{3}, std::size_t{10}, std::size_t{30}, data - 4, data + 1,
                                     data + 40, good.size() / 2, good.size() - 3}) {
        store(Bytes(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(length)), true);
        EXPECT_EQ(read_back(), ERR_INVALID_PNG) << "length " << length;
        EXPECT_EQ(framing.verdict, FramingVerdict::corrupt) << "length " << length;
        EXPECT_NE(framing.problem, nullptr);
        EXPECT_EQ(describe_refused_framing(framing, true).rfind("gif file refused: ", 0), 0u);
    }
    Bytes no_image = Bytes(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(first_image_descriptor(good)));
    no_image.push_back(0x3B);
    store(no_image);
    EXPECT_EQ(read_back(), ERR_INVALID_PNG);
    EXPECT_STREQ(framing.problem, "no image in the file");
    // Without any colour map: the screen descriptor's flag cleared and its map cut out.
    Bytes no_map(good.begin(), good.begin() + 13);
    no_map[10] = 0;
    no_map.insert(no_map.end(), good.begin() + 13 + 48, good.end());
    store(no_map);
    EXPECT_EQ(read_back(), ERR_INVALID_PNG);
    EXPECT_STREQ(framing.problem, "no colour map");
}

TEST_F(GifTest, ReaderIsChosenByTheFirstBytes) {
    store(build_gif(picture_gif()));
    EXPECT_TRUE(is_gif_file(path));
    EXPECT_EQ(desktop_image_kind(path), DesktopImageKind::gif);
    Bytes file = build_gif(picture_gif());
    file[4] = '7';  // GIF87a
    store(file);
    EXPECT_TRUE(is_gif_file(path));
    file[4] = '8';
    store(file);
    EXPECT_FALSE(is_gif_file(path));
    EXPECT_EQ(desktop_image_kind(path), DesktopImageKind::pcx);
    store(Bytes{'G', 'I', 'F'});
    EXPECT_FALSE(is_gif_file(path));
    const auto pixels = blank_image();
    ASSERT_EQ(png_write(*pixels, (folder / "named.gif").string()), 0);
    EXPECT_EQ(desktop_image_kind((folder / "named.gif").string()), DesktopImageKind::png);
    ASSERT_EQ(pcx_write(*pixels, (folder / "named.png").string()), 0);
    EXPECT_EQ(desktop_image_kind((folder / "named.png").string()), DesktopImageKind::pcx);
    EXPECT_EQ(desktop_image_kind((folder / "absent.gif").string()), DesktopImageKind::pcx);
    // The reading goes to the reader of the kind.
    store(build_gif(picture_gif()));
    EXPECT_EQ(desktop_colour_image_read(path, DesktopImageKind::gif, true, *image, framing), 0);
    EXPECT_STREQ(framing.format, "gif");
    EXPECT_EQ(desktop_colour_image_read(path, DesktopImageKind::png, true, *image, framing), ERR_INVALID_PNG);
    EXPECT_STREQ(framing.format, "png");
}

}  // namespace
