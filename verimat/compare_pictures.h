// Compares two C64 pictures cell by cell by their rendered pixels and writes
// the patch file of the differing cells and the difference image.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "frame/errors.h"
#include "c64/picture.h"

constexpr std::uint16_t PATCH_END_MARKER = 0xFFFF;
constexpr std::uint8_t DIFFERENCE_COLOUR = 7;  // yellow

// 1 for a cell that looks different, else 0.
struct DifferenceMap {
    std::array<std::uint8_t, CELL_COUNT> cells;
};

struct CompareRequest {
    std::string first_path;
    std::string second_path;
    std::string patch_path;
    std::string difference_path;
    int format;   // 0 Koala, 1 Amica, 2 Art Studio
    int palette;  // a number of the palette library
};

// Sets count to the number of differing cells.
ErrorCode compare_pictures(const CompareRequest& request, int& count);
