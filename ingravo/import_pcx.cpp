#include "import_pcx.h"

#include <algorithm>
#include <cstdio>
#include <memory>

#include "identify/colour_identification.h"
#include "desktop/desktop_image.h"
#include "desktop/screen_reader.h"
#include "fit.h"
#include "picture_output.h"
#include "desktop/pcx.h"
#include "c64/pixel.h"

namespace {

bool pairs_differ(const CellBlock& block) {
#pragma GCC unroll 8
    for (std::size_t left = 0; left < block.pixels.size(); left += 2) {
        if (block.pixels[left] != block.pixels[left + 1]) {
            return true;
        }
    }
    return false;
}

// Colours are 0 to 15: a pixel with a higher bit set shows in the OR of all.
bool has_non_colour(const CellBlock& block) {
    std::uint8_t all_bits = 0;
    for (const std::uint8_t pixel : block.pixels) {
        all_bits |= pixel;
    }
    return all_bits > 15;
}

ErrorCode cell_error_value(const CellBlock& block, bool hires, std::uint8_t background, std::uint8_t& value) {
    std::uint8_t too_many = 0;
    const ErrorCode code = cell_colour_check(block, hires, background, too_many);
    if (code < 0) {
        return code;
    }
    value = too_many != 0 ? CELL_TOO_MANY_COLOURS : 0;
    if (!hires && pairs_differ(block)) {
        value |= CELL_PAIR_MISMATCH;
    }
    if (has_non_colour(block)) {
        value |= CELL_NOT_A_COLOUR;
    }
    return ERR_SUCCESS;
}

// The picture that the cells are encoded into: one of the two, by format.
struct EncodedPicture {
    std::unique_ptr<C64Picture> multicolour;
    std::unique_ptr<HiresPicture> hires;
};

ErrorCode encode_cell(const CellBlock& block, std::uint8_t background, int cell, CellRecord& record,
                      EncodedPicture& picture) {
    ErrorCode code = ERR_SUCCESS;
    if (picture.hires) {
        if ((code = encode_hires_cell(record, block)) < 0) {
            return code;
        }
        return hires_picture_cell_put(record, *picture.hires, cell);
    }
    if ((code = encode_multicolour_cell(record, block, background)) < 0) {
        return code;
    }
    return picture_cell_put(record, *picture.multicolour, cell);
}

// Checks every cell and fills the map; while no cell has failed, each cell is
// also encoded from the same block, so that a picture without errors is
// taken from the image only once.
ErrorCode check_and_encode_cells(const PixelImage& image, std::uint8_t background, ErrorMap& map,
                                 EncodedPicture& picture, bool& any_failed) {
    const bool hires = picture.hires != nullptr;
    const auto block = std::make_unique<CellBlock>();
    const auto record = std::make_unique<CellRecord>();
    any_failed = false;
    for (int cell = 0; cell < CELL_COUNT; ++cell) {
        std::uint8_t value = 0;
        ErrorCode code = cell_block_get(cell, image, *block);
        if (code < 0 || (code = cell_error_value(*block, hires, background, value)) < 0) {
            return code;
        }
        map.cells[static_cast<std::size_t>(cell)] = value;
        any_failed = any_failed || value != 0;
        if (!any_failed && (code = encode_cell(*block, background, cell, *record, picture)) < 0) {
            return code;
        }
    }
    if (!hires) {
        picture.multicolour->background = background;
    }
    return ERR_SUCCESS;
}

// Failing cells are filled with their error value; the rest of the image and
// its palette stay as read.
ErrorCode write_errors_image(PixelImage& image, const ErrorMap& map, const std::string& errors_path) {
    const auto block = std::make_unique<CellBlock>();
    for (int cell = 0; cell < CELL_COUNT; ++cell) {
        const std::uint8_t value = map.cells[static_cast<std::size_t>(cell)];
        if (value == 0) {
            continue;
        }
        block->pixels.fill(value);
        const ErrorCode code = cell_block_put(cell, *block, image);
        if (code < 0) {
            return code;
        }
    }
    const ErrorCode code = desktop_image_write(image, errors_path);
    if (code < 0) {
        return code;
    }
    std::printf("Errors occured, %s errors file generated.\n", names_png_file(errors_path) ? "PNG" : "PCX");
    return ERR_SUCCESS;
}

// The pixels become C64 colour numbers by their colours (or indices); the
// line that says how is printed once the reading has succeeded.
ErrorCode read_colour_image(const ImportRequest& request, DesktopImageKind kind, PixelImage& image) {
    // The reader fills every field: zeroing its 320 KB first is wasted work.
    const auto source = std::make_unique_for_overwrite<ColourImage>();
    const bool multicolour = request.format != FORMAT_ART_STUDIO;
    PictureFraming framing{};
    ErrorCode code = desktop_colour_image_read(request.pcx_path, kind, multicolour, *source, framing);
    if (code == ERR_INVALID_PNG) {
        std::printf("%s", describe_refused_framing(framing, multicolour).c_str());
    }
    if (code < 0) {
        return code;
    }
    ColourReading reading{};
    code = request.palette_given ? identify_colours_in_palette(*source, request.palette, image, reading)
                                 : identify_colours(*source, image, reading);
    if (code == ERR_UNKNOWN_COLOURS) {
        std::printf("%s", describe_unknown_colour(reading).c_str());
        std::printf("-d converts a picture of any colours, such as a photo, into a C64 picture\n");
    }
    if (code < 0) {
        return code;
    }
    std::printf("%s", describe_colour_reading(reading).c_str());
    return ERR_SUCCESS;
}

// A JPEG or WebP is not identified as C64 colours (a lossy one never holds
// them exactly), so a sound one is refused as a PNG photo is. It is decoded
// first, so that a damaged file is refused as damaged.
ErrorCode refuse_unidentified_picture(const ImportRequest& request) {
    const auto screen = std::make_unique_for_overwrite<ScreenImage>();
    ScreenSource source{};
    const ErrorCode code = read_screen_image(request.pcx_path, ScreenFit::cover, *screen, source);
    if (code < 0) {
        std::printf("%s", describe_refused_screen_source(source).c_str());
        return code;
    }
    std::printf("a %s picture's colours are not identified as C64 colours\n", source.format.c_str());
    std::printf("-d converts a picture of any colours, such as a photo, into a C64 picture\n");
    return ERR_UNKNOWN_COLOURS;
}

// The reader is chosen by the file's first bytes, whatever its name.
// by_colours: the pixels were identified by their colours, not taken as numbers.
ErrorCode read_desktop_image(const ImportRequest& request, PixelImage& image, bool& by_colours) {
    const DesktopImageKind kind = desktop_image_kind(request.pcx_path);
    if (kind == DesktopImageKind::jpeg || kind == DesktopImageKind::webp) {
        return refuse_unidentified_picture(request);
    }
    by_colours = kind != DesktopImageKind::pcx;
    return by_colours ? read_colour_image(request, kind, image) : pcx_read(request.pcx_path, image);
}

// Without -f, the run's own mode and background; with it, those found.
ErrorCode choose_mode_and_background(const ImportRequest& request, const PixelImage& image, std::uint8_t most_used,
                                     FitChoice& choice) {
    if (!request.fit) {
        choice = {request.format, request.background_given ? request.background : most_used,
                  request.background_given, true};
        return ERR_SUCCESS;
    }
    const ErrorCode code =
        choose_fit(image, request.fit_format, request.background_given, request.background, most_used, choice);
    if (code >= 0) {
        std::printf("%s", describe_fit(choice).c_str());
    }
    return code;
}

// A failed run without -f says what -f would choose, when that would pass.
ErrorCode print_fit_hint(const ImportRequest& request, const PixelImage& image, std::uint8_t most_used) {
    FitChoice choice{};
    bool passes = false;
    ErrorCode code =
        choose_fit(image, request.fit_format, request.background_given, request.background, most_used, choice);
    if (code < 0 || (code = fit_passes(image, choice, passes)) < 0) {
        return code;
    }
    if (passes) {
        std::printf("%s", describe_fit_hint(choice).c_str());
    }
    return ERR_SUCCESS;
}

}  // namespace

