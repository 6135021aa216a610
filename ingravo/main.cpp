// ingravo: converts a PCX image drawn with C64 colour numbers into a C64
// picture file, or marks the cells that break the limits of the mode.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "convert/photo_conversion.h"
#include "convert_any.h"
#include "frame/errors.h"
#include "frame/file_names.h"
#include "fit.h"
#include "import_pcx.h"
#include "palettes/palette_library.h"
#include "c64/picture.h"
#include "switch_declarations.h"
#include "frame/switches.h"

namespace {

void print_usage() {
    std::printf("Usage: INGRAVO infile [outfile] [errorfile] [switches]\n");
    std::printf("\n");
    std::printf("switches are :\n");
    std::printf("-k   target picture in koala painter format  (multi-color bitmap) (default)\n");
    std::printf("-a   target picture in amica paint   format  (multi-color bitmap)\n");
    std::printf("-s   target picture in art studio    format  (hires       bitmap)\n");
    std::printf("-bNN backgound color for multi-color picture (default is the most used color)\n");
    std::printf("-?   display this help\n");
    std::printf("-cNN palette the png or gif image was drawn in, 0 to %d (default: found from its colours)\n",
                LIBRARY_PALETTE_COUNT - 1);
    std::printf("-f   fit: find multi-color or hires and the background from the picture\n");
    std::printf("-dN  convert a picture of any colours and size (photo, drawing): -d best, -d0 no dithering,\n");
    std::printf("     -d2 error diffusion alone; -cNN is then the palette to convert into (default %d)\n",
                DEFAULT_CONVERSION_PALETTE);
    std::printf("-w   with -d: keep the whole picture inside the screen (default: cover it, cropped)\n");
    std::printf("-vN  with -d: the view to convert for: -v0 a television or an emulator's CRT view (default),\n");
    std::printf("     -v1 crisp pixels (a screenshot, a PNG, an emulator with its filter off)\n");
}

// Art Studio is hires: it has no background, and -k contradicts it.
ErrorCode check_switch_conflicts(const SwitchTable& table) {
    if (switch_given(table, 's') && (switch_given(table, 'b') || switch_given(table, 'k'))) {
        return ERR_PARAMETERS;
    }
    return ERR_SUCCESS;
}

// What -f may not change: a format switch, else the output name's extension.
int fixed_picture_format(const SwitchTable& table) {
    if (switch_given(table, 'k') || switch_given(table, 'a') || switch_given(table, 's')) {
        return picture_format_from_switches(table, FORMAT_KOALA);
    }
    return table.name_count >= 2 ? format_of_output_name(table.file_names[1].data()) : FIT_MODE_OPEN;
}

void choose_format(const SwitchTable& table, ImportRequest& request) {
    request.fit = switch_given(table, 'f');
    request.fit_format = fixed_picture_format(table);
    request.format = picture_format_from_switches(table, FORMAT_KOALA);
    if (request.fit && request.fit_format != FIT_MODE_OPEN) {
        request.format = request.fit_format;
    }
}

ErrorCode build_file_names(const SwitchTable& table, ImportRequest& request) {
    const char* picture_extension = picture_extensions[request.format];
    ErrorCode code = get_file_name(table, 1, "pcx", request.pcx_path);
    if (code < 0) {
        return code;
    }
    code = get_output_file_name(table, 2, 1, picture_extension, request.picture_path);
    if (code < 0) {
        return code;
    }
    // With the mode open the picture's name follows the mode found.
    if (request.fit && request.fit_format == FIT_MODE_OPEN) {
        code = get_output_file_name(table, 2, 1, picture_extensions[FORMAT_ART_STUDIO], request.hires_picture_path);
        if (code < 0) {
            return code;
        }
    }
    // The errors image goes to the current folder, whatever the input.
    if (table.name_count < 3) {
        request.errors_path = "errors.pcx";
        return ERR_SUCCESS;
    }
    return get_file_name(table, 3, "pcx", request.errors_path);
}

ErrorCode read_background(const SwitchTable& table, ImportRequest& request) {
    request.background_given = switch_given(table, 'b');
    request.background = 0;
    return read_number_switch(table, 'b', request.background);
}

// -d alone is the best dither; -dN names a kind. -w and -v go with -d only.
ErrorCode read_dither(const SwitchTable& table, ImportRequest& request) {
    request.dither = -1;
    request.whole_picture = switch_given(table, 'w');
    request.view = VIEW_TELEVISION;
    if (!switch_given(table, 'd')) {
        return request.whole_picture || switch_given(table, 'v') ? ERR_PARAMETERS : ERR_SUCCESS;
    }
    const ErrorCode code = read_number_switch(table, 'v', request.view);
    if (code < 0) {
        return code;
    }
    const char* text = switch_text(table, 'd');
    if (*text == '\0') {
        request.dither = DITHER_BEST;
        return ERR_SUCCESS;
    }
    if (!is_decimal_string(text) || std::strlen(text) > 2) {
        return ERR_NOT_INTEGER;
    }
    request.dither = std::atoi(text);
    if (request.dither >= DITHER_KIND_COUNT) {
        std::printf("Valeur : %d en dehors de l'intervalle : [%d, %d]\n", request.dither, 0, DITHER_KIND_COUNT - 1);
        return ERR_PARAMETERS;
    }
    return ERR_SUCCESS;
}

// -c matters to a PNG only: a PCX holds colour numbers already.
ErrorCode read_palette(const SwitchTable& table, ImportRequest& request) {
    request.palette_given = switch_given(table, 'c');
    request.palette = request.dither >= 0 ? DEFAULT_CONVERSION_PALETTE : 0;
    return read_number_switch(table, 'c', request.palette);
}

bool names_clash(const ImportRequest& request) {
    const bool hires_clash = !request.hires_picture_path.empty() && (request.pcx_path == request.hires_picture_path ||
                                                                     request.hires_picture_path == request.errors_path);
    return request.pcx_path == request.picture_path || request.pcx_path == request.errors_path ||
           request.picture_path == request.errors_path || hires_clash;
}

ErrorCode tool_main(int argc, char** argv) {
    auto table = std::make_unique<SwitchTable>();
    ErrorCode code = read_command_line(*table, declare_ingravo_switches, argc, argv);
    if (code < 0) {
        return code;
    }
    if (table->name_count < 1) {
        return ERR_PARAMETERS;
    }
    if ((code = check_switch_conflicts(*table)) < 0) {
        return code;
    }
    ImportRequest request{};
    choose_format(*table, request);
    if ((code = build_file_names(*table, request)) < 0 || (code = read_background(*table, request)) < 0 ||
        (code = read_dither(*table, request)) < 0 || (code = read_palette(*table, request)) < 0) {
        return code;
    }
    table.reset();
    if (names_clash(request)) {
        return ERR_SAME_FILE_NAMES;
    }
    if ((code = request.dither >= 0 ? convert_any_picture(request) : import_pcx(request)) < 0) {
        return code;
    }
    print_ended_process();
    return ERR_SUCCESS;
}

}  // namespace

int main(int argc, char** argv) {
    const ToolDescription tool{"INGRAVO v1.0.0beta - converts a PCX image into a C64 picture", tool_main,
                               print_usage};
    return run_tool(argc, argv, tool);
}
