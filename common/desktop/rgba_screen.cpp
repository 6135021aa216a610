#include "desktop/rgba_screen.h"

#include <cstddef>
#include <memory>

#include "desktop/screen_rows.h"

ErrorCode rgba_read_screen(const std::uint8_t* rgba, int width, int height, ScreenFit fit, ErrorCode refusal,
                           ScreenImage& image, ScreenSource& source) {
    source.width = width;
    source.height = height;
    const SampleFormat format{SampleLayout::rgba, 1, false};
    auto rows = std::make_unique<ScreenRows>();
    const ErrorCode code =
        start_screen_rows(width, height, format, ColourDescription{}, fit, refusal, image, *rows, source);
    if (code < 0) {
        return code;
    }
    const std::size_t row_bytes = static_cast<std::size_t>(width) * 4;
    for (int y = 0; y < height; ++y) {
        push_samples(*rows, rgba + static_cast<std::size_t>(y) * row_bytes);
    }
    finish_screen_rows(*rows);
    return ERR_SUCCESS;
}
