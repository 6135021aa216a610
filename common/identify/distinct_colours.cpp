#include "identify/distinct_colours.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "identify/library_colours.h"

namespace {

std::uint32_t colour_hash(std::uint32_t colour) {
    return (colour * 2654435761u) >> 23;  // 9 bits: 0 to 511
}
static_assert(COLOUR_TABLE_SLOTS == 512);

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

}  // namespace

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
