// The refinement's cell recolouring: each cell tries another colour in place
// of one of its own, its dots dithered again, and keeps it when the error of
// the picture falls.
#pragma once

#include "convert/search_state.h"

// One pass over the changed cells; returns the cells recoloured.
int recolour_pass(SearchState& state, CellColourSets& sets, DotColours& dots);
