// PNG desktop images: the palette-based file the programs write, and any PNG
// a paint program or an emulator writes, read as colours.
#pragma once

#include <string>

#include "colour_identification.h"
#include "errors.h"
#include "pcx.h"

class OutputBatch;

// Writes the image as a palette-based PNG: each pixel's index is its value,
// 4 bits deep when every value is below 16, else 8; the palette holds the
// image's entries up to the highest index used. The file is encoded in memory
// first, then created and written in one piece (ERR_OPEN, ERR_WRITE, ERR_CLOSE).
// The file appears whole or not at all (output_file.h); with a batch, only
// when the batch is committed.
ErrorCode png_write(const PixelImage& image, const std::string& path, OutputBatch* batch = nullptr);

// The size of the last PNG read, for the line that refuses it.
struct PngSize {
    int width;
    int height;
};

// Reads a PNG of 320 by 200, 384 by 272 (an emulator screenshot: the picture
// at x 32, y 35 is taken) or, in multicolour, 160 by 200 (each pixel doubled).
// Any other size, a corrupt or truncated file: ERR_INVALID_PNG. size is set as
// soon as the header has been read.
ErrorCode png_read(const std::string& path, bool multicolour, ColourImage& image, PngSize& size);

// True when the size is one png_read accepts.
bool png_size_accepted(const PngSize& size, bool multicolour);

// The console line (with its line feed) that names a refused size and the
// sizes accepted.
std::string describe_refused_png_size(const PngSize& size, bool multicolour);

// True when the file starts with the PNG signature, whatever its name; false
// when it cannot be read.
bool is_png_file(const std::string& path);
