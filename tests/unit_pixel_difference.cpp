// The single-precision CIEDE2000 of the colour choice for crisp pixels
// against the exact one: every library palette's colours from targets all
// over the colour cube, greys and the blues, where its rotation term counts.
#include <cmath>
#include <memory>
#include <random>

#include <gtest/gtest.h>

#include "convert/pixel_difference.h"
#include "palettes/palette_library.h"

namespace {

TEST(PixelDifference, FollowsTheExactCiede2000) {
    std::mt19937 random(0xC0105);
    std::uniform_real_distribution<float> channel(0.0f, 1.0f);
    const auto grid = std::make_unique<DotGrid>();
    double worst = 0.0;
    for (int palette = 0; palette < LIBRARY_PALETTE_COUNT; ++palette) {
        for (int c = 0; c < PALETTE_SIZE; ++c) {
            const std::uint32_t rgb = library_colour(palette, c);
            // Back to linear light through the same colour, so that the grid holds it.
            grid->palette[static_cast<std::size_t>(c)] = {
                static_cast<float>(srgb_to_linear((rgb >> 16 & 0xFF) / 255.0)),
                static_cast<float>(srgb_to_linear((rgb >> 8 & 0xFF) / 255.0)),
                static_cast<float>(srgb_to_linear((rgb & 0xFF) / 255.0))};
        }
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

}  // namespace
