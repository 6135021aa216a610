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
