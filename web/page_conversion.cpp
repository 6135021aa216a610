// The page's side of the library, called from its worker (worker.js): a
// picture the browser decoded converted as `ingravo -d` converts it, the
// suite's own PCX the same way, and a C64 picture file rendered as `exgravo`
// renders it. Files pass through the in-memory file system, so the library
// reads and writes them by name as the programs do.
#include <emscripten/bind.h>
#include <emscripten/val.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "c64/picture.h"
#include "c64/picture_formats.h"
#include "c64/pixel.h"
#include "convert/best_mode.h"
#include "convert/photo_conversion.h"
#include "frame/errors.h"
#include "frame/file_names.h"
#include "palettes/palette_library.h"
#include "runnable/runnable_program.h"
// The page's only ties to desktop/: pictures arrive decoded, or as the suite's PCX.
#include "desktop/pcx.h"
#include "desktop/rgba_screen.h"

using emscripten::val;

namespace {

constexpr const char* INPUT_FOLDER = "/input/";
constexpr const char* OUTPUT_FOLDER = "/output/";

// What one conversion gives the page: the lines the programs would print,
// and on success the files and the screen.
struct PageResult {
    ErrorCode code = ERR_SUCCESS;
    std::string lines;
    std::string picture_extension;  // "koa" or "art"
    std::vector<std::uint8_t> picture_file;
    std::vector<std::uint8_t> program_file;
    std::vector<std::uint8_t> screen;  // 320 x 200 RGBA
};

void add_line(PageResult& result, const std::string& line) {
    result.lines += line;
    result.lines += '\n';
}

std::string hex_byte(int value) {
    char text[8];
    std::snprintf(text, sizeof text, "$%02x", value & 0xFF);
    return text;
}

std::vector<std::uint8_t> bytes_of(const val& array) {
    return emscripten::convertJSArrayToNumberVector<std::uint8_t>(array);
}

val array_of(const std::vector<std::uint8_t>& bytes) {
    return val::global("Uint8Array").new_(emscripten::typed_memory_view(bytes.size(), bytes.data()));
}

// The folders of the in-memory file system the library reads and writes in.
void make_folders() {
    std::error_code failure;
    std::filesystem::create_directories(INPUT_FOLDER, failure);
    std::filesystem::create_directories(OUTPUT_FOLDER, failure);
}

ErrorCode write_whole_file(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    make_folders();
    FileHandle file = FileHandle::open(path, "wb");
    if (!file.is_open()) {
        return ERR_CREATE;
    }
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file.get()) != bytes.size()) {
        return ERR_WRITE;
    }
    return file.close();
}

ErrorCode read_whole_file(const std::string& path, std::vector<std::uint8_t>& bytes) {
    FileHandle file = FileHandle::open(path, "rb");
    if (!file.is_open()) {
        return ERR_OPEN;
    }
    bytes.clear();
    std::uint8_t block[4096];
    std::size_t count = 0;
    while ((count = std::fread(block, 1, sizeof block, file.get())) > 0) {
        bytes.insert(bytes.end(), block, block + count);
    }
    if (std::ferror(file.get()) != 0) {
        return ERR_READ;
    }
    std::remove(path.c_str());
    return ERR_SUCCESS;
}

void screen_of(const PixelImage& image, std::vector<std::uint8_t>& screen) {
    screen.assign(static_cast<std::size_t>(IMAGE_PIXELS) * 4, 0xFF);
    for (std::size_t pixel = 0; pixel < IMAGE_PIXELS; ++pixel) {
        const std::size_t entry = image.pixels[pixel];
        for (std::size_t c = 0; c < 3; ++c) {
            screen[pixel * 4 + c] = image.palette[entry * 3 + c];
        }
    }
}

// The picture file, the program and the screen of a picture, multicolour or
// hires (border: the colour a hires program shows around it); image is the
// picture rendered.
ErrorCode finish_picture(const C64Picture* multicolour, const HiresPicture* hires, std::uint8_t border, int palette,
                         PixelImage& image, PageResult& result) {
    const std::string picture_path = std::string(OUTPUT_FOLDER) + "picture." + (hires ? "art" : "koa");
    const std::string program_path = std::string(OUTPUT_FOLDER) + "picture.prg";
    make_folders();
    ErrorCode code = hires ? save_hires_picture(picture_path, *hires)
                           : save_multicolour_picture(picture_path, FORMAT_KOALA, *multicolour);
    if (code < 0 || (code = read_whole_file(picture_path, result.picture_file)) < 0) {
        return code;
    }
    code = hires ? write_hires_program(program_path, *hires, border) : write_multicolour_program(program_path, *multicolour);
    if (code < 0 || (code = read_whole_file(program_path, result.program_file)) < 0) {
        return code;
    }
    code = hires ? render_hires_picture(*hires, image, palette) : render_multicolour_picture(*multicolour, image, palette);
    if (code < 0) {
        return code;
    }
    screen_of(image, result.screen);
    result.picture_extension = hires ? "art" : "koa";
    return ERR_SUCCESS;
}

