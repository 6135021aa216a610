// The webp reader onto the screen, in both fits, on any bytes: a picture
// read has its values within their bounds, a refusal its code and its line.
#include <cstdint>

#include "desktop/webp_file.h"
#include "fuzz_scratch.h"
#include "screen_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input = write_scratch_file("in.webp", data, size);
    check_screen_reading(input, webp_read_screen, ERR_INVALID_WEBP);
    return 0;
}
