// GIF files built with giflib's encoder in the tests: any screen, one frame
// placed anywhere on it, global and local colour maps, interlacing.
#pragma once

#include <gif_lib.h>

#include <cstdint>
#include <functional>
#include <vector>

struct TestGif {
    int screen_width;
    int screen_height;
    int left;
    int top;
    int width;
    int height;
    bool interlaced;
    std::vector<GifColorType> global_map;  // empty: none; a power of two entries
    std::vector<GifColorType> local_map;   // empty: none
    int background;
    std::function<std::uint8_t(int x, int y)> index;  // frame coordinates
    bool extensions_first = false;                    // a comment and a graphics control block
};

inline int gif_append(GifFileType* gif, const GifByteType* data, int length) {
    auto* bytes = static_cast<std::vector<std::uint8_t>*>(gif->UserData);
    bytes->insert(bytes->end(), data, data + length);
    return length;
}

inline ColorMapObject* gif_map(const std::vector<GifColorType>& colours) {
    return colours.empty() ? nullptr : GifMakeMapObject(static_cast<int>(colours.size()), colours.data());
}

// Empty when the encoder refuses the recipe.
inline std::vector<std::uint8_t> build_gif(const TestGif& recipe) {
    std::vector<std::uint8_t> bytes;
    int error = 0;
    GifFileType* gif = EGifOpen(&bytes, gif_append, &error);
    if (gif == nullptr) return {};
    ColorMapObject* global = gif_map(recipe.global_map);
    ColorMapObject* local = gif_map(recipe.local_map);
    bool good = EGifPutScreenDesc(gif, recipe.screen_width, recipe.screen_height, 8, recipe.background, global) !=
                GIF_ERROR;
    if (good && recipe.extensions_first) {
        const GifByteType control[4] = {0, 0, 0, 0};
        EGifSetGifVersion(gif, true);
        good = EGifPutComment(gif, "made in a test") != GIF_ERROR &&
               EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, control) != GIF_ERROR;
    }
    good = good && EGifPutImageDesc(gif, recipe.left, recipe.top, recipe.width, recipe.height, recipe.interlaced,
                                    local) != GIF_ERROR;
    std::vector<int> order;
    if (recipe.interlaced) {
        const int start[4] = {0, 4, 2, 1}, step[4] = {8, 8, 4, 2};
        for (int pass = 0; pass < 4; ++pass)
            for (int y = start[pass]; y < recipe.height; y += step[pass]) order.push_back(y);
    } else {
        for (int y = 0; y < recipe.height; ++y) order.push_back(y);
    }
    std::vector<GifPixelType> line(static_cast<std::size_t>(recipe.width));
    for (const int y : order) {
        if (!good) break;
        for (int x = 0; x < recipe.width; ++x) line[static_cast<std::size_t>(x)] = recipe.index(x, y);
        good = EGifPutLine(gif, line.data(), recipe.width) != GIF_ERROR;
    }
    good = EGifCloseFile(gif, &error) != GIF_ERROR && good;
    GifFreeMapObject(global);
    GifFreeMapObject(local);
    return good ? bytes : std::vector<std::uint8_t>{};
}

// Offset of the first image descriptor (its 0x2C) in a built file: after the
// header, screen descriptor and global map, and any extension blocks.
inline std::size_t first_image_descriptor(const std::vector<std::uint8_t>& file) {
    std::size_t at = 13;
    if (file[10] & 0x80) at += 3u << ((file[10] & 7) + 1);
    while (at < file.size() && file[at] == 0x21) {
        at += 2;
        while (at < file.size() && file[at] != 0) at += file[at] + 1u;
        ++at;
    }
    return at;
}