// The choices of the page, as ingravo's switches would give them.
struct PageChoices {
    std::string mode;  // "multicolour", "hires" or "fit" (-f)
    int palette;       // -c
    int dither;        // -d
    int view;          // -v
    bool whole;        // -w
    int background;    // -b, or -1 for the conversion's choice
};

ErrorCode check_choices(const PageChoices& choices) {
    const bool mode_known = choices.mode == "multicolour" || choices.mode == "hires" || choices.mode == "fit";
    if (!mode_known || choices.palette < 0 || choices.palette >= LIBRARY_PALETTE_COUNT || choices.dither < 0 ||
        choices.dither >= DITHER_KIND_COUNT || choices.view < 0 || choices.view >= VIEW_COUNT ||
        choices.background < -1 || choices.background >= C64_COLOUR_COUNT) {
        return ERR_PARAMETERS;
    }
    return ERR_SUCCESS;
}

PageChoices choices_of(const val& options) {
    return {options["mode"].as<std::string>(), options["palette"].as<int>(), options["dither"].as<int>(),
            options["view"].as<int>(),         options["whole"].as<bool>(),  options["background"].as<int>()};
}

// The conversion part of `ingravo -d`, from a screen already read.
ErrorCode convert_screen(const ScreenImage& screen, const PageChoices& choices, PageResult& result) {
    // A background is a multicolour picture's: hires leaves the choice aside.
    const bool background_given = choices.background >= 0 && choices.mode != "hires";
    PhotoConversion request{choices.mode == "hires", choices.palette, background_given,
                            background_given ? choices.background : 0, choices.dither, choices.view};
    const auto picture = std::make_unique_for_overwrite<ConvertedPicture>();
    bool hires = request.hires;
    ErrorCode code = ERR_SUCCESS;
    if (choices.mode == "fit") {
        PictureScore multicolour_score{};
        PictureScore hires_score{};
        code = convert_in_best_mode(screen, request, *picture, hires, multicolour_score, hires_score);
        if (code < 0) {
            return code;
        }
        char line[120];
        if (background_given) {
            std::snprintf(line, sizeof line, "fit: multicolour, as -b gives a background");
        } else {
            std::snprintf(line, sizeof line, "fit: %s (mean colour difference: multicolour %.2f, hires %.2f)",
                          hires ? "hires" : "multicolour", multicolour_score.delta_e, hires_score.delta_e);
        }
        add_line(result, line);
    } else if ((code = convert_photo(screen, request, *picture)) < 0) {
        return code;
    }
    if (hires) {
        add_line(result, "converted to hires in palette " + std::to_string(choices.palette));
    } else {
        add_line(result, "converted to multicolour in palette " + std::to_string(choices.palette) + ", background " +
                             hex_byte(picture->background));
    }
    const auto image = std::make_unique_for_overwrite<PixelImage>();
    return finish_picture(&picture->multicolour, hires ? &picture->hires : nullptr, 0, choices.palette, *image, result);
}

ErrorCode convert_rgba(const std::vector<std::uint8_t>& rgba, int width, int height, const std::string& format,
                       const PageChoices& choices, ErrorCode refusal, PageResult& result) {
    ErrorCode code = check_choices(choices);
    if (code < 0) {
        return code;
    }
    if (width <= 0 || height <= 0 || rgba.size() != static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4) {
        return ERR_FUNCTION_PARAMETERS;
    }
    const auto screen = std::make_unique_for_overwrite<ScreenImage>();
    ScreenSource source{};
    source.format = format;
    code = rgba_read_screen(rgba.data(), width, height, choices.whole ? ScreenFit::contain : ScreenFit::cover, refusal,
                            *screen, source);
    if (code < 0) {
        if (!source.problem.empty()) {
            add_line(result, format + " file of " + std::to_string(width) + " x " + std::to_string(height) +
                                 " refused: " + source.problem);
        }
        return code;
    }
    add_line(result, "read " + format + " " + std::to_string(width) + " x " + std::to_string(height));
    return convert_screen(*screen, choices, result);
}

// The French line of an error code, in UTF-8.
std::string error_message(int code) {
    std::string message;
    if (code < 0 && -code < ERROR_MESSAGE_COUNT) {
        for (const char* text = error_messages[-code]; *text != '\0'; ++text) {
            const auto byte = static_cast<unsigned char>(*text);
            if (byte < 0x80) {
                message += static_cast<char>(byte);
            } else {
                message += cp850_to_utf8(byte);
            }
        }
    }
    return message;
}

// A result for the worker: {code, lines, error, pictureExtension, picture,
// program, screen}.
val result_value(PageResult& result) {
    val value = val::object();
    if (result.code < 0) {
        value.set("error", error_message(result.code));
    }
    value.set("code", static_cast<int>(result.code));
    value.set("lines", result.lines);
    if (result.code >= 0) {
        value.set("pictureExtension", result.picture_extension);
        value.set("picture", array_of(result.picture_file));
        value.set("program", array_of(result.program_file));
        value.set("screen", array_of(result.screen));
    }
    return value;
}

