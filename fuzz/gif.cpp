// The GIF reader, the framing step and the colour identification on any
// bytes, as ingravo runs them. What is accepted must lie inside the file and
// hold C64 colour numbers only, and a 160 by 200 file must be refused in hires.
#include <cstdint>
#include <memory>

#include "identify/colour_identification.h"
#include "fuzz_scratch.h"
#include "identification_checks.h"
#include "desktop/gif_file.h"
#include "identify/picture_framing.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input = write_scratch_file("in.gif", data, size);
    const auto source = std::make_unique<ColourImage>();
    PictureFraming framing{};
    ErrorCode code = gif_read(input, true, *source, framing);
    if (code < 0) {
        if (code != ERR_INVALID_PNG && code != ERR_ALLOCATION) {
            fuzz_check_failed("the GIF reader fails with another code");
        }
        describe_refused_framing(framing, true);
        return 0;
    }
    const int scale = source->scale;
    if (framing.verdict != FramingVerdict::accepted || !source->has_indices || scale < 1 || source->x_offset < 0 ||
        source->y_offset < 0 || (source->x_offset + 320 / source->x_divisor) * scale > framing.width ||
        (source->y_offset + 200) * scale > framing.height) {
        fuzz_check_failed("an accepted GIF is placed outside itself");
    }
    // Only a 160 by 200 file: enlarged, hires may read it as a framed picture.
    if (source->x_divisor == 2 && source->scale == 1) {
        const auto hires = std::make_unique<ColourImage>();
        PictureFraming hires_framing{};
        if (gif_read(input, false, *hires, hires_framing) != ERR_INVALID_PNG) {
            fuzz_check_failed("hires reading accepts a 160 by 200 picture");
        }
    }
    const auto image = std::make_unique<PixelImage>();
    if (!identify_and_check(*source, *image)) {
        return 0;
    }
    return 0;
}
