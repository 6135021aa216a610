// What was read of a desktop picture on its way to the C64 screen, for the
// one console line that says so, or the line that says why it was refused.
#pragma once

#include <cstddef>
#include <string>

// A picture held whole while it is read (an interlaced PNG, a GIF frame, a
// WebP, a turned JPEG) may take at most this much memory; a larger one is
// refused. Streamed pictures take memory by their width alone.
constexpr std::size_t MAX_DECODE_BYTES = 40 * 1024 * 1024;

struct ScreenSource {
    std::string format;   // "png", "gif", "jpeg", "webp", "pcx"; "" before the file is known
    int width = 0;        // the file's own size, 0 until its header has been read
    int height = 0;
    int scale_eighths = 8;  // a JPEG's DCT scale, in eighths: 2 read it at 1/4 of its size
    std::string profile;    // "Display P3", "sRGB", "gamma 0.45"; "" when sRGB was assumed
    int orientation = 1;    // EXIF orientation applied, 1 to 8
    std::string problem;    // why the file was refused, when that is known
};

// "read jpeg 1600 x 900 at 1/4 scale, profile Display P3, turned 90 degrees\n"
std::string describe_screen_source(const ScreenSource& source);

// "jpeg file of 1600 x 900 refused: premature end of the file\n", or "" when
// no reason is known.
std::string describe_refused_screen_source(const ScreenSource& source);
