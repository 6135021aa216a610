#include "desktop/colour_identification.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <numbers>
#include <utility>

#include "c64/pixel.h"

namespace {

// More distinct colours than this cannot be read by colour: a palette holds
// fewer, and an approximate reading takes at most 16.
constexpr int MAX_DISTINCT_COLOURS = 256;
constexpr int COLOUR_TABLE_SLOTS = 2 * MAX_DISTINCT_COLOURS;  // open addressing, at most half full
constexpr std::uint32_t SLOT_EMPTY = 0xFFFFFFFFu;
constexpr std::uint8_t NO_NUMBER = 0xFF;
constexpr int PALETTES = LIBRARY_PALETTE_COUNT;
constexpr std::uint32_t ALL_PALETTES = PALETTES == 32 ? 0xFFFFFFFFu : (1u << PALETTES) - 1;
static_assert(PALETTES <= 32, "a palette set is one bit a palette");

std::uint32_t palette_colour(int palette, int number) {
    return library_colour(palette, number);
}

// Every colour of every library palette with its number there, sorted by
// colour (then palette) for a binary search. One colour may have different
// numbers in different palettes.
struct KnownColour {
    std::uint32_t colour;
    std::uint8_t palette;
    std::uint8_t number;
};

using KnownColours = std::array<KnownColour, PALETTES * C64_COLOUR_COUNT>;

KnownColours collect_known_colours() {
    KnownColours all{};
    for (int p = 0; p < PALETTES; ++p) {
        for (int c = 0; c < C64_COLOUR_COUNT; ++c) {
            all[p * C64_COLOUR_COUNT + c] = {palette_colour(p, c), static_cast<std::uint8_t>(p),
                                             static_cast<std::uint8_t>(c)};
        }
    }
    std::sort(all.begin(), all.end(), [](const KnownColour& a, const KnownColour& b) {
        return a.colour != b.colour ? a.colour < b.colour : a.palette < b.palette;
    });
    return all;
}

// What the library says about one colour.
struct ColourFacts {
    std::uint32_t palettes;  // bit p: palette p holds the colour
    std::uint32_t twice;     // bit p: palette p holds it under two numbers
    std::uint8_t number;     // its number in the default palette, else in the lowest holding it; NO_NUMBER
};

const KnownColour* first_known_entry(std::uint32_t colour, const KnownColour*& end) {
    static const KnownColours known = collect_known_colours();
    end = known.data() + known.size();
    return std::lower_bound(known.data(), end, colour,
                            [](const KnownColour& entry, std::uint32_t c) { return entry.colour < c; });
}

ColourFacts facts_of_colour(std::uint32_t colour) {
    const KnownColour* end = nullptr;
    ColourFacts facts{0, 0, NO_NUMBER};
    for (const KnownColour* entry = first_known_entry(colour, end); entry != end && entry->colour == colour;
         ++entry) {
        const std::uint32_t bit = 1u << entry->palette;
        if (facts.palettes & bit) facts.twice |= bit;
        facts.palettes |= bit;
        if (facts.number == NO_NUMBER || entry->palette == DEFAULT_PALETTE) facts.number = entry->number;
    }
    return facts;
}

bool is_known_colour(std::uint32_t colour) {
    return facts_of_colour(colour).palettes != 0;
}

// The colour's number in a palette that holds it once.
std::uint8_t number_in_palette(std::uint32_t colour, int palette) {
    const KnownColour* end = nullptr;
    for (const KnownColour* entry = first_known_entry(colour, end); entry != end && entry->colour == colour;
         ++entry) {
        if (entry->palette == palette) return entry->number;
    }
    return NO_NUMBER;
}

// The distinct colours of an image in order of first appearance, each with
// a guess at its number (right whenever the palette the picture is read in
// numbers it as the default palette, or the lowest holding it, does) so that
// the common exact reading needs no second pass.
struct DistinctColours {
    std::array<std::uint32_t, COLOUR_TABLE_SLOTS> slot_colour;
    std::array<std::uint8_t, COLOUR_TABLE_SLOTS> slot_entry;
    std::array<std::uint8_t, COLOUR_TABLE_SLOTS> slot_number;  // the guess; NO_NUMBER for an unknown colour
    std::array<std::uint32_t, MAX_DISTINCT_COLOURS> colours;
    std::array<std::uint8_t, MAX_DISTINCT_COLOURS> guessed_number;
    std::array<int, MAX_DISTINCT_COLOURS> first_pixel;
    int count;
    bool overflow;                 // more than MAX_DISTINCT_COLOURS; the lists hold the first ones
    bool all_known;                // every colour is a colour of some library palette
    std::uint32_t common_palettes; // bit p: palette p holds every colour
    std::uint32_t twice_palettes;  // bit p: palette p holds some colour under two numbers
};

std::uint32_t colour_hash(std::uint32_t colour) {
    return (colour * 2654435761u) >> 23;  // 9 bits: 0 to 511
}
static_assert(COLOUR_TABLE_SLOTS == 512);

std::uint32_t slot_of(const DistinctColours& distinct, std::uint32_t colour) {
    std::uint32_t slot = colour_hash(colour);
    while (distinct.slot_colour[slot] != SLOT_EMPTY && distinct.slot_colour[slot] != colour) {
        slot = (slot + 1) % COLOUR_TABLE_SLOTS;
    }
    return slot;
}

void add_distinct_colour(DistinctColours& distinct, std::uint32_t slot, std::uint32_t colour, int pixel) {
    const ColourFacts facts = facts_of_colour(colour);
    distinct.slot_colour[slot] = colour;
    distinct.slot_entry[slot] = static_cast<std::uint8_t>(distinct.count);
    distinct.slot_number[slot] = facts.number;
    distinct.colours[distinct.count] = colour;
    distinct.guessed_number[distinct.count] = facts.number;
    distinct.first_pixel[distinct.count] = pixel;
    ++distinct.count;
    distinct.common_palettes &= facts.palettes;
    distinct.twice_palettes |= facts.twice;
    distinct.all_known = distinct.all_known && facts.palettes != 0;
}

void start_distinct_colours(DistinctColours& distinct) {
    distinct.slot_colour.fill(SLOT_EMPTY);
    distinct.count = 0;
    distinct.overflow = false;
    distinct.all_known = true;
    distinct.common_palettes = ALL_PALETTES;
    distinct.twice_palettes = 0;
}

// Lists the distinct colours and leaves in each pixel of the image the number
// of its colour, so that an exact reading needs no second pass. Consecutive
// equal pixels are the common case, so the previous pixel's colour is tried
// first.
void count_distinct_colours(const ColourImage& source, DistinctColours& distinct, PixelImage& image) {
    start_distinct_colours(distinct);
    std::uint32_t previous_colour = SLOT_EMPTY;
    std::uint8_t previous_number = 0;
    for (int i = 0; i < IMAGE_PIXELS; ++i) {
        const std::uint32_t colour = source.colours[i] & 0xFFFFFFu;
        if (colour != previous_colour) {
            const std::uint32_t slot = slot_of(distinct, colour);
            if (distinct.slot_colour[slot] == SLOT_EMPTY) {
                if (distinct.count == MAX_DISTINCT_COLOURS) {
                    distinct.overflow = true;
                    distinct.all_known = false;
                    return;
                }
                add_distinct_colour(distinct, slot, colour, i);
            }
            previous_colour = colour;
            previous_number = distinct.slot_number[slot];
        }
        image.pixels[i] = previous_number;
    }
}

using NumberTable = std::array<std::uint8_t, MAX_DISTINCT_COLOURS>;

// For a reading other than the exact one: each pixel's number, through its
// entry in the list of distinct colours.
void put_colour_numbers(const ColourImage& source, const DistinctColours& distinct, const NumberTable& numbers,
                        PixelImage& image) {
    std::uint32_t previous_colour = SLOT_EMPTY;
    std::uint8_t previous_number = 0;
    for (int i = 0; i < IMAGE_PIXELS; ++i) {
        const std::uint32_t colour = source.colours[i] & 0xFFFFFFu;
        if (colour != previous_colour) {
            previous_colour = colour;
            previous_number = numbers[distinct.slot_entry[slot_of(distinct, colour)]];
        }
        image.pixels[i] = previous_number;
    }
}

// How a palette-based image uses its palette: the indices its pixels use,
// and for each its entry in the list of distinct colours and its number.
// Unused indices keep their own number.
struct PaletteUse {
    std::array<bool, 256> used;
    std::array<std::uint8_t, 256> entry;
    std::array<std::uint8_t, 256> number;
};

// The palette indices the picture's pixels use. Marking a flag a pixel, with
// no test, is the cheapest pass over all of them.
std::array<bool, 256> used_indices(const ColourImage& source) {
    std::array<bool, 256> used{};
#pragma GCC unroll 8
    for (const std::uint8_t index : source.indices) {
        used[index] = true;
    }
    return used;
}

// Lists the distinct colours of a palette-based image from the palette entries
// it uses, in the order of their first pixels, as count_distinct_colours would
// from its pixels, and notes each used index's entry and number.
void list_palette_colours(const ColourImage& source, DistinctColours& distinct, PaletteUse& use) {
    use.used = used_indices(source);
    for (int index = 0; index < 256; ++index) {
        use.entry[index] = 0;
        use.number[index] = static_cast<std::uint8_t>(index);
    }
    start_distinct_colours(distinct);
    std::array<std::pair<int, std::uint8_t>, 256> first_pixels;  // (first pixel, index)
    int used_count = 0;
    for (int index = 0; index < 256; ++index) {
        if (use.used[index]) {
            const auto* first = static_cast<const std::uint8_t*>(
                std::memchr(source.indices.data(), index, source.indices.size()));
            first_pixels[used_count++] = {static_cast<int>(first - source.indices.data()),
                                          static_cast<std::uint8_t>(index)};
        }
    }
    std::sort(first_pixels.begin(), first_pixels.begin() + used_count);
    for (int at = 0; at < used_count; ++at) {
        const auto [pixel, index] = first_pixels[at];
        const std::uint32_t colour = source.palette[index] & 0xFFFFFFu;
        const std::uint32_t slot = slot_of(distinct, colour);
        if (distinct.slot_colour[slot] == SLOT_EMPTY) {
            add_distinct_colour(distinct, slot, colour, pixel);
        }
        use.entry[index] = distinct.slot_entry[slot];
        use.number[index] = distinct.slot_number[slot];
    }
}

// Each pixel's number from its index. Unused indices keep their own number,
// so that the suite's own files, which number their indices as the C64 does,
// are copied whole.
void put_index_numbers(const ColourImage& source, const PaletteUse& use, PixelImage& image) {
    bool same = true;
    for (int index = 0; index < 256; ++index) {
        same = same && use.number[index] == index;
    }
    if (same) {
        std::memcpy(image.pixels.data(), source.indices.data(), IMAGE_PIXELS);
        return;
    }
    for (int i = 0; i < IMAGE_PIXELS; ++i) {
        image.pixels[i] = use.number[source.indices[i]];
    }
}

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

// Approximate reading and the doubt on exact readings of greys; their rules
// are given where they are defined, below.
bool read_approximately(const DistinctColours& distinct, NumberTable& numbers, int& palette, Doubt& doubt);
bool exact_greys_in_doubt(const DistinctColours& distinct, const NumberTable& numbers, int palette, Doubt& doubt);

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

// Puts in every pixel the number of its distinct colour.
void put_numbers(const ColourImage& source, const DistinctColours& distinct, const NumberTable& numbers,
                 PaletteUse& use, PixelImage& image) {
    if (source.has_indices) {
        for (int index = 0; index < 256; ++index) {
            if (use.used[index]) use.number[index] = numbers[use.entry[index]];
        }
        put_index_numbers(source, use, image);
    } else {
        put_colour_numbers(source, distinct, numbers, image);
    }
}

// The colours a reading did not find exactly in its palette.
int count_approximated(const DistinctColours& distinct, const NumberTable& numbers, int palette) {
    int count = 0;
    for (int d = 0; d < distinct.count; ++d) {
        if (palette_colour(palette, numbers[d]) != distinct.colours[d]) ++count;
    }
    return count;
}

// Defined with the colour distances, below.
int palette_in_c64_order(const ColourImage& source);
bool read_in_given_palette(const DistinctColours& distinct, int count, int palette, NumberTable& numbers,
                           ColourReading& reading);

}  // namespace

