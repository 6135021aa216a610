#include "identify/picture_framing.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

namespace {

constexpr int SCREENSHOT_WIDTH = 384;
constexpr int SCREENSHOT_HEIGHT = 272;
constexpr int SCREENSHOT_PICTURE_X = 32;
constexpr int SCREENSHOT_PICTURE_Y = 35;
constexpr int NARROW_WIDTH = 160;
constexpr int LARGEST_ENLARGEMENT = 4;
constexpr int RGB_BITS = 24;

// An index beyond the palette, as a colour: above every 0xRRGGBB value, so
// it never equals a real colour.
constexpr std::uint32_t BEYOND_PALETTE = 0x01000000;

// A size the rules give the picture a place in.
bool placeable(int width, int height, bool multicolour) {
    const bool framed = width >= IMAGE_WIDTH && height >= IMAGE_HEIGHT && width <= MAX_PICTURE_SIDE &&
                        height <= MAX_PICTURE_SIDE;
    return framed || (multicolour && width == NARROW_WIDTH && height == IMAGE_HEIGHT);
}

// Where the picture lies in a picture of this (reduced) size.
struct Placement {
    int x;
    int y;
    int divisor;
    bool framed;  // everything around it must be one colour
};

Placement place(int width, int height) {
    if (width == NARROW_WIDTH && height == IMAGE_HEIGHT) {
        return {0, 0, 2, false};
    }
    if (width == SCREENSHOT_WIDTH && height == SCREENSHOT_HEIGHT) {
        return {SCREENSHOT_PICTURE_X, SCREENSHOT_PICTURE_Y, 1, false};
    }
    return {(width - IMAGE_WIDTH) / 2, (height - IMAGE_HEIGHT) / 2, 1, width != IMAGE_WIDTH || height != IMAGE_HEIGHT};
}

std::uint32_t rgb_at(const std::uint8_t* pixel) {
    return static_cast<std::uint32_t>(pixel[0]) << 16 | static_cast<std::uint32_t>(pixel[1]) << 8 | pixel[2];
}

int index_at(const std::uint8_t* row, int bits_per_pixel, int x) {
    if (bits_per_pixel == 8) {
        return row[x];
    }
    const int bit = x * bits_per_pixel;
    return row[bit / 8] >> (8 - bits_per_pixel - bit % 8) & ((1 << bits_per_pixel) - 1);
}

const std::uint8_t* row_at(const DecodedRows& rows, int y) {
    return rows.bytes + static_cast<std::size_t>(y) * rows.row_bytes;
}

std::uint32_t colour_at(const DecodedRows& rows, const std::uint8_t* row, int x) {
    if (rows.bits_per_pixel == RGB_BITS) {
        return rgb_at(row + 3 * static_cast<std::size_t>(x));
    }
    const int index = index_at(row, rows.bits_per_pixel, x);
    return index < rows.palette_entries ? rows.palette[index] : BEYOND_PALETTE;
}

// The colours of file row y.
void row_colours(const DecodedRows& rows, int y, std::uint32_t* colours) {
    const std::uint8_t* row = row_at(rows, y);
    for (int x = 0; x < rows.width; ++x) {
        colours[x] = colour_at(rows, row, x);
    }
}

// Every k by k block, from the top left, is one colour.
bool enlarged_by(const DecodedRows& rows, int k, std::vector<std::uint32_t>& first, std::vector<std::uint32_t>& next) {
    for (int top = 0; top < rows.height; top += k) {
        row_colours(rows, top, first.data());
        for (int x = 0; x < rows.width; ++x) {
            if (first[static_cast<std::size_t>(x)] != first[static_cast<std::size_t>(x - x % k)]) {
                return false;
            }
        }
        for (int y = top + 1; y < top + k; ++y) {
            row_colours(rows, y, next.data());
            if (next != first) {
                return false;
            }
        }
    }
    return true;
}

// The largest enlargement whose reduced size has a place; 1 for none. Sizes
// that are already placeable at 1 and 2 (such as 640 by 400) are read reduced
// when every block is one colour: a picture saved enlarged.
ErrorCode find_enlargement(const DecodedRows& rows, bool multicolour, int& scale) {
    scale = 1;
    std::vector<std::uint32_t> first;
    std::vector<std::uint32_t> next;
    for (int k = LARGEST_ENLARGEMENT; k > 1; --k) {
        if (rows.width % k != 0 || rows.height % k != 0 || !placeable(rows.width / k, rows.height / k, multicolour)) {
            continue;
        }
        if (first.empty()) {
            try {
                first.resize(static_cast<std::size_t>(rows.width));
                next.resize(static_cast<std::size_t>(rows.width));
            } catch (const std::bad_alloc&) {
                return ERR_ALLOCATION;
            }
        }
        if (enlarged_by(rows, k, first, next)) {
            scale = k;
            return ERR_SUCCESS;
        }
    }
    return ERR_SUCCESS;
}

// The first x from `from` to `to` whose colour is not frame, or to. The
// depth is chosen once a stretch: a border is tens of thousands of pixels.
int first_other_colour(const DecodedRows& rows, const std::uint8_t* row, int from, int to, std::uint32_t frame) {
    if (rows.bits_per_pixel == RGB_BITS) {
        for (int x = from; x < to; ++x) {
            if (rgb_at(row + 3 * static_cast<std::size_t>(x)) != frame) return x;
        }
    } else if (rows.bits_per_pixel == 8) {
        for (int x = from; x < to; ++x) {
            if (row[x] >= rows.palette_entries || rows.palette[row[x]] != frame) return x;
        }
    } else {
        for (int x = from; x < to; ++x) {
            if (colour_at(rows, row, x) != frame) return x;
        }
    }
    return to;
}

// Everything outside the picture's rectangle (file pixels) is one colour,
// which is a colour of the palette; otherwise framing names the first pixel
// that differs.
bool frame_is_one_colour(const DecodedRows& rows, int left, int top, int right, int bottom,
                         PictureFraming& framing) {
    // The first pixel outside: the top left one, unless the picture is there.
    const bool corner_inside = left == 0 && top == 0;
    const int first_x = corner_inside ? (right < rows.width ? right : 0) : 0;
    const int first_y = corner_inside && right >= rows.width ? bottom : 0;
    const std::uint32_t frame = colour_at(rows, row_at(rows, first_y), first_x);
    framing.frame_colour = frame;
    if (frame == BEYOND_PALETTE) {
        framing.odd_colour = frame;
        framing.odd_x = first_x;
        framing.odd_y = first_y;
        return false;
    }
    for (int y = 0; y < rows.height; ++y) {
        const std::uint8_t* row = row_at(rows, y);
        const bool beside = y >= top && y < bottom;
        int odd = first_other_colour(rows, row, 0, beside ? left : rows.width, frame);
        if (odd == (beside ? left : rows.width) && beside) {
            odd = first_other_colour(rows, row, right, rows.width, frame);
        }
        if (odd < rows.width && !(beside && odd == left)) {
            framing.odd_colour = colour_at(rows, row, odd);
            framing.odd_x = odd;
            framing.odd_y = y;
            return false;
        }
    }
    return true;
}

// Unpacking rows at scale 1: four-bit rows, the usual case, have loops of
// their own (fixed lengths the compiler turns into whole-register steps).
constexpr int FOUR_BIT_PICTURE_BYTES = IMAGE_WIDTH / 2;
constexpr int FOUR_BIT_NARROW_BYTES = NARROW_WIDTH / 2;

void unpack_four_bit_row(const std::uint8_t* __restrict packed, std::uint8_t* __restrict indices) {
    for (int at = 0; at < FOUR_BIT_PICTURE_BYTES; ++at) {
        indices[2 * at] = static_cast<std::uint8_t>(packed[at] >> 4);
        indices[2 * at + 1] = static_cast<std::uint8_t>(packed[at] & 0x0F);
    }
}

// Each pixel of the narrow image becomes two.
void unpack_four_bit_narrow_row(const std::uint8_t* __restrict packed, std::uint8_t* __restrict indices) {
    for (int at = 0; at < FOUR_BIT_NARROW_BYTES; ++at) {
        const auto left = static_cast<std::uint8_t>(packed[at] >> 4);
        const auto right = static_cast<std::uint8_t>(packed[at] & 0x0F);
        indices[4 * at] = left;
        indices[4 * at + 1] = left;
        indices[4 * at + 2] = right;
        indices[4 * at + 3] = right;
    }
}

// Any depth and scale: picture row y, each file pixel put `divisor` times.
void sample_index_row(const DecodedRows& rows, const Placement& placement, int scale, int y, std::uint8_t* indices) {
    const std::uint8_t* row = row_at(rows, (placement.y + y) * scale);
    for (int x = 0; x < IMAGE_WIDTH; ++x) {
        indices[x] = static_cast<std::uint8_t>(
            index_at(row, rows.bits_per_pixel, (placement.x + x / placement.divisor) * scale));
    }
}

// The picture's indices. An index beyond the palette is a corrupt file; it
// can only occur when the palette holds fewer entries than the depth names.
ErrorCode place_indices(const DecodedRows& rows, const Placement& placement, int scale, ColourImage& image) {
    const int depth = rows.bits_per_pixel;
    const bool four_bits = depth == 4 && placement.x % 2 == 0 && scale == 1;
    for (int y = 0; y < IMAGE_HEIGHT; ++y) {
        const std::uint8_t* row = row_at(rows, placement.y + y);
        std::uint8_t* indices = image.indices.data() + static_cast<std::size_t>(y) * IMAGE_WIDTH;
        if (four_bits && placement.divisor == 1) {
            unpack_four_bit_row(row + placement.x / 2, indices);
        } else if (four_bits) {
            unpack_four_bit_narrow_row(row + placement.x / 2, indices);
        } else if (depth == 8 && placement.divisor == 1 && scale == 1) {
            std::memcpy(indices, row + placement.x, IMAGE_WIDTH);
        } else {
            sample_index_row(rows, placement, scale, y, indices);
        }
    }
    const int entries = rows.palette_entries;
    if (entries < 1 << depth && highest_index(image.indices.data(), image.indices.size()) >= entries) {
        return ERR_INVALID_PNG;
    }
    std::fill(image.palette.begin(), image.palette.end(), 0);
    std::copy(rows.palette, rows.palette + entries, image.palette.begin());
    image.palette_entries = entries;
    image.has_indices = true;
    return ERR_SUCCESS;
}

// One picture row of colours from 8-bit RGB file pixels, each put Repeat times.
template <int Repeat>
void colour_row(const std::uint8_t* __restrict rgb, std::uint32_t* __restrict colours) {
    for (int x = 0; x < IMAGE_WIDTH / Repeat; ++x) {
        const std::uint32_t colour = rgb_at(rgb + 3 * x);
        for (int copy = 0; copy < Repeat; ++copy) {
            colours[Repeat * x + copy] = colour;
        }
    }
}

void place_colours(const DecodedRows& rows, const Placement& placement, int scale, ColourImage& image) {
    for (int y = 0; y < IMAGE_HEIGHT; ++y) {
        const std::uint8_t* row = row_at(rows, (placement.y + y) * scale);
        std::uint32_t* colours = image.colours.data() + static_cast<std::size_t>(y) * IMAGE_WIDTH;
        if (scale == 1 && placement.divisor == 1) {
            colour_row<1>(row + 3 * placement.x, colours);
        } else if (scale == 1) {
            colour_row<2>(row + 3 * placement.x, colours);
        } else {
            for (int x = 0; x < IMAGE_WIDTH; ++x) {
                colours[x] = rgb_at(row + 3 * static_cast<std::size_t>((placement.x + x / placement.divisor) * scale));
            }
        }
    }
    image.has_indices = false;
}

ErrorCode refuse(PictureFraming& framing, FramingVerdict verdict) {
    framing.verdict = verdict;
    return ERR_INVALID_PNG;
}

}  // namespace

