// JPEG pictures (baseline and progressive; grey, YCbCr, RGB, CMYK and YCCK)
// read onto the C64 screen through libjpeg-turbo.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "convert/screen_image.h"
#include "desktop/screen_source.h"
#include "frame/errors.h"

// Reads the picture at the smallest DCT scale that still leaves at least the
// screen's share of pixels, honours its embedded ICC profile and its EXIF
// orientation, and scales it onto the screen. A damaged, truncated or
// unreadable file, one with a profile that does not fit it, or one too large
// for the memory bound: ERR_INVALID_JPEG with source.problem saying why;
// ERR_OPEN when the file cannot be opened.
ErrorCode jpeg_read_screen(const std::string& path, ScreenFit fit, ScreenImage& image, ScreenSource& source);

// True when the first `count` bytes hold a JPEG's start: FF D8 FF.
bool starts_with_jpeg_signature(const std::uint8_t* bytes, std::size_t count);

// The smallest DCT scale, in eighths, at which a picture of this stored size
// (shown turned when swapped) still covers what fit needs of the screen.
int jpeg_scale_eighths(int width, int height, bool swapped, ScreenFit fit);
