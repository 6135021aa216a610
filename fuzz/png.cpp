// The PNG reader and the colour identification on any bytes, as ingravo runs
// them; an image they accept goes on to the cell checks, and one whose cells
// all pass must encode to a picture that renders to the same pixels.
#include <cstdint>
#include <memory>

#include "identify/colour_identification.h"
#include "c64/picture.h"
#include "c64/pixel.h"
#include "desktop/png_file.h"
#include "fuzz_scratch.h"
#include "identification_checks.h"

namespace {

// A 160 by 200 file depends on the mode: hires refuses it. (Enlarged, hires
// may read it as a framed picture.)
void check_narrow_image(const std::string& input, const ColourImage& image) {
    if (image.x_divisor != 2 || image.scale != 1) {
        return;
    }
    const auto hires_source = std::make_unique<ColourImage>();
    PictureFraming hires_framing{};
    if (png_read(input, false, *hires_source, hires_framing) != ERR_INVALID_PNG) {
        fuzz_check_failed("hires reading accepts a 160 by 200 image");
    }
}

// An identified image written by the suite reads back to the same numbers.
void check_written_image(const PixelImage& image) {
    const std::string output = scratch_path("out.png");
    if (png_write(image, output) < 0) {
        fuzz_check_failed("an identified image cannot be written");
    }
    const auto source = std::make_unique<ColourImage>();
    const auto again = std::make_unique<PixelImage>();
    PictureFraming framing{};
    ColourReading reading{};
    if (png_read(output, true, *source, framing) < 0 || identify_colours(*source, *again, reading) < 0 ||
        again->pixels != image.pixels) {
        fuzz_check_failed("a written image does not read back to the same colour numbers");
    }
}

bool cells_pass(const PixelImage& image, bool hires, std::uint8_t background) {
    const auto block = std::make_unique<CellBlock>();
    bool all_pass = true;
    for (int cell = 0; cell < CELL_COUNT; ++cell) {
        std::uint8_t too_many = 0;
        if (cell_block_get(cell, image, *block) < 0 ||
            cell_colour_check(*block, hires, background, too_many) < 0) {
            fuzz_check_failed("the cell check fails on an identified image");
        }
        all_pass = all_pass && too_many == 0;
    }
    return all_pass;
}

void check_encoding(const PixelImage& image, std::uint8_t background) {
    const auto rendered = std::make_unique<PixelImage>();
    if (cells_pass(image, true, background)) {
        const auto picture = std::make_unique<HiresPicture>();
        if (encode_hires_picture(image, *picture) < 0 || render_hires_picture(*picture, *rendered, 0) < 0 ||
            rendered->pixels != image.pixels) {
            fuzz_check_failed("a hires image whose cells pass does not encode to its pixels");
        }
    }
    // Multicolour cells also need equal pixel pairs.
    bool pairs_equal = true;
    for (std::size_t at = 0; at < image.pixels.size() && pairs_equal; at += 2) {
        pairs_equal = image.pixels[at] == image.pixels[at + 1];
    }
    if (pairs_equal && cells_pass(image, false, background)) {
        const auto picture = std::make_unique<C64Picture>();
        if (encode_multicolour_picture(background, image, *picture) < 0 ||
            render_multicolour_picture(*picture, *rendered, 0) < 0 || rendered->pixels != image.pixels) {
            fuzz_check_failed("a multicolour image whose cells pass does not encode to its pixels");
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input = write_scratch_file("in.png", data, size);
    const auto source = std::make_unique<ColourImage>();
    PictureFraming framing{};
    ErrorCode code = png_read(input, true, *source, framing);
    if (code == ERR_INVALID_PNG) {
        describe_refused_framing(framing, true);
    }
    if (code < 0) {
        return 0;
    }
    check_narrow_image(input, *source);
    const auto image = std::make_unique<PixelImage>();
    if (!identify_and_check(*source, *image)) {
        return 0;
    }
    std::uint8_t background = 0;
    most_used_colour(*image, background);
    check_encoding(*image, background);
    check_written_image(*image);
    return 0;
}
