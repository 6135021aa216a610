#include "demo_scene.h"

#include <algorithm>
#include <cstdlib>

#include "c64/pixel.h"

namespace {

constexpr std::uint8_t BLACK = 0;
constexpr std::uint8_t WHITE = 1;
constexpr std::uint8_t PURPLE = 4;
constexpr std::uint8_t BLUE = 6;
constexpr std::uint8_t YELLOW = 7;
constexpr std::uint8_t ORANGE = 8;
constexpr std::uint8_t LIGHT_RED = 10;
constexpr std::uint8_t LIGHT_BLUE = 14;

constexpr int HORIZON = 128;  // first line of water, a cell boundary
constexpr int SUN_X = 104;
constexpr int SUN_Y = 117;
constexpr int SUN_RADIUS = 15;  // in lines; a double-width pixel is two units across
constexpr int SUN_CORE_RADIUS = 10;
constexpr int SUN_GLOW_RADIUS = 21;

// The same numbers for the same arguments on every machine.
std::uint32_t hash(int x, int y, std::uint32_t seed) {
    std::uint32_t h = seed * 0x9E3779B9u ^ static_cast<std::uint32_t>(x) * 0x85EBCA6Bu ^
                      static_cast<std::uint32_t>(y) * 0xC2B2AE35u;
    h ^= h >> 15;
    h *= 0x2C1B3C6Du;
    h ^= h >> 12;
    h *= 0x297A2D39u;
    h ^= h >> 15;
    return h;
}

constexpr std::array<std::array<int, 4>, 4> BAYER = {{{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}}};

int bayer(int x, int y) { return BAYER[static_cast<std::size_t>(y & 3)][static_cast<std::size_t>(x & 3)]; }

// Each band is a solid colour, then a ramp of 16 lines into the next one,
// so that no cell row of the sky holds more than two of its colours.
struct SkyBand {
    int first_line;
    std::uint8_t colour;
};
constexpr std::array<SkyBand, 5> SKY = {{{0, BLUE}, {32, PURPLE}, {56, LIGHT_RED}, {88, ORANGE}, {120, YELLOW}}};
constexpr int SKY_RAMP = 16;

std::uint8_t sky_colour(int x, int y) {
    for (std::size_t band = SKY.size() - 1; band > 0; --band) {
        if (y >= SKY[band].first_line) return SKY[band].colour;
        const int ramp_start = SKY[band].first_line - SKY_RAMP;
        if (y >= ramp_start) {
            return bayer(x, y) < y - ramp_start ? SKY[band].colour : SKY[band - 1].colour;
        }
    }
    return SKY[0].colour;
}

bool is_star(int x, int y) { return y < 36 && hash(x, y, 7) % 173 == 0; }

// Squared distance from the sun's centre, with pixels twice as wide as high.
int sun_distance2(int x, int y) {
    const int dx = 2 * (x - SUN_X) + 1;
    const int dy = y - SUN_Y;
    return dx * dx + dy * dy;
}

struct Peak {
    int x;
    int top;
};
constexpr std::array<Peak, 5> PEAKS = {{{14, 60}, {38, 76}, {60, 66}, {84, 98}, {150, 110}}};

// The top line of the mountains in column x, ridges a little ragged, and
// the peak that makes it.
int mountain_top(int x, const Peak*& highest) {
    int top = HORIZON;
    highest = nullptr;
    for (const Peak& peak : PEAKS) {
        const int slope = peak.x > 120 ? 1 : 2;
        const int y = peak.top + slope * std::abs(x - peak.x) + static_cast<int>(hash(x / 2, peak.x, 3) % 3);
        if (y < top) {
            top = y;
            highest = &peak;
        }
    }
    return top;
}

// The sun is to the right: the face between a peak's left edge and a ridge
// running steeply down from it lies in shade.
std::uint8_t mountain_colour(int x, int y, int top, const Peak& peak) {
    if (y < top + 3 + static_cast<int>(hash(x, 0, 5) % 3) && y < 72) return WHITE;  // snow, where the sky is one colour
    const bool shaded = x < peak.x && 5 * (peak.x - x) > y - peak.top;
    if (shaded) return ((x / 2 + y) & 1) != 0 ? BLACK : PURPLE;
    return PURPLE;
}

// The black hill of the foreground: its top line in column x.
int shore_top(int x) {
    const int d = x - 18;
    return x < 18 ? 133 + d * d / 40 : 133 + d * d / 36;
}

bool in_pine(int x, int y, int tree_x, int height) {
    const int base = shore_top(tree_x) + 2;
    const int top = base - height;
    if (y < top || y > base) return false;
    const int depth = y - top;
    const int width = depth / 5 + (depth % 6) / 2;  // tiers of branches
    return std::abs(x - tree_x) <= width;
}

struct House {
    int left, right, eaves, floor;
};
constexpr House HOUSE = {26, 37, 122, 136};

bool in_house(int x, int y) {
    if (x >= HOUSE.left && x <= HOUSE.right && y >= HOUSE.eaves && y <= HOUSE.floor) return true;
    const int middle = (HOUSE.left + HOUSE.right) / 2;
    const int roof_top = HOUSE.eaves - 7;
    if (y >= roof_top && y < HOUSE.eaves && std::abs(x - middle) <= (y - roof_top) + 1) return true;
    return x >= HOUSE.right - 3 && x <= HOUSE.right - 2 && y >= roof_top - 1 && y < HOUSE.eaves;  // chimney
}

bool is_window(int x, int y) {
    return y >= HOUSE.eaves + 3 && y <= HOUSE.eaves + 7 &&
           ((x >= HOUSE.left + 2 && x <= HOUSE.left + 3) || (x >= HOUSE.right - 4 && x <= HOUSE.right - 3));
}

bool is_bird(int x, int y) {
    constexpr std::array<std::array<int, 2>, 4> BIRDS = {{{50, 30}, {57, 26}, {64, 33}, {120, 44}}};
    for (const auto& bird : BIRDS) {
        const int dx = std::abs(x - bird[0]);
        if (dx <= 2 && y == bird[1] - (dx == 1 ? 1 : 0)) return true;
    }
    return false;
}

// The foreground: the hill, its trees and the house, black but for the
// lit windows. False where the land does not cover the pixel.
bool land_pixel(int x, int y, std::uint8_t& colour) {
    colour = is_window(x, y) ? YELLOW : BLACK;
    return is_window(x, y) || in_house(x, y) || y >= shore_top(x) || in_pine(x, y, 4, 34) ||
           in_pine(x, y, 11, 26) || in_pine(x, y, 46, 20) || in_pine(x, y, 52, 15);
}

std::uint8_t sky_pixel(int x, int y) {
    const int sun = sun_distance2(x, y);
    if (sun <= SUN_CORE_RADIUS * SUN_CORE_RADIUS) return WHITE;
    if (sun <= SUN_RADIUS * SUN_RADIUS) return YELLOW;
    const Peak* peak = nullptr;
    const int top = mountain_top(x, peak);
    if (peak != nullptr && y >= top) return mountain_colour(x, y, top, *peak);
    if (is_bird(x, y)) return BLACK;
    if (is_star(x, y)) return WHITE;
    if (sun <= SUN_GLOW_RADIUS * SUN_GLOW_RADIUS && bayer(x, y) < 6) return YELLOW;
    return sky_colour(x, y);
}

// The water: a base colour and ripples by depth, the sun's glitter in a
// column below it and the mountains mirrored dark. Each cell is in one zone
// of the glitter, so a cell mixes at most base, ripple and one glint colour.
std::uint8_t water_pixel(int x, int y) {
    const int depth = y - HORIZON;
    const int cell_row = y / SCENE_CELL_HEIGHT;
    std::uint8_t base = BLUE;
    std::uint8_t ripple = LIGHT_BLUE;
    if (cell_row < 18) {
        base = PURPLE;
        ripple = LIGHT_RED;
    } else if (cell_row < 21) {
        ripple = PURPLE;
    }
    const int cell_middle = (x / SCENE_CELL_WIDTH) * SCENE_CELL_WIDTH + 2;
    const int from_sun = std::abs(cell_middle - SUN_X);
    const int glitter_width = 4 + depth / 4;
    const bool inner = from_sun < glitter_width / 2;
    const bool outer = !inner && from_sun < glitter_width;

    const Peak* peak = nullptr;
    const int reflection = (HORIZON - mountain_top(x, peak)) * 2 / 3;
    if (depth < reflection) {
        base = (y & 1) != 0 ? BLACK : base;
        ripple = PURPLE;
    }

    const int length = 2 + depth / 10;
    const int phase = static_cast<int>(hash(0, y, 11) % 8);
    const int dash = (x + phase) / length;
    const bool line = (y & 1) == 0 || depth < 8;
    const std::uint32_t roll = hash(dash, y, 13) % 8;
    if (inner && (line || roll < 2)) return roll < 5 ? (roll < 2 ? WHITE : YELLOW) : base;
    if (outer && line && roll < 4) return roll < 2 ? YELLOW : ripple;
    if (line && roll < 2) return ripple;
    return base;
}

void draw_boat(SceneCanvas& canvas) {
    constexpr int MAST = 74;
    constexpr int WATERLINE = 158;
    for (int y = WATERLINE - 20; y <= WATERLINE + 3; ++y) {
        for (int x = MAST - 8; x <= MAST + 10; ++x) {
            std::uint8_t& pixel = canvas.pixels[static_cast<std::size_t>(y * SCENE_WIDTH + x)];
            const int below = y - WATERLINE;
            if (below >= 0) {
                if (x >= MAST - 7 + below && x <= MAST + 9 - below) pixel = BLACK;  // hull
            } else if (x == MAST && y >= WATERLINE - 19) {
                pixel = BLACK;
            } else if (y >= WATERLINE - 18 && y <= WATERLINE - 2) {
                const int down = y - (WATERLINE - 18);
                if (x > MAST && x <= MAST + 1 + down / 2) pixel = WHITE;
                if (x < MAST && x >= MAST - down / 3 && y >= WATERLINE - 12) pixel = WHITE;
            }
        }
    }
}

int colour_distance2(std::uint8_t a, std::uint8_t b) {
    int sum = 0;
    for (std::size_t channel = 0; channel < 3; ++channel) {
        const int d = c64_palettes[DEFAULT_PALETTE][a][channel] - c64_palettes[DEFAULT_PALETTE][b][channel];
        sum += d * d;
    }
    return sum;
}

}  // namespace

