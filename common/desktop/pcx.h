// The one PCX kind of the suite: 320 by 200, 8 bits, one plane, run-length
// encoded, 256-colour palette after a 0x0C marker.
#pragma once

#include <cstdint>
#include <string>

#include "c64/pixel_image.h"
#include "frame/errors.h"

class OutputBatch;

// The file appears whole or not at all (output_file.h); with a batch, only
// when the batch is committed.
ErrorCode pcx_write(const PixelImage& image, const std::string& path, OutputBatch* batch = nullptr);
ErrorCode pcx_read(const std::string& path, PixelImage& image);
