#include "convert/search_state.h"

#include <algorithm>

namespace {

// A change at a dot reaches the cells around its own.
void mark_neighbourhood(SearchState& state, int dot) {
    const int cell = cell_of_dot(*state.grid, dot);
    // Moves come in runs within a cell: its neighbourhood is marked once.
    if (cell == state.last_marked) {
        return;
    }
    state.last_marked = cell;
    const int row = cell / CELLS_ACROSS;
    const int column = cell % CELLS_ACROSS;
    for (int r = std::max(0, row - 1); r <= std::min(CELLS_DOWN - 1, row + 1); ++r) {
        for (int c = std::max(0, column - 1); c <= std::min(CELLS_ACROSS - 1, column + 1); ++c) {
            state.dirty_next[static_cast<std::size_t>(r * CELLS_ACROSS + c)] = 1;
        }
    }
}

// One vector of a kernel row into PLANES planes.
template <int PLANES>
[[gnu::always_inline]] inline void add_tap_lanes(float* c, int plane, const float* taps, const float* scales) {
    Lanes tap;
    std::memcpy(&tap, taps, sizeof tap);
    for (int p = 0; p < PLANES; ++p) {
        Lanes sum;
        std::memcpy(&sum, c + p * plane, sizeof sum);
        sum += scales[p] * tap;
        std::memcpy(c + p * plane, &sum, sizeof sum);
    }
}

// Adds scales times the kernel of first_channel, centred on (x, y), to the
// correlation of PLANES channels from first_channel on.
template <int PLANES>
[[gnu::always_inline]] inline void sweep_kernel(SearchState& state, int first_channel, const float* scales, int x,
                                                int y) {
    const ChannelKernel& k = state.kernels[static_cast<std::size_t>(first_channel)];
    const int width = state.grid->width;
    const int plane = state.plane;
    const int y0 = std::max(0, y - k.radius_y);
    const int y1 = std::min(IMAGE_HEIGHT - 1, y + k.radius_y);
    const int x0 = std::max(0, x - k.radius_x);
    const int stride = 2 * k.lanes;
    const float* __restrict taps = &k.dense[static_cast<std::size_t>((y0 - y + k.radius_y) * stride + x0 - x + k.radius_x)];
    float* __restrict c = &state.correlation[static_cast<std::size_t>(first_channel * plane + y0 * width + x0)];
    if (x + k.radius_x >= width) {
        for (int yy = y0; yy <= y1; ++yy, taps += stride, c += width) {
            for (int p = 0; p < PLANES; ++p) {
                for (int i = 0; i < width - x0; ++i) {
                    c[p * plane + i] += scales[p] * taps[i];
                }
            }
        }
        return;
    }
    // Away from the right edge every row takes whole vectors; what they add
    // past the kernel, into the next row, is zero. Kernels of up to three
    // vectors a row, as the usual blurs give, are swept without a loop across.
    const int vectors = k.lanes / VECTOR_LANES;
    for (int yy = y0; yy <= y1; ++yy, taps += stride, c += width) {
        add_tap_lanes<PLANES>(c, plane, taps, scales);
        if (vectors > 1) {
            add_tap_lanes<PLANES>(c + VECTOR_LANES, plane, taps + VECTOR_LANES, scales);
        }
        if (vectors > 2) {
            add_tap_lanes<PLANES>(c + 2 * VECTOR_LANES, plane, taps + 2 * VECTOR_LANES, scales);
        }
        for (int i = 3 * VECTOR_LANES; i < k.lanes; i += VECTOR_LANES) {
            add_tap_lanes<PLANES>(c + i, plane, taps + i, scales);
        }
    }
}

// A step's kernels: lightness's, then the one the two opponent axes share,
// in one sweep for both.
__attribute__((target_clones("avx2", "default"))) void add_kernels(SearchState& state, const Perceptual& step, int x,
                                                                   int y) {
    sweep_kernel<1>(state, 0, step.data(), x, y);
    sweep_kernel<2>(state, 1, step.data() + 1, x, y);
}

void apply_step(SearchState& state, int dot, const Perceptual& s) {
    mark_neighbourhood(state, dot);
    const int y = row_of_dot(*state.grid, dot);
    const int x = dot - y * state.grid->width;
    add_kernels(state, s, x, y);
}

// One term of (A * d) for the starting picture, by separable convolution of
// one channel's errors. Row by row, so that the inner loops run along a row
// and vectorise.
__attribute__((target_clones("avx2", "default"))) void convolve_term(SearchState& state, const Autocorrelation& k,
                                                                     float weight, const float* errors, float* out) {
    const int width = state.grid->width;
    state.across.assign(static_cast<std::size_t>(state.plane), 0.0f);
    float* across = state.across.data();
    for (int y = 0; y < IMAGE_HEIGHT; ++y) {
        const float* in = errors + y * width;
        float* row = across + y * width;
        for (int dx = -k.radius_x; dx <= k.radius_x; ++dx) {
            const float tap = k.across[static_cast<std::size_t>(dx + k.radius_x)];
            const int first = std::max(0, -dx);
            const int last = std::min(width, width - dx);
            for (int x = first; x < last; ++x) {
                row[x] += tap * in[x + dx];
            }
        }
    }
    for (int y = 0; y < IMAGE_HEIGHT; ++y) {
        float* row = out + y * width;
        for (int j = std::max(0, y - k.radius_y); j <= std::min(IMAGE_HEIGHT - 1, y + k.radius_y); ++j) {
            const float tap = weight * k.down[static_cast<std::size_t>(j - y + k.radius_y)];
            const float* in = across + j * width;
            for (int x = 0; x < width; ++x) {
                row[x] += tap * in[x];
            }
        }
    }
}

bool colour_allowed(const SearchState& state, const CellColourSets& sets, int x, int y, int colour) {
    const auto& set = sets.cells[static_cast<std::size_t>(cell_at(*state.grid, x, y))].colours;
    const int count = state.grid->hires ? 2 : 4;
    for (int i = 0; i < count; ++i) {
        if (set[static_cast<std::size_t>(i)] == colour) {
            return true;
        }
    }
    return false;
}

}  // namespace

