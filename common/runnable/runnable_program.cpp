#include "runnable/runnable_program.h"

#include <algorithm>
#include <memory>

#include "runnable/displayer_code.h"
#include "frame/file_names.h"

namespace {

constexpr std::uint8_t COLOUR_NYBBLE = 0x0F;

// Offset in the file of a C64 address (the load address takes two bytes).
constexpr std::size_t file_offset(std::uint16_t address) {
    return 2 + static_cast<std::size_t>(address - PROGRAM_LOAD_ADDRESS);
}

template <std::size_t N>
void put_area(RunnableProgram& program, std::uint16_t address, const std::array<std::uint8_t, N>& area) {
    std::copy(area.begin(), area.end(), program.bytes.begin() + static_cast<std::ptrdiff_t>(file_offset(address)));
}

// The displayer and zeros up to the data; the caller fills the areas.
ErrorCode start_program(const DisplayerCode& displayer, RunnableProgram& program) {
    if (displayer.size > file_offset(PROGRAM_SCREEN_DATA) - 2) {
        return ERR_FUNCTION_PARAMETERS;
    }
    program.bytes.fill(0);
    program.bytes[0] = PROGRAM_LOAD_ADDRESS & 0xFF;
    program.bytes[1] = PROGRAM_LOAD_ADDRESS >> 8;
    std::copy(displayer.bytes, displayer.bytes + displayer.size, program.bytes.begin() + 2);
    return ERR_SUCCESS;
}

}  // namespace

bool names_program_file(const std::string& path) {
    return file_extension(path) == "prg";
}

ErrorCode multicolour_to_program(const C64Picture& picture, RunnableProgram& program) {
    const ErrorCode code = start_program(multicolour_displayer, program);
    if (code < 0) {
        return code;
    }
    put_area(program, PROGRAM_SCREEN_DATA, picture.screen);
    put_area(program, PROGRAM_COLOUR_DATA, picture.colour);
    put_area(program, PROGRAM_BITMAP, picture.bitmap);
    const std::uint8_t background = picture.background & COLOUR_NYBBLE;
    program.bytes[file_offset(PROGRAM_BACKGROUND)] = background;
    program.bytes[file_offset(PROGRAM_BORDER)] = background;
    return ERR_SUCCESS;
}

// $D021 is not seen in hires bitmap mode; it gets the border colour too.
ErrorCode hires_to_program(const HiresPicture& picture, std::uint8_t border, RunnableProgram& program) {
    const ErrorCode code = start_program(hires_displayer, program);
    if (code < 0) {
        return code;
    }
    put_area(program, PROGRAM_SCREEN_DATA, picture.screen);
    put_area(program, PROGRAM_BITMAP, picture.bitmap);
    program.bytes[file_offset(PROGRAM_BACKGROUND)] = border & COLOUR_NYBBLE;
    program.bytes[file_offset(PROGRAM_BORDER)] = border & COLOUR_NYBBLE;
    return ERR_SUCCESS;
}

ErrorCode write_program_file(const std::string& path, const RunnableProgram& program) {
    return write_whole_file(path, program.bytes.data(), program.bytes.size());
}

ErrorCode write_multicolour_program(const std::string& path, const C64Picture& picture) {
    const auto program = std::make_unique_for_overwrite<RunnableProgram>();
    const ErrorCode code = multicolour_to_program(picture, *program);
    return code < 0 ? code : write_program_file(path, *program);
}

ErrorCode write_hires_program(const std::string& path, const HiresPicture& picture, std::uint8_t border) {
    const auto program = std::make_unique_for_overwrite<RunnableProgram>();
    const ErrorCode code = hires_to_program(picture, border, *program);
    return code < 0 ? code : write_program_file(path, *program);
}
