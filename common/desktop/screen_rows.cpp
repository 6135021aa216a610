#include "desktop/screen_rows.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <new>

namespace {

// A streamed row costs its samples, its floats, the scaler's weights and
// the reader's own buffers: about this much a pixel at most.
constexpr std::size_t STREAMED_BYTES_PER_PIXEL = 48;

std::size_t pixel_bytes(const SampleFormat& format) {
    return static_cast<std::size_t>(samples_per_pixel(format.layout)) * static_cast<std::size_t>(format.bytes_per_sample);
}

}  // namespace

bool streamed_width_possible(std::size_t width, std::size_t bytes_per_pixel) {
    return width <= MAX_DECODE_BYTES / (STREAMED_BYTES_PER_PIXEL + bytes_per_pixel);
}

ErrorCode start_screen_rows(int width, int height, const SampleFormat& format, const ColourDescription& colours,
                            ScreenFit fit, ErrorCode refusal, ScreenImage& image, ScreenRows& rows,
                            ScreenSource& source) {
    if (width <= 0 || height <= 0) {
        source.problem = "a picture of no pixels";
        return refusal;
    }
    if (!streamed_width_possible(static_cast<std::size_t>(width), pixel_bytes(format))) {
        source.problem = "rows too wide to be read within " + std::to_string(MAX_DECODE_BYTES >> 20) + " MB";
        return refusal;
    }
    rows.width = width;
    ErrorCode code = prepare_colour_conversion(format, colours, width, refusal, rows.conversion, source.problem);
    if (code < 0) {
        return code;
    }
    source.profile = rows.conversion.name;
    code = start_screen_scaling(width, height, fit, image, rows.scaler);
    if (code < 0) {
        return code;
    }
    try {
        rows.linear.assign(static_cast<std::size_t>(width) * 4, 0.0F);
        rows.gathered.assign(static_cast<std::size_t>(width) * pixel_bytes(format), 0);
    } catch (const std::bad_alloc&) {
        return ERR_ALLOCATION;
    }
    return ERR_SUCCESS;
}

bool next_screen_row_needed(const ScreenRows& rows) {
    return screen_row_needed(rows.scaler, rows.scaler.next_row);
}

void push_samples(ScreenRows& rows, const std::uint8_t* samples, bool mirrored) {
    if (!next_screen_row_needed(rows)) {
        skip_screen_row(rows.scaler);
        return;
    }
    if (mirrored) {
        const std::size_t bytes = pixel_bytes(rows.conversion.format);
        const auto width = static_cast<std::size_t>(rows.width);
        for (std::size_t x = 0; x < width; ++x) {
            std::memcpy(rows.gathered.data() + x * bytes, samples + (width - 1 - x) * bytes, bytes);
        }
        samples = rows.gathered.data();
    }
    convert_row_to_linear(rows.conversion, samples, rows.width, rows.linear.data());
    push_screen_row(rows.scaler, rows.linear.data());
}

void skip_samples(ScreenRows& rows) {
    skip_screen_row(rows.scaler);
}

void push_oriented_picture(ScreenRows& rows, const std::uint8_t* stored, int stored_width, int stored_height,
                           int orientation) {
    const std::size_t bytes = pixel_bytes(rows.conversion.format);
    const int shown_height = orientation_swaps_sides(orientation) ? stored_width : stored_height;
    for (int y = 0; y < shown_height; ++y) {
        if (!next_screen_row_needed(rows)) {
            skip_screen_row(rows.scaler);
            continue;
        }
        for (int x = 0; x < rows.width; ++x) {
            int stored_x = 0;
            int stored_y = 0;
            stored_position(orientation, stored_width, stored_height, x, y, stored_x, stored_y);
            std::memcpy(rows.gathered.data() + static_cast<std::size_t>(x) * bytes,
                        stored + (static_cast<std::size_t>(stored_y) * static_cast<std::size_t>(stored_width) +
                                  static_cast<std::size_t>(stored_x)) * bytes,
                        bytes);
        }
        convert_row_to_linear(rows.conversion, rows.gathered.data(), rows.width, rows.linear.data());
        push_screen_row(rows.scaler, rows.linear.data());
    }
}

void finish_screen_rows(ScreenRows& rows) {
    finish_screen_scaling(rows.scaler);
}
