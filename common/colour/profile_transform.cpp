#include "colour/profile_transform.h"

#include <lcms2.h>

#include <array>
#include <new>

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

}  // namespace

ErrorCode prepare_profile_transform(const SampleFormat& format, const ColourDescription& description, int width,
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

void apply_profile_transform(ColourConversion& conversion, const std::uint8_t* samples, int width) {
    cmsDoTransform(static_cast<cmsHTRANSFORM>(conversion.transform.get()), samples, conversion.transformed.data(),
                   static_cast<cmsUInt32Number>(width));
}

void TransformDeleter::operator()(void* transform) const {
    cmsDeleteTransform(static_cast<cmsHTRANSFORM>(transform));
}
