// The crisp picture: positional (ordered) dithering within each cell's
// colours. Each dot's target is shown as the best mix of two of its cell's
// colours, a mix of far colours costing more than one of near colours, and a
// fixed threshold pattern chooses which of the two the dot shows, so that an
// even area is an even, regular texture rather than grain.
#pragma once

#include "convert/cell_colours.h"
#include "convert/dot_grid.h"
#include "convert/pixel_difference.h"

struct OrderedDitherSettings {
    float pixel_weight;  // of each dot's own true difference against the mix's tone: 0 to 1
    int levels;   // of the mix's share, 2 to 64: fewer gives a calmer texture
};

void dither_ordered(const DotGrid& grid, const CellColourSets& sets, const OrderedDitherSettings& settings,
                    const DotPixelDifferences& pixel, DotColours& dots);
