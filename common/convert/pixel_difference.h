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

inline LabColour lab_of_target(const float* target_rgb) {
    return lab_from_linear(target_rgb[0], target_rgb[1], target_rgb[2]);
}

// The squared difference of the target from colour c.
inline float pixel_difference(const LabColour& target, const PaletteLab& palette, int c) {
    const double difference = ciede2000(target, palette[static_cast<std::size_t>(c)]);
    return static_cast<float>(difference * difference);
}
