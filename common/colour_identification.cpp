#include "colour_identification.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <memory>
#include <new>

#include "pixel.h"

namespace {

// More distinct colours than this cannot be read by colour: the built-in
// palettes hold fewer, and an approximate reading takes at most 16.
constexpr int MAX_DISTINCT_COLOURS = 256;
constexpr int COLOUR_TABLE_SLOTS = 2 * MAX_DISTINCT_COLOURS;  // open addressing, at most half full
constexpr std::uint32_t SLOT_EMPTY = 0xFFFFFFFFu;
constexpr std::uint8_t NO_NUMBER = 0xFF;

std::uint32_t palette_colour(int palette, int number) {
    const auto& rgb = c64_palettes[palette][number];
    return (std::uint32_t{rgb[0]} << 16) | (std::uint32_t{rgb[1]} << 8) | rgb[2];
}

// Every colour of the built-in palettes with its one C64 number and the
// palettes that hold it, sorted by colour for a binary search.
struct KnownColour {
    std::uint32_t colour;
    std::uint8_t number;
    std::uint16_t palettes;  // bit p: palette p holds the colour
};

struct KnownColours {
    std::array<KnownColour, PALETTE_COUNT * C64_COLOUR_COUNT> entries;
    int count;
};

KnownColours collect_known_colours() {
    KnownColours known{};
    for (int p = 0; p < PALETTE_COUNT; ++p) {
        for (int c = 0; c < C64_COLOUR_COUNT; ++c) {
            const std::uint32_t colour = palette_colour(p, c);
            auto* const end = known.entries.begin() + known.count;
            auto* const same = std::find_if(known.entries.begin(), end,
                                            [colour](const KnownColour& entry) { return entry.colour == colour; });
            if (same != end) {
                same->palettes = static_cast<std::uint16_t>(same->palettes | (1u << p));
            } else {
                *end = {colour, static_cast<std::uint8_t>(c), static_cast<std::uint16_t>(1u << p)};
                ++known.count;
            }
        }
    }
    std::sort(known.entries.begin(), known.entries.begin() + known.count,
              [](const KnownColour& a, const KnownColour& b) { return a.colour < b.colour; });
    return known;
}

const KnownColour* find_known_colour(std::uint32_t colour) {
    static const KnownColours known = collect_known_colours();
    const auto* const end = known.entries.begin() + known.count;
    const auto* const found = std::lower_bound(
        known.entries.begin(), end, colour, [](const KnownColour& entry, std::uint32_t c) { return entry.colour < c; });
    return found != end && found->colour == colour ? found : nullptr;
}

// The distinct colours of an image in order of first appearance.
struct DistinctColours {
    std::array<std::uint32_t, COLOUR_TABLE_SLOTS> slot_colour;
    std::array<std::uint8_t, COLOUR_TABLE_SLOTS> slot_entry;
    std::array<std::uint32_t, MAX_DISTINCT_COLOURS> colours;
    std::array<int, MAX_DISTINCT_COLOURS> first_pixel;
    int count;
    bool overflow;  // more than MAX_DISTINCT_COLOURS; the lists hold the first ones
};

std::uint32_t colour_hash(std::uint32_t colour) {
    return (colour * 2654435761u) >> 23;  // 9 bits: 0 to 511
}
static_assert(COLOUR_TABLE_SLOTS == 512);

// Lists the distinct colours and leaves in each pixel of the image the entry
// of its colour in that list. Consecutive equal pixels are the common case,
// so the previous pixel's entry is tried first.
void count_distinct_colours(const ColourImage& source, DistinctColours& distinct, PixelImage& image) {
    distinct.slot_colour.fill(SLOT_EMPTY);
    distinct.count = 0;
    distinct.overflow = false;
    std::uint32_t previous_colour = SLOT_EMPTY;
    std::uint8_t previous_entry = 0;
    for (int i = 0; i < IMAGE_PIXELS; ++i) {
        const std::uint32_t colour = source.colours[i] & 0xFFFFFFu;
        if (colour == previous_colour) {
            image.pixels[i] = previous_entry;
            continue;
        }
        std::uint32_t slot = colour_hash(colour);
        while (distinct.slot_colour[slot] != SLOT_EMPTY && distinct.slot_colour[slot] != colour) {
            slot = (slot + 1) % COLOUR_TABLE_SLOTS;
        }
        if (distinct.slot_colour[slot] == SLOT_EMPTY) {
            if (distinct.count == MAX_DISTINCT_COLOURS) {
                distinct.overflow = true;
                return;
            }
            distinct.slot_colour[slot] = colour;
            distinct.slot_entry[slot] = static_cast<std::uint8_t>(distinct.count);
            distinct.colours[distinct.count] = colour;
            distinct.first_pixel[distinct.count] = i;
            ++distinct.count;
        }
        previous_colour = colour;
        previous_entry = distinct.slot_entry[slot];
        image.pixels[i] = previous_entry;
    }
}

using NumberTable = std::array<std::uint8_t, MAX_DISTINCT_COLOURS>;

// Exact reading: every colour is a colour of the built-in palettes.
bool read_exactly(const DistinctColours& distinct, NumberTable& numbers, int& palette) {
    if (distinct.overflow) return false;
    std::uint32_t common_palettes = (1u << PALETTE_COUNT) - 1;
    for (int d = 0; d < distinct.count; ++d) {
        const KnownColour* const known = find_known_colour(distinct.colours[d]);
        if (known == nullptr) return false;
        numbers[d] = known->number;
        common_palettes &= known->palettes;
    }
    if (common_palettes == 0) {
        palette = -1;
    } else if (common_palettes & (1u << DEFAULT_PALETTE)) {
        palette = DEFAULT_PALETTE;
    } else {
        palette = std::countr_zero(common_palettes);
    }
    return true;
}

// Approximate reading: see match_approximately below.
bool read_approximately(const DistinctColours& distinct, NumberTable& numbers, int& palette);

void name_pixel(const ColourImage& source, int pixel, ColourReading& reading) {
    const int x = pixel % IMAGE_WIDTH;
    const int y = pixel / IMAGE_WIDTH;
    const int divisor = source.x_divisor > 0 ? source.x_divisor : 1;
    reading.unknown_x = x / divisor + source.x_offset;
    reading.unknown_y = y + source.y_offset;
}

// The first pixel whose colour is not a colour of the built-in palettes; when
// every colour is one (a reading refused for another reason), the first pixel.
void name_first_unknown_colour(const ColourImage& source, const DistinctColours& distinct, ColourReading& reading) {
    int entry = 0;
    for (int d = 0; d < distinct.count; ++d) {
        if (find_known_colour(distinct.colours[d]) == nullptr) {
            entry = d;
            break;
        }
    }
    reading.unknown_is_index = false;
    reading.unknown_colour = distinct.count > 0 ? distinct.colours[entry] : source.colours[0] & 0xFFFFFFu;
    name_pixel(source, distinct.count > 0 ? distinct.first_pixel[entry] : 0, reading);
}

void put_palette_colours(PixelImage& image, int palette) {
    image.palette.fill(0);
    for (int c = 0; c < C64_COLOUR_COUNT; ++c) {
        std::copy(c64_palettes[palette][c].begin(), c64_palettes[palette][c].end(), image.palette.begin() + 3 * c);
    }
}

void translate_pixels(const NumberTable& numbers, PixelImage& image) {
    for (auto& pixel : image.pixels) pixel = numbers[pixel];
}

// Reading by index: the file's own colour of each used index 0 to 15, the
// default palette's for the others.
ErrorCode read_by_indices(const ColourImage& source, PixelImage& image, ColourReading& reading) {
    for (int i = 0; i < IMAGE_PIXELS; ++i) {
        if (source.indices[i] >= C64_COLOUR_COUNT) {
            reading.unknown_is_index = true;
            reading.unknown_index = source.indices[i];
            name_pixel(source, i, reading);
            return ERR_UNKNOWN_COLOURS;
        }
    }
    put_palette_colours(image, DEFAULT_PALETTE);
    std::array<bool, C64_COLOUR_COUNT> seen{};
    for (int i = 0; i < IMAGE_PIXELS; ++i) {
        const std::uint8_t index = source.indices[i];
        image.pixels[i] = index;
        if (!seen[index]) {
            seen[index] = true;
            const std::uint32_t colour = source.colours[i];
            image.palette[3 * index] = static_cast<std::uint8_t>(colour >> 16);
            image.palette[3 * index + 1] = static_cast<std::uint8_t>(colour >> 8);
            image.palette[3 * index + 2] = static_cast<std::uint8_t>(colour);
        }
    }
    reading.kind = ColourReadingKind::indices;
    reading.palette = -1;
    return ERR_SUCCESS;
}

}  // namespace

