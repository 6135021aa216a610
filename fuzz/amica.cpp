// The Amica Paint unpacker on any bytes; what it accepts must pack and
// unpack back to the same image.
#include <algorithm>
#include <cstdint>
#include <memory>

#include "c64/picture.h"
#include "c64/pixel.h"
#include "fuzz_scratch.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input = write_scratch_file("in.ami", data, size);
    const auto image = std::make_unique<AmicaImage>();
    image->bytes.fill(0);
    if (read_amica_file(input, *image) < 0) {
        return 0;
    }
    const std::string output = scratch_path("out.ami");
    if (write_amica_file(output, *image) < 0) {
        fuzz_check_failed("an image that was read cannot be written");
    }
    const auto again = std::make_unique<AmicaImage>();
    again->bytes.fill(0);
    if (read_amica_file(output, *again) < 0 ||
        !std::equal(image->bytes.begin() + 2, image->bytes.end(), again->bytes.begin() + 2)) {
        fuzz_check_failed("a packed image does not unpack to the same bytes");
    }
    const auto picture = std::make_unique<C64Picture>();
    koala_to_picture(*image, *picture);
    const auto pixels = std::make_unique<PixelImage>();
    render_multicolour_picture(*picture, *pixels, 12);
    return 0;
}
