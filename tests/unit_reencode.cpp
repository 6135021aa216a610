// Cell normalisation, the pattern table and the two re-encoding passes.
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "c64/reencode.h"
#include "support/test_pictures.h"

namespace {

ErrorCode allow_all(std::span<std::uint8_t>, std::span<const std::uint8_t>) {
    return ERR_SUCCESS;
}

CellRecord cell_of(std::uint8_t first_byte, std::uint8_t other_bytes, std::array<std::uint8_t, 4> slots) {
    CellRecord cell{};
    cell.bitmap.fill(other_bytes);
    cell.bitmap[0] = first_byte;
    cell.slots = slots;
    return cell;
}

}  // namespace

TEST(Normalise, AbsentPatternValuesTakeTheLowestPresentColour) {
    CellRecord cell = cell_of(0x55, 0x55, {0, 5, 2, 7});
    normalise_multicolour_cell(cell);
    EXPECT_EQ(cell.slots, (std::array<std::uint8_t, 4>{5, 5, 5, 5}));
    EXPECT_EQ(cell.bitmap[3], 0x55);

    // Only pairs 10 and 11 occur: 00 and 01 take the colour of 10.
    cell = cell_of(0xAF, 0xAF, {1, 2, 3, 4});
    normalise_multicolour_cell(cell);
    EXPECT_EQ(cell.slots, (std::array<std::uint8_t, 4>{3, 3, 3, 4}));

    cell = cell_of(0x00, 0x00, {6, 1, 2, 3});
    normalise_multicolour_cell(cell);
    EXPECT_EQ(cell.slots, (std::array<std::uint8_t, 4>{6, 6, 6, 6}));

    // One pair 11 in the last byte is enough to keep slot 3.
    cell = cell_of(0x00, 0x00, {6, 1, 2, 3});
    cell.bitmap[7] = 0x03;
    normalise_multicolour_cell(cell);
    EXPECT_EQ(cell.slots, (std::array<std::uint8_t, 4>{6, 6, 6, 3}));
    EXPECT_EQ(cell.bitmap[7], 0x03);

    CellRecord hires = cell_of(0xFF, 0xFF, {3, 7, 0, 0});
    normalise_hires_cell(hires);
    EXPECT_EQ(hires.slots[0], 7);
    EXPECT_EQ(hires.slots[1], 7);
    hires = cell_of(0x00, 0x00, {3, 7, 0, 0});
    normalise_hires_cell(hires);
    EXPECT_EQ(hires.slots[0], 3);
    EXPECT_EQ(hires.slots[1], 3);
    hires = cell_of(0x01, 0xFF, {3, 7, 0, 0});
    normalise_hires_cell(hires);
    EXPECT_EQ(hires.slots[0], 3);
    EXPECT_EQ(hires.slots[1], 7);
}

TEST(PatternTable, FixedSlotsOverrideAndTheHighestSlotWins) {
    PatternTable table{};
    const MulticolourSlots black_shared = {0, 0, 0, 9};
    ASSERT_EQ(build_pattern_table(table, black_shared, 3, false), ERR_SUCCESS);
    EXPECT_EQ(table.patterns[0], 2);
    for (int colour = 1; colour < 8; ++colour) {
        EXPECT_EQ(table.patterns[colour], 3) << colour;
    }
    for (int colour = 8; colour < 16; ++colour) {
        EXPECT_EQ(table.patterns[colour], 0) << colour;
    }

    const MulticolourSlots reversed = {3, 2, 1, 0};
    ASSERT_EQ(build_pattern_table(table, reversed, 4, false), ERR_SUCCESS);
    EXPECT_EQ(table.patterns[3], 0);
    EXPECT_EQ(table.patterns[0], 3);

    const HiresSlots hires = {5, 5};
    ASSERT_EQ(build_pattern_table(table, hires, 1, true), ERR_SUCCESS);
    EXPECT_EQ(table.patterns[5], 0);
    EXPECT_EQ(table.patterns[4], 1);
    ASSERT_EQ(build_pattern_table(table, hires, 2, true), ERR_SUCCESS);
    EXPECT_EQ(table.patterns[5], 1);

    const MulticolourSlots too_large = {0, 16, 0, 0};
    EXPECT_EQ(build_pattern_table(table, too_large, 2, false), ERR_VALUE_TOO_LARGE);
    EXPECT_EQ(build_pattern_table(table, too_large, 1, false), ERR_SUCCESS);
    EXPECT_EQ(build_pattern_table(table, hires, 3, true), ERR_FUNCTION_PARAMETERS);
}

