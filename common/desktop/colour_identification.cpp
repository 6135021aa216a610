#include "colour_identification.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <utility>

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

// All colours sorted, then each run of one colour merged into one entry.
KnownColours collect_known_colours() {
    std::array<KnownColour, PALETTE_COUNT * C64_COLOUR_COUNT> all{};
    for (int p = 0; p < PALETTE_COUNT; ++p) {
        for (int c = 0; c < C64_COLOUR_COUNT; ++c) {
            all[p * C64_COLOUR_COUNT + c] = {palette_colour(p, c), static_cast<std::uint8_t>(c),
                                             static_cast<std::uint16_t>(1u << p)};
        }
    }
    std::sort(all.begin(), all.end(), [](const KnownColour& a, const KnownColour& b) { return a.colour < b.colour; });
    KnownColours known{};
    for (const KnownColour& entry : all) {
        if (known.count > 0 && known.entries[known.count - 1].colour == entry.colour) {
            KnownColour& same = known.entries[known.count - 1];
            same.palettes = static_cast<std::uint16_t>(same.palettes | entry.palettes);
        } else {
            known.entries[known.count++] = entry;
        }
    }
    return known;
}

const KnownColour* find_known_colour(std::uint32_t colour) {
    static const KnownColours known = collect_known_colours();
    const auto* const end = known.entries.begin() + known.count;
    const auto* const found = std::lower_bound(
        known.entries.begin(), end, colour, [](const KnownColour& entry, std::uint32_t c) { return entry.colour < c; });
    return found != end && found->colour == colour ? found : nullptr;
}

// The distinct colours of an image in order of first appearance, each with
// its number when it is a colour of the built-in palettes.
struct DistinctColours {
    std::array<std::uint32_t, COLOUR_TABLE_SLOTS> slot_colour;
    std::array<std::uint8_t, COLOUR_TABLE_SLOTS> slot_entry;
    std::array<std::uint8_t, COLOUR_TABLE_SLOTS> slot_number;  // NO_NUMBER for an unknown colour
    std::array<std::uint32_t, MAX_DISTINCT_COLOURS> colours;
    std::array<int, MAX_DISTINCT_COLOURS> first_pixel;
    int count;
    bool overflow;                 // more than MAX_DISTINCT_COLOURS; the lists hold the first ones
    bool all_known;                // every colour is a colour of the built-in palettes
    std::uint32_t common_palettes; // bit p: palette p holds every colour
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
    const KnownColour* const known = find_known_colour(colour);
    distinct.slot_colour[slot] = colour;
    distinct.slot_entry[slot] = static_cast<std::uint8_t>(distinct.count);
    distinct.slot_number[slot] = known != nullptr ? known->number : NO_NUMBER;
    distinct.colours[distinct.count] = colour;
    distinct.first_pixel[distinct.count] = pixel;
    ++distinct.count;
    if (known != nullptr) {
        distinct.common_palettes &= known->palettes;
    } else {
        distinct.all_known = false;
    }
}

