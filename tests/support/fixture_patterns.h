// The pictures of the foreign fixtures, as C64 colour numbers: the patterns
// of tests/fixtures/make_foreign_pcx.py and make_foreign_png.py.
#pragma once

#include <cstdint>

inline bool inside_frame(int x, int y) {
    return x / 8 >= 8 && x / 8 < 32 && y / 8 >= 6 && y / 8 < 18;
}

// Double-width pixels, at most three colours besides 0 in every cell.
inline std::uint8_t multicolour_pattern(int x, int y) {
    if (!inside_frame(x, y)) return 0;
    const int cx = x / 8, cy = y / 8, pair = (x % 8) / 2, row = y % 8;
    const int colours[4] = {0, 1 + cx % 15, 1 + (cx + cy) % 15, 1 + (3 * cy) % 15};
    return static_cast<std::uint8_t>(colours[(pair / 2 + row / 2 + cx) % 4]);
}

// At most two colours in every cell.
inline std::uint8_t hires_pattern(int x, int y) {
    if (!inside_frame(x, y)) return 0;
    const int cx = x / 8, cy = y / 8;
    const bool on = ((x - 160) * (x - 160) + 4 * (y - 100) * (y - 100)) / 400 % 2 == 0;
    return static_cast<std::uint8_t>(on ? (cx + cy) % 16 : (3 * cx + 1) % 16);
}

// The multicolour pattern in palette 12's greys: black, dark grey, grey,
// light grey, white.
inline std::uint8_t grey_pattern(int x, int y) {
    constexpr std::uint8_t greys[5] = {0, 11, 12, 15, 1};
    return greys[multicolour_pattern(x, y) % 5];
}
