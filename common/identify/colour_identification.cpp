#include "identify/colour_identification.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>

#include "c64/pixel.h"
#include "colour/colour_science.h"
#include "identify/distinct_colours.h"
#include "identify/library_colours.h"
#include "identify/palette_fit.h"

namespace {

// An exact reading goes by whole palettes: the palettes that hold every
// colour must agree on every colour's number (one RGB value is light grey in
// one emulator's palette and grey in another's), and none may hold a colour
// twice. Fills the numbers and returns the palette named (the default one
// when it holds every colour, else the lowest that does), or -1.
int read_exactly(const DistinctColours& distinct, NumberTable& numbers) {
    const std::uint32_t holders = distinct.common_palettes;
    if (!distinct.all_known || distinct.overflow || holders == 0 || (holders & distinct.twice_palettes) != 0) {
        return -1;
    }
    const int named = (holders & (1u << DEFAULT_PALETTE)) != 0 ? DEFAULT_PALETTE : std::countr_zero(holders);
    for (int d = 0; d < distinct.count; ++d) numbers[d] = number_in_palette(distinct.colours[d], named);
    for (std::uint32_t others = holders & ~(1u << named); others != 0; others &= others - 1) {
        const int p = std::countr_zero(others);
        for (int d = 0; d < distinct.count; ++d) {
            if (number_in_palette(distinct.colours[d], p) != numbers[d]) return -1;
        }
    }
    return named;
}

bool numbers_are_guessed(const DistinctColours& distinct, const NumberTable& numbers) {
    for (int d = 0; d < distinct.count; ++d) {
        if (numbers[d] != distinct.guessed_number[d]) return false;
    }
    return true;
}

void name_pixel(const ColourImage& source, int pixel, ColourReading& reading) {
    const int x = pixel % IMAGE_WIDTH;
    const int y = pixel / IMAGE_WIDTH;
    const int divisor = source.x_divisor > 0 ? source.x_divisor : 1;
    const int scale = source.scale > 0 ? source.scale : 1;
    reading.unknown_x = (x / divisor + source.x_offset) * scale;
    reading.unknown_y = (y + source.y_offset) * scale;
}

// The first pixel whose colour is not a colour of the library; when every
// colour is one (a reading refused for another reason), the first pixel.
void name_first_unknown_colour(const ColourImage& source, const DistinctColours& distinct, ColourReading& reading) {
    int entry = 0;
    for (int d = 0; d < distinct.count; ++d) {
        if (!is_known_colour(distinct.colours[d])) {
            entry = d;
            break;
        }
    }
    reading.unknown_reason = UnknownReason::colour;
    reading.unknown_is_index = false;
    reading.unknown_colour = distinct.count > 0 ? distinct.colours[entry] : colour_of_pixel(source, 0) & 0xFFFFFFu;
    name_pixel(source, distinct.count > 0 ? distinct.first_pixel[entry] : 0, reading);
}

void name_doubtful_colour(const ColourImage& source, const DistinctColours& distinct, const Doubt& doubt,
                          ColourReading& reading) {
    reading.unknown_reason = doubt.reason;
    reading.unknown_is_index = false;
    reading.unknown_colour = distinct.colours[doubt.entry];
    reading.palette = doubt.palette;
    reading.unknown_number = doubt.number;
    reading.other_palette = doubt.other_palette;
    reading.other_number = doubt.other_number;
    reading.unknown_distance = doubt.distance;
    name_pixel(source, distinct.first_pixel[doubt.entry], reading);
}

void put_rgb(PixelImage& image, int entry, std::uint32_t colour) {
    image.palette[3 * entry] = static_cast<std::uint8_t>(colour >> 16);
    image.palette[3 * entry + 1] = static_cast<std::uint8_t>(colour >> 8);
    image.palette[3 * entry + 2] = static_cast<std::uint8_t>(colour);
}

void put_palette_colours(PixelImage& image, int palette) {
    image.palette.fill(0);
    for (int c = 0; c < C64_COLOUR_COUNT; ++c) put_rgb(image, c, palette_colour(palette, c));
}

// Reading by index: the file's own colours of entries 0 to 15, which hold
// the colours of a library palette in C64 order.
ErrorCode read_by_indices(const ColourImage& source, const PaletteUse& use, int palette, PixelImage& image,
                          ColourReading& reading) {
    // The pixels are looked at only when an index above 15 is used.
    if (std::find(use.used.begin() + C64_COLOUR_COUNT, use.used.end(), true) != use.used.end()) {
        const auto* const above = std::find_if(source.indices.begin(), source.indices.end(),
                                               [](std::uint8_t index) { return index >= C64_COLOUR_COUNT; });
        reading.unknown_reason = UnknownReason::index_above_15;
        reading.unknown_is_index = true;
        reading.unknown_index = *above;
        name_pixel(source, static_cast<int>(above - source.indices.begin()), reading);
        return ERR_UNKNOWN_COLOURS;
    }
    image.palette.fill(0);
    for (int index = 0; index < C64_COLOUR_COUNT; ++index) put_rgb(image, index, source.palette[index]);
    std::memcpy(image.pixels.data(), source.indices.data(), IMAGE_PIXELS);
    reading.kind = ColourReadingKind::indices;
    reading.palette = palette;
    return ERR_SUCCESS;
}

// The colours a reading did not find exactly in its palette.
int count_approximated(const DistinctColours& distinct, const NumberTable& numbers, int palette) {
    int count = 0;
    for (int d = 0; d < distinct.count; ++d) {
        if (palette_colour(palette, numbers[d]) != distinct.colours[d]) ++count;
    }
    return count;
}

// The library palette whose colours entries 0 to 15 of the file's palette
// hold in C64 order: entry k nearer colour k of that palette than any other
// of its colours, and within GIVEN_PALETTE_BOUND of it; of several, the
// nearest in all. -1 when none does.
int palette_in_c64_order(const ColourImage& source) {
    const PaletteLabs& labs = palette_labs();
    std::array<LabColour, C64_COLOUR_COUNT> entries;
    for (int k = 0; k < C64_COLOUR_COUNT; ++k) entries[k] = lab_from_rgb(source.palette[k] & 0xFFFFFFu);
    constexpr double bound = GIVEN_PALETTE_BOUND * GIVEN_PALETTE_BOUND;
    int found = -1;
    double found_sum = 0.0;
    for (int p = 0; p < PALETTES; ++p) {
        bool ordered = true;
        double sum = 0.0;
        for (int k = 0; k < C64_COLOUR_COUNT && ordered; ++k) {
            const double own = squared_lab_distance(entries[k], labs[p][k]);
            ordered = own <= bound;
            sum += own;
            for (int c = 0; c < C64_COLOUR_COUNT && ordered; ++c) {
                ordered = c == k || own < squared_lab_distance(entries[k], labs[p][c]);
            }
        }
        if (ordered && (found < 0 || sum < found_sum)) {
            found = p;
            found_sum = sum;
        }
    }
    return found;
}

// Each of the first count colours as its nearest colour in the palette;
// refuses, naming the colour, one too far from it or two that share it.
bool read_in_given_palette(const DistinctColours& distinct, int count, int palette, NumberTable& numbers,
                           ColourReading& reading) {
    const PaletteLabs& labs = palette_labs();
    std::array<int, C64_COLOUR_COUNT> holder;
    holder.fill(-1);
    for (int d = 0; d < count; ++d) {
        const LabColour colour = lab_from_rgb(distinct.colours[d]);
        int nearest = 0;
        double least = squared_lab_distance(colour, labs[palette][0]);
        for (int c = 1; c < C64_COLOUR_COUNT; ++c) {
            const double distance = squared_lab_distance(colour, labs[palette][c]);
            if (distance < least) {
                least = distance;
                nearest = c;
            }
        }
        reading.unknown_colour = distinct.colours[d];
        reading.unknown_number = nearest;
        reading.unknown_distance = std::sqrt(least);
        reading.unknown_index = d;
        if (least > GIVEN_PALETTE_BOUND * GIVEN_PALETTE_BOUND) {
            reading.unknown_reason = UnknownReason::too_far;
            return false;
        }
        if (holder[nearest] >= 0) {
            reading.unknown_reason = UnknownReason::shared_number;
            reading.other_colour = distinct.colours[holder[nearest]];
            return false;
        }
        holder[nearest] = d;
        numbers[d] = static_cast<std::uint8_t>(nearest);
    }
    return true;
}

// A file's palette of 16 distinct colours (repeats aside) is a whole C64
// palette even when the picture uses a few of them and
// the entries are in another order, as pixel editors sort them: read the 16
// exactly or approximately, as a picture of all 16 would be, and give each
// of the picture's colours its number there.
bool read_through_file_palette(const ColourImage& source, const DistinctColours& distinct, NumberTable& numbers,
                               int& palette) {
    auto whole = std::make_unique<DistinctColours>();
    start_distinct_colours(*whole);
    const int entries = source.palette_entries > 0 ? std::min(source.palette_entries, 256) : 256;
    for (int index = 0; index < entries; ++index) {
        const std::uint32_t colour = source.palette[index] & 0xFFFFFFu;
        const std::uint32_t slot = slot_of(*whole, colour);
        if (whole->slot_colour[slot] != SLOT_EMPTY) continue;
        if (whole->count == C64_COLOUR_COUNT) return false;
        add_distinct_colour(*whole, slot, colour, 0);
    }
    if (whole->count != C64_COLOUR_COUNT) return false;
    NumberTable whole_numbers;
    Doubt unused;
    palette = read_exactly(*whole, whole_numbers);
    if (palette < 0 && !read_approximately(*whole, whole_numbers, palette, unused)) return false;
    for (int d = 0; d < distinct.count; ++d) {
        numbers[d] = whole_numbers[whole->slot_entry[slot_of(*whole, distinct.colours[d])]];
    }
    return true;
}

// The work of any reading, allocated once.
struct ReadingWork {
    DistinctColours distinct;
    NumberTable numbers;
    PaletteUse use;
};

std::unique_ptr<ReadingWork> list_colours(const ColourImage& source, PixelImage& image) {
    auto work = std::make_unique<ReadingWork>();
    work->numbers.fill(NO_NUMBER);
    if (source.has_indices) {
        list_palette_colours(source, work->distinct, work->use);
    } else {
        count_distinct_colours(source, work->distinct, image);
    }
    return work;
}

}  // namespace

