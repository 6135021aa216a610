// Scores a C64 picture against the photo it was converted from: the picture
// (Koala .koa/.kla, Art Studio .art, or a PNG of its rendering) is shown in
// palette 13, each multicolour pixel two pixels wide, and compared with the
// 320 by 200 reference at blurs of 0, 0.5, 1 and 2 pixels. Prints one line:
//
//   dE0 dE0.5 dE1 dE2 ssim0 ssim0.5 ssim1 ssim2
//
// The crisp view is judged by dE0, ssim0.5 and dE2, the television view by
// dE1 and ssim2.
//   photo_score [-w rendered.png] ref.png picture
//
// -w writes the rendering of a .koa/.kla/.art picture as a PNG.
// Exit status 0, or 1 with a line on standard error saying why.
#include <array>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "c64/picture.h"
#include "c64/pixel.h"
#include "convert/picture_measure.h"
#include "desktop/png_file.h"
#include "frame/file_names.h"

namespace {

constexpr int SCORE_PALETTE = 13;
constexpr std::array<double, 4> SIGMAS = {0.0, 0.5, 1.0, 2.0};

struct Arguments {
    const char* reference = nullptr;
    const char* picture = nullptr;
    const char* rendering = nullptr;  // -w
};

bool parse_arguments(int argc, char** argv, Arguments& arguments) {
    int positional = 0;
    for (int index = 1; index < argc; ++index) {
        if (std::strcmp(argv[index], "-w") == 0 && index + 1 < argc) {
            arguments.rendering = argv[++index];
        } else if (argv[index][0] == '-') {
            return false;
        } else if (positional == 0) {
            arguments.reference = argv[index];
            ++positional;
        } else if (positional == 1) {
            arguments.picture = argv[index];
            ++positional;
        } else {
            return false;
        }
    }
    return positional == 2;
}

// A PNG as linear light: an RGB file's colours, a palette-based file's
// colours through its palette.
ErrorCode read_png_light(const std::string& path, LinearRgb& light) {
    const auto image = std::make_unique<ColourImage>();
    PictureFraming framing = unread_framing("png");
    ErrorCode code = png_read(path, false, *image, framing);
    if (code == ERR_INVALID_PNG) {
        const std::string why = describe_refused_framing(framing, false);
        std::fprintf(stderr, "%s: not read as a 320 by 200 PNG\n%s", path.c_str(), why.c_str());
    }
    if (code < 0) {
        return code;
    }
    if (framing.scale != 1 || framing.width != IMAGE_WIDTH || framing.height != IMAGE_HEIGHT) {
        std::fprintf(stderr, "%s: %d by %d, not a 320 by 200 picture\n", path.c_str(), framing.width, framing.height);
        return ERR_INVALID_PNG;
    }
    if (image->has_indices) {
        for (std::size_t pixel = 0; pixel < image->indices.size(); ++pixel) {
            image->colours[pixel] = image->palette[image->indices[pixel]];
        }
    }
    return linear_rgb_from_colours(image->colours, light);
}

// A Koala or Art Studio file rendered in the scoring palette.
ErrorCode render_picture_file(const std::string& path, PixelImage& rendering) {
    const std::string extension = file_extension(path);
    if (extension == "koa" || extension == "kla") {
        const auto picture = std::make_unique<C64Picture>();
        const ErrorCode code = load_multicolour_picture(path, FORMAT_KOALA, *picture);
        return code < 0 ? code : render_multicolour_picture(*picture, rendering, SCORE_PALETTE);
    }
    if (extension == "art") {
        const auto picture = std::make_unique<HiresPicture>();
        const ErrorCode code = load_hires_picture(path, *picture);
        return code < 0 ? code : render_hires_picture(*picture, rendering, SCORE_PALETTE);
    }
    std::fprintf(stderr, "%s: neither .koa, .kla, .art nor .png\n", path.c_str());
    return ERR_PARAMETERS;
}

ErrorCode read_picture_light(const Arguments& arguments, LinearRgb& light) {
    if (file_extension(arguments.picture) == "png") {
        if (arguments.rendering != nullptr) {
            std::fprintf(stderr, "-w renders a .koa, .kla or .art picture, not a PNG\n");
            return ERR_PARAMETERS;
        }
        return read_png_light(arguments.picture, light);
    }
    const auto rendering = std::make_unique<PixelImage>();
    ErrorCode code = render_picture_file(arguments.picture, *rendering);
    if (code < 0) {
        return code;
    }
    if (arguments.rendering != nullptr && (code = png_write(*rendering, arguments.rendering)) < 0) {
        return code;
    }
    return linear_rgb_from_pixel_image(*rendering, SCORE_PALETTE, light);
}

ErrorCode score_picture(const Arguments& arguments) {
    const auto reference = std::make_unique<LinearRgb>();
    const auto output = std::make_unique<LinearRgb>();
    ErrorCode code = read_png_light(arguments.reference, *reference);
    if (code < 0) {
        std::fprintf(stderr, "photo_score: the reference %s cannot be read (error %d)\n", arguments.reference, code);
        return code;
    }
    if ((code = read_picture_light(arguments, *output)) < 0) {
        std::fprintf(stderr, "photo_score: the picture %s cannot be read or rendered (error %d)\n", arguments.picture,
                     code);
        return code;
    }
    std::array<PictureScore, SIGMAS.size()> scores{};
    for (std::size_t index = 0; index < SIGMAS.size(); ++index) {
        if ((code = measure_picture(*reference, *output, SIGMAS[index], scores[index])) < 0) {
            std::fprintf(stderr, "photo_score: the measure failed (error %d)\n", code);
            return code;
        }
    }
    for (const PictureScore& score : scores) {
        std::printf("%.2f ", score.delta_e);
    }
    for (std::size_t index = 0; index < scores.size(); ++index) {
        std::printf(index + 1 < scores.size() ? "%.3f " : "%.3f\n", scores[index].ssim);
    }
    return ERR_SUCCESS;
}

}  // namespace

int main(int argc, char** argv) {
    Arguments arguments;
    if (!parse_arguments(argc, argv, arguments)) {
        std::fprintf(stderr, "usage: photo_score [-w rendered.png] ref.png picture.koa|.kla|.art|.png\n");
        return 1;
    }
    try {
        if (score_picture(arguments) < 0) {
            return 1;
        }
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "photo_score: out of memory\n");
        return 1;
    }
    return 0;
}
