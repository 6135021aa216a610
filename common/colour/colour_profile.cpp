#include "colour/colour_profile.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <new>

#include "colour/colour_science.h"
#include "colour/profile_transform.h"

namespace {

const float* linear_of_srgb_word() {
    static const std::vector<float> table = [] {
        std::vector<float> values(65536);
        for (std::size_t value = 0; value < values.size(); ++value) {
            values[value] = static_cast<float>(srgb_to_linear(static_cast<double>(value) / 65535.0));
        }
        return values;
    }();
    return table.data();
}

std::vector<float> power_table(int bytes_per_sample, double exponent) {
    const std::size_t size = bytes_per_sample == 2 ? 65536 : 256;
    std::vector<float> values(size);
    for (std::size_t value = 0; value < size; ++value) {
        values[value] = static_cast<float>(std::pow(static_cast<double>(value) / static_cast<double>(size - 1), exponent));
    }
    return values;
}

}  // namespace

std::string gamma_name(double gamma) {
    std::array<char, 32> text{};
    std::snprintf(text.data(), text.size(), "gamma %.2f", gamma);
    return text.data();
}

namespace {

// Ink to light without a profile: the ink of each colour and the black take
// light away in sRGB's encoded values.
std::uint8_t light_of_ink(std::uint8_t ink, std::uint8_t black, bool inverted) {
    const int paper = inverted ? ink : 255 - ink;
    const int unblack = inverted ? black : 255 - black;
    return static_cast<std::uint8_t>((paper * unblack + 127) / 255);
}

template <typename Sample>
float coverage_of(Sample alpha) {
    return static_cast<float>(alpha) / static_cast<float>(sizeof(Sample) == 2 ? 65535 : 255);
}

template <typename Sample>
void convert_through_table(const ColourConversion& conversion, const Sample* samples, int width, float* rgba) {
    const float* table = conversion.table;
    const int step = samples_per_pixel(conversion.format.layout);
    for (int x = 0; x < width; ++x, samples += step, rgba += 4) {
        float red = 0.0F;
        float green = 0.0F;
        float blue = 0.0F;
        float coverage = 1.0F;
        switch (conversion.format.layout) {
        case SampleLayout::grey_alpha:
            coverage = coverage_of(samples[1]);
            [[fallthrough]];
        case SampleLayout::grey:
            red = green = blue = table[samples[0]];
            break;
        case SampleLayout::rgba:
            coverage = coverage_of(samples[3]);
            [[fallthrough]];
        case SampleLayout::rgb:
            red = table[samples[0]];
            green = table[samples[1]];
            blue = table[samples[2]];
            break;
        case SampleLayout::cmyk: {
            // Only 8-bit CMYK exists without a profile (JPEG).
            const bool inverted = conversion.format.inverted_cmyk;
            const auto black = static_cast<std::uint8_t>(samples[3]);
            red = table[light_of_ink(static_cast<std::uint8_t>(samples[0]), black, inverted)];
            green = table[light_of_ink(static_cast<std::uint8_t>(samples[1]), black, inverted)];
            blue = table[light_of_ink(static_cast<std::uint8_t>(samples[2]), black, inverted)];
            break;
        }
        }
        rgba[0] = red * coverage;
        rgba[1] = green * coverage;
        rgba[2] = blue * coverage;
        rgba[3] = coverage;
    }
}

template <typename Sample>
void add_coverage(const ColourConversion& conversion, const Sample* samples, int width, float* rgba) {
    const SampleLayout layout = conversion.format.layout;
    const bool has_alpha = layout == SampleLayout::grey_alpha || layout == SampleLayout::rgba;
    const int step = samples_per_pixel(layout);
    const std::uint16_t* linear = conversion.transformed.data();
    constexpr float WORD = 1.0F / 65535.0F;
    for (int x = 0; x < width; ++x, rgba += 4, linear += 3) {
        const float coverage = has_alpha ? coverage_of(samples[x * step + step - 1]) : 1.0F;
        rgba[0] = linear[0] * WORD * coverage;
        rgba[1] = linear[1] * WORD * coverage;
        rgba[2] = linear[2] * WORD * coverage;
        rgba[3] = coverage;
    }
}

}  // namespace

int samples_per_pixel(SampleLayout layout) {
    switch (layout) {
    case SampleLayout::grey: return 1;
    case SampleLayout::grey_alpha: return 2;
    case SampleLayout::rgb: return 3;
    case SampleLayout::rgba:
    case SampleLayout::cmyk: return 4;
    }
    return 3;
}

ErrorCode prepare_colour_conversion(const SampleFormat& format, const ColourDescription& description, int width,
                                    ErrorCode refusal, ColourConversion& conversion, std::string& problem) {
    conversion.format = format;
    conversion.table = nullptr;
    conversion.transform.reset();
    conversion.name.clear();
    const bool wide = format.bytes_per_sample == 2;
    // A profile says most; an sRGB statement is sRGB whatever gamma stands beside it.
    if (description.icc_profile != nullptr || (description.has_primaries && !description.srgb)) {
        return prepare_profile_transform(format, description, width, refusal, conversion, problem);
    }
    if (format.layout == SampleLayout::cmyk && wide) {
        problem = "16-bit cmyk pixels without a colour profile";
        return refusal;
    }
    if (description.srgb) {
        conversion.name = "sRGB";
    } else if (description.gamma > 0.0) {
        if (!(description.gamma < 100.0)) {
            problem = "a gamma that is no gamma";
            return refusal;
        }
        conversion.name = gamma_name(description.gamma);
        try {
            conversion.own_table = power_table(format.bytes_per_sample, 1.0 / description.gamma);
        } catch (const std::bad_alloc&) {
            return ERR_ALLOCATION;
        }
        conversion.table = conversion.own_table.data();
        return ERR_SUCCESS;
    }
    conversion.table = wide ? linear_of_srgb_word() : linear_of_srgb_byte().data();
    return ERR_SUCCESS;
}

void convert_row_to_linear(ColourConversion& conversion, const std::uint8_t* samples, int width, float* rgba) {
    const bool wide = conversion.format.bytes_per_sample == 2;
    if (conversion.transform) {
        apply_profile_transform(conversion, samples, width);
        if (wide) {
            add_coverage(conversion, reinterpret_cast<const std::uint16_t*>(samples), width, rgba);
        } else {
            add_coverage(conversion, samples, width, rgba);
        }
        return;
    }
    if (wide) {
        convert_through_table(conversion, reinterpret_cast<const std::uint16_t*>(samples), width, rgba);
    } else {
        convert_through_table(conversion, samples, width, rgba);
    }
}
