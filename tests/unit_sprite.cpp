// Cutting hires and multicolour rectangles into sprite grids.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <vector>

#include "c64/picture.h"
#include "c64/sprite.h"
#include "support/test_pictures.h"

namespace {

constexpr std::uint8_t UNTOUCHED = 0xAA;

std::unique_ptr<HiresPicture> hires_picture_of(std::uint8_t screen_byte) {
    return uniform_hires_picture(0, screen_byte);
}

int bitmap_offset(int line, int column_byte) {
    return (line / 8) * 320 + column_byte * 8 + line % 8;
}

// The cut's result and its buffer: bytes the cut must leave alone keep
// UNTOUCHED, the others start at 0 as the callers zero them.
struct Cut {
    ErrorCode code;
    std::vector<std::uint8_t> bytes;
};

std::vector<std::uint8_t> prepared_buffer(const SpriteGridShape& shape) {
    std::vector<std::uint8_t> bytes(shape.size + 64, UNTOUCHED);
    for (std::size_t i = 0; i < shape.size; ++i) {
        bytes[i] = i % SPRITE_BLOCK_SIZE == 63 ? UNTOUCHED : 0;
    }
    return bytes;
}

Cut cut_hires(const HiresPicture& picture, int x, int y, int w, int h, int colour_0, int colour_1) {
    Cut cut{0, prepared_buffer(hires_grid_shape(w, h))};
    cut.code = cut_hires_sprites(picture, x, y, w, h, colour_0, colour_1, cut.bytes);
    return cut;
}

Cut cut_multicolour(const C64Picture& picture, int x, int y, int w, int h, std::array<std::uint8_t, 4> colours) {
    Cut cut{0, prepared_buffer(multicolour_grid_shape(w, h))};
    cut.code = cut_multicolour_sprites(picture, x, y, w, h, colours[0], colours[1], colours[2], colours[3], cut.bytes);
    return cut;
}

// Byte b of line j of block k.
std::uint8_t sprite_byte(const Cut& cut, int block, int line, int b) {
    return cut.bytes[block * 64 + line * 3 + b];
}

void expect_byte_63_untouched(const Cut& cut, std::size_t size) {
    for (std::size_t i = 63; i < cut.bytes.size(); i += 64) {
        EXPECT_EQ(cut.bytes[i], UNTOUCHED) << "byte " << i;
    }
    for (std::size_t i = size; i < cut.bytes.size(); ++i) {
        ASSERT_EQ(cut.bytes[i], UNTOUCHED) << "written past the grid at " << i;
    }
}

// What a grid must show, built pixel by pixel from the picture: grid pixel
// (p, t) shows picture pixel (x + p, y + t) inside the rectangle; outside it
// takes the colour of pixel value 0 of the cell at the nearest column of the
// rectangle on the nearest line it reads (line y + h for padding lines).
std::vector<std::uint8_t> expected_grid(const std::uint8_t* bitmap, int pixel_bits,
                                        const std::vector<std::array<std::uint8_t, 4>>& cell_colours,
                                        const std::array<std::uint8_t, 16>& assignment, int x, int y, int w, int h,
                                        const SpriteGridShape& shape) {
    const int pixels_per_byte = 8 / pixel_bits;
    const int column_width = 3 * pixels_per_byte;
    std::vector<std::uint8_t> grid(shape.size, 0);
    for (int t = 0; t < static_cast<int>(shape.rows) * 21; ++t) {
        for (int p = 0; p < static_cast<int>(shape.columns) * column_width; ++p) {
            const bool inside = p < w && t < h;
            const int px = x + std::min(p, w - 1);
            const int py = y + std::min(t, h);
            const int cell = (py / 8) * 40 + px / pixels_per_byte;
            int value = 0;
            if (inside) {
                const int shift = 8 - pixel_bits * (1 + px % pixels_per_byte);
                value = (bitmap[bitmap_offset(py, px / pixels_per_byte)] >> shift) & ((1 << pixel_bits) - 1);
            }
            const int pattern = assignment[cell_colours[cell][value]];
            const int block = (t / 21) * shape.columns + p / column_width;
            const int index = block * 64 + (t % 21) * 3 + (p % column_width) / pixels_per_byte;
            grid[index] |= pattern << (8 - pixel_bits * (1 + p % pixels_per_byte));
        }
    }
    return grid;
}

TEST(SpriteGridShape, ColumnsRowsAndSize) {
    const SpriteGridShape one = hires_grid_shape(24, 21);
    EXPECT_EQ(one.columns, 1u);
    EXPECT_EQ(one.rows, 1u);
    EXPECT_EQ(one.size, 64u);
    const SpriteGridShape two_by_two = hires_grid_shape(25, 22);
    EXPECT_EQ(two_by_two.columns, 2u);
    EXPECT_EQ(two_by_two.rows, 2u);
    EXPECT_EQ(two_by_two.size, 256u);
    EXPECT_EQ(hires_grid_shape(320, 200).columns, 14u);
    EXPECT_EQ(multicolour_grid_shape(160, 200).size, MAX_SPRITE_GRID_SIZE);
    EXPECT_EQ(multicolour_grid_shape(13, 21).columns, 2u);
    EXPECT_EQ(hires_grid_shape(0, 21).size, 0u);
    EXPECT_EQ(hires_grid_shape(65535, 65535).columns, 2731u) << "no 16-bit overflow";
}

TEST(HiresCut, FirstByteAndPaddingFollowTheColourAssignment) {
    auto picture = hires_picture_of(0xE6);  // bit 0 colour 6, bit 1 colour 14
    picture->bitmap[0] = 0xA5;

    const Cut same = cut_hires(*picture, 0, 0, 8, 1, 6, 14);
    ASSERT_EQ(same.code, ERR_SUCCESS);
    EXPECT_EQ(same.bytes[0], 0xA5);
    EXPECT_TRUE(std::all_of(same.bytes.begin() + 1, same.bytes.begin() + 63, [](auto b) { return b == 0; }));
    expect_byte_63_untouched(same, 64);

    const Cut swapped = cut_hires(*picture, 0, 0, 8, 1, 14, 6);
    ASSERT_EQ(swapped.code, ERR_SUCCESS);
    EXPECT_EQ(swapped.bytes[0], 0x5A);
    EXPECT_TRUE(std::all_of(swapped.bytes.begin() + 1, swapped.bytes.begin() + 63, [](auto b) { return b == 0xFF; }))
        << "every padding pixel takes colour 6, now bit 1";
    expect_byte_63_untouched(swapped, 64);

    const Cut equal = cut_hires(*picture, 0, 0, 8, 1, 6, 6);
    ASSERT_EQ(equal.code, ERR_PARAMETERS) << "colour 14 is not among 6 and 6";
    auto one_colour = hires_picture_of(0x66);
    one_colour->bitmap[0] = 0xA5;
    const Cut both = cut_hires(*one_colour, 0, 0, 8, 1, 6, 6);
    ASSERT_EQ(both.code, ERR_SUCCESS);
    EXPECT_TRUE(std::all_of(both.bytes.begin(), both.bytes.begin() + 63, [](auto b) { return b == 0xFF; }))
        << "a colour named for both bits gives bit 1";
}

TEST(HiresCut, WalkCrossesCellsInsideAByte) {
    auto picture = hires_picture_of(0xE6);
    picture->bitmap[bitmap_offset(0, 0)] = 0x0F;
    picture->bitmap[bitmap_offset(0, 1)] = 0xF0;
    const Cut straddle = cut_hires(*picture, 4, 0, 8, 1, 6, 14);
    ASSERT_EQ(straddle.code, ERR_SUCCESS);
    EXPECT_EQ(straddle.bytes[0], 0xFF);

    // x = 7: pixel 0 is bit 0 of cell 0, pixel 1 bit 7 of cell 1, whose
    // colours are checked only when the walk enters it.
    auto seven = hires_picture_of(0xE6);
    seven->bitmap[bitmap_offset(0, 0)] = 0x01;
    seven->bitmap[bitmap_offset(0, 1)] = 0x00;
    seven->screen[1] = 0xE7;
    EXPECT_EQ(cut_hires(*seven, 7, 0, 1, 1, 6, 14).code, ERR_SUCCESS) << "cells right of the rectangle are not read";
    EXPECT_EQ(cut_hires(*seven, 7, 0, 2, 1, 6, 14).code, ERR_PARAMETERS);
    seven->screen[1] = 0x6E;  // same colours, bit 0 now colour 14
    const Cut entered = cut_hires(*seven, 7, 0, 2, 1, 6, 14);
    ASSERT_EQ(entered.code, ERR_SUCCESS);
    // Pixel 0 set (14 -> 1), pixel 1 clear in a cell whose clear colour is 14
    // (-> 1), padding pixels take cell 1's low nybble 14 (-> 1).
    EXPECT_EQ(entered.bytes[0], 0xFF);
    // On a padding line pixel 0 takes cell 0's clear colour 6 (-> 0).
    EXPECT_EQ(entered.bytes[3], 0x7F);
}

TEST(HiresCut, PaddingRightOfTheRectangleTakesTheLastCellsClearColour) {
    auto picture = hires_picture_of(0x6E);  // bit 0 colour 14 -> 1
    for (const int cell : {3, 43, 83}) {
        picture->screen[cell] = 0xE6;  // columns 24..31: bit 0 colour 6 -> 0
    }
    picture->bitmap[bitmap_offset(0, 3)] = 0x80;
    const Cut cut = cut_hires(*picture, 0, 0, 25, 21, 6, 14);
    ASSERT_EQ(cut.code, ERR_SUCCESS);
    ASSERT_EQ(cut.bytes.size(), 128u + 64u);
    for (int line = 0; line < 21; ++line) {
        for (int b = 0; b < 3; ++b) {
            EXPECT_EQ(sprite_byte(cut, 0, line, b), 0xFF);
        }
        EXPECT_EQ(sprite_byte(cut, 1, line, 0), line == 0 ? 0x80 : 0x00) << "line " << line;
        EXPECT_EQ(sprite_byte(cut, 1, line, 1), 0x00);
        EXPECT_EQ(sprite_byte(cut, 1, line, 2), 0x00);
    }
    expect_byte_63_untouched(cut, 128);
}

TEST(HiresCut, RightEdgeAndRangeCheck) {
    auto picture = hires_picture_of(0xE6);
    picture->screen[36] = 0x77;  // left of the rectangle: never read
    picture->bitmap[bitmap_offset(0, 37)] = 0x0F;
    picture->bitmap[bitmap_offset(0, 39)] = 0xFF;
    const Cut edge = cut_hires(*picture, 300, 0, 20, 1, 6, 14);
    ASSERT_EQ(edge.code, ERR_SUCCESS);
    EXPECT_EQ(edge.bytes[0], 0xF0);  // bits 3..0 of column 37, bits 7..4 of column 38
    EXPECT_EQ(edge.bytes[1], 0x0F);  // bits 3..0 of column 38, bits 7..4 of column 39
    EXPECT_EQ(edge.bytes[2], 0xF0);  // bits 3..0 of column 39, then padding
    picture->screen[39] = 0x77;
    EXPECT_EQ(cut_hires(*picture, 300, 0, 20, 1, 6, 14).code, ERR_PARAMETERS);

    const Cut outside = cut_hires(*picture, 301, 0, 20, 1, 6, 14);
    EXPECT_EQ(outside.code, ERR_VALUE_TOO_LARGE);
    EXPECT_TRUE(std::all_of(outside.bytes.begin(), outside.bytes.begin() + 63, [](auto b) { return b == 0; }))
        << "the range is checked before anything is written";
    EXPECT_EQ(cut_hires(*picture, 0, 1, 8, 200, 6, 14).code, ERR_VALUE_TOO_LARGE);
    EXPECT_EQ(cut_hires(*picture, 65535, 0, 1, 1, 6, 14).code, ERR_VALUE_TOO_LARGE) << "no 16-bit wrap";
}

TEST(HiresCut, BottomEdgeAndPaddingLines) {
    auto picture = hires_picture_of(0xE6);
    EXPECT_EQ(cut_hires(*picture, 0, 179, 24, 21, 6, 14).code, ERR_SUCCESS) << "no padding line needed";
    EXPECT_EQ(cut_hires(*picture, 0, 180, 24, 20, 6, 14).code, ERR_INDEX_OUT_OF_TABLE);
    EXPECT_EQ(cut_hires(*picture, 0, 0, 320, 200, 6, 14).code, ERR_INDEX_OUT_OF_TABLE);
    EXPECT_EQ(cut_hires(*picture, 0, 11, 320, 189, 6, 14).code, ERR_SUCCESS);

    // h = 16: padding lines read line 16, in cell row 2.
    picture->bitmap[bitmap_offset(16, 0)] = 0xFF;
    picture->screen[80] = 0x76;
    EXPECT_EQ(cut_hires(*picture, 0, 0, 8, 16, 6, 14).code, ERR_PARAMETERS);
    picture->screen[80] = 0xE6;
    const Cut padded = cut_hires(*picture, 0, 0, 8, 16, 6, 14);
    ASSERT_EQ(padded.code, ERR_SUCCESS);
    EXPECT_TRUE(std::all_of(padded.bytes.begin(), padded.bytes.begin() + 63, [](auto b) { return b == 0; }))
        << "line 16's pixels do not reach the output";
    picture->screen[81] = 0x76;  // right of the rectangle's last column
    EXPECT_EQ(cut_hires(*picture, 0, 0, 8, 16, 6, 14).code, ERR_SUCCESS);
}

TEST(HiresCut, ZeroWidthStillChecksTheStartCells) {
    auto picture = hires_picture_of(0xE6);
    std::vector<std::uint8_t> nothing;
    EXPECT_EQ(cut_hires_sprites(*picture, 0, 0, 0, 21, 6, 14, nothing), ERR_SUCCESS);
    picture->screen[40] = 0x77;
    EXPECT_EQ(cut_hires_sprites(*picture, 0, 0, 0, 21, 6, 14, nothing), ERR_PARAMETERS);
    EXPECT_EQ(cut_hires_sprites(*picture, 320, 0, 0, 1, 6, 14, nothing), ERR_PARAMETERS)
        << "x = 320 starts in the first cell of the next row";
    EXPECT_EQ(cut_hires_sprites(*picture, 320, 192, 0, 8, 6, 14, nothing), ERR_INDEX_OUT_OF_TABLE)
        << "and below the picture on its last row";
}

TEST(HiresCut, RefusesColoursAboveFifteenAndShortBuffers) {
    auto picture = hires_picture_of(0x00);
    std::vector<std::uint8_t> grid(64, 0);
    EXPECT_EQ(cut_hires_sprites(*picture, 0, 0, 24, 21, 0, 16, grid), ERR_FUNCTION_PARAMETERS);
    EXPECT_EQ(cut_hires_sprites(*picture, 0, 0, 24, 21, 255, 0, grid), ERR_FUNCTION_PARAMETERS);
    EXPECT_EQ(cut_hires_sprites(*picture, 0, 0, 25, 21, 0, 0, grid), ERR_FUNCTION_PARAMETERS);
    EXPECT_EQ(cut_hires_sprites(*picture, 0, 0, 24, 21, 0, 0, grid), ERR_SUCCESS);
}

TEST(MulticolourCut, PairsFollowTheColourAssignment) {
    auto picture = uniform_multicolour_picture(0, 0x52, 0x07);
    picture->bitmap[0] = 0x1B;
    const Cut same = cut_multicolour(*picture, 0, 0, 4, 1, {0, 5, 2, 7});
    ASSERT_EQ(same.code, ERR_SUCCESS);
    EXPECT_EQ(same.bytes[0], 0x1B);
    EXPECT_TRUE(std::all_of(same.bytes.begin() + 1, same.bytes.begin() + 63, [](auto b) { return b == 0; }));
    expect_byte_63_untouched(same, 64);

    const Cut reversed = cut_multicolour(*picture, 0, 0, 4, 1, {7, 2, 5, 0});
    ASSERT_EQ(reversed.code, ERR_SUCCESS);
    EXPECT_EQ(reversed.bytes[0], 0xE4);
    EXPECT_TRUE(std::all_of(reversed.bytes.begin() + 1, reversed.bytes.begin() + 63, [](auto b) { return b == 0xFF; }))
        << "padding takes the background, colour 0, now bits 11";

    // Only the low nybble of colour memory is a colour.
    picture->colour.fill(0xF7);
    EXPECT_EQ(cut_multicolour(*picture, 0, 0, 4, 1, {0, 5, 2, 7}).code, ERR_SUCCESS);
    picture->colour[1] = 0x08;
    EXPECT_EQ(cut_multicolour(*picture, 0, 0, 4, 1, {0, 5, 2, 7}).code, ERR_SUCCESS);
    EXPECT_EQ(cut_multicolour(*picture, 0, 0, 5, 1, {0, 5, 2, 7}).code, ERR_PARAMETERS);
}

TEST(MulticolourCut, EdgesAndBackground) {
    auto picture = uniform_multicolour_picture(0, 0x52, 0x07);
    EXPECT_EQ(cut_multicolour(*picture, 150, 0, 10, 21, {0, 5, 2, 7}).code, ERR_SUCCESS);
    EXPECT_EQ(cut_multicolour(*picture, 151, 0, 10, 21, {0, 5, 2, 7}).code, ERR_VALUE_TOO_LARGE);
    EXPECT_EQ(cut_multicolour(*picture, 0, 0, 160, 200, {0, 5, 2, 7}).code, ERR_INDEX_OUT_OF_TABLE);
    EXPECT_EQ(cut_multicolour(*picture, 0, 11, 160, 189, {0, 5, 2, 7}).code, ERR_SUCCESS);
    EXPECT_EQ(cut_multicolour(*picture, 0, 180, 12, 20, {0, 5, 2, 7}).code, ERR_INDEX_OUT_OF_TABLE);

    picture->background = 0x10;  // upper bits set: matches no colour 0..15
    EXPECT_EQ(cut_multicolour(*picture, 0, 0, 4, 1, {0, 5, 2, 7}).code, ERR_PARAMETERS);
    // Even when a caller names that byte, the colour assignment is never
    // indexed with it.
    EXPECT_EQ(cut_multicolour(*picture, 0, 0, 4, 1, {0x10, 5, 2, 7}).code, ERR_FUNCTION_PARAMETERS);
}

// Random pictures whose cells all use allowed colours, cut at random
// rectangles, against the grid built pixel by pixel.
TEST(SpriteCuts, MatchThePixelByPixelGridOnRandomPictures) {
    std::mt19937 random(1984);
    auto hires = hires_picture_of(0);
    auto multicolour = uniform_multicolour_picture(0, 0, 0);
    const std::array<std::uint8_t, 4> multicolours = {0, 5, 2, 7};
    for (int round = 0; round < 200; ++round) {
        for (auto& byte : hires->bitmap) {
            byte = static_cast<std::uint8_t>(random());
        }
        multicolour->bitmap = hires->bitmap;
        std::vector<std::array<std::uint8_t, 4>> hires_colours(CELL_COUNT);
        std::vector<std::array<std::uint8_t, 4>> multi_colours(CELL_COUNT);
        for (int cell = 0; cell < CELL_COUNT; ++cell) {
            hires->screen[cell] = random() % 2 == 0 ? 0x6E : 0xE6;
            hires_colours[cell] = {static_cast<std::uint8_t>(hires->screen[cell] & 15),
                                   static_cast<std::uint8_t>(hires->screen[cell] >> 4), 0, 0};
            const std::uint8_t high = multicolours[random() % 4];
            const std::uint8_t low = multicolours[random() % 4];
            multicolour->screen[cell] = static_cast<std::uint8_t>(high << 4 | low);
            multicolour->colour[cell] = static_cast<std::uint8_t>((random() % 16) << 4 | multicolours[random() % 4]);
            multi_colours[cell] = {0, high, low, static_cast<std::uint8_t>(multicolour->colour[cell] & 15)};
        }
        const int h = 1 + static_cast<int>(random() % 199);
        const int y = static_cast<int>(random() % (200 - h));  // leaves a line below for padding
        const int hires_w = 1 + static_cast<int>(random() % 320);
        const int hires_x = static_cast<int>(random() % (321 - hires_w));
        const std::array<std::uint8_t, 16> hires_assignment = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0};
        const Cut hires_cut = cut_hires(*hires, hires_x, y, hires_w, h, 6, 14);
        ASSERT_EQ(hires_cut.code, ERR_SUCCESS);
        const SpriteGridShape hires_shape = hires_grid_shape(hires_w, h);
        const auto hires_expected = expected_grid(hires->bitmap.data(), 1, hires_colours, hires_assignment, hires_x, y,
                                                  hires_w, h, hires_shape);
        for (std::size_t i = 0; i < hires_shape.size; ++i) {
            if (i % 64 != 63) {
                ASSERT_EQ(hires_cut.bytes[i], hires_expected[i])
                    << "hires x " << hires_x << " y " << y << " w " << hires_w << " h " << h << " byte " << i;
            }
        }
        expect_byte_63_untouched(hires_cut, hires_shape.size);

        const int multi_w = 1 + static_cast<int>(random() % 160);
        const int multi_x = static_cast<int>(random() % (161 - multi_w));
        const std::array<std::uint8_t, 16> multi_assignment = {2, 0, 3, 0, 0, 0, 0, 1};  // 0 -> 10, 2 -> 11, 7 -> 01
        const Cut multi_cut = cut_multicolour(*multicolour, multi_x, y, multi_w, h, {5, 7, 0, 2});
        ASSERT_EQ(multi_cut.code, ERR_SUCCESS);
        const SpriteGridShape multi_shape = multicolour_grid_shape(multi_w, h);
        const auto multi_expected = expected_grid(multicolour->bitmap.data(), 2, multi_colours, multi_assignment,
                                                  multi_x, y, multi_w, h, multi_shape);
        for (std::size_t i = 0; i < multi_shape.size; ++i) {
            if (i % 64 != 63) {
                ASSERT_EQ(multi_cut.bytes[i], multi_expected[i])
                    << "multicolour x " << multi_x << " y " << y << " w " << multi_w << " h " << h << " byte " << i;
            }
        }
        expect_byte_63_untouched(multi_cut, multi_shape.size);
    }
}

}  // namespace
