#include "pixel.h"

#include <algorithm>
#include <memory>

// The short pixel loops with a fixed count are unrolled (#pragma GCC unroll):
// at -O2 their counting would cost as much as their work.
namespace {

constexpr int CELL_ROW_PIXELS = 8 * IMAGE_WIDTH;  // one row of cells: 2560 pixels
constexpr int HIRES_SLOTS = 2;
constexpr int MULTICOLOUR_SLOTS = 4;
constexpr std::uint8_t COLOUR_MASK = 0x0F;

// RRGGBB by palette and colour index: black, white, red, cyan, purple, green,
// blue, yellow, orange, brown, light red, dark grey, grey, light green,
// light blue, light grey.
constexpr std::uint32_t palette_rgb[PALETTE_COUNT][C64_COLOUR_COUNT] = {
    {0x000000, 0xFFFFFF, 0x880000, 0xAAFFEE, 0xCC44CC, 0x00CC55, 0x0000AA, 0xEEEE77,  // 0
     0xDD8855, 0x664400, 0xFF7777, 0x333333, 0x777777, 0xAAFF66, 0x0088FF, 0xBBBBBB},
    {0x000000, 0xFFFFFF, 0xAD524A, 0x73F7F7, 0xBD6BBD, 0x73E773, 0x4242C6, 0xFFFF7B,  // 1
     0xC88E2F, 0x846339, 0xFF9C9C, 0x7B7B7B, 0x949494, 0xA5FFA5, 0x9C9CF7, 0xCECECE},
    {0x000000, 0xFFFFFF, 0x4A52AD, 0xF7F773, 0xBD6BBD, 0x73E773, 0xC64242, 0x7BFFFF,  // 2
     0x2F8EC8, 0x396384, 0x9C9CFF, 0x7B7B7B, 0x949494, 0xA5FFA5, 0xF79C9C, 0xCECECE},
    {0x040504, 0xFDFEFC, 0xBE1A24, 0x30E6C6, 0xB41AE2, 0x1FD21E, 0x211BAE, 0xDFF60A,  // 3
     0xB84104, 0x6A3304, 0xFE4A57, 0x424540, 0x70746F, 0x59FE59, 0x5F53FE, 0xA4A7A2},
    {0x000000, 0xFFFFFF, 0xAA0000, 0x55FFFF, 0xFF55FF, 0x00AA00, 0x0000AA, 0xFFFF55,  // 4
     0xAAAA00, 0xAA00AA, 0xFF5555, 0x555555, 0x00AAAA, 0x55FF55, 0x5555FF, 0xAAAAAA},
    {0x000000, 0xFFFFFF, 0x68372B, 0x70A4B2, 0x6F3D86, 0x588D43, 0x352879, 0xB8C76F,  // 5
     0x6F4F25, 0x433900, 0x9A6759, 0x444444, 0x6C6C6C, 0x9AD284, 0x6C5EB5, 0x959595},
    {0x000000, 0xFFFFFF, 0x882000, 0x68D0A8, 0xA838A0, 0x50B818, 0x181090, 0xF0E858,  // 6
     0xA04800, 0x472B1B, 0xC87870, 0x484848, 0x808080, 0x98FF98, 0x5090D0, 0xB8B8B8},
    {0x000000, 0xFDFEFC, 0xBE1A24, 0x30E6C6, 0xB41AE2, 0x1FA21E, 0x211BAE, 0xDFF60A,  // 7
     0xB84104, 0x6A3304, 0xFE4A57, 0x424540, 0x70746F, 0x59FE59, 0x5F53FE, 0xA4A7A2},
    {0x000000, 0xFFFFFF, 0xC60000, 0x00B5B5, 0xB242B2, 0x2E962E, 0x173FC2, 0xD3D370,  // 8
     0xC15A00, 0x5B3208, 0xE67A7A, 0x555555, 0x828282, 0x2AE870, 0x4F7BFF, 0xA0A0A0},
    {0x000000, 0xFFFFFF, 0xA80000, 0x04B0A0, 0xA40599, 0x349434, 0x0202C3, 0xDDCD02,  // 9
     0xB14D02, 0x802C00, 0xDD5252, 0x505050, 0x7E7E7E, 0x91FF75, 0x0077FF, 0x9C9C9C},
    {0x404040, 0x7F7F7F, 0x6E4A40, 0x546D7F, 0x72446C, 0x4B6B57, 0x4E427F, 0x7F7746,  // 10
     0x705340, 0x627F40, 0x7D5A4F, 0x535353, 0x5D5D5D, 0x5B7F6A, 0x54587F, 0x696969},
    {0x000000, 0xFFFFFF, 0x993434, 0xA4E0D2, 0xA955AB, 0x77CF67, 0x3737AF, 0xEBEB81,  // 11
     0xA3692A, 0x5E3D0B, 0xEB9B9B, 0x616161, 0x9E9E9E, 0xBEFABE, 0x9696FF, 0xCFCFCF},
    {0x000000, 0xFCFCFC, 0xC83C3C, 0x3CC8C8, 0xC83CC8, 0x3CC83C, 0x3C3CC8, 0xFCFC00,  // 12
     0xC86C00, 0x885000, 0xFC6C6C, 0x646464, 0x8C8C8C, 0xA0FCA0, 0x8888FC, 0xC8C8C8},
};

constexpr auto split_palettes() {
    std::array<std::array<std::array<std::uint8_t, 3>, 16>, PALETTE_COUNT> palettes{};
    for (int p = 0; p < PALETTE_COUNT; ++p) {
        for (int c = 0; c < C64_COLOUR_COUNT; ++c) {
            const std::uint32_t rgb = palette_rgb[p][c];
            palettes[p][c] = {static_cast<std::uint8_t>(rgb >> 16), static_cast<std::uint8_t>(rgb >> 8),
                              static_cast<std::uint8_t>(rgb)};
        }
    }
    return palettes;
}

}  // namespace

