#include "export_picture.h"

#include <cstdio>
#include <memory>

#include "desktop/desktop_image.h"
#include "desktop/pcx.h"
#include "c64/picture.h"
#include "c64/picture_formats.h"
#include "c64/pixel.h"
#include "runnable/runnable_program.h"

namespace {

// The picture as loaded, kept for an output name that asks for a program.
struct LoadedPicture {
    std::unique_ptr<C64Picture> multicolour;
    std::unique_ptr<HiresPicture> hires;
    std::uint8_t border = 0;  // hires: the colour the format stores, else black
};

ErrorCode render_multicolour_file(const std::string& path, int format, int palette, PixelImage& image,
                                  LoadedPicture& loaded) {
    loaded.multicolour = std::make_unique_for_overwrite<C64Picture>();
    C64Picture& picture = *loaded.multicolour;
    ErrorCode code = load_multicolour_input(path, format, picture);
    if (code < 0 || (code = render_multicolour_picture(picture, image, palette)) < 0) {
        return code;
    }
    std::printf("background colour = $%02x\n", picture.background);
    return ERR_SUCCESS;
}

ErrorCode render_hires_file(const std::string& path, int format, int palette, PixelImage& image,
                            LoadedPicture& loaded) {
    loaded.hires = std::make_unique_for_overwrite<HiresPicture>();
    const ErrorCode code = load_hires_input(path, format, *loaded.hires, loaded.border);
    if (code < 0) {
        return code;
    }
    return render_hires_picture(*loaded.hires, image, palette);
}

// A name with the extension "prg" gets a runnable program, any other a
// desktop image.
ErrorCode write_output(const PixelImage& image, const LoadedPicture& loaded, const std::string& path) {
    if (!names_program_file(path)) {
        return desktop_image_write(image, path);
    }
    return loaded.hires ? write_hires_program(path, *loaded.hires, loaded.border)
                        : write_multicolour_program(path, *loaded.multicolour);
}

}  // namespace

ErrorCode export_picture(const std::string& picture_path, const std::string& pcx_path, int format, int palette) {
    const auto image = std::make_unique_for_overwrite<PixelImage>();
    LoadedPicture loaded;
    ErrorCode code = picture_format_is_hires(format)
                         ? render_hires_file(picture_path, format, palette, *image, loaded)
                         : render_multicolour_file(picture_path, format, palette, *image, loaded);
    if (code < 0) {
        return code;
    }
    std::uint8_t most_used = 0;
    if ((code = most_used_colour(*image, most_used)) < 0) {
        return code;
    }
    std::printf("most  used colour = $%02x\n", most_used);
    return write_output(*image, loaded, pcx_path);
}
