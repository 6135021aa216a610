#include "colour/colour_science.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <numbers>

namespace {

// sRGB primaries to XYZ, and the D65 white.
constexpr double RGB_TO_XYZ[3][3] = {{0.412453, 0.357580, 0.180423},
                                     {0.212671, 0.715160, 0.072169},
                                     {0.019334, 0.119193, 0.950227}};
constexpr double WHITE_X = 0.95047;
constexpr double WHITE_Z = 1.08883;

// The cube root of a positive number, for the CIELAB curve: a first guess
// from the exponent bits (within 4 %), then two Halley steps, each of which
// triples the correct digits. Agrees with std::cbrt to 1e-14 and takes a
// quarter of its time, which counts when whole pictures are measured.
double positive_cube_root(double t) {
    double y = std::bit_cast<double>(std::bit_cast<std::uint64_t>(t) / 3 + 0x2A9F7893782DA1CEull);
    for (int step = 0; step < 2; ++step) {
        const double cube = y * y * y;
        y *= (cube + 2.0 * t) / (2.0 * cube + t);
    }
    return y;
}

double lab_curve(double t) {
    return t > 0.008856 ? positive_cube_root(t) : 7.787 * t + 16.0 / 116.0;
}

double seventh_power(double x) {
    const double cube = x * x * x;
    return cube * cube * x;
}

constexpr double TWENTY_FIVE_TO_THE_SEVENTH = 6103515625.0;

// Cosines and sines of the angles in T (degrees 30, 6 and 63).
constexpr double COS_30 = 0.86602540378443864676;
constexpr double SIN_30 = 0.5;
constexpr double COS_6 = 0.99452189536827333692;
constexpr double SIN_6 = 0.10452846326765347140;
constexpr double COS_63 = 0.45399049973954679156;
constexpr double SIN_63 = 0.89100652418836786236;

double degrees(double radians) {
    return radians * 180.0 / std::numbers::pi;
}

double radians(double degrees) {
    return degrees * std::numbers::pi / 180.0;
}

// Hue angle in degrees, 0 to 360.
double hue_angle(double b, double a) {
    if (a == 0.0 && b == 0.0) {
        return 0.0;
    }
    const double h = degrees(std::atan2(b, a));
    return h < 0.0 ? h + 360.0 : h;
}

// T of CIEDE2000: 1 - 0.17 cos(h - 30) + 0.24 cos(2h) + 0.32 cos(3h + 6)
// - 0.20 cos(4h - 63), h in degrees.
double hue_weighting(double h_mean) {
    const double cos1 = std::cos(radians(h_mean));
    const double sin1 = std::sin(radians(h_mean));
    const double cos2 = cos1 * cos1 - sin1 * sin1;
    const double sin2 = 2.0 * sin1 * cos1;
    const double cos3 = cos2 * cos1 - sin2 * sin1;
    const double sin3 = sin2 * cos1 + cos2 * sin1;
    const double cos4 = cos2 * cos2 - sin2 * sin2;
    const double sin4 = 2.0 * sin2 * cos2;
    const double cos_minus_30 = cos1 * COS_30 + sin1 * SIN_30;
    const double cos_plus_6 = cos3 * COS_6 - sin3 * SIN_6;
    const double cos_minus_63 = cos4 * COS_63 + sin4 * SIN_63;
    return 1.0 - 0.17 * cos_minus_30 + 0.24 * cos2 + 0.32 * cos_plus_6 - 0.20 * cos_minus_63;
}

}  // namespace

double srgb_to_linear(double encoded) {
    return encoded <= 0.04045 ? encoded / 12.92 : std::pow((encoded + 0.055) / 1.055, 2.4);
}

double linear_to_srgb(double linear) {
    return linear <= 0.0031308 ? linear * 12.92 : 1.055 * std::pow(linear, 1.0 / 2.4) - 0.055;
}

const std::array<float, 256>& linear_of_srgb_byte() {
    static const std::array<float, 256> table = [] {
        std::array<float, 256> values{};
        for (int byte = 0; byte < 256; ++byte) {
            values[static_cast<std::size_t>(byte)] = static_cast<float>(srgb_to_linear(byte / 255.0));
        }
        return values;
    }();
    return table;
}

