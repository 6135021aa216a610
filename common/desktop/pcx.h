// The one PCX kind of the suite: 320 by 200, 8 bits, one plane, run-length
// encoded, 256-colour palette after a 0x0C marker.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "errors.h"

class OutputBatch;

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

// The file appears whole or not at all (output_file.h); with a batch, only
// when the batch is committed.
ErrorCode pcx_write(const PixelImage& image, const std::string& path, OutputBatch* batch = nullptr);
ErrorCode pcx_read(const std::string& path, PixelImage& image);