// Per pixel for an image of colours (its numbers already in place for an
// exact reading in the usual numbering), per palette index for a
// palette-based one.
ErrorCode identify_colours(const ColourImage& source, PixelImage& image, ColourReading& reading) {
    reading = ColourReading{};
    reading.palette = -1;
    try {
        const auto work = list_colours(source, image);
        const DistinctColours& distinct = work->distinct;
        NumberTable& numbers = work->numbers;
        int palette = read_exactly(distinct, numbers);
        Doubt doubt{UnknownReason::colour, 0, -1, -1, -1, -1, 0.0};
        const bool greys_doubted = palette >= 0 && exact_greys_in_doubt(distinct, numbers, palette, doubt);
        if (greys_doubted) palette = -1;
        if (palette >= 0) {
            reading.kind = ColourReadingKind::exact;
            if (source.has_indices || !numbers_are_guessed(distinct, numbers)) {
                put_numbers(source, distinct, numbers, work->use, image);
            }
        } else if (source.has_indices && (palette = palette_in_c64_order(source)) >= 0) {
            return read_by_indices(source, work->use, palette, image, reading);
        } else if (source.has_indices && read_through_file_palette(source, distinct, numbers, palette)) {
            reading.kind = ColourReadingKind::file_palette;
            put_numbers(source, distinct, numbers, work->use, image);
        } else if (!greys_doubted && read_approximately(distinct, numbers, palette, doubt)) {
            reading.kind = ColourReadingKind::approximate;
            reading.approximated_colours = count_approximated(distinct, numbers, palette);
            put_numbers(source, distinct, numbers, work->use, image);
        } else {
            if (doubt.reason == UnknownReason::colour) {
                name_first_unknown_colour(source, distinct, reading);
            } else {
                name_doubtful_colour(source, distinct, doubt, reading);
            }
            return ERR_UNKNOWN_COLOURS;
        }
        reading.palette = palette;
        put_palette_colours(image, palette);
        return ERR_SUCCESS;
    } catch (const std::bad_alloc&) {
        return ERR_ALLOCATION;
    }
}

