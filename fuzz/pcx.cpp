// The PCX reader on any bytes; what it accepts must come back unchanged
// through the writer.
#include <cstdint>
#include <memory>

#include "desktop/pcx.h"
#include "c64/pixel.h"
#include "fuzz_scratch.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input = write_scratch_file("in.pcx", data, size);
    const auto image = std::make_unique<PixelImage>();
    if (pcx_read(input, *image) < 0) {
        return 0;
    }
    std::uint8_t colour = 0;
    most_used_colour(*image, colour);
    const std::string output = scratch_path("out.pcx");
    if (pcx_write(*image, output) < 0) {
        fuzz_check_failed("an image that was read cannot be written");
    }
    const auto again = std::make_unique<PixelImage>();
    if (pcx_read(output, *again) < 0 || again->pixels != image->pixels || again->palette != image->palette) {
        fuzz_check_failed("a written image does not read back the same");
    }
    return 0;
}
