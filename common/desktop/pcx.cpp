#include "desktop/pcx.h"

#include <algorithm>
#include <cstdio>
#include <memory>

#include "frame/file_names.h"
#include "frame/output_file.h"

namespace {

constexpr std::size_t HEADER_SIZE = 128;
constexpr std::uint8_t PCX_MANUFACTURER = 0x0A;
constexpr std::uint8_t PCX_VERSION = 5;
constexpr std::uint8_t PCX_RUN_LENGTH = 1;
constexpr std::uint8_t PCX_BITS_PER_PIXEL = 8;
constexpr std::uint8_t PCX_PLANES = 1;
constexpr std::uint8_t COUNT_FLAG = 0xC0;
constexpr int MAX_RUN = 63;
constexpr std::uint8_t PALETTE_MARKER = 0x0C;

// Header field offsets.
constexpr std::size_t FIELD_MANUFACTURER = 0;
constexpr std::size_t FIELD_VERSION = 1;
constexpr std::size_t FIELD_ENCODING = 2;
constexpr std::size_t FIELD_BITS_PER_PIXEL = 3;
constexpr std::size_t FIELD_XMIN = 4;
constexpr std::size_t FIELD_YMIN = 6;
constexpr std::size_t FIELD_XMAX = 8;
constexpr std::size_t FIELD_YMAX = 10;
constexpr std::size_t FIELD_HORIZONTAL_RESOLUTION = 12;
constexpr std::size_t FIELD_VERTICAL_RESOLUTION = 14;
constexpr std::size_t FIELD_RESERVED = 64;
constexpr std::size_t FIELD_PLANES = 65;
constexpr std::size_t FIELD_BYTES_PER_LINE = 66;

using Header = std::array<std::uint8_t, HEADER_SIZE>;

void set_word(Header& header, std::size_t offset, std::uint16_t value) {
    header[offset] = static_cast<std::uint8_t>(value & 0xFF);
    header[offset + 1] = static_cast<std::uint8_t>(value >> 8);
}

std::uint16_t get_word(const Header& header, std::size_t offset) {
    return static_cast<std::uint16_t>(header[offset] | (header[offset + 1] << 8));
}

void build_header(Header& header) {
    header.fill(0);
    header[FIELD_MANUFACTURER] = PCX_MANUFACTURER;
    header[FIELD_VERSION] = PCX_VERSION;
    header[FIELD_ENCODING] = PCX_RUN_LENGTH;
    header[FIELD_BITS_PER_PIXEL] = PCX_BITS_PER_PIXEL;
    set_word(header, FIELD_XMAX, IMAGE_WIDTH - 1);
    set_word(header, FIELD_YMAX, IMAGE_HEIGHT - 1);
    set_word(header, FIELD_HORIZONTAL_RESOLUTION, IMAGE_WIDTH);
    set_word(header, FIELD_VERTICAL_RESOLUTION, IMAGE_HEIGHT);
    header[FIELD_PLANES] = PCX_PLANES;
    set_word(header, FIELD_BYTES_PER_LINE, IMAGE_WIDTH);
}

bool header_is_valid(const Header& header) {
    return header[FIELD_MANUFACTURER] == PCX_MANUFACTURER && header[FIELD_VERSION] == PCX_VERSION &&
           header[FIELD_ENCODING] == PCX_RUN_LENGTH && header[FIELD_BITS_PER_PIXEL] == PCX_BITS_PER_PIXEL &&
           get_word(header, FIELD_XMIN) == 0 && get_word(header, FIELD_YMIN) == 0 &&
           get_word(header, FIELD_XMAX) == IMAGE_WIDTH - 1 && get_word(header, FIELD_YMAX) == IMAGE_HEIGHT - 1 &&
           header[FIELD_RESERVED] == 0 && header[FIELD_PLANES] == PCX_PLANES &&
           get_word(header, FIELD_BYTES_PER_LINE) == IMAGE_WIDTH;
}

// Runs stay inside the row: a reader that decodes row by row must never see
// a run spill over into the next one. Returns the end of the written bytes;
// a row needs at most two bytes a pixel.
std::uint8_t* encode_row(const std::uint8_t* row, std::uint8_t* out) {
    const std::uint8_t* const row_end = row + IMAGE_WIDTH;
    const std::uint8_t* run = row;
    while (run != row_end) {
        const std::uint8_t value = *run;
        const std::uint8_t* const longest_end = run + std::min<std::ptrdiff_t>(MAX_RUN, row_end - run);
        const std::uint8_t* const run_end = std::find_if(run + 1, longest_end, [value](std::uint8_t pixel) {
            return pixel != value;
        });
        const auto length = static_cast<int>(run_end - run);
        if (length == 1 && value < COUNT_FLAG) {
            *out++ = value;
        } else {
            *out++ = static_cast<std::uint8_t>(COUNT_FLAG + length);
            *out++ = value;
        }
        run = run_end;
    }
    return out;
}

// The input a block at a time: the decoder takes its bytes from memory, not
// from a library call per byte.
struct BlockReader {
    std::FILE* stream;
    std::array<std::uint8_t, 16384> block;
    std::size_t position;
    std::size_t length;
};

int next_byte(BlockReader& reader) {
    if (reader.position == reader.length) {
        reader.length = std::fread(reader.block.data(), 1, reader.block.size(), reader.stream);
        reader.position = 0;
        if (reader.length == 0) {
            return EOF;
        }
    }
    return reader.block[reader.position++];
}

bool read_bytes(BlockReader& reader, std::uint8_t* out, std::size_t count) {
    const std::size_t buffered = std::min(count, reader.length - reader.position);
    std::copy_n(reader.block.begin() + static_cast<std::ptrdiff_t>(reader.position), buffered, out);
    reader.position += buffered;
    const std::size_t rest = count - buffered;
    return rest == 0 || std::fread(out + buffered, 1, rest, reader.stream) == rest;
}

// The pixel data is one stream: a run may carry on into the next row, and
// pixels beyond the last one are dropped.
ErrorCode decode_pixels(BlockReader& reader, PixelImage& image) {
    int filled = 0;
    while (filled < IMAGE_PIXELS) {
        const int byte = next_byte(reader);
        if (byte == EOF) {
            return ERR_READ;
        }
        if (byte < COUNT_FLAG) {
            image.pixels[static_cast<std::size_t>(filled++)] = static_cast<std::uint8_t>(byte);
            continue;
        }
        const int value = next_byte(reader);
        if (value == EOF) {
            return ERR_READ;
        }
        const int count = std::min(byte - COUNT_FLAG, IMAGE_PIXELS - filled);
        std::fill_n(image.pixels.begin() + filled, count, static_cast<std::uint8_t>(value));
        filled += count;
    }
    return ERR_SUCCESS;
}

}  // namespace

