#include "convert/dot_grid.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>

#include "colour/colour_science.h"
#include "palettes/palette_library.h"

namespace {

// The colour science's matrix and white, in float for the per-dot metric.
constexpr float xyz_weight(int row, int column) {
    return static_cast<float>(RGB_TO_XYZ[row][column]);
}
constexpr float WHITE_X_F = static_cast<float>(WHITE_X);
constexpr float WHITE_Z_F = static_cast<float>(WHITE_Z);

// The cube root of a positive number: a guess from the exponent bits, then
// two Halley steps, enough for float; std::cbrt took a tenth of a hires run.
[[gnu::always_inline]] inline float positive_cube_root(float t) {
    float y = std::bit_cast<float>(std::bit_cast<std::uint32_t>(t) / 3 + 0x2A512CE3u);
    for (int step = 0; step < 2; ++step) {
        const float cube = y * y * y;
        y *= (cube + 2.0f * t) / (2.0f * cube + t);
    }
    return y;
}

// The CIELAB curve at t and its slope there.
struct CurvePoint {
    float value;
    float slope;
};

// Both branches worked out and one kept, so that a row's dots go together.
[[gnu::always_inline]] inline CurvePoint lab_curve(float t) {
    const float root = positive_cube_root(t);
    const bool linear = t <= 0.008856f;
    return {linear ? 7.787f * t + 16.0f / 116.0f : root, linear ? 7.787f : 1.0f / (3.0f * root * root)};
}

// The Jacobian of CIELAB by linear RGB at one colour, with the lightness row
// divided by CIEDE2000's lightness weight there and the opponent rows by its
// chroma weight, times the chroma weight of the metric.
[[gnu::always_inline]] inline std::array<float, 9> local_metric(const float* rgb, const MetricWeights& weights) {
    float xyz[3];
    for (int row = 0; row < 3; ++row) {
        xyz[row] = xyz_weight(row, 0) * rgb[0] + xyz_weight(row, 1) * rgb[1] + xyz_weight(row, 2) * rgb[2];
    }
    const CurvePoint fx = lab_curve(xyz[0] / WHITE_X_F);
    const CurvePoint fy = lab_curve(xyz[1]);
    const CurvePoint fz = lab_curve(xyz[2] / WHITE_Z_F);
    const float sx = fx.slope / WHITE_X_F;
    const float sy = fy.slope;
    const float sz = fz.slope / WHITE_Z_F;
    const float l = 116.0f * fy.value - 16.0f;
    const float a = 500.0f * (fx.value - fy.value);
    const float b = 200.0f * (fy.value - fz.value);
    const float l50 = (l - 50.0f) * (l - 50.0f);
    const float lightness_weight = 1.0f / (1.0f + 0.015f * l50 / std::sqrt(20.0f + l50));
    // CIEDE2000 divides chroma by 1 + 0.045 C of the two colours' mean chroma:
    // against a neutral mix that is half the picture's chroma.
    const float chroma_weight = weights.chroma / (1.0f + 0.0225f * std::sqrt(a * a + b * b));
    std::array<float, 9> m{};
    for (int c = 0; c < 3; ++c) {
        m[static_cast<std::size_t>(c)] = lightness_weight * 116.0f * sy * xyz_weight(1, c);
        m[static_cast<std::size_t>(3 + c)] =
            chroma_weight * 500.0f * (sx * xyz_weight(0, c) - sy * xyz_weight(1, c));
        m[static_cast<std::size_t>(6 + c)] =
            chroma_weight * 200.0f * (sy * xyz_weight(1, c) - sz * xyz_weight(2, c));
    }
    return m;
}

void fill_palette(int palette, DotGrid& grid) {
    const auto& linear = linear_of_srgb_byte();
    for (int c = 0; c < PALETTE_SIZE; ++c) {
        const std::uint32_t rgb = library_colour(palette, c);
        grid.palette[static_cast<std::size_t>(c)] = {linear[rgb >> 16 & 0xFF], linear[rgb >> 8 & 0xFF],
                                                     linear[rgb & 0xFF]};
        for (int channel = 0; channel < 3; ++channel) {
            grid.palette_channels[static_cast<std::size_t>(channel)][static_cast<std::size_t>(c)] =
                grid.palette[static_cast<std::size_t>(c)][static_cast<std::size_t>(channel)];
        }
    }
}

void fill_targets(const ScreenImage& screen, int background, DotGrid& grid) {
    const std::array<float, 3> shown =
        background >= 0 ? grid.palette[static_cast<std::size_t>(background)] : std::array<float, 3>{0, 0, 0};
    const int count = dot_count(grid);
    const float share = 1.0f / static_cast<float>(grid.dot_pixels);
    for (int dot = 0; dot < count; ++dot) {
        const int first = dot * grid.dot_pixels;
        float coverage = 0.0f;
        std::array<float, 3> sum{};
        for (int p = first; p < first + grid.dot_pixels; ++p) {
            coverage += screen.coverage[static_cast<std::size_t>(p)];
            for (int c = 0; c < 3; ++c) {
                sum[static_cast<std::size_t>(c)] += screen.rgb[static_cast<std::size_t>(p * 3 + c)];
            }
        }
        coverage *= share;
        grid.coverage[static_cast<std::size_t>(dot)] = coverage;
        for (int c = 0; c < 3; ++c) {
            grid.target[static_cast<std::size_t>(dot * 3 + c)] =
                sum[static_cast<std::size_t>(c)] * share + (1.0f - coverage) * shown[static_cast<std::size_t>(c)];
        }
    }
}

// One row of targets blurred 1 2 1 across, the ends repeated.
void blur_row_across(const DotGrid& grid, int y, float* out) {
    const int width = grid.width;
    const float* in = &grid.target[static_cast<std::size_t>(y * width * 3)];
    for (int x = 0; x < width; ++x) {
        const int left = std::max(0, x - 1) * 3;
        const int right = std::min(width - 1, x + 1) * 3;
        for (int c = 0; c < 3; ++c) {
            out[x * 3 + c] = in[left + c] + 2.0f * in[x * 3 + c] + in[right + c];
        }
    }
}

// The metrics of a row of dots from its rows above, here and below blurred
// across; by component, so that the dots go together.
__attribute__((target_clones("avx2", "default"))) void row_metrics(const float* above, const float* here,
                                                                   const float* below, int width,
                                                                   const MetricWeights& weights,
                                                                   std::array<float, 9>* metrics) {
    std::array<std::array<float, IMAGE_WIDTH>, 3> local;
    for (int x = 0; x < width; ++x) {
        for (int c = 0; c < 3; ++c) {
            local[c][x] = (above[x * 3 + c] + 2.0f * here[x * 3 + c] + below[x * 3 + c]) / 16.0f;
        }
    }
    std::array<std::array<float, IMAGE_WIDTH>, 9> rows;
    for (int x = 0; x < width; ++x) {
        const float rgb[3] = {local[0][x], local[1][x], local[2][x]};
        const std::array<float, 9> m = local_metric(rgb, weights);
        for (int i = 0; i < 9; ++i) {
            rows[i][x] = m[i];
        }
    }
    for (int x = 0; x < width; ++x) {
        for (int i = 0; i < 9; ++i) {
            metrics[x][i] = rows[i][x];
        }
    }
}

// The metric is taken at the colour the eye sees around a dot: its
// neighbours weighted 1 2 1 in both directions, the borders repeated.
void fill_metrics(const MetricWeights& weights, DotGrid& grid) {
    const int width = grid.width;
    const auto row_size = static_cast<std::size_t>(width * 3);
    // Rows y - 1, y and y + 1 blurred across, by y modulo 3.
    std::array<float, IMAGE_WIDTH * 3 * 3> rows;
    blur_row_across(grid, 0, &rows[0]);
    blur_row_across(grid, std::min(1, IMAGE_HEIGHT - 1), &rows[row_size]);
    for (int y = 0; y < IMAGE_HEIGHT; ++y) {
        if (y + 1 < IMAGE_HEIGHT) {
            blur_row_across(grid, y + 1, &rows[static_cast<std::size_t>((y + 1) % 3) * row_size]);
        }
        const float* above = &rows[static_cast<std::size_t>(std::max(0, y - 1) % 3) * row_size];
        const float* here = &rows[static_cast<std::size_t>(y % 3) * row_size];
        const float* below = &rows[static_cast<std::size_t>(std::min(IMAGE_HEIGHT - 1, y + 1) % 3) * row_size];
        row_metrics(above, here, below, width, weights, &grid.metric[static_cast<std::size_t>(y * width)]);
    }
}

}  // namespace

