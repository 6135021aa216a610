// GIF desktop images, as paint programs and emulators save them: the first
// frame is read, its colours through its own colour map or the file's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "identify/colour_reading.h"
#include "frame/errors.h"
#include "identify/picture_framing.h"

// Reads the first frame of a GIF (87a or 89a) of any size picture_framing.h
// places the picture in. A file the decoder refuses, a frame outside the
// screen, an index beyond its colour map, a truncated frame or a refused
// size: ERR_INVALID_PNG, with framing saying why.
ErrorCode gif_read(const std::string& path, bool multicolour, ColourImage& image, PictureFraming& framing);

// True when the file starts with GIF87a or GIF89a, whatever its name; false
// when it cannot be read.
bool is_gif_file(const std::string& path);

// True when the first `count` bytes of a file hold GIF87a or GIF89a.
bool starts_with_gif_signature(const std::uint8_t* bytes, std::size_t count);
