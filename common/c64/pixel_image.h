// The picture every program works on: 320 by 200 pixels holding C64 colour
// numbers (or error values), with a palette that only tells other programs
// how to show them. PCX and PNG files are its desktop forms.
#pragma once

#include <array>
#include <cstdint>

constexpr int IMAGE_WIDTH = 320;
constexpr int IMAGE_HEIGHT = 200;
constexpr int IMAGE_PIXELS = IMAGE_WIDTH * IMAGE_HEIGHT;
constexpr int PALETTE_BYTES = 768;

// Pixel values are C64 colour indices; the palette only tells other programs
// how to show them.
struct PixelImage {
    std::array<std::uint8_t, IMAGE_PIXELS> pixels;  // row y, column x at y * 320 + x
    std::array<std::uint8_t, PALETTE_BYTES> palette;  // 256 entries of red, green, blue
};
