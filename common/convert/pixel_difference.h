// How far a dot shown in one colour is from its target, as crisp pixels show
// it: the CIEDE2000 colour difference, which the eye follows on sharp pixels
// far better than a difference linearised at the target, as the C64's
// colours lie far apart.
#pragma once

#include <array>

#include "colour/colour_science.h"
#include "convert/dot_grid.h"

using PaletteLab = std::array<LabColour, PALETTE_SIZE>;

inline PaletteLab palette_lab_of(const DotGrid& grid) {
    PaletteLab lab{};
    for (int c = 0; c < PALETTE_SIZE; ++c) {
        const auto& p = grid.palette[static_cast<std::size_t>(c)];
        lab[static_cast<std::size_t>(c)] = lab_from_linear(p[0], p[1], p[2]);
    }
    return lab;
}

// The squared difference of the target from each of the 16 colours.
inline void pixel_differences_of(const float* target_rgb, const PaletteLab& palette,
                                 std::array<float, PALETTE_SIZE>& squares) {
    const LabColour target = lab_from_linear(target_rgb[0], target_rgb[1], target_rgb[2]);
    for (std::size_t c = 0; c < PALETTE_SIZE; ++c) {
        const double difference = ciede2000(target, palette[c]);
        squares[c] = static_cast<float>(difference * difference);
    }
}
