// The distinct colours of a desktop picture, listed once, and the pixels
// given the numbers that a reading finds for them.
#pragma once

#include <array>
#include <cstdint>

#include "identify/colour_reading.h"
#include "c64/pixel_image.h"

// More distinct colours than this cannot be read by colour: a palette holds
// fewer, and an approximate reading takes at most 16.
constexpr int MAX_DISTINCT_COLOURS = 256;
constexpr int COLOUR_TABLE_SLOTS = 2 * MAX_DISTINCT_COLOURS;  // open addressing, at most half full
constexpr std::uint32_t SLOT_EMPTY = 0xFFFFFFFFu;

// The distinct colours of an image in order of first appearance, each with
// a guess at its number (right whenever the palette the picture is read in
// numbers it as the default palette, or the lowest holding it, does) so that
// the common exact reading needs no second pass.
struct DistinctColours {
    std::array<std::uint32_t, COLOUR_TABLE_SLOTS> slot_colour;
    std::array<std::uint8_t, COLOUR_TABLE_SLOTS> slot_entry;
    std::array<std::uint8_t, COLOUR_TABLE_SLOTS> slot_number;  // the guess; NO_NUMBER for an unknown colour
    std::array<std::uint32_t, MAX_DISTINCT_COLOURS> colours;
    std::array<std::uint8_t, MAX_DISTINCT_COLOURS> guessed_number;
    std::array<int, MAX_DISTINCT_COLOURS> first_pixel;
    int count;
    bool overflow;                 // more than MAX_DISTINCT_COLOURS; the lists hold the first ones
    bool all_known;                // every colour is a colour of some library palette
    std::uint32_t common_palettes; // bit p: palette p holds every colour
    std::uint32_t twice_palettes;  // bit p: palette p holds some colour under two numbers
};

// The number a reading gives each distinct colour, by its entry in the list.
using NumberTable = std::array<std::uint8_t, MAX_DISTINCT_COLOURS>;

// How a palette-based image uses its palette: the indices its pixels use,
// and for each its entry in the list of distinct colours and its number.
// Unused indices keep their own number.
struct PaletteUse {
    std::array<bool, 256> used;
    std::array<std::uint8_t, 256> entry;
    std::array<std::uint8_t, 256> number;
};

void start_distinct_colours(DistinctColours& distinct);

// The colour's slot in the table: its own, or the empty one where it goes.
std::uint32_t slot_of(const DistinctColours& distinct, std::uint32_t colour);

// Adds a colour, first met at pixel, in its empty slot.
void add_distinct_colour(DistinctColours& distinct, std::uint32_t slot, std::uint32_t colour, int pixel);

// Lists the distinct colours and leaves in each pixel of the image the number
// of its colour, so that an exact reading needs no second pass. Consecutive
// equal pixels are the common case, so the previous pixel's colour is tried
// first.
void count_distinct_colours(const ColourImage& source, DistinctColours& distinct, PixelImage& image);

// Lists the distinct colours of a palette-based image from the palette entries
// it uses, in the order of their first pixels, as count_distinct_colours would
// from its pixels, and notes each used index's entry and number.
void list_palette_colours(const ColourImage& source, DistinctColours& distinct, PaletteUse& use);

// Puts in every pixel the number of its distinct colour.
void put_numbers(const ColourImage& source, const DistinctColours& distinct, const NumberTable& numbers,
                 PaletteUse& use, PixelImage& image);
