#include "identify/colour_reading_messages.h"

#include <cstdio>

#include "palettes/palette_library.h"

namespace {

// "palette 16, vice" on a line of its own, "palette 16 (vice)" within a
// sentence; the built-in palettes have a number only.
enum class NameStyle { after_comma, in_brackets };

std::string palette_label(int palette, NameStyle style = NameStyle::after_comma) {
    std::string label = "palette " + std::to_string(palette);
    const std::string name = palette >= 0 && palette < LIBRARY_PALETTE_COUNT ? library_palette_name(palette) : "";
    if (name.empty()) return label;
    return label + (style == NameStyle::after_comma ? ", " + name : " (" + name + ")");
}

}  // namespace

std::string describe_colour_reading(const ColourReading& reading) {
    char line[160];
    const std::string palette = palette_label(reading.palette);
    switch (reading.kind) {
    case ColourReadingKind::exact:
        std::snprintf(line, sizeof line, "colours read exactly (%s)\n", palette.c_str());
        break;
    case ColourReadingKind::approximate:
        std::snprintf(line, sizeof line, "colours read approximately: %d colour%s matched to %s\n",
                      reading.approximated_colours, reading.approximated_colours == 1 ? "" : "s", palette.c_str());
        break;
    case ColourReadingKind::file_palette:
        std::snprintf(line, sizeof line, "colours read through the file's palette of 16 colours (%s)\n",
                      palette.c_str());
        break;
    case ColourReadingKind::given_palette:
        std::snprintf(line, sizeof line, "colours read in %s: %d colour%s matched approximately\n", palette.c_str(),
                      reading.approximated_colours, reading.approximated_colours == 1 ? "" : "s");
        break;
    case ColourReadingKind::indices:
    default:
        std::snprintf(line, sizeof line, "colours read by palette index (the file's palette is %s)\n",
                      palette.c_str());
        break;
    }
    return line;
}

std::string describe_unknown_colour(const ColourReading& reading) {
    char line[400];
    const unsigned colour = reading.unknown_colour & 0xFFFFFFu;
    const std::string palette = palette_label(reading.palette, NameStyle::in_brackets);
    const std::string other_palette = palette_label(reading.other_palette, NameStyle::in_brackets);
    static const char* const settle = "-cNN reads it in the palette you name";
    switch (reading.unknown_reason) {
    case UnknownReason::not_clear:
        if (reading.palette == reading.other_palette) {
            std::snprintf(line, sizeof line, "unknown colour #%06X at x %d, y %d\nit could be colour %d or colour %d of %s; %s\n",
                          colour, reading.unknown_x, reading.unknown_y, reading.unknown_number, reading.other_number,
                          palette.c_str(), settle);
        } else {
            std::snprintf(line, sizeof line,
                          "unknown colour #%06X at x %d, y %d\nit could be colour %d of %s or colour %d of %s; %s\n",
                          colour, reading.unknown_x, reading.unknown_y, reading.unknown_number, palette.c_str(),
                          reading.other_number, other_palette.c_str(), settle);
        }
        break;
    case UnknownReason::far_from_library:
        std::snprintf(line, sizeof line,
                      "unknown colour #%06X at x %d, y %d\nit lies %.0f from colour %d of %s, its nearest fit, too far "
                      "to be read for certain; %s\n",
                      colour, reading.unknown_x, reading.unknown_y, reading.unknown_distance, reading.unknown_number,
                      palette.c_str(), settle);
        break;
    case UnknownReason::greys_only:
        std::snprintf(line, sizeof line,
                      "grey #%06X at x %d, y %d is colour %d of %s but near colour %d of %s\nblack, white and greys "
                      "alone do not tell the palette; %s\n",
                      colour, reading.unknown_x, reading.unknown_y, reading.unknown_number, palette.c_str(),
                      reading.other_number, other_palette.c_str(), settle);
        break;
    case UnknownReason::index_above_15:
        std::snprintf(line, sizeof line, "palette index %d above 15 at x %d, y %d\n", reading.unknown_index,
                      reading.unknown_x, reading.unknown_y);
        break;
    case UnknownReason::too_far:
        std::snprintf(line, sizeof line,
                      "colour #%06X at x %d, y %d lies %.0f from colour %d of palette %d, farther than %.0f\n", colour,
                      reading.unknown_x, reading.unknown_y, reading.unknown_distance, reading.unknown_number,
                      reading.palette, GIVEN_PALETTE_BOUND);
        break;
    case UnknownReason::shared_number:
        std::snprintf(line, sizeof line, "colour #%06X at x %d, y %d and colour #%06X are both nearest colour %d of palette %d\n",
                      colour, reading.unknown_x, reading.unknown_y,
                      static_cast<unsigned>(reading.other_colour & 0xFFFFFFu), reading.unknown_number,
                      reading.palette);
        break;
    case UnknownReason::colour:
    default:
        std::snprintf(line, sizeof line, "unknown colour #%06X at x %d, y %d\n", colour, reading.unknown_x,
                      reading.unknown_y);
        break;
    }
    return line;
}
