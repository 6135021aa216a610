// Switch table and command-line parser shared by every program.
#pragma once

#include <array>
#include <cstdint>

#include "frame/errors.h"

constexpr int MAX_SWITCHES = 16;    // the help switch included
constexpr int MAX_FILE_NAMES = 10;
constexpr int MAX_NAME_LENGTH = 255;
constexpr int MAX_SWITCH_TEXT = 15;
constexpr std::int32_t INITIAL_RANGE_MIN = INT32_MIN;
constexpr std::int32_t INITIAL_RANGE_MAX = 0x07FFFFFF;

struct SwitchRange {
    std::int32_t min;
    std::int32_t max;
};

struct SwitchTable {
    std::uint8_t switch_count;
    std::array<char, MAX_SWITCHES> letters;
    std::array<char, MAX_SWITCHES> kinds;  // 'C' text switch, 'N' number switch
    std::array<SwitchRange, MAX_SWITCHES> ranges;
    std::array<std::uint8_t, MAX_SWITCHES> given_flags;
    std::array<std::int32_t, MAX_SWITCHES> values;
    std::array<std::array<char, MAX_SWITCH_TEXT + 1>, MAX_SWITCHES> texts;
    std::uint8_t declared_name_count;
    std::array<std::array<char, MAX_NAME_LENGTH + 1>, MAX_FILE_NAMES> file_names;
    std::uint8_t given_count;
    std::uint8_t name_count;
    std::uint8_t version_given;  // --version met; it takes no switch slot
};

// The two long words every program knows, in any case: --help is the help
// switch -? under another name, --version asks for the version line.
bool is_help_word(const char* argument);
bool is_version_word(const char* argument);

ErrorCode init_switch_table(SwitchTable& table);
ErrorCode declare_string_switch(SwitchTable& table, char letter);
ErrorCode declare_number_switch(SwitchTable& table, char letter, std::int32_t min, std::int32_t max);
ErrorCode declare_file_name(SwitchTable& table);
ErrorCode parse_command_line(SwitchTable& table, int argc, char** argv);
bool switch_given(const SwitchTable& table, char letter);
ErrorCode get_number_switch(const SwitchTable& table, char letter, std::int32_t& value);
// What followed the letter of a text switch; "" when it was not given.
const char* switch_text(const SwitchTable& table, char letter);

bool is_hex_string(const char* text);
bool is_binary_string(const char* text);
bool is_decimal_string(const char* text);
ErrorCode parse_hex(const char* text, std::int32_t& value);
ErrorCode parse_binary(const char* text, std::int32_t& value);

// Stores the value of a number switch in value (converted to its type) when
// the switch was given; leaves value alone otherwise.
template <typename Value>
ErrorCode read_number_switch(const SwitchTable& table, char letter, Value& value) {
    if (!switch_given(table, letter)) {
        return ERR_SUCCESS;
    }
    std::int32_t number = 0;
    const ErrorCode code = get_number_switch(table, letter, number);
    if (code >= 0) {
        value = static_cast<Value>(number);
    }
    return code;
}

// The colours of the switches -0 up to -(count - 1); 0 for each one not given.
ErrorCode read_colour_switches(const SwitchTable& table, int count, std::uint8_t* colours);

// The start of every tool_main: clears the table, lets the tool declare its
// names and switches, then parses the command line.
ErrorCode read_command_line(SwitchTable& table, ErrorCode (*declare_switches)(SwitchTable& table), int argc,
                            char** argv);

// Declares the text switches -k, -a and -s that name a picture format.
ErrorCode declare_picture_format_switches(SwitchTable& table);
