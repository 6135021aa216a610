// Where the 320 by 200 picture lies in a decoded desktop picture of any size
// a reader accepts: the picture itself, a 160 by 200 multicolour image, an
// emulator screenshot, a picture centred in a one-colour screen border, and
// any of these enlarged 2, 3 or 4 times. Shared by the PNG and GIF readers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "identify/colour_identification.h"
#include "frame/errors.h"

// No reader allocates anything for a declared size beyond this.
constexpr int MAX_PICTURE_SIDE = 2048;

// A whole decoded picture, as its reader holds it: rows of palette indices
// packed 1, 2, 4 or 8 bits a pixel (leftmost pixel in the high bits), or rows
// of 8-bit RGB.
struct DecodedRows {
    const std::uint8_t* bytes;
    std::size_t row_bytes;
    int width;
    int height;
    int bits_per_pixel;          // 1, 2, 4 or 8: palette indices; 24: RGB
    const std::uint32_t* palette;  // 0xRRGGBB of each entry, for indices
    int palette_entries;
};

enum class FramingVerdict { unread, accepted, size_refused, frame_not_one_colour, corrupt };

// What a reader found, for the line that refuses a picture.
struct PictureFraming {
    const char* format;  // "png" or "gif"
    int width;           // the file's size, 0 until its header has been read
    int height;
    int scale;           // 1, or the enlargement that was undone
    FramingVerdict verdict;
    const char* problem;  // what made a file corrupt, when known
    // The first pixel of a frame that is not one colour, and the frame's colour.
    std::uint32_t frame_colour;
    std::uint32_t odd_colour;
    int odd_x;
    int odd_y;
};

PictureFraming unread_framing(const char* format);

// The highest of count indices; a loop the compiler runs a whole register at
// a time.
std::uint8_t highest_index(const std::uint8_t* indices, std::size_t count);

// True when a picture of this size could be accepted, judged from its header
// alone, before anything is allocated for its pixels.
bool picture_size_possible(int width, int height, bool multicolour);

// Brings the decoded picture to image: finds an enlargement, then the
// picture's place by the size rules, checks the frame when there is one and
// copies the picture's pixels (indices and palette, or colours). A picture
// whose size or frame is refused, or one with an index beyond its palette:
// ERR_INVALID_PNG, with framing saying why.
ErrorCode frame_picture(const DecodedRows& rows, bool multicolour, ColourImage& image, PictureFraming& framing);

// The console line (with its line feed) that says why a picture was refused,
// or "" when there is nothing to add to the error message.
std::string describe_refused_framing(const PictureFraming& framing, bool multicolour);
