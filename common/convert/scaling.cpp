#include "convert/scaling.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

namespace {

constexpr int CHANNELS = 4;  // red, green, blue, coverage
// Sums of area weights land a rounding step away from 0 or 1: within this
// they count as exact, so that a picture that fills the screen is not taken
// for a transparent one.
constexpr float COVERAGE_TOLERANCE = 1e-4F;
// The shrinking row has a spare pixel at each end for the parts of source
// pixels that fall beside the screen.
constexpr int ROW_MARGIN = 1;

double scale_for(int width, int height, ScreenFit fit) {
    const double across = static_cast<double>(IMAGE_WIDTH) / width;
    const double down = static_cast<double>(IMAGE_HEIGHT) / height;
    return fit == ScreenFit::cover ? std::max(across, down) : std::min(across, down);
}

// The part of [start, start + 1) that lies inside [low, high).
double overlap(double start, double low, double high) {
    return std::max(0.0, std::min(start + 1.0, high) - std::max(start, low));
}

// The screen cell a source pixel's span [start, start + scale) begins in, and
// the parts of the span in it and in the next one (scale is at most 1).
void split_span(double start, double scale, int& first, float& first_weight, float& second_weight) {
    const double end = start + scale;
    const double cell = std::floor(start);
    first = static_cast<int>(std::clamp(cell, -2.0, 1e6));
    first_weight = static_cast<float>(std::min(end, cell + 1.0) - start);
    second_weight = static_cast<float>(std::max(0.0, end - (cell + 1.0)));
}

void prepare_shrinking(ScreenScaler& scaler) {
    const ScreenPlacement& placement = scaler.placement;
    const auto width = static_cast<std::size_t>(placement.source_width);
    scaler.column_target.assign(width, 0);
    scaler.column_weights.assign(width * 2, 0.0F);
    for (std::size_t column = 0; column < width; ++column) {
        int first = 0;
        float first_weight = 0.0F;
        float second_weight = 0.0F;
        split_span(placement.left + static_cast<double>(column) * placement.scale, placement.scale, first,
                   first_weight, second_weight);
        if (first < -1 || first >= IMAGE_WIDTH) {
            first = -1;
            first_weight = 0.0F;
            second_weight = 0.0F;
        }
        // Index in the row with its margin: -1 and 320 are the spare pixels.
        scaler.column_target[column] = static_cast<std::int16_t>(first + ROW_MARGIN);
        scaler.column_weights[2 * column] = first_weight;
        scaler.column_weights[2 * column + 1] = second_weight;
    }
    scaler.screen_row.assign(static_cast<std::size_t>(IMAGE_WIDTH + 2 * ROW_MARGIN + 1) * CHANNELS, 0.0F);
}

// The source pixels the Catmull-Rom taps of the screen's pixels reach.
void tap_range(double offset, double scale, int screen_size, int source_size, int& first, int& last) {
    const double first_centre = (0.5 - offset) / scale - 0.5;
    const double last_centre = (screen_size - 0.5 - offset) / scale - 0.5;
    first = static_cast<int>(std::clamp(std::floor(first_centre) - 1.0, 0.0, source_size - 1.0));
    last = static_cast<int>(std::clamp(std::floor(last_centre) + 2.0, 0.0, source_size - 1.0));
}

void prepare_enlarging(ScreenScaler& scaler) {
    const ScreenPlacement& placement = scaler.placement;
    tap_range(placement.left, placement.scale, IMAGE_WIDTH, placement.source_width, scaler.first_column,
              scaler.last_column);
    tap_range(placement.top, placement.scale, IMAGE_HEIGHT, placement.source_height, scaler.first_row,
              scaler.last_row);
    const auto columns = static_cast<std::size_t>(scaler.last_column - scaler.first_column + 1);
    const auto rows = static_cast<std::size_t>(scaler.last_row - scaler.first_row + 1);
    scaler.window.assign(columns * rows * CHANNELS, 0.0F);
}

void store_pixel(ScreenImage& image, std::size_t at, const float* rgba) {
    image.rgb[3 * at] = rgba[0];
    image.rgb[3 * at + 1] = rgba[1];
    image.rgb[3 * at + 2] = rgba[2];
    image.coverage[at] = rgba[3];
}

void copy_row(ScreenScaler& scaler, int row, const float* rgba) {
    const std::size_t start = static_cast<std::size_t>(row) * IMAGE_WIDTH;
    for (std::size_t x = 0; x < IMAGE_WIDTH; ++x) {
        store_pixel(*scaler.image, start + x, rgba + CHANNELS * x);
    }
}

void double_row(ScreenScaler& scaler, int row, const float* rgba) {
    const std::size_t start = static_cast<std::size_t>(row) * IMAGE_WIDTH;
    for (std::size_t x = 0; x < IMAGE_WIDTH; ++x) {
        store_pixel(*scaler.image, start + x, rgba + CHANNELS * (x / 2));
    }
}

// The source row spread over one screen row, then added to the one or two
// screen rows it covers.
void shrink_row(ScreenScaler& scaler, int row, const float* rgba) {
    const ScreenPlacement& placement = scaler.placement;
    int first = 0;
    float first_weight = 0.0F;
    float second_weight = 0.0F;
    split_span(placement.top + row * placement.scale, placement.scale, first, first_weight, second_weight);
    float* spread = scaler.screen_row.data();
    std::fill(scaler.screen_row.begin(), scaler.screen_row.end(), 0.0F);
    const std::int16_t* targets = scaler.column_target.data();
    const float* weights = scaler.column_weights.data();
    for (int column = 0; column < placement.source_width; ++column) {
        float* left = spread + targets[column] * CHANNELS;
        const float* pixel = rgba + static_cast<std::size_t>(column) * CHANNELS;
        const float left_weight = weights[2 * column];
        const float right_weight = weights[2 * column + 1];
        for (int channel = 0; channel < CHANNELS; ++channel) {
            left[channel] += left_weight * pixel[channel];
            left[CHANNELS + channel] += right_weight * pixel[channel];
        }
    }
    ScreenImage& image = *scaler.image;
    const float row_weights[2] = {first_weight, second_weight};
    for (int part = 0; part < 2; ++part) {
        const int screen_row = first + part;
        if (screen_row < 0 || screen_row >= IMAGE_HEIGHT || row_weights[part] == 0.0F) {
            continue;
        }
        const std::size_t start = static_cast<std::size_t>(screen_row) * IMAGE_WIDTH;
        for (std::size_t x = 0; x < IMAGE_WIDTH; ++x) {
            const float* value = spread + (x + ROW_MARGIN) * CHANNELS;
            image.rgb[3 * (start + x)] += row_weights[part] * value[0];
            image.rgb[3 * (start + x) + 1] += row_weights[part] * value[1];
            image.rgb[3 * (start + x) + 2] += row_weights[part] * value[2];
            image.coverage[start + x] += row_weights[part] * value[3];
        }
    }
}

void keep_window_row(ScreenScaler& scaler, int row, const float* rgba) {
    if (row < scaler.first_row || row > scaler.last_row) {
        return;
    }
    const auto columns = static_cast<std::size_t>(scaler.last_column - scaler.first_column + 1);
    std::memcpy(scaler.window.data() + static_cast<std::size_t>(row - scaler.first_row) * columns * CHANNELS,
                rgba + static_cast<std::size_t>(scaler.first_column) * CHANNELS, columns * CHANNELS * sizeof(float));
}

struct Taps {
    int source[4];
    float weight[4];
};

// Catmull-Rom weights around the screen pixel's centre in source pixels,
// the edge pixels repeated beyond the picture.
Taps catmull_rom_taps(double centre, int source_size) {
    const double base = std::floor(centre);
    const auto t = static_cast<float>(centre - base);
    const float t2 = t * t;
    const float t3 = t2 * t;
    Taps taps{};
    taps.weight[0] = 0.5F * (-t3 + 2.0F * t2 - t);
    taps.weight[1] = 0.5F * (3.0F * t3 - 5.0F * t2 + 2.0F);
    taps.weight[2] = 0.5F * (-3.0F * t3 + 4.0F * t2 + t);
    taps.weight[3] = 0.5F * (t3 - t2);
    for (int tap = 0; tap < 4; ++tap) {
        taps.source[tap] = static_cast<int>(std::clamp(base - 1.0 + tap, 0.0, source_size - 1.0));
    }
    return taps;
}

void enlarge_window(ScreenScaler& scaler) {
    const ScreenPlacement& placement = scaler.placement;
    const int columns = scaler.last_column - scaler.first_column + 1;
    const int rows = scaler.last_row - scaler.first_row + 1;
    // Across first: every window row becomes a screen-wide row.
    std::vector<float> across(static_cast<std::size_t>(rows) * IMAGE_WIDTH * CHANNELS);
    std::vector<Taps> column_taps(IMAGE_WIDTH);
    for (int x = 0; x < IMAGE_WIDTH; ++x) {
        column_taps[static_cast<std::size_t>(x)] =
            catmull_rom_taps((x + 0.5 - placement.left) / placement.scale - 0.5, placement.source_width);
    }
    for (int row = 0; row < rows; ++row) {
        const float* source = scaler.window.data() + static_cast<std::size_t>(row) * columns * CHANNELS;
        float* target = across.data() + static_cast<std::size_t>(row) * IMAGE_WIDTH * CHANNELS;
        for (int x = 0; x < IMAGE_WIDTH; ++x) {
            const Taps& taps = column_taps[static_cast<std::size_t>(x)];
            for (int tap = 0; tap < 4; ++tap) {
                const float* pixel = source + static_cast<std::size_t>(taps.source[tap] - scaler.first_column) * CHANNELS;
                for (int channel = 0; channel < CHANNELS; ++channel) {
                    target[x * CHANNELS + channel] += taps.weight[tap] * pixel[channel];
                }
            }
        }
    }
    // Then down, each screen pixel kept to the part of it the picture covers.
    const double right = placement.left + placement.source_width * placement.scale;
    const double bottom = placement.top + placement.source_height * placement.scale;
    ScreenImage& image = *scaler.image;
    for (int y = 0; y < IMAGE_HEIGHT; ++y) {
        const Taps taps = catmull_rom_taps((y + 0.5 - placement.top) / placement.scale - 0.5, placement.source_height);
        const auto covered_down = static_cast<float>(overlap(y, placement.top, bottom));
        for (int x = 0; x < IMAGE_WIDTH; ++x) {
            const float covered = covered_down * static_cast<float>(overlap(x, placement.left, right));
            float value[CHANNELS] = {};
            for (int tap = 0; tap < 4; ++tap) {
                const float* pixel =
                    across.data() + (static_cast<std::size_t>(taps.source[tap] - scaler.first_row) * IMAGE_WIDTH + x) * CHANNELS;
                for (int channel = 0; channel < CHANNELS; ++channel) {
                    value[channel] += taps.weight[tap] * pixel[channel];
                }
            }
            for (float& channel : value) {
                channel *= covered;
            }
            store_pixel(image, static_cast<std::size_t>(y) * IMAGE_WIDTH + static_cast<std::size_t>(x), value);
        }
    }
}

// Interpolation overshoots and sums of weights drift: coverage is kept to
// 0..1 (a hair from either end counts as the end) and colour to 0..coverage.
void settle_values(ScreenImage& image) {
    image.has_transparency = false;
    for (std::size_t at = 0; at < IMAGE_PIXELS; ++at) {
        float coverage = std::clamp(image.coverage[at], 0.0F, 1.0F);
        if (coverage > 1.0F - COVERAGE_TOLERANCE) {
            coverage = 1.0F;
        } else if (coverage < COVERAGE_TOLERANCE) {
            coverage = 0.0F;
        }
        image.coverage[at] = coverage;
        for (std::size_t channel = 0; channel < 3; ++channel) {
            float& value = image.rgb[3 * at + channel];
            value = std::clamp(value, 0.0F, coverage);
        }
        image.has_transparency = image.has_transparency || coverage < 1.0F;
    }
}

}  // namespace

