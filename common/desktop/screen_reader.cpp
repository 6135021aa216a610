#include "desktop/screen_reader.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>

#include "c64/pixel_image.h"
#include "desktop/gif_file.h"
#include "desktop/gif_screen.h"
#include "desktop/jpeg_file.h"
#include "desktop/pcx.h"
#include "desktop/png_file.h"
#include "desktop/png_screen.h"
#include "desktop/screen_rows.h"
#include "desktop/webp_file.h"
#include "frame/file_names.h"

namespace {

constexpr std::size_t SIGNATURE_BYTES = 12;

std::string scale_text(int eighths) {
    int numerator = eighths;
    int denominator = 8;
    while (numerator % 2 == 0 && denominator > 1) {
        numerator /= 2;
        denominator /= 2;
    }
    return std::to_string(numerator) + "/" + std::to_string(denominator);
}

const char* orientation_text(int orientation) {
    switch (orientation) {
    case 2: return "mirrored";
    case 3: return "turned 180 degrees";
    case 4: return "mirrored and turned 180 degrees";
    case 5: return "mirrored and turned 270 degrees";
    case 6: return "turned 90 degrees";
    case 7: return "mirrored and turned 90 degrees";
    case 8: return "turned 270 degrees";
    default: return "";
    }
}

// The suite's own PCX: 320 x 200 colour numbers whose palette gives their colours.
ErrorCode pcx_read_screen(const std::string& path, ScreenFit fit, ScreenImage& image, ScreenSource& source) {
    source = ScreenSource{};
    source.format = "pcx";
    const auto pixels = std::make_unique<PixelImage>();
    const ErrorCode code = pcx_read(path, *pixels);
    if (code < 0) {
        return code;
    }
    source.width = IMAGE_WIDTH;
    source.height = IMAGE_HEIGHT;
    const SampleFormat format{SampleLayout::rgb, 1, false};
    auto rows = std::make_unique<ScreenRows>();
    const ErrorCode started =
        start_screen_rows(IMAGE_WIDTH, IMAGE_HEIGHT, format, ColourDescription{}, fit, ERR_INVALID_PCX, image, *rows, source);
    if (started < 0) {
        return started;
    }
    std::array<std::uint8_t, IMAGE_WIDTH * 3> row{};
    for (std::size_t y = 0; y < IMAGE_HEIGHT; ++y) {
        for (std::size_t x = 0; x < IMAGE_WIDTH; ++x) {
            const std::size_t entry = pixels->pixels[y * IMAGE_WIDTH + x];
            std::copy_n(pixels->palette.data() + entry * 3, 3, row.data() + x * 3);
        }
        push_samples(*rows, row.data());
    }
    finish_screen_rows(*rows);
    return ERR_SUCCESS;
}

}  // namespace

std::string describe_screen_source(const ScreenSource& source) {
    std::string line = "read " + source.format + " " + std::to_string(source.width) + " x " + std::to_string(source.height);
    if (source.scale_eighths != 8) {
        line += " at " + scale_text(source.scale_eighths) + " scale";
    }
    if (!source.profile.empty()) {
        line += ", profile " + source.profile;
    }
    if (source.orientation != 1) {
        line += std::string(", ") + orientation_text(source.orientation);
    }
    return line + "\n";
}

std::string describe_refused_screen_source(const ScreenSource& source) {
    if (source.problem.empty()) {
        return "";
    }
    const std::string format = source.format.empty() ? "picture" : source.format;
    if (source.width > 0 && source.height > 0) {
        return format + " file of " + std::to_string(source.width) + " x " + std::to_string(source.height) +
               " refused: " + source.problem + "\n";
    }
    return format + " file refused: " + source.problem + "\n";
}

ErrorCode read_screen_image(const std::string& path, ScreenFit fit, ScreenImage& image, ScreenSource& source) {
    source = ScreenSource{};
    std::array<std::uint8_t, SIGNATURE_BYTES> start{};
    std::size_t count = 0;
    {
        FileHandle file = FileHandle::open(path, "rb");
        if (!file.is_open()) {
            return ERR_OPEN;
        }
        count = std::fread(start.data(), 1, start.size(), file.get());
    }
    if (starts_with_png_signature(start.data(), count)) {
        return png_read_screen(path, fit, image, source);
    }
    if (starts_with_gif_signature(start.data(), count)) {
        return gif_read_screen(path, fit, image, source);
    }
    if (starts_with_jpeg_signature(start.data(), count)) {
        return jpeg_read_screen(path, fit, image, source);
    }
    if (starts_with_webp_signature(start.data(), count)) {
        return webp_read_screen(path, fit, image, source);
    }
    return pcx_read_screen(path, fit, image, source);
}
