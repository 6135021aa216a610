#include "desktop/gif_file.h"

#include <gif_lib.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <new>
#include <vector>

#include "desktop/gif_records.h"
#include "frame/file_names.h"

namespace {

constexpr std::size_t SIGNATURE_BYTES = 6;
// GIF data is at most about 1.5 bytes a pixel: the largest picture accepted
// is far below this.
constexpr std::size_t MAX_GIF_FILE_BYTES = 16 * 1024 * 1024;

struct ReadSource {
    const std::uint8_t* bytes;
    std::size_t size;
    std::size_t position;
};

// A short read at the end of the file is what tells the decoder it is truncated.
int read_from_buffer(GifFileType* gif, GifByteType* data, int length) {
    auto* source = static_cast<ReadSource*>(gif->UserData);
    const std::size_t left = source->size - source->position;
    const std::size_t count = length < 0 ? 0 : std::min(static_cast<std::size_t>(length), left);
    // An empty file has no bytes at all to copy from.
    if (count == 0) {
        return 0;
    }
    std::memcpy(data, source->bytes + source->position, count);
    source->position += count;
    return static_cast<int>(count);
}

ErrorCode refuse(PictureFraming& framing, const char* problem) {
    framing.verdict = FramingVerdict::corrupt;
    framing.problem = problem;
    return ERR_INVALID_PNG;
}

ErrorCode refuse_decoder(PictureFraming& framing, const GifDecoder& decoder) {
    const char* text = GifErrorString(decoder.error());
    return refuse(framing, text != nullptr ? text : "not a readable gif file");
}


// The order in which an interlaced frame stores its rows.
std::vector<int> row_order(int height, bool interlaced) {
    std::vector<int> order;
    order.reserve(static_cast<std::size_t>(height));
    if (!interlaced) {
        for (int y = 0; y < height; ++y) order.push_back(y);
        return order;
    }
    constexpr std::array<int, 4> START = {0, 4, 2, 1};
    constexpr std::array<int, 4> STEP = {8, 8, 4, 2};
    for (std::size_t pass = 0; pass < START.size(); ++pass) {
        for (int y = START[pass]; y < height; y += STEP[pass]) order.push_back(y);
    }
    return order;
}

// Decodes the frame into its place on the screen, every index checked
// against the colour map.
ErrorCode decode_frame(GifFileType* gif, const ColorMapObject& map, std::vector<std::uint8_t>& screen,
                       PictureFraming& framing, const GifDecoder& decoder) {
    const GifImageDesc& frame = gif->Image;
    std::vector<GifPixelType> line(static_cast<std::size_t>(frame.Width));
    for (const int y : row_order(frame.Height, frame.Interlace)) {
        if (DGifGetLine(gif, line.data(), frame.Width) == GIF_ERROR) {
            return refuse_decoder(framing, decoder);
        }
        if (map.ColorCount < 256 && highest_index(line.data(), line.size()) >= map.ColorCount) {
            return refuse(framing, "an index beyond its colour map");
        }
        std::memcpy(screen.data() + static_cast<std::size_t>(frame.Top + y) * static_cast<std::size_t>(gif->SWidth) +
                        static_cast<std::size_t>(frame.Left),
                    line.data(), line.size());
    }
    return ERR_SUCCESS;
}

ErrorCode decode_gif(const std::vector<std::uint8_t>& file, bool multicolour, ColourImage& image,
                     PictureFraming& framing) {
    ReadSource source{file.data(), file.size(), 0};
    GifDecoder decoder(&source, read_from_buffer);
    GifFileType* gif = decoder.get();
    if (gif == nullptr) {
        return refuse_decoder(framing, decoder);
    }
    framing.width = gif->SWidth;
    framing.height = gif->SHeight;
    // Judged on the screen's declared size, before anything is allocated for it.
    if (!picture_size_possible(gif->SWidth, gif->SHeight, multicolour)) {
        framing.verdict = FramingVerdict::size_refused;
        return ERR_INVALID_PNG;
    }
    bool found = false;
    int transparent = NO_TRANSPARENCY;  // colours are read as the map gives them
    if (!find_first_image(gif, found, transparent)) {
        return refuse_decoder(framing, decoder);
    }
    if (!found) {
        return refuse(framing, "no image in the file");
    }
    const GifImageDesc& frame = gif->Image;
    if (frame.Width <= 0 || frame.Height <= 0 || frame.Left < 0 || frame.Top < 0 ||
        frame.Left > gif->SWidth - frame.Width || frame.Top > gif->SHeight - frame.Height) {
        return refuse(framing, "a first image that does not fit in its screen");
    }
    const ColorMapObject* map = frame.ColorMap != nullptr ? frame.ColorMap : gif->SColorMap;
    if (map == nullptr || map->ColorCount <= 0 || map->ColorCount > 256) {
        return refuse(framing, "no colour map");
    }
    const bool covers = frame.Width == gif->SWidth && frame.Height == gif->SHeight;
    // The screen around a smaller frame shows the background colour, an
    // entry of the file's own colour map.
    if (!covers && (map != gif->SColorMap || gif->SBackGroundColor >= map->ColorCount)) {
        return refuse(framing, "a first image smaller than its screen, without its background colour");
    }
    std::vector<std::uint8_t> screen;
    try {
        screen.assign(static_cast<std::size_t>(gif->SWidth) * static_cast<std::size_t>(gif->SHeight),
                      static_cast<std::uint8_t>(covers ? 0 : gif->SBackGroundColor));
    } catch (const std::bad_alloc&) {
        return ERR_ALLOCATION;
    }
    const ErrorCode code = decode_frame(gif, *map, screen, framing, decoder);
    if (code < 0) {
        return code;
    }
    std::array<std::uint32_t, 256> palette{};
    for (int entry = 0; entry < map->ColorCount; ++entry) {
        const GifColorType& colour = map->Colors[entry];
        palette[static_cast<std::size_t>(entry)] = static_cast<std::uint32_t>(colour.Red) << 16 |
                                                   static_cast<std::uint32_t>(colour.Green) << 8 | colour.Blue;
    }
    const DecodedRows rows{screen.data(), static_cast<std::size_t>(gif->SWidth), gif->SWidth, gif->SHeight, 8,
                           palette.data(), map->ColorCount};
    return frame_picture(rows, multicolour, image, framing);
}

}  // namespace

ErrorCode gif_read(const std::string& path, bool multicolour, ColourImage& image, PictureFraming& framing) {
    framing = unread_framing("gif");
    std::vector<std::uint8_t> file;
    const ErrorCode code = read_whole_file(path, MAX_GIF_FILE_BYTES, file, ERR_INVALID_PNG);
    if (code == ERR_INVALID_PNG) {
        return refuse(framing, "a file too large for any picture");
    }
    if (code < 0) {
        return code;
    }
    return decode_gif(file, multicolour, image, framing);
}

bool starts_with_gif_signature(const std::uint8_t* bytes, std::size_t count) {
    return count >= SIGNATURE_BYTES &&
           (std::memcmp(bytes, "GIF87a", SIGNATURE_BYTES) == 0 || std::memcmp(bytes, "GIF89a", SIGNATURE_BYTES) == 0);
}

bool is_gif_file(const std::string& path) {
    FileHandle file = FileHandle::open(path, "rb");
    std::array<std::uint8_t, SIGNATURE_BYTES> start{};
    return file.is_open() && starts_with_gif_signature(start.data(), std::fread(start.data(), 1, start.size(), file.get()));
}
