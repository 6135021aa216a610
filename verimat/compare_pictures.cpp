#include "compare_pictures.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "frame/file_names.h"
#include "desktop/desktop_image.h"
#include "frame/output_file.h"
#include "desktop/pcx.h"
#include "c64/pixel.h"

namespace {

// The background byte of the first picture is what the patch records are
// encoded for: they are meant to be written into that picture.
ErrorCode render_multicolour_inputs(const CompareRequest& request, PixelImage& first, PixelImage& second,
                                    std::uint8_t& first_background) {
    const auto picture = std::make_unique_for_overwrite<C64Picture>();
    ErrorCode code = load_multicolour_picture(request.first_path, request.format, *picture);
    if (code < 0) {
        return code;
    }
    first_background = picture->background;
    if ((code = render_multicolour_picture(*picture, first, request.palette)) < 0 ||
        (code = load_multicolour_picture(request.second_path, request.format, *picture)) < 0) {
        return code;
    }
    return render_multicolour_picture(*picture, second, request.palette);
}

ErrorCode render_hires_inputs(const CompareRequest& request, PixelImage& first, PixelImage& second) {
    const auto picture = std::make_unique_for_overwrite<HiresPicture>();
    ErrorCode code = load_hires_picture(request.first_path, *picture);
    if (code < 0 || (code = render_hires_picture(*picture, first, request.palette)) < 0 ||
        (code = load_hires_picture(request.second_path, *picture)) < 0) {
        return code;
    }
    return render_hires_picture(*picture, second, request.palette);
}

// The cells are compared where they lie in the two images, row by row of
// their 8 pixel rows, without copying them out first.
bool cells_differ(const PixelImage& first, const PixelImage& second, int cell) {
    const int origin = (cell / CELL_COLUMNS) * 8 * IMAGE_WIDTH + (cell % CELL_COLUMNS) * 8;
    for (int row = 0; row < 8; ++row) {
        const auto start = static_cast<std::size_t>(origin + row * IMAGE_WIDTH);
        const auto first_row = first.pixels.begin() + start;
        if (!std::equal(first_row, first_row + 8, second.pixels.begin() + start)) {
            return true;
        }
    }
    return false;
}

ErrorCode find_differing_cells(const PixelImage& first, const PixelImage& second, DifferenceMap& map) {
    for (int cell = 0; cell < CELL_COUNT; ++cell) {
        map.cells[static_cast<std::size_t>(cell)] = cells_differ(first, second, cell) ? 1 : 0;
    }
    return ERR_SUCCESS;
}

void append_word(std::vector<std::uint8_t>& patch, std::uint16_t value) {
    patch.push_back(static_cast<std::uint8_t>(value & 0xFF));
    patch.push_back(static_cast<std::uint8_t>(value >> 8));
}

void append_bitmap(std::vector<std::uint8_t>& patch, const std::array<std::uint8_t, BITMAP_SIZE>& bitmap, int cell) {
    patch.insert(patch.end(), bitmap.begin() + cell * 8, bitmap.begin() + cell * 8 + 8);
}

// Only the differing cells are encoded: they are all that the patch holds.
// Record: cell number (low byte first), screen byte, colour byte, 8 bitmap bytes.
ErrorCode build_multicolour_patch(const PixelImage& second, std::uint8_t background, const DifferenceMap& map,
                                  std::vector<std::uint8_t>& patch) {
    const auto picture = std::make_unique_for_overwrite<C64Picture>();
    const auto block = std::make_unique<CellBlock>();
    const auto record = std::make_unique<CellRecord>();
    for (int cell = 0; cell < CELL_COUNT; ++cell) {
        if (map.cells[static_cast<std::size_t>(cell)] == 0) {
            continue;
        }
        ErrorCode code = cell_block_get(cell, second, *block);
        if (code < 0 || (code = encode_multicolour_cell(*record, *block, background)) < 0 ||
            (code = picture_cell_put(*record, *picture, cell)) < 0) {
            return code;
        }
        append_word(patch, static_cast<std::uint16_t>(cell));
        patch.push_back(picture->screen[static_cast<std::size_t>(cell)]);
        patch.push_back(picture->colour[static_cast<std::size_t>(cell)]);
        append_bitmap(patch, picture->bitmap, cell);
    }
    append_word(patch, PATCH_END_MARKER);
    return ERR_SUCCESS;
}

// Record: cell number (low byte first), screen byte (bit 1 colour in the high
// nybble, bit 0 colour in the low one), 8 bitmap bytes.
ErrorCode build_hires_patch(const PixelImage& second, const DifferenceMap& map, std::vector<std::uint8_t>& patch) {
    const auto block = std::make_unique<CellBlock>();
    const auto record = std::make_unique<CellRecord>();
    for (int cell = 0; cell < CELL_COUNT; ++cell) {
        if (map.cells[static_cast<std::size_t>(cell)] == 0) {
            continue;
        }
        ErrorCode code = cell_block_get(cell, second, *block);
        if (code < 0 || (code = encode_hires_cell(*record, *block)) < 0) {
            return code;
        }
        append_word(patch, static_cast<std::uint16_t>(cell));
        patch.push_back(static_cast<std::uint8_t>((record->slots[0] & 0x0F) | (record->slots[1] << 4)));
        patch.insert(patch.end(), record->bitmap.begin(), record->bitmap.end());
    }
    append_word(patch, PATCH_END_MARKER);
    return ERR_SUCCESS;
}

ErrorCode mark_differing_cells(const DifferenceMap& map, PixelImage& image, int& count) {
    const auto block = std::make_unique<CellBlock>();
    block->pixels.fill(DIFFERENCE_COLOUR);
    count = 0;
    for (int cell = 0; cell < CELL_COUNT; ++cell) {
        if (map.cells[static_cast<std::size_t>(cell)] == 0) {
            continue;
        }
        const ErrorCode code = cell_block_put(cell, *block, image);
        if (code < 0) {
            return code;
        }
        ++count;
    }
    return ERR_SUCCESS;
}

}  // namespace

ErrorCode compare_pictures(const CompareRequest& request, int& count) {
    const auto first = std::make_unique_for_overwrite<PixelImage>();
    const auto second = std::make_unique_for_overwrite<PixelImage>();
    const bool hires = request.format == FORMAT_ART_STUDIO;
    std::uint8_t first_background = 0;
    ErrorCode code = hires ? render_hires_inputs(request, *first, *second)
                           : render_multicolour_inputs(request, *first, *second, first_background);
    if (code < 0) {
        return code;
    }
    const auto map = std::make_unique<DifferenceMap>();
    if ((code = find_differing_cells(*first, *second, *map)) < 0) {
        return code;
    }
    std::vector<std::uint8_t> patch;
    code = hires ? build_hires_patch(*second, *map, patch)
                 : build_multicolour_patch(*second, first_background, *map, patch);
    if (code < 0 || (code = mark_differing_cells(*map, *second, count)) < 0) {
        return code;
    }
    // Both outputs are complete in memory before either file is touched, and
    // they appear together or not at all.
    OutputBatch batch;
    if ((code = write_whole_file(request.patch_path, patch.data(), patch.size(), &batch)) < 0 ||
        (code = desktop_image_write(*second, request.difference_path, &batch)) < 0) {
        return code;
    }
    return batch.commit();
}
