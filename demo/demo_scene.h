// The demo scene: a sunset over a lake, drawn from integer arithmetic alone
// so that every build draws the same pixels, in multicolour (double-width
// pixels, at most three colours beside the background in each cell).
#pragma once

#include <array>
#include <cstdint>

#include "frame/errors.h"
#include "desktop/pcx.h"

constexpr int SCENE_WIDTH = 160;  // double-width pixels
constexpr int SCENE_HEIGHT = 200;
constexpr int SCENE_CELL_WIDTH = 4;
constexpr int SCENE_CELL_HEIGHT = 8;
constexpr std::uint8_t SCENE_BACKGROUND = 0;  // black: the silhouettes cost no cell any colour

// C64 colour numbers, row y and column x at y * 160 + x.
struct SceneCanvas {
    std::array<std::uint8_t, SCENE_WIDTH * SCENE_HEIGHT> pixels;
};

// The scene; with_boat adds a sailing boat on the water, an edit of a few cells.
ErrorCode draw_demo_scene(bool with_boat, SceneCanvas& canvas);

// Leaves at most three colours beside the background in every cell: the
// most used stay, each other one becomes the nearest of them (or the
// background) in palette 12. The scene is drawn within the limits; this
// keeps an edit of the drawing from writing a picture ingravo refuses.
ErrorCode fit_cells_to_multicolour(std::uint8_t background, SceneCanvas& canvas);

// Each pixel twice, in a 320 by 200 image with palette 12.
ErrorCode widen_scene(const SceneCanvas& canvas, PixelImage& image);
