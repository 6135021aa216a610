// The demo scene feeds the README's gallery and the demo: it must pass
// ingravo's multicolour check with a black background in every cell.
#include <gtest/gtest.h>

#include <memory>
#include <set>

#include "demo_scene.h"
#include "c64/pixel.h"

namespace {

std::unique_ptr<SceneCanvas> drawn_scene(bool with_boat) {
    auto canvas = std::make_unique<SceneCanvas>();
    EXPECT_EQ(draw_demo_scene(with_boat, *canvas), ERR_SUCCESS);
    return canvas;
}

std::uint8_t& at(SceneCanvas& canvas, int x, int y) {
    return canvas.pixels[static_cast<std::size_t>(y * SCENE_WIDTH + x)];
}

int cell_of(std::size_t pixel) {
    const int x = static_cast<int>(pixel) % SCENE_WIDTH;
    const int y = static_cast<int>(pixel) / SCENE_WIDTH;
    return (y / SCENE_CELL_HEIGHT) * (SCENE_WIDTH / SCENE_CELL_WIDTH) + x / SCENE_CELL_WIDTH;
}

}  // namespace

TEST(DemoScene, EveryCellPassesTheMulticolourCheckWithAndWithoutTheBoat) {
    for (const bool with_boat : {false, true}) {
        const auto canvas = drawn_scene(with_boat);
        const auto image = std::make_unique<PixelImage>();
        ASSERT_EQ(widen_scene(*canvas, *image), ERR_SUCCESS);
        for (int c = 0; c < C64_COLOUR_COUNT; ++c) {
            for (std::size_t channel = 0; channel < 3; ++channel) {
                ASSERT_EQ(image->palette[static_cast<std::size_t>(3 * c) + channel],
                          c64_palettes[DEFAULT_PALETTE][static_cast<std::size_t>(c)][channel]);
            }
        }
        for (int cell = 0; cell < 1000; ++cell) {
            CellBlock block{};
            ASSERT_EQ(cell_block_get(cell, *image, block), ERR_SUCCESS);
            std::uint8_t verdict = 0xFF;
            ASSERT_EQ(cell_colour_check(block, false, SCENE_BACKGROUND, verdict), ERR_SUCCESS);
            EXPECT_EQ(verdict, 0) << "cell " << cell << (with_boat ? " with the boat" : "");
            for (std::size_t pair = 0; pair < block.pixels.size(); pair += 2) {
                ASSERT_LT(block.pixels[pair], C64_COLOUR_COUNT);
                ASSERT_EQ(block.pixels[pair], block.pixels[pair + 1]) << "cell " << cell;
            }
        }
    }
}

TEST(DemoScene, IsAColourfulPictureWithBlackCellsWhereTheErrorsAreShown) {
    const auto canvas = drawn_scene(false);
    std::set<std::uint8_t> colours(canvas->pixels.begin(), canvas->pixels.end());
    EXPECT_GE(colours.size(), 8u);
    for (const std::uint8_t colour : colours) {
        const auto uses = std::count(canvas->pixels.begin(), canvas->pixels.end(), colour);
        EXPECT_LT(uses, SCENE_WIDTH * SCENE_HEIGHT / 3) << "colour " << int(colour);
    }
    // spoil_cells clears cells 1, 3 .. 13 of row 23: black beside and below lets
    // every error colour show.
    for (int y = 23 * SCENE_CELL_HEIGHT; y < SCENE_HEIGHT; ++y) {
        for (int x = 0; x < 14 * SCENE_CELL_WIDTH + SCENE_CELL_WIDTH; ++x) {
            ASSERT_EQ(at(*canvas, x, y), SCENE_BACKGROUND) << x << ", " << y;
        }
    }
}

TEST(DemoScene, IsTheSameEveryTimeAndTheBoatChangesOnlyItsFifteenCells) {
    const auto first = drawn_scene(false);
    const auto again = drawn_scene(false);
    EXPECT_EQ(first->pixels, again->pixels);
    const auto boat = drawn_scene(true);
    std::set<int> changed;
    for (std::size_t p = 0; p < first->pixels.size(); ++p) {
        if (first->pixels[p] != boat->pixels[p]) changed.insert(cell_of(p));
    }
    EXPECT_EQ(changed.size(), 15u);  // the count the README gives for verimat
    for (const int cell : changed) EXPECT_GE(cell / 40, 16) << "cell " << cell << " is above the water";
}

TEST(FitCellsToMulticolour, KeepsTheThreeMostUsedColoursAndMovesTheOthersToTheNearest) {
    auto canvas = std::make_unique<SceneCanvas>();
    canvas->pixels.fill(0);
    // Cell 1 (x 4..7, rows 0..7): red 10, green 8, blue 6, light blue 4, light red 3, background 1.
    const std::array<std::pair<std::uint8_t, int>, 6> uses = {{{2, 10}, {5, 8}, {6, 6}, {14, 4}, {10, 3}, {0, 1}}};
    int n = 0;
    for (const auto& [colour, count] : uses) {
        for (int k = 0; k < count; ++k, ++n) at(*canvas, 4 + n % 4, n / 4) = colour;
    }
    // Cell 0 holds three colours beside the background already.
    at(*canvas, 0, 0) = 1;
    at(*canvas, 1, 0) = 7;
    at(*canvas, 2, 0) = 14;
    const auto before = std::make_unique<SceneCanvas>(*canvas);

    ASSERT_EQ(fit_cells_to_multicolour(0, *canvas), ERR_SUCCESS);
    for (int y = 0; y < SCENE_CELL_HEIGHT; ++y) {
        for (int x = 0; x < 8; ++x) {
            const std::uint8_t was = at(*before, x, y);
            const std::uint8_t now = at(*canvas, x, y);
            if (x < 4 || was == 2 || was == 5 || was == 6 || was == 0) {
                EXPECT_EQ(now, was) << x << ", " << y;
            } else if (was == 14) {
                EXPECT_EQ(now, 6) << "light blue goes to blue";
            } else {
                EXPECT_EQ(now, 2) << "light red goes to red";
            }
        }
    }
}

TEST(FitCellsToMulticolour, RefusesWhatIsNoC64Colour) {
    auto canvas = std::make_unique<SceneCanvas>();
    canvas->pixels.fill(0);
    EXPECT_EQ(fit_cells_to_multicolour(16, *canvas), ERR_FUNCTION_PARAMETERS);
    at(*canvas, 80, 100) = 16;
    EXPECT_EQ(fit_cells_to_multicolour(0, *canvas), ERR_FUNCTION_PARAMETERS);
}
