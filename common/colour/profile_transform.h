// Colours through a colour profile, by LittleCMS: the part of the colour
// conversion that a build without it (the web page, whose browser brings
// every picture to sRGB) leaves out.
#pragma once

#include <cstdint>
#include <string>

#include "colour/colour_profile.h"
#include "frame/errors.h"

// The transform of the profile the description gives (embedded, or a gamma
// with primaries) into linear sRGB, for rows of width pixels; refusal, with
// problem set, for a profile that cannot serve.
ErrorCode prepare_profile_transform(const SampleFormat& format, const ColourDescription& description, int width,
                                    ErrorCode refusal, ColourConversion& conversion, std::string& problem);

// One row through the transform, into conversion.transformed.
void apply_profile_transform(ColourConversion& conversion, const std::uint8_t* samples, int width);

// "gamma 2.20" and the like.
std::string gamma_name(double gamma);