ErrorCode draw_demo_scene(bool with_boat, SceneCanvas& canvas) {
    for (int y = 0; y < SCENE_HEIGHT; ++y) {
        for (int x = 0; x < SCENE_WIDTH; ++x) {
            std::uint8_t colour = 0;
            if (!land_pixel(x, y, colour)) colour = y < HORIZON ? sky_pixel(x, y) : water_pixel(x, y);
            canvas.pixels[static_cast<std::size_t>(y * SCENE_WIDTH + x)] = colour;
        }
    }
    if (with_boat) draw_boat(canvas);
    return fit_cells_to_multicolour(SCENE_BACKGROUND, canvas);
}

ErrorCode fit_cells_to_multicolour(std::uint8_t background, SceneCanvas& canvas) {
    if (background >= C64_COLOUR_COUNT) return ERR_FUNCTION_PARAMETERS;
    constexpr int KEPT = 3;
    for (int top = 0; top < SCENE_HEIGHT; top += SCENE_CELL_HEIGHT) {
        for (int left = 0; left < SCENE_WIDTH; left += SCENE_CELL_WIDTH) {
            std::array<int, C64_COLOUR_COUNT> uses{};
            for (int y = top; y < top + SCENE_CELL_HEIGHT; ++y) {
                for (int x = left; x < left + SCENE_CELL_WIDTH; ++x) {
                    const std::uint8_t pixel = canvas.pixels[static_cast<std::size_t>(y * SCENE_WIDTH + x)];
                    if (pixel >= C64_COLOUR_COUNT) return ERR_FUNCTION_PARAMETERS;
                    if (pixel != background) ++uses[pixel];
                }
            }
            std::array<std::uint8_t, C64_COLOUR_COUNT> order{};
            for (std::size_t c = 0; c < order.size(); ++c) order[c] = static_cast<std::uint8_t>(c);
            std::stable_sort(order.begin(), order.end(), [&](std::uint8_t a, std::uint8_t b) { return uses[a] > uses[b]; });
            if (uses[order[KEPT]] == 0) continue;
            std::array<std::uint8_t, C64_COLOUR_COUNT> replacement{};
            for (std::size_t rank = 0; rank < order.size(); ++rank) {
                const std::uint8_t colour = order[rank];
                if (rank < KEPT) {
                    replacement[colour] = colour;
                    continue;
                }
                std::uint8_t nearest = background;
                for (int k = 0; k < KEPT; ++k) {
                    if (uses[order[k]] > 0 && colour_distance2(colour, order[k]) < colour_distance2(colour, nearest)) {
                        nearest = order[k];
                    }
                }
                replacement[colour] = nearest;
            }
            replacement[background] = background;
            for (int y = top; y < top + SCENE_CELL_HEIGHT; ++y) {
                for (int x = left; x < left + SCENE_CELL_WIDTH; ++x) {
                    std::uint8_t& pixel = canvas.pixels[static_cast<std::size_t>(y * SCENE_WIDTH + x)];
                    pixel = replacement[pixel];
                }
            }
        }
    }
    return ERR_SUCCESS;
}

ErrorCode widen_scene(const SceneCanvas& canvas, PixelImage& image) {
    image.palette.fill(0);
    for (std::size_t c = 0; c < C64_COLOUR_COUNT; ++c) {
        for (std::size_t channel = 0; channel < 3; ++channel) {
            image.palette[3 * c + channel] = c64_palettes[DEFAULT_PALETTE][c][channel];
        }
    }
    for (int y = 0; y < SCENE_HEIGHT; ++y) {
        for (int x = 0; x < SCENE_WIDTH; ++x) {
            const std::uint8_t colour = canvas.pixels[static_cast<std::size_t>(y * SCENE_WIDTH + x)];
            image.pixels[static_cast<std::size_t>(y * IMAGE_WIDTH + 2 * x)] = colour;
            image.pixels[static_cast<std::size_t>(y * IMAGE_WIDTH + 2 * x + 1)] = colour;
        }
    }
    return ERR_SUCCESS;
}
