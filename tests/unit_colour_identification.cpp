// Identifying C64 colour numbers in desktop pictures by colour or by index.
#include <algorithm>
#include <map>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "identify/colour_identification.h"
#include "c64/pixel.h"
#include "support/test_pictures.h"

namespace {

// An emulator palette that is in no list of the library: what the approximate
// reading is meant for.
constexpr std::array<std::uint32_t, 16> foreign_palette = {
    0x000000, 0xFFFFFF, 0xAF2A29, 0x62D8CC, 0xB03FB6, 0x4AC64A, 0x3739C4, 0xE4ED4E,
    0xB6591C, 0x683808, 0xEA746C, 0x4D4D4D, 0x848484, 0xA6FA9E, 0x707CE6, 0xB6B6B5};

std::uint32_t builtin(int palette, int number) {
    return library_colour(palette, number);
}

// A picture whose C64 number at (x, y) is numbers[(x / 8 + y / 8) % size].
std::vector<int> stripes(const std::vector<int>& numbers) {
    std::vector<int> picture(IMAGE_PIXELS);
    for (int i = 0; i < IMAGE_PIXELS; ++i) {
        const int x = i % IMAGE_WIDTH;
        const int y = i / IMAGE_WIDTH;
        picture[i] = numbers[(x / 8 + y / 8) % numbers.size()];
    }
    return picture;
}

std::unique_ptr<ColourImage> coloured(const std::vector<int>& picture, const std::array<std::uint32_t, 16>& colours) {
    auto source = std::make_unique<ColourImage>();
    for (int i = 0; i < IMAGE_PIXELS; ++i) {
        source->colours[i] = colours[picture[i]];
        source->indices[i] = 0;
    }
    source->has_indices = false;
    source->x_offset = 0;
    source->y_offset = 0;
    source->x_divisor = 1;
    return source;
}

std::array<std::uint32_t, 16> builtin_palette(int palette) {
    std::array<std::uint32_t, 16> colours{};
    for (int c = 0; c < 16; ++c) colours[c] = builtin(palette, c);
    return colours;
}

struct Result {
    ErrorCode code;
    ColourReading reading;
    std::unique_ptr<PixelImage> image;
};

Result identify(const ColourImage& source) {
    Result result{0, {}, std::make_unique<PixelImage>()};
    result.code = identify_colours(source, *result.image, result.reading);
    return result;
}

bool pixels_are(const PixelImage& image, const std::vector<int>& picture) {
    for (int i = 0; i < IMAGE_PIXELS; ++i) {
        if (image.pixels[i] != picture[i]) return false;
    }
    return true;
}

const std::vector<int> all_sixteen = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};

TEST(KnownColours, NoColourOfTheBuiltInPalettesHasTwoNumbers) {
    std::map<std::uint32_t, int> number_of;
    for (int p = 0; p < PALETTE_COUNT; ++p) {
        for (int c = 0; c < 16; ++c) {
            const auto [entry, added] = number_of.emplace(builtin(p, c), c);
            EXPECT_EQ(entry->second, c) << "palette " << p << " colour " << c;
        }
    }
}

TEST(ExactReading, EveryBuiltInPaletteReadsToItsNumbersAndNamesItself) {
    const auto picture = stripes(all_sixteen);
    for (int p = 0; p < PALETTE_COUNT; ++p) {
        const auto result = identify(*coloured(picture, builtin_palette(p)));
        ASSERT_EQ(result.code, ERR_SUCCESS) << "palette " << p;
        EXPECT_EQ(result.reading.kind, ColourReadingKind::exact);
        EXPECT_TRUE(pixels_are(*result.image, picture)) << "palette " << p;
        // Palettes 3 and 7 share all colours but two; the full set tells them apart.
        EXPECT_EQ(result.reading.palette, p);
        EXPECT_EQ(result.image->palette[3 * 2], c64_palettes[p][2][0]);
        EXPECT_EQ(result.image->palette[3 * 16], 0);
        EXPECT_EQ(result.image->palette[3 * 255 + 2], 0);
    }
}

TEST(ExactReading, ColoursSharedByPalettesNameTheDefaultOrTheLowest) {
    // Black and white of palette 0 are also those of most others, palette 12's white excepted.
    const auto picture = stripes({0, 1});
    const auto result = identify(*coloured(picture, builtin_palette(0)));
    ASSERT_EQ(result.code, ERR_SUCCESS);
    EXPECT_EQ(result.reading.palette, 0);
    const auto with_default = identify(*coloured(stripes({0, 7}), builtin_palette(12)));
    ASSERT_EQ(with_default.code, ERR_SUCCESS);
    EXPECT_EQ(with_default.reading.palette, 12);
}

