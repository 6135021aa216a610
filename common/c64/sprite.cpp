#include "c64/sprite.h"

#include <algorithm>

namespace {

constexpr int CELL_ROW_BYTES = 320;
// From the last line of a cell row to the first line of the next one.
constexpr int NEXT_CELL_ROW_STEP = CELL_ROW_BYTES - 7;
constexpr int MAX_PATTERNS = 4;

// What the walk needs of a picture, whichever mode it is in.
struct PictureView {
    const std::uint8_t* bitmap;
    const std::uint8_t* screen;
    const std::uint8_t* colour_memory;  // multicolour only
    std::uint8_t background;            // multicolour only
    int pixel_bits;                     // 1 hires, 2 multicolour
};

// The colours of a cell indexed by pixel value. Value 0 is also the colour of
// every padding pixel: hires the screen low nybble, multicolour the background.
using CellColours = std::array<std::uint8_t, MAX_PATTERNS>;

struct CutRequest {
    std::uint16_t x;
    std::uint16_t y;
    std::uint16_t w;
    std::uint16_t h;
    int pattern_count;  // 2 hires, 4 multicolour
    std::array<std::uint8_t, MAX_PATTERNS> pattern_colours;
    SpriteGridShape shape;
};

// Where the walk stands on a picture line.
struct WalkPosition {
    int byte;   // bitmap offset
    int bits;   // the bitmap byte there
    int cell;   // cell number
    int shift;  // of the current pixel inside the byte
};

CellColours cell_colours(const PictureView& picture, int cell) {
    const std::uint8_t screen = picture.screen[cell];
    if (picture.pixel_bits == 1) {
        return {static_cast<std::uint8_t>(screen & 0x0F), static_cast<std::uint8_t>(screen >> 4), 0, 0};
    }
    // The background is compared whole: a value above 15 matches no colour.
    return {picture.background, static_cast<std::uint8_t>(screen >> 4), static_cast<std::uint8_t>(screen & 0x0F),
            static_cast<std::uint8_t>(picture.colour_memory[cell] & 0x0F)};
}

ErrorCode check_cell(const PictureView& picture, const CutRequest& request, int cell, CellColours& colours) {
    colours = cell_colours(picture, cell);
    return colours_in_set(colours.data(), request.pattern_colours.data(), request.pattern_count);
}

// A colour named for several patterns produces the highest of them.
std::array<std::uint8_t, C64_COLOUR_COUNT> build_colour_assignment(const CutRequest& request) {
    std::array<std::uint8_t, C64_COLOUR_COUNT> assignment{};
    for (int pattern = 0; pattern < request.pattern_count; ++pattern) {
        assignment[request.pattern_colours[pattern]] = static_cast<std::uint8_t>(pattern);
    }
    return assignment;
}

int first_pixel_shift(const PictureView& picture, std::uint16_t x) {
    const int pixels_per_byte = 8 / picture.pixel_bits;
    return 8 - picture.pixel_bits * (1 + x % pixels_per_byte);
}

using ColourAssignment = std::array<std::uint8_t, C64_COLOUR_COUNT>;

// The output bit pattern of each pixel value of the cell the walk is in.
using CellPatterns = std::array<std::uint8_t, MAX_PATTERNS>;

// The cells of the cell row that the lines are in. Every line of a cell row
// enters the same cells in the same order, left to right, so a cell is
// checked and its patterns looked up when the first line enters it; the
// other lines find it done.
struct CellRowLookups {
    ColourAssignment assignment;
    int first_cell;  // where the lines start
    int looked_up;   // cells first_cell to first_cell + looked_up - 1 are done
    std::array<CellPatterns, CELL_COLUMNS> patterns;
};

// Lines starting at another cell are in another cell row.
void start_line(CellRowLookups& lookups, int first_cell) {
    if (first_cell != lookups.first_cell) {
        lookups.first_cell = first_cell;
        lookups.looked_up = 0;
    }
}

// Checks the colours of a cell that the walk enters for the first time in
// this cell row and looks up its patterns once, for all of its pixels. Only
// cells that pass are looked up, so every colour looked up is one of the
// pattern colours (0..15).
ErrorCode look_up_cell(const PictureView& picture, const CutRequest& request, CellRowLookups& lookups, int cell,
                       CellPatterns& patterns) {
    CellColours colours{};
    const ErrorCode code = check_cell(picture, request, cell, colours);
    if (code < 0) {
        return code;
    }
    for (int value = 0; value < MAX_PATTERNS; ++value) {
        patterns[value] = lookups.assignment[colours[value]];
    }
    const int index = cell - lookups.first_cell;
    lookups.patterns[index] = patterns;
    lookups.looked_up = index + 1;
    return ERR_SUCCESS;
}

// The patterns of a cell the walk enters: most lines find them looked up.
// Kept apart from the look-up so that this short step can be inlined.
ErrorCode enter_cell(const PictureView& picture, const CutRequest& request, CellRowLookups& lookups, int cell,
                     CellPatterns& patterns) {
    const int index = cell - lookups.first_cell;
    if (index < lookups.looked_up) {
        patterns = lookups.patterns[index];
        return ERR_SUCCESS;
    }
    return look_up_cell(picture, request, lookups, cell, patterns);
}

// Moves the walk one pixel to the right; entering the next cell checks its
// colours.
ErrorCode step_right(const PictureView& picture, const CutRequest& request, CellRowLookups& lookups,
                     WalkPosition& walk, CellPatterns& patterns) {
    if (walk.shift > 0) {
        walk.shift -= picture.pixel_bits;
        return ERR_SUCCESS;
    }
    walk.byte += 8;
    walk.bits = picture.bitmap[walk.byte];
    walk.cell += 1;
    walk.shift = 8 - picture.pixel_bits;
    return enter_cell(picture, request, lookups, walk.cell, patterns);
}

// The output byte of a whole picture byte: the pixels keep their positions.
// All pixels of the byte are translated at once. Hires: set bits take the
// pattern of value 1, clear bits that of value 0.
int translate_hires_byte(int bits, const CellPatterns& patterns) {
    const int set_bits_become = patterns[1] != 0 ? 0xFF : 0x00;
    const int clear_bits_become = patterns[0] != 0 ? 0xFF : 0x00;
    return (bits & set_bits_become) | (~bits & clear_bits_become);
}

// Multicolour: the pairs of each value, as the low bit of each such pair,
// times that value's pattern (0 to 3) fill those pairs with the pattern.
int translate_multicolour_byte(int bits, const CellPatterns& patterns) {
    constexpr int PAIR_LOW_BITS = 0x55;
    const int high = (bits >> 1) & PAIR_LOW_BITS;
    const int low = bits & PAIR_LOW_BITS;
    const std::array<int, MAX_PATTERNS> pairs_of_value = {~high & ~low & PAIR_LOW_BITS, ~high & low, high & ~low,
                                                         high & low};
    int out = 0;
#pragma GCC unroll 4
    for (int value = 0; value < MAX_PATTERNS; ++value) {
        out |= pairs_of_value[value] * patterns[value];
    }
    return out;
}

int translate_byte(int bits, const CellPatterns& patterns, int pixel_bits) {
    return pixel_bits == 1 ? translate_hires_byte(bits, patterns) : translate_multicolour_byte(bits, patterns);
}

// The walk along one grid line: where it stands, the patterns of the cell it
// is in, the grid pixel p it is at (counted from the left edge of grid
// column 0), and how many pixels of the line come from the picture (none on
// a padding line). Padding pixels take the pattern of pixel value 0.
struct LineWalk {
    WalkPosition position;
    CellPatterns patterns;
    std::uint32_t p;
    std::uint32_t picture_pixels;
};

// The walk stands at the first pixel of a picture byte that lies wholly
// inside the rectangle: the byte becomes the output byte in one step. Its
// pixels all move within their cell, and only the last one may step into the
// next cell.
bool whole_byte_ahead(const PictureView& picture, const LineWalk& line) {
    const int first_shift = 8 - picture.pixel_bits;
    const auto pixels_per_byte = static_cast<std::uint32_t>(8 / picture.pixel_bits);
    return line.position.shift == first_shift && line.p + pixels_per_byte <= line.picture_pixels;
}

ErrorCode take_whole_byte(const PictureView& picture, const CutRequest& request, CellRowLookups& lookups,
                          LineWalk& line, int& out) {
    out = translate_byte(line.position.bits, line.patterns, picture.pixel_bits);
    line.p += static_cast<std::uint32_t>(8 / picture.pixel_bits);
    line.position.shift = 0;
    return line.p < request.w ? step_right(picture, request, lookups, line.position, line.patterns) : ERR_SUCCESS;
}

ErrorCode take_pixel_by_pixel(const PictureView& picture, const CutRequest& request, CellRowLookups& lookups,
                              LineWalk& line, int& out) {
    const int value_mask = (1 << picture.pixel_bits) - 1;
    out = 0;
    for (int out_shift = 8 - picture.pixel_bits; out_shift >= 0; out_shift -= picture.pixel_bits, ++line.p) {
        const int value =
            line.p < line.picture_pixels ? (line.position.bits >> line.position.shift) & value_mask : 0;
        out |= line.patterns[value] << out_shift;
        if (line.p + 1 < request.w) {
            const ErrorCode code = step_right(picture, request, lookups, line.position, line.patterns);
            if (code < 0) {
                return code;
            }
        }
    }
    return ERR_SUCCESS;
}

// Cuts grid line t (line j of grid row r) along the picture line where the
// walk starts.
ErrorCode cut_grid_line(const PictureView& picture, const CutRequest& request, CellRowLookups& lookups,
                        WalkPosition start, std::uint32_t r, int j, std::uint32_t t, std::span<std::uint8_t> output) {
    start_line(lookups, start.cell);
    LineWalk line{start, {}, 0, t >= request.h ? 0u : request.w};
    ErrorCode code = enter_cell(picture, request, lookups, start.cell, line.patterns);
    if (code < 0) {
        return code;
    }
    for (std::uint32_t c = 0; c < request.shape.columns; ++c) {
        const std::size_t block = (r * request.shape.columns + c) * SPRITE_BLOCK_SIZE;
        for (int b = 0; b < SPRITE_LINE_BYTES; ++b) {
            int out = 0;
            code = whole_byte_ahead(picture, line) ? take_whole_byte(picture, request, lookups, line, out)
                                                   : take_pixel_by_pixel(picture, request, lookups, line, out);
            if (code < 0) {
                return code;
            }
            output[block + static_cast<std::size_t>(j * SPRITE_LINE_BYTES + b)] = static_cast<std::uint8_t>(out);
        }
    }
    return ERR_SUCCESS;
}

ErrorCode cut_sprites(const PictureView& picture, const CutRequest& request, std::span<std::uint8_t> output) {
    const int picture_width = picture.pixel_bits == 1 ? HIRES_PICTURE_WIDTH : MULTICOLOUR_PICTURE_WIDTH;
    if (request.x + request.w > picture_width || request.y + request.h > PICTURE_LINES) {
        return ERR_VALUE_TOO_LARGE;
    }
    for (int pattern = 0; pattern < request.pattern_count; ++pattern) {
        if (request.pattern_colours[pattern] >= C64_COLOUR_COUNT) {
            return ERR_FUNCTION_PARAMETERS;
        }
    }
    if (output.size() < request.shape.size) {
        return ERR_FUNCTION_PARAMETERS;
    }
    CellRowLookups lookups{};
    lookups.assignment = build_colour_assignment(request);
    lookups.first_cell = -1;
    const int pixels_per_byte = 8 / picture.pixel_bits;
    int line_start = (request.y / 8) * CELL_ROW_BYTES + (request.x / pixels_per_byte) * 8 + request.y % 8;
    int start_cell = (request.y / 8) * CELL_COLUMNS + request.x / pixels_per_byte;
    const int start_shift = first_pixel_shift(picture, request.x);
    std::uint32_t t = 0;
    for (std::uint32_t r = 0; r < request.shape.rows; ++r) {
        for (int j = 0; j < SPRITE_LINES; ++j, ++t) {
            // The line to read lies below the picture (padding lines at the
            // bottom edge).
            if (start_cell >= CELL_COUNT) {
                return ERR_INDEX_OUT_OF_TABLE;
            }
            const ErrorCode code = cut_grid_line(picture, request, lookups,
                                                 {line_start, picture.bitmap[line_start], start_cell, start_shift},
                                                 r, j, t, output);
            if (code < 0) {
                return code;
            }
            // Padding lines keep reading the line below the rectangle.
            if (t >= request.h) {
                continue;
            }
            if (line_start % 8 == 7) {
                line_start += NEXT_CELL_ROW_STEP;
                start_cell += CELL_COLUMNS;
            } else {
                line_start += 1;
            }
        }
    }
    return ERR_SUCCESS;
}

SpriteGridShape grid_shape(std::uint32_t column_width, std::uint16_t w, std::uint16_t h) {
    SpriteGridShape shape{};
    shape.columns = (w + column_width - 1) / column_width;
    shape.rows = (h + SPRITE_LINES - 1u) / SPRITE_LINES;
    shape.size = shape.columns * shape.rows * SPRITE_BLOCK_SIZE;
    return shape;
}

}  // namespace

