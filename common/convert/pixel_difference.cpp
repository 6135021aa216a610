#include "convert/pixel_difference.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>

namespace {

// The helpers are inlined into each build of the colour loop, which
// target_clones makes: a call would keep the loop from vectors.
constexpr float PI = 3.14159265f;
constexpr float DEGREES = 180.0f / PI;
constexpr float TWENTY_FIVE_TO_THE_SEVENTH = 6103515625.0f;

[[gnu::always_inline]] inline float seventh_power(float x) {
    const float x2 = x * x;
    return x2 * x2 * x2 * x;
}

// The angle of (x, y) in degrees, 0 to 360; within 0.001 degrees.
[[gnu::always_inline]] inline float hue_degrees(float y, float x) {
    const float ax = std::fabs(x);
    const float ay = std::fabs(y);
    const float larger = std::max(ax, ay);
    const float ratio = std::min(ax, ay) / (larger + static_cast<float>(larger == 0.0f));
    const float s = ratio * ratio;
    float angle = ((((0.0208351f * s - 0.0851330f) * s + 0.1801410f) * s - 0.3302995f) * s + 0.9998660f) * ratio;
    // Folded back by arithmetic, not selects: the colour loop stays a vector.
    angle += static_cast<float>(ay > ax) * (PI / 2.0f - 2.0f * angle);
    angle += static_cast<float>(x < 0.0f) * (PI - 2.0f * angle);
    const float degrees = std::copysign(angle, y) * DEGREES;
    return degrees + static_cast<float>(degrees < 0.0f) * 360.0f;
}

// e^x for x from -80 to 0 (below, e^-80), by 2^x split into its whole and fractional
// parts, the whole part put into the exponent's bits.
[[gnu::always_inline]] inline float exp_negative(float x) {
    const float power = std::max(x, -80.0f) * 1.44269504f;
    const int truncated = static_cast<int>(power);
    const int whole = truncated - static_cast<int>(power < static_cast<float>(truncated));
    const float f = power - static_cast<float>(whole);
    const float fraction =
        1.0f + f * (0.693147f + f * (0.240227f + f * (0.0555041f + f * (0.00961813f + f * 0.00133336f))));
    return std::bit_cast<float>(std::bit_cast<std::int32_t>(fraction) + (whole << 23));
}

// sin x for |x| up to pi / 2.
[[gnu::always_inline]] inline float small_sine(float x) {
    // Constant factors, not divisions: without -freciprocal-math the
    // compiler keeps a division by a constant as a division.
    const float x2 = x * x;
    return x * (1.0f - x2 * (1.0f / 6.0f) *
                           (1.0f - x2 * (1.0f / 20.0f) * (1.0f - x2 * (1.0f / 42.0f) * (1.0f - x2 * (1.0f / 72.0f)))));
}

}  // namespace

PaletteLab palette_lab_of(const DotGrid& grid) {
    PaletteLab lab{};
    for (int c = 0; c < PALETTE_SIZE; ++c) {
        const auto& p = grid.palette[static_cast<std::size_t>(c)];
        const LabColour colour = lab_from_linear(p[0], p[1], p[2]);
        const auto i = static_cast<std::size_t>(c);
        lab.l[i] = static_cast<float>(colour.l);
        lab.a[i] = static_cast<float>(colour.a);
        lab.b[i] = static_cast<float>(colour.b);
        lab.chroma[i] = std::sqrt(lab.a[i] * lab.a[i] + lab.b[i] * lab.b[i]);
    }
    return lab;
}

LabColour lab_of_target(const float* target_rgb) {
    return lab_from_linear(target_rgb[0], target_rgb[1], target_rgb[2]);
}