// Identification goes by whole palettes: colours from several palettes are
// never read exactly colour by colour.
TEST(ExactReading, MixedPalettesAreNotReadExactly) {
    auto colours = builtin_palette(5);
    colours[2] = builtin(0, 2);
    colours[7] = builtin(12, 7);
    const auto picture = stripes(all_sixteen);
    const auto result = identify(*coloured(picture, colours));
    if (result.code == ERR_SUCCESS) {
        EXPECT_NE(result.reading.kind, ColourReadingKind::exact);
        EXPECT_TRUE(pixels_are(*result.image, picture));
    } else {
        EXPECT_EQ(result.code, ERR_UNKNOWN_COLOURS);
    }
}

// A palette whose entries 0 to 15 are a library palette's colours, slightly
// changed, in C64 order.
std::unique_ptr<ColourImage> indexed_in_c64_order(const std::vector<int>& picture, int library_palette) {
    auto source = coloured(stripes({0}), {});
    for (int i = 0; i < IMAGE_PIXELS; ++i) source->indices[i] = static_cast<std::uint8_t>(picture[i]);
    for (std::uint32_t index = 0; index < 256; ++index) source->palette[index] = 0x123400u + index;
    for (int c = 0; c < 16; ++c) source->palette[c] = builtin(library_palette, c) ^ 0x030102u;
    source->has_indices = true;
    return source;
}

TEST(IndexReading, PaletteInC64OrderOfUnknownColoursIsReadByIndex) {
    const auto picture = stripes({4, 9, 15});
    auto source = indexed_in_c64_order(picture, 16);
    // Colours of the picture that no palette holds, and too few to read approximately.
    source->palette[4] = 0x9A4FD0;
    const auto result = identify(*source);
    ASSERT_EQ(result.code, ERR_SUCCESS);
    EXPECT_EQ(result.reading.kind, ColourReadingKind::indices);
    EXPECT_TRUE(pixels_are(*result.image, picture));
    EXPECT_EQ(result.image->palette[3 * 4 + 2], 0xD0);  // the file's own colour of index 4
    EXPECT_EQ(result.image->palette[3 * 5 + 1], (builtin(16, 5) ^ 0x030102u) >> 8 & 0xFF);
    EXPECT_EQ(describe_colour_reading(result.reading),
              "colours read by palette index (the file's palette is palette 16, vice)\n");
}

// The indices are trusted only when the file's palette says they are C64
// numbers: entry k nearest colour k of one library palette, every k.
TEST(IndexReading, PaletteNotInC64OrderIsReadByColourOrRefused) {
    // A known palette sorted by brightness reads right by its colours.
    std::vector<int> by_brightness = {0, 6, 9, 11, 2, 4, 8, 12, 14, 10, 5, 3, 15, 7, 13, 1};
    const auto picture = stripes(all_sixteen);
    for (const int palette : {5, 13, 16, 23}) {
        auto source = coloured(stripes({0}), {});
        for (int k = 0; k < 16; ++k) source->palette[k] = builtin(palette, by_brightness[k]);
        for (int i = 0; i < IMAGE_PIXELS; ++i) {
            source->indices[i] = static_cast<std::uint8_t>(
                std::find(by_brightness.begin(), by_brightness.end(), picture[i]) - by_brightness.begin());
        }
        source->has_indices = true;
        const auto result = identify(*source);
        ASSERT_EQ(result.code, ERR_SUCCESS) << palette;
        EXPECT_EQ(result.reading.kind, ColourReadingKind::exact);
        EXPECT_TRUE(pixels_are(*result.image, picture)) << palette;
    }
    // Unknown colours, in any order, are refused.
    TestBytes bytes(3);
    for (int attempt = 0; attempt < 20; ++attempt) {
        auto source = coloured(stripes({0}), {});
        for (auto& entry : source->palette) {
            entry = static_cast<std::uint32_t>(bytes.next()) << 16 | static_cast<std::uint32_t>(bytes.next()) << 8 |
                    bytes.next();
        }
        for (int i = 0; i < IMAGE_PIXELS; ++i) source->indices[i] = static_cast<std::uint8_t>(picture[i]);
        source->has_indices = true;
        EXPECT_EQ(identify(*source).code, ERR_UNKNOWN_COLOURS) << attempt;
    }
    // Greys in C64 order are no C64 palette.
    auto greys = coloured(stripes({0}), {});
    for (int k = 0; k < 16; ++k) greys->palette[k] = 0x111111u * static_cast<std::uint32_t>(k);
    for (int i = 0; i < IMAGE_PIXELS; ++i) greys->indices[i] = static_cast<std::uint8_t>(picture[i]);
    greys->has_indices = true;
    EXPECT_EQ(identify(*greys).code, ERR_UNKNOWN_COLOURS);
}

