// The Koala Painter reader on any bytes, then the picture rendered with the
// palette named by the first byte.
#include <cstdint>
#include <memory>

#include "c64/picture.h"
#include "c64/pixel.h"
#include "fuzz_scratch.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input = write_scratch_file("in.koa", data, size);
    const auto image = std::make_unique<KoalaImage>();
    if (read_koala_file(input, *image) < 0) {
        return 0;
    }
    const auto picture = std::make_unique<C64Picture>();
    koala_to_picture(*image, *picture);
    const auto pixels = std::make_unique<PixelImage>();
    render_multicolour_picture(*picture, *pixels, image->bytes[0] % 13);
    std::uint8_t colour = 0;
    most_used_colour(*pixels, colour);
    return 0;
}
