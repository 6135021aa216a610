#include "pcx.h"

#include <cstdio>
#include <memory>
#include <vector>

#include "file_names.h"
#include "output_file.h"

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
// a run spill over into the next one.
void encode_row(const std::uint8_t* row, std::vector<std::uint8_t>& out) {
    int x = 0;
    while (x < IMAGE_WIDTH) {
        const std::uint8_t value = row[x];
        int length = 1;
        while (x + length < IMAGE_WIDTH && length < MAX_RUN && row[x + length] == value) {
            ++length;
        }
        if (length == 1 && value < COUNT_FLAG) {
            out.push_back(value);
        } else {
            out.push_back(static_cast<std::uint8_t>(COUNT_FLAG + length));
            out.push_back(value);
        }
        x += length;
    }
}

// The pixel data is one stream: a run may carry on into the next row, and
// pixels beyond the last one are dropped.
ErrorCode decode_pixels(std::FILE* stream, PixelImage& image) {
    int filled = 0;
    while (filled < IMAGE_PIXELS) {
        const int byte = std::fgetc(stream);
        if (byte == EOF) {
            return ERR_READ;
        }
        if (byte < COUNT_FLAG) {
            image.pixels[static_cast<std::size_t>(filled++)] = static_cast<std::uint8_t>(byte);
            continue;
        }
        const int value = std::fgetc(stream);
        if (value == EOF) {
            return ERR_READ;
        }
        int count = byte - COUNT_FLAG;
        while (count-- > 0 && filled < IMAGE_PIXELS) {
            image.pixels[static_cast<std::size_t>(filled++)] = static_cast<std::uint8_t>(value);
        }
    }
    return ERR_SUCCESS;
}

}  // namespace

ErrorCode pcx_write(const PixelImage& image, const std::string& path, OutputBatch* batch) {
    const auto header = std::make_unique<Header>();
    build_header(*header);
    OutputFile file;
    if (!file.open(path, batch)) {
        return ERR_OPEN;
    }
    if (std::fwrite(header->data(), 1, HEADER_SIZE, file.get()) != HEADER_SIZE) {
        return ERR_WRITE;
    }
    std::vector<std::uint8_t> encoded;
    encoded.reserve(2 * IMAGE_WIDTH);
    for (int y = 0; y < IMAGE_HEIGHT; ++y) {
        encoded.clear();
        encode_row(image.pixels.data() + static_cast<std::size_t>(y) * IMAGE_WIDTH, encoded);
        if (std::fwrite(encoded.data(), 1, encoded.size(), file.get()) != encoded.size()) {
            return ERR_WRITE;
        }
    }
    if (std::fputc(PALETTE_MARKER, file.get()) == EOF ||
        std::fwrite(image.palette.data(), 1, PALETTE_BYTES, file.get()) != PALETTE_BYTES) {
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
    ErrorCode code = decode_pixels(file.get(), image);
    if (code < 0) {
        return code;
    }
    const int marker = std::fgetc(file.get());
    if (marker == EOF) {
        return ERR_READ;
    }
    if (marker != PALETTE_MARKER) {
        return ERR_INVALID_PCX;
    }
    if (std::fread(image.palette.data(), 1, PALETTE_BYTES, file.get()) != PALETTE_BYTES) {
        return ERR_READ;
    }
    return file.close();
}
