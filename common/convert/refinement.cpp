#include "convert/refinement.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

namespace {

constexpr int MAX_RADIUS = 24;
constexpr int VECTOR_LANES = 8;
// Eight floats the compiler keeps in one AVX register, or two SSE ones.
typedef float Lanes __attribute__((vector_size(VECTOR_LANES * sizeof(float))));
constexpr int MAX_LANES = (2 * MAX_RADIUS + VECTOR_LANES) / VECTOR_LANES * VECTOR_LANES;
constexpr int MAX_CELL_DOTS = 64;
constexpr int CHANNELS = 3;  // lightness, then the two opponent axes
// A move must lower the error by more than rounding could.
constexpr float GAIN = -1e-7f;

// The autocorrelation of one blur as seen on the dot grid, the product of an
// across and a down part: the error of the picture is the sum over dots of
// d(q) * (A * d)(q) for the dots' perceptual errors d.
struct Autocorrelation {
    int radius_x;
    int radius_y;
    std::array<float, 2 * MAX_RADIUS + 1> across;
    std::array<float, 2 * MAX_RADIUS + 1> down;
};

// A channel's autocorrelation: one blur, or for the opponent axes the sum of
// the colour blur's and, weighted, the lightness blur's.
struct ChannelKernel {
    std::array<Autocorrelation, 2> terms;
    std::array<float, 2> weights;
    int term_count;
    float centre;
    // The terms summed into one table, [dy + radius_y][dx + radius_x], so that
    // a move updates the correlation in one sweep. A row holds lanes values,
    // the kernel's width rounded up to whole vectors, then as many zeros: a
    // sweep of lanes from any column of the kernel adds nothing past its edge.
    int radius_x;
    int radius_y;
    int lanes;
    std::array<float, (2 * MAX_RADIUS + 1) * 2 * MAX_LANES> dense;
};

std::vector<double> gaussian(double sigma) {
    const int radius = std::max(1, static_cast<int>(std::ceil(3.0 * sigma)));
    std::vector<double> weights(static_cast<std::size_t>(2 * radius + 1));
    double sum = 0.0;
    for (int i = -radius; i <= radius; ++i) {
        weights[static_cast<std::size_t>(i + radius)] = std::exp(-0.5 * i * i / (sigma * sigma));
        sum += weights[static_cast<std::size_t>(i + radius)];
    }
    for (double& w : weights) {
        w /= sum;
    }
    return weights;
}

// Blur of one dot of the given width: the Gaussian spread over the dot's pixels.
std::vector<double> footprint(double sigma, int width) {
    const std::vector<double> g = gaussian(sigma);
    std::vector<double> f(g.size() + static_cast<std::size_t>(width) - 1, 0.0);
    for (int shift = 0; shift < width; ++shift) {
        for (std::size_t i = 0; i < g.size(); ++i) {
            f[i + static_cast<std::size_t>(shift)] += g[i];
        }
    }
    return f;
}

// Autocorrelation of a footprint at offsets that are multiples of step, cut
// where it falls below a hundredth of its centre.
int autocorrelate(const std::vector<double>& f, int step, std::array<float, 2 * MAX_RADIUS + 1>& out) {
    const int n = static_cast<int>(f.size());
    std::array<double, MAX_RADIUS + 1> values{};
    int radius = 0;
    for (int k = 0; k <= MAX_RADIUS; ++k) {
        double sum = 0.0;
        for (int i = 0; i + k * step < n; ++i) {
            sum += f[static_cast<std::size_t>(i)] * f[static_cast<std::size_t>(i + k * step)];
        }
        if (k > 0 && sum < values[0] * 1e-2) {
            break;
        }
        values[static_cast<std::size_t>(k)] = sum;
        radius = k;
    }
    out.fill(0.0f);
    for (int k = -radius; k <= radius; ++k) {
        out[static_cast<std::size_t>(k + radius)] = static_cast<float>(values[static_cast<std::size_t>(std::abs(k))]);
    }
    return radius;
}

Autocorrelation make_autocorrelation(double sigma, int dot_pixels) {
    Autocorrelation a{};
    a.radius_x = autocorrelate(footprint(sigma, dot_pixels), dot_pixels, a.across);
    a.radius_y = autocorrelate(footprint(sigma, 1), 1, a.down);
    return a;
}

float term_value(const Autocorrelation& a, int dx, int dy) {
    if (std::abs(dx) > a.radius_x || std::abs(dy) > a.radius_y) {
        return 0.0f;
    }
    return a.across[static_cast<std::size_t>(dx + a.radius_x)] * a.down[static_cast<std::size_t>(dy + a.radius_y)];
}

float kernel_value(const ChannelKernel& k, int dx, int dy) {
    float value = 0.0f;
    for (int t = 0; t < k.term_count; ++t) {
        value += k.weights[static_cast<std::size_t>(t)] * term_value(k.terms[static_cast<std::size_t>(t)], dx, dy);
    }
    return value;
}

ChannelKernel make_kernel(const Autocorrelation& main, const Autocorrelation& fine, float fine_weight) {
    ChannelKernel k{};
    k.terms[0] = main;
    k.weights[0] = 1.0f;
    k.term_count = 1;
    if (fine_weight > 0.0f) {
        k.terms[1] = fine;
        k.weights[1] = fine_weight * fine_weight;
        k.term_count = 2;
    }
    k.centre = kernel_value(k, 0, 0);
    k.radius_x = 0;
    k.radius_y = 0;
    for (int t = 0; t < k.term_count; ++t) {
        k.radius_x = std::max(k.radius_x, k.terms[static_cast<std::size_t>(t)].radius_x);
        k.radius_y = std::max(k.radius_y, k.terms[static_cast<std::size_t>(t)].radius_y);
    }
    k.lanes = (2 * k.radius_x + VECTOR_LANES) / VECTOR_LANES * VECTOR_LANES;
    const int row = 2 * k.lanes;
    for (int dy = -k.radius_y; dy <= k.radius_y; ++dy) {
        for (int dx = -k.radius_x; dx <= k.radius_x; ++dx) {
            k.dense[static_cast<std::size_t>((dy + k.radius_y) * row + dx + k.radius_x)] = kernel_value(k, dx, dy);
        }
    }
    return k;
}

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
    // Hires cells hold two colours, so a dot's one move is to the other: by
    // +delta from the cell's first colour to its second, -delta back. What a
    // toggle or a swap inside a cell costs apart from the correlation stays
    // while the cell's colours and the metric do, and is kept per dot.
    std::vector<float> toggle_delta;       // three planes, as the correlation
    std::vector<float> toggle_self;        // delta's own part of a toggle's change
    std::vector<float> swap_cross_right;   // the cross part of a swap with the dot to the right
    std::vector<float> swap_cross_down;    // and with the dot below
};

