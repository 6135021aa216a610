// Refinement by direct binary search: each dot tries the other colours of its
// cell, neighbouring dots try exchanging their colours, and each cell tries
// another colour in place of one of its own; a move is kept when it lowers
// the error of the picture as it is seen. The error is the squared
// perceptual difference of the blurred picture against the blurred target,
// with the opponent (colour) channels blurred more than lightness, as people
// see colour detail less sharply than brightness, plus a weaker part of them
// blurred as lightness is, so that fine colour noise still counts.
#pragma once

#include "convert/blur_kernels.h"
#include "convert/cell_colours.h"
#include "convert/dot_grid.h"
#include "convert/error_diffusion.h"
#include "frame/errors.h"

// A round of the search: passes of toggles and swaps, the first of which
// also try new colours for the cells.
struct SearchRound {
    int passes;            // at most; a pass that changes nothing ends the round
    int recolour_passes;
};

struct RefinementSettings {
    BlurSigma lightness_blur;  // of the lightness channel
    BlurSigma colour_blur;     // of the two opponent channels
    float fine_colour_weight;  // of the opponent channels blurred as lightness is, beside those
    bool swaps;            // also exchange the colours of neighbouring dots
    bool diagonal_swaps;   // diagonal neighbours too
    SearchRound first;
    // A second round scales each dot's metric by one over the square root of
    // its local error (at least error_floor), so that the sum of squares the
    // search lowers approaches the mean colour difference; 0: no second round.
    float error_floor;
    SearchRound reweighted;
};

// The grid's metric is changed by the second round.
ErrorCode refine_picture(DotGrid& grid, const RefinementSettings& settings, CellColourSets& sets, DotColours& dots);