const std::array<std::array<std::array<std::uint8_t, 3>, 16>, PALETTE_COUNT> c64_palettes = split_palettes();

namespace {

std::size_t cell_origin(int cell) {
    return static_cast<std::size_t>((cell / CELL_COLUMNS) * CELL_ROW_PIXELS + (cell % CELL_COLUMNS) * 8);
}

// Puts the chosen C64 palette in entries 0 to 15; the other 240 entries are
// black. The pixels are left as they are: every cell renders all of its own.
ErrorCode start_rendered_image(PixelImage& image, int palette) {
    if (palette < 0 || palette >= PALETTE_COUNT) {
        return ERR_INDEX_OUT_OF_TABLE;
    }
    image.palette.fill(0);
    for (int c = 0; c < C64_COLOUR_COUNT; ++c) {
        std::copy(c64_palettes[palette][c].begin(), c64_palettes[palette][c].end(), image.palette.begin() + 3 * c);
    }
    return ERR_SUCCESS;
}

// Colours take slots in order of first appearance. A cell with more colours
// than slots cannot be shown: every further colour shares the last slot, so
// the record always stays valid. Each colour's slot is noted when it is
// first seen, so a pixel costs one look-up rather than a search of the slots.
struct SlotAssignment {
    static constexpr std::uint8_t NO_SLOT = 0xFF;
    std::array<std::uint8_t, C64_COLOUR_COUNT> slot_of_colour;
    int slots_in_use;
    int slot_count;
};

SlotAssignment start_slot_assignment(int slot_count) {
    SlotAssignment assignment{};
    assignment.slot_of_colour.fill(SlotAssignment::NO_SLOT);
    assignment.slots_in_use = 0;
    assignment.slot_count = slot_count;
    return assignment;
}

int slot_of_colour(CellRecord& record, SlotAssignment& assignment, std::uint8_t colour) {
    std::uint8_t& slot = assignment.slot_of_colour[colour];
    if (slot == SlotAssignment::NO_SLOT) {
        if (assignment.slots_in_use < assignment.slot_count) {
            record.slots[static_cast<std::size_t>(assignment.slots_in_use)] = colour;
            slot = static_cast<std::uint8_t>(assignment.slots_in_use++);
        } else {
            slot = static_cast<std::uint8_t>(assignment.slot_count - 1);
        }
    }
    return slot;
}

// Pixel values above 15 are no C64 colour; the encoders keep their low four bits.
std::uint8_t as_colour(std::uint8_t pixel) {
    return pixel & COLOUR_MASK;
}


}  // namespace

