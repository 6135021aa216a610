// -f: the C64 mode and the background found from the image itself, and the
// line that says what was chosen.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "frame/errors.h"
#include "desktop/pcx.h"
#include "c64/picture.h"

// The mode is open when neither a switch nor the output name fixes it.
constexpr int FIT_MODE_OPEN = -1;

// Colours 0 to 15 of one cell as bits 0 to 15; bit 16 for a pixel above 15.
struct CellColours {
    std::array<std::uint32_t, CELL_COUNT> cells;
};
constexpr std::uint32_t NOT_A_COLOUR_BIT = 1u << C64_COLOUR_COUNT;

struct FitChoice {
    int format;                 // Koala when multicolour is found with the mode open
    std::uint8_t background;    // multicolour only
    bool background_given;      // -b
    bool background_fits;       // false: no colour lets every cell pass, the most used was taken
};

// The format an output name fixes by its extension (koa, ami, art in any
// case), else FIT_MODE_OPEN.
int format_of_output_name(const std::string& name);

// Multicolour when both pixels of every double-width pair are equal.
bool image_is_multicolour(const PixelImage& image);

// pairs_equal: every double-width pair is known to be equal, so that the
// left pixels alone give the colours.
ErrorCode collect_cell_colours(const PixelImage& image, bool pairs_equal, CellColours& colours);

// The background that lets every cell keep to the multicolour colour limit;
// of several, the most used; of none, most_used, and fits is false.
ErrorCode find_background(const PixelImage& image, const CellColours& colours, std::uint8_t most_used,
                          std::uint8_t& background, bool& fits);

// fixed_format: FORMAT_* or FIT_MODE_OPEN. A given background is kept.
ErrorCode choose_fit(const PixelImage& image, int fixed_format, bool background_given, std::uint8_t background,
                     std::uint8_t most_used, FitChoice& choice);

// True when every cell passes every check of the chosen mode.
ErrorCode fit_passes(const PixelImage& image, const FitChoice& choice, bool& passes);

// "fit: multicolour, background $06" and the like, with its line feed.
std::string describe_fit(const FitChoice& choice);

// "with -f: hires would pass", with its line feed.
std::string describe_fit_hint(const FitChoice& choice);