ErrorCode identify_colours(const ColourImage& source, PixelImage& image, ColourReading& reading) {
    reading = ColourReading{};
    reading.palette = -1;
    try {
        auto distinct = std::make_unique<DistinctColours>();
        auto numbers = std::make_unique<NumberTable>();
        numbers->fill(NO_NUMBER);
        count_distinct_colours(source, *distinct, image);
        int palette = -1;
        if (read_exactly(*distinct, *numbers, palette)) {
            reading.kind = ColourReadingKind::exact;
        } else if (read_approximately(*distinct, *numbers, palette)) {
            reading.kind = ColourReadingKind::approximate;
            reading.approximated_colours = 0;
            for (int d = 0; d < distinct->count; ++d) {
                if (palette_colour(palette, (*numbers)[d]) != distinct->colours[d]) ++reading.approximated_colours;
            }
        } else if (source.has_indices) {
            return read_by_indices(source, image, reading);
        } else {
            name_first_unknown_colour(source, *distinct, reading);
            return ERR_UNKNOWN_COLOURS;
        }
        reading.palette = palette;
        translate_pixels(*numbers, image);
        put_palette_colours(image, palette >= 0 ? palette : DEFAULT_PALETTE);
        return ERR_SUCCESS;
    } catch (const std::bad_alloc&) {
        return ERR_ALLOCATION;
    }
}

