// PNG files of every kind, built with libpng in the tests, and a decoder that
// reads any PNG back as it is stored.
#pragma once

#include <png.h>
#include <zlib.h>

#include <algorithm>

#include <array>
#include <csetjmp>
#include <cstdint>
#include <functional>
#include <vector>

// sample(x, y) gives the channel values of one pixel at the file's bit depth:
// the index, grey (+ alpha) or red, green, blue (+ alpha).
struct TestPng {
    int width;
    int height;
    int colour_type;
    int bit_depth;
    bool interlaced;
    std::vector<png_color> palette;
    std::function<std::array<std::uint16_t, 4>(int x, int y)> sample;
};

inline int channel_count(int colour_type) {
    switch (colour_type) {
        case PNG_COLOR_TYPE_GRAY:
        case PNG_COLOR_TYPE_PALETTE: return 1;
        case PNG_COLOR_TYPE_GRAY_ALPHA: return 2;
        case PNG_COLOR_TYPE_RGB: return 3;
        default: return 4;
    }
}

// Rows packed as the file stores them: small samples high bits first, 16-bit
// samples high byte first.
inline std::vector<std::uint8_t> packed_rows(const TestPng& recipe, std::size_t& row_bytes) {
    const int channels = channel_count(recipe.colour_type);
    row_bytes = (static_cast<std::size_t>(recipe.width) * channels * recipe.bit_depth + 7) / 8;
    std::vector<std::uint8_t> rows(row_bytes * static_cast<std::size_t>(recipe.height), 0);
    for (int y = 0; y < recipe.height; ++y) {
        std::uint8_t* row = rows.data() + row_bytes * static_cast<std::size_t>(y);
        std::size_t bit = 0;
        for (int x = 0; x < recipe.width; ++x) {
            const auto values = recipe.sample(x, y);
            for (int channel = 0; channel < channels; ++channel) {
                const std::uint16_t value = values[static_cast<std::size_t>(channel)];
                if (recipe.bit_depth == 16) {
                    row[bit / 8] = static_cast<std::uint8_t>(value >> 8);
                    row[bit / 8 + 1] = static_cast<std::uint8_t>(value);
                } else if (recipe.bit_depth == 8) {
                    row[bit / 8] = static_cast<std::uint8_t>(value);
                } else {
                    const int shift = 8 - recipe.bit_depth - static_cast<int>(bit % 8);
                    row[bit / 8] = static_cast<std::uint8_t>(row[bit / 8] | value << shift);
                }
                bit += static_cast<std::size_t>(recipe.bit_depth);
            }
        }
    }
    return rows;
}

inline void append_png_bytes(png_structp png, png_bytep data, std::size_t length) {
    auto* out = static_cast<std::vector<std::uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

inline void flush_png_bytes(png_structp) {}

inline bool write_test_png(png_structp png, png_infop info, const TestPng& recipe, png_bytepp rows) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_IHDR(png, info, static_cast<png_uint_32>(recipe.width), static_cast<png_uint_32>(recipe.height),
                 recipe.bit_depth, recipe.colour_type, recipe.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (!recipe.palette.empty()) png_set_PLTE(png, info, recipe.palette.data(), static_cast<int>(recipe.palette.size()));
    png_write_info(png, info);
    if (recipe.interlaced) png_set_interlace_handling(png);
    png_write_image(png, rows);
    png_write_end(png, info);
    return true;
}

inline std::vector<std::uint8_t> build_png(const TestPng& recipe) {
    std::size_t row_bytes = 0;
    std::vector<std::uint8_t> rows = packed_rows(recipe, row_bytes);
    std::vector<png_bytep> pointers;
    for (int y = 0; y < recipe.height; ++y) pointers.push_back(rows.data() + row_bytes * static_cast<std::size_t>(y));
    std::vector<std::uint8_t> out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(png, &out, append_png_bytes, flush_png_bytes);
    const bool written = write_test_png(png, info, recipe, pointers.data());
    png_destroy_write_struct(&png, &info);
    if (!written) out.clear();
    return out;
}

// A palette-based PNG as stored: one index a pixel and the palette.
struct StoredPng {
    int width = 0;
    int height = 0;
    int colour_type = -1;
    int bit_depth = 0;
    std::vector<std::uint8_t> indices;
    std::vector<png_color> palette;
};

struct PngByteSource {
    const std::vector<std::uint8_t>* bytes;
    std::size_t at;
};

inline void read_png_bytes(png_structp png, png_bytep data, std::size_t length) {
    auto* source = static_cast<PngByteSource*>(png_get_io_ptr(png));
    if (length > source->bytes->size() - source->at) png_error(png, "truncated");
    std::copy_n(source->bytes->data() + source->at, length, data);
    source->at += length;
}

inline bool read_stored_png(png_structp png, png_infop info, StoredPng& stored) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_read_info(png, info);
    stored.width = static_cast<int>(png_get_image_width(png, info));
    stored.height = static_cast<int>(png_get_image_height(png, info));
    stored.colour_type = png_get_color_type(png, info);
    stored.bit_depth = png_get_bit_depth(png, info);
    png_colorp palette = nullptr;
    int entries = 0;
    if (png_get_PLTE(png, info, &palette, &entries) != 0) stored.palette.assign(palette, palette + entries);
    png_set_packing(png);
    png_read_update_info(png, info);
    stored.indices.assign(static_cast<std::size_t>(stored.width * stored.height), 0);
    for (int y = 0; y < stored.height; ++y) {
        png_read_row(png, stored.indices.data() + static_cast<std::size_t>(y * stored.width), nullptr);
    }
    png_read_end(png, info);
    return true;
}

// Reads a palette-based PNG of up to 8 bits; false when libpng refuses it.
inline bool decode_stored_png(const std::vector<std::uint8_t>& bytes, StoredPng& stored) {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    PngByteSource source{&bytes, 0};
    png_set_read_fn(png, &source, read_png_bytes);
    const bool read = read_stored_png(png, info, stored);
    png_destroy_read_struct(&png, &info, nullptr);
    return read;
}
