#include "convert/refinement.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

namespace {

constexpr int MAX_RADIUS = 24;

// The autocorrelation of one channel's blur as seen on the dot grid, the
// product of an across and a down part: the error of the picture is
// sum over dots of d(q) * (A * d)(q) for the dots' perceptual errors d.
struct Autocorrelation {
    int radius_x;
    int radius_y;
    std::array<float, 2 * MAX_RADIUS + 1> across;
    std::array<float, 2 * MAX_RADIUS + 1> down;
    float centre;
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

// Autocorrelation of a footprint at offsets that are multiples of step.
int autocorrelate(const std::vector<double>& f, int step, std::array<float, 2 * MAX_RADIUS + 1>& out) {
    const int n = static_cast<int>(f.size());
    std::array<double, 2 * MAX_RADIUS + 1> values{};
    int radius = 0;
    for (int k = 0; k <= MAX_RADIUS; ++k) {
        const int shift = k * step;
        double sum = 0.0;
        for (int i = 0; i + shift < n; ++i) {
            sum += f[static_cast<std::size_t>(i)] * f[static_cast<std::size_t>(i + shift)];
        }
        if (k > 0 && sum < values[MAX_RADIUS] * 1e-2) {
            break;
        }
        values[static_cast<std::size_t>(MAX_RADIUS + k)] = sum;
        radius = k;
    }
    out.fill(0.0f);
    for (int k = -radius; k <= radius; ++k) {
        out[static_cast<std::size_t>(k + radius)] = static_cast<float>(values[static_cast<std::size_t>(MAX_RADIUS + std::abs(k))]);
    }
    return radius;
}

Autocorrelation make_autocorrelation(double sigma, int dot_pixels) {
    Autocorrelation a{};
    a.radius_x = autocorrelate(footprint(sigma, dot_pixels), dot_pixels, a.across);
    a.radius_y = autocorrelate(footprint(sigma, 1), 1, a.down);
    a.centre = a.across[static_cast<std::size_t>(a.radius_x)] * a.down[static_cast<std::size_t>(a.radius_y)];
    return a;
}

struct SearchState {
    const DotGrid* grid;
    std::array<Autocorrelation, 3> kernels;  // lightness, then the two opponent channels
    std::vector<float> correlation;          // (A * d) of each channel, 3 per dot
};

Perceptual colour_step(const DotGrid& grid, int dot, int from, int to) {
    const auto& a = grid.palette[static_cast<std::size_t>(from)];
    const auto& b = grid.palette[static_cast<std::size_t>(to)];
    const float step[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]};
    return perceptual_of(grid, dot, step);
}

// Change of the error when dot's perceptual error moves by s.
float error_change(const SearchState& state, int dot, const Perceptual& s) {
    const float* c = &state.correlation[static_cast<std::size_t>(dot * 3)];
    float change = 0.0f;
    for (int ch = 0; ch < 3; ++ch) {
        change += s[ch] * (2.0f * c[ch] + s[ch] * state.kernels[ch].centre);
    }
    return change;
}

void apply_step(SearchState& state, int dot, const Perceptual& s) {
    const DotGrid& grid = *state.grid;
    const int width = grid.width;
    const int x = dot % width;
    const int y = dot / width;
    for (int ch = 0; ch < 3; ++ch) {
        const Autocorrelation& k = state.kernels[ch];
        const int y0 = std::max(0, y - k.radius_y);
        const int y1 = std::min(IMAGE_HEIGHT - 1, y + k.radius_y);
        const int x0 = std::max(0, x - k.radius_x);
        const int x1 = std::min(width - 1, x + k.radius_x);
        for (int yy = y0; yy <= y1; ++yy) {
            const float row = s[ch] * k.down[static_cast<std::size_t>(yy - y + k.radius_y)];
            float* c = &state.correlation[static_cast<std::size_t>((yy * width + x0) * 3 + ch)];
            const float* across = &k.across[static_cast<std::size_t>(x0 - x + k.radius_x)];
            for (int i = 0; i <= x1 - x0; ++i) {
                c[i * 3] += row * across[i];
            }
        }
    }
}

// (A * d) for the starting picture, by separable convolution.
void initialise_correlation(SearchState& state, const DotColours& dots) {
    const DotGrid& grid = *state.grid;
    const int width = grid.width;
    const int count = dot_count(grid);
    std::vector<float> errors(static_cast<std::size_t>(count) * 3);
    for (int dot = 0; dot < count; ++dot) {
        const auto& shown = grid.palette[dots.colours[static_cast<std::size_t>(dot)]];
        const float* target = &grid.target[static_cast<std::size_t>(dot * 3)];
        const float difference[3] = {shown[0] - target[0], shown[1] - target[1], shown[2] - target[2]};
        const Perceptual d = perceptual_of(grid, dot, difference);
        for (int ch = 0; ch < 3; ++ch) {
            errors[static_cast<std::size_t>(dot * 3 + ch)] = d[ch];
        }
    }
    std::vector<float> across(errors.size(), 0.0f);
    for (int ch = 0; ch < 3; ++ch) {
        const Autocorrelation& k = state.kernels[ch];
        for (int y = 0; y < IMAGE_HEIGHT; ++y) {
            for (int x = 0; x < width; ++x) {
                float sum = 0.0f;
                for (int i = std::max(0, x - k.radius_x); i <= std::min(width - 1, x + k.radius_x); ++i) {
                    sum += k.across[static_cast<std::size_t>(i - x + k.radius_x)] *
                           errors[static_cast<std::size_t>((y * width + i) * 3 + ch)];
                }
                across[static_cast<std::size_t>((y * width + x) * 3 + ch)] = sum;
            }
        }
        for (int y = 0; y < IMAGE_HEIGHT; ++y) {
            for (int x = 0; x < width; ++x) {
                float sum = 0.0f;
                for (int j = std::max(0, y - k.radius_y); j <= std::min(IMAGE_HEIGHT - 1, y + k.radius_y); ++j) {
                    sum += k.down[static_cast<std::size_t>(j - y + k.radius_y)] *
                           across[static_cast<std::size_t>((j * width + x) * 3 + ch)];
                }
                state.correlation[static_cast<std::size_t>((y * width + x) * 3 + ch)] = sum;
            }
        }
    }
}

// One pass over every dot in raster order; returns the dots changed.
int toggle_pass(SearchState& state, const CellColourSets& sets, DotColours& dots) {
    const DotGrid& grid = *state.grid;
    const int count = dot_count(grid);
    int changed = 0;
    for (int dot = 0; dot < count; ++dot) {
        std::array<std::uint8_t, 4> choices;
        const int choice_count = cell_colour_choices(grid, sets, dot, choices);
        const int current = dots.colours[static_cast<std::size_t>(dot)];
        float best = -1e-7f;
        int best_colour = -1;
        Perceptual best_step{};
        for (int i = 0; i < choice_count; ++i) {
            if (choices[i] == current) {
                continue;
            }
            const Perceptual s = colour_step(grid, dot, current, choices[i]);
            const float change = error_change(state, dot, s);
            if (change < best) {
                best = change;
                best_colour = choices[i];
                best_step = s;
            }
        }
        if (best_colour >= 0) {
            apply_step(state, dot, best_step);
            dots.colours[static_cast<std::size_t>(dot)] = static_cast<std::uint8_t>(best_colour);
            ++changed;
        }
    }
    return changed;
}

constexpr int MAX_CELL_DOTS = 64;

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

// Moves every dot of the cell to its best colour of the set, one after the
// other so that each sees the changes before it; returns the exact change.
float redither_cell(SearchState& state, const std::array<int, MAX_CELL_DOTS>& cell, int count,
                    const std::array<std::uint8_t, 4>& set, int set_size, DotColours& dots) {
    const DotGrid& grid = *state.grid;
    float total = 0.0f;
    for (int n = 0; n < count; ++n) {
        const int dot = cell[static_cast<std::size_t>(n)];
        const int current = dots.colours[static_cast<std::size_t>(dot)];
        bool current_allowed = false;
        float best = 0.0f;
        int best_colour = -1;
        Perceptual best_step{};
        for (int i = 0; i < set_size; ++i) {
            if (set[static_cast<std::size_t>(i)] == current) {
                current_allowed = true;
                continue;
            }
            const Perceptual s = colour_step(grid, dot, current, set[static_cast<std::size_t>(i)]);
            const float change = error_change(state, dot, s);
            if (best_colour < 0 || change < best) {
                best = change;
                best_colour = set[static_cast<std::size_t>(i)];
                best_step = s;
            }
        }
        if (best_colour >= 0 && (!current_allowed || best < 0.0f)) {
            apply_step(state, dot, best_step);
            dots.colours[static_cast<std::size_t>(dot)] = static_cast<std::uint8_t>(best_colour);
            total += best;
        }
    }
    return total;
}

// Tries each set that replaces one of the cell's own colours by another,
// judged first by each dot's best change on its own, then exactly; keeps it
// when the picture's error falls.
bool recolour_cell(SearchState& state, int cell, CellColourSets& sets, DotColours& dots) {
    const DotGrid& grid = *state.grid;
    std::array<int, MAX_CELL_DOTS> members;
    const int count = cell_dots(grid, cell, members);
    auto& set = sets.cells[static_cast<std::size_t>(cell)].colours;
    const int set_size = grid.hires ? 2 : 4;
    std::uint32_t tried = sets.candidates[static_cast<std::size_t>(cell)];
    for (int i = 0; i < set_size; ++i) {
        tried |= 1u << set[static_cast<std::size_t>(i)];
    }
    // Change of the error for each dot moved alone to each colour.
    std::array<std::array<float, PALETTE_SIZE>, MAX_CELL_DOTS> alone;
    for (int n = 0; n < count; ++n) {
        const int dot = members[static_cast<std::size_t>(n)];
        const int current = dots.colours[static_cast<std::size_t>(dot)];
        for (int colour = 0; colour < PALETTE_SIZE; ++colour) {
            const bool wanted = (tried >> colour & 1u) != 0 && colour != current;
            alone[n][colour] = wanted ? error_change(state, dot, colour_step(grid, dot, current, colour)) : 0.0f;
        }
    }
    const int first_own = grid.hires ? 0 : 1;
    float best_gain = 0.0f;
    int best_slot = -1;
    int best_colour = -1;
    for (int slot = first_own; slot < set_size; ++slot) {
        for (int colour = 0; colour < PALETTE_SIZE; ++colour) {
            if ((tried >> colour & 1u) == 0) {
                continue;
            }
            bool present = false;
            for (int i = 0; i < set_size; ++i) {
                present = present || set[static_cast<std::size_t>(i)] == colour;
            }
            if (present) {
                continue;
            }
            auto trial = set;
            trial[static_cast<std::size_t>(slot)] = static_cast<std::uint8_t>(colour);
            float gain = 0.0f;
            for (int n = 0; n < count; ++n) {
                const int current = dots.colours[static_cast<std::size_t>(members[static_cast<std::size_t>(n)])];
                float best = current == set[static_cast<std::size_t>(slot)] ? 1e30f : 0.0f;
                for (int i = 0; i < set_size; ++i) {
                    best = std::min(best, alone[n][trial[static_cast<std::size_t>(i)]]);
                }
                gain += best;
            }
            if (gain < best_gain) {
                best_gain = gain;
                best_slot = slot;
                best_colour = colour;
            }
        }
    }
    if (best_slot < 0) {
        return false;
    }
    std::array<std::uint8_t, MAX_CELL_DOTS> before;
    for (int n = 0; n < count; ++n) {
        before[static_cast<std::size_t>(n)] = dots.colours[static_cast<std::size_t>(members[static_cast<std::size_t>(n)])];
    }
    const auto old_set = set;
    set[static_cast<std::size_t>(best_slot)] = static_cast<std::uint8_t>(best_colour);
    const float change = redither_cell(state, members, count, set, set_size, dots);
    if (change < 0.0f) {
        return true;
    }
    // Undo, dot by dot.
    for (int n = 0; n < count; ++n) {
        const int dot = members[static_cast<std::size_t>(n)];
        const int now = dots.colours[static_cast<std::size_t>(dot)];
        const int was = before[static_cast<std::size_t>(n)];
        if (now != was) {
            apply_step(state, dot, colour_step(grid, dot, now, was));
            dots.colours[static_cast<std::size_t>(dot)] = static_cast<std::uint8_t>(was);
        }
    }
    set = old_set;
    return false;
}

int recolour_pass(SearchState& state, CellColourSets& sets, DotColours& dots) {
    int changed = 0;
    for (int cell = 0; cell < CELL_COUNT; ++cell) {
        changed += recolour_cell(state, cell, sets, dots) ? 1 : 0;
    }
    return changed;
}

}  // namespace

