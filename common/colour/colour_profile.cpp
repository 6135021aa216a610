#include "colour/colour_profile.h"

#include <lcms2.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <new>

#include "colour/colour_science.h"

namespace {

// Profiles beyond this are no colour profiles: even large CMYK ones are a
// few hundred kilobytes.
constexpr std::size_t MAX_PROFILE_BYTES = 8 * 1024 * 1024;

struct ProfileCloser {
    void operator()(void* profile) const { cmsCloseProfile(static_cast<cmsHPROFILE>(profile)); }
};
using Profile = std::unique_ptr<void, ProfileCloser>;

struct CurveFreer {
    void operator()(cmsToneCurve* curve) const { cmsFreeToneCurve(curve); }
};
using Curve = std::unique_ptr<cmsToneCurve, CurveFreer>;

constexpr cmsCIExyY D65_WHITE = {0.3127, 0.3290, 1.0};
constexpr cmsCIExyYTRIPLE SRGB_PRIMARIES = {{0.64, 0.33, 1.0}, {0.30, 0.60, 1.0}, {0.15, 0.06, 1.0}};

Profile rgb_profile(const cmsCIExyY& white, const cmsCIExyYTRIPLE& primaries, cmsToneCurve* curve) {
    cmsToneCurve* curves[3] = {curve, curve, curve};
    return Profile(cmsCreateRGBProfile(&white, &primaries, curves));
}

// Where every conversion goes: sRGB's primaries and white, linear light.
Profile linear_srgb_profile() {
    const Curve linear(cmsBuildGamma(nullptr, 1.0));
    return linear ? rgb_profile(D65_WHITE, SRGB_PRIMARIES, linear.get()) : Profile();
}

// The sRGB curve, as a parametric curve of type 4.
Curve srgb_curve() {
    const cmsFloat64Number parameters[5] = {2.4, 1.0 / 1.055, 0.055 / 1.055, 1.0 / 12.92, 0.04045};
    return Curve(cmsBuildParametricToneCurve(nullptr, 4, parameters));
}

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

cmsUInt32Number lcms_input_type(const SampleFormat& format) {
    const bool wide = format.bytes_per_sample == 2;
    switch (format.layout) {
    case SampleLayout::grey: return wide ? TYPE_GRAY_16 : TYPE_GRAY_8;
    case SampleLayout::grey_alpha: return wide ? TYPE_GRAYA_16 : TYPE_GRAYA_8;
    case SampleLayout::rgb: return wide ? TYPE_RGB_16 : TYPE_RGB_8;
    case SampleLayout::rgba: return wide ? TYPE_RGBA_16 : TYPE_RGBA_8;
    case SampleLayout::cmyk:
        if (format.inverted_cmyk) {
            return wide ? TYPE_CMYK_16_REV : TYPE_CMYK_8_REV;
        }
        return wide ? TYPE_CMYK_16 : TYPE_CMYK_8;
    }
    return TYPE_RGB_8;
}

cmsColorSpaceSignature colour_space_of(SampleLayout layout) {
    switch (layout) {
    case SampleLayout::grey:
    case SampleLayout::grey_alpha: return cmsSigGrayData;
    case SampleLayout::cmyk: return cmsSigCmykData;
    case SampleLayout::rgb:
    case SampleLayout::rgba: break;
    }
    return cmsSigRgbData;
}

const char* colour_space_name(cmsColorSpaceSignature space) {
    switch (space) {
    case cmsSigGrayData: return "grey";
    case cmsSigRgbData: return "rgb";
    case cmsSigCmykData: return "cmyk";
    default: return "other";
    }
}

std::string profile_description(cmsHPROFILE profile) {
    std::array<char, 256> text{};
    const cmsUInt32Number length =
        cmsGetProfileInfoASCII(profile, cmsInfoDescription, "en", "US", text.data(), static_cast<cmsUInt32Number>(text.size()));
    std::string name;
    for (cmsUInt32Number at = 0; at < length && text[at] != '\0'; ++at) {
        const auto byte = static_cast<unsigned char>(text[at]);
        name += byte >= 0x20 && byte < 0x7F ? static_cast<char>(byte) : '?';
    }
    while (!name.empty() && name.back() == ' ') {
        name.pop_back();
    }
    return name.empty() ? "embedded profile" : name;
}

std::string gamma_name(double gamma) {
    std::array<char, 32> text{};
    std::snprintf(text.data(), text.size(), "gamma %.2f", gamma);
    return text.data();
}

bool chromaticities_usable(const ColourDescription& description) {
    const double* points[4] = {description.white, description.red, description.green, description.blue};
    for (const double* point : points) {
        if (!(point[0] > 0.0 && point[0] < 1.0 && point[1] > 0.0 && point[1] < 1.0)) {
            return false;
        }
    }
    return true;
}

// The profile the file describes, or an empty one with problem set.
Profile source_profile(const SampleFormat& format, const ColourDescription& description, std::string& name,
                       std::string& problem) {
    if (description.icc_profile != nullptr) {
        if (description.icc_size > MAX_PROFILE_BYTES) {
            problem = "an embedded colour profile too large to be one";
            return {};
        }
        Profile profile(cmsOpenProfileFromMem(description.icc_profile, static_cast<cmsUInt32Number>(description.icc_size)));
        if (!profile) {
            problem = "an embedded colour profile that cannot be read";
            return {};
        }
        const cmsColorSpaceSignature space = cmsGetColorSpace(profile.get());
        if (space != colour_space_of(format.layout)) {
            problem = std::string("an embedded colour profile for ") + colour_space_name(space) + " pixels on " +
                      colour_space_name(colour_space_of(format.layout)) + " pixels";
            return {};
        }
        name = profile_description(profile.get());
        return profile;
    }
    // A gamma with primaries: an RGB profile of the file's own.
    if (!chromaticities_usable(description)) {
        problem = "chromaticities that are no colours";
        return {};
    }
    const Curve curve = description.gamma > 0.0 ? Curve(cmsBuildGamma(nullptr, 1.0 / description.gamma)) : srgb_curve();
    const cmsCIExyY white = {description.white[0], description.white[1], 1.0};
    const cmsCIExyYTRIPLE primaries = {{description.red[0], description.red[1], 1.0},
                                       {description.green[0], description.green[1], 1.0},
                                       {description.blue[0], description.blue[1], 1.0}};
    Profile profile = curve ? rgb_profile(white, primaries, curve.get()) : Profile();
    if (!profile) {
        problem = "chromaticities that are no colours";
        return {};
    }
    name = description.gamma > 0.0 ? gamma_name(description.gamma) + " with its own primaries" : "its own primaries";
    return profile;
}

ErrorCode prepare_transform(const SampleFormat& format, const ColourDescription& description, int width,
                            ErrorCode refusal, ColourConversion& conversion, std::string& problem) {
    const Profile source = source_profile(format, description, conversion.name, problem);
    if (!source) {
        return refusal;
    }
    const Profile target = linear_srgb_profile();
    if (!target) {
        return ERR_ALLOCATION;
    }
    conversion.transform.reset(cmsCreateTransform(source.get(), lcms_input_type(format), target.get(), TYPE_RGB_16,
                                                  INTENT_PERCEPTUAL, 0));
    if (!conversion.transform) {
        problem = "an embedded colour profile that cannot convert its colours";
        return refusal;
    }
    try {
        conversion.transformed.assign(static_cast<std::size_t>(width) * 3, 0);
    } catch (const std::bad_alloc&) {
        return ERR_ALLOCATION;
    }
    return ERR_SUCCESS;
}

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

void TransformDeleter::operator()(void* transform) const {
    cmsDeleteTransform(static_cast<cmsHTRANSFORM>(transform));
}

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
        return prepare_transform(format, description, width, refusal, conversion, problem);
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
        cmsDoTransform(static_cast<cmsHTRANSFORM>(conversion.transform.get()), samples, conversion.transformed.data(),
                       static_cast<cmsUInt32Number>(width));
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
