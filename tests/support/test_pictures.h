// Pictures and images that the tests build, and small helpers around them.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "desktop/pcx.h"
#include "c64/picture.h"
#include "c64/pixel.h"

// A repeatable byte sequence, so that failures can be replayed.
class TestBytes {
public:
    explicit TestBytes(std::uint32_t seed) : state_(seed) {}
    std::uint8_t next() {
        state_ = state_ * 1664525u + 1013904223u;
        return static_cast<std::uint8_t>(state_ >> 24);
    }

private:
    std::uint32_t state_;
};

inline std::unique_ptr<C64Picture> random_multicolour_picture(std::uint32_t seed, std::uint8_t background) {
    auto picture = std::make_unique<C64Picture>();
    TestBytes bytes(seed);
    for (auto& byte : picture->bitmap) byte = bytes.next();
    for (auto& byte : picture->screen) byte = bytes.next();
    for (auto& byte : picture->colour) byte = bytes.next() & 0x0F;
    picture->background = background;
    return picture;
}

inline std::unique_ptr<HiresPicture> random_hires_picture(std::uint32_t seed) {
    auto picture = std::make_unique<HiresPicture>();
    TestBytes bytes(seed);
    for (auto& byte : picture->bitmap) byte = bytes.next();
    for (auto& byte : picture->screen) byte = bytes.next();
    return picture;
}

// A multicolour picture whose bitmap is all 0 and whose cells all carry the
// same screen and colour bytes.
inline std::unique_ptr<C64Picture> uniform_multicolour_picture(std::uint8_t background, std::uint8_t screen,
                                                               std::uint8_t colour) {
    auto picture = std::make_unique<C64Picture>();
    picture->bitmap.fill(0);
    picture->screen.fill(screen);
    picture->colour.fill(colour);
    picture->background = background;
    return picture;
}

inline std::unique_ptr<HiresPicture> uniform_hires_picture(std::uint8_t bitmap_byte, std::uint8_t screen) {
    auto picture = std::make_unique<HiresPicture>();
    picture->bitmap.fill(bitmap_byte);
    picture->screen.fill(screen);
    return picture;
}

inline std::unique_ptr<PixelImage> rendered(const C64Picture& picture, int palette = DEFAULT_PALETTE) {
    auto image = std::make_unique<PixelImage>();
    render_multicolour_picture(picture, *image, palette);
    return image;
}

inline std::unique_ptr<PixelImage> rendered(const HiresPicture& picture, int palette = DEFAULT_PALETTE) {
    auto image = std::make_unique<PixelImage>();
    render_hires_picture(picture, *image, palette);
    return image;
}

// A picture file of format 0 to 2 as it renders with the default palette.
inline std::unique_ptr<PixelImage> rendered_picture_file(const std::string& path, int format) {
    if (format == FORMAT_ART_STUDIO) {
        auto picture = std::make_unique<HiresPicture>();
        EXPECT_EQ(load_hires_picture(path, *picture), 0) << path;
        return rendered(*picture);
    }
    auto picture = std::make_unique<C64Picture>();
    EXPECT_EQ(load_multicolour_picture(path, format, *picture), 0) << path;
    return rendered(*picture);
}

// An image of colour 0 with a C64 palette, ready to be drawn on.
inline std::unique_ptr<PixelImage> blank_image() {
    auto image = std::make_unique<PixelImage>();
    image->pixels.fill(0);
    image->palette.fill(0);
    std::memcpy(image->palette.data(), c64_palettes[DEFAULT_PALETTE].data(), 48);
    return image;
}

inline void fill_cell(PixelImage& image, int cell, std::uint8_t colour) {
    CellBlock block{};
    block.pixels.fill(colour);
    cell_block_put(cell, block, image);
}

inline void set_pixel(PixelImage& image, int x, int y, std::uint8_t colour) {
    image.pixels[static_cast<std::size_t>(y * IMAGE_WIDTH + x)] = colour;
}
