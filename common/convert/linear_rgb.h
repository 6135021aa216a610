// A 320 by 200 picture in linear light: red, green and blue with the sRGB
// primaries and the D65 white, 0 to 1, pixel (x, y) at (y * 320 + x) * 3.
// The layout of ScreenImage::rgb, so a screen image is measured as it is.
#pragma once

#include <array>

#include "c64/pixel_image.h"

constexpr int LINEAR_RGB_VALUES = IMAGE_PIXELS * 3;

using LinearRgb = std::array<float, LINEAR_RGB_VALUES>;
