// Palettes, rendering and encoding of cells and pictures, cell checks.
#include <algorithm>
#include <memory>

#include <gtest/gtest.h>

#include "c64/pixel.h"
#include "support/test_pictures.h"

namespace {

using Rgb = std::array<std::uint8_t, 3>;

Rgb rgb(std::uint32_t value) {
    return {static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 8),
            static_cast<std::uint8_t>(value)};
}

CellBlock block_of_rows(std::initializer_list<std::array<std::uint8_t, 8>> rows) {
    CellBlock block{};
    block.pixels.fill(0);
    int row = 0;
    for (const auto& pixels : rows) std::copy(pixels.begin(), pixels.end(), block.pixels.begin() + 8 * row++);
    return block;
}

std::vector<int> first_row(const CellBlock& block) {
    return {block.pixels.begin(), block.pixels.begin() + 8};
}

TEST(Palettes, TableHoldsTheThirteenPalettes) {
    EXPECT_EQ(c64_palettes[12][1], rgb(0xFCFCFC));
    EXPECT_EQ(c64_palettes[12][15], rgb(0xC8C8C8));
    EXPECT_EQ(c64_palettes[0][3], rgb(0xAAFFEE));
    EXPECT_EQ(c64_palettes[10][0], rgb(0x404040));
    EXPECT_EQ(c64_palettes[9][13], rgb(0x91FF75));
    for (int c = 0; c < 16; ++c) {
        const Rgb& one = c64_palettes[1][c];
        EXPECT_EQ(c64_palettes[2][c], (Rgb{one[2], one[1], one[0]})) << "colour " << c;
        if (c != 0 && c != 5) {
            EXPECT_EQ(c64_palettes[3][c], c64_palettes[7][c]) << "colour " << c;
        }
    }
    EXPECT_EQ(c64_palettes[3][0], rgb(0x040504));
    EXPECT_EQ(c64_palettes[7][5], rgb(0x1FA21E));
}

TEST(Rendering, CellsAndPictures) {
    CellRecord record{{0x1B, 0, 0, 0, 0, 0, 0, 0}, {6, 1, 2, 3}};
    CellBlock block{};
    render_multicolour_cell(block, record);
    EXPECT_EQ(first_row(block), (std::vector<int>{6, 6, 1, 1, 2, 2, 3, 3}));
    EXPECT_EQ(block.pixels[8], 6);

    record = {{0x80, 0, 0, 0, 0, 0, 0, 0}, {0x0E, 0x01, 0, 0}};  // screen byte 0x1E
    render_hires_cell(block, record);
    EXPECT_EQ(first_row(block), (std::vector<int>{1, 14, 14, 14, 14, 14, 14, 14}));

    // A blank bitmap shows the background everywhere; the palette is row 12, then black.
    auto picture = random_multicolour_picture(3, 6);
    picture->bitmap.fill(0);
    auto image = rendered(*picture);
    EXPECT_TRUE(std::all_of(image->pixels.begin(), image->pixels.end(), [](std::uint8_t p) { return p == 6; }));
    for (std::size_t c = 0; c < 16; ++c) {
        const auto* entry = image->palette.data() + 3 * c;
        EXPECT_EQ(Rgb({entry[0], entry[1], entry[2]}), c64_palettes[12][c]);
    }
    EXPECT_TRUE(std::all_of(image->palette.begin() + 48, image->palette.end(), [](std::uint8_t b) { return b == 0; }));

    // Cell 41 is at x 8 to 15, y 8 to 15; a stray high nybble of the background shows as its low nybble.
    picture->background = 0xF6;
    picture->bitmap[41 * 8 + 7] = 0xFF;
    picture->colour[41] = 0xF9;
    image = rendered(*picture);
    EXPECT_EQ(image->pixels[15 * 320 + 8], 9);
    EXPECT_EQ(image->pixels[15 * 320 + 16], 6);
    EXPECT_EQ(image->pixels[0], 6);
    // Any palette of the library renders; past its last, none.
    ASSERT_EQ(render_multicolour_picture(*picture, *image, 16), ERR_SUCCESS);
    EXPECT_EQ(image->palette[3 * 2], 0xBC);  // vice's red, BC5241
    EXPECT_EQ(image->palette[3 * 2 + 2], 0x41);
    EXPECT_EQ(render_multicolour_picture(*picture, *image, LIBRARY_PALETTE_COUNT), ERR_INDEX_OUT_OF_TABLE);
    EXPECT_EQ(render_multicolour_picture(*picture, *image, -1), ERR_INDEX_OUT_OF_TABLE);
}