// A picture the browser decoded, as 8-bit sRGB RGBA; format names it in the
// lines ("png"), refusal is its format's error code.
val convert_decoded_picture(const val& rgba, int width, int height, const std::string& format, int refusal,
                            const val& options) {
    PageResult result;
    result.code = convert_rgba(bytes_of(rgba), width, height, format, choices_of(options),
                               static_cast<ErrorCode>(refusal), result);
    return result_value(result);
}

// A file no browser decodes: the suite's PCX, as ingravo -d takes any
// picture it does not recognise.
val convert_pcx_file(const val& bytes, const val& options) {
    PageResult result;
    const std::string path = std::string(INPUT_FOLDER) + "picture.pcx";
    const auto image = std::make_unique_for_overwrite<PixelImage>();
    result.code = write_whole_file(path, bytes_of(bytes));
    if (result.code >= 0) {
        result.code = pcx_read(path, *image);
        std::remove(path.c_str());
    }
    if (result.code >= 0) {
        std::vector<std::uint8_t> rgba;
        screen_of(*image, rgba);
        result.code = convert_rgba(rgba, IMAGE_WIDTH, IMAGE_HEIGHT, "pcx", choices_of(options), ERR_INVALID_PCX, result);
    }
    return result_value(result);
}

// The format number of a C64 picture's file name, as exgravo takes it with
// the switch its extension names (.ami with -a, .art with -s), or -1 when the
// name is no C64 picture's.
int c64_picture_format(const std::string& name) {
    const int format = format_of_file_name(name, -1);
    if (format >= 0) {
        return format;
    }
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos) {
        return -1;
    }
    std::string extension = name.substr(dot + 1);
    for (char& c : extension) {
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    }
    for (std::size_t format_number = 0; format_number < picture_extensions.size(); ++format_number) {
        if (extension == picture_extensions[format_number]) {
            return static_cast<int>(format_number);
        }
    }
    return -1;
}

ErrorCode render_c64_file(const std::vector<std::uint8_t>& bytes, const std::string& name, int palette,
                          PageResult& result) {
    const int format = c64_picture_format(name);
    if (format < 0 || palette < 0 || palette >= LIBRARY_PALETTE_COUNT) {
        return ERR_PARAMETERS;
    }
    // The extension decides the format, as it does for exgravo.
    const std::size_t dot = name.rfind('.');
    const std::string path = std::string(INPUT_FOLDER) + "picture" + name.substr(dot);
    ErrorCode code = write_whole_file(path, bytes);
    if (code < 0) {
        return code;
    }
    std::uint8_t border = 0;
    const auto multicolour = std::make_unique_for_overwrite<C64Picture>();
    const auto hires = std::make_unique_for_overwrite<HiresPicture>();
    const bool is_hires = picture_format_is_hires(format);
    code = is_hires ? load_hires_input(path, format, *hires, border) : load_multicolour_input(path, format, *multicolour);
    std::remove(path.c_str());
    if (code < 0) {
        return code;
    }
    if (!is_hires) {
        add_line(result, "background colour = " + hex_byte(multicolour->background));
    }
    const auto image = std::make_unique_for_overwrite<PixelImage>();
    std::uint8_t most_used = 0;
    if ((code = finish_picture(multicolour.get(), is_hires ? hires.get() : nullptr, border, palette, *image, result)) < 0 ||
        (code = most_used_colour(*image, most_used)) < 0) {
        return code;
    }
    add_line(result, "most  used colour = " + hex_byte(most_used));
    return ERR_SUCCESS;
}

val render_c64_picture(const val& bytes, const std::string& name, int palette) {
    PageResult result;
    result.code = render_c64_file(bytes_of(bytes), name, palette, result);
    return result_value(result);
}

// The palettes of the library, numbered: [{number, name}].
val palette_list() {
    val list = val::array();
    for (int palette = 0; palette < LIBRARY_PALETTE_COUNT; ++palette) {
        val entry = val::object();
        entry.set("number", palette);
        entry.set("name", std::string(library_palette_name(palette)));
        list.call<void>("push", entry);
    }
    return list;
}

val page_constants() {
    val constants = val::object();
    constants.set("defaultPalette", DEFAULT_CONVERSION_PALETTE);
    constants.set("invalidPng", static_cast<int>(ERR_INVALID_PNG));
    constants.set("invalidJpeg", static_cast<int>(ERR_INVALID_JPEG));
    constants.set("invalidWebp", static_cast<int>(ERR_INVALID_WEBP));
    constants.set("allocation", static_cast<int>(ERR_ALLOCATION));
    constants.set("read", static_cast<int>(ERR_READ));
    return constants;
}

}  // namespace

EMSCRIPTEN_BINDINGS(c64_page) {
    emscripten::function("convertDecodedPicture", &convert_decoded_picture);
    emscripten::function("convertPcxFile", &convert_pcx_file);
    emscripten::function("renderC64Picture", &render_c64_picture);
    emscripten::function("c64PictureFormat", &c64_picture_format);
    emscripten::function("paletteList", &palette_list);
    emscripten::function("pageConstants", &page_constants);
    emscripten::function("errorMessage", &error_message);
}
