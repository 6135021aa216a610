// The page has no LittleCMS: the browser brings every picture to sRGB before
// the library sees it, so a colour profile never reaches the conversion. One
// that did would be refused, never read with wrong colours.
#include "colour/profile_transform.h"

ErrorCode prepare_profile_transform(const SampleFormat&, const ColourDescription&, int, ErrorCode refusal,
                                    ColourConversion&, std::string& problem) {
    problem = "a colour profile, which the browser applies before the page reads the picture";
    return refusal;
}

void apply_profile_transform(ColourConversion&, const std::uint8_t*, int) {}

void TransformDeleter::operator()(void*) const {}