// A file's palette sorted by brightness, holding the 16 colours of a palette.
std::unique_ptr<ColourImage> indexed_by_brightness(const std::vector<int>& picture,
                                                   const std::array<std::uint32_t, 16>& colours) {
    static const std::vector<int> by_brightness = {0, 6, 9, 11, 2, 4, 8, 12, 14, 10, 5, 3, 15, 7, 13, 1};
    auto source = coloured(stripes({0}), {});
    source->palette.fill(0);
    for (int k = 0; k < 16; ++k) source->palette[k] = colours[by_brightness[k]];
    for (int i = 0; i < IMAGE_PIXELS; ++i) {
        source->indices[i] = static_cast<std::uint8_t>(
            std::find(by_brightness.begin(), by_brightness.end(), picture[i]) - by_brightness.begin());
    }
    source->has_indices = true;
    return source;
}

TEST(FilePaletteReading, AWholePaletteInTheFileSettlesColoursThatAloneAreNotClear) {
    // Alone, these twelve foreign colours are refused (blue could be purple);
    // the file's palette holds all sixteen, which read clearly.
    const auto picture = stripes({0, 1, 2, 6, 7, 8, 9, 10, 11, 12, 14, 15});
    ASSERT_EQ(identify(*coloured(picture, foreign_palette)).code, ERR_UNKNOWN_COLOURS);
    const auto result = identify(*indexed_by_brightness(picture, foreign_palette));
    ASSERT_EQ(result.code, ERR_SUCCESS);
    EXPECT_EQ(result.reading.kind, ColourReadingKind::file_palette);
    EXPECT_TRUE(pixels_are(*result.image, picture));
    EXPECT_EQ(describe_colour_reading(result.reading),
              "colours read through the file's palette of 16 colours (palette 15, lospec-commodore-64)\n");
    // Greys alone, doubted as colours, are settled by the palette they came with.
    const auto greys = stripes({0, 15});
    const auto in_vice = identify(*indexed_by_brightness(greys, builtin_palette(16)));
    ASSERT_EQ(in_vice.code, ERR_SUCCESS);
    EXPECT_TRUE(pixels_are(*in_vice.image, greys));
    // Sixteen colours that are no C64 palette settle nothing.
    std::array<std::uint32_t, 16> greys_only{};
    for (std::uint32_t k = 0; k < 16; ++k) greys_only[k] = 0x111111u * k;
    EXPECT_EQ(identify(*indexed_by_brightness(stripes({0, 6, 15}), greys_only)).code, ERR_UNKNOWN_COLOURS);
}

TEST(IndexReading, KnownColoursWinOverIndices) {
    const auto picture = stripes({2, 6});
    auto source = coloured(picture, builtin_palette(12));
    // A reordered palette: index i holds colour 15 - i.
    for (int i = 0; i < IMAGE_PIXELS; ++i) source->indices[i] = static_cast<std::uint8_t>(15 - picture[i]);
    for (int index = 0; index < 16; ++index) source->palette[index] = builtin(12, 15 - index);
    source->has_indices = true;
    const auto result = identify(*source);
    ASSERT_EQ(result.code, ERR_SUCCESS);
    EXPECT_EQ(result.reading.kind, ColourReadingKind::exact);
    EXPECT_TRUE(pixels_are(*result.image, picture));
}

TEST(IndexReading, IndexAboveFifteenIsRefusedWithItsPlaceInTheFile) {
    auto source = indexed_in_c64_order(stripes({0}), 20);
    source->indices[5 * IMAGE_WIDTH + 100] = 16;
    source->indices[7 * IMAGE_WIDTH + 2] = 200;
    source->x_offset = 32;
    source->y_offset = 35;
    source->x_divisor = 2;
    const auto result = identify(*source);
    EXPECT_EQ(result.code, ERR_UNKNOWN_COLOURS);
    EXPECT_TRUE(result.reading.unknown_is_index);
    EXPECT_EQ(describe_unknown_colour(result.reading), "palette index 16 above 15 at x 82, y 40\n");
}

TEST(UnknownColours, FirstUnknownColourIsNamedInFileCoordinates) {
    auto source = coloured(stripes({0, 1}), builtin_palette(12));
    source->colours[3 * IMAGE_WIDTH + 41] = 0x123456;
    source->colours[9 * IMAGE_WIDTH + 7] = 0x654321;
    source->x_divisor = 2;
    source->y_offset = 35;
    source->x_offset = 32;
    const auto result = identify(*source);
    EXPECT_EQ(result.code, ERR_UNKNOWN_COLOURS);
    EXPECT_FALSE(result.reading.unknown_is_index);
    EXPECT_EQ(describe_unknown_colour(result.reading),
              "unknown colour #123456 at x 52, y 38\n"
              "it lies 26 from colour 11 of palette 6, its nearest fit, too far to be read for certain; -cNN reads it "
              "in the palette you name\n");
}

TEST(UnknownColours, ManyDistinctColoursAreRefused) {
    auto source = coloured(stripes({0}), {});
    for (int i = 0; i < IMAGE_PIXELS; ++i) source->colours[i] = static_cast<std::uint32_t>(i) * 263u;
    source->colours[0] = 0xFFFFFF;
    const auto result = identify(*source);
    EXPECT_EQ(result.code, ERR_UNKNOWN_COLOURS);
    EXPECT_EQ(result.reading.unknown_colour, 263u);
    EXPECT_EQ(result.reading.unknown_x, 1);
}

}  // namespace

