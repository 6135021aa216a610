#include "export_picture.h"

#include <cstdio>
#include <memory>

#include "desktop_image.h"
#include "pcx.h"
#include "picture.h"
#include "picture_formats.h"
#include "pixel.h"

namespace {

ErrorCode render_multicolour_file(const std::string& path, int format, int palette, PixelImage& image) {
    const auto picture = std::make_unique_for_overwrite<C64Picture>();
    ErrorCode code = load_multicolour_input(path, format, *picture);
    if (code < 0 || (code = render_multicolour_picture(*picture, image, palette)) < 0) {
        return code;
    }
    std::printf("background colour = $%02x\n", picture->background);
    return ERR_SUCCESS;
}

ErrorCode render_hires_file(const std::string& path, int format, int palette, PixelImage& image) {
    const auto picture = std::make_unique_for_overwrite<HiresPicture>();
    const ErrorCode code = load_hires_input(path, format, *picture);
    if (code < 0) {
        return code;
    }
    return render_hires_picture(*picture, image, palette);
}

}  // namespace

ErrorCode export_picture(const std::string& picture_path, const std::string& pcx_path, int format, int palette) {
    const auto image = std::make_unique_for_overwrite<PixelImage>();
    ErrorCode code = picture_format_is_hires(format) ? render_hires_file(picture_path, format, palette, *image)
                                                     : render_multicolour_file(picture_path, format, palette, *image);
    if (code < 0) {
        return code;
    }
    std::uint8_t most_used = 0;
    if ((code = most_used_colour(*image, most_used)) < 0) {
        return code;
    }
    std::printf("most  used colour = $%02x\n", most_used);
    return desktop_image_write(*image, pcx_path);
}
