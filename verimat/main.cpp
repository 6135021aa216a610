// verimat: compares two C64 pictures cell by cell and writes a patch file and
// a difference image.
#include <cstdio>
#include <memory>
#include <string>

#include "compare_pictures.h"
#include "frame/errors.h"
#include "frame/file_names.h"
#include "c64/picture.h"
#include "c64/pixel.h"
#include "frame/switches.h"
#include "palettes/palette_library.h"

namespace {

// -p (a built-in palette) is left out of the text on purpose; -c, any
// palette of the library, comes after the original lines.
void print_usage() {
    std::printf("Usage: VERIMAT infile1 infile2 [outfile1] [outfile2][switches]\n");
    std::printf("\n");
    std::printf("switches are :\n");
    std::printf("-k source picture in koala painter format (multi-color bitmap) (default)\n");
    std::printf("-a source picture in amica paint   format (multi-color bitmap)          \n");
    std::printf("-s source picture in art studio    format (hires       bitmap)          \n");
    std::printf("-? display this help                                                    \n");
    std::printf("-cNN palette of the difference image, 0 to %d of the palette library (default: %d)\n",
                LIBRARY_PALETTE_COUNT - 1, DEFAULT_PALETTE);
}

ErrorCode declare_switches(SwitchTable& table) {
    ErrorCode code = ERR_SUCCESS;
    for (int name = 0; name < 4; ++name) {
        if ((code = declare_file_name(table)) < 0) {
            return code;
        }
    }
    if ((code = declare_picture_format_switches(table)) < 0 ||
        (code = declare_number_switch(table, 'p', 0, PALETTE_COUNT - 1)) < 0 ||
        (code = declare_number_switch(table, 'c', 0, LIBRARY_PALETTE_COUNT - 1)) < 0) {
        return code;
    }
    return ERR_SUCCESS;
}

ErrorCode build_file_names(const SwitchTable& table, CompareRequest& request) {
    const char* picture_extension = picture_extensions[request.format];
    ErrorCode code = get_file_name(table, 1, picture_extension, request.first_path);
    if (code < 0 || (code = get_file_name(table, 2, picture_extension, request.second_path)) < 0) {
        return code;
    }
    code = get_output_file_name(table, 3, 2, "bin", request.patch_path);
    if (code < 0) {
        return code;
    }
    // The difference image goes to the current folder unless named.
    if (table.name_count < 4) {
        request.difference_path = "diff.pcx";
        return ERR_SUCCESS;
    }
    return get_file_name(table, 4, "pcx", request.difference_path);
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
    if (table->name_count < 2) {
        return ERR_PARAMETERS;
    }
    CompareRequest request{};
    request.format = picture_format_from_switches(*table, FORMAT_KOALA);
    if ((code = build_file_names(*table, request)) < 0) {
        return code;
    }
    std::int32_t palette = DEFAULT_PALETTE;
    if ((code = read_palette(*table, palette)) < 0) {
        return code;
    }
    request.palette = palette;
    table.reset();
    // An output may replace an input (it has been read by then), but the two
    // outputs in one file would lose the patch.
    if (request.patch_path == request.difference_path) {
        return ERR_SAME_FILE_NAMES;
    }
    int count = 0;
    if ((code = compare_pictures(request, count)) < 0) {
        return code;
    }
    std::printf("%d different chars\n", count);
    print_ended_process();
    return ERR_SUCCESS;
}

}  // namespace

int main(int argc, char** argv) {
    const ToolDescription tool{"VERIMAT v0.0.9beta - compares two C64 pictures cell by cell", tool_main,
                               print_usage};
    return run_tool(argc, argv, tool);
}