std::uint8_t highest_index(const std::uint8_t* indices, std::size_t count) {
    std::uint8_t highest = 0;
    for (std::size_t at = 0; at < count; ++at) {
        highest = std::max(highest, indices[at]);
    }
    return highest;
}

PictureFraming unread_framing(const char* format) {
    return {format, 0, 0, 1, FramingVerdict::unread, nullptr, 0, 0, 0, 0};
}

bool picture_size_possible(int width, int height, bool multicolour) {
    if (width <= 0 || height <= 0 || width > MAX_PICTURE_SIDE || height > MAX_PICTURE_SIDE) {
        return false;
    }
    for (int k = 1; k <= LARGEST_ENLARGEMENT; ++k) {
        if (width % k == 0 && height % k == 0 && placeable(width / k, height / k, multicolour)) {
            return true;
        }
    }
    return false;
}

ErrorCode frame_picture(const DecodedRows& rows, bool multicolour, ColourImage& image, PictureFraming& framing) {
    framing.width = rows.width;
    framing.height = rows.height;
    if (!picture_size_possible(rows.width, rows.height, multicolour)) {
        return refuse(framing, FramingVerdict::size_refused);
    }
    int scale = 1;
    ErrorCode code = find_enlargement(rows, multicolour, scale);
    if (code < 0) {
        return code;
    }
    framing.scale = scale;
    const int width = rows.width / scale;
    const int height = rows.height / scale;
    if (!placeable(width, height, multicolour)) {
        return refuse(framing, FramingVerdict::size_refused);
    }
    const Placement placement = place(width, height);
    if (placement.framed &&
        !frame_is_one_colour(rows, placement.x * scale, placement.y * scale, (placement.x + IMAGE_WIDTH) * scale,
                             (placement.y + IMAGE_HEIGHT) * scale, framing)) {
        if (framing.odd_colour == BEYOND_PALETTE || framing.frame_colour == BEYOND_PALETTE) {
            framing.problem = "an index beyond the palette";
            return refuse(framing, FramingVerdict::corrupt);
        }
        return refuse(framing, FramingVerdict::frame_not_one_colour);
    }
    image.x_offset = placement.x;
    image.y_offset = placement.y;
    image.x_divisor = placement.divisor;
    image.scale = scale;
    if (rows.bits_per_pixel == RGB_BITS) {
        place_colours(rows, placement, scale, image);
    } else if ((code = place_indices(rows, placement, scale, image)) < 0) {
        framing.problem = "an index beyond the palette";
        return refuse(framing, FramingVerdict::corrupt);
    }
    framing.verdict = FramingVerdict::accepted;
    return ERR_SUCCESS;
}

