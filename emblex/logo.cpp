#include "logo.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "frame/file_names.h"
#include "frame/output_file.h"
#include "c64/picture_formats.h"
#include "c64/reencode.h"

namespace {

constexpr int MULTICOLOUR_FIXED_SLOTS = 3;
constexpr int HIRES_FIXED_SLOTS = 1;
// Colour memory in multicolour character mode: bit 3 switches the cell to
// multicolour, so only 0 to 7 are colours.
constexpr std::uint8_t HIGHEST_CELL_COLOUR = 7;

struct LogoFiles {
    std::array<std::uint8_t, LOGO_FONT_SIZE> font;
    std::array<std::uint8_t, CELL_COUNT> screen_codes;
    std::array<std::uint8_t, CELL_COUNT> colour_memory;
};

// A plain loop: for the one to three fixed slots it costs less than
// std::find's set-up, and the policy runs for every cell row.
bool is_fixed_colour(std::span<const std::uint8_t> fixed, std::uint8_t colour) {
    for (const std::uint8_t fixed_colour : fixed) {
        if (fixed_colour == colour) {
            return true;
        }
    }
    return false;
}

// Learns the last slot from the first colour that neither the fixed slots
// nor a colour learned in this same call hold. What the slot held before
// belongs to an earlier cell and does not count as known.
ErrorCode learn_last_slot(std::span<std::uint8_t> slots, std::span<const std::uint8_t> cell_colours,
                          std::uint8_t highest_learnable) {
    if (slots.empty()) {
        return ERR_FUNCTION_PARAMETERS;
    }
    const std::size_t learned_slot = slots.size() - 1;
    const auto fixed = slots.first(learned_slot);
    bool learned = false;
    for (const std::uint8_t colour : cell_colours) {
        const bool known = is_fixed_colour(fixed, colour) ||
                           (learned && colour == slots[learned_slot]);
        if (known) {
            continue;
        }
        if (learned) {
            return ERR_PARAMETERS;
        }
        if (colour > highest_learnable) {
            return ERR_VALUE_TOO_LARGE;
        }
        slots[learned_slot] = colour;
        learned = true;
    }
    return ERR_SUCCESS;
}

ErrorCode reencode_multicolour_logo(const std::string& picture_path, int format, const SharedColours& shared,
                                    C64Picture& logo) {
    const auto source = std::make_unique<C64Picture>();
    const ErrorCode code = load_multicolour_input(picture_path, format, *source);
    if (code < 0) {
        return code;
    }
    MulticolourSlots slots = {shared.colours[0], shared.colours[1], shared.colours[2], 0};
    return reencode_multicolour_picture(*source, logo, slots, MULTICOLOUR_FIXED_SLOTS, learn_multicolour_slots);
}

ErrorCode reencode_hires_logo(const std::string& picture_path, int format, const SharedColours& shared,
                              HiresPicture& logo) {
    const auto source = std::make_unique<HiresPicture>();
    const ErrorCode code = load_hires_input(picture_path, format, *source);
    if (code < 0) {
        return code;
    }
    HiresSlots slots = {shared.colours[0], 0};
    return reencode_hires_picture(*source, logo, slots, HIRES_FIXED_SLOTS, learn_hires_slots);
}

// The characters found so far, found again by their 8 pattern bytes taken as
// one number: a table of twice as many places as characters, each place the
// character whose key leads there (or the next free place after it).
struct CharacterIndex {
    static constexpr int PLACES = 2 * LOGO_FONT_CHARACTERS;
    static constexpr std::int16_t EMPTY = -1;
    std::array<std::uint64_t, LOGO_FONT_CHARACTERS> keys;
    std::array<std::int16_t, PLACES> characters;
};

std::uint64_t pattern_key(const std::uint8_t* pattern) {
    std::uint64_t key = 0;
    std::memcpy(&key, pattern, sizeof key);
    return key;
}

// The place where the key's character is, or the free place where it goes.
std::size_t place_of(const CharacterIndex& index, std::uint64_t key) {
    // Multiplying spreads all 64 bits of the key over the top bits used.
    std::size_t place = static_cast<std::size_t>((key * 0x9E3779B97F4A7C15u) >> 55);
    while (index.characters[place] != CharacterIndex::EMPTY &&
           index.keys[static_cast<std::size_t>(index.characters[place])] != key) {
        place = (place + 1) % CharacterIndex::PLACES;
    }
    return place;
}

// Each distinct cell pattern once, in order of first appearance; the 256th
// distinct pattern ends the search, because a logo has 255 characters at most.
ErrorCode collect_font(const std::array<std::uint8_t, BITMAP_SIZE>& bitmap, LogoFiles& files) {
    const auto index = std::make_unique_for_overwrite<CharacterIndex>();
    index->characters.fill(CharacterIndex::EMPTY);
    int count = 0;
    for (int cell = 0; cell < CELL_COUNT && count < LOGO_FONT_CHARACTERS; ++cell) {
        const std::uint8_t* pattern = bitmap.data() + cell * 8;
        const std::uint64_t key = pattern_key(pattern);
        const std::size_t place = place_of(*index, key);
        if (index->characters[place] == CharacterIndex::EMPTY) {
            std::memcpy(files.font.data() + count * 8, pattern, 8);
            index->keys[static_cast<std::size_t>(count)] = key;
            index->characters[place] = static_cast<std::int16_t>(count);
            ++count;
        }
        files.screen_codes[cell] = static_cast<std::uint8_t>(index->characters[place]);
    }
    return count > LOGO_MAX_CHARACTERS ? ERR_VALUE_TOO_LARGE : ERR_SUCCESS;
}

ErrorCode make_multicolour_logo(const std::string& picture_path, int format, const SharedColours& shared,
                                LogoFiles& files) {
    const auto logo = std::make_unique<C64Picture>();
    ErrorCode code = reencode_multicolour_logo(picture_path, format, shared, *logo);
    if (code < 0) {
        return code;
    }
    std::array<std::uint8_t, 4> colours{};
    for (int cell = 0; cell < CELL_COUNT; ++cell) {
        if ((code = picture_cell_colours_get(*logo, cell, colours)) < 0) {
            return code;
        }
        files.colour_memory[cell] = colours[3];
    }
    return collect_font(logo->bitmap, files);
}

ErrorCode make_hires_logo(const std::string& picture_path, int format, const SharedColours& shared,
                          LogoFiles& files) {
    const auto logo = std::make_unique<HiresPicture>();
    ErrorCode code = reencode_hires_logo(picture_path, format, shared, *logo);
    if (code < 0) {
        return code;
    }
    std::array<std::uint8_t, 2> colours{};
    for (int cell = 0; cell < CELL_COUNT; ++cell) {
        if ((code = hires_cell_colours_get(*logo, cell, colours)) < 0) {
            return code;
        }
        files.colour_memory[cell] = colours[1];
    }
    return collect_font(logo->bitmap, files);
}

ErrorCode write_logo_files(const std::string& font_path, const std::string& screen_path,
                           const std::string& colour_path, const LogoFiles& files) {
    // The three files appear together or not at all.
    OutputBatch batch;
    ErrorCode code = ERR_SUCCESS;
    if ((code = write_whole_file(colour_path, files.colour_memory.data(), files.colour_memory.size(), &batch)) < 0 ||
        (code = write_whole_file(font_path, files.font.data(), files.font.size(), &batch)) < 0 ||
        (code = write_whole_file(screen_path, files.screen_codes.data(), files.screen_codes.size(), &batch)) < 0) {
        return code;
    }
    return batch.commit();
}

}  // namespace