ErrorCode identify_colours_in_palette(const ColourImage& source, int palette, PixelImage& image,
                                      ColourReading& reading) {
    reading = ColourReading{};
    reading.palette = palette;
    if (palette < 0 || palette >= PALETTES) return ERR_INDEX_OUT_OF_TABLE;
    try {
        const auto work = list_colours(source, image);
        const DistinctColours& distinct = work->distinct;
        if (distinct.overflow || distinct.count > C64_COLOUR_COUNT) {
            // More colours than a palette has: two of the first 17 share a number.
            read_in_given_palette(distinct, C64_COLOUR_COUNT + 1, palette, work->numbers, reading);
        } else if (read_in_given_palette(distinct, distinct.count, palette, work->numbers, reading)) {
            reading.kind = ColourReadingKind::given_palette;
            reading.approximated_colours = count_approximated(distinct, work->numbers, palette);
            put_numbers(source, distinct, work->numbers, work->use, image);
            put_palette_colours(image, palette);
            return ERR_SUCCESS;
        }
        reading.unknown_is_index = false;
        name_pixel(source, distinct.first_pixel[reading.unknown_index], reading);
        return ERR_UNKNOWN_COLOURS;
    } catch (const std::bad_alloc&) {
        return ERR_ALLOCATION;
    }
}
