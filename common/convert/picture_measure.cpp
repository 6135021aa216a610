#include "convert/picture_measure.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <new>

#include "colour/colour_science.h"
#include "palettes/palette_library.h"

namespace {

constexpr int MAX_BLUR_RADIUS = static_cast<int>(4.0 * MAX_MEASURE_SIGMA + 0.5);
constexpr int ROW_VALUES = IMAGE_WIDTH * 3;

// The structural similarity's window, its constants for L* (range 100) and
// the margin where the window would leave the picture.
constexpr int SSIM_WINDOW = 7;
constexpr int SSIM_MARGIN = SSIM_WINDOW / 2;
constexpr int SSIM_COLUMNS = IMAGE_WIDTH - 2 * SSIM_MARGIN;
constexpr int SSIM_ROWS = IMAGE_HEIGHT - 2 * SSIM_MARGIN;
constexpr double SSIM_C1 = (0.01 * 100.0) * (0.01 * 100.0);
constexpr double SSIM_C2 = (0.03 * 100.0) * (0.03 * 100.0);
constexpr double WINDOW_PIXELS = SSIM_WINDOW * SSIM_WINDOW;
constexpr double SAMPLE_COVARIANCE = WINDOW_PIXELS / (WINDOW_PIXELS - 1.0);

// Half a symmetric kernel: weights[d] for offsets -d and +d.
struct GaussianKernel {
    int radius;
    std::array<float, MAX_BLUR_RADIUS + 1> weights;
};

struct BlurWork {
    LinearRgb rows;  // after the horizontal pass
    std::array<float, (IMAGE_WIDTH + 2 * MAX_BLUR_RADIUS) * 3> padded_row;
};

// The output's side: its blurred light and CIELAB.
struct OutputWork {
    LinearRgb blurred;
    std::array<double, IMAGE_PIXELS * 3> lab;
};

// Sums of the two lightness pictures, their squares and their product over
// 7 neighbouring pixels.
struct WindowSums {
    double x;
    double y;
    double xx;
    double yy;
    double xy;
};

struct SsimWork {
    std::array<WindowSums, SSIM_COLUMNS * IMAGE_HEIGHT> row_sums;  // over 7 pixels of a row
};

bool valid_sigma(double sigma) {
    return sigma >= 0.0 && sigma <= MAX_MEASURE_SIGMA;  // false for NaN
}

bool all_finite(const LinearRgb& picture) {
    bool finite = true;
    for (const float value : picture) {
        finite &= std::isfinite(value);
    }
    return finite;
}

GaussianKernel gaussian_kernel(double sigma) {
    GaussianKernel kernel{};
    kernel.radius = static_cast<int>(4.0 * sigma + 0.5);
    std::array<double, MAX_BLUR_RADIUS + 1> exact{};
    double total = 0.0;
    for (int offset = 0; offset <= kernel.radius; ++offset) {
        exact[static_cast<std::size_t>(offset)] = std::exp(-0.5 * offset * offset / (sigma * sigma));
        total += offset == 0 ? exact[0] : 2.0 * exact[static_cast<std::size_t>(offset)];
    }
    for (int offset = 0; offset <= kernel.radius; ++offset) {
        kernel.weights[static_cast<std::size_t>(offset)] = static_cast<float>(exact[static_cast<std::size_t>(offset)] / total);
    }
    return kernel;
}

// Position `index` of a line of `length` pixels continued by mirroring about
// its ends, the edge pixel repeated: -1 is 0, -2 is 1, length is length - 1.
int reflected(int index, int length) {
    const int period = 2 * length;
    index %= period;
    if (index < 0) {
        index += period;
    }
    return index < length ? index : period - 1 - index;
}

// out[value] = weight * in[value] over one row, and += weight * (before +
// after) for a pair of taps: the pointers never overlap, which lets the
// compiler run these a whole register at a time.
void set_weighted_row(float* __restrict out, const float* __restrict in, float weight) {
    for (int value = 0; value < ROW_VALUES; ++value) {
        out[value] = weight * in[value];
    }
}

void add_weighted_pair(float* __restrict out, const float* __restrict before, const float* __restrict after,
                       float weight) {
    for (int value = 0; value < ROW_VALUES; ++value) {
        out[value] += weight * (before[value] + after[value]);
    }
}

void blur_rows(const LinearRgb& picture, const GaussianKernel& kernel, BlurWork& work) {
    const int radius = kernel.radius;
    for (int y = 0; y < IMAGE_HEIGHT; ++y) {
        const float* row = picture.data() + static_cast<std::ptrdiff_t>(y) * ROW_VALUES;
        float* padded = work.padded_row.data();
        std::copy(row, row + ROW_VALUES, padded + radius * 3);
        for (int x = 1; x <= radius; ++x) {
            std::copy_n(row + reflected(-x, IMAGE_WIDTH) * 3, 3, padded + (radius - x) * 3);
            std::copy_n(row + reflected(IMAGE_WIDTH - 1 + x, IMAGE_WIDTH) * 3, 3,
                        padded + (radius + IMAGE_WIDTH - 1 + x) * 3);
        }
        // Tap by tap over the whole row, so the inner loops run on contiguous values.
        float* out = work.rows.data() + static_cast<std::ptrdiff_t>(y) * ROW_VALUES;
        const float* centre = padded + radius * 3;
        set_weighted_row(out, centre, kernel.weights[0]);
        for (int offset = 1; offset <= radius; ++offset) {
            add_weighted_pair(out, centre - offset * 3, centre + offset * 3, kernel.weights[static_cast<std::size_t>(offset)]);
        }
    }
}

void blur_columns(const BlurWork& work, const GaussianKernel& kernel, LinearRgb& blurred) {
    const auto row_at = [&](int y) {
        return work.rows.data() + static_cast<std::ptrdiff_t>(reflected(y, IMAGE_HEIGHT)) * ROW_VALUES;
    };
    for (int y = 0; y < IMAGE_HEIGHT; ++y) {
        float* out = blurred.data() + static_cast<std::ptrdiff_t>(y) * ROW_VALUES;
        set_weighted_row(out, row_at(y), kernel.weights[0]);
        for (int offset = 1; offset <= kernel.radius; ++offset) {
            add_weighted_pair(out, row_at(y - offset), row_at(y + offset), kernel.weights[static_cast<std::size_t>(offset)]);
        }
    }
}

// CIELAB of the blurred light. Re-encoding it to sRGB as floats and decoding
// it again for CIELAB gives back the same light, so the Lab comes from it
// directly.
void lab_of_picture(const LinearRgb& light, std::array<double, IMAGE_PIXELS * 3>& lab) {
    for (std::size_t value = 0; value < light.size(); value += 3) {
        const LabColour colour = lab_from_linear(light[value], light[value + 1], light[value + 2]);
        lab[value] = colour.l;
        lab[value + 1] = colour.a;
        lab[value + 2] = colour.b;
    }
}

double mean_ciede2000(const std::array<double, IMAGE_PIXELS * 3>& first, const std::array<double, IMAGE_PIXELS * 3>& second) {
    double total = 0.0;
    for (std::size_t value = 0; value < first.size(); value += 3) {
        total += ciede2000({first[value], first[value + 1], first[value + 2]},
                           {second[value], second[value + 1], second[value + 2]});
    }
    return total / IMAGE_PIXELS;
}

// The 7-pixel sums along each row, for every window position inside the margin.
void sum_along_rows(const std::array<double, IMAGE_PIXELS * 3>& first, const std::array<double, IMAGE_PIXELS * 3>& second,
                    SsimWork& work) {
    for (int y = 0; y < IMAGE_HEIGHT; ++y) {
        const auto lightness = [&](const std::array<double, IMAGE_PIXELS * 3>& lab, int x) {
            return lab[static_cast<std::size_t>((y * IMAGE_WIDTH + x) * 3)];
        };
        for (int column = 0; column < SSIM_COLUMNS; ++column) {
            WindowSums sums{};
            for (int x = column; x < column + SSIM_WINDOW; ++x) {
                const double a = lightness(first, x);
                const double b = lightness(second, x);
                sums.x += a;
                sums.y += b;
                sums.xx += a * a;
                sums.yy += b * b;
                sums.xy += a * b;
            }
            work.row_sums[static_cast<std::size_t>(y * SSIM_COLUMNS + column)] = sums;
        }
    }
}

double window_ssim(const WindowSums& window) {
    const double mean_x = window.x / WINDOW_PIXELS;
    const double mean_y = window.y / WINDOW_PIXELS;
    const double variance_x = SAMPLE_COVARIANCE * (window.xx / WINDOW_PIXELS - mean_x * mean_x);
    const double variance_y = SAMPLE_COVARIANCE * (window.yy / WINDOW_PIXELS - mean_y * mean_y);
    const double covariance = SAMPLE_COVARIANCE * (window.xy / WINDOW_PIXELS - mean_x * mean_y);
    return (2.0 * mean_x * mean_y + SSIM_C1) * (2.0 * covariance + SSIM_C2) /
           ((mean_x * mean_x + mean_y * mean_y + SSIM_C1) * (variance_x + variance_y + SSIM_C2));
}

// The SSIM of the two L* channels: every 7 by 7 window whose centre lies
// inside the 3-pixel margin, averaged.
double mean_ssim(const std::array<double, IMAGE_PIXELS * 3>& first, const std::array<double, IMAGE_PIXELS * 3>& second) {
    const auto work = std::make_unique_for_overwrite<SsimWork>();
    sum_along_rows(first, second, *work);
    double total = 0.0;
    for (int top = 0; top < SSIM_ROWS; ++top) {
        for (int column = 0; column < SSIM_COLUMNS; ++column) {
            WindowSums window{};
            for (int y = top; y < top + SSIM_WINDOW; ++y) {
                const WindowSums& row = work->row_sums[static_cast<std::size_t>(y * SSIM_COLUMNS + column)];
                window.x += row.x;
                window.y += row.y;
                window.xx += row.xx;
                window.yy += row.yy;
                window.xy += row.xy;
            }
            total += window_ssim(window);
        }
    }
    return total / (SSIM_COLUMNS * SSIM_ROWS);
}

ErrorCode blurred_lab(const LinearRgb& picture, double sigma, LinearRgb& blurred, std::array<double, IMAGE_PIXELS * 3>& lab) {
    const ErrorCode code = blur_linear_rgb(picture, sigma, blurred);
    if (code < 0) {
        return code;
    }
    lab_of_picture(blurred, lab);
    return ERR_SUCCESS;
}

}  // namespace

