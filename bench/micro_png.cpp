// The PNG writer and reader and the identification of a PNG picture's
// colours; one picture per iteration.
#include <benchmark/benchmark.h>

#include <array>
#include <memory>

#include "bench_pictures.h"
#include "identify/colour_identification.h"
#include "desktop/png_file.h"

namespace {

// Colours 0 to 15 of an emulator palette that is in no list of the palette
// library: its pictures are read approximately.
constexpr std::array<std::uint32_t, 16> FOREIGN_PALETTE = {
    0x000000, 0xFFFFFF, 0xAF2A29, 0x62D8CC, 0xB03FB6, 0x4AC64A, 0x3739C4, 0xE4ED4E,
    0xB6591C, 0x683808, 0xEA746C, 0x4D4D4D, 0x848484, 0xA6FA9E, 0x707CE6, 0xB6B6B5};

// The drawn picture as the suite's own PNG reads back: indices equal to the
// C64 numbers, the default palette.
std::unique_ptr<ColourImage> read_drawn_picture() {
    const bench::ScratchFile file("identify.png");
    png_write(*bench::rendered_image(*bench::drawn_multicolour_picture()), file.path);
    auto source = std::make_unique<ColourImage>();
    PictureFraming framing{};
    png_read(file.path, true, *source, framing);
    return source;
}

// The same picture in the foreign palette, palette-based or as colours. A
// few colours fit several readings, so the first pixels show all sixteen.
std::unique_ptr<ColourImage> foreign_picture(bool palette_based) {
    auto source = read_drawn_picture();
    for (std::uint8_t number = 0; number < 16; ++number) {
        source->indices[number] = number;
    }
    source->palette.fill(0);
    std::copy(FOREIGN_PALETTE.begin(), FOREIGN_PALETTE.end(), source->palette.begin());
    if (!palette_based) {
        for (std::size_t pixel = 0; pixel < IMAGE_PIXELS; ++pixel) {
            source->colours[pixel] = source->palette[source->indices[pixel]];
        }
        source->has_indices = false;
    }
    return source;
}

// The foreign picture palette-based with its palette sorted by brightness,
// as pixel editors save it: read through the whole palette.
std::unique_ptr<ColourImage> sorted_palette_picture() {
    static constexpr std::array<std::uint8_t, 16> BY_BRIGHTNESS = {0, 6, 9, 11, 2, 4, 8, 12, 14, 10, 5, 3, 15, 7, 13, 1};
    auto source = foreign_picture(true);
    std::array<std::uint8_t, 16> entry_of{};
    for (std::uint8_t entry = 0; entry < 16; ++entry) {
        source->palette[entry] = FOREIGN_PALETTE[BY_BRIGHTNESS[entry]];
        entry_of[BY_BRIGHTNESS[entry]] = entry;
    }
    for (auto& index : source->indices) index = entry_of[index];
    return source;
}

// A palette-based picture whose palette holds a library palette's colours,
// each a step off, in C64 order: its colours identify nothing exactly, so it
// is read by its indices.
std::unique_ptr<ColourImage> unknown_colour_picture() {
    auto source = read_drawn_picture();
    for (int entry = 0; entry < 16; ++entry) {
        source->palette[static_cast<std::size_t>(entry)] = library_colour(16, entry) ^ 0x030102u;
    }
    return source;
}

void identify(benchmark::State& state, const ColourImage& source, ColourReadingKind expected) {
    const auto image = std::make_unique<PixelImage>();
    ColourReading reading{};
    if (identify_colours(source, *image, reading) != ERR_SUCCESS || reading.kind != expected) {
        state.SkipWithError("the picture is not read the way this benchmark measures");
        return;
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(identify_colours(source, *image, reading));
    }
}

void png_write_picture(benchmark::State& state) {
    const auto image = bench::rendered_image(*bench::drawn_multicolour_picture());
    const bench::ScratchFile file("write.png");
    for (auto _ : state) {
        benchmark::DoNotOptimize(png_write(*image, file.path));
    }
}
BENCHMARK(png_write_picture);

void png_read_picture(benchmark::State& state) {
    const bench::ScratchFile file("read.png");
    png_write(*bench::rendered_image(*bench::drawn_multicolour_picture()), file.path);
    const auto source = std::make_unique<ColourImage>();
    PictureFraming framing{};
    for (auto _ : state) {
        benchmark::DoNotOptimize(png_read(file.path, true, *source, framing));
    }
}
BENCHMARK(png_read_picture);

void identify_exact(benchmark::State& state) {
    identify(state, *read_drawn_picture(), ColourReadingKind::exact);
}
BENCHMARK(identify_exact);

void identify_file_palette(benchmark::State& state) {
    identify(state, *sorted_palette_picture(), ColourReadingKind::file_palette);
}
BENCHMARK(identify_file_palette);

void identify_approximate_colours(benchmark::State& state) {
    identify(state, *foreign_picture(false), ColourReadingKind::approximate);
}
BENCHMARK(identify_approximate_colours);

void identify_by_index(benchmark::State& state) {
    identify(state, *unknown_colour_picture(), ColourReadingKind::indices);
}
BENCHMARK(identify_by_index);

}  // namespace
