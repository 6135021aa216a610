#include "colour/colour_science.h"

#include <cmath>
#include <numbers>

namespace {

// sRGB primaries to XYZ, and the D65 white.
constexpr double RGB_TO_XYZ[3][3] = {{0.412453, 0.357580, 0.180423},
                                     {0.212671, 0.715160, 0.072169},
                                     {0.019334, 0.119193, 0.950227}};
constexpr double WHITE_X = 0.95047;
constexpr double WHITE_Z = 1.08883;

double lab_curve(double t) {
    return t > 0.008856 ? std::cbrt(t) : 7.787 * t + 16.0 / 116.0;
}

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

// Sharma, Wu and Dalal's formulation (2005).
double ciede2000(const LabColour& first, const LabColour& second) {
    const double c1 = std::hypot(first.a, first.b);
    const double c2 = std::hypot(second.a, second.b);
    const double c_mean = (c1 + c2) / 2.0;
    const double c_mean7 = std::pow(c_mean, 7.0);
    const double g = 0.5 * (1.0 - std::sqrt(c_mean7 / (c_mean7 + std::pow(25.0, 7.0))));
    const double a1 = first.a * (1.0 + g);
    const double a2 = second.a * (1.0 + g);
    const double c1p = std::hypot(a1, first.b);
    const double c2p = std::hypot(a2, second.b);
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
    const double t = 1.0 - 0.17 * std::cos(radians(h_mean - 30.0)) + 0.24 * std::cos(radians(2.0 * h_mean)) +
                     0.32 * std::cos(radians(3.0 * h_mean + 6.0)) - 0.20 * std::cos(radians(4.0 * h_mean - 63.0));
    const double l50 = (l_mean - 50.0) * (l_mean - 50.0);
    const double s_l = 1.0 + 0.015 * l50 / std::sqrt(20.0 + l50);
    const double s_c = 1.0 + 0.045 * cp_mean;
    const double s_h = 1.0 + 0.015 * cp_mean * t;
    const double cp_mean7 = std::pow(cp_mean, 7.0);
    const double r_c = 2.0 * std::sqrt(cp_mean7 / (cp_mean7 + std::pow(25.0, 7.0)));
    const double d_theta = 30.0 * std::exp(-((h_mean - 275.0) / 25.0) * ((h_mean - 275.0) / 25.0));
    const double r_t = -std::sin(radians(2.0 * d_theta)) * r_c;
    const double kl = dl / s_l;
    const double kc = dc / s_c;
    const double kh = dhp / s_h;
    return std::sqrt(kl * kl + kc * kc + kh * kh + r_t * kc * kh);
}