Perceptual colour_step(const SearchState& state, int dot, int from, int to) {
    const auto& palette = state.grid->palette;
    const float difference[3] = {palette[to][0] - palette[from][0], palette[to][1] - palette[from][1],
                                 palette[to][2] - palette[from][2]};
    return perceptual_of(*state.grid, dot, difference);
}

Perceptual correlation_at(const SearchState& state, int dot) {
    return {state.correlation[static_cast<std::size_t>(dot)],
            state.correlation[static_cast<std::size_t>(state.plane + dot)],
            state.correlation[static_cast<std::size_t>(2 * state.plane + dot)]};
}

// Change of the error when a dot's perceptual error moves by s, where the
// correlation there is c.
float change_of(const SearchState& state, const Perceptual& c, const Perceptual& s) {
    float change = 0.0f;
    for (int ch = 0; ch < CHANNELS; ++ch) {
        change += s[ch] * (2.0f * c[ch] + s[ch] * state.kernels[static_cast<std::size_t>(ch)].centre);
    }
    return change;
}

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

// c += scale * taps over one vector; inlined into each build of its callers.
[[gnu::always_inline]] inline void add_lanes(float* c, const float* taps, float scale) {
    Lanes sum;
    Lanes tap;
    std::memcpy(&sum, c, sizeof sum);
    std::memcpy(&tap, taps, sizeof tap);
    sum += scale * tap;
    std::memcpy(c, &sum, sizeof sum);
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
    const int x = dot % state.grid->width;
    const int y = dot / state.grid->width;
    add_kernels(state, s, x, y);
}

void move_dot(SearchState& state, int dot, int colour, const Perceptual& step, DotColours& dots) {
    apply_step(state, dot, step);
    dots.colours[static_cast<std::size_t>(dot)] = static_cast<std::uint8_t>(colour);
}

