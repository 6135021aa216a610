// The library's work on one whole picture. Every benchmark handles one
// picture per iteration, so the time per iteration is the time per picture.
#include <benchmark/benchmark.h>

#include <memory>

#include "bench_pictures.h"
#include "desktop/pcx.h"
#include "c64/picture.h"
#include "c64/pixel.h"
#include "c64/reencode.h"
#include "c64/sprite.h"

namespace {

void amica_pack(benchmark::State& state) {
    const auto picture = bench::drawn_multicolour_picture();
    const auto image = std::make_unique<AmicaImage>();
    picture_to_amica(*picture, *image);
    for (auto _ : state) {
        benchmark::DoNotOptimize(pack_amica_data(*image));
    }
}
BENCHMARK(amica_pack);

void amica_write(benchmark::State& state) {
    const auto picture = bench::drawn_multicolour_picture();
    const auto image = std::make_unique<AmicaImage>();
    picture_to_amica(*picture, *image);
    const bench::ScratchFile file("amica_write.ami");
    for (auto _ : state) {
        benchmark::DoNotOptimize(write_amica_file(file.path, *image));
    }
}
BENCHMARK(amica_write);

void amica_unpack(benchmark::State& state) {
    const auto picture = bench::drawn_multicolour_picture();
    const bench::ScratchFile file("amica_read.ami");
    save_multicolour_picture(file.path, FORMAT_AMICA, *picture);
    const auto image = std::make_unique<AmicaImage>();
    for (auto _ : state) {
        benchmark::DoNotOptimize(read_amica_file(file.path, *image));
    }
}
BENCHMARK(amica_unpack);

void pcx_write_picture(benchmark::State& state) {
    const auto image = bench::rendered_image(*bench::drawn_multicolour_picture());
    const bench::ScratchFile file("write.pcx");
    for (auto _ : state) {
        benchmark::DoNotOptimize(pcx_write(*image, file.path));
    }
}
BENCHMARK(pcx_write_picture);

void pcx_read_picture(benchmark::State& state) {
    const bench::ScratchFile file("read.pcx");
    pcx_write(*bench::rendered_image(*bench::drawn_multicolour_picture()), file.path);
    const auto image = std::make_unique<PixelImage>();
    for (auto _ : state) {
        benchmark::DoNotOptimize(pcx_read(file.path, *image));
    }
}
BENCHMARK(pcx_read_picture);

// PNG write, PNG read and the palette identification of a PNG picture join
// here, in the same form, with the PNG reader and writer.

void render_multicolour(benchmark::State& state) {
    const auto picture = bench::drawn_multicolour_picture();
    const auto image = std::make_unique<PixelImage>();
    for (auto _ : state) {
        benchmark::DoNotOptimize(render_multicolour_picture(*picture, *image, DEFAULT_PALETTE));
    }
}
BENCHMARK(render_multicolour);

void render_hires(benchmark::State& state) {
    const auto picture = bench::drawn_hires_picture();
    const auto image = std::make_unique<PixelImage>();
    for (auto _ : state) {
        benchmark::DoNotOptimize(render_hires_picture(*picture, *image, DEFAULT_PALETTE));
    }
}
BENCHMARK(render_hires);

void encode_multicolour(benchmark::State& state) {
    const auto image = bench::rendered_image(*bench::drawn_multicolour_picture());
    const auto picture = std::make_unique<C64Picture>();
    for (auto _ : state) {
        benchmark::DoNotOptimize(encode_multicolour_picture(0, *image, *picture));
    }
}
BENCHMARK(encode_multicolour);

void encode_hires(benchmark::State& state) {
    const auto source = bench::drawn_hires_picture();
    const auto image = std::make_unique<PixelImage>();
    render_hires_picture(*source, *image, DEFAULT_PALETTE);
    const auto picture = std::make_unique<HiresPicture>();
    for (auto _ : state) {
        benchmark::DoNotOptimize(encode_hires_picture(*image, *picture));
    }
}
BENCHMARK(encode_hires);

// The checks that ingravo makes on every cell of a picture.
void cell_checks(benchmark::State& state) {
    const auto image = bench::rendered_image(*bench::drawn_multicolour_picture());
    const auto block = std::make_unique<CellBlock>();
    for (auto _ : state) {
        int failed = 0;
        for (int cell = 0; cell < CELL_COUNT; ++cell) {
            std::uint8_t verdict = 0;
            cell_block_get(cell, *image, *block);
            cell_colour_check(*block, false, 0, verdict);
            failed += verdict;
        }
        benchmark::DoNotOptimize(failed);
    }
}
BENCHMARK(cell_checks);

void most_used(benchmark::State& state) {
    const auto image = bench::rendered_image(*bench::drawn_multicolour_picture());
    for (auto _ : state) {
        std::uint8_t colour = 0;
        benchmark::DoNotOptimize(most_used_colour(*image, colour));
        benchmark::DoNotOptimize(colour);
    }
}
BENCHMARK(most_used);

void cut_hires_grid_240_by_189(benchmark::State& state) {
    auto picture = bench::drawn_hires_picture();
    picture->screen.fill(0x16);
    const auto grid = std::make_unique<SpriteGrid>();
    for (auto _ : state) {
        grid->bytes.fill(0);
        benchmark::DoNotOptimize(cut_hires_sprites(*picture, 0, 0, 240, 189, 6, 1, grid->bytes));
    }
}
BENCHMARK(cut_hires_grid_240_by_189);

void cut_multicolour_grid_156_by_189(benchmark::State& state) {
    auto picture = bench::drawn_multicolour_picture();
    picture->screen.fill(0x29);
    picture->colour.fill(10);
    const auto grid = std::make_unique<SpriteGrid>();
    for (auto _ : state) {
        grid->bytes.fill(0);
        benchmark::DoNotOptimize(cut_multicolour_sprites(*picture, 0, 0, 156, 189, 0, 2, 9, 10, grid->bytes));
    }
}
BENCHMARK(cut_multicolour_grid_156_by_189);

}  // namespace
