// How far a dot shown in one colour is from its target, as crisp pixels show
// it: the CIEDE2000 colour difference, which the eye follows on sharp pixels
// far better than a difference linearised at the target, as the C64's
// colours lie far apart. Worked out for the 16 colours at once, in single
// precision, so that the colour choice can afford it for every dot.
#pragma once

#include <array>
#include <cstdint>

#include "colour/colour_science.h"
#include "convert/dot_grid.h"

// The 16 colours in CIELAB, one array per component, with their chroma.
struct PaletteLab {
    std::array<float, PALETTE_SIZE> l;
    std::array<float, PALETTE_SIZE> a;
    std::array<float, PALETTE_SIZE> b;
    std::array<float, PALETTE_SIZE> chroma;
};

PaletteLab palette_lab_of(const DotGrid& grid);

LabColour lab_of_target(const float* target_rgb);

// The squared CIEDE2000 difference of the target from each of the 16 colours;
// within two hundredths of the exact difference.
void pixel_differences(const LabColour& target, const PaletteLab& palette, std::array<float, PALETTE_SIZE>& squares);

// Every dot's squared differences from the 16 colours, worked out once for
// the colour choice and the dither. A photo's dots repeat their colours to
// within far less than the eye tells apart: the differences are worked out
// for each dot's colour rounded to a unit of CIELAB, once for each such
// colour, kept once, and a table of the rounded colours seen finds them.
constexpr int ROUNDED_COLOUR_SLOTS = 1 << 17;  // at least twice the dots
static_assert(MAX_DOTS <= 0x10000, "a dot's differences are numbered in 16 bits");

struct DotPixelDifferences {
    std::array<std::uint16_t, MAX_DOTS> differences_of_dot;  // which of the squares
    std::array<std::array<float, PALETTE_SIZE>, MAX_DOTS> squares;  // the first ones in use
    std::array<std::uint32_t, ROUNDED_COLOUR_SLOTS> rounded_colours;  // of the table's slots
    std::array<std::uint16_t, ROUNDED_COLOUR_SLOTS> squares_of_colour;
};

inline const std::array<float, PALETTE_SIZE>& pixel_squares_of(const DotPixelDifferences& differences, int dot) {
    return differences.squares[differences.differences_of_dot[static_cast<std::size_t>(dot)]];
}

void fill_pixel_differences(const DotGrid& grid, DotPixelDifferences& differences);