ErrorCode blur_linear_rgb(const LinearRgb& picture, double sigma, LinearRgb& blurred) {
    if (!valid_sigma(sigma)) {
        return ERR_FUNCTION_PARAMETERS;
    }
    if (sigma == 0.0) {
        blurred = picture;
        return ERR_SUCCESS;
    }
    try {
        const auto work = std::make_unique_for_overwrite<BlurWork>();
        const GaussianKernel kernel = gaussian_kernel(sigma);
        blur_rows(picture, kernel, *work);
        blur_columns(*work, kernel, blurred);
    } catch (const std::bad_alloc&) {
        return ERR_ALLOCATION;
    }
    return ERR_SUCCESS;
}

ErrorCode prepare_measure_reference(const LinearRgb& reference, double sigma, MeasureReference& prepared) {
    if (!valid_sigma(sigma) || !all_finite(reference)) {
        return ERR_FUNCTION_PARAMETERS;
    }
    try {
        const auto blurred = std::make_unique_for_overwrite<LinearRgb>();
        prepared.sigma = sigma;
        return blurred_lab(reference, sigma, *blurred, prepared.lab);
    } catch (const std::bad_alloc&) {
        return ERR_ALLOCATION;
    }
}

ErrorCode measure_against_reference(const MeasureReference& reference, const LinearRgb& output, PictureScore& score) {
    if (!valid_sigma(reference.sigma) || !all_finite(output)) {
        return ERR_FUNCTION_PARAMETERS;
    }
    try {
        const auto work = std::make_unique_for_overwrite<OutputWork>();
        const ErrorCode code = blurred_lab(output, reference.sigma, work->blurred, work->lab);
        if (code < 0) {
            return code;
        }
        score.delta_e = mean_ciede2000(reference.lab, work->lab);
        score.ssim = mean_ssim(reference.lab, work->lab);
    } catch (const std::bad_alloc&) {
        return ERR_ALLOCATION;
    }
    return ERR_SUCCESS;
}

