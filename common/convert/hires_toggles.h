// Hires cells hold two colours, so a dot's one move is to the other colour of
// its cell: the search's parts that stay while a cell's colours and the
// metric do are kept per dot, and its toggle pass judges a row of a cell at
// a time.
#pragma once

#include "convert/search_state.h"

// The fixed parts of the moves of one cell's dots, after its colours or the
// metric changed; of every cell.
void fill_hires_cell_moves(SearchState& state, const CellColourSets& sets, int cell);
void fill_hires_moves(SearchState& state, const CellColourSets& sets);

// One pass of toggles and swaps over the changed cells, in raster order;
// returns the dots changed.
int hires_toggle_pass(SearchState& state, const CellColourSets& sets, DotColours& dots);
