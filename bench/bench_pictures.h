// Pictures for the micro-benchmarks, made by formula: areas of one pattern
// and bands of changing colour, so that run-length packing finds runs as it
// does in a drawn picture, and every cell keeps to its mode's colour limits.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "c64/picture.h"
#include "c64/pixel.h"

namespace bench {

// Pair value of double-width pixel (x, y): rings round a centre, cut off in
// the corners, where the picture is plain background.
inline int drawn_pair(int x, int y) {
    const int dx = x - 80;
    const int dy = y - 100;
    const int distance = dx * dx + 4 * dy * dy;
    if (distance > 90 * 90) {
        return 0;
    }
    return 1 + (distance / 700 + x / 24) % 3;
}

inline std::unique_ptr<C64Picture> drawn_multicolour_picture() {
    auto picture = std::make_unique<C64Picture>();
    for (int y = 0; y < PICTURE_LINES; ++y) {
        for (int column = 0; column < CELL_COLUMNS; ++column) {
            int byte = 0;
            for (int pair = 0; pair < 4; ++pair) {
                byte = (byte << 2) | drawn_pair(column * 4 + pair, y);
            }
            picture->bitmap[static_cast<std::size_t>((y / 8) * 320 + column * 8 + y % 8)] =
                static_cast<std::uint8_t>(byte);
        }
    }
    for (int cell = 0; cell < CELL_COUNT; ++cell) {
        const int row = cell / CELL_COLUMNS;
        picture->screen[static_cast<std::size_t>(cell)] = static_cast<std::uint8_t>(((2 + row / 5) << 4) | 9);
        picture->colour[static_cast<std::size_t>(cell)] = static_cast<std::uint8_t>(10 + (cell % CELL_COLUMNS) / 10);
    }
    picture->background = 0;
    return picture;
}

// Each set bit is a set pair of the multicolour picture, on a screen of
// colours that change every few rows.
inline std::unique_ptr<HiresPicture> drawn_hires_picture() {
    const auto multicolour = drawn_multicolour_picture();
    auto picture = std::make_unique<HiresPicture>();
    picture->bitmap = multicolour->bitmap;
    for (int cell = 0; cell < CELL_COUNT; ++cell) {
        picture->screen[static_cast<std::size_t>(cell)] = static_cast<std::uint8_t>(((1 + cell / 120) << 4) | 6);
    }
    return picture;
}

// A multicolour picture in colours 0, 1, 2 and 5 whose first 255 cells are
// all different and the rest repeat them: a logo of 255 characters.
inline std::unique_ptr<C64Picture> logo_picture() {
    auto picture = std::make_unique<C64Picture>();
    for (int cell = 0; cell < CELL_COUNT; ++cell) {
        const auto pattern = static_cast<std::uint8_t>(1 + cell % 255);
        for (int line = 0; line < 8; ++line) {
            picture->bitmap[static_cast<std::size_t>(cell * 8 + line)] = pattern;
        }
        picture->screen[static_cast<std::size_t>(cell)] = 0x12;
        picture->colour[static_cast<std::size_t>(cell)] = 5;
    }
    picture->background = 0;
    return picture;
}

inline std::unique_ptr<PixelImage> rendered_image(const C64Picture& picture) {
    auto image = std::make_unique<PixelImage>();
    render_multicolour_picture(picture, *image, DEFAULT_PALETTE);
    return image;
}

// Files go to memory where the system offers it, so that the figures are
// the library's work and not the disk's.
inline std::filesystem::path scratch_folder() {
    const std::filesystem::path memory = "/dev/shm";
    std::error_code error;
    return std::filesystem::is_directory(memory, error) ? memory : std::filesystem::temp_directory_path();
}

// A scratch file, removed when the benchmark ends.
struct ScratchFile {
    std::string path;
    explicit ScratchFile(const std::string& name) : path((scratch_folder() / ("suite_bench_" + name)).string()) {}
    ~ScratchFile() { std::filesystem::remove(path); }
};

}  // namespace bench