void move_dot(SearchState& state, int dot, int colour, const Perceptual& step, DotColours& dots) {
    apply_step(state, dot, step);
    dots.colours[static_cast<std::size_t>(dot)] = static_cast<std::uint8_t>(colour);
}

void perceptual_errors(SearchState& state, const DotColours& dots) {
    const DotGrid& grid = *state.grid;
    const int plane = state.plane;
    state.errors.resize(static_cast<std::size_t>(plane) * CHANNELS);
    float* errors = state.errors.data();
    for (int dot = 0; dot < plane; ++dot) {
        const auto& shown = grid.palette[dots.colours[static_cast<std::size_t>(dot)]];
        const float* target = &grid.target[static_cast<std::size_t>(dot * 3)];
        const float difference[3] = {shown[0] - target[0], shown[1] - target[1], shown[2] - target[2]};
        const Perceptual d = perceptual_of(grid, dot, difference);
        for (int ch = 0; ch < CHANNELS; ++ch) {
            errors[ch * plane + dot] = d[ch];
        }
    }
}

void initialise_correlation(SearchState& state, const DotColours& dots) {
    const int count = dot_count(*state.grid);
    // The last plane's sweeps may reach a vector past its end.
    state.correlation.assign(static_cast<std::size_t>(count) * CHANNELS + MAX_LANES, 0.0f);
    perceptual_errors(state, dots);
    for (int ch = 0; ch < CHANNELS; ++ch) {
        const ChannelKernel& k = state.kernels[static_cast<std::size_t>(ch)];
        for (int t = 0; t < k.term_count; ++t) {
            convolve_term(state, k.terms[static_cast<std::size_t>(t)], k.weights[static_cast<std::size_t>(t)],
                          &state.errors[static_cast<std::size_t>(ch * state.plane)],
                          &state.correlation[static_cast<std::size_t>(ch * state.plane)]);
        }
    }
}