ErrorCode learn_multicolour_slots(std::span<std::uint8_t> slots, std::span<const std::uint8_t> cell_colours) {
    return learn_last_slot(slots, cell_colours, HIGHEST_CELL_COLOUR);
}

ErrorCode learn_hires_slots(std::span<std::uint8_t> slots, std::span<const std::uint8_t> cell_colours) {
    return learn_last_slot(slots, cell_colours, C64_COLOUR_COUNT - 1);
}

ErrorCode picture_cell_colours_get(const C64Picture& picture, int cell, std::array<std::uint8_t, 4>& colours) {
    if (!is_cell_number(cell)) {
        return ERR_INDEX_OUT_OF_TABLE;
    }
    colours[0] = picture.background;
    colours[1] = static_cast<std::uint8_t>(picture.screen[cell] >> 4);
    colours[2] = static_cast<std::uint8_t>(picture.screen[cell] & 0x0F);
    colours[3] = static_cast<std::uint8_t>(picture.colour[cell] & 0x0F);
    return ERR_SUCCESS;
}

ErrorCode hires_cell_colours_get(const HiresPicture& picture, int cell, std::array<std::uint8_t, 2>& colours) {
    if (!is_cell_number(cell)) {
        return ERR_INDEX_OUT_OF_TABLE;
    }
    colours[0] = static_cast<std::uint8_t>(picture.screen[cell] & 0x0F);
    colours[1] = static_cast<std::uint8_t>(picture.screen[cell] >> 4);
    return ERR_SUCCESS;
}

ErrorCode build_logo(const std::string& font_path, const std::string& screen_path, const std::string& picture_path,
                     const std::string& colour_path, int format, const SharedColours& shared) {
    // Value-initialised: font, screen codes and colour memory start at 0.
    const auto files = std::make_unique<LogoFiles>();
    const ErrorCode code = picture_format_is_hires(format) ? make_hires_logo(picture_path, format, shared, *files)
                                                           : make_multicolour_logo(picture_path, format, shared, *files);
    if (code < 0) {
        return code;
    }
    return write_logo_files(font_path, screen_path, colour_path, *files);
}
