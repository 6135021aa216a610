// What every fuzzed desktop reader must give the colour identification: a
// picture it reads holds C64 colour numbers only, and one it refuses is
// refused with its own code and a line that names why.
#pragma once

#include "identify/colour_identification.h"
#include "desktop/pcx.h"

// Identifies the colours of an accepted picture and checks the result; true
// when they were identified.
bool identify_and_check(const ColourImage& source, PixelImage& image);
