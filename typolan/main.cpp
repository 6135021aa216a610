// typolan: lays a C64 font out as a picture.
#include <cstdio>
#include <memory>
#include <string>

#include "frame/errors.h"
#include "frame/file_names.h"
#include "font_layout.h"
#include "c64/picture.h"
#include "frame/switches.h"

namespace {

void print_usage() {
    std::printf("Usage: TYPOLAN infile [outfile][switches]\n");
    std::printf("\n");
    std::printf("switches are :\n");
    std::printf("-k   target picture in koala painter format  (multi-color bitmap)\n");
    std::printf("-a   target picture in amica paint   format  (multi-color bitmap)\n");
    std::printf("-s   target picture in art studio    format  (hires       bitmap) (default)\n");
    std::printf("-0NN bits 00 for multi-color pictures or bit 0 for hires pictures\n");
    std::printf("     assigned to the color NN\n");
    std::printf("-1NN bits 01 for multi-color pictures or bit 1 for hires pictures\n");
    std::printf("     assigned to the color NN\n");
    std::printf("-2NN bits 10 for multi-color pictures assigned to the color NN\n");
    std::printf("-3NN bits 11 for multi-color pictures assigned to the color NN\n");
    std::printf("-? display this help\n");
}

ErrorCode declare_switches(SwitchTable& table) {
    ErrorCode code = ERR_SUCCESS;
    if ((code = declare_file_name(table)) < 0 || (code = declare_number_switch(table, '0', 0, 15)) < 0 ||
        (code = declare_number_switch(table, '1', 0, 15)) < 0 || (code = declare_file_name(table)) < 0 ||
        (code = declare_number_switch(table, '2', 0, 15)) < 0 ||
        (code = declare_number_switch(table, '3', 0, 15)) < 0 || (code = declare_picture_format_switches(table)) < 0) {
        return code;
    }
    return ERR_SUCCESS;
}

ErrorCode read_colours(const SwitchTable& table, FontColours& colours) {
    return read_colour_switches(table, static_cast<int>(colours.colours.size()), colours.colours.data());
}

ErrorCode tool_main(int argc, char** argv) {
    auto table = std::make_unique<SwitchTable>();
    ErrorCode code = read_command_line(*table, declare_switches, argc, argv);
    if (code < 0) {
        return code;
    }
    if (table->name_count < 1) {
        return ERR_PARAMETERS;
    }
    const int format = picture_format_from_switches(*table, FORMAT_ART_STUDIO);
    const char* picture_extension = picture_extensions[format];
    std::string font_path;
    std::string picture_path;
    if ((code = get_file_name(*table, 1, "fnt", font_path)) < 0) {
        return code;
    }
    if ((code = get_output_file_name(*table, 2, 1, picture_extension, picture_path)) < 0) {
        return code;
    }
    FontColours colours{};
    if ((code = read_colours(*table, colours)) < 0) {
        return code;
    }
    table.reset();
    if ((code = lay_font_out(font_path, picture_path, format, colours)) < 0) {
        return code;
    }
    print_ended_process();
    return ERR_SUCCESS;
}

}  // namespace

int main(int argc, char** argv) {
    const ToolDescription tool{"TYPOLAN v0.0.9beta - lays a C64 font out as a picture", tool_main, print_usage};
    return run_tool(argc, argv, tool);
}