namespace {

bool read_approximately(const DistinctColours&, NumberTable&, int&) {
    return false;
}

}  // namespace

std::string describe_colour_reading(const ColourReading& reading) {
    char line[96];
    switch (reading.kind) {
    case ColourReadingKind::exact:
        if (reading.palette >= 0) {
            std::snprintf(line, sizeof line, "colours read exactly (palette %d)\n", reading.palette);
        } else {
            std::snprintf(line, sizeof line, "colours read exactly (several palettes)\n");
        }
        break;
    case ColourReadingKind::approximate:
        std::snprintf(line, sizeof line, "colours read approximately: %d colour%s matched to palette %d\n",
                      reading.approximated_colours, reading.approximated_colours == 1 ? "" : "s", reading.palette);
        break;
    case ColourReadingKind::indices:
    default:
        std::snprintf(line, sizeof line, "colours read by palette index\n");
        break;
    }
    return line;
}

std::string describe_unknown_colour(const ColourReading& reading) {
    char line[96];
    if (reading.unknown_is_index) {
        std::snprintf(line, sizeof line, "palette index %d above 15 at x %d, y %d\n", reading.unknown_index,
                      reading.unknown_x, reading.unknown_y);
    } else {
        std::snprintf(line, sizeof line, "unknown colour #%06X at x %d, y %d\n",
                      static_cast<unsigned>(reading.unknown_colour & 0xFFFFFFu), reading.unknown_x,
                      reading.unknown_y);
    }
    return line;
}
