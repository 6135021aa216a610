// The state of the refinement's search (direct binary search in the form
// with the autocorrelation of the blur) and the moves it makes: a dot takes
// another colour, or two neighbouring dots exchange theirs. A move is judged
// from (A * d) at the dots it changes and made by adding the kernel there.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <vector>

#include "convert/blur_kernels.h"
#include "convert/cell_colours.h"
#include "convert/dot_grid.h"

// Eight floats the compiler keeps in one AVX register, or two SSE ones.
typedef float Lanes __attribute__((vector_size(VECTOR_LANES * sizeof(float))));
constexpr int CHANNELS = 3;  // lightness, then the two opponent axes
// A move must lower the error by more than rounding could.
constexpr float GAIN = -1e-7f;
constexpr int HIRES_CELL_WIDTH = 8;

// Offsets between two dots of one cell reach 7 either way.
constexpr int NEAR = 7;
using NearTable = std::array<std::array<float, 2 * NEAR + 1>, 2 * NEAR + 1>;

struct SearchState {
    const DotGrid* grid;
    std::array<ChannelKernel, CHANNELS> kernels;
    std::array<NearTable, CHANNELS> near;  // each kernel's values at offsets within a cell, [dy][dx]
    bool swaps;
    int swap_neighbours;  // right and below; with the diagonals, 4
    int plane;            // dots in one channel's plane
    std::vector<float> correlation;  // (A * d): every dot's lightness, then each opponent axis
    std::vector<float> errors;       // perceptual errors by channel, while (A * d) is set up or the metric weighed
    std::vector<float> across;       // the same blurred across
    // Cells whose neighbourhood changed since they were last searched, this
    // pass and the next: a cell none of whose neighbours changed has nothing
    // new to find.
    std::array<std::uint8_t, CELL_COUNT> dirty;
    std::array<std::uint8_t, CELL_COUNT> dirty_next;
    int last_marked;  // the cell whose neighbourhood was marked last this pass, or -1
};

inline Perceptual colour_step(const SearchState& state, int dot, int from, int to) {
    const auto& palette = state.grid->palette;
    const float difference[3] = {palette[to][0] - palette[from][0], palette[to][1] - palette[from][1],
                                 palette[to][2] - palette[from][2]};
    return perceptual_of(*state.grid, dot, difference);
}

inline Perceptual correlation_at(const SearchState& state, int dot) {
    return {state.correlation[static_cast<std::size_t>(dot)],
            state.correlation[static_cast<std::size_t>(state.plane + dot)],
            state.correlation[static_cast<std::size_t>(2 * state.plane + dot)]};
}

// Change of the error when a dot's perceptual error moves by s, where the
// correlation there is c.
inline float change_of(const SearchState& state, const Perceptual& c, const Perceptual& s) {
    float change = 0.0f;
    for (int ch = 0; ch < CHANNELS; ++ch) {
        change += s[ch] * (2.0f * c[ch] + s[ch] * state.kernels[static_cast<std::size_t>(ch)].centre);
    }
    return change;
}

inline float near_value(const SearchState& state, int ch, int dx, int dy) {
    return state.near[static_cast<std::size_t>(ch)][static_cast<std::size_t>(dy + NEAR)][static_cast<std::size_t>(dx + NEAR)];
}

inline float cross_change(const SearchState& state, const Perceptual& first, const Perceptual& second, int dx, int dy) {
    float change = 0.0f;
    for (int ch = 0; ch < CHANNELS; ++ch) {
        change += 2.0f * first[ch] * second[ch] * near_value(state, ch, dx, dy);
    }
    return change;
}

// c += scale * taps over one vector; inlined into each build of its callers.
[[gnu::always_inline]] inline void add_lanes(float* c, const float* taps, float scale) {
    Lanes sum;
    Lanes tap;
    std::memcpy(&sum, c, sizeof sum);
    std::memcpy(&tap, taps, sizeof tap);
    sum += scale * tap;
    std::memcpy(c, &sum, sizeof sum);
}

// Moves a dot to colour by step (its perceptual change), updating (A * d)
// and marking the cells whose search it concerns.
void move_dot(SearchState& state, int dot, int colour, const Perceptual& step, DotColours& dots);

// Every dot's perceptual error, shown against target, into state.errors by
// channel.
void perceptual_errors(SearchState& state, const DotColours& dots);

// (A * d) of the picture as it is, from scratch.
void initialise_correlation(SearchState& state, const DotColours& dots);

void fill_near_tables(SearchState& state);

// Exchanges a dot's colour with its neighbour's at (dx, dy) when both cells
// allow it and the error falls; true when made.
bool try_swap(SearchState& state, const CellColourSets& sets, int dot, int dx, int dy, DotColours& dots);

// One pass of moves over every dot of the changed cells, in raster order: a
// dot takes the best other colour of its cell, or else tries its swaps;
// returns the dots changed.
int toggle_pass(SearchState& state, const CellColourSets& sets, DotColours& dots);
