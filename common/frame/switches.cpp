#include "frame/switches.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

char upper_letter(char letter) {
    return static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
}

bool equals_ignoring_case(const char* argument, const char* word) {
    for (; *word != '\0'; ++argument, ++word) {
        if (upper_letter(*argument) != upper_letter(*word)) {
            return false;
        }
    }
    return *argument == '\0';
}

int find_switch_slot(const SwitchTable& table, char letter) {
    const char wanted = upper_letter(letter);
    for (int slot = 0; slot < table.switch_count; ++slot) {
        if (table.letters[slot] == wanted) {
            return slot;
        }
    }
    return -1;
}

ErrorCode declare_switch(SwitchTable& table, char letter, char kind) {
    if (table.switch_count >= MAX_SWITCHES) {
        return ERR_PARAMETERS;
    }
    table.letters[table.switch_count] = upper_letter(letter);
    table.kinds[table.switch_count] = kind;
    ++table.switch_count;
    return ERR_SUCCESS;
}

// atol gives 64 bits here: saturate so that a huge value cannot wrap into the
// 32-bit range and pass the range check.
std::int32_t decimal_value(const char* text) {
    errno = 0;
    const long long value = std::strtoll(text, nullptr, 10);
    if (value > INT32_MAX) {
        return INT32_MAX;
    }
    if (value < INT32_MIN) {
        return INT32_MIN;
    }
    return static_cast<std::int32_t>(value);
}

ErrorCode read_number_value(const char* value_text, std::int32_t& value) {
    if (value_text[0] == '$') {
        if (!is_hex_string(value_text + 1)) {
            return ERR_NOT_HEX;
        }
        return parse_hex(value_text + 1, value);
    }
    if (value_text[0] == '%') {
        if (!is_binary_string(value_text + 1)) {
            return ERR_NOT_BINARY;
        }
        return parse_binary(value_text + 1, value);
    }
    if (!is_decimal_string(value_text)) {
        return ERR_NOT_INTEGER;
    }
    value = decimal_value(value_text);
    return ERR_SUCCESS;
}

ErrorCode take_switch(SwitchTable& table, const char* argument) {
    if (table.given_count >= MAX_SWITCHES) {
        return ERR_PARAMETERS;
    }
    const int slot = find_switch_slot(table, argument[1]);
    if (argument[1] == '\0' || slot < 0) {
        return ERR_PARAMETERS;
    }
    if (table.given_flags[slot] != 0) {
        return ERR_PARAMETERS;
    }
    const char* rest = argument + 2;
    if (table.kinds[slot] == 'C') {
        if (std::strlen(rest) > MAX_SWITCH_TEXT) {
            return ERR_PARAMETERS;
        }
        std::strcpy(table.texts[slot].data(), rest);
    } else {
        std::int32_t value = 0;
        const ErrorCode code = read_number_value(rest, value);
        if (code < 0) {
            return code;
        }
        const SwitchRange range = table.ranges[slot];
        if (value < range.min || value > range.max) {
            std::printf("Valeur : %d en dehors de l'intervalle : [%d, %d]\n", value, range.min, range.max);
            return ERR_PARAMETERS;
        }
        table.values[slot] = value;
    }
    table.given_flags[slot] = 1;
    ++table.given_count;
    return ERR_SUCCESS;
}

ErrorCode take_file_name(SwitchTable& table, const char* argument) {
    const std::size_t length = std::strlen(argument);
    if (table.name_count >= MAX_FILE_NAMES || length == 0 || length > MAX_NAME_LENGTH) {
        return ERR_PARAMETERS;
    }
    std::memcpy(table.file_names[table.name_count].data(), argument, length + 1);
    ++table.name_count;
    return ERR_SUCCESS;
}

ErrorCode take_version_word(SwitchTable& table) {
    if (table.version_given != 0) {
        return ERR_PARAMETERS;
    }
    table.version_given = 1;
    return ERR_SUCCESS;
}

ErrorCode take_argument(SwitchTable& table, const char* argument) {
    if (is_help_word(argument)) {
        return take_switch(table, "-?");
    }
    if (is_version_word(argument)) {
        return take_version_word(table);
    }
    return argument[0] == '-' ? take_switch(table, argument) : take_file_name(table, argument);
}

}  // namespace

ErrorCode init_switch_table(SwitchTable& table) {
    table.switch_count = 0;
    table.letters.fill('\0');
    table.kinds.fill('\0');
    table.ranges.fill(SwitchRange{INITIAL_RANGE_MIN, INITIAL_RANGE_MAX});
    table.given_flags.fill(0);
    table.values.fill(0);
    for (auto& text : table.texts) {
        text.fill('\0');
    }
    table.declared_name_count = 0;
    for (auto& name : table.file_names) {
        name.fill('\0');
    }
    table.given_count = 0;
    table.name_count = 0;
    table.version_given = 0;
    return ERR_SUCCESS;
}

ErrorCode declare_string_switch(SwitchTable& table, char letter) {
    return declare_switch(table, letter, 'C');
}

