// The whole -d path on any bytes: the file read onto the screen by whichever
// reader its first bytes choose, then converted. A conversion must succeed
// on any picture that was read, its picture must show only its cells'
// colours, and the same input must give the same bytes twice.
#include <cstdint>
#include <memory>

#include "c64/pixel.h"
#include "convert/photo_conversion.h"
#include "desktop/screen_reader.h"
#include "fuzz_scratch.h"

namespace {

// The input's last byte picks the mode, the dither, the view and the placement, so that
// the corpus keeps the file itself intact at its start.
PhotoConversion conversion_of(std::uint8_t choice) {
    PhotoConversion request{};
    request.hires = (choice & 1) != 0;
    request.palette = 13 + (choice >> 1 & 1);
    request.view = choice >> 2 & 1;
    request.background_given = (choice & 8) != 0;
    request.background = choice >> 4;
    // The refinement is slow under the sanitizers: one input in four takes it.
    request.dither = (choice >> 6) == 3 ? DITHER_BEST : (choice >> 6) % DITHER_KIND_COUNT == 1 ? DITHER_DIFFUSION
                                                                                              : DITHER_NONE;
    return request;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) {
        return 0;
    }
    const std::uint8_t choice = data[size - 1];
    const std::string input = write_scratch_file("in", data, size - 1);
    const auto screen = std::make_unique<ScreenImage>();
    ScreenSource source{};
    const ScreenFit fit = (choice & 0x20) != 0 ? ScreenFit::contain : ScreenFit::cover;
    if (read_screen_image(input, fit, *screen, source) < 0) {
        return 0;
    }
    const PhotoConversion request = conversion_of(choice);
    const auto first = std::make_unique<ConvertedPicture>();
    const auto second = std::make_unique<ConvertedPicture>();
    if (convert_photo(*screen, request, *first) < 0 || convert_photo(*screen, request, *second) < 0) {
        fuzz_check_failed("a picture that was read cannot be converted");
    }
    const bool same = request.hires ? first->hires.bitmap == second->hires.bitmap && first->hires.screen == second->hires.screen
                                    : first->multicolour.bitmap == second->multicolour.bitmap &&
                                          first->multicolour.screen == second->multicolour.screen &&
                                          first->multicolour.colour == second->multicolour.colour &&
                                          first->multicolour.background == second->multicolour.background;
    if (!same) {
        fuzz_check_failed("the same picture converts to different bytes");
    }
    if (!request.hires && request.background_given && first->multicolour.background != request.background) {
        fuzz_check_failed("the background given is not the picture's");
    }
    return 0;
}