ErrorCode import_pcx(const ImportRequest& request) {
    const auto image = std::make_unique_for_overwrite<PixelImage>();
    const auto map = std::make_unique<ErrorMap>();
    bool by_colours = false;
    ErrorCode code = read_desktop_image(request, *image, by_colours);
    if (code < 0) {
        return code;
    }
    std::uint8_t most_used = 0;
    if ((code = most_used_colour(*image, most_used)) < 0) {
        return code;
    }
    std::printf("most used colour = $%02x\n", most_used);
    FitChoice choice{};
    if ((code = choose_mode_and_background(request, *image, most_used, choice)) < 0) {
        return code;
    }
    const bool hires = choice.format == FORMAT_ART_STUDIO;
    // Every cell of the picture is encoded when none fails: not cleared first.
    EncodedPicture picture;
    if (hires) {
        picture.hires = std::make_unique_for_overwrite<HiresPicture>();
    } else {
        picture.multicolour = std::make_unique_for_overwrite<C64Picture>();
    }
    bool any_failed = false;
    if ((code = check_and_encode_cells(*image, choice.background, *map, picture, any_failed)) < 0) {
        return code;
    }
    if (any_failed && !request.fit && by_colours && (code = print_fit_hint(request, *image, most_used)) < 0) {
        return code;
    }
    if (any_failed) {
        return write_errors_image(*image, *map, request.errors_path);
    }
    const bool found_hires = request.fit && request.fit_format == FIT_MODE_OPEN && hires;
    return write_picture(found_hires ? request.hires_picture_path : request.picture_path, choice.format,
                         picture.multicolour.get(), picture.hires.get());
}
