#include "convert/picture_measure.h"

#include <cmath>
#include <memory>
#include <new>
#include <vector>

#include "colour/colour_science.h"
#include "palettes/palette_library.h"

namespace {

constexpr int MAX_BLUR_RADIUS = static_cast<int>(4.0 * MAX_MEASURE_SIGMA + 0.5);
constexpr int ROW_VALUES = IMAGE_WIDTH * 3;

// The structural similarity's window, its constants for L* (range 100) and
// the margin where the window would leave the picture.
constexpr int SSIM_WINDOW = 7;
constexpr int SSIM_MARGIN = SSIM_WINDOW / 2;
constexpr double SSIM_C1 = (0.01 * 100.0) * (0.01 * 100.0);
constexpr double SSIM_C2 = (0.03 * 100.0) * (0.03 * 100.0);
constexpr double WINDOW_PIXELS = SSIM_WINDOW * SSIM_WINDOW;
constexpr double SAMPLE_COVARIANCE = WINDOW_PIXELS / (WINDOW_PIXELS - 1.0);

struct GaussianKernel {
    int radius;
    std::array<float, 2 * MAX_BLUR_RADIUS + 1> weights;  // weights[radius + offset]
};

struct BlurWork {
    LinearRgb rows;                                           // after the horizontal pass
    std::array<float, (IMAGE_WIDTH + 2 * MAX_BLUR_RADIUS) * 3> padded_row;
};

struct MeasureWork {
    LinearRgb blurred_reference;
    LinearRgb blurred_output;
    std::array<float, IMAGE_PIXELS> lightness_reference;
    std::array<float, IMAGE_PIXELS> lightness_output;
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
    double total = 0.0;
    std::array<double, 2 * MAX_BLUR_RADIUS + 1> exact{};
    for (int offset = -kernel.radius; offset <= kernel.radius; ++offset) {
        const double weight = std::exp(-0.5 * offset * offset / (sigma * sigma));
        exact[static_cast<std::size_t>(kernel.radius + offset)] = weight;
        total += weight;
    }
    for (int index = 0; index <= 2 * kernel.radius; ++index) {
        kernel.weights[static_cast<std::size_t>(index)] = static_cast<float>(exact[static_cast<std::size_t>(index)] / total);
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

// out[value] += weight * in[value] over one row: the pointers never overlap,
// which lets the compiler run it a whole register at a time.
void add_weighted_row(float* __restrict out, const float* __restrict in, float weight) {
    for (int value = 0; value < ROW_VALUES; ++value) {
        out[value] += weight * in[value];
    }
}

void blur_rows(const LinearRgb& picture, const GaussianKernel& kernel, BlurWork& work) {
    const int radius = kernel.radius;
    for (int y = 0; y < IMAGE_HEIGHT; ++y) {
        const float* row = picture.data() + static_cast<std::ptrdiff_t>(y) * ROW_VALUES;
        for (int x = -radius; x < IMAGE_WIDTH + radius; ++x) {
            const int source = reflected(x, IMAGE_WIDTH) * 3;
            float* padded = work.padded_row.data() + (x + radius) * 3;
            padded[0] = row[source];
            padded[1] = row[source + 1];
            padded[2] = row[source + 2];
        }
        float* out = work.rows.data() + static_cast<std::ptrdiff_t>(y) * ROW_VALUES;
        std::fill(out, out + ROW_VALUES, 0.0f);
        // Tap by tap over the whole row, so the inner loop runs on contiguous values.
        for (int tap = 0; tap <= 2 * radius; ++tap) {
            add_weighted_row(out, work.padded_row.data() + tap * 3, kernel.weights[static_cast<std::size_t>(tap)]);
        }
    }
}

void blur_columns(const BlurWork& work, const GaussianKernel& kernel, LinearRgb& blurred) {
    const int radius = kernel.radius;
    for (int y = 0; y < IMAGE_HEIGHT; ++y) {
        float* out = blurred.data() + static_cast<std::ptrdiff_t>(y) * ROW_VALUES;
        std::fill(out, out + ROW_VALUES, 0.0f);
        for (int tap = -radius; tap <= radius; ++tap) {
            const int source_row = reflected(y + tap, IMAGE_HEIGHT);
            add_weighted_row(out, work.rows.data() + static_cast<std::ptrdiff_t>(source_row) * ROW_VALUES,
                             kernel.weights[static_cast<std::size_t>(tap + radius)]);
        }
    }
}

LabColour lab_of_pixel(const LinearRgb& picture, int pixel) {
    const float* rgb = picture.data() + static_cast<std::ptrdiff_t>(pixel) * 3;
    // Re-encoding the blurred light to sRGB as floats and decoding it again
    // for CIELAB gives back the same light: the Lab comes from it directly.
    return lab_from_linear(rgb[0], rgb[1], rgb[2]);
}

double mean_ciede2000(const LinearRgb& reference, const LinearRgb& output, MeasureWork& work) {
    double total = 0.0;
    for (int pixel = 0; pixel < IMAGE_PIXELS; ++pixel) {
        const LabColour first = lab_of_pixel(reference, pixel);
        const LabColour second = lab_of_pixel(output, pixel);
        work.lightness_reference[static_cast<std::size_t>(pixel)] = static_cast<float>(first.l);
        work.lightness_output[static_cast<std::size_t>(pixel)] = static_cast<float>(second.l);
        total += ciede2000(first, second);
    }
    return total / IMAGE_PIXELS;
}

// Sums over the 7 by 7 window of each pixel inside the margin, of both
// pictures, their squares and their product.
struct WindowSums {
    double x;
    double y;
    double xx;
    double yy;
    double xy;
};

double mean_ssim(const std::array<float, IMAGE_PIXELS>& first, const std::array<float, IMAGE_PIXELS>& second) {
    // Column sums of the five quantities over 7 rows, moved down one row at a time.
    std::vector<WindowSums> columns(IMAGE_WIDTH, WindowSums{});
    const auto add_row = [&](int y, double sign) {
        for (int x = 0; x < IMAGE_WIDTH; ++x) {
            const double a = first[static_cast<std::size_t>(y * IMAGE_WIDTH + x)];
            const double b = second[static_cast<std::size_t>(y * IMAGE_WIDTH + x)];
            WindowSums& sums = columns[static_cast<std::size_t>(x)];
            sums.x += sign * a;
            sums.y += sign * b;
            sums.xx += sign * a * a;
            sums.yy += sign * b * b;
            sums.xy += sign * a * b;
        }
    };
    double total = 0.0;
    for (int y = 0; y < SSIM_WINDOW - 1; ++y) {
        add_row(y, 1.0);
    }
    for (int centre = SSIM_MARGIN; centre < IMAGE_HEIGHT - SSIM_MARGIN; ++centre) {
        add_row(centre + SSIM_MARGIN, 1.0);
        for (int x = SSIM_MARGIN; x < IMAGE_WIDTH - SSIM_MARGIN; ++x) {
            WindowSums window{};
            for (int column = x - SSIM_MARGIN; column <= x + SSIM_MARGIN; ++column) {
                const WindowSums& sums = columns[static_cast<std::size_t>(column)];
                window.x += sums.x;
                window.y += sums.y;
                window.xx += sums.xx;
                window.yy += sums.yy;
                window.xy += sums.xy;
            }
            const double mean_x = window.x / WINDOW_PIXELS;
            const double mean_y = window.y / WINDOW_PIXELS;
            const double variance_x = SAMPLE_COVARIANCE * (window.xx / WINDOW_PIXELS - mean_x * mean_x);
            const double variance_y = SAMPLE_COVARIANCE * (window.yy / WINDOW_PIXELS - mean_y * mean_y);
            const double covariance = SAMPLE_COVARIANCE * (window.xy / WINDOW_PIXELS - mean_x * mean_y);
            total += (2.0 * mean_x * mean_y + SSIM_C1) * (2.0 * covariance + SSIM_C2) /
                     ((mean_x * mean_x + mean_y * mean_y + SSIM_C1) * (variance_x + variance_y + SSIM_C2));
        }
        add_row(centre - SSIM_MARGIN, -1.0);
    }
    return total / ((IMAGE_WIDTH - 2 * SSIM_MARGIN) * (IMAGE_HEIGHT - 2 * SSIM_MARGIN));
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
        const GaussianKernel kernel = gaussian_kernel(sigma);
        const auto work = std::make_unique_for_overwrite<BlurWork>();
        blur_rows(picture, kernel, *work);
        blur_columns(*work, kernel, blurred);
    } catch (const std::bad_alloc&) {
        return ERR_ALLOCATION;
    }
    return ERR_SUCCESS;
}

ErrorCode measure_picture(const LinearRgb& reference, const LinearRgb& output, double sigma, PictureScore& score) {
    if (!valid_sigma(sigma) || !all_finite(reference) || !all_finite(output)) {
        return ERR_FUNCTION_PARAMETERS;
    }
    try {
        const auto work = std::make_unique_for_overwrite<MeasureWork>();
        ErrorCode code = blur_linear_rgb(reference, sigma, work->blurred_reference);
        if (code < 0 || (code = blur_linear_rgb(output, sigma, work->blurred_output)) < 0) {
            return code;
        }
        score.delta_e = mean_ciede2000(work->blurred_reference, work->blurred_output, *work);
        score.ssim = mean_ssim(work->lightness_reference, work->lightness_output);
    } catch (const std::bad_alloc&) {
        return ERR_ALLOCATION;
    }
    return ERR_SUCCESS;
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