namespace {

// No pixel holds more than a trace of colour; a greyscale photo read through
// a colour profile or a JPEG's colour planes keeps such traces.
bool is_grey_picture(const ScreenImage& screen) {
    constexpr float TRACE = 0.01f;
    for (int pixel = 0; pixel < IMAGE_PIXELS; ++pixel) {
        const float* rgb = &screen.rgb[static_cast<std::size_t>(pixel * 3)];
        if (std::abs(rgb[0] - rgb[1]) > TRACE || std::abs(rgb[1] - rgb[2]) > TRACE ||
            std::abs(rgb[0] - rgb[2]) > TRACE) {
            return false;
        }
    }
    return true;
}

}  // namespace

void build_dot_grid(const ScreenImage& screen, bool hires, int palette, int background, const MetricWeights& weights,
                    DotGrid& grid) {
    grid.allowed_colours = is_grey_picture(screen) ? GREY_COLOURS : 0xFFFF;
    grid.hires = hires;
    grid.width = hires ? IMAGE_WIDTH : IMAGE_WIDTH / 2;
    grid.cell_width = hires ? 8 : 4;
    grid.dot_pixels = hires ? 1 : 2;
    fill_palette(palette, grid);
    fill_targets(screen, background, grid);
    fill_metrics(weights, grid);
}
