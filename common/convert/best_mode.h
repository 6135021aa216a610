// -f with the mode open: both modes are made and the one nearer the picture
// on the measure of the view (picture_measure.h, at sigma 1 for a television,
// unblurred for crisp pixels) is kept.
#pragma once

#include "convert/photo_conversion.h"
#include "convert/picture_measure.h"
#include "convert/screen_image.h"
#include "frame/errors.h"

// request.hires is not read. A given background keeps multicolour, and only
// its score is made; hires_score is then zero. picture holds the mode kept.
ErrorCode convert_in_best_mode(const ScreenImage& screen, const PhotoConversion& request, ConvertedPicture& picture,
                               bool& hires, PictureScore& multicolour_score, PictureScore& hires_score);
