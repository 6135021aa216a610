#include "identify/library_colours.h"

#include <algorithm>

#include "c64/pixel.h"

namespace {

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

const KnownColour* first_known_entry(std::uint32_t colour, const KnownColour*& end) {
    static const KnownColours known = collect_known_colours();
    end = known.data() + known.size();
    return std::lower_bound(known.data(), end, colour,
                            [](const KnownColour& entry, std::uint32_t c) { return entry.colour < c; });
}

}  // namespace

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

std::uint8_t number_in_palette(std::uint32_t colour, int palette) {
    const KnownColour* end = nullptr;
    for (const KnownColour* entry = first_known_entry(colour, end); entry != end && entry->colour == colour;
         ++entry) {
        if (entry->palette == palette) return entry->number;
    }
    return NO_NUMBER;
}

const PaletteLabs& palette_labs() {
    static const PaletteLabs labs = [] {
        PaletteLabs all{};
        for (int p = 0; p < PALETTES; ++p) {
            for (int c = 0; c < C64_COLOUR_COUNT; ++c) all[p][c] = lab_from_rgb(palette_colour(p, c));
        }
        return all;
    }();
    return labs;
}
