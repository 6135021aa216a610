// Converts a picture of any colours, already brought to the screen, into a
// legal C64 picture: cell colours and background chosen by search, dithered
// within each cell's colours, then refined against the error as it is seen.
#pragma once

#include <cstdint>

#include "c64/picture.h"
#include "convert/screen_image.h"
#include "frame/errors.h"

// Dither kinds of -dN.
constexpr int DITHER_NONE = 0;   // each dot the nearest of its cell's colours: flat art, logos, pixel art
constexpr int DITHER_BEST = 1;   // error diffusion, then direct binary search: photos
constexpr int DITHER_DIFFUSION = 2;  // error diffusion alone
constexpr int DITHER_KIND_COUNT = 3;

// Views of -vN: how the picture will be seen, which the conversion is judged by.
constexpr int VIEW_TELEVISION = 0;  // softened, colour bleeding sideways: a PAL set, an emulator's CRT view
constexpr int VIEW_CRISP = 1;       // sharp square pixels: a screenshot, a PNG, an emulator's filter off
constexpr int VIEW_COUNT = 2;

// Colodore: the palette a conversion is made for unless -c names another.
constexpr int DEFAULT_CONVERSION_PALETTE = 13;

struct PhotoConversion {
    bool hires;
    int palette;            // of the library: the colours the picture is made for
    bool background_given;  // multicolour: -b
    int background;
    int dither;             // DITHER_*
    int view;               // VIEW_*
};

// One of the two pictures is filled, by mode; background is the one chosen
// (multicolour).
struct ConvertedPicture {
    C64Picture multicolour;
    HiresPicture hires;
    int background;
};

ErrorCode convert_photo(const ScreenImage& screen, const PhotoConversion& request, ConvertedPicture& picture);
