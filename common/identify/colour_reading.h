// What the reading of a desktop picture's colours starts from (the decoded
// picture) and what it ends with (how the colours were read, or which pixel
// stopped the reading).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "c64/pixel_image.h"

// A decoded desktop picture already brought to 320 by 200 (cropped from a
// screen border, widened from 160 by 200, reduced from an enlargement). A
// palette-based file keeps its indices and its palette; any other its pixels'
// colours.
struct ColourImage {
    bool has_indices;                                 // the file is palette-based
    std::array<std::uint8_t, IMAGE_PIXELS> indices;   // palette index of each pixel, when has_indices
    std::array<std::uint32_t, 256> palette;           // 0xRRGGBB of each palette entry, when has_indices
    int palette_entries;                              // entries the file's palette holds; 0: take all 256
    std::array<std::uint32_t, IMAGE_PIXELS> colours;  // 0xRRGGBB of each pixel, alpha dropped, when not has_indices
    // Where pixel (x, y) lies in the file, for messages:
    // file x = (x / x_divisor + x_offset) * scale,
    // file y = (y + y_offset) * scale.
    int x_offset;
    int y_offset;
    int x_divisor;
    int scale;  // the enlargement undone, 1 for none
};

// The 0xRRGGBB colour of a pixel, whichever way the image holds it.
inline std::uint32_t colour_of_pixel(const ColourImage& image, std::size_t pixel) {
    return image.has_indices ? image.palette[image.indices[pixel]] : image.colours[pixel];
}

enum class ColourReadingKind { exact, approximate, indices, given_palette, file_palette };

// Why a reading stopped.
enum class UnknownReason {
    colour,           // a colour that no rule identifies
    index_above_15,   // reading by index, an index above 15
    too_far,          // given palette: the colour is too far from its nearest colour
    shared_number,    // given palette: two colours are nearest the same colour
    not_clear,        // approximate: the colour could be one number or another
    far_from_library, // approximate: the colour lies too far from its nearest fit
    greys_only,       // exact: greys alone, which another palette numbers otherwise
};

// How the colours were read, or which pixel stopped the reading.
struct ColourReading {
    ColourReadingKind kind;
    int palette;              // the library palette the colours came from, were matched to or were ordered by
    int approximated_colours; // colours not exactly their partner's (kinds approximate, given_palette)
    // The first pixel that could not be identified (on ERR_UNKNOWN_COLOURS),
    // in file coordinates, with its colour or, when reading by indices, its index.
    UnknownReason unknown_reason;
    bool unknown_is_index;
    std::uint32_t unknown_colour;
    int unknown_index;
    int unknown_x;
    int unknown_y;
    // Given palette: the C64 number nearest the colour, its distance, and
    // for shared_number the other colour nearest the same number. A refused
    // reading: the colour's number in the palette that fits best and (for
    // not_clear and greys_only) another number it could have.
    int unknown_number;
    double unknown_distance;
    std::uint32_t other_colour;
    int other_palette;
    int other_number;
};

// How far (CIELAB distance) a colour may lie from the palette colour it is
// read as, when the palette is given (-c) or the file's palette orders it.
constexpr double GIVEN_PALETTE_BOUND = 40.0;
