#include "convert/ordered_dither.h"

#include <algorithm>
#include <limits>

#include "convert/crisp_mix.h"
#include "convert/pixel_difference.h"

namespace {

// The 8 by 8 threshold pattern: each step of a share adds the dot farthest
// from those already taken, so that any share is spread evenly.
constexpr std::array<std::array<std::uint8_t, 8>, 8> THRESHOLDS = {{
    {0, 32, 8, 40, 2, 34, 10, 42},
    {48, 16, 56, 24, 50, 18, 58, 26},
    {12, 44, 4, 36, 14, 46, 6, 38},
    {60, 28, 52, 20, 62, 30, 54, 22},
    {3, 35, 11, 43, 1, 33, 9, 41},
    {51, 19, 59, 27, 49, 17, 57, 25},
    {15, 47, 7, 39, 13, 45, 5, 37},
    {63, 31, 55, 23, 61, 29, 53, 21},
}};

// A mix of two colours: first shown by a share of the dots, second by the rest.
struct Mix {
    int first;
    int second;
    CrispMix judged;
};

float squared(const Perceptual& p) {
    return p[0] * p[0] + p[1] * p[1] + p[2] * p[2];
}

}  // namespace

void dither_ordered(const DotGrid& grid, const CellColourSets& sets, const OrderedDitherSettings& settings,
                    const DotPixelDifferences& pixel, DotColours& dots) {
    const int count = grid.hires ? 2 : 4;
    const int levels = std::clamp(settings.levels, 2, 64);

    for (int y = 0; y < IMAGE_HEIGHT; ++y) {
        for (int x = 0; x < grid.width; ++x) {
            const int dot = y * grid.width + x;
            const auto& colours = sets.cells[static_cast<std::size_t>(cell_at(grid, x, y))].colours;
            std::array<Perceptual, 4> errors;
            std::array<float, 4> pixel_errors;
            const float* target = &grid.target[static_cast<std::size_t>(dot * 3)];
            const auto& pixel_squares = pixel_squares_of(pixel, dot);
            for (int i = 0; i < count; ++i) {
                const auto& colour = grid.palette[colours[static_cast<std::size_t>(i)]];
                pixel_errors[static_cast<std::size_t>(i)] = pixel_squares[colours[static_cast<std::size_t>(i)]];
                const float difference[3] = {target[0] - colour[0], target[1] - colour[1], target[2] - colour[2]};
                errors[static_cast<std::size_t>(i)] = perceptual_of(grid, dot, difference);
            }
            Mix best{0, 0, {0.0f, std::numeric_limits<float>::max()}};
            for (int i = 0; i < count; ++i) {
                for (int j = i + 1; j < count; ++j) {
                    const auto a = static_cast<std::size_t>(i);
                    const auto b = static_cast<std::size_t>(j);
                    const CrispMix mix = crisp_mix(errors[a], errors[b], squared(errors[a]), squared(errors[b]),
                                                   pixel_errors[a], pixel_errors[b], settings.pixel_weight);
                    if (mix.cost < best.judged.cost) {
                        best = {colours[a], colours[b], mix};
                    }
                }
            }
            // The share to the nearest of the levels, then the dot's threshold.
            const int step = static_cast<int>(best.judged.share * static_cast<float>(levels - 1) + 0.5f);
            const int threshold = THRESHOLDS[static_cast<std::size_t>(y & 7)][static_cast<std::size_t>(x & 7)];
            const bool first = threshold * (levels - 1) < step * 64;
            dots.colours[static_cast<std::size_t>(dot)] = static_cast<std::uint8_t>(first ? best.first : best.second);
        }
    }
}