ScreenPlacement place_on_screen(int width, int height, ScreenFit fit) {
    ScreenPlacement placement{ScalingMethod::shrink, 1.0, 0.0, 0.0, width, height};
    if (width == IMAGE_WIDTH && height == IMAGE_HEIGHT) {
        placement.method = ScalingMethod::copy;
        return placement;
    }
    if (width == IMAGE_WIDTH / 2 && height == IMAGE_HEIGHT) {
        placement.method = ScalingMethod::double_width;
        placement.scale = 2.0;
        return placement;
    }
    placement.scale = scale_for(width, height, fit);
    placement.method = placement.scale > 1.0 ? ScalingMethod::enlarge : ScalingMethod::shrink;
    placement.left = (IMAGE_WIDTH - width * placement.scale) / 2.0;
    placement.top = (IMAGE_HEIGHT - height * placement.scale) / 2.0;
    // At the picture's own size a half-pixel offset would blur every pixel
    // into its neighbour: it is put on whole pixels instead.
    if (placement.scale == 1.0) {
        placement.left = std::floor(placement.left);
        placement.top = std::floor(placement.top);
    }
    return placement;
}

ErrorCode start_screen_scaling(int width, int height, ScreenFit fit, ScreenImage& image, ScreenScaler& scaler) {
    if (width <= 0 || height <= 0) {
        return ERR_FUNCTION_PARAMETERS;
    }
    scaler.placement = place_on_screen(width, height, fit);
    scaler.image = &image;
    scaler.next_row = 0;
    image.rgb.fill(0.0F);
    image.coverage.fill(0.0F);
    image.has_transparency = true;
    try {
        if (scaler.placement.method == ScalingMethod::shrink) {
            prepare_shrinking(scaler);
        } else if (scaler.placement.method == ScalingMethod::enlarge) {
            prepare_enlarging(scaler);
        }
    } catch (const std::bad_alloc&) {
        return ERR_ALLOCATION;
    }
    return ERR_SUCCESS;
}

