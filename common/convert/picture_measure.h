// How close a converted picture looks to the picture it was made from: both
// blurred by a Gaussian of sigma pixels in linear light (what the eye sees
// from a distance: dithering melts into colour), then compared in CIELAB by
// the mean CIEDE2000 difference and by the SSIM of the lightness.
#pragma once

#include <array>
#include <cstdint>

#include "c64/pixel_image.h"
#include "convert/linear_rgb.h"
#include "frame/errors.h"

struct PictureScore {
    double delta_e;  // mean CIEDE2000 over the 64,000 pixels; 0 for equal pictures
    double ssim;     // SSIM of L*, 7 by 7 windows, the 3-pixel margin left out; 1 for equal pictures
};

// The largest blur measured; its kernel reaches int(4 sigma + 0.5) pixels.
constexpr double MAX_MEASURE_SIGMA = 15.0;

// Scores output against reference at blur sigma (0: no blur). A sigma beyond
// 0 to MAX_MEASURE_SIGMA, or a value that is not a finite number in either
// picture: ERR_FUNCTION_PARAMETERS.
ErrorCode measure_picture(const LinearRgb& reference, const LinearRgb& output, double sigma, PictureScore& score);

// The reference's side of the measure, made once to score several outputs
// against it (multicolour and hires): its CIELAB after the blur.
struct MeasureReference {
    double sigma;
    std::array<double, IMAGE_PIXELS * 3> lab;  // L*, a*, b* of pixel (x, y) at (y * 320 + x) * 3
};

// The same checks as measure_picture.
ErrorCode prepare_measure_reference(const LinearRgb& reference, double sigma, MeasureReference& prepared);
// measure_picture with the reference prepared at the sigma it holds.
ErrorCode measure_against_reference(const MeasureReference& reference, const LinearRgb& output, PictureScore& score);

// The picture blurred by a Gaussian of sigma pixels, separable, weights
// exp(-x^2 / 2 sigma^2) for |x| <= int(4 sigma + 0.5) summed to 1; the
// borders reflect, the edge pixel repeated (d c b a | a b c d).
ErrorCode blur_linear_rgb(const LinearRgb& picture, double sigma, LinearRgb& blurred);

// Linear light of 0xRRGGBB sRGB pixels.
ErrorCode linear_rgb_from_colours(const std::array<std::uint32_t, IMAGE_PIXELS>& colours, LinearRgb& rgb);

// Linear light of a rendered picture: its C64 colour numbers shown in palette
// `palette` of the palette library. A pixel beyond colour 15 or a palette out
// of range: ERR_FUNCTION_PARAMETERS.
ErrorCode linear_rgb_from_pixel_image(const PixelImage& image, int palette, LinearRgb& rgb);