ErrorCode cell_block_get(int cell, const PixelImage& image, CellBlock& block) {
    if (!is_cell_number(cell)) {
        return ERR_INDEX_OUT_OF_TABLE;
    }
    const std::size_t origin = cell_origin(cell);
    for (int row = 0; row < 8; ++row) {
        std::copy_n(image.pixels.begin() + origin + static_cast<std::size_t>(row * IMAGE_WIDTH), 8,
                    block.pixels.begin() + row * 8);
    }
    return ERR_SUCCESS;
}

ErrorCode cell_block_put(int cell, const CellBlock& block, PixelImage& image) {
    if (!is_cell_number(cell)) {
        return ERR_INDEX_OUT_OF_TABLE;
    }
    const std::size_t origin = cell_origin(cell);
    for (int row = 0; row < 8; ++row) {
        std::copy_n(block.pixels.begin() + row * 8, 8,
                    image.pixels.begin() + origin + static_cast<std::size_t>(row * IMAGE_WIDTH));
    }
    return ERR_SUCCESS;
}

ErrorCode picture_cell_get(CellRecord& record, int cell, const C64Picture& picture) {
    if (!is_cell_number(cell)) {
        return ERR_INDEX_OUT_OF_TABLE;
    }
    std::copy_n(picture.bitmap.begin() + cell * 8, 8, record.bitmap.begin());
    const std::uint8_t screen = picture.screen[static_cast<std::size_t>(cell)];
    // The background register has four bits: a stray high nybble in the file
    // does not change the colour the C64 shows.
    record.slots = {static_cast<std::uint8_t>(picture.background & COLOUR_MASK), static_cast<std::uint8_t>(screen >> 4),
                    static_cast<std::uint8_t>(screen & COLOUR_MASK),
                    static_cast<std::uint8_t>(picture.colour[static_cast<std::size_t>(cell)] & COLOUR_MASK)};
    return ERR_SUCCESS;
}

ErrorCode hires_picture_cell_get(CellRecord& record, int cell, const HiresPicture& picture) {
    if (!is_cell_number(cell)) {
        return ERR_INDEX_OUT_OF_TABLE;
    }
    std::copy_n(picture.bitmap.begin() + cell * 8, 8, record.bitmap.begin());
    const std::uint8_t screen = picture.screen[static_cast<std::size_t>(cell)];
    record.slots = {static_cast<std::uint8_t>(screen & COLOUR_MASK), static_cast<std::uint8_t>(screen >> 4), 0, 0};
    return ERR_SUCCESS;
}

ErrorCode picture_cell_put(const CellRecord& record, C64Picture& picture, int cell) {
    if (!is_cell_number(cell)) {
        return ERR_INDEX_OUT_OF_TABLE;
    }
    std::copy_n(record.bitmap.begin(), 8, picture.bitmap.begin() + cell * 8);
    picture.screen[static_cast<std::size_t>(cell)] =
        static_cast<std::uint8_t>((record.slots[2] & COLOUR_MASK) | (record.slots[1] << 4));
    picture.colour[static_cast<std::size_t>(cell)] = record.slots[3] & COLOUR_MASK;
    return ERR_SUCCESS;
}

