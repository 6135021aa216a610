#include "c64/reencode.h"

#include <bit>
#include <memory>

// A cell's 8 bitmap bytes are taken as one 64-bit number, pixel row r in bits
// 8r to 8r + 7, so that all 32 pairs (or 64 bits) of the cell are looked at
// and rewritten in a few steps instead of one pair at a time.
namespace {

constexpr int CELL_PIXEL_ROWS = 8;
constexpr int MULTICOLOUR_LEARNED_PATTERN = 3;
constexpr int HIRES_LEARNED_PATTERN = 1;
constexpr int FIRST_BRIGHT_COLOUR = 8;
// The low bit of every pair of the cell.
constexpr std::uint64_t PAIR_LOW_BITS = 0x5555555555555555u;
constexpr std::uint64_t ALL_BITS = ~std::uint64_t{0};

using CellBits = std::uint64_t;

// Unrolled, the 8 byte steps become one load and one store.
CellBits cell_bits_of(const std::uint8_t* bitmap) {
    CellBits bits = 0;
#pragma GCC unroll 8
    for (int row = 0; row < CELL_PIXEL_ROWS; ++row) {
        bits |= CellBits{bitmap[row]} << (8 * row);
    }
    return bits;
}

void store_cell_bits(CellBits bits, std::uint8_t* bitmap) {
#pragma GCC unroll 8
    for (int row = 0; row < CELL_PIXEL_ROWS; ++row) {
        bitmap[row] = static_cast<std::uint8_t>(bits >> (8 * row));
    }
}

// The pairs of the cell whose value is v, as the low bit of each such pair:
// both bits of the pair must agree with those of v.
std::array<CellBits, MULTICOLOUR_SLOT_COUNT> pairs_by_value(CellBits bits) {
    const CellBits high = (bits >> 1) & PAIR_LOW_BITS;
    const CellBits low = bits & PAIR_LOW_BITS;
    return {~high & ~low & PAIR_LOW_BITS, ~high & low, high & ~low, high & low};
}

// One cell of the cell row being worked on, settled at the cell's first pixel
// row: what the policy is shown at each of its rows, and its output bytes.
// The bytes do not depend on the policy, only on the cell's colours.
struct SettledCell {
    std::array<std::uint8_t, MULTICOLOUR_SLOT_COUNT> colours;  // hires uses the first two
    std::array<std::uint8_t, CELL_PIXEL_ROWS> output_bitmap;
    // The first pixel row whose byte shows a colour without a pattern (a
    // background byte above 15); the pass fails there. CELL_PIXEL_ROWS when
    // there is none.
    int failing_row;
};

// What one pass works with, allocated once.
struct PassWork {
    CellRecord cell;
    PatternTable table;
    std::array<SettledCell, CELL_COLUMNS> cell_row;
};

std::uint8_t screen_byte_of(std::uint8_t high_colour, std::uint8_t low_colour) {
    return static_cast<std::uint8_t>((high_colour << 4) | (low_colour & 0x0F));
}

// Every pair takes the pattern of the colour its value shows; a pattern value
// times a pair's low bit fills that pair.
void reencode_multicolour_cell_bytes(const std::uint8_t* source_bitmap, const PatternTable& table,
                                     SettledCell& settled) {
    const auto pairs = pairs_by_value(cell_bits_of(source_bitmap));
    CellBits output = 0;
    CellBits pairs_without_pattern = 0;
    for (int value = 0; value < MULTICOLOUR_SLOT_COUNT; ++value) {
        const std::uint8_t colour = settled.colours[value];
        if (colour < C64_COLOUR_COUNT) {
            output |= pairs[value] * table.patterns[colour];
        } else {
            pairs_without_pattern |= pairs[value];
        }
    }
    store_cell_bits(output, settled.output_bitmap.data());
    settled.failing_row = pairs_without_pattern == 0 ? CELL_PIXEL_ROWS : std::countr_zero(pairs_without_pattern) / 8;
}

// Set bits take the pattern of the set-bit colour, clear bits that of the
// clear-bit colour; a pattern is one bit.
void reencode_hires_cell_bytes(const std::uint8_t* source_bitmap, const PatternTable& table, SettledCell& settled) {
    const CellBits bits = cell_bits_of(source_bitmap);
    const CellBits set_bits_become = table.patterns[settled.colours[1]] != 0 ? ALL_BITS : 0;
    const CellBits clear_bits_become = table.patterns[settled.colours[0]] != 0 ? ALL_BITS : 0;
    store_cell_bits((bits & set_bits_become) | (~bits & clear_bits_become), settled.output_bitmap.data());
    settled.failing_row = CELL_PIXEL_ROWS;
}

// Normalises the cell into the source and works out what its rows need. The
// colour list: the background byte whole, then the screen nybbles and the
// colour memory nybble.
ErrorCode settle_multicolour_cell(C64Picture& source, int cell, PassWork& work, SettledCell& settled) {
    ErrorCode code = picture_cell_get(work.cell, cell, source);
    if (code < 0) {
        return code;
    }
    normalise_multicolour_cell(work.cell);
    if ((code = picture_cell_colours_put(cell, source, work.cell.slots)) < 0) {
        return code;
    }
    settled.colours = {source.background, work.cell.slots[1], work.cell.slots[2], work.cell.slots[3]};
    reencode_multicolour_cell_bytes(work.cell.bitmap.data(), work.table, settled);
    return ERR_SUCCESS;
}

ErrorCode settle_hires_cell(HiresPicture& source, int cell, PassWork& work, SettledCell& settled) {
    const ErrorCode code = hires_picture_cell_get(work.cell, cell, source);
    if (code < 0) {
        return code;
    }
    normalise_hires_cell(work.cell);
    source.screen[cell] = screen_byte_of(work.cell.slots[1], work.cell.slots[0]);
    settled.colours = {work.cell.slots[0], work.cell.slots[1], 0, 0};
    reencode_hires_cell_bytes(work.cell.bitmap.data(), work.table, settled);
    return ERR_SUCCESS;
}

// One cell at one of its pixel rows: the policy settles the slots, the output
// cell takes them, and the row's byte is stored. The cell is settled at its
// first row; normalising is idempotent, so the later rows need not do it again.
ErrorCode reencode_multicolour_cell_row(C64Picture& source, C64Picture& output, MulticolourSlots& slots,
                                        SlotPolicy policy, PassWork& work, int cell, int column, int row) {
    SettledCell& settled = work.cell_row[column];
    ErrorCode code = ERR_SUCCESS;
    if (row == 0 && (code = settle_multicolour_cell(source, cell, work, settled)) < 0) {
        return code;
    }
    if ((code = policy(slots, settled.colours)) < 0) {
        return code;
    }
    output.screen[cell] = screen_byte_of(slots[1], slots[2]);
    output.colour[cell] = static_cast<std::uint8_t>(slots[3] & 0x0F);
    if (row == settled.failing_row) {
        return ERR_VALUE_TOO_LARGE;
    }
    output.bitmap[cell * 8 + row] = settled.output_bitmap[row];
    return ERR_SUCCESS;
}

ErrorCode reencode_hires_cell_row(HiresPicture& source, HiresPicture& output, HiresSlots& slots, SlotPolicy policy,
                                  PassWork& work, int cell, int column, int row) {
    SettledCell& settled = work.cell_row[column];
    ErrorCode code = ERR_SUCCESS;
    if (row == 0 && (code = settle_hires_cell(source, cell, work, settled)) < 0) {
        return code;
    }
    if ((code = policy(slots, std::span(settled.colours).first<HIRES_SLOT_COUNT>())) < 0) {
        return code;
    }
    output.screen[cell] = screen_byte_of(slots[1], slots[0]);
    output.bitmap[cell * 8 + row] = settled.output_bitmap[row];
    return ERR_SUCCESS;
}

// Pixel row 0 of cells 0 to 39, pixel row 1 of the same cells, and so on: a
// learning policy meets the slots as the previous cell in this order left them.
template <typename Visit>
ErrorCode visit_cells_row_by_row(Visit visit) {
    for (int first_cell = 0; first_cell < CELL_COUNT; first_cell += CELL_COLUMNS) {
        for (int row = 0; row < CELL_PIXEL_ROWS; ++row) {
            for (int column = 0; column < CELL_COLUMNS; ++column) {
                const ErrorCode code = visit(first_cell + column, column, row);
                if (code < 0) {
                    return code;
                }
            }
        }
    }
    return ERR_SUCCESS;
}

}  // namespace

