#include "screen_checks.h"

#include <cmath>
#include <memory>

#include "fuzz_scratch.h"

namespace {

void check_image(const ScreenImage& image) {
    bool transparent = false;
    for (std::size_t at = 0; at < image.coverage.size(); ++at) {
        const float coverage = image.coverage[at];
        if (!(coverage >= 0.0F && coverage <= 1.0F)) {
            fuzz_check_failed("a coverage outside 0..1");
        }
        for (std::size_t channel = 0; channel < 3; ++channel) {
            const float value = image.rgb[3 * at + channel];
            if (!(value >= 0.0F && value <= coverage)) {
                fuzz_check_failed("a colour outside 0..coverage");
            }
        }
        transparent = transparent || coverage < 1.0F;
    }
    if (transparent != image.has_transparency) {
        fuzz_check_failed("has_transparency does not tell whether some coverage is below 1");
    }
}

}  // namespace

void check_screen_reading(const std::string& input,
                          ErrorCode (*reader)(const std::string&, ScreenFit, ScreenImage&, ScreenSource&),
                          ErrorCode refusal) {
    const auto image = std::make_unique<ScreenImage>();
    for (const ScreenFit fit : {ScreenFit::cover, ScreenFit::contain}) {
        ScreenSource source;
        const ErrorCode code = reader(input, fit, *image, source);
        if (code == ERR_SUCCESS) {
            check_image(*image);
            if (describe_screen_source(source).empty()) {
                fuzz_check_failed("a picture read without its line");
            }
        } else if (code == refusal) {
            if (describe_refused_screen_source(source).empty()) {
                fuzz_check_failed("a refusal without the line that says why");
            }
        } else if (code != ERR_ALLOCATION) {
            fuzz_check_failed("a refusal with another code than the format's");
        }
    }
}