// Sharma, Wu and Dalal's CIEDE2000, with the hue terms from the hues' unit
// vectors as the exact one in colour science takes them, the mean hue's
// angle needed only for the rotation term. No branch and no && or ||, so
// that the 16 colours go through in vectors.
__attribute__((target_clones("avx2", "default"))) void pixel_differences(const LabColour& target,
                                                                         const PaletteLab& palette,
                                                                         std::array<float, PALETTE_SIZE>& squares) {
    const float l1 = static_cast<float>(target.l);
    const float a1 = static_cast<float>(target.a);
    const float b1 = static_cast<float>(target.b);
    const float c1 = std::sqrt(a1 * a1 + b1 * b1);
    for (std::size_t c = 0; c < PALETTE_SIZE; ++c) {
        const float l2 = palette.l[c];
        const float b2 = palette.b[c];
        const float mean7 = seventh_power((c1 + palette.chroma[c]) * 0.5f);
        const float g = 0.5f * (1.0f - std::sqrt(mean7 / (mean7 + TWENTY_FIVE_TO_THE_SEVENTH)));
        const float a1p = a1 * (1.0f + g);
        const float a2p = palette.a[c] * (1.0f + g);
        const float c1p = std::sqrt(a1p * a1p + b1 * b1);
        const float c2p = std::sqrt(a2p * a2p + b2 * b2);
        // Unit hue vectors, 0 for a grey colour: delta H is then 0, and the
        // mean hue the other's. Both grey or opposite hues leave their sum
        // too short to point anywhere: the mean then lies across them (for
        // two greys it does not count, their mean chroma being 0).
        const float inverse1 = 1.0f / (c1p + static_cast<float>(c1p == 0.0f));
        const float inverse2 = 1.0f / (c2p + static_cast<float>(c2p == 0.0f));
        const float u1x = a1p * inverse1;
        const float u1y = b1 * inverse1;
        const float u2x = a2p * inverse2;
        const float u2y = b2 * inverse2;
        const float sum_x = u1x + u2x;
        const float sum_y = u1y + u2y;
        const float sum_length = std::sqrt(sum_x * sum_x + sum_y * sum_y);
        const bool too_short = sum_length < 1e-6f;
        const float mean_cos = too_short ? -u1y : sum_x / (sum_length + static_cast<float>(too_short));
        const float mean_sin = too_short ? u1x : sum_y / (sum_length + static_cast<float>(too_short));
        const float chord = std::sqrt((u2x - u1x) * (u2x - u1x) + (u2y - u1y) * (u2y - u1y));
        const float cross = u1x * u2y - u1y * u2x;
        const float big_dh = std::copysign(std::sqrt(c1p * c2p) * chord, cross);

        const float t = ciede2000_hue_weighting(mean_cos, mean_sin);
        const float dl = l2 - l1;
        const float dc = c2p - c1p;
        const float l50 = ((l1 + l2) * 0.5f - 50.0f) * ((l1 + l2) * 0.5f - 50.0f);
        const float s_l = 1.0f + 0.015f * l50 / std::sqrt(20.0f + l50);
        const float cp_mean = (c1p + c2p) * 0.5f;
        const float s_c = 1.0f + 0.045f * cp_mean;
        const float s_h = 1.0f + 0.015f * cp_mean * t;
        const float cp_mean7 = seventh_power(cp_mean);
        const float r_c = 2.0f * std::sqrt(cp_mean7 / (cp_mean7 + TWENTY_FIVE_TO_THE_SEVENTH));
        const float from_blue = (hue_degrees(mean_sin, mean_cos) - 275.0f) * (1.0f / 25.0f);
        const float d_theta = 30.0f * exp_negative(-from_blue * from_blue);
        const float r_t = -small_sine(2.0f * d_theta * (PI / 180.0f)) * r_c;
        const float kl = dl / s_l;
        const float kc = dc / s_c;
        const float kh = big_dh / s_h;
        squares[c] = std::max(0.0f, kl * kl + kc * kc + kh * kh + r_t * kc * kh);
    }
}

namespace {

constexpr std::uint32_t NO_ROUNDED_COLOUR = 0xFFFFFFFFu;
// A slot whose colour is one of the 16 colours' rounded: its dots are worked
// out exactly, each on its own.
constexpr std::uint16_t WORKED_OUT_EXACTLY = 0xFFFF;

// L* 0 to 100 in 8 bits, a* and b* -128 to 127 in 10 bits each.
std::uint32_t rounded_colour_of(const LabColour& lab) {
    const auto steps = [](double value, float low, float high) {
        return static_cast<std::uint32_t>(std::min(std::max(static_cast<float>(value), low), high) - low + 0.5f);
    };
    return steps(lab.l, 0.0f, 100.0f) << 20 | steps(lab.a, -128.0f, 127.0f) << 10 | steps(lab.b, -128.0f, 127.0f);
}

LabColour lab_of_rounded(std::uint32_t rounded) {
    return {static_cast<double>(rounded >> 20), static_cast<double>(rounded >> 10 & 0x3FFu) - 128.0,
            static_cast<double>(rounded & 0x3FFu) - 128.0};
}

// The slot of a rounded colour in the table, or the free slot it takes:
// Fibonacci hashing, then the next slot.
std::size_t slot_of(const DotPixelDifferences& differences, std::uint32_t rounded) {
    constexpr int SLOT_BITS = std::countr_zero(static_cast<unsigned>(ROUNDED_COLOUR_SLOTS));
    std::size_t slot = (rounded * 0x9E3779B1u) >> (32 - SLOT_BITS);
    while (differences.rounded_colours[slot] != NO_ROUNDED_COLOUR && differences.rounded_colours[slot] != rounded) {
        slot = (slot + 1) & (ROUNDED_COLOUR_SLOTS - 1);
    }
    return slot;
}

}  // namespace

// A dot near one of the 16 colours is worked out exactly, so that a dot
// shown in its own colour differs by exactly nothing.
void fill_pixel_differences(const DotGrid& grid, DotPixelDifferences& differences) {
    const PaletteLab palette = palette_lab_of(grid);
    differences.rounded_colours.fill(NO_ROUNDED_COLOUR);
    for (int c = 0; c < PALETTE_SIZE; ++c) {
        const auto i = static_cast<std::size_t>(c);
        const std::uint32_t rounded = rounded_colour_of({palette.l[i], palette.a[i], palette.b[i]});
        const std::size_t slot = slot_of(differences, rounded);
        differences.rounded_colours[slot] = rounded;
        differences.squares_of_colour[slot] = WORKED_OUT_EXACTLY;
    }
    std::uint16_t used = 0;
    for (int dot = 0; dot < dot_count(grid); ++dot) {
        const LabColour lab = lab_of_target(&grid.target[static_cast<std::size_t>(dot * 3)]);
        const std::uint32_t rounded = rounded_colour_of(lab);
        const std::size_t slot = slot_of(differences, rounded);
        auto& which = differences.differences_of_dot[static_cast<std::size_t>(dot)];
        if (differences.rounded_colours[slot] == rounded && differences.squares_of_colour[slot] != WORKED_OUT_EXACTLY) {
            which = differences.squares_of_colour[slot];
            continue;
        }
        // Every dot has at most one new set of squares: they number at most
        // the dots.
        which = used++;
        if (differences.rounded_colours[slot] == rounded) {
            pixel_differences(lab, palette, differences.squares[which]);
        } else {
            differences.rounded_colours[slot] = rounded;
            differences.squares_of_colour[slot] = which;
            pixel_differences(lab_of_rounded(rounded), palette, differences.squares[which]);
        }
    }
}
