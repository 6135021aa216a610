// The console lines that say how a desktop picture's colours were read, or
// why they could not be.
#pragma once

#include <string>

#include "identify/colour_reading.h"

// The one console line (with its line feed) that says how the colours were read.
std::string describe_colour_reading(const ColourReading& reading);

// The console line (with its line feed) that names the first unidentified
// pixel, and for a reading refused as unclear a second one that says why.
std::string describe_unknown_colour(const ColourReading& reading);