void fill_near_tables(SearchState& state) {
    for (int ch = 0; ch < CHANNELS; ++ch) {
        for (int dy = -NEAR; dy <= NEAR; ++dy) {
            for (int dx = -NEAR; dx <= NEAR; ++dx) {
                state.near[static_cast<std::size_t>(ch)][static_cast<std::size_t>(dy + NEAR)][static_cast<std::size_t>(dx + NEAR)] =
                    kernel_value(state.kernels[static_cast<std::size_t>(ch)], dx, dy);
            }
        }
    }
}

bool try_swap(SearchState& state, const CellColourSets& sets, int dot, int dx, int dy, DotColours& dots) {
    const int width = state.grid->width;
    const int y = row_of_dot(*state.grid, dot);
    const int x = dot - y * width;
    if (x + dx < 0 || x + dx >= width || y + dy >= IMAGE_HEIGHT) {
        return false;
    }
    const int colour = dots.colours[static_cast<std::size_t>(dot)];
    const int other = dot + dy * width + dx;
    const int other_colour = dots.colours[static_cast<std::size_t>(other)];
    if (other_colour == colour) {
        return false;
    }
    // Two dots of one cell take each other's colours as they please.
    if (cell_at(*state.grid, x, y) != cell_at(*state.grid, x + dx, y + dy) &&
        (!colour_allowed(state, sets, x, y, other_colour) || !colour_allowed(state, sets, x + dx, y + dy, colour))) {
        return false;
    }
    const Perceptual first = colour_step(state, dot, colour, other_colour);
    const Perceptual second = colour_step(state, other, other_colour, colour);
    const float change = change_of(state, correlation_at(state, dot), first) +
                         change_of(state, correlation_at(state, other), second) +
                         cross_change(state, first, second, dx, dy);
    if (change >= GAIN) {
        return false;
    }
    move_dot(state, dot, other_colour, first, dots);
    move_dot(state, other, colour, second, dots);
    return true;
}

namespace {

// Tries the swaps with the dot's neighbours in turn; returns the dots changed.
int try_swaps(SearchState& state, const CellColourSets& sets, int dot, DotColours& dots) {
    constexpr int OFFSETS[4][2] = {{1, 0}, {0, 1}, {1, 1}, {-1, 1}};
    for (int k = 0; k < state.swap_neighbours; ++k) {
        if (try_swap(state, sets, dot, OFFSETS[k][0], OFFSETS[k][1], dots)) {
            return 2;
        }
    }
    return 0;
}

}  // namespace

int toggle_pass(SearchState& state, const CellColourSets& sets, DotColours& dots) {
    const DotGrid& grid = *state.grid;
    const int choice_count = grid.hires ? 2 : 4;
    int changed = 0;
    for (int y = 0; y < IMAGE_HEIGHT; ++y) {
        for (int x = 0; x < grid.width; ++x) {
            const int cell = cell_at(grid, x, y);
            if (state.dirty[static_cast<std::size_t>(cell)] == 0) {
                continue;
            }
            const int dot = y * grid.width + x;
            const auto& choices = sets.cells[static_cast<std::size_t>(cell)].colours;
            const int current = dots.colours[static_cast<std::size_t>(dot)];
            const Perceptual c = correlation_at(state, dot);
            float best = GAIN;
            int best_colour = -1;
            Perceptual best_step{};
            for (int i = 0; i < choice_count; ++i) {
                const int colour = choices[static_cast<std::size_t>(i)];
                if (colour == current) {
                    continue;
                }
                const Perceptual s = colour_step(state, dot, current, colour);
                const float change = change_of(state, c, s);
                if (change < best) {
                    best = change;
                    best_colour = colour;
                    best_step = s;
                }
            }
            if (best_colour >= 0) {
                move_dot(state, dot, best_colour, best_step, dots);
                ++changed;
            } else if (state.swaps) {
                changed += try_swaps(state, sets, dot, dots);
            }
        }
    }
    return changed;
}
