// Which C64 colour number each pixel of a desktop picture (a PNG) shows: by
// its exact colours in one palette of the library, by the file's palette when
// it holds a library palette's colours in C64 order, by a clear-cut
// approximate match to a library palette, or in a palette the user names.
#pragma once

#include "frame/errors.h"
#include "identify/colour_reading.h"
#include "identify/colour_reading_messages.h"
#include "c64/pixel_image.h"

// Fills image.pixels with C64 colour numbers and image.palette with the colours
// they were identified by (entries 16 to 255 black). Returns ERR_UNKNOWN_COLOURS,
// with reading naming the first unidentified pixel, when the colours cannot be
// identified for certain.
ErrorCode identify_colours(const ColourImage& source, PixelImage& image, ColourReading& reading);

// Reads each distinct colour as the nearest colour of the given library
// palette. Refuses with ERR_UNKNOWN_COLOURS when two colours would become one
// C64 colour, or a colour lies farther than GIVEN_PALETTE_BOUND from its own.
ErrorCode identify_colours_in_palette(const ColourImage& source, int palette, PixelImage& image,
                                      ColourReading& reading);
