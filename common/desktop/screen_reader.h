// Any desktop picture (PNG, GIF, JPEG, WebP, or the suite's PCX) read onto
// the 320 by 200 C64 screen in linear light, ready for conversion.
#pragma once

#include <string>

#include "convert/screen_image.h"
#include "desktop/screen_source.h"
#include "frame/errors.h"

// The reader is chosen by the file's first bytes, whatever its name: PNG,
// GIF, JPEG (FF D8 FF), WebP (RIFF....WEBP), and anything else is taken for
// a PCX. source says what was read (describe_screen_source) or why the file
// was refused (describe_refused_screen_source). Refusals: ERR_INVALID_PNG
// for PNG and GIF, ERR_INVALID_JPEG, ERR_INVALID_WEBP, ERR_INVALID_PCX; a
// file that cannot be opened: ERR_OPEN.
ErrorCode read_screen_image(const std::string& path, ScreenFit fit, ScreenImage& image, ScreenSource& source);
