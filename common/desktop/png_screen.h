// PNG pictures of any size and kind read onto the C64 screen.
#pragma once

#include <string>

#include "convert/screen_image.h"
#include "desktop/screen_source.h"
#include "frame/errors.h"

// Reads a PNG of any bit depth (1 to 16), grey, grey and alpha, palette
// (with tRNS), RGB or RGBA, honouring its iCCP, sRGB, gAMA and cHRM chunks.
// Rows are streamed from the file into the scaler; an interlaced picture is
// held whole, and refused when it does not fit the memory bound. A corrupt,
// truncated or refused file: ERR_INVALID_PNG with source.problem saying
// why; ERR_OPEN when the file cannot be opened.
ErrorCode png_read_screen(const std::string& path, ScreenFit fit, ScreenImage& image, ScreenSource& source);
