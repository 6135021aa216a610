// The record walk both GIF readers share: extensions up to the first image.
#pragma once

#include <gif_lib.h>

constexpr int NO_TRANSPARENCY = -1;

// Skips extensions up to the first image, keeping the transparent index of
// the last graphic control extension (NO_TRANSPARENCY when there is none,
// or when its block is malformed); found says whether an image follows.
// False on a decoding error.
bool find_first_image(GifFileType* gif, bool& found, int& transparent);
