// Refinement by direct binary search: each dot tries the other colours of its
// cell, neighbouring dots try exchanging their colours, and each cell tries
// another colour in place of one of its own; a move is kept when it lowers
// the error of the picture as it is seen. The error is the squared
// perceptual difference of the blurred picture against the blurred target,
// with the opponent (colour) channels blurred more than lightness, as people
// see colour detail less sharply than brightness, plus a weaker part of them
// blurred as lightness is, so that fine colour noise still counts.
#pragma once

#include "convert/cell_colours.h"
#include "convert/dot_grid.h"
#include "convert/error_diffusion.h"
#include "frame/errors.h"

struct RefinementSettings {
    float lightness_blur;  // sigma of the lightness channel's blur, in screen pixels
    float colour_blur;     // sigma of the two opponent channels' blur
    float fine_colour_weight;  // of the opponent channels blurred as lightness is, beside those
    int passes;            // at most; a pass that changes nothing ends the search
    bool recolour_cells;   // also try other colours in place of a cell's own
    bool swaps;            // also exchange the colours of neighbouring dots
    bool diagonal_swaps;   // diagonal neighbours too
};

// The refinement minimises squared differences, which weigh a large error
// more than the mean colour difference does; scaling each dot's metric by
// one over the square root of its local error makes the sum of squares
// approach the sum of differences, for a second refinement.
void weigh_metric_by_error(const DotColours& dots, float floor, DotGrid& grid);

ErrorCode refine_picture(const DotGrid& grid, const RefinementSettings& settings, CellColourSets& sets,
                         DotColours& dots);
