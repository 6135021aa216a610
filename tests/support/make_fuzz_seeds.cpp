// Seed inputs of the png, gif and picture_formats fuzz targets, made with the
// suite's PNG writer, libpng, giflib and the tests' own packers. Pictures of wide
// stripes keep the files small.
//
//   make_fuzz_seeds CORPUS_FOLDER    (fuzz/make_corpus.sh runs it)
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "format_files.h"
#include "gif_builder.h"
#include "c64/picture_formats.h"
#include "png_builder.h"
#include "desktop/png_file.h"
#include "test_pictures.h"

namespace {

namespace fs = std::filesystem;

// The colours 0 to 15 of another emulator palette: near the built-in ones,
// equal to none of them.
constexpr std::array<std::uint32_t, 16> OTHER_PALETTE = {
    0x000000, 0xFFFFFF, 0x813338, 0x75CEC8, 0x8E3C97, 0x56AC4D, 0x2E2C9B, 0xEDF171,
    0x8E5029, 0x553800, 0xC46C71, 0x4A4A4A, 0x7B7B7B, 0xA9FF9F, 0x706DEB, 0xB2B2B2,
};

// Eight cells of each bitmap pattern side by side, other colours in each
// row of cells.
std::unique_ptr<C64Picture> striped_multicolour_picture() {
    constexpr std::array<std::uint8_t, 5> patterns = {0x00, 0x55, 0xAA, 0xFF, 0x1B};
    auto picture = std::make_unique<C64Picture>();
    for (std::size_t at = 0; at < picture->bitmap.size(); ++at) {
        picture->bitmap[at] = patterns[(at / 8 % 40 / 8) % patterns.size()];
    }
    for (std::size_t cell = 0; cell < picture->screen.size(); ++cell) {
        const auto row = static_cast<std::uint8_t>(cell / 40);
        picture->screen[cell] = static_cast<std::uint8_t>((row % 16) << 4 | (row + 5) % 16);
        picture->colour[cell] = static_cast<std::uint8_t>((row + 9) % 16);
    }
    picture->background = 6;
    return picture;
}

std::unique_ptr<HiresPicture> striped_hires_picture() {
    constexpr std::array<std::uint8_t, 4> patterns = {0x00, 0xF0, 0x33, 0xFF};
    auto picture = std::make_unique<HiresPicture>();
    for (std::size_t at = 0; at < picture->bitmap.size(); ++at) {
        picture->bitmap[at] = patterns[(at / 8 % 40 / 10) % patterns.size()];
    }
    for (std::size_t cell = 0; cell < picture->screen.size(); ++cell) {
        const auto row = static_cast<std::uint8_t>(cell / 40);
        picture->screen[cell] = static_cast<std::uint8_t>((row % 16) << 4 | (15 - row % 16));
    }
    return picture;
}

void write_seed(const fs::path& path, const FileBytes& bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size() ||
        std::fclose(file) != 0) {
        std::perror(path.c_str());
        std::exit(1);
    }
}

std::array<std::uint16_t, 4> rgb(std::uint32_t colour, std::uint16_t scale = 1) {
    return {static_cast<std::uint16_t>((colour >> 16 & 0xFF) * scale),
            static_cast<std::uint16_t>((colour >> 8 & 0xFF) * scale),
            static_cast<std::uint16_t>((colour & 0xFF) * scale), static_cast<std::uint16_t>(0xFF * scale)};
}

void make_png_seeds(const fs::path& folder, const PixelImage& image) {
    fs::create_directories(folder);
    // The suite's own: 4 bits when every value is a colour number, else 8.
    png_write(image, (folder / "suite_4bit.png").string());
    const auto not_colours = std::make_unique<PixelImage>(image);
    for (std::size_t at = 0; at < 320; ++at) {
        not_colours->pixels[IMAGE_PIXELS / 2 + at] = static_cast<std::uint8_t>(16 + at % 4);
    }
    png_write(*not_colours, (folder / "suite_8bit.png").string());

    const auto colour_at = [&image](int x, int y) {
        return image.pixels[static_cast<std::size_t>(y * IMAGE_WIDTH + x)];
    };
    // Read approximately: the colours of another palette, interlaced.
    write_seed(folder / "rgb_interlaced.png",
               build_png({IMAGE_WIDTH, IMAGE_HEIGHT, PNG_COLOR_TYPE_RGB, 8, true, {},
                          [&](int x, int y) { return rgb(OTHER_PALETTE[colour_at(x, y) & 15]); }}));
    // 16 bits with alpha, half as wide: each pixel stands for two.
    write_seed(folder / "rgba_16bit_narrow.png",
               build_png({160, IMAGE_HEIGHT, PNG_COLOR_TYPE_RGB_ALPHA, 16, false, {}, [&](int x, int y) {
                              const auto& colour = c64_palettes[DEFAULT_PALETTE][colour_at(2 * x, y) & 15];
                              return rgb(static_cast<std::uint32_t>(colour[0] << 16 | colour[1] << 8 | colour[2]),
                                         257);
                          }}));
    // Grey: black, the greys and white of the built-in palette.
    write_seed(folder / "grey.png", build_png({IMAGE_WIDTH, IMAGE_HEIGHT, PNG_COLOR_TYPE_GRAY, 8, false, {},
                                               [&](int x, int y) -> std::array<std::uint16_t, 4> {
                                                   constexpr std::array<std::size_t, 4> greys = {0, 11, 12, 1};
                                                   const auto& grey = c64_palettes[DEFAULT_PALETTE][greys[colour_at(x, y) % 4]];
                                                   return {grey[0], 0, 0, 0};
                                               }}));
    // An emulator screenshot with a border, its palette in another order.
    std::vector<png_color> reversed;
    for (int colour = 15; colour >= 0; --colour) {
        const auto& entry = c64_palettes[DEFAULT_PALETTE][static_cast<std::size_t>(colour)];
        reversed.push_back({entry[0], entry[1], entry[2]});
    }
    write_seed(folder / "screenshot.png",
               build_png({384, 272, PNG_COLOR_TYPE_PALETTE, 8, false, reversed, [&](int x, int y) {
                              const bool inside = x >= 32 && x < 352 && y >= 35 && y < 235;
                              const std::uint16_t colour = inside ? colour_at(x - 32, y - 35) & 15 : 14;
                              return std::array<std::uint16_t, 4>{static_cast<std::uint16_t>(15 - colour), 0, 0, 0};
                          }}));
    // Read by its indices: two bits, colours that are no C64 colour.
    write_seed(folder / "indices_2bit.png",
               build_png({IMAGE_WIDTH, IMAGE_HEIGHT, PNG_COLOR_TYPE_PALETTE, 2, false,
                          {{1, 2, 3}, {200, 10, 250}, {10, 250, 10}, {250, 250, 100}}, [&](int x, int y) {
                              return std::array<std::uint16_t, 4>{static_cast<std::uint16_t>(colour_at(x, y) % 4), 0,
                                                                  0, 0};
                          }}));
}

