// Refinement by direct binary search: each dot tries the other colours of its
// cell and keeps the one that lowers the error of the picture as it is seen,
// and each cell tries other colours in place of one of its own. The error is
// the squared perceptual difference of the blurred picture against the
// blurred target, with the opponent (colour) channels blurred more than
// lightness: people see colour detail less sharply than brightness.
#pragma once

#include "convert/cell_colours.h"
#include "convert/dot_grid.h"
#include "convert/error_diffusion.h"
#include "frame/errors.h"

struct RefinementSettings {
    float lightness_blur;  // sigma of the lightness channel's blur, in screen pixels
    float colour_blur;     // sigma of the two opponent channels' blur
    int passes;            // at most; a pass that changes nothing ends the search
    bool recolour_cells;   // also try other colours in place of a cell's own
};

// The refinement minimises squared differences, which weigh a large error
// more than the mean colour difference does; scaling each dot's metric by
// one over the square root of its local error makes the sum of squares
// approach the sum of differences, for a second refinement.
void weigh_metric_by_error(const DotColours& dots, float floor, DotGrid& grid);

ErrorCode refine_picture(const DotGrid& grid, const RefinementSettings& settings, CellColourSets& sets,
                         DotColours& dots);
