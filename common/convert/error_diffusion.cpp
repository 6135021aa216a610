#include "convert/error_diffusion.h"

#include <algorithm>
#include <limits>
#include <memory>
#include <vector>

namespace {

// The colours a dot may take: its cell's set (4 in multicolour, 2 in hires).
int cell_colour_choices(const DotGrid& grid, const CellColourSets& sets, int dot, std::array<std::uint8_t, 4>& choices) {
    choices = sets.cells[static_cast<std::size_t>(cell_of_dot(grid, dot))].colours;
    return grid.hires ? 2 : 4;
}

int nearest_choice(const DotGrid& grid, int dot, const float* wanted, const std::array<std::uint8_t, 4>& choices,
                   int count) {
    float best = std::numeric_limits<float>::max();
    int chosen = choices[0];
    for (int i = 0; i < count; ++i) {
        const auto& colour = grid.palette[choices[i]];
        const float difference[3] = {wanted[0] - colour[0], wanted[1] - colour[1], wanted[2] - colour[2]};
        const Perceptual p = perceptual_of(grid, dot, difference);
        const float cost = p[0] * p[0] + p[1] * p[1] + p[2] * p[2];
        if (cost < best) {
            best = cost;
            chosen = choices[i];
        }
    }
    return chosen;
}

}  // namespace

void diffuse_error(const DotGrid& grid, const CellColourSets& sets, const DiffusionSettings& settings,
                   DotColours& dots) {
    const int width = grid.width;
    // Two rows of carried error, with a margin of one dot on each side.
    std::vector<float> current(static_cast<std::size_t>((width + 2) * 3), 0.0f);
    std::vector<float> next(current.size(), 0.0f);
    for (int y = 0; y < IMAGE_HEIGHT; ++y) {
        const bool leftwards = (y & 1) != 0;
        std::fill(next.begin(), next.end(), 0.0f);
        for (int step = 0; step < width; ++step) {
            const int x = leftwards ? width - 1 - step : step;
            const int dot = y * width + x;
            const int direction = leftwards ? -1 : 1;
            float wanted[3];
            for (int c = 0; c < 3; ++c) {
                const float carried = settings.diffuse ? current[static_cast<std::size_t>((x + 1) * 3 + c)] : 0.0f;
                wanted[c] = std::clamp(grid.target[static_cast<std::size_t>(dot * 3 + c)] + carried, 0.0f, 1.0f);
            }
            std::array<std::uint8_t, 4> choices;
            const int count = cell_colour_choices(grid, sets, dot, choices);
            const int colour = nearest_choice(grid, dot, wanted, choices, count);
            dots.colours[static_cast<std::size_t>(dot)] = static_cast<std::uint8_t>(colour);
            if (!settings.diffuse) {
                continue;
            }
            for (int c = 0; c < 3; ++c) {
                const float error = std::clamp(wanted[c] - grid.palette[colour][c], -settings.error_limit,
                                               settings.error_limit);
                current[static_cast<std::size_t>((x + 1 + direction) * 3 + c)] += error * (7.0f / 16.0f);
                next[static_cast<std::size_t>((x + 1 - direction) * 3 + c)] += error * (3.0f / 16.0f);
                next[static_cast<std::size_t>((x + 1) * 3 + c)] += error * (5.0f / 16.0f);
                next[static_cast<std::size_t>((x + 1 + direction) * 3 + c)] += error * (1.0f / 16.0f);
            }
        }
        std::swap(current, next);
    }
}
