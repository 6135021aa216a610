// C64 palettes, and the conversion between pictures and pixel images, one
// character cell at a time.
#pragma once

#include <array>
#include <cstdint>

#include "frame/errors.h"
#include "palettes/palette_library.h"
#include "c64/pixel_image.h"
#include "c64/picture.h"

// The built-in palettes, those that -p of exgravo and verimat chooses from:
// the first 13 of the palette library.
constexpr int PALETTE_COUNT = 13;
constexpr int DEFAULT_PALETTE = 12;
static_assert(LIBRARY_PALETTE_COUNT >= PALETTE_COUNT);

// The 13 built-in palettes as 16 entries of red, green, blue.
extern const std::array<std::array<std::array<std::uint8_t, 3>, 16>, PALETTE_COUNT> c64_palettes;

// The 64 pixels of one cell, 8 rows of 8, top row first.
struct CellBlock {
    std::array<std::uint8_t, 64> pixels;
};

// One cell of a picture. Multicolour slots: 0 background (pair 00), 1 screen
// high nybble (01), 2 screen low nybble (10), 3 colour memory (11).
// Hires slots: 0 screen low nybble (bit 0), 1 screen high nybble (bit 1).
struct CellRecord {
    std::array<std::uint8_t, 8> bitmap;
    std::array<std::uint8_t, 4> slots;
};

ErrorCode cell_block_get(int cell, const PixelImage& image, CellBlock& block);
ErrorCode cell_block_put(int cell, const CellBlock& block, PixelImage& image);
ErrorCode picture_cell_get(CellRecord& record, int cell, const C64Picture& picture);
// Cell n of a hires picture: slot 0 the screen low nybble, slot 1 the high one.
ErrorCode hires_picture_cell_get(CellRecord& record, int cell, const HiresPicture& picture);
ErrorCode picture_cell_put(const CellRecord& record, C64Picture& picture, int cell);
// The set-bit colour (slot 1) goes to the screen high nybble, slot 0 to the low one.
ErrorCode hires_picture_cell_put(const CellRecord& record, HiresPicture& picture, int cell);
ErrorCode render_multicolour_cell(CellBlock& block, const CellRecord& record);
ErrorCode render_hires_cell(CellBlock& block, const CellRecord& record);
// Rendering takes any palette of the library.
ErrorCode render_multicolour_picture(const C64Picture& picture, PixelImage& image, int palette);
ErrorCode render_hires_picture(const HiresPicture& picture, PixelImage& image, int palette);
ErrorCode encode_multicolour_cell(CellRecord& record, const CellBlock& block, std::uint8_t background);
ErrorCode encode_hires_cell(CellRecord& record, const CellBlock& block);
ErrorCode encode_multicolour_picture(std::uint8_t background, const PixelImage& image, C64Picture& picture);
ErrorCode encode_hires_picture(const PixelImage& image, HiresPicture& picture);
ErrorCode most_used_colour(const PixelImage& image, std::uint8_t& colour);
ErrorCode cell_colour_check(const CellBlock& block, bool hires, std::uint8_t background, std::uint8_t& verdict);