ErrorCode refine_picture(const DotGrid& grid, const RefinementSettings& settings, CellColourSets& sets,
                         DotColours& dots) {
    auto state = std::make_unique<SearchState>();
    state->grid = &grid;
    state->kernels[0] = make_autocorrelation(settings.lightness_blur, grid.dot_pixels);
    state->kernels[1] = make_autocorrelation(settings.colour_blur, grid.dot_pixels);
    state->kernels[2] = state->kernels[1];
    state->correlation.assign(static_cast<std::size_t>(dot_count(grid)) * 3, 0.0f);
    initialise_correlation(*state, dots);
    for (int pass = 0; pass < settings.passes; ++pass) {
        const int toggled = toggle_pass(*state, sets, dots);
        const int recoloured = settings.recolour_cells ? recolour_pass(*state, sets, dots) : 0;
        if (toggled == 0 && recoloured == 0) {
            break;
        }
    }
    return ERR_SUCCESS;
}

void weigh_metric_by_error(const DotColours& dots, float floor, DotGrid& grid) {
    const int width = grid.width;
    const int count = dot_count(grid);
    std::vector<float> errors(static_cast<std::size_t>(count) * 3);
    for (int dot = 0; dot < count; ++dot) {
        const auto& shown = grid.palette[dots.colours[static_cast<std::size_t>(dot)]];
        const float* target = &grid.target[static_cast<std::size_t>(dot * 3)];
        const float difference[3] = {shown[0] - target[0], shown[1] - target[1], shown[2] - target[2]};
        const Perceptual d = perceptual_of(grid, dot, difference);
        for (int ch = 0; ch < 3; ++ch) {
            errors[static_cast<std::size_t>(dot * 3 + ch)] = d[ch];
        }
    }
    for (int y = 0; y < IMAGE_HEIGHT; ++y) {
        for (int x = 0; x < width; ++x) {
            float local[3] = {0, 0, 0};
            for (int dy = -1; dy <= 1; ++dy) {
                const int yy = std::clamp(y + dy, 0, IMAGE_HEIGHT - 1);
                for (int dx = -1; dx <= 1; ++dx) {
                    const int xx = std::clamp(x + dx, 0, width - 1);
                    const float w = static_cast<float>((2 - std::abs(dx)) * (2 - std::abs(dy))) / 16.0f;
                    for (int ch = 0; ch < 3; ++ch) {
                        local[ch] += w * errors[static_cast<std::size_t>((yy * width + xx) * 3 + ch)];
                    }
                }
            }
            const float size = std::sqrt(local[0] * local[0] + local[1] * local[1] + local[2] * local[2]);
            const float scale = 1.0f / std::sqrt(std::max(size, floor));
            for (float& m : grid.metric[static_cast<std::size_t>(y * width + x)]) {
                m *= scale;
            }
        }
    }
}