ErrorCode hires_picture_cell_put(const CellRecord& record, HiresPicture& picture, int cell) {
    if (!is_cell_number(cell)) {
        return ERR_INDEX_OUT_OF_TABLE;
    }
    std::copy_n(record.bitmap.begin(), 8, picture.bitmap.begin() + cell * 8);
    picture.screen[static_cast<std::size_t>(cell)] =
        static_cast<std::uint8_t>((record.slots[0] & COLOUR_MASK) | (record.slots[1] << 4));
    return ERR_SUCCESS;
}

ErrorCode render_multicolour_cell(CellBlock& block, const CellRecord& record) {
    for (int row = 0; row < 8; ++row) {
        const std::uint8_t byte = record.bitmap[static_cast<std::size_t>(row)];
#pragma GCC unroll 4
        for (int pair = 0; pair < 4; ++pair) {
            const int slot = (byte >> (6 - 2 * pair)) & 3;
            const std::size_t left = static_cast<std::size_t>(row * 8 + 2 * pair);
            block.pixels[left] = record.slots[static_cast<std::size_t>(slot)];
            block.pixels[left + 1] = record.slots[static_cast<std::size_t>(slot)];
        }
    }
    return ERR_SUCCESS;
}

ErrorCode render_hires_cell(CellBlock& block, const CellRecord& record) {
    for (int row = 0; row < 8; ++row) {
        const std::uint8_t byte = record.bitmap[static_cast<std::size_t>(row)];
#pragma GCC unroll 8
        for (int bit = 0; bit < 8; ++bit) {
            const int slot = (byte >> (7 - bit)) & 1;
            block.pixels[static_cast<std::size_t>(row * 8 + bit)] = record.slots[static_cast<std::size_t>(slot)];
        }
    }
    return ERR_SUCCESS;
}

namespace {

// Renders every cell through the mode's cell getter and cell renderer.
template <typename Picture>
ErrorCode render_picture(const Picture& picture, PixelImage& image, int palette,
                         ErrorCode (*get_cell)(CellRecord&, int, const Picture&),
                         ErrorCode (*render_cell)(CellBlock&, const CellRecord&)) {
    ErrorCode code = start_rendered_image(image, palette);
    if (code < 0) {
        return code;
    }
    const auto record = std::make_unique<CellRecord>();
    const auto block = std::make_unique<CellBlock>();
    for (int cell = 0; cell < CELL_COUNT; ++cell) {
        if ((code = get_cell(*record, cell, picture)) < 0 || (code = render_cell(*block, *record)) < 0 ||
            (code = cell_block_put(cell, *block, image)) < 0) {
            return code;
        }
    }
    return ERR_SUCCESS;
}

}  // namespace

ErrorCode render_multicolour_picture(const C64Picture& picture, PixelImage& image, int palette) {
    return render_picture(picture, image, palette, picture_cell_get, render_multicolour_cell);
}

ErrorCode render_hires_picture(const HiresPicture& picture, PixelImage& image, int palette) {
    return render_picture(picture, image, palette, hires_picture_cell_get, render_hires_cell);
}

ErrorCode encode_multicolour_cell(CellRecord& record, const CellBlock& block, std::uint8_t background) {
    record.slots = {0, 0, 0, 0};
    SlotAssignment assignment = start_slot_assignment(MULTICOLOUR_SLOTS);
    slot_of_colour(record, assignment, as_colour(background));
    // Only the left pixel of each double-width pair is looked at.
    for (int row = 0; row < 8; ++row) {
        std::uint8_t byte = 0;
#pragma GCC unroll 4
        for (int pair = 0; pair < 4; ++pair) {
            const std::uint8_t colour = as_colour(block.pixels[static_cast<std::size_t>(row * 8 + 2 * pair)]);
            const int slot = slot_of_colour(record, assignment, colour);
            byte = static_cast<std::uint8_t>(byte | (slot << (6 - 2 * pair)));
        }
        record.bitmap[static_cast<std::size_t>(row)] = byte;
    }
    return ERR_SUCCESS;
}