LabColour lab_from_linear(double red, double green, double blue) {
    const double x = RGB_TO_XYZ[0][0] * red + RGB_TO_XYZ[0][1] * green + RGB_TO_XYZ[0][2] * blue;
    const double y = RGB_TO_XYZ[1][0] * red + RGB_TO_XYZ[1][1] * green + RGB_TO_XYZ[1][2] * blue;
    const double z = RGB_TO_XYZ[2][0] * red + RGB_TO_XYZ[2][1] * green + RGB_TO_XYZ[2][2] * blue;
    const double fx = lab_curve(x / WHITE_X);
    const double fy = lab_curve(y);
    const double fz = lab_curve(z / WHITE_Z);
    return {116.0 * fy - 16.0, 500.0 * (fx - fy), 200.0 * (fy - fz)};
}

LabColour lab_from_rgb(std::uint32_t colour) {
    return lab_from_linear(srgb_to_linear((colour >> 16 & 0xFF) / 255.0), srgb_to_linear((colour >> 8 & 0xFF) / 255.0),
                           srgb_to_linear((colour & 0xFF) / 255.0));
}

double squared_lab_distance(const LabColour& first, const LabColour& second) {
    const double dl = first.l - second.l;
    const double da = first.a - second.a;
    const double db = first.b - second.b;
    return dl * dl + da * da + db * db;
}

// Sharma, Wu and Dalal's formulation (2005). Written for speed, as whole
// pictures are compared pixel by pixel: products in place of pow and hypot,
// and the four cosines of T from one sine and cosine by the multiple-angle
// formulas.
double ciede2000(const LabColour& first, const LabColour& second) {
    const double c1 = std::sqrt(first.a * first.a + first.b * first.b);
    const double c2 = std::sqrt(second.a * second.a + second.b * second.b);
    const double c_mean7 = seventh_power((c1 + c2) / 2.0);
    const double g = 0.5 * (1.0 - std::sqrt(c_mean7 / (c_mean7 + TWENTY_FIVE_TO_THE_SEVENTH)));
    const double a1 = first.a * (1.0 + g);
    const double a2 = second.a * (1.0 + g);
    const double c1p = std::sqrt(a1 * a1 + first.b * first.b);
    const double c2p = std::sqrt(a2 * a2 + second.b * second.b);
    const double h1p = hue_angle(first.b, a1);
    const double h2p = hue_angle(second.b, a2);

    const double dl = second.l - first.l;
    const double dc = c2p - c1p;
    double dh = 0.0;
    if (c1p * c2p != 0.0) {
        dh = h2p - h1p;
        if (dh > 180.0) {
            dh -= 360.0;
        } else if (dh < -180.0) {
            dh += 360.0;
        }
    }
    const double dhp = 2.0 * std::sqrt(c1p * c2p) * std::sin(radians(dh / 2.0));

    const double l_mean = (first.l + second.l) / 2.0;
    const double cp_mean = (c1p + c2p) / 2.0;
    double h_mean = h1p + h2p;
    if (c1p * c2p != 0.0) {
        if (std::fabs(h1p - h2p) <= 180.0) {
            h_mean /= 2.0;
        } else {
            h_mean = (h1p + h2p < 360.0) ? (h1p + h2p + 360.0) / 2.0 : (h1p + h2p - 360.0) / 2.0;
        }
    }
    const double t = hue_weighting(h_mean);
    const double l50 = (l_mean - 50.0) * (l_mean - 50.0);
    const double s_l = 1.0 + 0.015 * l50 / std::sqrt(20.0 + l50);
    const double s_c = 1.0 + 0.045 * cp_mean;
    const double s_h = 1.0 + 0.015 * cp_mean * t;
    const double cp_mean7 = seventh_power(cp_mean);
    const double r_c = 2.0 * std::sqrt(cp_mean7 / (cp_mean7 + TWENTY_FIVE_TO_THE_SEVENTH));
    const double d_theta = 30.0 * std::exp(-((h_mean - 275.0) / 25.0) * ((h_mean - 275.0) / 25.0));
    const double r_t = -std::sin(radians(2.0 * d_theta)) * r_c;
    const double kl = dl / s_l;
    const double kc = dc / s_c;
    const double kh = dhp / s_h;
    return std::sqrt(kl * kl + kc * kc + kh * kh + r_t * kc * kh);
}
