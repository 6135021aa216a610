#include "desktop/desktop_image.h"

#include <array>
#include <cstdio>

#include "frame/file_names.h"
#include "desktop/gif_file.h"
#include "desktop/jpeg_file.h"
#include "desktop/png_file.h"
#include "desktop/webp_file.h"

bool names_png_file(const std::string& path) {
    return file_extension(path) == "png";
}

ErrorCode desktop_image_write(const PixelImage& image, const std::string& path, OutputBatch* batch) {
    return names_png_file(path) ? png_write(image, path, batch) : pcx_write(image, path, batch);
}

// The file is opened once: its first twelve bytes hold any signature.
DesktopImageKind desktop_image_kind(const std::string& path) {
    FileHandle file = FileHandle::open(path, "rb");
    std::array<std::uint8_t, 12> start{};
    const std::size_t read = file.is_open() ? std::fread(start.data(), 1, start.size(), file.get()) : 0;
    if (starts_with_png_signature(start.data(), read)) {
        return DesktopImageKind::png;
    }
    if (starts_with_jpeg_signature(start.data(), read)) {
        return DesktopImageKind::jpeg;
    }
    if (starts_with_webp_signature(start.data(), read)) {
        return DesktopImageKind::webp;
    }
    return starts_with_gif_signature(start.data(), read) ? DesktopImageKind::gif : DesktopImageKind::pcx;
}

ErrorCode desktop_colour_image_read(const std::string& path, DesktopImageKind kind, bool multicolour,
                                    ColourImage& image, PictureFraming& framing) {
    return kind == DesktopImageKind::gif ? gif_read(path, multicolour, image, framing)
                                         : png_read(path, multicolour, image, framing);
}
