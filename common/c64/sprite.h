// Cutting rectangles of C64 bitmap pictures into grids of sprites.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "frame/errors.h"
#include "c64/picture.h"

constexpr int SPRITE_BLOCK_SIZE = 64;  // 21 lines of 3 bytes and one unused byte
constexpr int SPRITE_LINES = 21;
constexpr int SPRITE_LINE_BYTES = 3;
constexpr int HIRES_SPRITE_WIDTH = 24;        // hires pixels
constexpr int MULTICOLOUR_SPRITE_WIDTH = 12;  // double-width pixels
constexpr int HIRES_PICTURE_WIDTH = 320;
constexpr int MULTICOLOUR_PICTURE_WIDTH = 160;

// A rectangle that fits the picture needs at most 14 columns and 10 rows.
constexpr int MAX_GRID_COLUMNS = 14;
constexpr int MAX_GRID_ROWS = 10;
constexpr std::size_t MAX_SPRITE_GRID_SIZE = std::size_t{MAX_GRID_COLUMNS} * MAX_GRID_ROWS * SPRITE_BLOCK_SIZE;

// Sprite blocks row by row, 64 bytes each; only the first size bytes of a
// grid's shape are used.
struct SpriteGrid {
    std::array<std::uint8_t, MAX_SPRITE_GRID_SIZE> bytes;
};

struct SpriteGridShape {
    std::uint32_t columns;
    std::uint32_t rows;
    std::uint32_t size;  // columns * rows * 64
};

// Clears the bytes of a grid of that shape, and no more: a shape too large for
// any grid (its rectangle leaves every picture; the cut refuses it) clears the
// whole grid.
void clear_grid(SpriteGrid& grid, const SpriteGridShape& shape);

// The grid that covers a rectangle w pixels wide and h lines high.
SpriteGridShape hires_grid_shape(std::uint16_t w, std::uint16_t h);
SpriteGridShape multicolour_grid_shape(std::uint16_t w, std::uint16_t h);

// Both cuts write the grid into output, which the caller has zeroed; byte 63
// of every block is left alone. They return ERR_VALUE_TOO_LARGE when the
// rectangle leaves the picture (checked first), ERR_PARAMETERS when a cell
// the walk enters uses a colour that is not among the bit-pattern colours,
// ERR_INDEX_OUT_OF_TABLE when padding lines would read below the picture, and
// ERR_FUNCTION_PARAMETERS when a bit-pattern colour is above 15 or output is
// smaller than the grid.
ErrorCode cut_hires_sprites(const HiresPicture& picture, std::uint16_t x, std::uint16_t y, std::uint16_t w,
                            std::uint16_t h, std::uint8_t colour_bit_0, std::uint8_t colour_bit_1,
                            std::span<std::uint8_t> output);

ErrorCode cut_multicolour_sprites(const C64Picture& picture, std::uint16_t x, std::uint16_t y, std::uint16_t w,
                                  std::uint16_t h, std::uint8_t colour_bits_00, std::uint8_t colour_bits_01,
                                  std::uint8_t colour_bits_10, std::uint8_t colour_bits_11,
                                  std::span<std::uint8_t> output);
