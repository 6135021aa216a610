// Runnable programs: the file a C64 loads and RUNs, checked byte by byte.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "runnable/runnable_program.h"
#include "support/test_pictures.h"

namespace {

std::size_t offset_of(std::uint16_t address) {
    return 2 + static_cast<std::size_t>(address - PROGRAM_LOAD_ADDRESS);
}

std::uint16_t word_at(const RunnableProgram& program, std::size_t offset) {
    return static_cast<std::uint16_t>(program.bytes[offset] | program.bytes[offset + 1] << 8);
}

// The SYS number of the first BASIC line, as the BASIC interpreter reads it:
// blanks skipped, digits up to the first other byte. -1 when there is no SYS.
long sys_target(const RunnableProgram& program) {
    std::size_t at = offset_of(0x0805);
    if (program.bytes[at++] != 0x9E) {
        return -1;
    }
    while (program.bytes[at] == ' ') ++at;
    long number = 0;
    bool any_digit = false;
    while (program.bytes[at] >= '0' && program.bytes[at] <= '9' && number < 100000) {
        number = number * 10 + (program.bytes[at++] - '0');
        any_digit = true;
    }
    return any_digit ? number : -1;
}

void expect_program_shape(const RunnableProgram& program) {
    EXPECT_EQ(program.bytes[0], 0x01);
    EXPECT_EQ(program.bytes[1], 0x08);
    // The line's link points at the two zero bytes that end the BASIC program.
    const std::uint16_t link = word_at(program, offset_of(0x0801));
    ASSERT_GT(link, 0x0805);
    ASSERT_LT(link, PROGRAM_SCREEN_DATA);
    EXPECT_EQ(word_at(program, offset_of(link)), 0);
    EXPECT_EQ(program.bytes[offset_of(link) - 1], 0) << "the line ends with a zero byte";
    const long target = sys_target(program);
    ASSERT_GE(target, link + 2) << "SYS jumps behind the BASIC program";
    ASSERT_LT(target, PROGRAM_SCREEN_DATA) << "SYS jumps into the displayer";
    EXPECT_EQ(program.bytes[offset_of(static_cast<std::uint16_t>(target))], 0x78) << "SEI comes first";
    const std::size_t last_address = PROGRAM_LOAD_ADDRESS + program.bytes.size() - 3;
    EXPECT_LT(last_address, 0xD000u) << "the program must end below the I/O area";
}

TEST(RunnableProgram, MulticolourFileLoadsAtBasicStartAndHoldsThePictureWhereDocumented) {
    auto picture = random_multicolour_picture(11, 0x37);  // a background byte with a high nybble, as files have
    auto program = std::make_unique<RunnableProgram>();
    ASSERT_EQ(multicolour_to_program(*picture, *program), 0);
    expect_program_shape(*program);
    EXPECT_EQ(program->bytes.size(), 14145u);
    for (int cell = 0; cell < CELL_COUNT; ++cell) {
        const auto at = static_cast<std::size_t>(cell);
        ASSERT_EQ(program->bytes[offset_of(PROGRAM_SCREEN_DATA) + at], picture->screen[at]) << cell;
        ASSERT_EQ(program->bytes[offset_of(PROGRAM_COLOUR_DATA) + at], picture->colour[at]) << cell;
    }
    for (std::size_t at = 0; at < BITMAP_SIZE; ++at) {
        ASSERT_EQ(program->bytes[offset_of(PROGRAM_BITMAP) + at], picture->bitmap[at]) << at;
    }
    EXPECT_EQ(program->bytes[offset_of(PROGRAM_BACKGROUND)], 7);
    EXPECT_EQ(program->bytes[offset_of(PROGRAM_BORDER)], 7) << "the border is the background colour";
    EXPECT_EQ(program->bytes.back(), picture->bitmap.back()) << "the file ends with the bitmap";
}

TEST(RunnableProgram, HiresFileHasItsOwnDisplayerAndTheBorderGiven) {
    auto picture = random_hires_picture(12);
    auto hires = std::make_unique<RunnableProgram>();
    ASSERT_EQ(hires_to_program(*picture, 0xF9, *hires), 0);
    expect_program_shape(*hires);
    EXPECT_EQ(hires->bytes[offset_of(PROGRAM_BORDER)], 9);
    for (int cell = 0; cell < CELL_COUNT; ++cell) {
        const auto at = static_cast<std::size_t>(cell);
        ASSERT_EQ(hires->bytes[offset_of(PROGRAM_SCREEN_DATA) + at], picture->screen[at]) << cell;
        ASSERT_EQ(hires->bytes[offset_of(PROGRAM_COLOUR_DATA) + at], 0) << cell;
    }
    for (std::size_t at = 0; at < BITMAP_SIZE; ++at) {
        ASSERT_EQ(hires->bytes[offset_of(PROGRAM_BITMAP) + at], picture->bitmap[at]) << at;
    }
    // Same areas in a multicolour program, but not the same code: the mode
    // is the displayer's.
    auto multicolour_picture = random_multicolour_picture(12, 9);
    auto multicolour = std::make_unique<RunnableProgram>();
    ASSERT_EQ(multicolour_to_program(*multicolour_picture, *multicolour), 0);
    EXPECT_FALSE(std::equal(hires->bytes.begin(), hires->bytes.begin() + offset_of(PROGRAM_SCREEN_DATA),
                            multicolour->bytes.begin()));
}

TEST(RunnableProgram, OnlyTheExtensionPrgInAnyCaseNamesAProgram) {
    for (const char* name : {"pic.prg", "PIC.PRG", "a.b.Prg", "dir.x/pic.pRg"}) {
        EXPECT_TRUE(names_program_file(name)) << name;
    }
    for (const char* name : {"prg", "pic.prgx", "pic.pr", "pic.prg.koa", "x.prg/pic", "pic.png", ".prg/a"}) {
        EXPECT_FALSE(names_program_file(name)) << name;
    }
}

}  // namespace
