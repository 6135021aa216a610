// GIF pictures of any size read onto the C64 screen.
#pragma once

#include <string>

#include "convert/screen_image.h"
#include "desktop/screen_source.h"
#include "frame/errors.h"

// Reads the first frame of a GIF into its screen: its transparent index
// (from the graphic control extension before it) and the screen around a
// smaller frame have coverage 0. The frame is held whole, as indices, within
// the memory bound. A corrupt, truncated or refused file: ERR_INVALID_PNG
// with source.problem saying why; ERR_OPEN when it cannot be opened.
ErrorCode gif_read_screen(const std::string& path, ScreenFit fit, ScreenImage& image, ScreenSource& source);
