// Colour science shared by the reading of desktop pictures' colours and the
// conversion of photos: sRGB and linear light, CIE XYZ and CIELAB (D65, 2°),
// and the distances between colours.
#pragma once

#include <array>
#include <cstdint>

// sRGB primaries to CIE XYZ, and the D65 white (Y is 1).
inline constexpr double RGB_TO_XYZ[3][3] = {{0.412453, 0.357580, 0.180423},
                                            {0.212671, 0.715160, 0.072169},
                                            {0.019334, 0.119193, 0.950227}};
inline constexpr double WHITE_X = 0.95047;
inline constexpr double WHITE_Z = 1.08883;

struct LabColour {
    double l;
    double a;
    double b;
};

// One sRGB channel, 0 to 1, to linear light and back (the IEC 61966-2-1 curve).
double srgb_to_linear(double encoded);
double linear_to_srgb(double linear);

// Linear light of each 8-bit sRGB value, for reading pixels without pow().
const std::array<float, 256>& linear_of_srgb_byte();

// Linear-light sRGB (0 to 1) to CIELAB, through XYZ with the D65 white.
LabColour lab_from_linear(double red, double green, double blue);

// 0xRRGGBB sRGB to CIELAB.
LabColour lab_from_rgb(std::uint32_t colour);

// CIE 1976 distance, squared.
double squared_lab_distance(const LabColour& first, const LabColour& second);

// CIEDE2000 colour difference, with kL = kC = kH = 1.
double ciede2000(const LabColour& first, const LabColour& second);

// T of CIEDE2000, 1 - 0.17 cos(h - 30) + 0.24 cos(2h) + 0.32 cos(3h + 6)
// - 0.20 cos(4h - 63) in degrees, from the cosine and sine of the mean hue h
// by the multiple-angle formulas; in double for the exact difference, in
// float for the conversion's vectors, into whose builds it is inlined.
template <typename Real>
[[gnu::always_inline]] inline Real ciede2000_hue_weighting(Real cos1, Real sin1) {
    constexpr Real COS_30 = static_cast<Real>(0.86602540378443864676);
    constexpr Real SIN_30 = static_cast<Real>(0.5);
    constexpr Real COS_6 = static_cast<Real>(0.99452189536827333692);
    constexpr Real SIN_6 = static_cast<Real>(0.10452846326765347140);
    constexpr Real COS_63 = static_cast<Real>(0.45399049973954679156);
    constexpr Real SIN_63 = static_cast<Real>(0.89100652418836786236);
    const Real cos2 = cos1 * cos1 - sin1 * sin1;
    const Real sin2 = 2 * sin1 * cos1;
    const Real cos3 = cos2 * cos1 - sin2 * sin1;
    const Real sin3 = sin2 * cos1 + cos2 * sin1;
    const Real cos4 = cos2 * cos2 - sin2 * sin2;
    const Real sin4 = 2 * sin2 * cos2;
    const Real cos_minus_30 = cos1 * COS_30 + sin1 * SIN_30;
    const Real cos_plus_6 = cos3 * COS_6 - sin3 * SIN_6;
    const Real cos_minus_63 = cos4 * COS_63 + sin4 * SIN_63;
    return Real{1} - static_cast<Real>(0.17) * cos_minus_30 + static_cast<Real>(0.24) * cos2 +
           static_cast<Real>(0.32) * cos_plus_6 - static_cast<Real>(0.20) * cos_minus_63;
}
