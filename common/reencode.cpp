#include "reencode.h"

#include <memory>

// The short pixel loops with a fixed count are unrolled (#pragma GCC unroll):
// at -O2 their counting would cost as much as their work.
namespace {

constexpr int CELL_ROW_BYTES = CELL_COLUMNS * 8;
constexpr int MULTICOLOUR_LEARNED_PATTERN = 3;
constexpr int HIRES_LEARNED_PATTERN = 1;
constexpr int FIRST_BRIGHT_COLOUR = 8;

// What one pass works with, allocated once.
struct MulticolourWork {
    CellRecord cell;
    PatternTable table;
    MulticolourSlots cell_colours;
};

struct HiresWork {
    CellRecord cell;
    PatternTable table;
    HiresSlots cell_colours;
};

std::uint8_t screen_byte_of(std::uint8_t high_colour, std::uint8_t low_colour) {
    return static_cast<std::uint8_t>((high_colour << 4) | (low_colour & 0x0F));
}

// A colour list entry may hold a full background byte: only 0 to 15 have a
// table entry.
ErrorCode pattern_of(const PatternTable& table, std::uint8_t colour, std::uint8_t& pattern) {
    if (colour >= C64_COLOUR_COUNT) {
        return ERR_VALUE_TOO_LARGE;
    }
    pattern = table.patterns[colour];
    return ERR_SUCCESS;
}

ErrorCode reencode_multicolour_byte(std::uint8_t source_byte, const MulticolourWork& work, std::uint8_t& output_byte) {
    output_byte = 0;
#pragma GCC unroll 4
    for (int shift = 6; shift >= 0; shift -= 2) {
        const int pair = (source_byte >> shift) & 3;
        std::uint8_t pattern = 0;
        const ErrorCode code = pattern_of(work.table, work.cell_colours[pair], pattern);
        if (code < 0) {
            return code;
        }
        output_byte = static_cast<std::uint8_t>(output_byte | (pattern << shift));
    }
    return ERR_SUCCESS;
}

ErrorCode reencode_hires_byte(std::uint8_t source_byte, const HiresWork& work, std::uint8_t& output_byte) {
    output_byte = 0;
#pragma GCC unroll 8
    for (int bit = 7; bit >= 0; --bit) {
        const int value = (source_byte >> bit) & 1;
        std::uint8_t pattern = 0;
        const ErrorCode code = pattern_of(work.table, work.cell_colours[value], pattern);
        if (code < 0) {
            return code;
        }
        output_byte = static_cast<std::uint8_t>(output_byte | (pattern << bit));
    }
    return ERR_SUCCESS;
}

bool is_first_cell_row(int byte_index) {
    return byte_index % 8 == 0;
}

// The colours that a cell's pattern values show: the background byte whole,
// then the screen nybbles and the colour memory nybble.
MulticolourSlots cell_colours_of(const C64Picture& picture, int cell) {
    const std::uint8_t screen = picture.screen[cell];
    return {picture.background, static_cast<std::uint8_t>(screen >> 4), static_cast<std::uint8_t>(screen & 0x0F),
            static_cast<std::uint8_t>(picture.colour[cell] & 0x0F)};
}

HiresSlots cell_colours_of(const HiresPicture& picture, int cell) {
    const std::uint8_t screen = picture.screen[cell];
    return {static_cast<std::uint8_t>(screen & 0x0F), static_cast<std::uint8_t>(screen >> 4)};
}

// Settles one cell at one of its pixel rows and rewrites that row's byte.
// The cell is normalised into the source at its first row; the later rows
// read its normalised colours back, which normalising again would not change.
ErrorCode reencode_multicolour_cell_row(C64Picture& source, C64Picture& output, MulticolourSlots& slots,
                                        SlotPolicy policy, MulticolourWork& work, int cell, int byte_index) {
    ErrorCode code = ERR_SUCCESS;
    if (is_first_cell_row(byte_index)) {
        if ((code = picture_cell_get(work.cell, cell, source)) < 0) {
            return code;
        }
        normalise_multicolour_cell(work.cell);
        if ((code = picture_cell_colours_put(cell, source, work.cell.slots)) < 0) {
            return code;
        }
    }
    work.cell_colours = cell_colours_of(source, cell);
    if ((code = policy(slots, work.cell_colours)) < 0) {
        return code;
    }
    if ((code = picture_cell_colours_put(cell, output, slots)) < 0) {
        return code;
    }
    return reencode_multicolour_byte(source.bitmap[byte_index], work, output.bitmap[byte_index]);
}

ErrorCode reencode_hires_cell_row(HiresPicture& source, HiresPicture& output, HiresSlots& slots, SlotPolicy policy,
                                  HiresWork& work, int cell, int byte_index) {
    ErrorCode code = ERR_SUCCESS;
    if (is_first_cell_row(byte_index)) {
        if ((code = hires_picture_cell_get(work.cell, cell, source)) < 0) {
            return code;
        }
        normalise_hires_cell(work.cell);
        source.screen[cell] = screen_byte_of(work.cell.slots[1], work.cell.slots[0]);
    }
    work.cell_colours = cell_colours_of(source, cell);
    if ((code = policy(slots, work.cell_colours)) < 0) {
        return code;
    }
    output.screen[cell] = screen_byte_of(slots[1], slots[0]);
    return reencode_hires_byte(source.bitmap[byte_index], work, output.bitmap[byte_index]);
}

// Pixel row 0 of cells 0 to 39, pixel row 1 of the same cells, and so on: a
// learning policy meets the slots as the previous cell in this order left them.
template <typename Visit>
ErrorCode visit_cells_row_by_row(Visit visit) {
    for (int y = 0; y < PICTURE_LINES; ++y) {
        const int first_byte = (y / 8) * CELL_ROW_BYTES + y % 8;
        const int first_cell = (y / 8) * CELL_COLUMNS;
        for (int k = 0; k < CELL_COLUMNS; ++k) {
            const ErrorCode code = visit(first_cell + k, first_byte + 8 * k);
            if (code < 0) {
                return code;
            }
        }
    }
    return ERR_SUCCESS;
}

}  // namespace