// Every dot's perceptual error, shown against target, into state.errors by
// channel.
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

bool colour_allowed(const SearchState& state, const CellColourSets& sets, int x, int y, int colour) {
    const auto& set = sets.cells[static_cast<std::size_t>((y / CELL_ROWS) * CELLS_ACROSS + x / state.grid->cell_width)].colours;
    const int count = state.grid->hires ? 2 : 4;
    for (int i = 0; i < count; ++i) {
        if (set[static_cast<std::size_t>(i)] == colour) {
            return true;
        }
    }
    return false;
}

float near_value(const SearchState& state, int ch, int dx, int dy) {
    return state.near[static_cast<std::size_t>(ch)][static_cast<std::size_t>(dy + NEAR)][static_cast<std::size_t>(dx + NEAR)];
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

float cross_change(const SearchState& state, const Perceptual& first, const Perceptual& second, int dx, int dy) {
    float change = 0.0f;
    for (int ch = 0; ch < CHANNELS; ++ch) {
        change += 2.0f * first[ch] * second[ch] * near_value(state, ch, dx, dy);
    }
    return change;
}

// Exchanges a dot's colour with its neighbour's at (dx, dy) when that lowers
// the error: the grain moves without the mean changing, which single toggles
// cannot do one at a time.
bool try_swap(SearchState& state, const CellColourSets& sets, int dot, int dx, int dy, DotColours& dots) {
    const int width = state.grid->width;
    const int x = dot % width;
    const int y = dot / width;
    if (x + dx < 0 || x + dx >= width || y + dy >= IMAGE_HEIGHT) {
        return false;
    }
    const int colour = dots.colours[static_cast<std::size_t>(dot)];
    const int other = dot + dy * width + dx;
    const int other_colour = dots.colours[static_cast<std::size_t>(other)];
    if (other_colour == colour || !colour_allowed(state, sets, x, y, other_colour) ||
        !colour_allowed(state, sets, x + dx, y + dy, colour)) {
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

// One pass over every dot of the changed cells in raster order; returns the
// dots changed.
int toggle_pass(SearchState& state, const CellColourSets& sets, DotColours& dots) {
    const DotGrid& grid = *state.grid;
    const int choice_count = grid.hires ? 2 : 4;
    int changed = 0;
    for (int y = 0; y < IMAGE_HEIGHT; ++y) {
        for (int x = 0; x < grid.width; ++x) {
            const int cell = (y / CELL_ROWS) * CELLS_ACROSS + x / grid.cell_width;
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

// The fixed parts of the moves of one hires cell's dots (see SearchState).
__attribute__((target_clones("avx2", "default"))) void fill_hires_cell_moves(SearchState& state,
                                                                             const CellColourSets& sets, int cell) {
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
                changed += state.swaps && try_swap(state, sets, first_dot + HIRES_CELL_WIDTH - 1, 1, 0, dots) ? 2 : 0;
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
                } else if (j + 1 < HIRES_CELL_WIDTH ? changes.swap_right[lane] < GAIN
                                                    : try_swap(state, sets, dot, 1, 0, dots)) {
                    if (j + 1 < HIRES_CELL_WIDTH) {
                        move_dot(state, dot, other, colour_step(state, dot, colour, other), dots);
                        move_dot(state, dot + 1, colour, colour_step(state, dot + 1, other, colour), dots);
                    }
                    moved = 2;
                } else if (row + 1 < CELL_ROWS ? changes.swap_down[lane] < GAIN
                                               : try_swap(state, sets, dot, 0, 1, dots)) {
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
    if (grid.hires) {
        fill_hires_cell_moves(state, sets, cell);
    }
    return true;
}

int recolour_pass(SearchState& state, CellColourSets& sets, DotColours& dots) {
    int changed = 0;
    for (int cell = 0; cell < CELL_COUNT; ++cell) {
        if (state.dirty[static_cast<std::size_t>(cell)] != 0) {
            changed += recolour_cell(state, cell, sets, dots) ? 1 : 0;
        }
    }
    return changed;
}

// Each dot's error, blurred 1 2 1 both ways with the borders repeated: the
// local error the second round weighs by, left in state.errors by channel.
__attribute__((target_clones("avx2", "default"))) void local_errors(SearchState& state, const DotColours& dots) {
    const DotGrid& grid = *state.grid;
    const int width = grid.width;
    const int plane = state.plane;
    perceptual_errors(state, dots);
    std::vector<float>& errors = state.errors;
    std::vector<float>& across = state.across;
    across.resize(static_cast<std::size_t>(plane) * 3);
    for (int row = 0; row < 3 * IMAGE_HEIGHT; ++row) {
        const float* in = &errors[static_cast<std::size_t>(row * width)];
        float* out = &across[static_cast<std::size_t>(row * width)];
        out[0] = 3.0f * in[0] + in[1];
        for (int x = 1; x < width - 1; ++x) {
            out[x] = in[x - 1] + 2.0f * in[x] + in[x + 1];
        }
        out[width - 1] = in[width - 2] + 3.0f * in[width - 1];
    }
    for (int ch = 0; ch < 3; ++ch) {
        for (int y = 0; y < IMAGE_HEIGHT; ++y) {
            const float* above = &across[static_cast<std::size_t>(ch * plane + std::max(0, y - 1) * width)];
            const float* here = &across[static_cast<std::size_t>(ch * plane + y * width)];
            const float* below = &across[static_cast<std::size_t>(ch * plane + std::min(IMAGE_HEIGHT - 1, y + 1) * width)];
            float* out = &errors[static_cast<std::size_t>(ch * plane + y * width)];
            for (int x = 0; x < width; ++x) {
                out[x] = (above[x] + 2.0f * here[x] + below[x]) * (1.0f / 16.0f);
            }
        }
    }
}

// The refinement minimises squared differences, which weigh a large error
// more than the mean colour difference does; scaling each dot's metric by
// one over the square root of its local error makes the sum of squares
// approach the sum of differences.
void weigh_metric_by_error(SearchState& state, const DotColours& dots, float floor, DotGrid& grid) {
    local_errors(state, dots);
    const int plane = state.plane;
    const float* local = state.errors.data();
    for (int dot = 0; dot < plane; ++dot) {
        const float l = local[dot];
        const float a = local[plane + dot];
        const float b = local[2 * plane + dot];
        const float scale = 1.0f / std::sqrt(std::max(std::sqrt(l * l + a * a + b * b), floor));
        for (float& m : grid.metric[static_cast<std::size_t>(dot)]) {
            m *= scale;
        }
    }
}

// Passes of toggles, swaps and recolouring until one changes nothing.
void search(SearchState& state, const SearchRound& round, CellColourSets& sets, DotColours& dots) {
    if (state.grid->hires) {
        fill_hires_moves(state, sets);
    }
    initialise_correlation(state, dots);
    state.dirty.fill(1);
    for (int pass = 0; pass < round.passes; ++pass) {
        state.dirty_next.fill(0);
        state.last_marked = -1;
        const int toggled = state.grid->hires && state.swap_neighbours <= 2 ? hires_toggle_pass(state, sets, dots)
                                                                            : toggle_pass(state, sets, dots);
        const int recoloured = pass < round.recolour_passes ? recolour_pass(state, sets, dots) : 0;
        if (toggled == 0 && recoloured == 0) {
            break;
        }
        state.dirty = state.dirty_next;
    }
}

}  // namespace

ErrorCode refine_picture(DotGrid& grid, const RefinementSettings& settings, CellColourSets& sets, DotColours& dots) {
    auto state = std::make_unique<SearchState>();
    state->grid = &grid;
    const Autocorrelation lightness = make_autocorrelation(settings.lightness_blur, grid.dot_pixels);
    const Autocorrelation colour = make_autocorrelation(settings.colour_blur, grid.dot_pixels);
    state->kernels[0] = make_kernel(lightness, lightness, 0.0f);
    state->kernels[1] = make_kernel(colour, lightness, settings.fine_colour_weight);
    state->kernels[2] = state->kernels[1];
    fill_near_tables(*state);
    state->swaps = settings.swaps;
    state->swap_neighbours = settings.diagonal_swaps ? 4 : 2;
    state->plane = dot_count(grid);
    search(*state, settings.first, sets, dots);
    // The second round keeps the first's buffers: no new pages to fault in.
    if (settings.error_floor > 0.0f) {
        weigh_metric_by_error(*state, dots, settings.error_floor, grid);
        search(*state, settings.reweighted, sets, dots);
    }
    return ERR_SUCCESS;
}
