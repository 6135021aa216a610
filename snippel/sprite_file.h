// Cuts one rectangle of a picture file into a sprite file.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "frame/errors.h"

struct SpriteCutSettings {
    int format;  // picture format: 0 Koala, 1 Amica, 2 Art Studio, or a table format
    std::uint16_t x;
    std::uint16_t y;
    std::uint16_t w;
    std::uint16_t h;
    std::array<std::uint8_t, 4> colours;  // for bit patterns 00, 01, 10, 11 (hires: bit 0, bit 1)
};

// Loads the picture, cuts the grid and only then creates the sprite file.
ErrorCode write_sprite_file(const std::string& picture_path, const std::string& sprite_path,
                            const SpriteCutSettings& settings);