// Framed and enlarged pictures of wide stripes, as PNG.
void make_framed_png_seeds(const fs::path& folder, const PixelImage& image) {
    const auto index = [&](int x, int y) {
        return image.pixels[static_cast<std::size_t>(y * IMAGE_WIDTH + x)];
    };
    std::vector<png_color> palette;
    for (int colour = 0; colour < 16; ++colour) {
        palette.push_back({image.palette[3 * colour], image.palette[3 * colour + 1], image.palette[3 * colour + 2]});
    }
    write_seed(folder / "framed_384x247.png",
               build_png({384, 247, PNG_COLOR_TYPE_PALETTE, 4, false, palette, [&](int x, int y) {
                              const bool inside = x >= 32 && x < 352 && y >= 23 && y < 223;
                              return std::array<std::uint16_t, 4>{
                                  static_cast<std::uint16_t>(inside ? index(x - 32, y - 23) : 14)};
                          }}));
    write_seed(folder / "enlarged_640x400.png",
               build_png({640, 400, PNG_COLOR_TYPE_PALETTE, 4, false, palette, [&](int x, int y) {
                              return std::array<std::uint16_t, 4>{static_cast<std::uint16_t>(index(x / 2, y / 2))};
                          }}));
}

// GIF: global and local maps, interlacing, extensions, a frame smaller than
// its screen, narrow and enlarged pictures.
void make_gif_seeds(const fs::path& folder, const PixelImage& image) {
    fs::create_directories(folder);
    std::vector<GifColorType> map;
    for (int colour = 0; colour < 16; ++colour) {
        map.push_back({image.palette[3 * colour], image.palette[3 * colour + 1], image.palette[3 * colour + 2]});
    }
    const auto index = [&](int x, int y) { return image.pixels[static_cast<std::size_t>(y * IMAGE_WIDTH + x)]; };
    write_seed(folder / "picture.gif", build_gif({320, 200, 0, 0, 320, 200, false, map, {}, 0, index}));
    write_seed(folder / "interlaced_local_map.gif",
               build_gif({320, 200, 0, 0, 320, 200, true, {}, map, 0, index, true}));
    write_seed(folder / "framed_384x247.gif", build_gif({384, 247, 32, 23, 320, 200, false, map, {}, 14, index}));
    write_seed(folder / "narrow.gif", build_gif({160, 200, 0, 0, 160, 200, false, map, {}, 0,
                                                 [&](int x, int y) { return index(2 * x, y); }}));
    write_seed(folder / "enlarged_640x400.gif", build_gif({640, 400, 0, 0, 640, 400, false, map, {}, 0,
                                                           [&](int x, int y) { return index(x / 2, y / 2); }}));
}

// The first byte chooses the row of the table.
void write_format_seed(const fs::path& folder, const std::string& extension, const FileBytes& file) {
    const int row = format_of_file_name("seed." + extension, -1) - FIRST_TABLE_FORMAT;
    FileBytes seed = {static_cast<std::uint8_t>(row)};
    seed.insert(seed.end(), file.begin(), file.end());
    write_seed(folder / extension, seed);
}

const TestLayout& layout_of(const std::string& extension) {
    for (const TestLayout& layout : unpacked_layouts()) {
        if (extension == layout.extension) {
            return layout;
        }
    }
    std::fprintf(stderr, "no layout %s\n", extension.c_str());
    std::exit(1);
}

void make_format_seeds(const fs::path& folder, const C64Picture& picture, const HiresPicture& hires) {
    fs::create_directories(folder);
    write_format_seed(folder, "gg", gg_file(picture));
    write_format_seed(folder, "jj", jj_file(hires));
    write_format_seed(folder, "drp", drp_file(picture));
    // Unpacked rows: one multicolour, one hires.
    write_format_seed(folder, "ocp", multicolour_layout_file(layout_of("ocp"), picture));
    write_format_seed(folder, "dd", hires_layout_file(layout_of("dd"), hires));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_fuzz_seeds CORPUS_FOLDER\n");
        return 2;
    }
    const fs::path corpus = argv[1];
    const auto picture = striped_multicolour_picture();
    const auto hires = striped_hires_picture();
    make_png_seeds(corpus / "png", *rendered(*picture));
    make_framed_png_seeds(corpus / "png", *rendered(*picture));
    make_gif_seeds(corpus / "gif", *rendered(*picture));
    make_format_seeds(corpus / "picture_formats", *picture, *hires);
    return 0;
}
