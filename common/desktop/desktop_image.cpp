#include "desktop_image.h"

#include <cctype>

#include "gif_file.h"
#include "png_file.h"

bool names_png_file(const std::string& path) {
    const std::size_t dot = path.find_last_of('.');
    const std::size_t slash = path.find_last_of('/');
    if (dot == std::string::npos || (slash != std::string::npos && slash > dot) || path.size() - dot != 4) {
        return false;
    }
    const char* const extension = "png";
    for (std::size_t at = 0; at < 3; ++at) {
        if (std::tolower(static_cast<unsigned char>(path[dot + 1 + at])) != extension[at]) {
            return false;
        }
    }
    return true;
}

ErrorCode desktop_image_write(const PixelImage& image, const std::string& path, OutputBatch* batch) {
    return names_png_file(path) ? png_write(image, path, batch) : pcx_write(image, path, batch);
}

DesktopImageKind desktop_image_kind(const std::string& path) {
    if (is_png_file(path)) {
        return DesktopImageKind::png;
    }
    return is_gif_file(path) ? DesktopImageKind::gif : DesktopImageKind::pcx;
}

ErrorCode desktop_colour_image_read(const std::string& path, DesktopImageKind kind, bool multicolour,
                                    ColourImage& image, PictureFraming& framing) {
    return kind == DesktopImageKind::gif ? gif_read(path, multicolour, image, framing)
                                         : png_read(path, multicolour, image, framing);
}
