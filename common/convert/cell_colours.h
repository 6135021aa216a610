// The colours of every character cell, chosen by what they do to the picture
// once dithered: each dot is costed against the mixes of every pair of
// colours a set holds, with a penalty for the grain that mixing far colours
// gives, never by how often colours occur.
#pragma once

#include <array>
#include <cstdint>

#include "c64/picture.h"
#include "convert/dot_grid.h"
#include "convert/pixel_difference.h"
#include "frame/errors.h"

// Multicolour: colours[0] is the background, 1 to 3 the cell's own;
// hires: colours[0] and [1].
struct CellColourSet {
    std::array<std::uint8_t, 4> colours;
};

struct CellColourSets {
    std::array<CellColourSet, CELL_COUNT> cells;
    // Colours worth trying in each cell, as bits: those of its best mixes.
    std::array<std::uint16_t, CELL_COUNT> candidates;
    int background;  // multicolour only
};

struct ColourChoiceSettings {
    float grain;          // 0: mixes cost nothing beyond their error; 1: no mixing (nearest colour only)
    int candidates;         // colours of a cell tried in multicolour, besides the background
    int search_candidates;  // the same while the background is searched
    int refinement_candidates;  // colours the refinement may bring into a cell
    // Above 0, for crisp pixels: a mix costs its tone's error, weighed by 1
    // minus this, plus each of its dots' true colour difference from the
    // target, weighed by this; grain is then unused.
    float pixel_weight;
    // Above 0: a cell takes its left or upper neighbour's colours when they
    // cost at most this much more than its own best, so that no block
    // stands out in a smooth area.
    float neighbour_tolerance;
};

// Chooses every cell's colours; in multicolour also the background, out of
// all 16 unless background is 0 to 15: the one whose best cell colours cost
// least, dots counted by their coverage so that transparent parts choose
// nothing.
// With settings.pixel_weight above 0, pixel holds every dot's differences.
ErrorCode choose_cell_colours(const DotGrid& grid, const ColourChoiceSettings& settings, int background,
                              CellColourSets& sets, const DotPixelDifferences* pixel = nullptr);
