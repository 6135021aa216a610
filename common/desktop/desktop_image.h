// Desktop images written by name: PNG when the name's extension is "png" in
// any case, PCX otherwise.
#pragma once

#include <string>

#include "errors.h"
#include "pcx.h"

class OutputBatch;

bool names_png_file(const std::string& path);

// The file appears whole or not at all (output_file.h); with a batch, only
// when the batch is committed.
ErrorCode desktop_image_write(const PixelImage& image, const std::string& path, OutputBatch* batch = nullptr);
