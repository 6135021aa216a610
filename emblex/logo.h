// Turns a picture into the font, screen memory and colour memory of a logo in
// a character mode.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

#include "frame/errors.h"
#include "c64/picture.h"

constexpr int LOGO_FONT_CHARACTERS = 256;
constexpr int LOGO_MAX_CHARACTERS = 255;
constexpr std::size_t LOGO_FONT_SIZE = LOGO_FONT_CHARACTERS * 8;

// The colours that the character mode shares between all cells: -0 (the
// background), -1 and -2 (multicolour only).
struct SharedColours {
    std::array<std::uint8_t, 3> colours;
};

// Reads the picture, re-encodes it for the shared colours and writes the
// colour memory, font and screen memory files, in that order.
ErrorCode build_logo(const std::string& font_path, const std::string& screen_path, const std::string& picture_path,
                     const std::string& colour_path, int format, const SharedColours& shared);

// Slot 3 is the cell's own colour (0 to 7): learned from the first colour of
// the cell that the three shared slots do not hold.
ErrorCode learn_multicolour_slots(std::span<std::uint8_t> slots, std::span<const std::uint8_t> cell_colours);

// Slot 1 is the cell's foreground: learned from the first colour that is not
// the background.
ErrorCode learn_hires_slots(std::span<std::uint8_t> slots, std::span<const std::uint8_t> cell_colours);

// Background, screen high nybble, screen low nybble, colour memory nybble.
ErrorCode picture_cell_colours_get(const C64Picture& picture, int cell, std::array<std::uint8_t, 4>& colours);

// Screen low nybble (clear bits), screen high nybble (set bits).
ErrorCode hires_cell_colours_get(const HiresPicture& picture, int cell, std::array<std::uint8_t, 2>& colours);
