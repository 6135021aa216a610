// What the palette library says about a colour when a desktop picture's
// colours are read: which palettes hold it and under which numbers, and every
// library colour in CIELAB.
#pragma once

#include <array>
#include <cstdint>

#include "c64/picture.h"
#include "colour/colour_science.h"
#include "palettes/palette_library.h"

constexpr int PALETTES = LIBRARY_PALETTE_COUNT;
static_assert(PALETTES <= 32, "a palette set is one bit a palette");
constexpr std::uint32_t ALL_PALETTES = PALETTES == 32 ? 0xFFFFFFFFu : (1u << PALETTES) - 1;
constexpr std::uint8_t NO_NUMBER = 0xFF;

inline std::uint32_t palette_colour(int palette, int number) {
    return library_colour(palette, number);
}

// What the library says about one colour.
struct ColourFacts {
    std::uint32_t palettes;  // bit p: palette p holds the colour
    std::uint32_t twice;     // bit p: palette p holds it under two numbers
    std::uint8_t number;     // its number in the default palette, else in the lowest holding it; NO_NUMBER
};

ColourFacts facts_of_colour(std::uint32_t colour);

bool is_known_colour(std::uint32_t colour);

// The colour's number in a palette that holds it once; NO_NUMBER when the
// palette does not hold it.
std::uint8_t number_in_palette(std::uint32_t colour, int palette);

// Every colour of every library palette in CIELAB.
using PaletteLabs = std::array<std::array<LabColour, C64_COLOUR_COUNT>, PALETTES>;
const PaletteLabs& palette_labs();
