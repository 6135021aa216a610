#include "convert/hires_toggles.h"

#include <algorithm>

namespace {

// The changes of the moves of one row of a hires cell's dots, from the
// correlation as it is: each dot's toggle, and its swaps with the dot to its
// right and the dot below when those are in the cell and of the other colour
// (else no change, 0).
struct StripChanges {
    std::array<float, HIRES_CELL_WIDTH> toggle;
    std::array<float, HIRES_CELL_WIDTH> swap_right;
    std::array<float, HIRES_CELL_WIDTH> swap_down;
};

// Inlined into each build of strip_changes: a call a row would cost more
// than the row.
[[gnu::always_inline]] inline void toggle_changes(const SearchState& state, int first_dot, int first_colour,
                                                  const DotColours& dots, std::array<float, HIRES_CELL_WIDTH>& out) {
    static_assert(HIRES_CELL_WIDTH == VECTOR_LANES);
    const float* delta = state.toggle_delta.data() + first_dot;
    const float* correlation = state.correlation.data() + first_dot;
    const std::uint8_t* colours = dots.colours.data() + first_dot;
    const int plane = state.plane;
    Lanes sign;
    for (int j = 0; j < HIRES_CELL_WIDTH; ++j) {
        sign[j] = colours[j] == first_colour ? 2.0f : -2.0f;
    }
    std::array<Lanes, CHANNELS> steps;
    std::array<Lanes, CHANNELS> correlations;
    Lanes self;
    std::memcpy(steps.data(), delta, sizeof(Lanes));
    std::memcpy(&steps[1], delta + plane, sizeof(Lanes));
    std::memcpy(&steps[2], delta + 2 * plane, sizeof(Lanes));
    std::memcpy(correlations.data(), correlation, sizeof(Lanes));
    std::memcpy(&correlations[1], correlation + plane, sizeof(Lanes));
    std::memcpy(&correlations[2], correlation + 2 * plane, sizeof(Lanes));
    std::memcpy(&self, state.toggle_self.data() + first_dot, sizeof self);
    const Lanes along = steps[0] * correlations[0] + steps[1] * correlations[1] + steps[2] * correlations[2];
    const Lanes change = sign * along + self;
    std::memcpy(out.data(), &change, sizeof change);
}

__attribute__((target_clones("avx2", "default"))) void strip_changes(const SearchState& state, int first_dot, int row,
                                                                     int first_colour, const DotColours& dots,
                                                                     StripChanges& out) {
    toggle_changes(state, first_dot, first_colour, dots, out.toggle);
    const std::uint8_t* colours = dots.colours.data() + first_dot;
    for (int j = 0; j + 1 < HIRES_CELL_WIDTH; ++j) {
        out.swap_right[static_cast<std::size_t>(j)] =
            colours[j] == colours[j + 1]
                ? 0.0f
                : out.toggle[static_cast<std::size_t>(j)] + out.toggle[static_cast<std::size_t>(j + 1)] -
                      state.swap_cross_right[static_cast<std::size_t>(first_dot + j)];
    }
    out.swap_right[HIRES_CELL_WIDTH - 1] = 0.0f;
    out.swap_down.fill(0.0f);
    if (row + 1 < CELL_ROWS) {
        const int width = state.grid->width;
        std::array<float, HIRES_CELL_WIDTH> below;
        toggle_changes(state, first_dot + width, first_colour, dots, below);
        for (int j = 0; j < HIRES_CELL_WIDTH; ++j) {
            if (colours[j] != colours[j + width]) {
                out.swap_down[static_cast<std::size_t>(j)] = out.toggle[static_cast<std::size_t>(j)] +
                                                             below[static_cast<std::size_t>(j)] -
                                                             state.swap_cross_down[static_cast<std::size_t>(first_dot + j)];
            }
        }
    }
}

bool strip_has_move(const StripChanges& changes, bool swaps) {
    float best = 0.0f;
    for (int j = 0; j < HIRES_CELL_WIDTH; ++j) {
        const auto lane = static_cast<std::size_t>(j);
        best = std::min(best, changes.toggle[lane]);
        if (swaps) {
            best = std::min(best, std::min(changes.swap_right[lane], changes.swap_down[lane]));
        }
    }
    return best < GAIN;
}

// A function of its own, inside this file: clang makes the builds of a
// function chosen at run time only for callers that see its definition.
__attribute__((target_clones("avx2", "default"))) void fill_cell_moves(SearchState& state, const CellColourSets& sets,
                                                                       int cell) {
    const DotGrid& grid = *state.grid;
    const auto& set = sets.cells[static_cast<std::size_t>(cell)].colours;
    const auto& from = grid.palette[set[0]];
    const auto& to = grid.palette[set[1]];
    const float difference[3] = {to[0] - from[0], to[1] - from[1], to[2] - from[2]};
    const int width = grid.width;
    const int plane = state.plane;
    const int first_dot = (cell / CELLS_ACROSS) * CELL_ROWS * width + (cell % CELLS_ACROSS) * HIRES_CELL_WIDTH;
    float* delta = state.toggle_delta.data();
    for (int row = 0; row < CELL_ROWS; ++row) {
        for (int dot = first_dot + row * width; dot < first_dot + row * width + HIRES_CELL_WIDTH; ++dot) {
            const Perceptual step = perceptual_of(grid, dot, difference);
            float self = 0.0f;
            for (int ch = 0; ch < CHANNELS; ++ch) {
                delta[ch * plane + dot] = step[ch];
                self += step[ch] * step[ch] * state.kernels[static_cast<std::size_t>(ch)].centre;
            }
            state.toggle_self[static_cast<std::size_t>(dot)] = self;
        }
    }
    // The cross parts need both dots' deltas.
    std::array<float, CHANNELS> near_right;
    std::array<float, CHANNELS> near_down;
    for (int ch = 0; ch < CHANNELS; ++ch) {
        near_right[static_cast<std::size_t>(ch)] = near_value(state, ch, 1, 0);
        near_down[static_cast<std::size_t>(ch)] = near_value(state, ch, 0, 1);
    }
    for (int row = 0; row < CELL_ROWS; ++row) {
        const int first = first_dot + row * width;
        for (int j = 0; j < HIRES_CELL_WIDTH; ++j) {
            const int dot = first + j;
            float right = 0.0f;
            float down = 0.0f;
            for (int ch = 0; ch < CHANNELS; ++ch) {
                const float* d = delta + ch * plane;
                if (j + 1 < HIRES_CELL_WIDTH) {
                    right += 2.0f * d[dot] * d[dot + 1] * near_right[static_cast<std::size_t>(ch)];
                }
                if (row + 1 < CELL_ROWS) {
                    down += 2.0f * d[dot] * d[dot + width] * near_down[static_cast<std::size_t>(ch)];
                }
            }
            state.swap_cross_right[static_cast<std::size_t>(dot)] = right;
            state.swap_cross_down[static_cast<std::size_t>(dot)] = down;
        }
    }
}

}  // namespace