ErrorCode encode_hires_cell(CellRecord& record, const CellBlock& block) {
    record.slots.fill(0);
    SlotAssignment assignment = start_slot_assignment(HIRES_SLOTS);
    for (int row = 0; row < 8; ++row) {
        std::uint8_t byte = 0;
#pragma GCC unroll 8
        for (int bit = 0; bit < 8; ++bit) {
            const std::uint8_t colour = as_colour(block.pixels[static_cast<std::size_t>(row * 8 + bit)]);
            const int slot = slot_of_colour(record, assignment, colour);
            byte = static_cast<std::uint8_t>(byte | (slot << (7 - bit)));
        }
        record.bitmap[static_cast<std::size_t>(row)] = byte;
    }
    return ERR_SUCCESS;
}

ErrorCode encode_multicolour_picture(std::uint8_t background, const PixelImage& image, C64Picture& picture) {
    const auto record = std::make_unique<CellRecord>();
    const auto block = std::make_unique<CellBlock>();
    ErrorCode code = ERR_SUCCESS;
    for (int cell = 0; cell < CELL_COUNT; ++cell) {
        if ((code = cell_block_get(cell, image, *block)) < 0 ||
            (code = encode_multicolour_cell(*record, *block, background)) < 0 ||
            (code = picture_cell_put(*record, picture, cell)) < 0) {
            return code;
        }
    }
    picture.background = background;
    return ERR_SUCCESS;
}

ErrorCode encode_hires_picture(const PixelImage& image, HiresPicture& picture) {
    const auto record = std::make_unique<CellRecord>();
    const auto block = std::make_unique<CellBlock>();
    ErrorCode code = ERR_SUCCESS;
    for (int cell = 0; cell < CELL_COUNT; ++cell) {
        if ((code = cell_block_get(cell, image, *block)) < 0 || (code = encode_hires_cell(*record, *block)) < 0 ||
            (code = hires_picture_cell_put(*record, picture, cell)) < 0) {
            return code;
        }
    }
    return ERR_SUCCESS;
}

ErrorCode most_used_colour(const PixelImage& image, std::uint8_t& colour) {
    // Every pixel value is counted, without a test per pixel; only the
    // counts of the C64 colours are compared.
    std::array<std::uint32_t, 256> counts{};
#pragma GCC unroll 8
    for (const std::uint8_t pixel : image.pixels) {
        ++counts[pixel];
    }
    // Strictly greater: on a tie the lowest index stays.
    colour = 0;
    std::uint32_t best = 0;
    for (int c = 0; c < C64_COLOUR_COUNT; ++c) {
        if (counts[static_cast<std::size_t>(c)] > best) {
            best = counts[static_cast<std::size_t>(c)];
            colour = static_cast<std::uint8_t>(c);
        }
    }
    return ERR_SUCCESS;
}

ErrorCode cell_colour_check(const CellBlock& block, bool hires, std::uint8_t background, std::uint8_t& verdict) {
    std::array<bool, C64_COLOUR_COUNT> present{};
#pragma GCC unroll 8
    for (const std::uint8_t pixel : block.pixels) {
        if (pixel < C64_COLOUR_COUNT) {
            present[pixel] = true;
        }
    }
    int distinct = 0;
#pragma GCC unroll 16
    for (const bool colour_present : present) {
        distinct += colour_present ? 1 : 0;
    }
    const bool background_present = background < C64_COLOUR_COUNT && present[background];
    bool too_many = false;
    if (hires) {
        too_many = distinct > HIRES_SLOTS;
    } else {
        too_many = distinct > MULTICOLOUR_SLOTS || (distinct == MULTICOLOUR_SLOTS && !background_present);
    }
    verdict = too_many ? 1 : 0;
    return ERR_SUCCESS;
}
