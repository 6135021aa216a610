// The PNG and GIF inputs of the whole-program runs, made from a 320 by 200
// PNG that exgravo wrote: the same picture 160 by 200 (each pair one pixel),
// as a 384 by 272 emulator screenshot (the picture at x 32, y 35 in a border
// of its background), as 8-bit RGB in another emulator's palette, read
// approximately (when its colours allow a clear-cut reading), as a framed
// NTSC screenshot of 384 by 247 (RGB, the picture centred in a border of its
// background) and as a GIF.
//
//   make_png_inputs picture.png narrow.png screenshot.png approximate.png framed.png picture.gif
#include <array>
#include <cstdio>
#include <fstream>
#include <memory>

#include "identify/colour_identification.h"
#include "gif_builder.h"
#include "png_builder.h"
#include "desktop/png_file.h"

namespace {

// An emulator palette in no list of the palette library.
constexpr std::array<std::uint32_t, 16> FOREIGN_PALETTE = {
    0x000000, 0xFFFFFF, 0xAF2A29, 0x62D8CC, 0xB03FB6, 0x4AC64A, 0x3739C4, 0xE4ED4E,
    0xB6591C, 0x683808, 0xEA746C, 0x4D4D4D, 0x848484, 0xA6FA9E, 0x707CE6, 0xB6B6B5};

std::vector<png_color> png_palette(const ColourImage& image) {
    std::vector<png_color> palette;
    for (int entry = 0; entry < 16; ++entry) {
        const std::uint32_t colour = image.palette[static_cast<std::size_t>(entry)];
        palette.push_back({static_cast<png_byte>(colour >> 16), static_cast<png_byte>(colour >> 8),
                           static_cast<png_byte>(colour)});
    }
    return palette;
}

std::uint16_t index_at(const ColourImage& image, int x, int y) {
    return image.indices[static_cast<std::size_t>(y * IMAGE_WIDTH + x)];
}

// A picture of few colours can fit several readings in the foreign palette,
// and is then refused: such a picture gets no approximate input.
bool reads_approximately(const ColourImage& picture) {
    const auto foreign = std::make_unique<ColourImage>(picture);
    std::copy(FOREIGN_PALETTE.begin(), FOREIGN_PALETTE.end(), foreign->palette.begin());
    const auto numbers = std::make_unique<PixelImage>();
    ColourReading reading{};
    return identify_colours(*foreign, *numbers, reading) == ERR_SUCCESS &&
           reading.kind == ColourReadingKind::approximate;
}

bool store_bytes(const std::vector<std::uint8_t>& bytes, const char* path) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return !bytes.empty() && static_cast<bool>(out);
}

bool store(const TestPng& recipe, const char* path) {
    return store_bytes(build_png(recipe), path);
}

std::array<std::uint16_t, 4> rgb_channels(std::uint32_t colour) {
    return {static_cast<std::uint16_t>(colour >> 16), static_cast<std::uint16_t>(colour >> 8 & 0xFF),
            static_cast<std::uint16_t>(colour & 0xFF)};
}

// The framed NTSC screenshot and the GIF.
bool store_framed_and_gif(const ColourImage& picture, const char* framed_path, const char* gif_path) {
    const std::uint32_t border = picture.palette[index_at(picture, 0, 0)];
    const TestPng framed{384, 247, PNG_COLOR_TYPE_RGB, 8, false, {}, [&](int x, int y) {
                             const bool inside = x >= 32 && x < 352 && y >= 23 && y < 223;
                             return rgb_channels(inside ? picture.palette[index_at(picture, x - 32, y - 23)] : border);
                         }};
    std::vector<GifColorType> map;
    for (int entry = 0; entry < 16; ++entry) {
        const std::uint32_t colour = picture.palette[static_cast<std::size_t>(entry)];
        map.push_back({static_cast<GifByteType>(colour >> 16), static_cast<GifByteType>(colour >> 8),
                       static_cast<GifByteType>(colour)});
    }
    const TestGif gif{320, 200, 0, 0, 320, 200, false, map, {}, 0, [&](int x, int y) {
                          return static_cast<std::uint8_t>(index_at(picture, x, y));
                      }};
    return store(framed, framed_path) && store_bytes(build_gif(gif), gif_path);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 7) {
        std::fprintf(stderr, "usage: make_png_inputs picture.png narrow.png screenshot.png approximate.png "
                             "framed.png picture.gif\n");
        return 2;
    }
    const auto image = std::make_unique<ColourImage>();
    PictureFraming framing{};
    if (png_read(argv[1], true, *image, framing) != ERR_SUCCESS || !image->has_indices) {
        std::fprintf(stderr, "make_png_inputs: %s is not a palette-based 320 by 200 PNG\n", argv[1]);
        return 1;
    }
    const ColourImage& picture = *image;
    const TestPng narrow{160, 200, PNG_COLOR_TYPE_PALETTE, 4, false, png_palette(picture), [&](int x, int y) {
                             return std::array<std::uint16_t, 4>{index_at(picture, 2 * x, y)};
                         }};
    const std::uint16_t border = index_at(picture, 0, 0);
    const TestPng screenshot{384, 272, PNG_COLOR_TYPE_PALETTE, 4, false, png_palette(picture), [&](int x, int y) {
                                 const bool inside = x >= 32 && x < 352 && y >= 35 && y < 235;
                                 return std::array<std::uint16_t, 4>{inside ? index_at(picture, x - 32, y - 35)
                                                                            : border};
                             }};
    const TestPng approximate{320, 200, PNG_COLOR_TYPE_RGB, 8, false, {}, [&](int x, int y) {
                                  const std::uint32_t colour = FOREIGN_PALETTE[index_at(picture, x, y) & 15];
                                  return std::array<std::uint16_t, 4>{static_cast<std::uint16_t>(colour >> 16),
                                                                      static_cast<std::uint16_t>(colour >> 8 & 0xFF),
                                                                      static_cast<std::uint16_t>(colour & 0xFF)};
                              }};
    if (!store(narrow, argv[2]) || !store(screenshot, argv[3]) || !store_framed_and_gif(picture, argv[5], argv[6])) {
        return 1;
    }
    if (!reads_approximately(picture)) {
        std::printf("make_png_inputs: the picture's colours fit several readings in the foreign palette: no %s\n",
                    argv[4]);
        return 0;
    }
    return store(approximate, argv[4]) ? 0 : 1;
}