ErrorCode normalise_multicolour_cell(CellRecord& cell) {
    std::array<int, MULTICOLOUR_SLOT_COUNT> counts{};
    for (const std::uint8_t byte : cell.bitmap) {
#pragma GCC unroll 4
        for (int shift = 6; shift >= 0; shift -= 2) {
            ++counts[(byte >> shift) & 3];
        }
    }
    int lowest = 0;
    while (counts[lowest] == 0) {
        ++lowest;
    }
    const std::uint8_t colour = cell.slots[lowest];
    for (int value = 0; value < MULTICOLOUR_SLOT_COUNT; ++value) {
        if (counts[value] == 0) {
            cell.slots[value] = colour;
        }
    }
    return ERR_SUCCESS;
}

ErrorCode normalise_hires_cell(CellRecord& cell) {
    int set_bits = 0;
    for (const std::uint8_t byte : cell.bitmap) {
#pragma GCC unroll 8
        for (int bit = 7; bit >= 0; --bit) {
            set_bits += (byte >> bit) & 1;
        }
    }
    if (set_bits == 0) {
        cell.slots[1] = cell.slots[0];
    } else if (set_bits == 64) {
        cell.slots[0] = cell.slots[1];
    }
    return ERR_SUCCESS;
}

ErrorCode picture_cell_colours_put(int cell, C64Picture& picture, const MulticolourSlots& slots) {
    if (!is_cell_number(cell)) {
        return ERR_INDEX_OUT_OF_TABLE;
    }
    picture.screen[cell] = screen_byte_of(slots[1], slots[2]);
    picture.colour[cell] = static_cast<std::uint8_t>(slots[3] & 0x0F);
    return ERR_SUCCESS;
}

ErrorCode build_pattern_table(PatternTable& table, std::span<const std::uint8_t> slots, int fixed_slot_count,
                              bool hires) {
    if (fixed_slot_count < 0 || static_cast<std::size_t>(fixed_slot_count) > slots.size()) {
        return ERR_FUNCTION_PARAMETERS;
    }
    for (int colour = 0; colour < C64_COLOUR_COUNT; ++colour) {
        if (hires) {
            table.patterns[colour] = HIRES_LEARNED_PATTERN;
        } else {
            table.patterns[colour] = colour < FIRST_BRIGHT_COLOUR ? MULTICOLOUR_LEARNED_PATTERN : 0;
        }
    }
    for (int value = 0; value < fixed_slot_count; ++value) {
        if (slots[value] >= C64_COLOUR_COUNT) {
            return ERR_VALUE_TOO_LARGE;
        }
        table.patterns[slots[value]] = static_cast<std::uint8_t>(value);
    }
    return ERR_SUCCESS;
}

ErrorCode reencode_multicolour_picture(C64Picture& source, C64Picture& output, MulticolourSlots& slots,
                                       int fixed_slot_count, SlotPolicy policy) {
    output.bitmap.fill(0);
    output.screen.fill(0);
    output.colour.fill(0);
    output.background = 0;
    if (policy == nullptr) {
        return ERR_FUNCTION_PARAMETERS;
    }
    if (slots[0] >= C64_COLOUR_COUNT) {
        return ERR_VALUE_TOO_LARGE;
    }
    const auto work = std::make_unique<MulticolourWork>();
    const ErrorCode code = build_pattern_table(work->table, slots, fixed_slot_count, false);
    if (code < 0) {
        return code;
    }
    output.background = slots[0];
    return visit_cells_row_by_row([&](int cell, int byte_index) {
        return reencode_multicolour_cell_row(source, output, slots, policy, *work, cell, byte_index);
    });
}

ErrorCode reencode_hires_picture(HiresPicture& source, HiresPicture& output, HiresSlots& slots,
                                 int fixed_slot_count, SlotPolicy policy) {
    output.bitmap.fill(0);
    output.screen.fill(0);
    if (policy == nullptr) {
        return ERR_FUNCTION_PARAMETERS;
    }
    const auto work = std::make_unique<HiresWork>();
    const ErrorCode code = build_pattern_table(work->table, slots, fixed_slot_count, true);
    if (code < 0) {
        return code;
    }
    return visit_cells_row_by_row([&](int cell, int byte_index) {
        return reencode_hires_cell_row(source, output, slots, policy, *work, cell, byte_index);
    });
}
