// Where the picture is found in a decoded picture of any size: framed sizes,
// screen borders that must be one colour, enlargements undone, and packed
// indices at any offset.
#include <functional>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "identify/picture_framing.h"

namespace {

using Colour = std::function<std::uint32_t(int x, int y)>;

// Picture pixel (x, y) of a test picture: every colour in short runs.
std::uint32_t picture_colour(int x, int y) {
    return 0x101010u * static_cast<std::uint32_t>((x / 3 + y / 5 * 7 + (x * y) % 3) % 16);
}

constexpr std::uint32_t BORDER = 0x3C3CC8;

// A width by height RGB picture holding the test picture at (left, top),
// every pixel enlarged scale times, the rest border.
struct Rows {
    std::vector<std::uint8_t> bytes;
    std::vector<std::uint32_t> palette;
    DecodedRows decoded{};
};

std::unique_ptr<Rows> rgb_rows(int width, int height, const Colour& colour) {
    auto rows = std::make_unique<Rows>();
    rows->bytes.resize(static_cast<std::size_t>(width) * height * 3);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const std::uint32_t value = colour(x, y);
            std::uint8_t* pixel = rows->bytes.data() + (static_cast<std::size_t>(y) * width + x) * 3;
            pixel[0] = static_cast<std::uint8_t>(value >> 16);
            pixel[1] = static_cast<std::uint8_t>(value >> 8);
            pixel[2] = static_cast<std::uint8_t>(value);
        }
    }
    rows->decoded = {rows->bytes.data(), static_cast<std::size_t>(width) * 3, width, height, 24, nullptr, 0};
    return rows;
}

// The same, as palette indices packed depth bits a pixel; entry k is
// colour 0x101010 * k.
std::unique_ptr<Rows> index_rows(int width, int height, int depth, int entries,
                                 const std::function<int(int, int)>& index) {
    auto rows = std::make_unique<Rows>();
    const std::size_t row_bytes = (static_cast<std::size_t>(width) * depth + 7) / 8;
    rows->bytes.assign(row_bytes * height, 0);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const int bit = x * depth;
            rows->bytes[y * row_bytes + bit / 8] |= static_cast<std::uint8_t>(index(x, y) << (8 - depth - bit % 8));
        }
    }
    for (int entry = 0; entry < entries; ++entry) rows->palette.push_back(0x101010u * static_cast<std::uint32_t>(entry));
    rows->decoded = {rows->bytes.data(), row_bytes, width, height, depth, rows->palette.data(), entries};
    return rows;
}

Colour framed(int left, int top, int scale, std::uint32_t border = BORDER) {
    return [=](int x, int y) {
        const int px = x / scale - left, py = y / scale - top;
        const bool inside = px >= 0 && px < 320 && py >= 0 && py < 200;
        return inside ? picture_colour(px, py) : border;
    };
}

class Framing : public ::testing::Test {
protected:
    ErrorCode frame(const DecodedRows& rows, bool multicolour = true) {
        framing = unread_framing("png");
        return frame_picture(rows, multicolour, *image, framing);
    }
    void expect_picture(const std::function<std::uint32_t(int, int)>& expected) {
        for (int y = 0; y < 200; ++y)
            for (int x = 0; x < 320; ++x)
                ASSERT_EQ(colour_of_pixel(*image, static_cast<std::size_t>(y * 320 + x)), expected(x, y))
                    << "x " << x << " y " << y;
    }
    std::unique_ptr<ColourImage> image = std::make_unique<ColourImage>();
    PictureFraming framing{};
};

// An NTSC screenshot, odd sizes whose centre rounds down, a picture framed on
// one axis only, and the largest size.
TEST_F(Framing, FramedSizesAreReadFromTheirCentre) {
    struct Case {
        int width, height, left, top;
    };
    for (const Case c : {Case{384, 247, 32, 23}, {321, 201, 0, 0}, {403, 284, 41, 42}, {320, 400, 0, 100},
                         {2048, 2048, 864, 924}}) {
        const auto rows = rgb_rows(c.width, c.height, framed(c.left, c.top, 1));
        ASSERT_EQ(frame(rows->decoded), 0) << c.width << " x " << c.height;
        expect_picture(picture_colour);
        EXPECT_EQ(image->x_offset, c.left);
        EXPECT_EQ(image->y_offset, c.top);
        EXPECT_EQ(image->x_divisor, 1);
        EXPECT_EQ(image->scale, 1);
        EXPECT_FALSE(image->has_indices);
        EXPECT_EQ(framing.verdict, FramingVerdict::accepted);
    }
}

