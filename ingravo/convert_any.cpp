#include "convert_any.h"

#include <cstdio>
#include <memory>

#include "convert/best_mode.h"
#include "convert/photo_conversion.h"
#include "desktop/screen_reader.h"
#include "frame/working_memory.h"
#include "fit.h"
#include "picture_output.h"

namespace {

PhotoConversion conversion_of(const ImportRequest& request, bool hires) {
    return {hires, request.palette, request.background_given, request.background, request.dither, request.view};
}

// With -f and the mode open, both modes are made and the one that scores
// better on the measure is kept.
ErrorCode convert_fitting_mode(const ScreenImage& screen, const ImportRequest& request, ConvertedPicture& picture,
                               bool& hires) {
    PictureScore multicolour_score{};
    PictureScore hires_score{};
    const ErrorCode code =
        convert_in_best_mode(screen, conversion_of(request, false), picture, hires, multicolour_score, hires_score);
    if (code < 0) {
        return code;
    }
    if (request.background_given) {
        std::printf("fit: multicolour, as -b gives a background\n");
    } else {
        std::printf("fit: %s (mean colour difference: multicolour %.2f, hires %.2f)\n", hires ? "hires" : "multicolour",
                    multicolour_score.delta_e, hires_score.delta_e);
    }
    return ERR_SUCCESS;
}

}  // namespace

// What a conversion touches, decoding buffers included, beside its pictures,
// dot grid and each dot's colour differences: about 7 MB in hires and 5 MB in
// multicolour. Making more ready than a run uses costs more than the traps
// it saves.
constexpr std::size_t CONVERSION_WORKING_MEMORY = std::size_t{6} << 20;

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
        code = convert_fitting_mode(*screen, request, *picture, hires);
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
