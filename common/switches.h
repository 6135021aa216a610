// Switch table and command-line parser shared by every program.
#pragma once

#include <array>
#include <cstdint>

#include "errors.h"

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
};

ErrorCode init_switch_table(SwitchTable& table);
ErrorCode declare_string_switch(SwitchTable& table, char letter);
ErrorCode declare_number_switch(SwitchTable& table, char letter, std::int32_t min, std::int32_t max);
ErrorCode declare_file_name(SwitchTable& table);
ErrorCode parse_command_line(SwitchTable& table, int argc, char** argv);
bool switch_given(const SwitchTable& table, char letter);
ErrorCode get_number_switch(const SwitchTable& table, char letter, std::int32_t& value);

bool is_hex_string(const char* text);
bool is_binary_string(const char* text);
bool is_decimal_string(const char* text);
ErrorCode parse_hex(const char* text, std::int32_t& value);
ErrorCode parse_binary(const char* text, std::int32_t& value);