bool screen_row_needed(const ScreenScaler& scaler, int row) {
    const ScreenPlacement& placement = scaler.placement;
    switch (placement.method) {
    case ScalingMethod::copy:
    case ScalingMethod::double_width:
        return true;
    case ScalingMethod::enlarge:
        return row >= scaler.first_row && row <= scaler.last_row;
    case ScalingMethod::shrink:
        break;
    }
    const double start = placement.top + row * placement.scale;
    return start + placement.scale > 0.0 && start < IMAGE_HEIGHT;
}

void push_screen_row(ScreenScaler& scaler, const float* rgba) {
    const int row = scaler.next_row++;
    if (row >= scaler.placement.source_height) {
        return;
    }
    switch (scaler.placement.method) {
    case ScalingMethod::copy:
        copy_row(scaler, row, rgba);
        break;
    case ScalingMethod::double_width:
        double_row(scaler, row, rgba);
        break;
    case ScalingMethod::shrink:
        if (screen_row_needed(scaler, row)) {
            shrink_row(scaler, row, rgba);
        }
        break;
    case ScalingMethod::enlarge:
        keep_window_row(scaler, row, rgba);
        break;
    }
}

void skip_screen_row(ScreenScaler& scaler) {
    ++scaler.next_row;
}

void finish_screen_scaling(ScreenScaler& scaler) {
    if (scaler.placement.method == ScalingMethod::enlarge) {
        enlarge_window(scaler);
        scaler.window = {};
    }
    settle_values(*scaler.image);
}

bool orientation_swaps_sides(int orientation) {
    return orientation >= 5 && orientation <= 8;
}

void stored_position(int orientation, int stored_width, int stored_height, int x, int y, int& stored_x,
                     int& stored_y) {
    const int last_x = stored_width - 1;
    const int last_y = stored_height - 1;
    switch (orientation) {
    case 2: stored_x = last_x - x; stored_y = y; break;           // mirrored
    case 3: stored_x = last_x - x; stored_y = last_y - y; break;  // turned 180 degrees
    case 4: stored_x = x; stored_y = last_y - y; break;           // mirrored and turned 180 degrees
    case 5: stored_x = y; stored_y = x; break;                    // mirrored and turned 270 degrees
    case 6: stored_x = y; stored_y = last_y - x; break;           // turned 90 degrees clockwise
    case 7: stored_x = last_x - y; stored_y = last_y - x; break;  // mirrored and turned 90 degrees
    case 8: stored_x = last_x - y; stored_y = x; break;           // turned 270 degrees clockwise
    default: stored_x = x; stored_y = y; break;
    }
}
