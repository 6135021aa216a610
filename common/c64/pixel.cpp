#include "c64/pixel.h"

#include <algorithm>
#include <memory>

// The short pixel loops with a fixed count are unrolled (#pragma GCC unroll):
// at -O2 their counting would cost as much as their work.
namespace {

constexpr int CELL_ROW_PIXELS = 8 * IMAGE_WIDTH;  // one row of cells: 2560 pixels
constexpr int HIRES_SLOTS = 2;
constexpr int MULTICOLOUR_SLOTS = 4;
constexpr std::uint8_t COLOUR_MASK = 0x0F;

// The built-in palettes are the library's first ones.
constexpr auto split_palettes() {
    std::array<std::array<std::array<std::uint8_t, 3>, 16>, PALETTE_COUNT> palettes{};
    for (int p = 0; p < PALETTE_COUNT; ++p) {
        for (int c = 0; c < C64_COLOUR_COUNT; ++c) {
            const std::uint32_t rgb = library_colour(p, c);
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

// Puts the chosen library palette in entries 0 to 15; the other 240 entries
// are black. The pixels are left as they are: every cell renders all of its own.
ErrorCode start_rendered_image(PixelImage& image, int palette) {
    if (palette < 0 || palette >= LIBRARY_PALETTE_COUNT) {
        return ERR_INDEX_OUT_OF_TABLE;
    }
    image.palette.fill(0);
    for (int c = 0; c < C64_COLOUR_COUNT; ++c) {
        const std::uint32_t rgb = library_colour(palette, c);
        image.palette[3 * c] = static_cast<std::uint8_t>(rgb >> 16);
        image.palette[3 * c + 1] = static_cast<std::uint8_t>(rgb >> 8);
        image.palette[3 * c + 2] = static_cast<std::uint8_t>(rgb);
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
