// Checks a PCX image cell by cell against the limits of a C64 bitmap mode and
// writes either the C64 picture or an errors image.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "frame/errors.h"
#include "c64/picture.h"

// Error bits of one cell, combined by OR.
constexpr std::uint8_t CELL_TOO_MANY_COLOURS = 1;
constexpr std::uint8_t CELL_PAIR_MISMATCH = 2;  // multicolour only
constexpr std::uint8_t CELL_NOT_A_COLOUR = 4;

struct ErrorMap {
    std::array<std::uint8_t, CELL_COUNT> cells;
};

struct ImportRequest {
    std::string pcx_path;
    std::string picture_path;
    std::string errors_path;
    int format;                  // 0 Koala, 1 Amica, 2 Art Studio
    bool background_given;       // -b
    std::uint8_t background;     // -b value when given
    bool fit;                    // -f: mode and background found from the image
    int fit_format;              // what -f keeps: the format a switch or the output name fixes, or FIT_MODE_OPEN
    std::string hires_picture_path;  // the output when -f finds hires with the mode open
    bool palette_given;          // -c: the library palette a PNG was drawn in
    int palette;                 // -c value when given
    int dither;                  // -d: the dither kind of a conversion of any picture; -1 without -d
    bool whole_picture;          // -w: with -d, the whole picture inside the screen
    int view;                    // -v: with -d, the view the conversion is made for
};

ErrorCode import_pcx(const ImportRequest& request);