ErrorCode normalise_multicolour_cell(CellRecord& cell) {
    const auto pairs = pairs_by_value(cell_bits_of(cell.bitmap.data()));
    int lowest = 0;
    while (pairs[lowest] == 0) {
        ++lowest;
    }
    const std::uint8_t colour = cell.slots[lowest];
    for (int value = 0; value < MULTICOLOUR_SLOT_COUNT; ++value) {
        if (pairs[value] == 0) {
            cell.slots[value] = colour;
        }
    }
    return ERR_SUCCESS;
}

ErrorCode normalise_hires_cell(CellRecord& cell) {
    const int set_bits = std::popcount(cell_bits_of(cell.bitmap.data()));
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
    const auto work = std::make_unique<PassWork>();
    const ErrorCode code = build_pattern_table(work->table, slots, fixed_slot_count, false);
    if (code < 0) {
        return code;
    }
    output.background = slots[0];
    return visit_cells_row_by_row([&](int cell, int column, int row) {
        return reencode_multicolour_cell_row(source, output, slots, policy, *work, cell, column, row);
    });
}

ErrorCode reencode_hires_picture(HiresPicture& source, HiresPicture& output, HiresSlots& slots,
                                 int fixed_slot_count, SlotPolicy policy) {
    output.bitmap.fill(0);
    output.screen.fill(0);
    if (policy == nullptr) {
        return ERR_FUNCTION_PARAMETERS;
    }
    const auto work = std::make_unique<PassWork>();
    const ErrorCode code = build_pattern_table(work->table, slots, fixed_slot_count, true);
    if (code < 0) {
        return code;
    }
    return visit_cells_row_by_row([&](int cell, int column, int row) {
        return reencode_hires_cell_row(source, output, slots, policy, *work, cell, column, row);
    });
}
