// emblex: turns a picture into a logo for a C64 character mode.
#include <cstdio>
#include <memory>
#include <string>

#include "frame/errors.h"
#include "frame/file_names.h"
#include "logo.h"
#include "c64/picture.h"
#include "c64/picture_formats.h"
#include "switch_declarations.h"
#include "frame/switches.h"

namespace {

void print_usage() {
    std::printf("Usage: EMBLEX infile outfile1 outfile2 outfile3 [switches]\n");
    std::printf("\n");
    std::printf("switches are :\n");
    std::printf("\n");
    std::printf("-k   pictures in koala painter format (multi-color bitmap) (default)\n");
    std::printf("-a   pictures in amica paint   format (multi-color bitmap)\n");
    std::printf("-s   pictures in art studio    format (hires       bitmap)\n");
    std::printf("\n");
    std::printf("-0NN bits 00 for multi-color pictures (Background : $D021)\n");
    std::printf("     or bit 0 for hires pictures      (Background : $D021)\n");
    std::printf("     assigned to the color NN\n");
    std::printf("-1NN bits 01 for multi-color pictures (MC-Color1  : $d022)\n");
    std::printf("     assigned to the color NN\n");
    std::printf("-2NN bits 10 for multi-color pictures (MC-Color2  : $d023)\n");
    std::printf("     assigned to the color NN\n");
    std::printf("-?   display this help\n\n");
    std::printf("     outfile1 is the font file\n");
    std::printf("     outfile2 is the screen memory file\n");
    std::printf("     outfile3 is the color memory file\n");
}

ErrorCode read_shared_colours(const SwitchTable& table, SharedColours& shared) {
    return read_colour_switches(table, static_cast<int>(shared.colours.size()), shared.colours.data());
}

struct LogoPaths {
    std::string picture;
    std::string font;
    std::string screen;
    std::string colour;
};

ErrorCode build_paths(const SwitchTable& table, int& format, LogoPaths& paths) {
    ErrorCode code = ERR_SUCCESS;
    if ((code = get_picture_input(table, 1, paths.picture, format)) < 0 ||
        (code = get_file_name(table, 2, "fnt", paths.font)) < 0 ||
        (code = get_file_name(table, 3, "scr", paths.screen)) < 0 ||
        (code = get_file_name(table, 4, "col", paths.colour)) < 0) {
        return code;
    }
    return ERR_SUCCESS;
}

ErrorCode tool_main(int argc, char** argv) {
    auto table = std::make_unique<SwitchTable>();
    ErrorCode code = read_command_line(*table, declare_emblex_switches, argc, argv);
    if (code < 0) {
        return code;
    }
    if (table->name_count < LOGO_FILE_NAMES) {
        return ERR_PARAMETERS;
    }
    int format = picture_format_from_switches(*table, FORMAT_KOALA);
    LogoPaths paths;
    if ((code = build_paths(*table, format, paths)) < 0) {
        return code;
    }
    SharedColours shared{};
    if ((code = read_shared_colours(*table, shared)) < 0) {
        return code;
    }
    table.reset();
    if ((code = build_logo(paths.font, paths.screen, paths.picture, paths.colour, format, shared)) < 0) {
        return code;
    }
    print_ended_process();
    return ERR_SUCCESS;
}

}  // namespace

int main(int argc, char** argv) {
    const ToolDescription tool{"EMBLEX v0.9.0 - turns a picture into a character-mode logo", tool_main, print_usage};
    return run_tool(argc, argv, tool);
}
