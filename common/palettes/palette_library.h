// The palette library: every C64 palette the suite knows, numbered, named and
// coloured from the .gpl files of palettes/data. Palettes 0 to 12 are the
// built-in palettes of rendering; the others are how emulators and pixel
// editors show the C64's colours.
#pragma once

#include <cstdint>

#include "palette_library_data.h"

constexpr int LIBRARY_PALETTE_COUNT = GENERATED_PALETTE_COUNT;
constexpr int LIBRARY_COLOUR_COUNT = 16;

// 0xRRGGBB of C64 colour number of a palette; both must be in range.
constexpr std::uint32_t library_colour(int palette, int number) {
    return generated_palette_colours[palette][number];
}

// The palette's name, as in its file name: "colodore", "vice".
constexpr const char* library_palette_name(int palette) {
    return generated_palette_names[palette];
}