// Each side of the frame, its corners and the pixels that touch the picture.
TEST_F(Framing, AFrameOfMoreThanOneColourIsRefusedNamingThePixel) {
    struct Odd {
        int x, y;
    };
    for (const Odd odd : {Odd{0, 0}, {383, 246}, {31, 100}, {352, 100}, {100, 22}, {100, 223}, {383, 0}}) {
        const Colour base = framed(32, 23, 1);
        const auto rows = rgb_rows(384, 247, [&](int x, int y) { return x == odd.x && y == odd.y ? 0x123456 : base(x, y); });
        ASSERT_EQ(frame(rows->decoded), ERR_INVALID_PNG) << odd.x << ", " << odd.y;
        EXPECT_EQ(framing.verdict, FramingVerdict::frame_not_one_colour);
        if (odd.x == 0 && odd.y == 0) {
            EXPECT_EQ(framing.frame_colour, 0x123456u);
            EXPECT_EQ(framing.odd_x, 1);
            continue;
        }
        EXPECT_EQ(framing.odd_x, odd.x);
        EXPECT_EQ(framing.odd_y, odd.y);
        EXPECT_EQ(framing.odd_colour, 0x123456u);
        EXPECT_EQ(framing.frame_colour, BORDER);
    }
    EXPECT_EQ(describe_refused_framing(framing, true),
              "png image of 384 x 247: the frame around the 320 x 200 picture is not one colour (#3C3CC8, then "
              "#123456 at x 383, y 0)\n");
    // The emulator screenshot size is taken as it is, whatever its border.
    const Colour base = framed(32, 35, 1);
    const auto shot = rgb_rows(384, 272, [&](int x, int y) { return x == 0 && y == 5 ? 0x123456 : base(x, y); });
    EXPECT_EQ(frame(shot->decoded), 0);
    expect_picture(picture_colour);
}

TEST_F(Framing, EnlargementsAreReadAtTheirOwnSize) {
    struct Case {
        int width, height, scale, left, top;
    };
    for (const Case c : {Case{640, 400, 2, 0, 0}, {960, 600, 3, 0, 0}, {1280, 800, 4, 0, 0}, {1152, 816, 3, 32, 35},
                         {768, 494, 2, 32, 23}}) {
        const auto rows = rgb_rows(c.width, c.height, framed(c.left, c.top, c.scale));
        ASSERT_EQ(frame(rows->decoded), 0) << c.width << " x " << c.height;
        expect_picture(picture_colour);
        EXPECT_EQ(image->scale, c.scale);
        EXPECT_EQ(image->x_offset, c.left);
        EXPECT_EQ(image->y_offset, c.top);
    }
    // A framed enlargement names its reduced size when the frame is refused.
    const Colour base = framed(32, 23, 2);
    const auto rows = rgb_rows(768, 494, [&](int x, int y) { return x / 2 == 5 && y / 2 == 7 ? 0x123456 : base(x, y); });
    ASSERT_EQ(frame(rows->decoded), ERR_INVALID_PNG);
    EXPECT_EQ(describe_refused_framing(framing, true),
              "png image of 768 x 494 (384 x 247 enlarged 2 times): the frame around the 320 x 200 picture is not "
              "one colour (#3C3CC8, then #123456 at x 10, y 14)\n");
}

// One pixel that breaks a block makes the image a framed picture of its own
// size, whose frame is then the enlarged picture.
TEST_F(Framing, ABrokenBlockIsNoEnlargement) {
    const Colour base = framed(0, 0, 2);
    const auto rows = rgb_rows(640, 400, [&](int x, int y) { return x == 301 && y == 200 ? 0xABCDEF : base(x, y); });
    EXPECT_EQ(frame(rows->decoded), ERR_INVALID_PNG);
    EXPECT_EQ(framing.verdict, FramingVerdict::frame_not_one_colour);
    EXPECT_EQ(framing.scale, 1);
}

