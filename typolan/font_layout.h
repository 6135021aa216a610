// Lays a C64 font out as a picture: character k in cell k.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "frame/errors.h"

constexpr std::size_t FONT_FILE_SIZE = 2050;  // load address and 256 characters of 8 bytes

struct FontImage {
    std::array<std::uint8_t, FONT_FILE_SIZE> bytes;
};

struct FontColours {
    std::array<std::uint8_t, 4> colours;  // -0 to -3
};

ErrorCode lay_font_out(const std::string& font_path, const std::string& picture_path, int format,
                       const FontColours& colours);