// Lists the distinct colours and leaves in each pixel of the image the number
// of its colour, so that an exact reading needs no second pass. Consecutive
// equal pixels are the common case, so the previous pixel's colour is tried
// first.
void count_distinct_colours(const ColourImage& source, DistinctColours& distinct, PixelImage& image) {
    distinct.slot_colour.fill(SLOT_EMPTY);
    distinct.count = 0;
    distinct.overflow = false;
    distinct.all_known = true;
    distinct.common_palettes = (1u << PALETTE_COUNT) - 1;
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
    distinct.slot_colour.fill(SLOT_EMPTY);
    distinct.count = 0;
    distinct.overflow = false;
    distinct.all_known = true;
    distinct.common_palettes = (1u << PALETTE_COUNT) - 1;
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

// The palette named by an exact reading: the default palette when it holds
// every colour, else the lowest that does, else -1 (several).
int exact_palette(const DistinctColours& distinct) {
    if (distinct.common_palettes == 0) return -1;
    if (distinct.common_palettes & (1u << DEFAULT_PALETTE)) return DEFAULT_PALETTE;
    return std::countr_zero(distinct.common_palettes);
}

// Approximate reading; its rule is given where it is defined, below.
bool read_approximately(const DistinctColours& distinct, NumberTable& numbers, int& palette);

void name_pixel(const ColourImage& source, int pixel, ColourReading& reading) {
    const int x = pixel % IMAGE_WIDTH;
    const int y = pixel / IMAGE_WIDTH;
    const int divisor = source.x_divisor > 0 ? source.x_divisor : 1;
    const int scale = source.scale > 0 ? source.scale : 1;
    reading.unknown_x = (x / divisor + source.x_offset) * scale;
    reading.unknown_y = (y + source.y_offset) * scale;
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
    reading.unknown_colour = distinct.count > 0 ? distinct.colours[entry] : colour_of_pixel(source, 0) & 0xFFFFFFu;
    name_pixel(source, distinct.count > 0 ? distinct.first_pixel[entry] : 0, reading);
}

void put_palette_colours(PixelImage& image, int palette) {
    image.palette.fill(0);
    for (int c = 0; c < C64_COLOUR_COUNT; ++c) {
        std::copy(c64_palettes[palette][c].begin(), c64_palettes[palette][c].end(), image.palette.begin() + 3 * c);
    }
}

// Reading by index: the file's own colour of each used index 0 to 15, the
// default palette's for the others.
ErrorCode read_by_indices(const ColourImage& source, const PaletteUse& use, PixelImage& image,
                          ColourReading& reading) {
    // The pixels are looked at only when an index above 15 is used.
    if (std::find(use.used.begin() + C64_COLOUR_COUNT, use.used.end(), true) != use.used.end()) {
        const auto* const above = std::find_if(source.indices.begin(), source.indices.end(),
                                               [](std::uint8_t index) { return index >= C64_COLOUR_COUNT; });
        reading.unknown_is_index = true;
        reading.unknown_index = *above;
        name_pixel(source, static_cast<int>(above - source.indices.begin()), reading);
        return ERR_UNKNOWN_COLOURS;
    }
    put_palette_colours(image, DEFAULT_PALETTE);
    std::memcpy(image.pixels.data(), source.indices.data(), IMAGE_PIXELS);
    for (int index = 0; index < C64_COLOUR_COUNT; ++index) {
        if (use.used[index]) {
            const std::uint32_t colour = source.palette[index];
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

// Per pixel for an image of colours (its numbers already in place for an
// exact reading), per palette index for a palette-based one.
ErrorCode identify_colours(const ColourImage& source, PixelImage& image, ColourReading& reading) {
    reading = ColourReading{};
    reading.palette = -1;
    try {
        auto distinct = std::make_unique<DistinctColours>();
        auto numbers = std::make_unique<NumberTable>();
        auto use = std::make_unique<PaletteUse>();
        numbers->fill(NO_NUMBER);
        if (source.has_indices) {
            list_palette_colours(source, *distinct, *use);
        } else {
            count_distinct_colours(source, *distinct, image);
        }
        if (distinct->all_known) {
            reading.kind = ColourReadingKind::exact;
            reading.palette = exact_palette(*distinct);
            if (source.has_indices) {
                put_index_numbers(source, *use, image);
            }
            put_palette_colours(image, reading.palette >= 0 ? reading.palette : DEFAULT_PALETTE);
            return ERR_SUCCESS;
        }
        int palette = -1;
        if (read_approximately(*distinct, *numbers, palette)) {
            reading.kind = ColourReadingKind::approximate;
            reading.approximated_colours = 0;
            for (int d = 0; d < distinct->count; ++d) {
                if (palette_colour(palette, (*numbers)[d]) != distinct->colours[d]) ++reading.approximated_colours;
            }
        } else if (source.has_indices) {
            return read_by_indices(source, *use, image, reading);
        } else {
            name_first_unknown_colour(source, *distinct, reading);
            return ERR_UNKNOWN_COLOURS;
        }
        reading.palette = palette;
        if (source.has_indices) {
            for (int index = 0; index < 256; ++index) {
                if (use->used[index]) use->number[index] = (*numbers)[use->entry[index]];
            }
            put_index_numbers(source, *use, image);
        } else {
            put_colour_numbers(source, *distinct, *numbers, image);
        }
        put_palette_colours(image, palette);
        return ERR_SUCCESS;
    } catch (const std::bad_alloc&) {
        return ERR_ALLOCATION;
    }
}

namespace {

// How approximate colours are judged; the man page gives the same rule.
//
// Distances are CIELAB distances (sRGB, D65 white, the 1976 formula), a
// simple measure of how different two colours look. For each built-in
// palette the image's distinct colours (at most 16) are paired one-to-one
// with the palette's 16 colours so that the sum of the squared distances is
// least; two image colours never share a C64 number. The pairing of least sum
// over all 13 palettes is the reading. It is accepted only when
//   - every image colour lies within MATCH_BOUND of its partner, and
//   - every other pairing, in any palette, that gives any image colour another
//     number and keeps all colours within ALTERNATIVE_BOUND of their partners,
//     has a sum larger by at least MARGIN.
// Squaring makes a pairing that swaps two colours (a lighter and a darker
// grey) cost far more than the right one, so a full palette is read, while an
// image of few colours that fits two palettes about as well with different
// numbers is refused.
constexpr double MATCH_BOUND = 30.0;
constexpr double ALTERNATIVE_BOUND = 45.0;
constexpr double MARGIN = 400.0;
constexpr double NO_PAIRING = 1e9;  // cost of a pair further apart than ALTERNATIVE_BOUND

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

using PaletteLabs = std::array<std::array<Lab, C64_COLOUR_COUNT>, PALETTE_COUNT>;

const PaletteLabs& palette_labs() {
    static const PaletteLabs labs = [] {
        PaletteLabs all{};
        for (int p = 0; p < PALETTE_COUNT; ++p) {
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

// The work of one approximate reading, allocated once.
struct ApproximateWork {
    std::array<CostMatrix, PALETTE_COUNT> matrices;
    std::array<Pairing, PALETTE_COUNT> best_of_palette;
    CostMatrix without_pair;
};

void build_cost_matrices(const DistinctColours& distinct, ApproximateWork& work) {
    const PaletteLabs& labs = palette_labs();
    constexpr double far = ALTERNATIVE_BOUND * ALTERNATIVE_BOUND;
    for (int d = 0; d < distinct.count; ++d) {
        const Lab colour = lab_of(distinct.colours[d]);
        for (int p = 0; p < PALETTE_COUNT; ++p) {
            for (int c = 0; c < C64_COLOUR_COUNT; ++c) {
                const double cost = squared_distance(colour, labs[p][c]);
                work.matrices[p].cost[d][c] = cost <= far ? cost : NO_PAIRING;
            }
        }
    }
    for (auto& matrix : work.matrices) matrix.rows = distinct.count;
}

// The least sum of any pairing, in any palette, that gives some colour a
// number other than in the reading.
double least_other_reading(const Pairing& reading, double reading_cost, ApproximateWork& work) {
    double least = NO_PAIRING;
    for (int p = 0; p < PALETTE_COUNT; ++p) {
        // Forbidding a pair never makes a pairing cheaper.
        if (work.best_of_palette[p].cost >= reading_cost + MARGIN) continue;
        for (int row = 0; row < work.matrices[p].rows; ++row) {
            work.without_pair = work.matrices[p];
            work.without_pair.cost[row][reading.number[row]] = NO_PAIRING;
            least = std::min(least, least_cost_pairing(work.without_pair).cost);
        }
    }
    return least;
}

bool read_approximately(const DistinctColours& distinct, NumberTable& numbers, int& palette) {
    if (distinct.overflow || distinct.count == 0 || distinct.count > C64_COLOUR_COUNT) return false;
    auto work = std::make_unique<ApproximateWork>();
    build_cost_matrices(distinct, *work);
    int best = 0;
    for (int p = 0; p < PALETTE_COUNT; ++p) {
        work->best_of_palette[p] = least_cost_pairing(work->matrices[p]);
        if (work->best_of_palette[p].cost < work->best_of_palette[best].cost) best = p;
    }
    const Pairing reading = work->best_of_palette[best];
    for (int d = 0; d < distinct.count; ++d) {
        if (work->matrices[best].cost[d][reading.number[d]] > MATCH_BOUND * MATCH_BOUND) return false;
    }
    if (least_other_reading(reading, reading.cost, *work) < reading.cost + MARGIN) return false;
    for (int d = 0; d < distinct.count; ++d) numbers[d] = reading.number[d];
    palette = best;
    return true;
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