std::string describe_refused_framing(const PictureFraming& framing, bool multicolour) {
    std::array<char, 320> line{};
    char enlarged[64] = "";
    if (framing.scale > 1) {
        std::snprintf(enlarged, sizeof enlarged, " (%d x %d enlarged %d times)", framing.width / framing.scale,
                      framing.height / framing.scale, framing.scale);
    }
    switch (framing.verdict) {
    case FramingVerdict::size_refused:
        std::snprintf(line.data(), line.size(),
                      "%s image of %d x %d: accepted sizes are 320 x 200, 384 x 272%s, any size up to %d x %d "
                      "with the picture centred in a one-colour frame, and these enlarged 2, 3 or 4 times\n",
                      framing.format, framing.width, framing.height,
                      multicolour ? ", 160 x 200" : ", 160 x 200 (multicolour only)", MAX_PICTURE_SIDE,
                      MAX_PICTURE_SIDE);
        break;
    case FramingVerdict::frame_not_one_colour:
        std::snprintf(line.data(), line.size(),
                      "%s image of %d x %d%s: the frame around the 320 x 200 picture is not one colour "
                      "(#%06X, then #%06X at x %d, y %d)\n",
                      framing.format, framing.width, framing.height, enlarged, framing.frame_colour,
                      framing.odd_colour, framing.odd_x, framing.odd_y);
        break;
    case FramingVerdict::corrupt:
        // Only a GIF's line is printed: a PNG's refusal keeps the error message alone.
        if (std::strcmp(framing.format, "gif") != 0) {
            return "";
        }
        std::snprintf(line.data(), line.size(), "gif file refused: %s\n",
                      framing.problem != nullptr ? framing.problem : "not a readable gif file");
        break;
    default:
        return "";
    }
    return line.data();
}
