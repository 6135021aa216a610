#include "identification_checks.h"

#include <algorithm>

#include "fuzz_scratch.h"

bool identify_and_check(const ColourImage& source, PixelImage& image) {
    ColourReading reading{};
    const ErrorCode code = identify_colours(source, image, reading);
    if (code == ERR_UNKNOWN_COLOURS) {
        describe_unknown_colour(reading);
        return false;
    }
    if (code < 0) {
        fuzz_check_failed("the colour identification fails with another code");
    }
    describe_colour_reading(reading);
    if (std::any_of(image.pixels.begin(), image.pixels.end(), [](std::uint8_t pixel) { return pixel > 15; })) {
        fuzz_check_failed("an identified pixel is no C64 colour number");
    }
    return true;
}
