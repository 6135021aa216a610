#include "desktop/gif_screen.h"

#include <gif_lib.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <memory>
#include <new>
#include <vector>

#include "colour/colour_science.h"
#include "convert/scaling.h"
#include "desktop/gif_records.h"
#include "identify/picture_framing.h"
#include "frame/file_names.h"

namespace {


int read_from_file(GifFileType* gif, GifByteType* data, int length) {
    auto* file = static_cast<std::FILE*>(gif->UserData);
    return length <= 0 ? 0 : static_cast<int>(std::fread(data, 1, static_cast<std::size_t>(length), file));
}

ErrorCode refuse(ScreenSource& source, std::string problem) {
    source.problem = std::move(problem);
    return ERR_INVALID_PNG;
}

ErrorCode refuse_decoder(ScreenSource& source, const GifDecoder& decoder) {
    const char* text = GifErrorString(decoder.error());
    return refuse(source, text != nullptr ? text : "not a readable gif file");
}


// The frame's rows in their place, whether stored interlaced or not.
ErrorCode decode_frame(GifFileType* gif, std::uint8_t* indices, const GifDecoder& decoder, ScreenSource& source) {
    const GifImageDesc& frame = gif->Image;
    const auto width = static_cast<std::size_t>(frame.Width);
    constexpr std::array<int, 4> START = {0, 4, 2, 1};
    constexpr std::array<int, 4> STEP = {8, 8, 4, 2};
    const std::size_t passes = frame.Interlace ? START.size() : 1;
    for (std::size_t pass = 0; pass < passes; ++pass) {
        const int start = frame.Interlace ? START[pass] : 0;
        const int step = frame.Interlace ? STEP[pass] : 1;
        for (int y = start; y < frame.Height; y += step) {
            if (DGifGetLine(gif, indices + static_cast<std::size_t>(y) * width, frame.Width) == GIF_ERROR) {
                return refuse_decoder(source, decoder);
            }
        }
    }
    return ERR_SUCCESS;
}

// Each entry's linear light premultiplied and its coverage; entries beyond
// the colour map are refused before they are looked up.
std::array<float, 256 * 4> linear_palette(const ColorMapObject& map, int transparent) {
    std::array<float, 256 * 4> colours{};
    const std::array<float, 256>& linear = linear_of_srgb_byte();
    for (int entry = 0; entry < map.ColorCount; ++entry) {
        float* colour = colours.data() + static_cast<std::size_t>(entry) * 4;
        if (entry == transparent) {
            continue;
        }
        colour[0] = linear[map.Colors[entry].Red];
        colour[1] = linear[map.Colors[entry].Green];
        colour[2] = linear[map.Colors[entry].Blue];
        colour[3] = 1.0F;
    }
    return colours;
}

ErrorCode push_screen(const GifFileType& gif, const std::uint8_t* indices, const std::array<float, 256 * 4>& colours,
                      ScreenFit fit, ScreenImage& image) {
    auto scaler = std::make_unique<ScreenScaler>();
    ErrorCode code = start_screen_scaling(gif.SWidth, gif.SHeight, fit, image, *scaler);
    if (code < 0) {
        return code;
    }
    const GifImageDesc& frame = gif.Image;
    std::vector<float> row(static_cast<std::size_t>(gif.SWidth) * 4, 0.0F);
    for (int y = 0; y < gif.SHeight; ++y) {
        if (!screen_row_needed(*scaler, y)) {
            skip_screen_row(*scaler);
            continue;
        }
        std::fill(row.begin(), row.end(), 0.0F);
        if (y >= frame.Top && y < frame.Top + frame.Height) {
            const std::uint8_t* line = indices + static_cast<std::size_t>(y - frame.Top) * static_cast<std::size_t>(frame.Width);
            float* target = row.data() + static_cast<std::size_t>(frame.Left) * 4;
            for (int x = 0; x < frame.Width; ++x) {
                std::copy_n(colours.data() + static_cast<std::size_t>(line[x]) * 4, 4, target + static_cast<std::size_t>(x) * 4);
            }
        }
        push_screen_row(*scaler, row.data());
    }
    finish_screen_scaling(*scaler);
    return ERR_SUCCESS;
}

ErrorCode decode_gif(std::FILE* file, ScreenFit fit, ScreenImage& image, ScreenSource& source) {
    GifDecoder decoder(file, read_from_file);
    GifFileType* gif = decoder.get();
    if (gif == nullptr) {
        return refuse_decoder(source, decoder);
    }
    source.width = gif->SWidth;
    source.height = gif->SHeight;
    if (gif->SWidth <= 0 || gif->SHeight <= 0) {
        return refuse(source, "a screen of no pixels");
    }
    bool found = false;
    int transparent = NO_TRANSPARENCY;
    if (!find_first_image(gif, found, transparent)) {
        return refuse_decoder(source, decoder);
    }
    if (!found) {
        return refuse(source, "no image in the file");
    }
    const GifImageDesc& frame = gif->Image;
    if (frame.Width <= 0 || frame.Height <= 0 || frame.Left < 0 || frame.Top < 0 ||
        frame.Left > gif->SWidth - frame.Width || frame.Top > gif->SHeight - frame.Height) {
        return refuse(source, "a first image that does not fit in its screen");
    }
    const ColorMapObject* map = frame.ColorMap != nullptr ? frame.ColorMap : gif->SColorMap;
    if (map == nullptr || map->ColorCount <= 0 || map->ColorCount > 256) {
        return refuse(source, "no colour map");
    }
    const std::size_t frame_bytes = static_cast<std::size_t>(frame.Width) * static_cast<std::size_t>(frame.Height);
    if (frame_bytes > MAX_DECODE_BYTES / 2) {
        return refuse(source, "a first image too large to be held within " + std::to_string(MAX_DECODE_BYTES >> 20) +
                                  " MB");
    }
    const auto indices = std::make_unique_for_overwrite<std::uint8_t[]>(frame_bytes);
    ErrorCode code = decode_frame(gif, indices.get(), decoder, source);
    if (code < 0) {
        return code;
    }
    if (map->ColorCount < 256 && highest_index(indices.get(), frame_bytes) >= map->ColorCount) {
        return refuse(source, "an index beyond its colour map");
    }
    return push_screen(*gif, indices.get(), linear_palette(*map, transparent), fit, image);
}

}  // namespace

ErrorCode gif_read_screen(const std::string& path, ScreenFit fit, ScreenImage& image, ScreenSource& source) {
    source = ScreenSource{};
    source.format = "gif";
    FileHandle file = FileHandle::open(path, "rb");
    if (!file.is_open()) {
        return ERR_OPEN;
    }
    const ErrorCode code = decode_gif(file.get(), fit, image, source);
    if (code < 0) {
        return code;
    }
    return file.close();
}