TEST(PictureCellColoursPut, StoresNybblesAndRefusesCellsOutside) {
    auto picture = uniform_multicolour_picture(9, 0x44, 0x04);
    const MulticolourSlots slots = {1, 0x1A, 0x23, 0x1C};
    ASSERT_EQ(picture_cell_colours_put(999, *picture, slots), ERR_SUCCESS);
    EXPECT_EQ(picture->screen[999], 0xA3);
    EXPECT_EQ(picture->colour[999], 0x0C);
    EXPECT_EQ(picture->screen[998], 0x44);
    EXPECT_EQ(picture->background, 9);

    EXPECT_EQ(picture_cell_colours_put(1000, *picture, slots), ERR_INDEX_OUT_OF_TABLE);
    EXPECT_EQ(picture_cell_colours_put(-1, *picture, slots), ERR_INDEX_OUT_OF_TABLE);
    EXPECT_EQ(picture->screen[0], 0x44);
    EXPECT_EQ(picture->colour[0], 0x04);
}

TEST(MulticolourPass, PixelsMoveToThePatternOfTheirColour) {
    // Background 0, pair 01 colour 1, pair 10 colour 2, pair 11 colour 1.
    auto source = uniform_multicolour_picture(0, 0x12, 0x01);
    source->bitmap[0] = 0xFF;   // four pixels of pair 11, colour 1
    source->bitmap[1] = 0x1B;   // 00 01 10 11
    source->bitmap[2] = 0x24;   // 00 10 01 00: every pixel keeps its pattern
    source->bitmap[8] = 0x1B;   // cell 1 shows colour 1 only through pair 01
    auto output = uniform_multicolour_picture(0, 0, 0);
    MulticolourSlots slots = {0, 1, 2, 0};
    ASSERT_EQ(reencode_multicolour_picture(*source, *output, slots, 3, allow_all), ERR_SUCCESS);
    EXPECT_EQ(output->bitmap[0], 0x55);
    EXPECT_EQ(output->bitmap[1], 0x19);
    EXPECT_EQ(output->bitmap[2], 0x24);
    EXPECT_EQ(output->bitmap[8], 0x19);
    EXPECT_EQ(output->bitmap[3], 0x00);
    EXPECT_EQ(output->screen[0], 0x12);
    EXPECT_EQ(output->background, 0);
    // The source received the normalised colours: cell 2 is all pair 00.
    EXPECT_EQ(source->screen[2], 0x00);
    EXPECT_EQ(source->colour[2], 0x00);
    EXPECT_EQ(source->screen[0], 0x12);
}

TEST(MulticolourPass, SharedBlackAndTheOutputBackground) {
    // Fixed slots (0, 0, 0): black lands on pair 10.
    auto source = uniform_multicolour_picture(0, 0x00, 0x00);
    auto output = uniform_multicolour_picture(0, 0, 0);
    MulticolourSlots slots = {0, 0, 0, 0};
    ASSERT_EQ(reencode_multicolour_picture(*source, *output, slots, 3, allow_all), ERR_SUCCESS);
    for (const std::uint8_t byte : output->bitmap) {
        ASSERT_EQ(byte, 0xAA);
    }

    // The output background is slot 0, whatever the source's was.
    source = uniform_multicolour_picture(7, 0x12, 0x03);
    slots = {4, 7, 1, 2};
    ASSERT_EQ(reencode_multicolour_picture(*source, *output, slots, 4, allow_all), ERR_SUCCESS);
    EXPECT_EQ(output->background, 4);
    EXPECT_EQ(output->screen[500], 0x71);
    EXPECT_EQ(output->colour[500], 0x02);
    EXPECT_EQ(output->bitmap[500], 0x55);  // background 7 is slot 1
}

