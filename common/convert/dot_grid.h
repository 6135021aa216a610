// The working grid of a conversion: one dot per C64 pixel (320 by 200 in
// hires, 160 by 200 double-width dots in multicolour), each with the colour it
// should show and the local perceptual metric that judges its error.
#pragma once

#include <array>
#include <cstdint>

#include "c64/pixel_image.h"
#include "convert/screen_image.h"
#include "frame/errors.h"

constexpr int MAX_DOTS = IMAGE_PIXELS;
constexpr int CELL_ROWS = 8;
constexpr int CELLS_ACROSS = 40;
constexpr int CELLS_DOWN = 25;
constexpr int PALETTE_SIZE = 16;
constexpr int MAX_CELL_DOTS = 64;  // dots of a cell: 8 by 8 in hires, 4 by 8 in multicolour

// A point in the perceptual space of one dot: lightness and the two opponent
// axes, each weighted as the colour difference weights them there.
using Perceptual = std::array<float, 3>;

struct DotGrid {
    bool hires;
    int width;        // dots across: 320 hires, 160 multicolour
    int cell_width;   // dots across a cell: 8 or 4
    int dot_pixels;   // screen pixels a dot covers: 1 or 2
    std::array<float, MAX_DOTS * 3> target;       // linear RGB the dot should show
    std::array<float, MAX_DOTS> coverage;         // of the source picture; the rest shows the background
    std::array<std::array<float, 9>, MAX_DOTS> metric;  // linear RGB to perceptual, row-major 3 by 3
    std::array<std::array<float, 3>, PALETTE_SIZE> palette;  // linear RGB of each C64 colour
    // The same by channel, so that loops over the colours go together.
    std::array<std::array<float, PALETTE_SIZE>, 3> palette_channels;
    std::uint16_t allowed_colours;  // as bits: the greys alone for a grey picture, else all 16
};

// Black, the three greys and white, as bits.
constexpr std::uint16_t GREY_COLOURS = 1u << 0 | 1u << 11 | 1u << 12 | 1u << 15 | 1u << 1;

// The picture being made: the C64 colour number of each dot.
struct DotColours {
    std::array<std::uint8_t, MAX_DOTS> colours;
};

inline int dot_count(const DotGrid& grid) {
    return grid.width * IMAGE_HEIGHT;
}

// A dot's row; the grid is 320 or 160 dots across, and a division by either
// constant is a multiplication, not a divide.
inline int row_of_dot(const DotGrid& grid, int dot) {
    return grid.hires ? dot / IMAGE_WIDTH : dot / (IMAGE_WIDTH / 2);
}

// The cell of the dot at (x, y).
inline int cell_at(const DotGrid& grid, int x, int y) {
    return (y / CELL_ROWS) * CELLS_ACROSS + (grid.hires ? x / 8 : x / 4);
}

inline int cell_of_dot(const DotGrid& grid, int dot) {
    const int y = row_of_dot(grid, dot);
    return cell_at(grid, dot - y * grid.width, y);
}

inline Perceptual perceptual_of(const DotGrid& grid, int dot, const float* rgb) {
    const auto& m = grid.metric[static_cast<std::size_t>(dot)];
    return {m[0] * rgb[0] + m[1] * rgb[1] + m[2] * rgb[2], m[3] * rgb[0] + m[4] * rgb[1] + m[5] * rgb[2],
            m[6] * rgb[0] + m[7] * rgb[1] + m[8] * rgb[2]};
}

// Chroma weight: how much an error of a* and b* counts against one of L*.
struct MetricWeights {
    float chroma;
};

// Fills the grid from the screen image: dots average the pixels they cover,
// with the background colour (0 to 15) showing through their uncovered part,
// or nothing when the background is not known yet (-1); the metric is the
// colour difference linearised at the picture's local colour. A grey picture
// is allowed only the C64's greys, so that no hue appears in it.
void build_dot_grid(const ScreenImage& screen, bool hires, int palette, int background, const MetricWeights& weights,
                    DotGrid& grid);