ErrorCode measure_picture(const LinearRgb& reference, const LinearRgb& output, double sigma, PictureScore& score) {
    try {
        const auto prepared = std::make_unique_for_overwrite<MeasureReference>();
        const ErrorCode code = prepare_measure_reference(reference, sigma, *prepared);
        return code < 0 ? code : measure_against_reference(*prepared, output, score);
    } catch (const std::bad_alloc&) {
        return ERR_ALLOCATION;
    }
}

ErrorCode linear_rgb_from_colours(const std::array<std::uint32_t, IMAGE_PIXELS>& colours, LinearRgb& rgb) {
    const std::array<float, 256>& linear = linear_of_srgb_byte();
    for (std::size_t pixel = 0; pixel < colours.size(); ++pixel) {
        const std::uint32_t colour = colours[pixel];
        rgb[pixel * 3] = linear[colour >> 16 & 0xFF];
        rgb[pixel * 3 + 1] = linear[colour >> 8 & 0xFF];
        rgb[pixel * 3 + 2] = linear[colour & 0xFF];
    }
    return ERR_SUCCESS;
}

ErrorCode linear_rgb_from_pixel_image(const PixelImage& image, int palette, LinearRgb& rgb) {
    if (palette < 0 || palette >= LIBRARY_PALETTE_COUNT) {
        return ERR_FUNCTION_PARAMETERS;
    }
    const std::array<float, 256>& linear = linear_of_srgb_byte();
    std::array<std::array<float, 3>, LIBRARY_COLOUR_COUNT> light{};
    for (int number = 0; number < LIBRARY_COLOUR_COUNT; ++number) {
        const std::uint32_t colour = library_colour(palette, number);
        light[static_cast<std::size_t>(number)] = {linear[colour >> 16 & 0xFF], linear[colour >> 8 & 0xFF],
                                                   linear[colour & 0xFF]};
    }
    for (std::size_t pixel = 0; pixel < image.pixels.size(); ++pixel) {
        const std::uint8_t number = image.pixels[pixel];
        if (number >= LIBRARY_COLOUR_COUNT) {
            return ERR_FUNCTION_PARAMETERS;
        }
        rgb[pixel * 3] = light[number][0];
        rgb[pixel * 3 + 1] = light[number][1];
        rgb[pixel * 3 + 2] = light[number][2];
    }
    return ERR_SUCCESS;
}
