// The Art Studio reader on any bytes, then the picture rendered with the
// palette named by the first byte.
#include <cstdint>
#include <memory>

#include "c64/picture.h"
#include "c64/pixel.h"
#include "fuzz_scratch.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input = write_scratch_file("in.art", data, size);
    const auto image = std::make_unique<ArtStudioImage>();
    if (read_art_studio_file(input, *image) < 0) {
        return 0;
    }
    const auto picture = std::make_unique<HiresPicture>();
    art_studio_to_hires(*image, *picture);
    const auto pixels = std::make_unique<PixelImage>();
    render_hires_picture(*picture, *pixels, image->bytes[0] % 13);
    std::uint8_t colour = 0;
    most_used_colour(*pixels, colour);
    return 0;
}