namespace {

TEST(ApproximateReading, ForeignEmulatorPaletteIsReadWholeToItsNumbers) {
    const auto picture = stripes(all_sixteen);
    const auto result = identify(*coloured(picture, foreign_palette));
    ASSERT_EQ(result.code, ERR_SUCCESS);
    EXPECT_EQ(result.reading.kind, ColourReadingKind::approximate);
    EXPECT_TRUE(pixels_are(*result.image, picture));
    const int palette = result.reading.palette;
    ASSERT_GE(palette, 0);
    EXPECT_EQ(result.image->palette[3 * 9], library_colour(palette, 9) >> 16);
    const int exact = (library_colour(palette, 0) == 0) + (library_colour(palette, 1) == 0xFFFFFF);
    EXPECT_EQ(result.reading.approximated_colours, 16 - exact);  // black and white may be exact
    const std::string name = library_palette_name(palette);
    EXPECT_EQ(describe_colour_reading(result.reading),
              "colours read approximately: " + std::to_string(16 - exact) + " colours matched to palette " +
                  std::to_string(palette) + (name.empty() ? "" : ", " + name) + "\n");
}

TEST(ApproximateReading, SubsetsOfTheForeignPaletteReadRightOrNotAtAll) {
    // Each subset is drawn in the foreign colours; a reading must give back the numbers drawn.
    const std::vector<std::vector<int>> subsets = {
        {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14},
        {2, 3, 4, 5, 6, 7, 8},
        {1, 6, 11, 12, 15},
        {8, 9},
        {8},
        {15},
        {11, 12},
        {9, 2, 14, 7, 5},
        {2, 4, 5, 8, 9},
        {0, 1, 2, 6, 7, 8, 9, 10, 11, 12, 14, 15},
    };
    int read = 0;
    for (const auto& subset : subsets) {
        const auto picture = stripes(subset);
        const auto result = identify(*coloured(picture, foreign_palette));
        if (result.code == ERR_SUCCESS) {
            ++read;
            EXPECT_TRUE(pixels_are(*result.image, picture)) << "subset of " << subset.size() << " from " << subset[0];
        } else {
            EXPECT_EQ(result.code, ERR_UNKNOWN_COLOURS);
        }
    }
    EXPECT_GE(read, 2);
}

TEST(ExactReading, ColourWithTwoNumbersInThePalettesHoldingItIsNotReadExactly) {
    // 7B7B7B is dark grey in palettes 1 and 2 and grey in palette 13: the
    // palettes that hold all three colours disagree.
    const auto result = identify(*coloured(stripes({0, 1, 2}), {0x000000, 0xFFFFFF, 0x7B7B7B}));
    EXPECT_TRUE(result.code != ERR_SUCCESS || result.reading.kind != ColourReadingKind::exact);
    // Beside a colour only palette 13 holds, it is read there, as grey.
    const auto in_one = identify(*coloured(stripes({0, 1, 2}), {0x000000, 0x7B7B7B, 0x56AC4D}));
    ASSERT_EQ(in_one.code, ERR_SUCCESS);
    EXPECT_EQ(in_one.reading.kind, ColourReadingKind::exact);
    EXPECT_EQ(in_one.reading.palette, 13);
    EXPECT_EQ(in_one.image->pixels[8], 12);
    EXPECT_EQ(in_one.image->pixels[16], 5);
    EXPECT_EQ(describe_colour_reading(in_one.reading), "colours read exactly (palette 13, colodore)\n");
}

TEST(ExactReading, GreysAloneThatAnotherPaletteNumbersOtherwiseAreRefused) {
    // D5D5D5 is light grey in palette 16 and the white of an emulator palette
    // outside the library; black and white alone do not tell which.
    const auto greys = identify(*coloured(stripes({0, 1}), {0x000000, 0xD5D5D5}));
    ASSERT_EQ(greys.code, ERR_UNKNOWN_COLOURS);
    EXPECT_EQ(greys.reading.unknown_reason, UnknownReason::greys_only);
    EXPECT_EQ(describe_unknown_colour(greys.reading).rfind("grey #D5D5D5 at x 8, y 0 is colour 15 of palette 16 (vice) "
                                                           "but near colour 1 of palette ",
                                                           0),
              0u);
    EXPECT_NE(describe_unknown_colour(greys.reading).find("\nblack, white and greys alone do not tell the palette; "
                                                          "-cNN reads it in the palette you name\n"),
              std::string::npos);
    // Pure black and white mean the same in every palette; a chromatic colour
    // tells the palette; a file's palette in C64 order settles the greys.
    EXPECT_EQ(identify(*coloured(stripes({0, 1}), builtin_palette(12))).code, ERR_SUCCESS);
    EXPECT_EQ(identify(*coloured(stripes({0, 1, 2}), {0x000000, 0xD5D5D5, builtin(16, 2)})).code, ERR_SUCCESS);
    const auto picture = stripes({0, 15});
    auto indexed = indexed_in_c64_order(picture, 16);
    for (int c = 0; c < 16; ++c) indexed->palette[c] = builtin(16, c);
    const auto by_index = identify(*indexed);
    ASSERT_EQ(by_index.code, ERR_SUCCESS);
    EXPECT_TRUE(pixels_are(*by_index.image, picture));
}

TEST(ApproximateReading, SubsetWithOrangeAndBrownIsRead) {
    // The foreign orange alone is nearer some palettes' brown; beside the
    // foreign brown the one-to-one pairing settles both.
    const auto picture = stripes({0, 1, 2, 7, 8, 9, 10, 11, 12, 14, 15});
    const auto result = identify(*coloured(picture, foreign_palette));
    ASSERT_EQ(result.code, ERR_SUCCESS);
    EXPECT_EQ(result.reading.kind, ColourReadingKind::approximate);
    EXPECT_TRUE(pixels_are(*result.image, picture));
}

TEST(ApproximateReading, FewColoursThatFitSeveralReadingsAreRefused) {
    // A lone mid grey is dark grey in one palette and grey in others; the
    // foreign orange alone is nearer some palettes' brown.
    for (const std::uint32_t colour : {0x7A7A7Au, 0x7A4A24u}) {
        auto source = coloured(stripes({0}), {colour});
        const auto result = identify(*source);
        EXPECT_EQ(result.code, ERR_UNKNOWN_COLOURS) << std::hex << colour;
        EXPECT_EQ(result.reading.unknown_colour, colour);
    }
    // Two greys that a dim palette reads as dark grey and white.
    const auto two_greys = identify(*coloured(stripes({0, 1}), {0x4A4A4A, 0x7A7A7A}));
    EXPECT_EQ(two_greys.code, ERR_UNKNOWN_COLOURS);
}

TEST(ApproximateReading, TwoColoursNearOneNumberNeverShareIt) {
    // Both yellows are nearest palette 12's yellow; one of them has no other
    // partner close enough, so the image is refused rather than read as one colour.
    auto colours = builtin_palette(12);
    colours[0] = 0xFAFA04;
    const auto picture = stripes({0, 7, 2, 3, 4, 5, 6});
    const auto result = identify(*coloured(picture, colours));
    EXPECT_EQ(result.code, ERR_UNKNOWN_COLOURS);
    EXPECT_NE(result.reading.unknown_reason, UnknownReason::colour);
}

// A library palette with every channel raised, as an emulator's brightness
// setting does: the alternative numberings that come close move one colour
// to a nearby colour of another luminance level, which the picture's other
// colours contradict.
std::array<std::uint32_t, 16> brightened(int palette, std::uint32_t raise) {
    std::array<std::uint32_t, 16> colours{};
    for (int c = 0; c < 16; ++c) {
        for (int shift = 0; shift < 24; shift += 8) {
            colours[c] |= std::min(255u, (library_colour(palette, c) >> shift & 0xFF) + raise) << shift;
        }
    }
    return colours;
}

// Brightened this far, each of these pictures has rival numberings near it
// as the colours stand; shifted back to fit, the right numbering is far
// ahead of every rival.
TEST(ApproximateReading, PicturesOfABrightenedPaletteAreReadOnceShifted) {
    for (const auto& subset : std::vector<std::vector<int>>{all_sixteen,
                                                             {0, 1, 2, 3, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15},
                                                             {0, 1, 2, 5, 6, 8, 9, 10, 11, 12, 13, 14, 15}}) {
        const auto picture = stripes(subset);
        const auto result = identify(*coloured(picture, brightened(16, 20)));
        ASSERT_EQ(result.code, ERR_SUCCESS) << subset.size() << " colours";
        EXPECT_EQ(result.reading.kind, ColourReadingKind::approximate);
        EXPECT_EQ(result.reading.palette, 16);
        EXPECT_TRUE(pixels_are(*result.image, picture)) << subset.size() << " colours";
    }
}

TEST(ApproximateReading, BrightenedLightGreyWithoutWhiteIsRefusedAndSaysWhy) {
    // Raised by 20, light grey is E9E9E9; with no white in the picture it
    // could as well be white.
    const auto result =
        identify(*coloured(stripes({0, 2, 3, 4, 5, 7, 8, 9, 10, 11, 12, 13, 14, 15}), brightened(16, 20)));
    ASSERT_EQ(result.code, ERR_UNKNOWN_COLOURS);
    EXPECT_EQ(describe_unknown_colour(result.reading),
              "unknown colour #E9E9E9 at x 104, y 0\n"
              "it could be colour 15 or colour 1 of palette 16 (vice); -cNN reads it in the palette you name\n");
}

TEST(ApproximateReading, ColourTwoPalettesNumberOtherwiseIsRefusedNamingBoth) {
    const auto result = identify(*coloured(stripes({0, 1, 2, 6, 7, 8, 9, 10, 11, 12, 14, 15}), foreign_palette));
    ASSERT_EQ(result.code, ERR_UNKNOWN_COLOURS);
    EXPECT_EQ(result.reading.unknown_reason, UnknownReason::not_clear);
    EXPECT_NE(result.reading.palette, result.reading.other_palette);
    EXPECT_EQ(describe_unknown_colour(result.reading).rfind("unknown colour #3739C4 at x 24, y 0\nit could be colour 6 of "
                                                            "palette 15 (lospec-commodore-64) or colour 4 of palette 22",
                                                            0),
              0u);
}

TEST(ApproximateReading, PaletteRoundedOtherwiseIsReadNearlyExactly) {
    // Palette 5 as another emulator rounds it, a step lower here and there:
    // once shifted, its yellow could as well be light green, but every
    // colour lies within 1.5 of palette 5's own.
    const auto picture = stripes({0, 1, 2, 3, 4});
    const auto result = identify(*coloured(picture, {0x000000, 0x67372B, 0xB7C66E, 0x6F4E25, 0x423800}));
    ASSERT_EQ(result.code, ERR_SUCCESS);
    EXPECT_EQ(result.reading.kind, ColourReadingKind::approximate);
    EXPECT_EQ(result.reading.palette, 5);
    for (const auto& [pixel, number] : std::vector<std::pair<int, int>>{{0, 0}, {8, 2}, {16, 7}, {24, 8}, {32, 9}}) {
        EXPECT_EQ(result.image->pixels[pixel], number) << pixel;
    }
}

// Palette 4 brightened by 18 and at 60% saturation: its brown is a magenta
// that, as the colours stand, palette 13's purple matches best by a wide
// margin. Shifted back, palette 4 fits better, so the picture is refused.
TEST(ApproximateReading, PictureAnotherPaletteFitsBetterOnceShiftedIsRefused) {
    constexpr std::array<std::uint32_t, 16> pale_rgbi = {0x121212, 0xFFFFFF, 0x8C2626, 0x97FDFD, 0xE983E9, 0x3AA03A,
                                                         0x1A1A80, 0xFFFFA3, 0xB4B44E, 0x942E94, 0xE17B7B, 0x676767,
                                                         0x42A8A8, 0x8FF58F, 0x6F6FD5, 0xBCBCBC};
    for (const auto& subset : std::vector<std::vector<int>>{{5, 6, 7, 9, 10, 13}, {0, 5, 6, 7, 9, 10, 11, 13}}) {
        const auto result = identify(*coloured(stripes(subset), pale_rgbi));
        EXPECT_EQ(result.code, ERR_UNKNOWN_COLOURS) << subset.size() << " colours";
    }
}

TEST(ApproximateReading, AmbiguousFewColoursOfABrightenedPaletteAreRefused) {
    // Black and grey, or grey and light grey, raised: as near other numberings.
    for (const auto& subset : std::vector<std::vector<int>>{{0, 12}, {12, 15}, {11, 12, 15}}) {
        const auto result = identify(*coloured(stripes(subset), brightened(16, 20)));
        EXPECT_EQ(result.code, ERR_UNKNOWN_COLOURS) << subset.size() << " colours from " << subset[0];
    }
}

TEST(ApproximateReading, PictureAlmostExactlyInAnotherNumberingIsRefused) {
    // Palette 18's colours at half saturation: within 2 of palette 15's
    // black, white, blue, dark grey and light grey, though drawn as grey.
    const std::array<std::uint32_t, 16> colours = {0x000000, 0xFFFFFF, 0x574C9E, 0x5C5C5C, 0xB0B0B0};
    const auto result = identify(*coloured(stripes({0, 1, 2, 3, 4}), colours));
    EXPECT_EQ(result.code, ERR_UNKNOWN_COLOURS);
}

TEST(ApproximateReading, SlightlyChangedBuiltInPalettesReadRightOrNotAtAll) {
    const auto picture = stripes(all_sixteen);
    TestBytes bytes(8);
    int read = 0;
    for (int p = 0; p < PALETTE_COUNT; ++p) {
        auto colours = builtin_palette(p);
        for (auto& colour : colours) {
            std::uint32_t changed = 0;
            for (int shift = 16; shift >= 0; shift -= 8) {
                const int channel = static_cast<int>(colour >> shift & 0xFF) + bytes.next() % 13 - 6;
                changed |= static_cast<std::uint32_t>(std::clamp(channel, 0, 255)) << shift;
            }
            colour = changed;
        }
        const auto result = identify(*coloured(picture, colours));
        if (result.code == ERR_SUCCESS) {
            ++read;
            EXPECT_TRUE(pixels_are(*result.image, picture)) << "palette " << p;
        }
    }
    EXPECT_GE(read, 8);
}

}  // namespace

