// PNG desktop images: the palette-based file the programs write, and any PNG
// a paint program or an emulator writes, read as colours.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "identify/colour_reading.h"
#include "frame/errors.h"
#include "desktop/pcx.h"
#include "identify/picture_framing.h"

class OutputBatch;

// Writes the image as a palette-based PNG: each pixel's index is its value,
// 4 bits deep when every value is below 16, else 8; the palette holds the
// image's entries up to the highest index used. The file is encoded in memory
// first, then created and written in one piece (ERR_OPEN, ERR_WRITE, ERR_CLOSE).
// The file appears whole or not at all (output_file.h); with a batch, only
// when the batch is committed.
ErrorCode png_write(const PixelImage& image, const std::string& path, OutputBatch* batch = nullptr);

// Reads a PNG of any size picture_framing.h places the picture in (320 by
// 200; 160 by 200 in multicolour, each pixel doubled; a 384 by 272 emulator
// screenshot, the picture at x 32, y 35; a picture centred in a one-colour
// border; any of these enlarged 2, 3 or 4 times). Any other size, a corrupt
// or truncated file: ERR_INVALID_PNG, with framing saying why when it can.
ErrorCode png_read(const std::string& path, bool multicolour, ColourImage& image, PictureFraming& framing);

// True when the file starts with the PNG signature, whatever its name; false
// when it cannot be read.
bool is_png_file(const std::string& path);

// True when the first `count` bytes of a file hold the PNG signature.
bool starts_with_png_signature(const std::uint8_t* bytes, std::size_t count);
