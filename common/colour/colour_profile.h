// The colours a picture file states (an embedded ICC profile, an sRGB or
// gamma statement, or nothing: sRGB), and the conversion of its decoded rows
// into linear-light sRGB with premultiplied coverage. A profile or gamma is
// converted through LittleCMS; a plain sRGB picture goes through a table.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "frame/errors.h"

// How the samples of one decoded row lie.
enum class SampleLayout : std::uint8_t { grey, grey_alpha, rgb, rgba, cmyk };

struct SampleFormat {
    SampleLayout layout;
    int bytes_per_sample;  // 1, or 2 in the machine's byte order
    bool inverted_cmyk;    // Adobe's CMYK, stored as 255 - ink
};

// What the file says about its colours; every field empty means sRGB.
struct ColourDescription {
    const std::uint8_t* icc_profile = nullptr;
    std::size_t icc_size = 0;
    bool srgb = false;     // an explicit sRGB statement
    double gamma = 0.0;    // the encoding exponent (0.45455 for 2.2), 0 when none is given
    bool has_primaries = false;
    double white[2] = {};  // x, y chromaticities
    double red[2] = {};
    double green[2] = {};
    double blue[2] = {};
};

struct TransformDeleter {
    void operator()(void* transform) const;
};

struct ColourConversion {
    SampleFormat format;
    // The plain path: linear light of each sample value (256 or 65536 entries).
    const float* table;
    std::vector<float> own_table;
    // The LittleCMS path, giving 16-bit linear sRGB.
    std::unique_ptr<void, TransformDeleter> transform;
    std::vector<std::uint16_t> transformed;
    std::string name;  // "Display P3", "sRGB", "gamma 0.45"; "" when sRGB is assumed
};

// Prepares the conversion of rows of up to width pixels. A profile that
// cannot be read or is for other pixels than the file's (an RGB profile on
// a grey picture) is refused with the code refusal and problem saying why.
ErrorCode prepare_colour_conversion(const SampleFormat& format, const ColourDescription& description, int width,
                                    ErrorCode refusal, ColourConversion& conversion, std::string& problem);

// One row of width pixels to linear red, green and blue (clipped to 0..1)
// premultiplied by coverage, and coverage: four floats a pixel.
void convert_row_to_linear(ColourConversion& conversion, const std::uint8_t* samples, int width, float* rgba);

// The number of samples a pixel of this layout has.
int samples_per_pixel(SampleLayout layout);