void fill_hires_cell_moves(SearchState& state, const CellColourSets& sets, int cell) {
    fill_cell_moves(state, sets, cell);
}

void fill_hires_moves(SearchState& state, const CellColourSets& sets) {
    const auto size = static_cast<std::size_t>(state.plane);
    state.toggle_delta.resize(size * CHANNELS);
    state.toggle_self.resize(size);
    state.swap_cross_right.resize(size);
    state.swap_cross_down.resize(size);
    for (int cell = 0; cell < CELL_COUNT; ++cell) {
        fill_hires_cell_moves(state, sets, cell);
    }
}

// Whether a dot and its neighbour in the next cell (step dots on, step_cell
// cells on) could exchange colours: theirs differ and each cell allows the
// other's; try_swap then judges it. Most pairs fail here, cheaply.
bool may_swap(const CellColourSets& sets, const DotColours& dots, int dot, int cell, int step, int step_cell) {
    const int next_cell = cell + step_cell;
    if (next_cell >= CELL_COUNT || (step_cell == 1 && next_cell % CELLS_ACROSS == 0)) {
        return false;
    }
    const int colour = dots.colours[static_cast<std::size_t>(dot)];
    const int other = dots.colours[static_cast<std::size_t>(dot + step)];
    const auto& here = sets.cells[static_cast<std::size_t>(cell)].colours;
    const auto& there = sets.cells[static_cast<std::size_t>(next_cell)].colours;
    return colour != other && (there[0] == colour || there[1] == colour) && (here[0] == other || here[1] == other);
}

