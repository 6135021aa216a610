// A picture decoded elsewhere (by a web browser) brought to the C64 screen:
// 8-bit sRGB pixels with alpha, not premultiplied, taken the way the PNG
// reader takes a PNG that states no colours, so both give the same screen.
#pragma once

#include <cstdint>

#include "convert/screen_image.h"
#include "desktop/screen_source.h"
#include "frame/errors.h"

// rgba: width * height pixels of four bytes, row after row. source gets the
// size; its format is the caller's to name. A picture of no pixels or rows
// too wide: refusal, with source.problem saying why.
ErrorCode rgba_read_screen(const std::uint8_t* rgba, int width, int height, ScreenFit fit, ErrorCode refusal,
                           ScreenImage& image, ScreenSource& source);
