// The autocorrelation of the eye's blur as the refinement sees it on the
// dot grid. The error of a picture is the sum over dots of d(q) * (A * d)(q)
// for the dots' perceptual errors d, so a move at one dot changes (A * d) by
// the kernel A around it, and its own error by its centre.
#pragma once

#include <array>

constexpr int MAX_RADIUS = 24;
constexpr int VECTOR_LANES = 8;
constexpr int MAX_LANES = (2 * MAX_RADIUS + VECTOR_LANES) / VECTOR_LANES * VECTOR_LANES;

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

// A Gaussian blur's sigma across and down, in screen pixels.
struct BlurSigma {
    float across;
    float down;
};

// The autocorrelation of a Gaussian blur, on dots of dot_pixels screen
// pixels across.
Autocorrelation make_autocorrelation(const BlurSigma& sigma, int dot_pixels);

// A channel's kernel: main, plus fine weighted by fine_weight when that is
// above 0.
ChannelKernel make_kernel(const Autocorrelation& main, const Autocorrelation& fine, float fine_weight);

float kernel_value(const ChannelKernel& k, int dx, int dy);