// The library is numbered by its files: the built-in palettes first, then the
// emulators' and pixel editors' in their agreed order.
TEST(PaletteLibrary, NumbersNamesAndColoursComeFromThePaletteFiles) {
    ASSERT_EQ(LIBRARY_PALETTE_COUNT, 27);
    const char* const added[] = {"colodore",  "colodore-variant", "lospec-commodore-64", "vice",
                                 "vice-3.7.1-internal", "vice-old-lum", "archmage", "electric",
                                 "le-funge",  "lenyn", "pantaloon", "perplex-1", "perplex-2", "ste"};
    for (int p = 13; p < LIBRARY_PALETTE_COUNT; ++p) EXPECT_STREQ(library_palette_name(p), added[p - 13]) << p;
    for (int p = 0; p < PALETTE_COUNT; ++p) {
        for (int c = 0; c < 16; ++c) {
            const std::uint32_t rgb = library_colour(p, c);
            EXPECT_EQ(c64_palettes[p][c], (Rgb{static_cast<std::uint8_t>(rgb >> 16), static_cast<std::uint8_t>(rgb >> 8),
                                               static_cast<std::uint8_t>(rgb)}));
        }
    }
    EXPECT_EQ(library_colour(15, 2), 0x9F4E44u);  // the pixel editors' red
    EXPECT_EQ(library_colour(26, 0), 0x000000u);
    EXPECT_EQ(library_colour(13, 15), 0xB2B2B2u);
}

TEST(Encoding, SlotsFollowFirstAppearance) {
    CellRecord record{};
    encode_multicolour_cell(record, block_of_rows({{5, 5, 2, 2, 0, 0, 0, 0}}), 0);
    EXPECT_EQ(record.bitmap, (std::array<std::uint8_t, 8>{0x60, 0, 0, 0, 0, 0, 0, 0}));
    auto picture = random_multicolour_picture(1, 0);
    picture_cell_put(record, *picture, 7);
    EXPECT_EQ(picture->screen[7], 0x52);
    EXPECT_EQ(picture->colour[7], 0);
    EXPECT_EQ(picture->background, 0);

    CellBlock one_colour{};
    one_colour.pixels.fill(11);
    encode_hires_cell(record, one_colour);
    EXPECT_EQ(record.bitmap, (std::array<std::uint8_t, 8>{}));
    EXPECT_EQ(record.slots[0], 11);
    EXPECT_EQ(record.slots[1], 0);
    encode_hires_cell(record, block_of_rows({{4, 4, 9, 4, 4, 4, 4, 9}}));
    EXPECT_EQ(record.bitmap[0], 0x21);
    EXPECT_EQ(record.bitmap[1], 0xFF);  // row 1 is 0: a colour of neither slot takes the last one
    EXPECT_EQ(record.slots[0], 4);
    EXPECT_EQ(record.slots[1], 9);
}

TEST(Encoding, CellsBeyondTheLimitsStayInsideTheRecord) {
    // Four colours besides background 0: the fourth shares the last slot.
    CellRecord record{};
    encode_multicolour_cell(record, block_of_rows({{1, 1, 2, 2, 3, 3, 4, 4}, {0x15, 0x15, 0, 0, 0, 0, 0, 0}}), 0);
    EXPECT_EQ(record.slots, (std::array<std::uint8_t, 4>{0, 1, 2, 3}));
    EXPECT_EQ(record.bitmap[0], 0x6F);  // pairs 01 10 11 11
    EXPECT_EQ(record.bitmap[1], 0xC0);  // 0x15 is taken as 5, which finds no free slot either
    encode_multicolour_cell(record, block_of_rows({{0x15, 0x15, 0, 0, 0, 0, 0, 0}}), 0x10);
    EXPECT_EQ(record.slots, (std::array<std::uint8_t, 4>{0, 5, 0, 0}));
    EXPECT_EQ(record.bitmap[0], 0x40);
}