TEST(MulticolourPass, RefusedColoursLeaveTheOutputCleared) {
    auto source = uniform_multicolour_picture(0, 0x12, 0x03);
    auto output = uniform_multicolour_picture(0x77, 0x77, 0x77);
    output->bitmap.fill(0x77);
    MulticolourSlots slots = {16, 1, 2, 3};
    EXPECT_EQ(reencode_multicolour_picture(*source, *output, slots, 4, allow_all), ERR_VALUE_TOO_LARGE);
    EXPECT_EQ(output->background, 0);
    EXPECT_EQ(output->bitmap[7999], 0);
    EXPECT_EQ(output->screen[999], 0);
    EXPECT_EQ(output->colour[0], 0);

    // A background byte above 15 has no pattern: even a policy that lets it
    // through cannot make the pass look past the table.
    source = uniform_multicolour_picture(0x15, 0x12, 0x03);
    slots = {5, 1, 2, 3};
    EXPECT_EQ(reencode_multicolour_picture(*source, *output, slots, 4, allow_all), ERR_VALUE_TOO_LARGE);
    EXPECT_EQ(reencode_multicolour_picture(*source, *output, slots, 5, allow_all), ERR_FUNCTION_PARAMETERS);
    EXPECT_EQ(reencode_multicolour_picture(*source, *output, slots, 4, nullptr), ERR_FUNCTION_PARAMETERS);
}

namespace {

std::vector<std::uint8_t> seen_colour_memory;
int calls_before_failure = 0;

ErrorCode record_colour_memory(std::span<std::uint8_t>, std::span<const std::uint8_t> cell_colours) {
    seen_colour_memory.push_back(cell_colours[3]);
    return ERR_SUCCESS;
}

ErrorCode fail_after_some_calls(std::span<std::uint8_t>, std::span<const std::uint8_t>) {
    return --calls_before_failure < 0 ? ERR_VALUE_TOO_LARGE : ERR_SUCCESS;
}

}  // namespace

TEST(MulticolourPass, VisitsCellsPixelRowByPixelRow) {
    auto source = uniform_multicolour_picture(0, 0x12, 0x00);
    source->bitmap.fill(0xFF);
    for (int cell = 0; cell < CELL_COUNT; ++cell) {
        source->colour[cell] = static_cast<std::uint8_t>((cell + cell / 40) % 16);
    }
    auto output = uniform_multicolour_picture(0, 0, 0);
    MulticolourSlots slots = {0, 1, 2, 3};
    seen_colour_memory.clear();
    ASSERT_EQ(reencode_multicolour_picture(*source, *output, slots, 4, record_colour_memory), ERR_SUCCESS);
    ASSERT_EQ(seen_colour_memory.size(), 8000u);
    for (std::size_t call = 0; call < seen_colour_memory.size(); ++call) {
        const std::size_t pixel_row = call / 40;
        const std::size_t cell = (pixel_row / 8) * 40 + call % 40;
        ASSERT_EQ(seen_colour_memory[call], source->colour[cell]) << "call " << call;
    }
}