// The hires toggle pass: the same moves in the same order as toggle_pass,
// judged a row of a cell at a time from the fixed parts kept per dot, and
// judged again only after a move.
int hires_toggle_pass(SearchState& state, const CellColourSets& sets, DotColours& dots) {
    const int width = state.grid->width;
    int changed = 0;
    StripChanges changes;
    for (int y = 0; y < IMAGE_HEIGHT; ++y) {
        const int row = y % CELL_ROWS;
        for (int column = 0; column < CELLS_ACROSS; ++column) {
            const int cell = (y / CELL_ROWS) * CELLS_ACROSS + column;
            if (state.dirty[static_cast<std::size_t>(cell)] == 0) {
                continue;
            }
            const auto& set = sets.cells[static_cast<std::size_t>(cell)].colours;
            const int first_dot = y * width + column * HIRES_CELL_WIDTH;
            strip_changes(state, first_dot, row, set[0], dots, changes);
            if (row + 1 < CELL_ROWS && !strip_has_move(changes, state.swaps)) {
                // Nothing to gain inside the cell: only the last dot's swap
                // across its right border is left to try.
                const int last = first_dot + HIRES_CELL_WIDTH - 1;
                changed += state.swaps && may_swap(sets, dots, last, cell, 1, 1) && try_swap(state, sets, last, 1, 0, dots)
                               ? 2
                               : 0;
                continue;
            }
            for (int j = 0; j < HIRES_CELL_WIDTH; ++j) {
                const int dot = first_dot + j;
                const int colour = dots.colours[static_cast<std::size_t>(dot)];
                const int other = colour == set[0] ? set[1] : set[0];
                const auto lane = static_cast<std::size_t>(j);
                int moved = 0;
                if (changes.toggle[lane] < GAIN) {
                    move_dot(state, dot, other, colour_step(state, dot, colour, other), dots);
                    moved = 1;
                } else if (!state.swaps) {
                    continue;
                } else if (j + 1 < HIRES_CELL_WIDTH
                               ? changes.swap_right[lane] < GAIN
                               : may_swap(sets, dots, dot, cell, 1, 1) && try_swap(state, sets, dot, 1, 0, dots)) {
                    if (j + 1 < HIRES_CELL_WIDTH) {
                        move_dot(state, dot, other, colour_step(state, dot, colour, other), dots);
                        move_dot(state, dot + 1, colour, colour_step(state, dot + 1, other, colour), dots);
                    }
                    moved = 2;
                } else if (row + 1 < CELL_ROWS
                               ? changes.swap_down[lane] < GAIN
                               : may_swap(sets, dots, dot, cell, width, CELLS_ACROSS) && try_swap(state, sets, dot, 0, 1, dots)) {
                    if (row + 1 < CELL_ROWS) {
                        move_dot(state, dot, other, colour_step(state, dot, colour, other), dots);
                        move_dot(state, dot + width, colour, colour_step(state, dot + width, other, colour), dots);
                    }
                    moved = 2;
                }
                if (moved > 0) {
                    changed += moved;
                    strip_changes(state, first_dot, row, set[0], dots, changes);
                }
            }
        }
    }
    return changed;
}