namespace {

// The same picture held as a palette-based image: palette entry i is
// colours[order[i]], and each pixel's index names its colour.
std::unique_ptr<ColourImage> palette_based(const ColourImage& rgb_source, const std::vector<std::uint32_t>& palette) {
    auto source = std::make_unique<ColourImage>(rgb_source);
    source->palette.fill(0);
    std::copy(palette.begin(), palette.end(), source->palette.begin());
    for (int i = 0; i < IMAGE_PIXELS; ++i) {
        const auto entry = std::find(palette.begin(), palette.end(), rgb_source.colours[i]);
        source->indices[i] = static_cast<std::uint8_t>(entry - palette.begin());
    }
    source->has_indices = true;
    return source;
}

void expect_same_results(const Result& by_colour, const Result& by_index, const std::string& what) {
    ASSERT_EQ(by_colour.code, ERR_SUCCESS) << what;
    ASSERT_EQ(by_index.code, ERR_SUCCESS) << what;
    EXPECT_EQ(describe_colour_reading(by_index.reading), describe_colour_reading(by_colour.reading)) << what;
    EXPECT_TRUE(by_index.image->pixels == by_colour.image->pixels) << what;
    EXPECT_TRUE(by_index.image->palette == by_colour.image->palette) << what;
}

}  // namespace