SpriteGridShape hires_grid_shape(std::uint16_t w, std::uint16_t h) {
    return grid_shape(HIRES_SPRITE_WIDTH, w, h);
}

SpriteGridShape multicolour_grid_shape(std::uint16_t w, std::uint16_t h) {
    return grid_shape(MULTICOLOUR_SPRITE_WIDTH, w, h);
}

ErrorCode cut_hires_sprites(const HiresPicture& picture, std::uint16_t x, std::uint16_t y, std::uint16_t w,
                            std::uint16_t h, std::uint8_t colour_bit_0, std::uint8_t colour_bit_1,
                            std::span<std::uint8_t> output) {
    const PictureView view{picture.bitmap.data(), picture.screen.data(), nullptr, 0, 1};
    const CutRequest request{x, y, w, h, 2, {colour_bit_0, colour_bit_1, 0, 0}, hires_grid_shape(w, h)};
    return cut_sprites(view, request, output);
}

ErrorCode cut_multicolour_sprites(const C64Picture& picture, std::uint16_t x, std::uint16_t y, std::uint16_t w,
                                  std::uint16_t h, std::uint8_t colour_bits_00, std::uint8_t colour_bits_01,
                                  std::uint8_t colour_bits_10, std::uint8_t colour_bits_11,
                                  std::span<std::uint8_t> output) {
    const PictureView view{picture.bitmap.data(), picture.screen.data(), picture.colour.data(), picture.background, 2};
    const CutRequest request{x,
                             y,
                             w,
                             h,
                             4,
                             {colour_bits_00, colour_bits_01, colour_bits_10, colour_bits_11},
                             multicolour_grid_shape(w, h)};
    return cut_sprites(view, request, output);
}

void clear_grid(SpriteGrid& grid, const SpriteGridShape& shape) {
    std::fill_n(grid.bytes.begin(), std::min<std::size_t>(shape.size, grid.bytes.size()), 0);
}
