// Runnable pictures: a program that a C64 loads at $0801 and starts with RUN
// (its BASIC line is SYS to the displayer), which shows the picture it holds.
// The layout is fixed, so other programs can load the data from the file:
//
//   $0801-        BASIC line "SYS" and the displayer
//   $1800-$1BE7   screen memory, copied to $0400
//   $1BE8         background colour ($D021)
//   $1BE9         border colour ($D020)
//   $1C00-$1FE7   colour memory, copied to $D800 (multicolour; 0 in hires)
//   $2000-$3F3F   bitmap, shown where it lies
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "frame/errors.h"
#include "c64/picture.h"

constexpr std::uint16_t PROGRAM_LOAD_ADDRESS = 0x0801;
constexpr std::uint16_t PROGRAM_SCREEN_DATA = 0x1800;
constexpr std::uint16_t PROGRAM_BACKGROUND = 0x1BE8;
constexpr std::uint16_t PROGRAM_BORDER = 0x1BE9;
constexpr std::uint16_t PROGRAM_COLOUR_DATA = 0x1C00;
constexpr std::uint16_t PROGRAM_BITMAP = 0x2000;
constexpr std::uint16_t PROGRAM_END = PROGRAM_BITMAP + BITMAP_SIZE;  // first address after the file
constexpr std::size_t PROGRAM_FILE_SIZE = 2 + PROGRAM_END - PROGRAM_LOAD_ADDRESS;

// The whole file: load address, then the memory from $0801 to $3F3F.
struct RunnableProgram {
    std::array<std::uint8_t, PROGRAM_FILE_SIZE> bytes;
};

// True when the extension of path is "prg", in any case.
bool names_program_file(const std::string& path);

// The border of a multicolour picture is its background colour.
ErrorCode multicolour_to_program(const C64Picture& picture, RunnableProgram& program);
// border: the colour a hires format stores for it, else black (0).
ErrorCode hires_to_program(const HiresPicture& picture, std::uint8_t border, RunnableProgram& program);

// The file appears whole or not at all (output_file.h).
ErrorCode write_program_file(const std::string& path, const RunnableProgram& program);
ErrorCode write_multicolour_program(const std::string& path, const C64Picture& picture);
ErrorCode write_hires_program(const std::string& path, const HiresPicture& picture, std::uint8_t border);
