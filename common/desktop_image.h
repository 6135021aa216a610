// Desktop images written by name: PNG when the name's extension is "png" in
// any case, PCX otherwise.
#pragma once

#include <string>

#include "errors.h"
#include "pcx.h"

bool names_png_file(const std::string& path);

ErrorCode desktop_image_write(const PixelImage& image, const std::string& path);