// 160 by 200 enlarged is a multicolour picture; in hires the same file is a
// framed 320 by 400 whose frame is the picture.
TEST_F(Framing, NarrowEnlargementsDependOnTheMode) {
    const auto rows = rgb_rows(640, 800, [](int x, int y) { return picture_colour(x / 4, y / 4); });
    ASSERT_EQ(frame(rows->decoded, true), 0);
    expect_picture([](int x, int y) { return picture_colour(x / 2, y); });
    EXPECT_EQ(image->x_divisor, 2);
    EXPECT_EQ(image->scale, 4);
    EXPECT_EQ(frame(rows->decoded, false), ERR_INVALID_PNG);
    EXPECT_EQ(framing.verdict, FramingVerdict::frame_not_one_colour);
}

TEST_F(Framing, SizesBeyondTheRulesAreRefusedFromTheHeader) {
    EXPECT_TRUE(picture_size_possible(320, 200, false));
    EXPECT_TRUE(picture_size_possible(2048, 2048, false));
    EXPECT_TRUE(picture_size_possible(480, 600, true));  // 160 by 200, 3 times
    EXPECT_FALSE(picture_size_possible(161, 200, true));
    EXPECT_FALSE(picture_size_possible(160, 200, false));
    EXPECT_FALSE(picture_size_possible(2049, 400, true));
    EXPECT_FALSE(picture_size_possible(640, 2050, true));
    EXPECT_FALSE(picture_size_possible(0, 200, true));
    EXPECT_FALSE(picture_size_possible(319, 400, true));
    const auto rows = rgb_rows(300, 300, [](int, int) { return 0u; });
    EXPECT_EQ(frame(rows->decoded), ERR_INVALID_PNG);
    EXPECT_EQ(framing.verdict, FramingVerdict::size_refused);
}

// Packed indices of every depth, framed at an odd column (no whole byte at
// the picture's left edge) and enlarged.
TEST_F(Framing, PackedIndicesAtAnyOffsetAndScale) {
    for (const int depth : {1, 2, 4, 8}) {
        const int values = 1 << std::min(depth, 4);
        const auto index = [values](int x, int y) { return static_cast<int>(picture_colour(x, y) & 0x0F) % values; };
        for (const int scale : {1, 2}) {
            const int left = 33, top = 11;
            const auto rows = index_rows(387 * scale, 222 * scale, depth, values, [&](int x, int y) {
                const int px = x / scale - left, py = y / scale - top;
                return px >= 0 && px < 320 && py >= 0 && py < 200 ? index(px, py) : values - 1;
            });
            ASSERT_EQ(frame(rows->decoded), 0) << "depth " << depth << " scale " << scale;
            ASSERT_TRUE(image->has_indices);
            for (int y = 0; y < 200; ++y)
                for (int x = 0; x < 320; ++x)
                    ASSERT_EQ(image->indices[static_cast<std::size_t>(y * 320 + x)], index(x, y))
                        << "depth " << depth << " scale " << scale << " x " << x << " y " << y;
            EXPECT_EQ(image->palette[static_cast<std::size_t>(values - 1)], 0x101010u * (values - 1));
            EXPECT_EQ(image->x_offset, left);
            EXPECT_EQ(image->scale, scale);
        }
    }
}

// An index beyond a short palette has no colour, in the picture or its frame.
TEST_F(Framing, IndexBeyondAShortPaletteIsRefusedAnywhereItIsRead) {
    const auto in_frame = index_rows(384, 247, 4, 10, [](int x, int y) { return x == 2 && y == 1 ? 12 : 3; });
    EXPECT_EQ(frame(in_frame->decoded), ERR_INVALID_PNG);
    EXPECT_EQ(framing.verdict, FramingVerdict::corrupt);
    const auto in_picture = index_rows(384, 247, 4, 10, [](int x, int y) { return x == 40 && y == 40 ? 12 : 3; });
    EXPECT_EQ(frame(in_picture->decoded), ERR_INVALID_PNG);
    EXPECT_EQ(framing.verdict, FramingVerdict::corrupt);
    const auto enlarged = index_rows(640, 400, 8, 10, [](int x, int y) { return x / 2 == 40 && y / 2 == 40 ? 200 : 3; });
    EXPECT_EQ(frame(enlarged->decoded), ERR_INVALID_PNG);
    EXPECT_EQ(framing.verdict, FramingVerdict::corrupt);
    // A PNG's refusal adds no line; a GIF's does.
    EXPECT_EQ(describe_refused_framing(framing, true), "");
    framing.format = "gif";
    EXPECT_EQ(describe_refused_framing(framing, true), "gif file refused: an index beyond the palette\n");
}

}  // namespace
