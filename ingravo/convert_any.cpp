#include "convert_any.h"

#include <cstdio>
#include <memory>

#include "convert/linear_rgb.h"
#include "convert/photo_conversion.h"
#include "convert/picture_measure.h"
#include "c64/pixel.h"
#include "colour/colour_science.h"
#include "palettes/palette_library.h"
#include "desktop/screen_reader.h"
#include "frame/working_memory.h"
#include "fit.h"
#include "picture_output.h"

namespace {

PhotoConversion conversion_of(const ImportRequest& request, bool hires) {
    return {hires, request.palette, request.background_given, request.background, request.dither, request.view};
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

// The picture's score on the measure at sigma 1: mean CIEDE2000 of the
// blurred pictures.
ErrorCode score_conversion(const ScreenImage& screen, const ImportRequest& request, bool hires,
                           const ConvertedPicture& picture, PictureScore& score) {
    const auto rendered = std::make_unique_for_overwrite<PixelImage>();
    const auto output = std::make_unique_for_overwrite<LinearRgb>();
    const auto reference = std::make_unique_for_overwrite<LinearRgb>();
    ErrorCode code = hires ? render_hires_picture(picture.hires, *rendered, request.palette)
                           : render_multicolour_picture(picture.multicolour, *rendered, request.palette);
    if (code < 0 || (code = linear_rgb_from_pixel_image(*rendered, request.palette, *output)) < 0) {
        return code;
    }
    composite_reference(screen, request.palette, hires ? 0 : picture.background, *reference);
    return measure_picture(*reference, *output, 1.0, score);
}

// With -f and the mode open, both modes are made and the one that scores
// better on the measure is kept.
ErrorCode convert_in_best_mode(const ScreenImage& screen, const ImportRequest& request, ConvertedPicture& picture,
                               bool& hires) {
    const auto other = std::make_unique_for_overwrite<ConvertedPicture>();
    PictureScore multicolour_score{};
    PictureScore hires_score{};
    ErrorCode code = convert_photo(screen, conversion_of(request, false), picture);
    if (code < 0 || (code = score_conversion(screen, request, false, picture, multicolour_score)) < 0) {
        return code;
    }
    if (request.background_given) {
        hires = false;
    } else {
        if ((code = convert_photo(screen, conversion_of(request, true), *other)) < 0 ||
            (code = score_conversion(screen, request, true, *other, hires_score)) < 0) {
            return code;
        }
        hires = hires_score.delta_e < multicolour_score.delta_e;
    }
    if (request.background_given) {
        std::printf("fit: multicolour, as -b gives a background\n");
    } else {
        std::printf("fit: %s (mean colour difference: multicolour %.2f, hires %.2f)\n", hires ? "hires" : "multicolour",
                    multicolour_score.delta_e, hires_score.delta_e);
    }
    if (hires) {
        picture.hires = other->hires;
    }
    return ERR_SUCCESS;
}

}  // namespace

// What a conversion of the largest pictures keeps at once, decoding buffers
// included, beside its pictures and dot grid: about 8 MB in hires.
constexpr std::size_t CONVERSION_WORKING_MEMORY = std::size_t{8} << 20;

ErrorCode convert_any_picture(const ImportRequest& request) {
    prepare_working_memory(CONVERSION_WORKING_MEMORY);
    const auto screen = std::make_unique_for_overwrite<ScreenImage>();
    ScreenSource source{};
    ErrorCode code = read_screen_image(request.pcx_path, request.whole_picture ? ScreenFit::contain : ScreenFit::cover,
                                       *screen, source);
    if (code < 0) {
        std::printf("%s", describe_refused_screen_source(source).c_str());
        return code;
    }
    std::printf("%s", describe_screen_source(source).c_str());
    const auto picture = std::make_unique_for_overwrite<ConvertedPicture>();
    bool hires = request.format == FORMAT_ART_STUDIO;
    const bool mode_open = request.fit && request.fit_format == FIT_MODE_OPEN;
    if (mode_open) {
        code = convert_in_best_mode(*screen, request, *picture, hires);
    } else {
        code = convert_photo(*screen, conversion_of(request, hires), *picture);
    }
    if (code < 0) {
        return code;
    }
    if (hires) {
        std::printf("converted to hires in palette %d\n", request.palette);
    } else {
        std::printf("converted to multicolour in palette %d, background $%02x\n", request.palette, picture->background);
    }
    const int format = hires ? FORMAT_ART_STUDIO : request.format;
    const std::string& path = mode_open && hires ? request.hires_picture_path : request.picture_path;
    return write_picture(path, format, &picture->multicolour, hires ? &picture->hires : nullptr);
}
