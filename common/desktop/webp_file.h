// WebP pictures (lossy and lossless, with or without alpha) read onto the
// C64 screen through libwebp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "convert/screen_image.h"
#include "desktop/screen_source.h"
#include "frame/errors.h"

// Decodes the picture whole (it must fit the memory bound beside its file),
// honours the ICC profile of its container, takes alpha as coverage, and
// scales it onto the screen. An animation, a damaged, truncated or
// unreadable file, or one too large: ERR_INVALID_WEBP with source.problem
// saying why; ERR_OPEN when the file cannot be opened.
ErrorCode webp_read_screen(const std::string& path, ScreenFit fit, ScreenImage& image, ScreenSource& source);

// True when the first `count` bytes hold "RIFF", a length and "WEBP".
bool starts_with_webp_signature(const std::uint8_t* bytes, std::size_t count);
