// tintrix: gives each colour of a picture the colour source the user names.
#include <cstdio>
#include <memory>
#include <string>

#include "frame/errors.h"
#include "frame/file_names.h"
#include "c64/picture.h"
#include "remap.h"
#include "frame/switches.h"

namespace {

void print_usage() {
    std::printf("Usage: TINTRIX infile outfile [switches]\n");
    std::printf("\n");
    std::printf("switches are :\n");
    std::printf("\n");
    std::printf("-k   pictures in koala painter format (multi-color bitmap in 4 colors)\n");
    std::printf("-a   pictures in amica paint   format (multi-color bitmap in 4 colors)\n");
    std::printf("-s   pictures in art studio    format (hires       bitmap in 2 colors)\n");
    std::printf("\n");
    std::printf("-0NN bits 00 for multi-color pictures (Background    : $D021      )\n");
    std::printf("     or bit 0 for hires pictures      (LN-Screen-RAM : $0400-$07E7)\n");
    std::printf("     assigned to the color NN\n");
    std::printf("-1NN bits 01 for multi-color pictures (HN-Screen-RAM : $0400-$07E7)\n");
    std::printf("     or bit 1 for hires pictures      (HN-Screen-RAM : $0400-$07E7)\n");
    std::printf("     assigned to the color NN\n");
    std::printf("-2NN bits 10 for multi-color pictures (LN-Screen-RAM : $0400-$07E7)\n");
    std::printf("     assigned to the color NN\n");
    std::printf("-3NN bits 11 for multi-color pictures (Color-RAM     : $D800-$DBE7)\n");
    std::printf("     assigned to the color NN\n");
    std::printf("\n");
    std::printf("-?   display this help\n");
}

ErrorCode declare_switches(SwitchTable& table) {
    ErrorCode code = ERR_SUCCESS;
    if ((code = declare_file_name(table)) < 0 || (code = declare_file_name(table)) < 0 ||
        (code = declare_number_switch(table, '0', 0, 15)) < 0 ||
        (code = declare_number_switch(table, '1', 0, 15)) < 0 ||
        (code = declare_number_switch(table, '2', 0, 15)) < 0 ||
        (code = declare_number_switch(table, '3', 0, 15)) < 0 || (code = declare_picture_format_switches(table)) < 0) {
        return code;
    }
    return ERR_SUCCESS;
}

ErrorCode read_source_colours(const SwitchTable& table, SourceColours& sources) {
    return read_colour_switches(table, static_cast<int>(sources.colours.size()), sources.colours.data());
}

ErrorCode tool_main(int argc, char** argv) {
    auto table = std::make_unique<SwitchTable>();
    ErrorCode code = read_command_line(*table, declare_switches, argc, argv);
    if (code < 0) {
        return code;
    }
    if (table->name_count < 2) {
        return ERR_PARAMETERS;
    }
    const int format = picture_format_from_switches(*table, FORMAT_KOALA);
    // Both names default to the format's extension, whatever the input's own.
    const char* extension = picture_extensions[format];
    std::string input_path;
    std::string output_path;
    if ((code = get_file_name(*table, 1, extension, input_path)) < 0 ||
        (code = get_file_name(*table, 2, extension, output_path)) < 0) {
        return code;
    }
    if (input_path == output_path) {
        return ERR_SAME_FILE_NAMES;
    }
    SourceColours sources{};
    if ((code = read_source_colours(*table, sources)) < 0) {
        return code;
    }
    table.reset();
    if ((code = remap_picture(input_path, output_path, format, sources)) < 0) {
        return code;
    }
    print_ended_process();
    return ERR_SUCCESS;
}

}  // namespace

int main(int argc, char** argv) {
    const ToolDescription tool{"TINTRIX v0.9.1 - gives each colour of a picture the colour source you name", tool_main,
                               print_usage};
    return run_tool(argc, argv, tool);
}
