// A desktop picture of any size and colours brought to the C64 screen, ready
// for conversion: 320 by 200 pixels of linear light.
#pragma once

#include <array>

#include "c64/pixel_image.h"

// Red, green and blue in linear light with the sRGB primaries and the D65
// white, each 0 to 1 (colours beyond sRGB are clipped), premultiplied by the
// pixel's coverage: a transparent pixel, or one outside a picture kept whole
// inside the screen, has coverage 0 and colour 0, so that the background
// colour shows through by (1 - coverage).
struct ScreenImage {
    std::array<float, IMAGE_PIXELS * 3> rgb;  // pixel (x, y) at (y * 320 + x) * 3
    std::array<float, IMAGE_PIXELS> coverage;
    bool has_transparency;  // some coverage is below 1
};

// How a picture of another shape is placed on the 320 by 200 screen.
enum class ScreenFit {
    cover,    // fills the screen, centred; what lies beyond is cropped
    contain,  // whole inside the screen, centred; the rest is background
};
