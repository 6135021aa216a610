// The re-encoding pass with each slot policy of the tools, and the logo's
// font build; one picture per iteration.
#include <benchmark/benchmark.h>

#include <memory>

#include "bench_pictures.h"
#include "logo.h"
#include "c64/reencode.h"
#include "remap.h"

namespace {

void reencode_multicolour_learning(benchmark::State& state) {
    const auto source = bench::logo_picture();
    const auto output = std::make_unique<C64Picture>();
    for (auto _ : state) {
        MulticolourSlots slots = {0, 1, 2, 0};
        benchmark::DoNotOptimize(reencode_multicolour_picture(*source, *output, slots, 3, learn_multicolour_slots));
    }
}
BENCHMARK(reencode_multicolour_learning);

void reencode_hires_learning(benchmark::State& state) {
    const auto source = bench::drawn_hires_picture();
    const auto output = std::make_unique<HiresPicture>();
    for (auto _ : state) {
        HiresSlots slots = {6, 0};
        benchmark::DoNotOptimize(reencode_hires_picture(*source, *output, slots, 1, learn_hires_slots));
    }
}
BENCHMARK(reencode_hires_learning);

void reencode_multicolour_fixed(benchmark::State& state) {
    const auto source = bench::logo_picture();
    const auto output = std::make_unique<C64Picture>();
    for (auto _ : state) {
        MulticolourSlots slots = {0, 2, 1, 5};
        benchmark::DoNotOptimize(reencode_multicolour_picture(*source, *output, slots, 4, colours_in_slots));
    }
}
BENCHMARK(reencode_multicolour_fixed);

void reencode_hires_fixed(benchmark::State& state) {
    auto source = bench::drawn_hires_picture();
    source->screen.fill(0x16);
    const auto output = std::make_unique<HiresPicture>();
    for (auto _ : state) {
        HiresSlots slots = {1, 6};
        benchmark::DoNotOptimize(reencode_hires_picture(*source, *output, slots, 2, colours_in_slots));
    }
}
BENCHMARK(reencode_hires_fixed);

// The whole logo of 255 characters: read, re-encode, collect the font, write.
void font_build_255_characters(benchmark::State& state) {
    const bench::ScratchFile picture("logo.koa");
    const bench::ScratchFile font("logo.fnt");
    const bench::ScratchFile screen("logo.scr");
    const bench::ScratchFile colour("logo.col");
    save_multicolour_picture(picture.path, FORMAT_KOALA, *bench::logo_picture());
    const SharedColours shared{{0, 1, 2}};
    for (auto _ : state) {
        benchmark::DoNotOptimize(build_logo(font.path, screen.path, picture.path, colour.path, FORMAT_KOALA, shared));
    }
}
BENCHMARK(font_build_255_characters);

}  // namespace