ErrorCode declare_number_switch(SwitchTable& table, char letter, std::int32_t min, std::int32_t max) {
    const ErrorCode code = declare_switch(table, letter, 'N');
    if (code < 0) {
        return code;
    }
    table.ranges[table.switch_count - 1] = SwitchRange{min, max};
    return ERR_SUCCESS;
}

ErrorCode declare_file_name(SwitchTable& table) {
    if (table.declared_name_count >= MAX_FILE_NAMES) {
        return ERR_PARAMETERS;
    }
    ++table.declared_name_count;
    return ERR_SUCCESS;
}

ErrorCode parse_command_line(SwitchTable& table, int argc, char** argv) {
    ErrorCode code = declare_string_switch(table, '?');
    if (code < 0) {
        return code;
    }
    for (int i = 1; i < argc; ++i) {
        code = take_argument(table, argv[i]);
        if (code < 0) {
            return code;
        }
    }
    if (switch_given(table, '?')) {
        return HELP_REQUESTED;
    }
    return table.version_given != 0 ? VERSION_REQUESTED : ERR_SUCCESS;
}

bool is_help_word(const char* argument) {
    return equals_ignoring_case(argument, "--help");
}

bool is_version_word(const char* argument) {
    return equals_ignoring_case(argument, "--version");
}

bool switch_given(const SwitchTable& table, char letter) {
    const int slot = find_switch_slot(table, letter);
    return slot >= 0 && table.given_flags[slot] == 1;
}

ErrorCode get_number_switch(const SwitchTable& table, char letter, std::int32_t& value) {
    if (!switch_given(table, letter)) {
        return ERR_NOT_GIVEN;
    }
    value = table.values[find_switch_slot(table, letter)];
    return ERR_SUCCESS;
}

const char* switch_text(const SwitchTable& table, char letter) {
    const int slot = find_switch_slot(table, letter);
    return slot >= 0 ? table.texts[static_cast<std::size_t>(slot)].data() : "";
}

bool is_hex_string(const char* text) {
    if (*text == '\0') {
        return false;
    }
    for (; *text != '\0'; ++text) {
        if (std::isxdigit(static_cast<unsigned char>(*text)) == 0) {
            return false;
        }
    }
    return true;
}

bool is_binary_string(const char* text) {
    if (*text == '\0') {
        return false;
    }
    for (; *text != '\0'; ++text) {
        if (*text != '0' && *text != '1') {
            return false;
        }
    }
    return true;
}

bool is_decimal_string(const char* text) {
    if (*text == '\0') {
        return false;
    }
    if (*text == '+' || *text == '-') {
        ++text;
        if (*text == '\0') {
            return false;
        }
    }
    for (; *text != '\0'; ++text) {
        if (std::isdigit(static_cast<unsigned char>(*text)) == 0) {
            return false;
        }
    }
    return true;
}

ErrorCode parse_hex(const char* text, std::int32_t& value) {
    if (std::strlen(text) > 8) {
        return ERR_STRING_TOO_LONG;
    }
    std::uint32_t result = 0;
    for (; *text != '\0'; ++text) {
        const int digit = std::toupper(static_cast<unsigned char>(*text));
        if (digit >= '0' && digit <= '9') {
            result = result * 16 + static_cast<std::uint32_t>(digit - '0');
        } else if (digit >= 'A' && digit <= 'F') {
            result = result * 16 + static_cast<std::uint32_t>(digit - 'A' + 10);
        } else {
            break;
        }
    }
    value = static_cast<std::int32_t>(result);
    return ERR_SUCCESS;
}

ErrorCode parse_binary(const char* text, std::int32_t& value) {
    if (std::strlen(text) > 32) {
        return ERR_STRING_TOO_LONG;
    }
    std::uint32_t result = 0;
    for (; *text == '0' || *text == '1'; ++text) {
        result = result * 2 + static_cast<std::uint32_t>(*text - '0');
    }
    value = static_cast<std::int32_t>(result);
    return ERR_SUCCESS;
}

ErrorCode read_colour_switches(const SwitchTable& table, int count, std::uint8_t* colours) {
    for (int i = 0; i < count; ++i) {
        colours[i] = 0;
        const ErrorCode code = read_number_switch(table, static_cast<char>('0' + i), colours[i]);
        if (code < 0) {
            return code;
        }
    }
    return ERR_SUCCESS;
}

ErrorCode read_command_line(SwitchTable& table, ErrorCode (*declare_switches)(SwitchTable& table), int argc,
                            char** argv) {
    init_switch_table(table);
    const ErrorCode code = declare_switches(table);
    return code < 0 ? code : parse_command_line(table, argc, argv);
}

ErrorCode declare_picture_format_switches(SwitchTable& table) {
    ErrorCode code = ERR_SUCCESS;
    if ((code = declare_string_switch(table, 'k')) < 0 || (code = declare_string_switch(table, 'a')) < 0) {
        return code;
    }
    return declare_string_switch(table, 's');
}