// A palette-based image is read from the entries its pixels use: whatever the
// order of its palette, unused or repeated entries, it reads exactly or
// approximately as the same picture held as colours.
TEST(PaletteBasedReading, ReadsAsTheSamePictureHeldAsColours) {
    const auto picture = stripes({6, 14, 3, 1, 0, 9, 2, 8, 15, 4, 11, 7, 13, 5, 10, 12});
    struct Case {
        std::string what;
        std::array<std::uint32_t, 16> colours;
    };
    auto mixed = builtin_palette(5);
    mixed[2] = builtin(13, 2);
    const std::vector<Case> cases = {{"exact, default palette", builtin_palette(12)},
                                     {"exact, palette 4", builtin_palette(4)},
                                     {"mixed palettes", mixed},
                                     {"approximate", foreign_palette}};
    for (const Case& c : cases) {
        const auto by_colour = identify(*coloured(picture, c.colours));
        // Reversed, with an unused entry first and a colour held twice.
        std::vector<std::uint32_t> palette = {0xABCDEF};
        for (int number = 15; number >= 0; --number) palette.push_back(c.colours[number]);
        palette.push_back(c.colours[6]);
        auto source = palette_based(*coloured(picture, c.colours), palette);
        for (int i = 0; i < IMAGE_PIXELS; i += 3) {
            if (source->indices[i] == 16 - 6) source->indices[i] = static_cast<std::uint8_t>(palette.size() - 1);
        }
        expect_same_results(by_colour, identify(*source), c.what);
        // In C64 order, the indices are the numbers.
        const std::vector<std::uint32_t> in_order(c.colours.begin(), c.colours.end());
        const auto by_index = identify(*palette_based(*coloured(picture, c.colours), in_order));
        if (by_colour.reading.kind == ColourReadingKind::exact) {
            expect_same_results(by_colour, by_index, c.what);
        } else {
            ASSERT_EQ(by_index.code, ERR_SUCCESS) << c.what;
            EXPECT_EQ(by_index.reading.kind, ColourReadingKind::indices) << c.what;
            EXPECT_TRUE(pixels_are(*by_index.image, picture)) << c.what;
        }
    }
}

