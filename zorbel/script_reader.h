// Reads the commands of a packing script, one at a time.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>

#include "frame/errors.h"

constexpr std::size_t SCRIPT_NAME_SIZE = 256;  // up to 255 characters and the NUL

// One command with its operands; the letter is upper-cased.
//   K:name  A:name  S:name             load a Koala, Amica or Art Studio picture,
//                                      or a picture whose extension names its format
//   H:x%d,y%d,w%d,h%d,0%d,1%d          cut hires sprites
//   M:x%d,y%d,w%d,h%d,0%d,1%d,2%d,3%d  cut multicolour sprites
struct ScriptCommand {
    char letter;
    std::array<char, SCRIPT_NAME_SIZE> file_name;
    std::uint16_t x;
    std::uint16_t y;
    std::uint16_t w;
    std::uint16_t h;
    std::array<std::uint8_t, 4> colours;  // for bit patterns 00, 01, 10, 11 (hires: bit 0, bit 1)
};

// Reads the command that starts at the current character, then the white
// space after it, so that the end of the file shows once the last command
// has been read. Returns ERR_READ when the character is not a command letter
// (white space and the end of the file included) or the script cannot be
// read, and ERR_SCRIPT_PARAMETERS when the operands do not match the
// command's format: a missing colon, label, number or name, a name longer
// than 255 characters, a coordinate or size outside 0..65535 or a colour
// outside 0..15.
ErrorCode read_script_command(std::FILE* script, ScriptCommand& command);