TEST(MulticolourPass, PolicyFailureStopsAtOnce) {
    auto source = uniform_multicolour_picture(6, 0x12, 0x03);
    auto output = uniform_multicolour_picture(0, 0, 0);
    MulticolourSlots slots = {0, 0, 6, 0};
    calls_before_failure = 40;  // pixel row 0 of cells 0 to 39 pass, pixel row 1 of cell 0 fails
    EXPECT_EQ(reencode_multicolour_picture(*source, *output, slots, 3, fail_after_some_calls), ERR_VALUE_TOO_LARGE);
    EXPECT_EQ(output->bitmap[0], 0xAA);     // cell 0, pixel row 0
    EXPECT_EQ(output->bitmap[8 * 39], 0xAA);
    EXPECT_EQ(output->bitmap[1], 0x00);     // cell 0, pixel row 1: not reached
    EXPECT_EQ(output->bitmap[320], 0x00);   // cell 40
    EXPECT_EQ(output->screen[39], 0x06);
    EXPECT_EQ(output->screen[40], 0x00);
    EXPECT_EQ(source->screen[0], 0x66);     // normalised: all pairs are 00
    EXPECT_EQ(source->colour[0], 0x06);
    EXPECT_EQ(source->screen[40], 0x12);
    EXPECT_EQ(source->colour[40], 0x03);
}

TEST(MulticolourPass, ColourWithoutPatternFailsAtTheFirstRowThatShowsIt) {
    // Background byte 0x15 has no pattern. Cell 1 shows it (pair 00) only in
    // its pixel row 3; every other byte is all pairs 01.
    auto source = uniform_multicolour_picture(0x15, 0x12, 0x03);
    source->bitmap.fill(0x55);
    source->bitmap[8 + 3] = 0x54;
    auto output = uniform_multicolour_picture(0, 0, 0);
    MulticolourSlots slots = {5, 1, 2, 3};
    EXPECT_EQ(reencode_multicolour_picture(*source, *output, slots, 4, allow_all), ERR_VALUE_TOO_LARGE);
    EXPECT_EQ(output->bitmap[2], 0x55);        // cell 0, pixel row 2
    EXPECT_EQ(output->bitmap[3], 0x55);        // cell 0, pixel row 3: before cell 1 in the walk
    EXPECT_EQ(output->bitmap[8 + 2], 0x55);    // cell 1, pixel row 2
    EXPECT_EQ(output->bitmap[8 + 3], 0x00);    // cell 1, pixel row 3: the failing byte
    EXPECT_EQ(output->bitmap[16 + 3], 0x00);   // cell 2, pixel row 3: not reached
    EXPECT_EQ(output->bitmap[16 + 2], 0x55);
    EXPECT_EQ(output->screen[1], 0x12);        // the colours are stored before the byte
    EXPECT_EQ(output->screen[40], 0x00);
}

TEST(HiresPass, SetBitsAndInversion) {
    // Only set bits, high nybble 5 = fixed slot 0: every bit becomes clear.
    auto source = uniform_hires_picture(0xFF, 0x5A);
    auto output = uniform_hires_picture(0x77, 0x77);
    HiresSlots slots = {5, 9};
    ASSERT_EQ(reencode_hires_picture(*source, *output, slots, 2, allow_all), ERR_SUCCESS);
    EXPECT_EQ(output->bitmap[0], 0x00);
    EXPECT_EQ(output->bitmap[7999], 0x00);
    EXPECT_EQ(output->screen[0], 0x95);
    EXPECT_EQ(source->screen[0], 0x55);

    source = uniform_hires_picture(0x3C, 0x1E);
    source->bitmap[9] = 0x81;
    slots = {1, 14};
    ASSERT_EQ(reencode_hires_picture(*source, *output, slots, 2, allow_all), ERR_SUCCESS);
    EXPECT_EQ(output->bitmap[0], 0xC3);
    EXPECT_EQ(output->bitmap[9], 0x7E);
    EXPECT_EQ(output->screen[999], 0xE1);

    slots = {16, 1};
    EXPECT_EQ(reencode_hires_picture(*source, *output, slots, 2, allow_all), ERR_VALUE_TOO_LARGE);
}