ErrorCode pcx_write(const PixelImage& image, const std::string& path, OutputBatch* batch) {
    // The whole file is built in memory and written in one piece.
    constexpr std::size_t LARGEST_FILE = HEADER_SIZE + 2 * IMAGE_PIXELS + 1 + PALETTE_BYTES;
    const auto header = std::make_unique<Header>();
    build_header(*header);
    const auto bytes = std::make_unique_for_overwrite<std::uint8_t[]>(LARGEST_FILE);
    std::uint8_t* end = std::copy(header->begin(), header->end(), bytes.get());
    for (int y = 0; y < IMAGE_HEIGHT; ++y) {
        end = encode_row(image.pixels.data() + static_cast<std::size_t>(y) * IMAGE_WIDTH, end);
    }
    *end++ = PALETTE_MARKER;
    end = std::copy(image.palette.begin(), image.palette.end(), end);
    const auto size = static_cast<std::size_t>(end - bytes.get());
    OutputFile file;
    if (!file.open(path, batch)) {
        return ERR_OPEN;
    }
    if (std::fwrite(bytes.get(), 1, size, file.get()) != size) {
        return ERR_WRITE;
    }
    return file.finish_writing();
}

ErrorCode pcx_read(const std::string& path, PixelImage& image) {
    const auto header = std::make_unique<Header>();
    FileHandle file = FileHandle::open(path, "rb");
    if (!file.is_open()) {
        return ERR_OPEN;
    }
    if (std::fread(header->data(), 1, HEADER_SIZE, file.get()) != HEADER_SIZE) {
        return ERR_READ;
    }
    if (!header_is_valid(*header)) {
        return ERR_INVALID_PCX;
    }
    const auto reader = std::make_unique_for_overwrite<BlockReader>();
    reader->stream = file.get();
    reader->position = 0;
    reader->length = 0;
    ErrorCode code = decode_pixels(*reader, image);
    if (code < 0) {
        return code;
    }
    const int marker = next_byte(*reader);
    if (marker == EOF) {
        return ERR_READ;
    }
    if (marker != PALETTE_MARKER) {
        return ERR_INVALID_PCX;
    }
    if (!read_bytes(*reader, image.palette.data(), PALETTE_BYTES)) {
        return ERR_READ;
    }
    return file.close();
}
