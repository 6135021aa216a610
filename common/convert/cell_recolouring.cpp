#include "convert/cell_recolouring.h"

#include <algorithm>


namespace {

// Dots of one cell, in raster order.
int cell_dots(const DotGrid& grid, int cell, std::array<int, MAX_CELL_DOTS>& dots) {
    const int first_x = (cell % CELLS_ACROSS) * grid.cell_width;
    const int first_y = (cell / CELLS_ACROSS) * CELL_ROWS;
    int n = 0;
    for (int row = 0; row < CELL_ROWS; ++row) {
        for (int column = 0; column < grid.cell_width; ++column) {
            dots[static_cast<std::size_t>(n++)] = (first_y + row) * grid.width + first_x + column;
        }
    }
    return n;
}

// The moves of a cell's dots to the colours of a new set, as the refinement
// would make them one after the other, and their exact change of the error.
struct CellMoves {
    std::array<int, MAX_CELL_DOTS> dots;
    std::array<int, MAX_CELL_DOTS> colours;
    std::array<Perceptual, MAX_CELL_DOTS> steps;
    int count;
    float change;
};

// (A * d) at each dot of a cell, [channel][dot], as the moves planned so far
// would leave it.
using CellCorrelation = std::array<std::array<float, MAX_CELL_DOTS>, CHANNELS>;

__attribute__((target_clones("avx2", "default"))) void add_planned_step(const SearchState& state, int n,
                                                                        const Perceptual& step,
                                                                        CellCorrelation& correlation) {
    const int width = state.grid->cell_width;
    const int column = n % width;
    for (int ch = 0; ch < CHANNELS; ++ch) {
        // Only the dots from the move's row on are still to be planned.
        for (int row = n / width; row < CELL_ROWS; ++row) {
            const float* taps = &state.near[static_cast<std::size_t>(ch)][static_cast<std::size_t>(row - n / width + NEAR)]
                                          [static_cast<std::size_t>(NEAR - column)];
            float* values = &correlation[static_cast<std::size_t>(ch)][static_cast<std::size_t>(row * width)];
            if (width == VECTOR_LANES) {
                add_lanes(values, taps, step[ch]);
            } else {
                for (int x = 0; x < width; ++x) {
                    values[x] += step[ch] * taps[x];
                }
            }
        }
    }
}

// Plans every dot of the cell onto its best colour of the set, one after the
// other so that each sees the moves before it, without making them: a trial
// the error does not favour costs no kernel updates.
void plan_redither(const SearchState& state, const std::array<int, MAX_CELL_DOTS>& cell, int count,
                   const std::array<std::uint8_t, 4>& set, int set_size, const DotColours& dots, CellMoves& moves) {
    moves.count = 0;
    moves.change = 0.0f;
    CellCorrelation planned;
    for (int ch = 0; ch < CHANNELS; ++ch) {
        for (int n = 0; n < count; ++n) {
            planned[static_cast<std::size_t>(ch)][static_cast<std::size_t>(n)] =
                state.correlation[static_cast<std::size_t>(ch * state.plane + cell[static_cast<std::size_t>(n)])];
        }
    }
    for (int n = 0; n < count; ++n) {
        const int dot = cell[static_cast<std::size_t>(n)];
        const int current = dots.colours[static_cast<std::size_t>(dot)];
        const auto i_n = static_cast<std::size_t>(n);
        const Perceptual c{planned[0][i_n], planned[1][i_n], planned[2][i_n]};
        bool current_allowed = false;
        float best = 0.0f;
        int best_colour = -1;
        Perceptual best_step{};
        for (int i = 0; i < set_size; ++i) {
            const int colour = set[static_cast<std::size_t>(i)];
            if (colour == current) {
                current_allowed = true;
                continue;
            }
            const Perceptual step = colour_step(state, dot, current, colour);
            const float change = change_of(state, c, step);
            if (best_colour < 0 || change < best) {
                best = change;
                best_colour = colour;
                best_step = step;
            }
        }
        if (best_colour >= 0 && (!current_allowed || best < 0.0f)) {
            const auto m = static_cast<std::size_t>(moves.count++);
            moves.dots[m] = dot;
            moves.colours[m] = best_colour;
            moves.steps[m] = best_step;
            moves.change += best;
            add_planned_step(state, n, best_step, planned);
        }
    }
}

// The dots of a cell as the search sees them, one array per component, so
// that a colour's change is worked out for all of them together.
struct CellView {
    std::array<std::array<float, MAX_CELL_DOTS>, 9> metric;
    std::array<std::array<float, MAX_CELL_DOTS>, CHANNELS> correlation;
    std::array<std::array<float, MAX_CELL_DOTS>, 3> shown;  // linear RGB of each dot's colour
};

void view_cell(const SearchState& state, const std::array<int, MAX_CELL_DOTS>& members, int count,
               const DotColours& dots, CellView& view) {
    const DotGrid& grid = *state.grid;
    for (int n = 0; n < count; ++n) {
        const auto i = static_cast<std::size_t>(n);
        const int dot = members[i];
        const auto& metric = grid.metric[static_cast<std::size_t>(dot)];
        for (std::size_t m = 0; m < metric.size(); ++m) {
            view.metric[m][i] = metric[m];
        }
        const auto& shown = grid.palette[dots.colours[static_cast<std::size_t>(dot)]];
        for (std::size_t ch = 0; ch < CHANNELS; ++ch) {
            view.correlation[ch][i] = state.correlation[ch * static_cast<std::size_t>(state.plane) + static_cast<std::size_t>(dot)];
            view.shown[ch][i] = shown[ch];
        }
    }
}

// Each dot's change of the error, moved alone to the colour; a dot of that
// colour already changes nothing. Inlined into each build of its caller.
[[gnu::always_inline]] inline void changes_to_colour(const SearchState& state, const CellView& view, int count,
                                                     int colour, float* __restrict out) {
    const auto& palette = state.grid->palette[static_cast<std::size_t>(colour)];
    const float k0 = state.kernels[0].centre;
    const float k1 = state.kernels[1].centre;
    const float k2 = state.kernels[2].centre;
    const auto& m = view.metric;
    for (int n = 0; n < count; ++n) {
        const float dr = palette[0] - view.shown[0][n];
        const float dg = palette[1] - view.shown[1][n];
        const float db = palette[2] - view.shown[2][n];
        const float s0 = m[0][n] * dr + m[1][n] * dg + m[2][n] * db;
        const float s1 = m[3][n] * dr + m[4][n] * dg + m[5][n] * db;
        const float s2 = m[6][n] * dr + m[7][n] * dg + m[8][n] * db;
        out[n] = s0 * (2.0f * view.correlation[0][n] + s0 * k0) + s1 * (2.0f * view.correlation[1][n] + s1 * k1) +
                 s2 * (2.0f * view.correlation[2][n] + s2 * k2);
    }
}

// The best set that replaces one of the cell's own colours by a colour worth
// trying, judged by each dot's best change on its own; false when none
// promises to lower the error.
__attribute__((target_clones("avx2", "default"))) bool best_replacement(const SearchState& state, const std::array<int, MAX_CELL_DOTS>& members, int count,
                      const std::array<std::uint8_t, 4>& set, int set_size, std::uint32_t tried, const DotColours& dots,
                      std::array<std::uint8_t, 4>& replacement) {
    CellView view;
    view_cell(state, members, count, dots, view);
    // alone[colour][n]: dot n moved alone to the colour, for the colours
    // tried and those of the set.
    std::array<std::array<float, MAX_CELL_DOTS>, PALETTE_SIZE> alone;
    std::uint32_t set_bits = 0;
    for (int i = 0; i < set_size; ++i) {
        set_bits |= 1u << set[static_cast<std::size_t>(i)];
    }
    const std::uint32_t needed = tried | set_bits;
    for (int colour = 0; colour < PALETTE_SIZE; ++colour) {
        if ((needed >> colour & 1u) != 0) {
            changes_to_colour(state, view, count, colour, alone[static_cast<std::size_t>(colour)].data());
        }
    }
    const int first_own = state.grid->hires ? 0 : 1;
    float best_gain = 0.0f;
    bool found = false;
    for (int slot = first_own; slot < set_size; ++slot) {
        // Each dot's best among the colours that stay: its own costs nothing
        // unless it is the one replaced.
        std::array<float, MAX_CELL_DOTS> staying;
        staying.fill(1e30f);
        for (int i = 0; i < set_size; ++i) {
            if (i != slot) {
                // A dot's own colour is in alone too, as 0.
                const float* kept = alone[set[static_cast<std::size_t>(i)]].data();
                for (int n = 0; n < count; ++n) {
                    staying[static_cast<std::size_t>(n)] = std::min(staying[static_cast<std::size_t>(n)], kept[n]);
                }
            }
        }
        for (int colour = 0; colour < PALETTE_SIZE; ++colour) {
            if (((tried & ~set_bits) >> colour & 1u) == 0) {
                continue;
            }
            const float* moved = alone[static_cast<std::size_t>(colour)].data();
            // Eight running sums, one a lane, the same in every build; cells
            // hold a multiple of eight dots.
            std::array<float, 8> sums{};
            for (int n = 0; n < count; n += 8) {
                for (int lane = 0; lane < 8; ++lane) {
                    sums[static_cast<std::size_t>(lane)] +=
                        std::min(staying[static_cast<std::size_t>(n + lane)], moved[n + lane]);
                }
            }
            const float gain = ((sums[0] + sums[1]) + (sums[2] + sums[3])) + ((sums[4] + sums[5]) + (sums[6] + sums[7]));
            if (gain < best_gain) {
                best_gain = gain;
                replacement = set;
                replacement[static_cast<std::size_t>(slot)] = static_cast<std::uint8_t>(colour);
                found = true;
            }
        }
    }
    return found;
}

// Tries the most promising set that replaces one of the cell's own colours,
// re-dithering the cell's dots; keeps it when the picture's error falls.
bool recolour_cell(SearchState& state, int cell, CellColourSets& sets, DotColours& dots) {
    const DotGrid& grid = *state.grid;
    std::array<int, MAX_CELL_DOTS> members;
    const int count = cell_dots(grid, cell, members);
    auto& set = sets.cells[static_cast<std::size_t>(cell)].colours;
    const int set_size = grid.hires ? 2 : 4;
    std::array<std::uint8_t, 4> trial{};
    if (!best_replacement(state, members, count, set, set_size, sets.candidates[static_cast<std::size_t>(cell)], dots,
                          trial)) {
        return false;
    }
    CellMoves moves;
    plan_redither(state, members, count, trial, set_size, dots, moves);
    if (moves.change >= 0.0f) {
        return false;
    }
    for (int m = 0; m < moves.count; ++m) {
        const auto i = static_cast<std::size_t>(m);
        move_dot(state, moves.dots[i], moves.colours[i], moves.steps[i], dots);
    }
    set = trial;
    return true;
}

}  // namespace

int recolour_pass(SearchState& state, CellColourSets& sets, DotColours& dots) {
    int changed = 0;
    for (int cell = 0; cell < CELL_COUNT; ++cell) {
        if (state.dirty[static_cast<std::size_t>(cell)] != 0) {
            changed += recolour_cell(state, cell, sets, dots) ? 1 : 0;
        }
    }
    return changed;
}
