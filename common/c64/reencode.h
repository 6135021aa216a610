// Re-encoding a picture through colour slots: every colour ends up drawn by
// the bit pattern chosen for it, not by whatever pattern the source used.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "frame/errors.h"
#include "c64/picture.h"
#include "c64/pixel.h"

constexpr int MULTICOLOUR_SLOT_COUNT = 4;
constexpr int HIRES_SLOT_COUNT = 2;

// Slot v holds the colour that pattern value v shows in the output.
// Multicolour: 0 background, 1 screen high nybble, 2 screen low nybble,
// 3 colour memory. Hires: 0 screen low nybble, 1 screen high nybble.
using MulticolourSlots = std::array<std::uint8_t, MULTICOLOUR_SLOT_COUNT>;
using HiresSlots = std::array<std::uint8_t, HIRES_SLOT_COUNT>;

// The output pattern value of a pixel, by its colour index.
struct PatternTable {
    std::array<std::uint8_t, C64_COLOUR_COUNT> patterns;
};

// A tool's rule for the colours of a cell, called for every cell at each of
// its pixel rows. slots are the colour slots (4 or 2); the policy may change
// those after the fixed ones, and they keep their values from one call to the
// next. cell_colours are the colours that the cell's pattern values show
// (multicolour: the source background byte, then normalised slots 1 to 3;
// hires: normalised slots 0 and 1). A negative result ends the pass.
using SlotPolicy = ErrorCode (*)(std::span<std::uint8_t> slots, std::span<const std::uint8_t> cell_colours);

// Replaces the slots of pair values that no pixel of the cell uses by the
// colour of the lowest pair value that occurs. Bitmap and used slots stay.
ErrorCode normalise_multicolour_cell(CellRecord& cell);

// The same for a hires cell (bitmap and slots 0, 1): bit values instead of
// pairs.
ErrorCode normalise_hires_cell(CellRecord& cell);

// Screen byte n = slot 1 in the high nybble, slot 2 in the low one; colour
// byte n = slot 3. Background and bitmap stay. ERR_INDEX_OUT_OF_TABLE when n
// is not a cell number.
ErrorCode picture_cell_colours_put(int cell, C64Picture& picture, const MulticolourSlots& slots);

// Multicolour: colours 0 to 7 go to pattern 3, 8 to 15 to pattern 0; hires:
// every colour to pattern 1. Then each fixed slot's colour goes to its own
// pattern value, in ascending order, so the highest slot holding a colour
// wins. ERR_VALUE_TOO_LARGE when a fixed slot is not a colour index,
// ERR_FUNCTION_PARAMETERS when the fixed count exceeds the slots.
ErrorCode build_pattern_table(PatternTable& table, std::span<const std::uint8_t> slots, int fixed_slot_count,
                              bool hires);

// Rewrites every pixel of source into output: each pixel takes the pattern
// that the table gives for the colour it shows. The source's screen and
// colour memory receive the normalised colours of its cells; the output
// carries the slots as the policy left them at each cell. A fixed slot above
// 15 gives ERR_VALUE_TOO_LARGE with the output left cleared, and so does a
// pixel whose colour has no table entry (a background byte above 15 that the
// policy let through). The first negative code of the policy ends the pass.
ErrorCode reencode_multicolour_picture(C64Picture& source, C64Picture& output, MulticolourSlots& slots,
                                       int fixed_slot_count, SlotPolicy policy);

// The same for hires pictures; the source's screen memory receives the
// normalised colours.
ErrorCode reencode_hires_picture(HiresPicture& source, HiresPicture& output, HiresSlots& slots,
                                 int fixed_slot_count, SlotPolicy policy);