TEST(Encoding, RenderEncodeRenderKeepsThePixels) {
    const auto picture = random_multicolour_picture(11, 6);
    const auto image = rendered(*picture);
    auto encoded = std::make_unique<C64Picture>();
    ASSERT_EQ(encode_multicolour_picture(6, *image, *encoded), 0);
    EXPECT_EQ(encoded->background, 6);
    EXPECT_TRUE(rendered(*encoded)->pixels == image->pixels);

    const auto hires = random_hires_picture(12);
    const auto hires_image = rendered(*hires);
    auto hires_encoded = std::make_unique<HiresPicture>();
    ASSERT_EQ(encode_hires_picture(*hires_image, *hires_encoded), 0);
    EXPECT_TRUE(rendered(*hires_encoded)->pixels == hires_image->pixels);
    // The top-left colour of every cell is on the clear bits.
    for (int cell = 0; cell < 1000; ++cell) ASSERT_EQ(hires_encoded->bitmap[cell * 8] & 0x80, 0);
}

TEST(MostUsedColour, LowestIndexWinsATie) {
    auto image = blank_image();
    std::uint8_t colour = 99;
    std::fill(image->pixels.begin(), image->pixels.begin() + 32000, 9);
    std::fill(image->pixels.begin() + 32000, image->pixels.end(), 3);
    most_used_colour(*image, colour);
    EXPECT_EQ(colour, 3);
    image->pixels[0] = 3;
    image->pixels[1] = 200;  // not a colour: counts for nothing
    most_used_colour(*image, colour);
    EXPECT_EQ(colour, 3);
    std::fill(image->pixels.begin(), image->pixels.end(), 16);
    most_used_colour(*image, colour);
    EXPECT_EQ(colour, 0);
}

TEST(CellColourCheck, CountsDistinctColours) {
    const CellBlock four = block_of_rows({{0, 0, 2, 2, 5, 5, 7, 7}});
    std::uint8_t verdict = 9;
    cell_colour_check(four, false, 5, verdict);
    EXPECT_EQ(verdict, 0);
    cell_colour_check(four, false, 6, verdict);
    EXPECT_EQ(verdict, 1);
    const CellBlock five = block_of_rows({{0, 1, 2, 2, 5, 5, 7, 7}});
    cell_colour_check(five, false, 0, verdict);
    EXPECT_EQ(verdict, 1);
    const CellBlock three = block_of_rows({{0, 0, 2, 2, 5, 5, 5, 5}});
    cell_colour_check(three, true, 0, verdict);
    EXPECT_EQ(verdict, 1);
    cell_colour_check(three, false, 9, verdict);
    EXPECT_EQ(verdict, 0);
    CellBlock two_and_200{};
    two_and_200.pixels.fill(2);
    two_and_200.pixels[5] = 200;
    cell_colour_check(two_and_200, true, 0, verdict);
    EXPECT_EQ(verdict, 0);
}

TEST(Encoding, HiresCellPutStoresBitsAndTheSetBitColourHigh) {
    auto picture = std::make_unique<HiresPicture>();
    CellRecord record{};
    record.bitmap = {0x80, 1, 2, 3, 4, 5, 6, 0xFF};
    record.slots = {0x1E, 0x07, 9, 9};  // a stray high nybble in slot 0 is dropped
    ASSERT_EQ(hires_picture_cell_put(record, *picture, 999), ERR_SUCCESS);
    EXPECT_EQ(picture->bitmap[999 * 8], 0x80);
    EXPECT_EQ(picture->bitmap[7999], 0xFF);
    EXPECT_EQ(picture->screen[999], 0x7E);
    EXPECT_EQ(picture->screen[998], 0x00);
}

TEST(CellNumbers, CellThousandIsRefused) {
    auto image = blank_image();
    auto picture = random_multicolour_picture(2, 0);
    CellBlock block{};
    CellRecord record{};
    EXPECT_EQ(cell_block_get(1000, *image, block), ERR_INDEX_OUT_OF_TABLE);
    EXPECT_EQ(cell_block_put(1000, block, *image), ERR_INDEX_OUT_OF_TABLE);
    EXPECT_EQ(picture_cell_get(record, 1000, *picture), ERR_INDEX_OUT_OF_TABLE);
    EXPECT_EQ(picture_cell_put(record, *picture, 1000), ERR_INDEX_OUT_OF_TABLE);
    auto hires = std::make_unique<HiresPicture>();
    EXPECT_EQ(hires_picture_cell_put(record, *hires, 1000), ERR_INDEX_OUT_OF_TABLE);
    EXPECT_EQ(cell_block_get(999, *image, block), 0);
    fill_cell(*image, 999, 4);
    EXPECT_EQ(image->pixels[63999], 4);
    EXPECT_EQ(image->pixels[192 * 320 + 311], 0);
}

}  // namespace
