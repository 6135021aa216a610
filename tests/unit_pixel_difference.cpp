// The single-precision CIEDE2000 of the colour choice for crisp pixels
// against the exact one: every library palette's colours from targets all
// over the colour cube, greys and the blues, where its rotation term counts;
// and every dot's differences as the conversion keeps them, shared between
// dots of nearly the same colour.
#include <cmath>
#include <memory>
#include <random>

#include <gtest/gtest.h>

#include "convert/pixel_difference.h"
#include "palettes/palette_library.h"

namespace {

void fill_palette_of(int palette, DotGrid& grid) {
    for (int c = 0; c < PALETTE_SIZE; ++c) {
        const std::uint32_t rgb = library_colour(palette, c);
        grid.palette[static_cast<std::size_t>(c)] = {static_cast<float>(srgb_to_linear((rgb >> 16 & 0xFF) / 255.0)),
                                                     static_cast<float>(srgb_to_linear((rgb >> 8 & 0xFF) / 255.0)),
                                                     static_cast<float>(srgb_to_linear((rgb & 0xFF) / 255.0))};
    }
}

TEST(PixelDifference, FollowsTheExactCiede2000) {
    std::mt19937 random(0xC0105);
    std::uniform_real_distribution<float> channel(0.0f, 1.0f);
    const auto grid = std::make_unique<DotGrid>();
    double worst = 0.0;
    for (int palette = 0; palette < LIBRARY_PALETTE_COUNT; ++palette) {
        fill_palette_of(palette, *grid);
        const PaletteLab lab = palette_lab_of(*grid);
        for (int sample = 0; sample < 400; ++sample) {
            float target[3] = {channel(random), channel(random), channel(random)};
            if (sample % 4 == 0) {
                target[1] = target[0];
                target[2] = target[0];
            }
            if (sample % 4 == 1) {
                target[2] = std::max(target[2], 0.5f);
                target[0] = target[0] * 0.3f;
            }
            const LabColour target_lab = lab_of_target(target);
            std::array<float, PALETTE_SIZE> squares;
            pixel_differences(target_lab, lab, squares);
            for (int c = 0; c < PALETTE_SIZE; ++c) {
                const LabColour colour{lab.l[static_cast<std::size_t>(c)], lab.a[static_cast<std::size_t>(c)],
                                       lab.b[static_cast<std::size_t>(c)]};
                const double exact = ciede2000(target_lab, colour);
                worst = std::max(worst, std::fabs(std::sqrt(squares[static_cast<std::size_t>(c)]) - exact));
            }
        }
    }
    EXPECT_LT(worst, 0.02);
}

// A hires grid of random colours, smooth runs of near colours and dots in
// the palette's own colours: each dot's kept differences from the colours
// that could show it are within the rounding of its colour to a unit of
// CIELAB, and a dot in a palette colour differs from that colour by exactly
// nothing. CIEDE2000 itself jumps where two hues turn from less than half a
// turn apart to more, which the rounding may cross: by a few units for a
// near grey against a strong colour, so a few such pairs may differ more.
TEST(PixelDifference, KeptDifferencesFollowEachDotsOwnColour) {
    constexpr int PALETTE = 13;
    std::mt19937 random(0xD075);
    std::uniform_real_distribution<float> channel(0.0f, 1.0f);
    const auto grid = std::make_unique<DotGrid>();
    grid->hires = true;
    grid->width = IMAGE_WIDTH;
    fill_palette_of(PALETTE, *grid);
    for (int dot = 0; dot < dot_count(*grid); ++dot) {
        float* target = &grid->target[static_cast<std::size_t>(dot * 3)];
        const int kind = dot % 3;
        if (kind == 0) {
            const auto& colour = grid->palette[static_cast<std::size_t>(dot / 3 % PALETTE_SIZE)];
            std::copy(colour.begin(), colour.end(), target);
        } else if (kind == 1) {
            for (int c = 0; c < 3; ++c) {
                target[c] = channel(random);
            }
        } else {
            const float shade = static_cast<float>(dot % IMAGE_WIDTH) / IMAGE_WIDTH;
            target[0] = shade;
            target[1] = 0.6f * shade + 0.0001f * static_cast<float>(dot % 7);
            target[2] = 0.3f * shade;
        }
    }
    const auto kept = std::make_unique<DotPixelDifferences>();
    fill_pixel_differences(*grid, *kept);
    const PaletteLab lab = palette_lab_of(*grid);
    int compared = 0;
    int off = 0;
    for (int dot = 0; dot < dot_count(*grid); ++dot) {
        const LabColour target = lab_of_target(&grid->target[static_cast<std::size_t>(dot * 3)]);
        const auto& squares = pixel_squares_of(*kept, dot);
        for (int c = 0; c < PALETTE_SIZE; ++c) {
            const LabColour colour{lab.l[static_cast<std::size_t>(c)], lab.a[static_cast<std::size_t>(c)],
                                   lab.b[static_cast<std::size_t>(c)]};
            const double exact = ciede2000(target, colour);
            if (exact < 30.0) {
                ++compared;
                off += std::fabs(std::sqrt(squares[static_cast<std::size_t>(c)]) - exact) >= 1.0 ? 1 : 0;
            }
        }
        if (dot % 3 == 0) {
            ASSERT_EQ(squares[static_cast<std::size_t>(dot / 3 % PALETTE_SIZE)], 0.0f) << "dot " << dot;
        }
    }
    EXPECT_LT(off * 1000, compared) << off << " of " << compared;
}

}  // namespace
