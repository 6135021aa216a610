// The command line of real programs: the first byte chooses the program,
// the rest are its arguments, separated by NUL bytes. The words go through
// the program's own declarations, the parser and the name and switch
// readers that tool_main uses.
#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "frame/file_names.h"
#include "c64/picture.h"
#include "frame/switches.h"
#include "emblex/switch_declarations.h"
#include "ingravo/switch_declarations.h"
#include "zorbel/switch_declarations.h"

namespace {

constexpr std::size_t MAX_WORDS = 64;

struct Program {
    const char* name;
    ErrorCode (*declare_switches)(SwitchTable& table);
};

const std::array<Program, 3> programs = {{
    {"ingravo", declare_ingravo_switches},
    {"emblex", declare_emblex_switches},
    {"zorbel", declare_zorbel_switches},
}};

std::vector<std::string> split_words(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> words;
    std::string word;
    for (std::size_t i = 0; i < size && words.size() < MAX_WORDS; ++i) {
        if (data[i] == '\0') {
            words.push_back(word);
            word.clear();
        } else {
            word += static_cast<char>(data[i]);
        }
    }
    if (!word.empty() && words.size() < MAX_WORDS) {
        words.push_back(word);
    }
    return words;
}

// What tool_main asks of the table after a successful parse.
void read_parsed_table(const SwitchTable& table) {
    const int format = picture_format_from_switches(table, FORMAT_KOALA);
    std::string name;
    for (int position = 1; position <= table.name_count; ++position) {
        get_file_name(table, position, picture_extensions[format], name);
        derive_file_name(table, position, "pcx", name);
    }
    get_output_file_name(table, table.name_count + 1, 1, "def", name);
    for (int i = 0; i < table.switch_count; ++i) {
        std::int32_t value = 0;
        if (table.kinds[i] == 'N' && switch_given(table, table.letters[i])) {
            get_number_switch(table, table.letters[i], value);
        }
    }
    std::array<std::uint8_t, 4> colours{};
    read_colour_switches(table, 3, colours.data());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const Program& program = programs[data[0] % programs.size()];
    std::vector<std::string> words = split_words(data + 1, size - 1);
    std::vector<char*> argv;
    std::string program_name = program.name;
    argv.push_back(program_name.data());
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    const auto table = std::make_unique<SwitchTable>();
    std::memset(table.get(), 0xA5, sizeof(SwitchTable));  // no reliance on a cleared table
    if (read_command_line(*table, program.declare_switches, static_cast<int>(argv.size() - 1), argv.data()) >= 0) {
        read_parsed_table(*table);
    }
    return 0;
}
