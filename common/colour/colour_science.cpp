#include "colour/colour_science.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <numbers>

namespace {


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

// What CIEDE2000 takes from the two hues, each colour given by a' and b and
// its chroma C'.
struct HueTerms {
    double delta_big_h;   // delta H' = 2 sqrt(C1' C2') sin(delta h' / 2)
    double mean_cos;      // cosine and sine of the mean hue h'
    double mean_sin;
    double mean_degrees;  // the mean hue, 0 to 360, when known
    bool has_mean_degrees;
};

// The terms from the hue angles, as Sharma, Wu and Dalal write them: for a
// grey colour (its hue is then 0 and the mean is the other's hue) and for
// opposite hues (the mean is then their plain average).
HueTerms hue_terms_from_angles(double a1, double b1, double c1, double a2, double b2, double c2) {
    const double h1 = hue_angle(b1, a1);
    const double h2 = hue_angle(b2, a2);
    double dh = 0.0;
    double mean = h1 + h2;
    if (c1 * c2 != 0.0) {
        dh = h2 - h1;
        if (dh > 180.0) {
            dh -= 360.0;
        } else if (dh < -180.0) {
            dh += 360.0;
        }
        if (std::fabs(h1 - h2) <= 180.0) {
            mean /= 2.0;
        } else {
            mean = (h1 + h2 < 360.0) ? (h1 + h2 + 360.0) / 2.0 : (h1 + h2 - 360.0) / 2.0;
        }
    }
    return {2.0 * std::sqrt(c1 * c2) * std::sin(radians(dh / 2.0)), std::cos(radians(mean)),
            std::sin(radians(mean)), mean, true};
}

// The same terms from the hues' unit vectors u1 and u2, with one arc tangent
// in place of two and no sine or cosine: |u2 - u1| = 2 |sin(delta h' / 2)|,
// its sign is the sign of u1 x u2, and the mean hue (the middle of the shorter
// arc) points along u1 + u2. False when that sum is too short to point
// anywhere (opposite hues) or a chroma is 0.
bool hue_terms_from_vectors(double a1, double b1, double c1, double a2, double b2, double c2, HueTerms& terms) {
    if (c1 == 0.0 || c2 == 0.0) {
        return false;
    }
    const double u1x = a1 / c1;
    const double u1y = b1 / c1;
    const double u2x = a2 / c2;
    const double u2y = b2 / c2;
    const double sum_x = u1x + u2x;
    const double sum_y = u1y + u2y;
    const double sum_length = std::sqrt(sum_x * sum_x + sum_y * sum_y);
    if (sum_length < 1e-6) {
        return false;
    }
    const double chord = std::sqrt((u2x - u1x) * (u2x - u1x) + (u2y - u1y) * (u2y - u1y));
    terms.delta_big_h = std::copysign(std::sqrt(c1 * c2) * chord, u1x * u2y - u1y * u2x);
    terms.mean_cos = sum_x / sum_length;
    terms.mean_sin = sum_y / sum_length;
    terms.has_mean_degrees = false;
    return true;
}

// The rotation term's angle, 30 exp(-((h - 275) / 25)^2) degrees for the
// mean hue h. Below 1e-14 for a mean hue under 125 degrees, 150 or more from
// 275, where it is taken as 0 without the arc tangent; the hues of skin,
// wood and sand lie there.
double rotation_angle(const HueTerms& hue) {
    constexpr double COS_125 = -0.57357643635104609611;
    if (!hue.has_mean_degrees && hue.mean_sin >= 0.0 && hue.mean_cos > COS_125) {
        return 0.0;
    }
    const double mean = hue.has_mean_degrees ? hue.mean_degrees : hue_angle(hue.mean_sin, hue.mean_cos);
    const double from_blue = (mean - 275.0) / 25.0;
    return 30.0 * std::exp(-from_blue * from_blue);
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
// the hue terms from vectors rather than angles where they can be.
double ciede2000(const LabColour& first, const LabColour& second) {
    const double c1 = std::sqrt(first.a * first.a + first.b * first.b);
    const double c2 = std::sqrt(second.a * second.a + second.b * second.b);
    const double c_mean7 = seventh_power((c1 + c2) / 2.0);
    const double g = 0.5 * (1.0 - std::sqrt(c_mean7 / (c_mean7 + TWENTY_FIVE_TO_THE_SEVENTH)));
    const double a1 = first.a * (1.0 + g);
    const double a2 = second.a * (1.0 + g);
    const double c1p = std::sqrt(a1 * a1 + first.b * first.b);
    const double c2p = std::sqrt(a2 * a2 + second.b * second.b);
    HueTerms hue{};
    if (!hue_terms_from_vectors(a1, first.b, c1p, a2, second.b, c2p, hue)) {
        hue = hue_terms_from_angles(a1, first.b, c1p, a2, second.b, c2p);
    }

    const double dl = second.l - first.l;
    const double dc = c2p - c1p;
    const double l_mean = (first.l + second.l) / 2.0;
    const double cp_mean = (c1p + c2p) / 2.0;
    const double t = ciede2000_hue_weighting(hue.mean_cos, hue.mean_sin);
    const double l50 = (l_mean - 50.0) * (l_mean - 50.0);
    const double s_l = 1.0 + 0.015 * l50 / std::sqrt(20.0 + l50);
    const double s_c = 1.0 + 0.045 * cp_mean;
    const double s_h = 1.0 + 0.015 * cp_mean * t;
    const double cp_mean7 = seventh_power(cp_mean);
    const double r_c = 2.0 * std::sqrt(cp_mean7 / (cp_mean7 + TWENTY_FIVE_TO_THE_SEVENTH));
    const double d_theta = rotation_angle(hue);
    const double r_t = d_theta == 0.0 ? 0.0 : -std::sin(radians(2.0 * d_theta)) * r_c;
    const double kl = dl / s_l;
    const double kc = dc / s_c;
    const double kh = hue.delta_big_h / s_h;
    return std::sqrt(kl * kl + kc * kc + kh * kh + r_t * kc * kh);
}
