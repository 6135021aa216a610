// The picture-quality measure on one whole picture: a smooth picture of every
// hue and lightness against the drawn multicolour picture in palette 13.
// ingravo -f prepares the reference once and scores two pictures against it.
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>

#include "bench_pictures.h"
#include "c64/pixel.h"
#include "convert/picture_measure.h"

namespace {

// Hue around the circle from left to right, dark to light from top to bottom.
std::unique_ptr<LinearRgb> smooth_reference() {
    auto picture = std::make_unique<LinearRgb>();
    for (int y = 0; y < IMAGE_HEIGHT; ++y) {
        for (int x = 0; x < IMAGE_WIDTH; ++x) {
            const double angle = 6.283185307179586 * x / IMAGE_WIDTH;
            const double light = (y + 0.5) / IMAGE_HEIGHT;
            for (int channel = 0; channel < 3; ++channel) {
                const double wave = 0.5 + 0.5 * std::cos(angle - 2.0943951023931953 * channel);
                (*picture)[static_cast<std::size_t>((y * IMAGE_WIDTH + x) * 3 + channel)] =
                    static_cast<float>(light * (0.3 + 0.7 * wave));
            }
        }
    }
    return picture;
}

std::unique_ptr<LinearRgb> drawn_output() {
    auto output = std::make_unique<LinearRgb>();
    linear_rgb_from_pixel_image(*bench::rendered_image(*bench::drawn_multicolour_picture()), 13, *output);
    return output;
}

void measure_whole_picture(benchmark::State& state) {
    const auto reference = smooth_reference();
    const auto output = drawn_output();
    const double sigma = static_cast<double>(state.range(0));
    PictureScore score{};
    for (auto _ : state) {
        benchmark::DoNotOptimize(measure_picture(*reference, *output, sigma, score));
    }
}
BENCHMARK(measure_whole_picture)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

void measure_prepare_reference(benchmark::State& state) {
    const auto reference = smooth_reference();
    const auto prepared = std::make_unique<MeasureReference>();
    for (auto _ : state) {
        benchmark::DoNotOptimize(prepare_measure_reference(*reference, 1.0, *prepared));
    }
}
BENCHMARK(measure_prepare_reference)->Unit(benchmark::kMillisecond);

void measure_against_prepared(benchmark::State& state) {
    const auto prepared = std::make_unique<MeasureReference>();
    prepare_measure_reference(*smooth_reference(), 1.0, *prepared);
    const auto output = drawn_output();
    PictureScore score{};
    for (auto _ : state) {
        benchmark::DoNotOptimize(measure_against_reference(*prepared, *output, score));
    }
}
BENCHMARK(measure_against_prepared)->Unit(benchmark::kMillisecond);

}  // namespace
