#include "convert/blur_kernels.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

namespace {

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

float term_value(const Autocorrelation& a, int dx, int dy) {
    if (std::abs(dx) > a.radius_x || std::abs(dy) > a.radius_y) {
        return 0.0f;
    }
    return a.across[static_cast<std::size_t>(dx + a.radius_x)] * a.down[static_cast<std::size_t>(dy + a.radius_y)];
}

}  // namespace

Autocorrelation make_autocorrelation(const BlurSigma& sigma, int dot_pixels) {
    Autocorrelation a{};
    a.radius_x = autocorrelate(footprint(sigma.across, dot_pixels), dot_pixels, a.across);
    a.radius_y = autocorrelate(footprint(sigma.down, 1), 1, a.down);
    return a;
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