namespace {

// How approximate colours are judged; the man page gives the same rule and
// the measurements that chose its bounds.
//
// Distances are CIELAB distances (sRGB, D65 white, the 1976 formula), a
// simple measure of how different two colours look; costs are sums of
// squared distances. An emulator's palette differs from a library palette
// mostly by one change of all its colours (lightness scaled and moved,
// chroma scaled and turned), so each palette is fitted the same way: the
// least-cost one-to-one pairing of the picture's colours (at most 16) with
// the palette's, then SHIFT_ROUNDS times the picture's colours shifted by
// the bounded least-squares change towards their partners and paired again.
// The reading is the numbering of the palette that fits best once shifted
// (never RGBI_PALETTE). It is accepted only when, with the bounds for the
// picture's number of colours (SMALL_COLOURS up to SMALL_PICTURE,
// FEW_COLOURS up to FEW_COLOURS_PICTURE, MORE_COLOURS beyond):
//   - every colour lies within shifted_bound of its partner once shifted,
//     and within plain_bound as it is;
//   - where same_before_shift, the palette's pairing before the shift was
//     the same;
//   - giving any one colour another partner (the others paired again, the
//     colours shifted again) costs more by at least least_rise, by
//     rise_by_mean times the mean cost a colour and, unless it only swaps
//     the picture's own partners, by rise_by_own times that colour's own
//     cost: the usual wrong reading is one colour moved to a nearby colour
//     the picture does not use;
//   - every palette whose shifted numbering differs fits worse once shifted
//     by palette_gap times the mean cost a colour, and every palette whose
//     plain pairing differs costs at least least_plain_gap more than the
//     cheapest plain pairing.
// Pictures of 2 to 4 colours fit some numbering of the 27 palettes by
// chance far more often, so their bounds are much tighter. Before all that,
// a picture of more than SMALL_PICTURE colours that lies within
// NEAR_EXACT_BOUND of one palette is read in it (below).
struct ApproximateBounds {
    double shifted_bound;
    double plain_bound;
    bool same_before_shift;
    double least_rise;
    double rise_by_own;
    double rise_by_mean;
    double palette_gap;
    double least_plain_gap;
};

constexpr int SMALL_PICTURE = 4;
constexpr int FEW_COLOURS_PICTURE = 6;
constexpr ApproximateBounds SMALL_COLOURS = {10.0, 20.0, true, 400.0, 4.0, 4.0, 50.0, 600.0};
constexpr ApproximateBounds FEW_COLOURS = {25.0, 45.0, false, 150.0, 0.5, 1.0, 30.0, 200.0};
constexpr double ANY_PLAIN_GAP = -std::numeric_limits<double>::infinity();
constexpr ApproximateBounds MORE_COLOURS = {30.0, 45.0, true, 150.0, 3.0, 1.2, 30.0, ANY_PLAIN_GAP};
// A picture whose colours all lie within NEAR_EXACT_BOUND of one palette's
// (a palette rounded differently, or a file's colours rounded) is read in
// that palette, as an exact one is, when no other palette holds them as
// near with other numbers.
constexpr double NEAR_EXACT_BOUND = 1.5;

constexpr double ALTERNATIVE_BOUND = 45.0;  // a plain pairing farther than this is no pairing
constexpr int SHIFT_ROUNDS = 3;
constexpr double SHIFT_LEAST_SCALE = 0.8;
constexpr double SHIFT_MOST_SCALE = 1.25;
constexpr double SHIFT_MOST_OFFSET = 20.0;
constexpr double SHIFT_LEAST_CHROMA = 0.6;
constexpr double SHIFT_MOST_CHROMA = 1.6;
constexpr double SHIFT_MOST_TURN = 20.0;  // degrees
// Palette 4 is the 16 colours of the PC's RGBI screen, which other programs
// also give the C64's numbers in another order (one emulator palette holds
// them, a few levels off, with orange, brown and the greys elsewhere): a
// picture near them is never read approximately in palette 4, though its
// numbering still counts as another reading that may refuse one.
constexpr int RGBI_PALETTE = 4;
constexpr double NO_PAIRING = 1e9;  // cost of a pair further apart than ALTERNATIVE_BOUND
// A picture of black, white and greys alone does not tell its palette, and
// emulators' palettes give one grey different numbers (9F9F9F is light grey
// in one and grey in another): an exact reading of greys is refused when
// another palette pairs them, at no more than GREYS_DOUBT_BOUND, with
// other numbers.
constexpr double GREYS_DOUBT_BOUND = 400.0;

using Lab = std::array<double, 3>;

double linear_channel(std::uint32_t value) {
    const double c = value / 255.0;
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

double lab_curve(double t) {
    return t > 0.008856 ? std::cbrt(t) : 7.787 * t + 16.0 / 116.0;
}

Lab lab_of(std::uint32_t colour) {
    const double r = linear_channel(colour >> 16 & 0xFF);
    const double g = linear_channel(colour >> 8 & 0xFF);
    const double b = linear_channel(colour & 0xFF);
    const double x = lab_curve((0.4124 * r + 0.3576 * g + 0.1805 * b) / 0.95047);
    const double y = lab_curve(0.2126 * r + 0.7152 * g + 0.0722 * b);
    const double z = lab_curve((0.0193 * r + 0.1192 * g + 0.9505 * b) / 1.08883);
    return {116.0 * y - 16.0, 500.0 * (x - y), 200.0 * (y - z)};
}

double squared_distance(const Lab& a, const Lab& b) {
    return (a[0] - b[0]) * (a[0] - b[0]) + (a[1] - b[1]) * (a[1] - b[1]) + (a[2] - b[2]) * (a[2] - b[2]);
}

using PaletteLabs = std::array<std::array<Lab, C64_COLOUR_COUNT>, PALETTES>;
using ImageLabs = std::array<Lab, C64_COLOUR_COUNT>;  // the image's distinct colours

const PaletteLabs& palette_labs() {
    static const PaletteLabs labs = [] {
        PaletteLabs all{};
        for (int p = 0; p < PALETTES; ++p) {
            for (int c = 0; c < C64_COLOUR_COUNT; ++c) all[p][c] = lab_of(palette_colour(p, c));
        }
        return all;
    }();
    return labs;
}

// Squared distances of up to 16 image colours (rows) to the 16 colours of one
// palette (columns).
struct CostMatrix {
    std::array<std::array<double, C64_COLOUR_COUNT>, C64_COLOUR_COUNT> cost;
    int rows;
};

struct Pairing {
    double cost;
    std::array<std::uint8_t, C64_COLOUR_COUNT> number;  // partner of each row
};

// Least-cost one-to-one pairing of the rows with distinct columns (the
// Hungarian method with potentials; rows <= columns).
Pairing least_cost_pairing(const CostMatrix& matrix) {
    constexpr int COLUMNS = C64_COLOUR_COUNT;
    std::array<double, C64_COLOUR_COUNT + 1> row_potential{};
    std::array<double, COLUMNS + 1> column_potential{};
    std::array<int, COLUMNS + 1> row_of_column{};  // 1-based row, 0 for none
    std::array<int, COLUMNS + 1> previous_column{};
    for (int row = 1; row <= matrix.rows; ++row) {
        row_of_column[0] = row;
        int column = 0;
        std::array<double, COLUMNS + 1> slack;
        slack.fill(std::numeric_limits<double>::infinity());
        std::array<bool, COLUMNS + 1> used{};
        do {
            used[column] = true;
            const int current_row = row_of_column[column];
            double delta = std::numeric_limits<double>::infinity();
            int next_column = 0;
            for (int j = 1; j <= COLUMNS; ++j) {
                if (used[j]) continue;
                const double reduced =
                    matrix.cost[current_row - 1][j - 1] - row_potential[current_row] - column_potential[j];
                if (reduced < slack[j]) {
                    slack[j] = reduced;
                    previous_column[j] = column;
                }
                if (slack[j] < delta) {
                    delta = slack[j];
                    next_column = j;
                }
            }
            for (int j = 0; j <= COLUMNS; ++j) {
                if (used[j]) {
                    row_potential[row_of_column[j]] += delta;
                    column_potential[j] -= delta;
                } else {
                    slack[j] -= delta;
                }
            }
            column = next_column;
        } while (row_of_column[column] != 0);
        do {
            const int previous = previous_column[column];
            row_of_column[column] = row_of_column[previous];
            column = previous;
        } while (column != 0);
    }
    Pairing pairing{};
    for (int j = 1; j <= COLUMNS; ++j) {
        if (row_of_column[j] != 0) {
            pairing.number[row_of_column[j] - 1] = static_cast<std::uint8_t>(j - 1);
            pairing.cost += matrix.cost[row_of_column[j] - 1][j - 1];
        }
    }
    return pairing;
}

bool same_numbering(const Pairing& a, const Pairing& b, int rows) {
    return std::equal(a.number.begin(), a.number.begin() + rows, b.number.begin());
}

// Whether two numberings pair the colours with the same palette colours.
bool same_partners(const Pairing& a, const Pairing& b, int rows) {
    std::uint32_t in_a = 0, in_b = 0;
    for (int d = 0; d < rows; ++d) {
        in_a |= 1u << a.number[d];
        in_b |= 1u << b.number[d];
    }
    return in_a == in_b;
}

// The first colour two numberings give different numbers.
int first_difference(const Pairing& a, const Pairing& b, int rows) {
    int d = 0;
    while (d < rows - 1 && a.number[d] == b.number[d]) ++d;
    return d;
}

// A global change of a palette's colours, the way emulators' palettes differ
// from one another: lightness scaled and moved, chroma scaled and turned
// (a complex factor on a* + i b*).
struct ColourShift {
    double lightness_scale;
    double lightness_offset;
    double chroma_re;
    double chroma_im;
};

Lab shifted(const Lab& colour, const ColourShift& shift) {
    return {shift.lightness_scale * colour[0] + shift.lightness_offset,
            shift.chroma_re * colour[1] - shift.chroma_im * colour[2],
            shift.chroma_im * colour[1] + shift.chroma_re * colour[2]};
}

// The least-squares shift taking the image's colours to their partners in a
// numbering, held within the SHIFT bounds so that it cannot bend one
// numbering into another.
ColourShift fit_shift(const ImageLabs& colours, const Pairing& pairing, int palette, int rows) {
    const auto& partners = palette_labs()[palette];
    double mean_x = 0.0;
    double mean_y = 0.0;
    for (int d = 0; d < rows; ++d) {
        mean_x += colours[d][0];
        mean_y += partners[pairing.number[d]][0];
    }
    mean_x /= rows;
    mean_y /= rows;
    double covariance = 0.0, variance = 0.0, cross_re = 0.0, cross_im = 0.0, chroma = 0.0;
    for (int d = 0; d < rows; ++d) {
        const Lab& x = colours[d];
        const Lab& y = partners[pairing.number[d]];
        covariance += (x[0] - mean_x) * (y[0] - mean_y);
        variance += (x[0] - mean_x) * (x[0] - mean_x);
        cross_re += x[1] * y[1] + x[2] * y[2];
        cross_im += x[1] * y[2] - x[2] * y[1];
        chroma += x[1] * x[1] + x[2] * x[2];
    }
    ColourShift shift{1.0, 0.0, 1.0, 0.0};
    if (variance > 1.0) {
        shift.lightness_scale = std::clamp(covariance / variance, SHIFT_LEAST_SCALE, SHIFT_MOST_SCALE);
    }
    shift.lightness_offset =
        std::clamp(mean_y - shift.lightness_scale * mean_x, -SHIFT_MOST_OFFSET, SHIFT_MOST_OFFSET);
    if (chroma > 1.0) {
        const double scale = std::clamp(std::hypot(cross_re, cross_im) / chroma, SHIFT_LEAST_CHROMA, SHIFT_MOST_CHROMA);
        const double most_turn = SHIFT_MOST_TURN * std::numbers::pi / 180.0;
        const double turn = std::clamp(std::atan2(cross_im, cross_re), -most_turn, most_turn);
        shift.chroma_re = scale * std::cos(turn);
        shift.chroma_im = scale * std::sin(turn);
    }
    return shift;
}

// The squared distances of the image's colours, shifted, to a palette's.
void fill_shifted_costs(const ImageLabs& colours, const ColourShift& shift, int palette, int rows,
                        CostMatrix& matrix) {
    const auto& labs = palette_labs()[palette];
    matrix.rows = rows;
    for (int d = 0; d < rows; ++d) {
        const Lab moved = shifted(colours[d], shift);
        for (int c = 0; c < C64_COLOUR_COUNT; ++c) matrix.cost[d][c] = squared_distance(moved, labs[c]);
    }
}

// The cost of a numbering once the image's colours are shifted to fit it.
double cost_after_shift(const ImageLabs& colours, const Pairing& pairing, int palette, int rows) {
    const auto& partners = palette_labs()[palette];
    const ColourShift shift = fit_shift(colours, pairing, palette, rows);
    double cost = 0.0;
    for (int d = 0; d < rows; ++d) cost += squared_distance(shifted(colours[d], shift), partners[pairing.number[d]]);
    return cost;
}

// How one palette fits the picture.
struct PaletteFit {
    Pairing plain;       // least-cost pairing of the colours as they are
    Pairing numbering;   // after the shift rounds; its cost is the cost once shifted
    // The best palette's only: the least rise in cost over every other
    // numbering that gives one colour another partner, short of what the
    // bounds ask of that colour.
    double least_rise_shortfall;
    int doubtful_entry;  // that colour, and its partner in that numbering
    int doubtful_number;
};

// The work of one approximate reading, allocated once.
struct ApproximateWork {
    std::array<CostMatrix, PALETTES> plain;  // as the colours are, NO_PAIRING beyond ALTERNATIVE_BOUND
    CostMatrix shifted;
    CostMatrix constrained;
    std::array<PaletteFit, PALETTES> fits;
};

void build_cost_matrices(const DistinctColours& distinct, ImageLabs& colours, ApproximateWork& work) {
    const PaletteLabs& labs = palette_labs();
    constexpr double far = ALTERNATIVE_BOUND * ALTERNATIVE_BOUND;
    for (int d = 0; d < distinct.count; ++d) {
        colours[d] = lab_of(distinct.colours[d]);
        for (int p = 0; p < PALETTES; ++p) {
            for (int c = 0; c < C64_COLOUR_COUNT; ++c) {
                const double cost = squared_distance(colours[d], labs[p][c]);
                work.plain[p].cost[d][c] = cost <= far ? cost : NO_PAIRING;
            }
        }
    }
    for (auto& matrix : work.plain) matrix.rows = distinct.count;
}

const ApproximateBounds& bounds_for(int rows) {
    return rows <= SMALL_PICTURE ? SMALL_COLOURS : rows <= FEW_COLOURS_PICTURE ? FEW_COLOURS : MORE_COLOURS;
}

// Each numbering that gives one colour another partner, the others paired
// again with the same shift and then the colours shifted again to fit it:
// how much more it costs than the fit's own, against what the bounds ask.
void judge_one_colour_changes(const ImageLabs& colours, int palette, const ApproximateBounds& bounds,
                              ApproximateWork& work, PaletteFit& fit) {
    const int rows = work.shifted.rows;
    const double mean = fit.numbering.cost / rows;
    fit.least_rise_shortfall = std::numeric_limits<double>::infinity();
    for (int d = 0; d < rows; ++d) {
        work.constrained = work.shifted;
        work.constrained.cost[d][fit.numbering.number[d]] = NO_PAIRING;
        const Pairing other = least_cost_pairing(work.constrained);
        const double rise =
            std::min(other.cost, cost_after_shift(colours, other, palette, rows)) - fit.numbering.cost;
        const double own = work.shifted.cost[d][fit.numbering.number[d]];
        // A swap among the picture's own partners moves two colours, not one.
        const double by_own = same_partners(other, fit.numbering, rows) ? 0.0 : bounds.rise_by_own * std::max(1.0, own);
        const double asked =
            std::max({bounds.least_rise, by_own, bounds.rise_by_mean * std::max(1.0, mean)});
        if (rise - asked < fit.least_rise_shortfall) {
            fit.least_rise_shortfall = rise - asked;
            fit.doubtful_entry = d;
            fit.doubtful_number = other.number[d];
        }
    }
}

// Fits one palette: pairs, then shifts and pairs again SHIFT_ROUNDS times.
// False when some colour has no partner within ALTERNATIVE_BOUND.
bool fit_palette(const ImageLabs& colours, int palette, ApproximateWork& work, PaletteFit& fit) {
    const int rows = work.plain[palette].rows;
    fit.plain = least_cost_pairing(work.plain[palette]);
    if (fit.plain.cost >= NO_PAIRING) return false;
    Pairing numbering = fit.plain;
    for (int round = 0; round <= SHIFT_ROUNDS; ++round) {
        fill_shifted_costs(colours, fit_shift(colours, numbering, palette, rows), palette, rows, work.shifted);
        if (round < SHIFT_ROUNDS) numbering = least_cost_pairing(work.shifted);
    }
    fit.numbering = numbering;
    fit.numbering.cost = 0.0;
    for (int d = 0; d < rows; ++d) fit.numbering.cost += work.shifted.cost[d][numbering.number[d]];
    return true;
}

Doubt doubt_between(const Pairing& reading, int palette, const Pairing& other, int other_palette, int rows) {
    const int d = first_difference(reading, other, rows);
    return {UnknownReason::not_clear, d, palette, reading.number[d], other_palette, other.number[d], 0.0};
}

// Every colour of the reading lies within the bounds of its partner, as it
// is and once shifted; else the first that does not.
bool colours_lie_near(const ImageLabs& colours, int best, int rows, const ApproximateBounds& bounds,
                      const ApproximateWork& work, Doubt& doubt) {
    const PaletteFit& reading = work.fits[best];
    const auto& partners = palette_labs()[best];
    for (int d = 0; d < rows; ++d) {
        const int number = reading.numbering.number[d];
        const double plain = squared_distance(colours[d], partners[number]);
        if (plain > bounds.plain_bound * bounds.plain_bound ||
            work.shifted.cost[d][number] > bounds.shifted_bound * bounds.shifted_bound) {
            doubt = {UnknownReason::far_from_library, d, best, number, -1, -1, std::sqrt(plain)};
            return false;
        }
    }
    return true;
}

// The palettes' fits say the reading is clear, or why it is not.
bool judge_reading(const ImageLabs& colours, int best, int rows, const ApproximateBounds& bounds,
                   const ApproximateWork& work, Doubt& doubt) {
    if (!colours_lie_near(colours, best, rows, bounds, work, doubt)) return false;
    const PaletteFit& reading = work.fits[best];
    const double mean = reading.numbering.cost / rows;
    if (bounds.same_before_shift && !same_numbering(reading.plain, reading.numbering, rows)) {
        doubt = doubt_between(reading.numbering, best, reading.plain, best, rows);
        return false;
    }
    if (reading.least_rise_shortfall < 0.0) {
        const int d = reading.doubtful_entry;
        doubt = {UnknownReason::not_clear, d, best, reading.numbering.number[d], best, reading.doubtful_number, 0.0};
        return false;
    }
    double cheapest_plain = NO_PAIRING;
    for (int p = 0; p < PALETTES; ++p) {
        if (p != RGBI_PALETTE) cheapest_plain = std::min(cheapest_plain, work.fits[p].plain.cost);
    }
    for (int p = 0; p < PALETTES; ++p) {
        const PaletteFit& other = work.fits[p];
        if (other.plain.cost >= NO_PAIRING) continue;
        if (!same_numbering(other.numbering, reading.numbering, rows) &&
            other.numbering.cost - reading.numbering.cost < bounds.palette_gap * mean) {
            doubt = doubt_between(reading.numbering, best, other.numbering, p, rows);
            return false;
        }
        if (!same_numbering(other.plain, reading.numbering, rows) &&
            other.plain.cost - cheapest_plain < bounds.least_plain_gap) {
            doubt = doubt_between(reading.numbering, best, other.plain, p, rows);
            return false;
        }
    }
    return true;
}

// Whether every colour lies within NEAR_EXACT_BOUND of its partner as it is.
bool nearly_exact(const Pairing& pairing, const CostMatrix& plain, int rows) {
    for (int d = 0; d < rows; ++d) {
        if (plain.cost[d][pairing.number[d]] > NEAR_EXACT_BOUND * NEAR_EXACT_BOUND) return false;
    }
    return true;
}

bool read_nearly_exactly(int rows, const ApproximateWork& work, NumberTable& numbers, int& palette) {
    int found = -1;
    for (int p = 0; p < PALETTES; ++p) {
        const PaletteFit& fit = work.fits[p];
        if (fit.plain.cost >= NO_PAIRING || !nearly_exact(fit.plain, work.plain[p], rows)) continue;
        if (found >= 0 && !same_numbering(fit.plain, work.fits[found].plain, rows)) return false;
        if (found < 0 || (found == RGBI_PALETTE && p != RGBI_PALETTE)) found = p;
    }
    if (found < 0 || found == RGBI_PALETTE) return false;
    for (int d = 0; d < rows; ++d) numbers[d] = work.fits[found].plain.number[d];
    palette = found;
    return true;
}

bool read_approximately(const DistinctColours& distinct, NumberTable& numbers, int& palette, Doubt& doubt) {
    doubt = {UnknownReason::colour, 0, -1, -1, -1, -1, 0.0};
    if (distinct.overflow || distinct.count == 0 || distinct.count > C64_COLOUR_COUNT) return false;
    const int rows = distinct.count;
    const ApproximateBounds& bounds = bounds_for(rows);
    auto work = std::make_unique<ApproximateWork>();
    ImageLabs colours;
    build_cost_matrices(distinct, colours, *work);
    int best = -1;
    for (int p = 0; p < PALETTES; ++p) {
        PaletteFit& fit = work->fits[p];
        if (!fit_palette(colours, p, *work, fit)) {
            fit.plain.cost = NO_PAIRING;
            continue;
        }
        if (p != RGBI_PALETTE && (best < 0 || fit.numbering.cost < work->fits[best].numbering.cost)) best = p;
    }
    if (best < 0) return false;
    if (rows > SMALL_PICTURE && read_nearly_exactly(rows, *work, numbers, palette)) return true;
    // The best palette's costs once shifted, for the bounds of each colour.
    const PaletteFit& reading = work->fits[best];
    fill_shifted_costs(colours, fit_shift(colours, reading.numbering, best, rows), best, rows, work->shifted);
    judge_one_colour_changes(colours, best, bounds, *work, work->fits[best]);
    if (!judge_reading(colours, best, rows, bounds, *work, doubt)) return false;
    for (int d = 0; d < rows; ++d) numbers[d] = reading.numbering.number[d];
    palette = best;
    return true;
}

// Whether every colour is a grey (black and white included).
bool only_greys(const DistinctColours& distinct) {
    for (int d = 0; d < distinct.count; ++d) {
        const std::uint32_t c = distinct.colours[d];
        if ((c >> 16 & 0xFF) != (c >> 8 & 0xFF) || (c >> 8 & 0xFF) != (c & 0xFF)) return false;
    }
    return true;
}

// An exact reading of greys alone, doubted when a palette that does not hold
// them all pairs them with other numbers at no more than GREYS_DOUBT_BOUND.
bool exact_greys_in_doubt(const DistinctColours& distinct, const NumberTable& numbers, int palette, Doubt& doubt) {
    if (!only_greys(distinct)) return false;
    const int rows = distinct.count;
    auto work = std::make_unique<ApproximateWork>();
    ImageLabs colours;
    build_cost_matrices(distinct, colours, *work);
    Pairing exact{};
    for (int d = 0; d < rows; ++d) exact.number[d] = numbers[d];
    for (int p = 0; p < PALETTES; ++p) {
        if (distinct.common_palettes >> p & 1) continue;
        const Pairing other = least_cost_pairing(work->plain[p]);
        if (other.cost <= GREYS_DOUBT_BOUND && !same_numbering(other, exact, rows)) {
            doubt = doubt_between(exact, palette, other, p, rows);
            doubt.reason = UnknownReason::greys_only;
            return true;
        }
    }
    return false;
}

}  // namespace

namespace {

// "palette 16, vice" on a line of its own, "palette 16 (vice)" within a
// sentence; the built-in palettes have a number only.
enum class NameStyle { after_comma, in_brackets };

std::string palette_label(int palette, NameStyle style = NameStyle::after_comma) {
    std::string label = "palette " + std::to_string(palette);
    const std::string name = palette >= 0 ? library_palette_name(palette) : "";
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

namespace {

// The library palette whose colours entries 0 to 15 of the file's palette
// hold in C64 order: entry k nearer colour k of that palette than any other
// of its colours, and within GIVEN_PALETTE_BOUND of it; of several, the
// nearest in all. -1 when none does.
int palette_in_c64_order(const ColourImage& source) {
    const PaletteLabs& labs = palette_labs();
    std::array<Lab, C64_COLOUR_COUNT> entries;
    for (int k = 0; k < C64_COLOUR_COUNT; ++k) entries[k] = lab_of(source.palette[k] & 0xFFFFFFu);
    constexpr double bound = GIVEN_PALETTE_BOUND * GIVEN_PALETTE_BOUND;
    int found = -1;
    double found_sum = 0.0;
    for (int p = 0; p < PALETTES; ++p) {
        bool ordered = true;
        double sum = 0.0;
        for (int k = 0; k < C64_COLOUR_COUNT && ordered; ++k) {
            const double own = squared_distance(entries[k], labs[p][k]);
            ordered = own <= bound;
            sum += own;
            for (int c = 0; c < C64_COLOUR_COUNT && ordered; ++c) {
                ordered = c == k || own < squared_distance(entries[k], labs[p][c]);
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
        const Lab colour = lab_of(distinct.colours[d]);
        int nearest = 0;
        double least = squared_distance(colour, labs[palette][0]);
        for (int c = 1; c < C64_COLOUR_COUNT; ++c) {
            const double distance = squared_distance(colour, labs[palette][c]);
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
