#include "compare_pictures.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "file_names.h"
#include "desktop_image.h"
#include "output_file.h"
#include "pcx.h"
#include "pixel.h"

namespace {

// The background byte of the first picture is what the patch records are
// encoded for: they are meant to be written into that picture.
ErrorCode render_multicolour_inputs(const CompareRequest& request, PixelImage& first, PixelImage& second,
                                    std::uint8_t& first_background) {
    const auto picture = std::make_unique<C64Picture>();
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
    const auto picture = std::make_unique<HiresPicture>();
    ErrorCode code = load_hires_picture(request.first_path, *picture);
    if (code < 0 || (code = render_hires_picture(*picture, first, request.palette)) < 0 ||
        (code = load_hires_picture(request.second_path, *picture)) < 0) {
        return code;
    }
    return render_hires_picture(*picture, second, request.palette);
}

ErrorCode find_differing_cells(const PixelImage& first, const PixelImage& second, DifferenceMap& map) {
    const auto first_block = std::make_unique<CellBlock>();
    const auto second_block = std::make_unique<CellBlock>();
    for (int cell = 0; cell < CELL_COUNT; ++cell) {
        ErrorCode code = cell_block_get(cell, first, *first_block);
        if (code < 0 || (code = cell_block_get(cell, second, *second_block)) < 0) {
            return code;
        }
        map.cells[static_cast<std::size_t>(cell)] = first_block->pixels == second_block->pixels ? 0 : 1;
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

// Record: cell number (low byte first), screen byte, colour byte, 8 bitmap bytes.
ErrorCode build_multicolour_patch(const PixelImage& second, std::uint8_t background, const DifferenceMap& map,
                                  std::vector<std::uint8_t>& patch) {
    const auto picture = std::make_unique<C64Picture>();
    const ErrorCode code = encode_multicolour_picture(background, second, *picture);
    if (code < 0) {
        return code;
    }
    for (int cell = 0; cell < CELL_COUNT; ++cell) {
        if (map.cells[static_cast<std::size_t>(cell)] != 0) {
            append_word(patch, static_cast<std::uint16_t>(cell));
            patch.push_back(picture->screen[static_cast<std::size_t>(cell)]);
            patch.push_back(picture->colour[static_cast<std::size_t>(cell)]);
            append_bitmap(patch, picture->bitmap, cell);
        }
    }
    append_word(patch, PATCH_END_MARKER);
    return ERR_SUCCESS;
}

// Record: cell number (low byte first), screen byte, 8 bitmap bytes.
ErrorCode build_hires_patch(const PixelImage& second, const DifferenceMap& map, std::vector<std::uint8_t>& patch) {
    const auto picture = std::make_unique<HiresPicture>();
    const ErrorCode code = encode_hires_picture(second, *picture);
    if (code < 0) {
        return code;
    }
    for (int cell = 0; cell < CELL_COUNT; ++cell) {
        if (map.cells[static_cast<std::size_t>(cell)] != 0) {
            append_word(patch, static_cast<std::uint16_t>(cell));
            patch.push_back(picture->screen[static_cast<std::size_t>(cell)]);
            append_bitmap(patch, picture->bitmap, cell);
        }
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
    const auto first = std::make_unique<PixelImage>();
    const auto second = std::make_unique<PixelImage>();
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
