#include "convert/best_mode.h"

#include <cstdint>
#include <memory>

#include "c64/pixel.h"
#include "colour/colour_science.h"
#include "convert/linear_rgb.h"
#include "palettes/palette_library.h"

namespace {

PhotoConversion in_mode(const PhotoConversion& request, bool hires) {
    PhotoConversion conversion = request;
    conversion.hires = hires;
    return conversion;
}

// The screen image as the measure sees it: transparent parts show the
// background the picture was given.
void composite_reference(const ScreenImage& screen, int palette, int background, LinearRgb& reference) {
    const std::uint32_t colour = library_colour(palette, background);
    const auto& linear = linear_of_srgb_byte();
    const float shown[3] = {linear[colour >> 16 & 0xFF], linear[colour >> 8 & 0xFF], linear[colour & 0xFF]};
    for (int pixel = 0; pixel < IMAGE_PIXELS; ++pixel) {
        const float uncovered = 1.0f - screen.coverage[static_cast<std::size_t>(pixel)];
        for (int c = 0; c < 3; ++c) {
            const auto i = static_cast<std::size_t>(pixel * 3 + c);
            reference[i] = screen.rgb[i] + uncovered * shown[c];
        }
    }
}

// The blur of the measure that agrees with each view's judges: a television
// blurs, crisp pixels do not.
constexpr double TELEVISION_SIGMA = 1.0;
constexpr double CRISP_SIGMA = 0.0;

// The picture's score on the measure of the view: mean CIEDE2000 of the
// pictures blurred as the view blurs them.
ErrorCode score_conversion(const ScreenImage& screen, int palette, int view, bool hires,
                           const ConvertedPicture& picture, PictureScore& score) {
    const auto rendered = std::make_unique_for_overwrite<PixelImage>();
    const auto output = std::make_unique_for_overwrite<LinearRgb>();
    const auto reference = std::make_unique_for_overwrite<LinearRgb>();
    ErrorCode code = hires ? render_hires_picture(picture.hires, *rendered, palette)
                           : render_multicolour_picture(picture.multicolour, *rendered, palette);
    if (code < 0 || (code = linear_rgb_from_pixel_image(*rendered, palette, *output)) < 0) {
        return code;
    }
    composite_reference(screen, palette, hires ? 0 : picture.background, *reference);
    return measure_picture(*reference, *output, view == VIEW_CRISP ? CRISP_SIGMA : TELEVISION_SIGMA, score);
}

}  // namespace

ErrorCode convert_in_best_mode(const ScreenImage& screen, const PhotoConversion& request, ConvertedPicture& picture,
                               bool& hires, PictureScore& multicolour_score, PictureScore& hires_score) {
    hires = false;
    multicolour_score = {};
    hires_score = {};
    ErrorCode code = convert_photo(screen, in_mode(request, false), picture);
    if (code < 0 || (code = score_conversion(screen, request.palette, request.view, false, picture, multicolour_score)) < 0) {
        return code;
    }
    if (request.background_given) {
        return ERR_SUCCESS;
    }
    const auto other = std::make_unique_for_overwrite<ConvertedPicture>();
    if ((code = convert_photo(screen, in_mode(request, true), *other)) < 0 ||
        (code = score_conversion(screen, request.palette, request.view, true, *other, hires_score)) < 0) {
        return code;
    }
    hires = hires_score.delta_e < multicolour_score.delta_e;
    if (hires) {
        picture.hires = other->hires;
    }
    return ERR_SUCCESS;
}
