// The approximate reading of a desktop picture's colours: how well each
// library palette fits them, once shifted the way emulators' palettes differ,
// and whether the best fit is clear; and the doubt on an exact reading of
// greys alone.
#pragma once

#include "identify/colour_reading.h"
#include "identify/distinct_colours.h"

// Why an approximate reading (or an exact one of greys) was refused.
struct Doubt {
    UnknownReason reason;
    int entry;  // the distinct colour named
    int palette;
    int number;
    int other_palette;
    int other_number;
    double distance;
};

// Reads the distinct colours (at most 16) as the numbering of the library
// palette that fits them best, when that reading is clear; else says why not
// in doubt.
bool read_approximately(const DistinctColours& distinct, NumberTable& numbers, int& palette, Doubt& doubt);

// Whether an exact reading of greys alone, in the given numbers of the
// palette, is in doubt: true when a palette that does not hold them all pairs
// them with other numbers at a sum of squared distances of at most 400; doubt
// then names the grey and both numbers.
bool exact_greys_in_doubt(const DistinctColours& distinct, const NumberTable& numbers, int palette, Doubt& doubt);