// Reading by index ignores the palette entries no pixel uses.
TEST(IndexReading, UnusedEntriesAboveFifteenDoNotStopIt) {
    const auto picture = stripes({2, 5});
    auto source = indexed_in_c64_order(picture, 12);
    for (std::uint32_t index = 16; index < 256; ++index) source->palette[index] = 0x100000u * (index % 7) + index;
    const auto result = identify(*source);
    ASSERT_EQ(result.code, ERR_SUCCESS);
    EXPECT_EQ(result.reading.kind, ColourReadingKind::indices);
    EXPECT_TRUE(pixels_are(*result.image, picture));
    EXPECT_EQ(result.image->palette[3 * 5], 0x3C ^ 0x03);
    EXPECT_EQ(result.image->palette[3 * 5 + 2], 0x3C ^ 0x02);
}

namespace {

// -c: the user names the palette; each colour becomes its nearest colour there.
TEST(GivenPalette, ColoursBecomeTheirNearestColoursOneToOne) {
    const auto picture = stripes(all_sixteen);
    const auto result = [&] {
        Result r{0, {}, std::make_unique<PixelImage>()};
        r.code = identify_colours_in_palette(*coloured(picture, foreign_palette), 12, *r.image, r.reading);
        return r;
    }();
    ASSERT_EQ(result.code, ERR_SUCCESS);
    EXPECT_EQ(result.reading.kind, ColourReadingKind::given_palette);
    EXPECT_TRUE(pixels_are(*result.image, picture));
    EXPECT_EQ(result.image->palette[3 * 7 + 2], 0x00);  // palette 12's yellow, FCFC00
    EXPECT_EQ(describe_colour_reading(result.reading),
              "colours read in palette 12: 15 colours matched approximately\n");
}

TEST(GivenPalette, SharedOrDistantColoursAreRefusedAndNamed) {
    PixelImage image;
    ColourReading reading{};
    // Two yellows both nearest palette 12's yellow.
    auto source = coloured(stripes({0, 1, 2}), {0x000000, 0xFCFC00, 0xF0F010});
    source->x_offset = 32;
    source->y_offset = 35;
    EXPECT_EQ(identify_colours_in_palette(*source, 12, image, reading), ERR_UNKNOWN_COLOURS);
    EXPECT_EQ(describe_unknown_colour(reading),
              "colour #F0F010 at x 48, y 35 and colour #FCFC00 are both nearest colour 7 of palette 12\n");
    // A saturated pink far from every colour of palette 5.
    EXPECT_EQ(identify_colours_in_palette(*coloured(stripes({0, 1}), {0x000000, 0xFF00FF}), 5, image, reading),
              ERR_UNKNOWN_COLOURS);
    EXPECT_EQ(reading.unknown_reason, UnknownReason::too_far);
    EXPECT_EQ(describe_unknown_colour(reading).rfind("colour #FF00FF at x 8, y 0 lies ", 0), 0u);
    EXPECT_GT(reading.unknown_distance, GIVEN_PALETTE_BOUND);
    // Seventeen colours cannot be sixteen; a palette past the last is no palette.
    auto many = coloured(stripes({0}), {});
    for (int i = 0; i < IMAGE_PIXELS; ++i) many->colours[i] = 0x0F0F0Fu * static_cast<std::uint32_t>(i % 17);
    EXPECT_EQ(identify_colours_in_palette(*many, 0, image, reading), ERR_UNKNOWN_COLOURS);
    EXPECT_EQ(reading.unknown_reason, UnknownReason::shared_number);
    EXPECT_EQ(identify_colours_in_palette(*many, LIBRARY_PALETTE_COUNT, image, reading), ERR_INDEX_OUT_OF_TABLE);
}

// Every library palette, sorted any way, read exactly by its colours; a
// palette-based file of it reads the same.
TEST(ExactReading, EveryLibraryPaletteReadsToItsNumbers) {
    const auto picture = stripes(all_sixteen);
    for (int p = 0; p < LIBRARY_PALETTE_COUNT; ++p) {
        std::array<std::uint32_t, 16> colours{};
        for (int c = 0; c < 16; ++c) colours[c] = library_colour(p, c);
        const auto result = identify(*coloured(picture, colours));
        ASSERT_EQ(result.code, ERR_SUCCESS) << p;
        EXPECT_EQ(result.reading.kind, ColourReadingKind::exact);
        EXPECT_EQ(result.reading.palette, p);
        EXPECT_TRUE(pixels_are(*result.image, picture)) << p;
    }
}

}  // namespace

