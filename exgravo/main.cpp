// exgravo: converts a C64 picture file into a PCX image.
#include <cstdio>
#include <memory>
#include <string>

#include "frame/errors.h"
#include "export_picture.h"
#include "frame/file_names.h"
#include "c64/picture.h"
#include "c64/picture_formats.h"
#include "c64/pixel.h"
#include "frame/switches.h"
#include "palettes/palette_library.h"

namespace {

// -p (a built-in palette) is left out of the text on purpose; -c, any
// palette of the library, comes after the original lines.
void print_usage() {
    std::printf("Usage: EXGRAVO infile [outfile] [switches]\n");
    std::printf("\n");
    std::printf("switches are :\n");
    std::printf("-k source picture in koala painter format (multi-color bitmap) (default)\n");
    std::printf("-a source picture in amica paint   format (multi-color bitmap)          \n");
    std::printf("-s source picture in art studio    format (hires       bitmap)          \n");
    std::printf("-? display this help                                                    \n");
    std::printf("-cNN palette of the image, 0 to %d of the palette library (default: %d)\n",
                LIBRARY_PALETTE_COUNT - 1, DEFAULT_PALETTE);
}

ErrorCode declare_switches(SwitchTable& table) {
    ErrorCode code = ERR_SUCCESS;
    if ((code = declare_file_name(table)) < 0 || (code = declare_file_name(table)) < 0 ||
        (code = declare_picture_format_switches(table)) < 0 ||
        (code = declare_number_switch(table, 'p', 0, PALETTE_COUNT - 1)) < 0 ||
        (code = declare_number_switch(table, 'c', 0, LIBRARY_PALETTE_COUNT - 1)) < 0) {
        return code;
    }
    return ERR_SUCCESS;
}

ErrorCode build_file_names(const SwitchTable& table, int& format, std::string& picture_path, std::string& pcx_path) {
    const ErrorCode code = get_picture_input(table, 1, picture_path, format);
    if (code < 0) {
        return code;
    }
    return get_output_file_name(table, 2, 1, "pcx", pcx_path);
}

// -p chooses among the built-in palettes, -c among all of the library's;
// a command line names one palette, so the two together are refused.
ErrorCode read_palette(const SwitchTable& table, std::int32_t& palette) {
    if (switch_given(table, 'p') && switch_given(table, 'c')) {
        return ERR_PARAMETERS;
    }
    palette = DEFAULT_PALETTE;
    return read_number_switch(table, switch_given(table, 'c') ? 'c' : 'p', palette);
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
    int format = picture_format_from_switches(*table, FORMAT_KOALA);
    std::string picture_path;
    std::string pcx_path;
    if ((code = build_file_names(*table, format, picture_path, pcx_path)) < 0) {
        return code;
    }
    std::int32_t palette = DEFAULT_PALETTE;
    if ((code = read_palette(*table, palette)) < 0) {
        return code;
    }
    table.reset();
    if (picture_path == pcx_path) {
        return ERR_SAME_FILE_NAMES;
    }
    if ((code = export_picture(picture_path, pcx_path, format, palette)) < 0) {
        return code;
    }
    print_ended_process();
    return ERR_SUCCESS;
}

}  // namespace

int main(int argc, char** argv) {
    const ToolDescription tool{"EXGRAVO v1.0.0beta - converts a C64 picture into a PCX image", tool_main,
                               print_usage};
    return run_tool(argc, argv, tool);
}
