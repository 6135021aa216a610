#include "script_reader.h"

#include <cctype>

namespace {

constexpr std::int32_t MAX_COORDINATE = 0xFFFF;
constexpr std::int32_t MAX_COLOUR = 15;
// Digits beyond this only matter for being too large.
constexpr std::int32_t SATURATED_NUMBER = 0x7FFFFF;

bool is_white_space(int character) {
    return character != EOF && std::isspace(character) != 0;
}

bool is_digit(int character) {
    return character != EOF && std::isdigit(character) != 0;
}

void skip_white_space(std::FILE* script) {
    int character = 0;
    while (is_white_space(character = std::fgetc(script))) {
    }
    if (character != EOF) {
        std::ungetc(character, script);
    }
}

ErrorCode expect_character(std::FILE* script, char expected) {
    return std::fgetc(script) == static_cast<unsigned char>(expected) ? ERR_SUCCESS : ERR_SCRIPT_PARAMETERS;
}

// A signed decimal number after optional white space, as the C library's
// formatted input reads one, refused when outside [min, max].
ErrorCode read_number(std::FILE* script, std::int32_t min, std::int32_t max, std::int32_t& value) {
    skip_white_space(script);
    int character = std::fgetc(script);
    const bool negative = character == '-';
    if (character == '-' || character == '+') {
        character = std::fgetc(script);
    }
    if (!is_digit(character)) {
        return ERR_SCRIPT_PARAMETERS;
    }
    std::int32_t magnitude = 0;
    for (; is_digit(character); character = std::fgetc(script)) {
        if (magnitude < SATURATED_NUMBER) {
            magnitude = magnitude * 10 + (character - '0');
        }
    }
    if (character != EOF) {
        std::ungetc(character, script);
    }
    value = negative ? -magnitude : magnitude;
    return value < min || value > max ? ERR_SCRIPT_PARAMETERS : ERR_SUCCESS;
}

// A label character followed by a number: "x0", "w24", "114" (pattern 1, colour 14).
ErrorCode read_labelled_number(std::FILE* script, char label, std::int32_t max, std::int32_t& value) {
    const ErrorCode code = expect_character(script, label);
    return code < 0 ? code : read_number(script, 0, max, value);
}

// A file name runs from the first character after any white space up to the
// next white space or the end of the file.
ErrorCode read_file_name(std::FILE* script, std::array<char, SCRIPT_NAME_SIZE>& name) {
    ErrorCode code = expect_character(script, ':');
    if (code < 0) {
        return code;
    }
    skip_white_space(script);
    std::size_t length = 0;
    int character = 0;
    while ((character = std::fgetc(script)) != EOF && !is_white_space(character)) {
        if (length + 1 == name.size() || character == '\0') {
            return ERR_SCRIPT_PARAMETERS;
        }
        name[length++] = static_cast<char>(character);
    }
    if (character != EOF) {
        std::ungetc(character, script);
    }
    name[length] = '\0';
    return length == 0 ? ERR_SCRIPT_PARAMETERS : ERR_SUCCESS;
}

std::uint16_t& coordinate_field(ScriptCommand& command, int index) {
    switch (index) {
    case 0:
        return command.x;
    case 1:
        return command.y;
    case 2:
        return command.w;
    default:
        return command.h;
    }
}

ErrorCode read_cut_operands(std::FILE* script, int pattern_count, ScriptCommand& command) {
    ErrorCode code = expect_character(script, ':');
    if (code < 0) {
        return code;
    }
    const char coordinate_labels[4] = {'x', 'y', 'w', 'h'};
    for (int i = 0; i < 4; ++i) {
        std::int32_t value = 0;
        if ((i > 0 && (code = expect_character(script, ',')) < 0) ||
            (code = read_labelled_number(script, coordinate_labels[i], MAX_COORDINATE, value)) < 0) {
            return code;
        }
        coordinate_field(command, i) = static_cast<std::uint16_t>(value);
    }
    command.colours.fill(0);
    for (int pattern = 0; pattern < pattern_count; ++pattern) {
        std::int32_t colour = 0;
        if ((code = expect_character(script, ',')) < 0 ||
            (code = read_labelled_number(script, static_cast<char>('0' + pattern), MAX_COLOUR, colour)) < 0) {
            return code;
        }
        command.colours[pattern] = static_cast<std::uint8_t>(colour);
    }
    return ERR_SUCCESS;
}

ErrorCode read_operands(std::FILE* script, ScriptCommand& command) {
    switch (command.letter) {
    case 'K':
    case 'A':
    case 'S':
        return read_file_name(script, command.file_name);
    case 'H':
        return read_cut_operands(script, 2, command);
    case 'M':
        return read_cut_operands(script, 4, command);
    default:
        return ERR_READ;
    }
}

}  // namespace

ErrorCode read_script_command(std::FILE* script, ScriptCommand& command) {
    const int character = std::fgetc(script);
    if (character == EOF) {
        return ERR_READ;
    }
    command.letter = static_cast<char>(std::toupper(character));
    const ErrorCode code = read_operands(script, command);
    if (code >= 0) {
        skip_white_space(script);
    }
    // A failing stream, not the script's text, is behind any mismatch then.
    return std::ferror(script) != 0 ? ERR_READ : code;
}