namespace {

// An emulator palette of the PC's RGBI colours numbers them otherwise than
// palette 4: a picture in it is refused, or read right, never read as palette 4.
TEST(ApproximateReading, RgbiColoursUnderOtherNumbersAreNotReadAsPaletteFour) {
    constexpr std::array<std::uint32_t, 16> rgbi = {0x000000, 0xFCFCFC, 0xA80000, 0x54FCFC, 0xA800A8, 0x00A800,
                                                    0x0000A8, 0xFCFC00, 0xA85400, 0x802C00, 0xFC5454, 0x545454,
                                                    0x808080, 0x54FC54, 0x5454FC, 0xA8A8A8};
    for (const auto& subset : std::vector<std::vector<int>>{{0, 1, 2, 3, 4, 5, 6, 7}, {2, 5, 8, 9, 12, 15}, all_sixteen}) {
        const auto picture = stripes(subset);
        const auto result = identify(*coloured(picture, rgbi));
        if (result.code == ERR_SUCCESS) {
            EXPECT_NE(result.reading.palette, 4);
            EXPECT_TRUE(pixels_are(*result.image, picture)) << subset.size();
        } else {
            EXPECT_EQ(result.code, ERR_UNKNOWN_COLOURS);
        }
    }
    // Palette 4's own colours still read exactly.
    const auto own = identify(*coloured(stripes({0, 1, 2, 3, 4, 5, 6, 7}), builtin_palette(4)));
    ASSERT_EQ(own.code, ERR_SUCCESS);
    EXPECT_EQ(own.reading.palette, 4);
}

}  // namespace
