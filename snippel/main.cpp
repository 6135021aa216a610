// snippel: cuts one rectangle of a C64 picture into raw sprite data.
#include <cstdio>
#include <memory>
#include <string>

#include "frame/errors.h"
#include "frame/file_names.h"
#include "c64/picture.h"
#include "c64/picture_formats.h"
#include "sprite_file.h"
#include "frame/switches.h"

namespace {

void print_usage() {
    std::printf("Usage: SNIPPEL infile outfile [switches]\n");
    std::printf("\n");
    std::printf("switches are :\n");
    std::printf("\n");
    std::printf("-k   source picture in koala painter format (multi-color bitmap) (default)\n");
    std::printf("-a   source picture in amica paint   format (multi-color bitmap)\n");
    std::printf("-s   source picture in art studio    format (hires       bitmap)\n");
    std::printf("-x   x-coordinate of the sprite in the picture\n");
    std::printf("-y   y-coordinate of the sprite in the picture\n");
    std::printf("-w   width  of the sprite in pixels\n");
    std::printf("-h   height of the sprite in pixels\n");
    std::printf("-0NN bits 00 for multi-color pictures or bit 0 for hires pictures\n");
    std::printf("     assigned to the color NN\n");
    std::printf("-1NN bits 01 for multi-color pictures or bit 1 for hires pictures\n");
    std::printf("     assigned to the color NN\n");
    std::printf("-2NN bits 10 for multi-color pictures assigned to the color NN\n");
    std::printf("-3NN bits 11 for multi-color pictures assigned to the color NN\n");
}

ErrorCode declare_switches(SwitchTable& table) {
    ErrorCode code = ERR_SUCCESS;
    if ((code = declare_file_name(table)) < 0 || (code = declare_file_name(table)) < 0 ||
        (code = declare_number_switch(table, 'x', 0, 319)) < 0 ||
        (code = declare_number_switch(table, 'y', 0, 199)) < 0 ||
        (code = declare_number_switch(table, 'w', 1, 320)) < 0 ||
        (code = declare_number_switch(table, 'h', 1, 200)) < 0) {
        return code;
    }
    for (const char letter : {'0', '1', '2', '3'}) {
        if ((code = declare_number_switch(table, letter, 0, 15)) < 0) {
            return code;
        }
    }
    return declare_picture_format_switches(table);
}

ErrorCode read_settings(const SwitchTable& table, SpriteCutSettings& settings) {
    settings.x = 0;
    settings.y = 0;
    settings.colours.fill(0);
    ErrorCode code = ERR_SUCCESS;
    if ((code = read_number_switch(table, 'x', settings.x)) < 0 || (code = read_number_switch(table, 'y', settings.y)) < 0 ||
        (code = read_number_switch(table, 'w', settings.w)) < 0 || (code = read_number_switch(table, 'h', settings.h)) < 0) {
        return code;
    }
    return read_colour_switches(table, static_cast<int>(settings.colours.size()), settings.colours.data());
}

ErrorCode tool_main(int argc, char** argv) {
    auto table = std::make_unique<SwitchTable>();
    ErrorCode code = read_command_line(*table, declare_switches, argc, argv);
    if (code < 0) {
        return code;
    }
    if (table->name_count < 2 || !switch_given(*table, 'w') || !switch_given(*table, 'h')) {
        return ERR_PARAMETERS;
    }
    SpriteCutSettings settings{};
    settings.format = picture_format_from_switches(*table, FORMAT_KOALA);
    std::string picture_path;
    std::string sprite_path;
    if ((code = get_picture_input(*table, 1, picture_path, settings.format)) < 0 ||
        (code = get_file_name(*table, 2, "spr", sprite_path)) < 0 || (code = read_settings(*table, settings)) < 0) {
        return code;
    }
    table.reset();
    // The sprite file must never replace the picture it is cut from.
    if (picture_path == sprite_path) {
        return ERR_SAME_FILE_NAMES;
    }
    if ((code = write_sprite_file(picture_path, sprite_path, settings)) < 0) {
        return code;
    }
    print_ended_process();
    return ERR_SUCCESS;
}

}  // namespace

int main(int argc, char** argv) {
    const ToolDescription tool{"SNIPPEL v0.9.0 - cuts sprites out of a C64 picture", tool_main, print_usage};
    return run_tool(argc, argv, tool);
}
