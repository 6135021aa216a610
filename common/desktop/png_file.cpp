#include "desktop/png_file.h"

#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "desktop/png_read_struct.h"
#include "frame/file_names.h"
#include "frame/output_file.h"

// libpng reports errors by longjmp: the functions that call setjmp hold no
// object with a destructor, and everything they use is owned by their callers.

namespace {

constexpr std::array<std::uint8_t, 8> PNG_SIGNATURE = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

// The largest file read. Pictures are mostly one colour a stretch: even a
// 2048 by 2048 one compresses far below this.
constexpr std::size_t MAX_PNG_FILE_BYTES = 16L * 1024 * 1024;
// Ancillary chunks are ignored, but a text or profile chunk is still bounded.
constexpr png_alloc_size_t MAX_CHUNK_BYTES = 1024 * 1024;

// Once the rows are read, the rest of the compressed data is the stream's end
// and what libpng had not yet taken in; more is data no row needs, which
// libpng would inflate to the end: a decompression bomb.
constexpr std::size_t MAX_IDAT_BYTES_AFTER_ROWS = 16 * 1024;

// Measured on real pictures: run-length matching without row filters costs
// half of zlib's default level for files about 10 % larger; the smaller
// memory level closes blocks sooner, which makes the files smaller still and
// costs nothing. Row filters only make these images larger.
constexpr int DEFLATE_STRATEGY = Z_RLE;
constexpr int DEFLATE_LEVEL = 6;
constexpr int DEFLATE_MEMORY_LEVEL = 6;
constexpr int ROW_FILTERS = PNG_FILTER_NONE;

// ---------------------------------------------------------------- writing

struct WriteBuffer {
    std::vector<std::uint8_t> bytes;
    bool out_of_memory = false;
};

void append_to_buffer(png_structp png, png_bytep data, std::size_t length) {
    auto* buffer = static_cast<WriteBuffer*>(png_get_io_ptr(png));
    try {
        buffer->bytes.insert(buffer->bytes.end(), data, data + length);
    } catch (const std::bad_alloc&) {
        buffer->out_of_memory = true;
    }
    if (buffer->out_of_memory) {
        png_error(png, "out of memory");
    }
}

void flush_nothing(png_structp) {}

void ignore_warning(png_structp, png_const_charp) {}

[[noreturn]] void stop_on_error(png_structp png, png_const_charp) {
    png_longjmp(png, 1);
}

struct EncodedRows {
    const png_bytep* rows;
    int bit_depth;
    const png_color* palette;
    int palette_entries;
};

bool encode_png(png_structp png, png_infop info, const EncodedRows& encoded) {
    if (setjmp(png_jmpbuf(png))) {
        return false;
    }
    png_set_IHDR(png, info, IMAGE_WIDTH, IMAGE_HEIGHT, encoded.bit_depth, PNG_COLOR_TYPE_PALETTE, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_PLTE(png, info, encoded.palette, encoded.palette_entries);
    png_set_compression_strategy(png, DEFLATE_STRATEGY);
    png_set_compression_level(png, DEFLATE_LEVEL);
    png_set_compression_mem_level(png, DEFLATE_MEMORY_LEVEL);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, ROW_FILTERS);
    png_write_info(png, info);
    png_write_image(png, const_cast<png_bytepp>(encoded.rows));
    png_write_end(png, info);
    return true;
}

static_assert(IMAGE_PIXELS % 8 == 0);

// Eight pixels at a time: the usual image has no value above 15, and only
// then is the highest value looked for.
int highest_value(const PixelImage& image) {
    std::uint64_t combined = 0;
    for (std::size_t at = 0; at < image.pixels.size(); at += sizeof combined) {
        std::uint64_t word = 0;
        std::memcpy(&word, image.pixels.data() + at, sizeof word);
        combined |= word;
    }
    if ((combined & 0xF0F0F0F0F0F0F0F0u) == 0) {
        return 15;
    }
    return *std::max_element(image.pixels.begin(), image.pixels.end());
}

// At 4 bits the left pixel of each pair is the high nybble. A row of fixed
// length, which the compiler packs a whole register at a time.
void pack_four_bit_row(const std::uint8_t* __restrict pixels, std::uint8_t* __restrict packed) {
    for (int at = 0; at < IMAGE_WIDTH / 2; ++at) {
        packed[at] = static_cast<std::uint8_t>(pixels[2 * at] << 4 | pixels[2 * at + 1]);
    }
}

// The rows as the file stores them, one after the other; every byte is
// written, so the buffer is not cleared first.
std::unique_ptr<std::uint8_t[]> pack_rows(const PixelImage& image, int bit_depth, std::size_t& row_bytes) {
    row_bytes = bit_depth == 8 ? IMAGE_WIDTH : IMAGE_WIDTH / 2;
    auto packed = std::make_unique_for_overwrite<std::uint8_t[]>(row_bytes * IMAGE_HEIGHT);
    if (bit_depth == 8) {
        std::memcpy(packed.get(), image.pixels.data(), IMAGE_PIXELS);
        return packed;
    }
    for (std::size_t y = 0; y < IMAGE_HEIGHT; ++y) {
        pack_four_bit_row(image.pixels.data() + y * IMAGE_WIDTH, packed.get() + y * row_bytes);
    }
    return packed;
}

class WriteStruct {
public:
    WriteStruct()
        : png_(png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, stop_on_error, ignore_warning)),
          info_(png_ != nullptr ? png_create_info_struct(png_) : nullptr) {}
    WriteStruct(const WriteStruct&) = delete;
    WriteStruct& operator=(const WriteStruct&) = delete;
    ~WriteStruct() { png_destroy_write_struct(&png_, &info_); }
    png_structp png() const { return png_; }
    png_infop info() const { return info_; }
    bool ready() const { return png_ != nullptr && info_ != nullptr; }

private:
    png_structp png_;
    png_infop info_;
};

ErrorCode encode_image(const PixelImage& image, WriteBuffer& buffer) {
    const int highest = highest_value(image);
    const int bit_depth = highest < 16 ? 4 : 8;
    const int palette_entries = bit_depth == 4 ? 16 : highest + 1;
    std::vector<png_color> palette(static_cast<std::size_t>(palette_entries));
    for (std::size_t entry = 0; entry < palette.size(); ++entry) {
        palette[entry] = {image.palette[3 * entry], image.palette[3 * entry + 1], image.palette[3 * entry + 2]};
    }
    std::size_t row_bytes = 0;
    const std::unique_ptr<std::uint8_t[]> packed = pack_rows(image, bit_depth, row_bytes);
    std::vector<png_bytep> rows(IMAGE_HEIGHT);
    for (std::size_t y = 0; y < rows.size(); ++y) {
        rows[y] = packed.get() + y * row_bytes;
    }
    WriteStruct write;
    if (!write.ready()) {
        return ERR_ALLOCATION;
    }
    buffer.bytes.reserve(IMAGE_PIXELS / 4);
    png_set_write_fn(write.png(), &buffer, append_to_buffer, flush_nothing);
    const EncodedRows encoded{rows.data(), bit_depth, palette.data(), palette_entries};
    if (!encode_png(write.png(), write.info(), encoded)) {
        // The only failure of an encoder writing to memory is a lack of memory.
        return ERR_ALLOCATION;
    }
    return ERR_SUCCESS;
}

// ---------------------------------------------------------------- reading

struct ReadSource {
    const std::uint8_t* bytes;
    std::size_t size;
    std::size_t position;
};

void read_from_buffer(png_structp png, png_bytep data, std::size_t length) {
    auto* source = static_cast<ReadSource*>(png_get_io_ptr(png));
    if (length > source->size - source->position) {
        png_error(png, "truncated");
    }
    std::memcpy(data, source->bytes + source->position, length);
    source->position += length;
}

struct PngLayout {
    png_uint_32 width;
    png_uint_32 height;
    int colour_type;
    int bit_depth;
};

// Every ancillary chunk but tRNS is skipped unread, and the chunks kept are
// bounded, so a text or profile bomb costs nothing.
void limit_reading(png_structp png) {
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
    // The size is judged after the header, so that its line can name it.
    png_set_user_limits(png, PNG_UINT_31_MAX, PNG_UINT_31_MAX);
    png_set_chunk_malloc_max(png, MAX_CHUNK_BYTES);
    png_set_chunk_cache_max(png, 64);
}

// A fuzzing build reads past the checksums, so that mutated data reaches the
// decoder rather than stopping at the first CRC; nothing else changes.
void read_past_checksums_when_fuzzing([[maybe_unused]] png_structp png) {
#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
    png_set_crc_action(png, PNG_CRC_QUIET_USE, PNG_CRC_QUIET_USE);
    png_set_option(png, PNG_IGNORE_ADLER32, PNG_OPTION_ON);
#endif
}

bool read_header(png_structp png, png_infop info, PngLayout& layout) {
    if (setjmp(png_jmpbuf(png))) {
        return false;
    }
    limit_reading(png);
    read_past_checksums_when_fuzzing(png);
    png_read_info(png, info);
    png_get_IHDR(png, info, &layout.width, &layout.height, &layout.bit_depth, &layout.colour_type, nullptr, nullptr,
                 nullptr);
    return true;
}

// Palette files keep their packed rows; the others become 8-bit RGB, grey
// spread to its full range, alpha dropped.
bool set_transforms(png_structp png, png_infop info, const PngLayout& layout, std::size_t& row_bytes, int& passes) {
    if (setjmp(png_jmpbuf(png))) {
        return false;
    }
    if (layout.colour_type == PNG_COLOR_TYPE_PALETTE) {
        // Rows stay packed: only the picture's part of each is unpacked, here.
        // Indices beyond the palette are refused afterwards, in one pass.
        png_set_check_for_invalid_index(png, 0);
    } else {
        if ((layout.colour_type & PNG_COLOR_MASK_COLOR) == 0) {
            png_set_expand_gray_1_2_4_to_8(png);
            png_set_gray_to_rgb(png);
        }
        png_set_scale_16(png);
        png_set_strip_alpha(png);
    }
    passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    row_bytes = png_get_rowbytes(png, info);
    return true;
}

std::uint32_t big_endian_at(const std::uint8_t* bytes) {
    return static_cast<std::uint32_t>(bytes[0]) << 24 | static_cast<std::uint32_t>(bytes[1]) << 16 |
           static_cast<std::uint32_t>(bytes[2]) << 8 | bytes[3];
}

// The IDAT data bytes that lie beyond position in the file.
std::size_t idat_bytes_after(const ReadSource& source) {
    constexpr std::size_t CHUNK_FRAME = 12;  // length, type, CRC
    std::size_t count = 0;
    std::size_t start = PNG_SIGNATURE.size();
    while (source.size - start >= CHUNK_FRAME) {
        const std::size_t length = big_endian_at(source.bytes + start);
        if (length > source.size - start - CHUNK_FRAME) {
            break;
        }
        const std::size_t data = start + 8;
        if (std::memcmp(source.bytes + start + 4, "IDAT", 4) == 0 && data + length > source.position) {
            count += data + length - std::max(data, source.position);
        }
        start = data + length + 4;
    }
    return count;
}

// libpng inflates whatever follows the last row as soon as that row is read,
// so the data left is judged just before it.
bool read_rows(png_structp png, png_bytepp rows, int passes, int height, const ReadSource& source) {
    if (setjmp(png_jmpbuf(png))) {
        return false;
    }
    for (int pass = 0; pass < passes; ++pass) {
        for (int y = 0; y < height; ++y) {
            if (pass == passes - 1 && y == height - 1 && idat_bytes_after(source) > MAX_IDAT_BYTES_AFTER_ROWS) {
                return false;
            }
            png_read_row(png, rows[y], nullptr);
        }
    }
    return true;
}

bool read_palette(png_structp png, png_infop info, png_colorp& palette, int& entries) {
    if (setjmp(png_jmpbuf(png))) {
        return false;
    }
    entries = 0;
    palette = nullptr;
    return png_get_PLTE(png, info, &palette, &entries) != 0;
}

std::array<std::uint32_t, 256> palette_colours(const png_color* palette, int entries) {
    std::array<std::uint32_t, 256> colours{};
    for (int entry = 0; entry < entries; ++entry) {
        const png_color& colour = palette[entry];
        colours[static_cast<std::size_t>(entry)] = static_cast<std::uint32_t>(colour.red) << 16 |
                                                   static_cast<std::uint32_t>(colour.green) << 8 | colour.blue;
    }
    return colours;
}

ErrorCode decode_png(const std::vector<std::uint8_t>& file, bool multicolour, ColourImage& image,
                     PictureFraming& framing) {
    PngReadStruct read(nullptr, stop_on_error, ignore_warning);
    if (!read.ready()) {
        return ERR_ALLOCATION;
    }
    ReadSource source{file.data(), file.size(), 0};
    png_set_read_fn(read.png(), &source, read_from_buffer);
    PngLayout layout{};
    if (!read_header(read.png(), read.info(), layout)) {
        return ERR_INVALID_PNG;
    }
    // The size is checked before any row is allocated: a huge declared size
    // costs nothing.
    framing.width = static_cast<int>(std::min<png_uint_32>(layout.width, INT32_MAX));
    framing.height = static_cast<int>(std::min<png_uint_32>(layout.height, INT32_MAX));
    if (!picture_size_possible(framing.width, framing.height, multicolour)) {
        framing.verdict = FramingVerdict::size_refused;
        return ERR_INVALID_PNG;
    }
    const bool indexed = layout.colour_type == PNG_COLOR_TYPE_PALETTE;
    std::size_t row_bytes = 0;
    int passes = 1;
    const std::size_t expected_row_bytes =
        indexed ? (layout.width * static_cast<std::size_t>(layout.bit_depth) + 7) / 8 : layout.width * 3u;
    if (!set_transforms(read.png(), read.info(), layout, row_bytes, passes) || row_bytes != expected_row_bytes) {
        return ERR_INVALID_PNG;
    }
    // Every row is read into before it is used: not cleared first.
    const auto decoded = std::make_unique_for_overwrite<std::uint8_t[]>(row_bytes * layout.height);
    std::vector<png_bytep> rows(layout.height);
    for (std::size_t y = 0; y < rows.size(); ++y) {
        rows[y] = decoded.get() + y * row_bytes;
    }
    if (!read_rows(read.png(), rows.data(), passes, framing.height, source) || !read.read_end()) {
        return ERR_INVALID_PNG;
    }
    png_colorp palette = nullptr;
    int entries = 0;
    if (indexed && !read_palette(read.png(), read.info(), palette, entries)) {
        return ERR_INVALID_PNG;
    }
    const std::array<std::uint32_t, 256> colours = palette_colours(palette, entries);
    const DecodedRows whole{decoded.get(), row_bytes,       framing.width, framing.height,
                            indexed ? layout.bit_depth : 24, colours.data(), entries};
    return frame_picture(whole, multicolour, image, framing);
}

}  // namespace

ErrorCode png_write(const PixelImage& image, const std::string& path, OutputBatch* batch) {
    WriteBuffer buffer;
    const ErrorCode code = encode_image(image, buffer);
    if (code < 0) {
        return code;
    }
    OutputFile file;
    if (!file.open(path, batch)) {
        return ERR_OPEN;
    }
    if (std::fwrite(buffer.bytes.data(), 1, buffer.bytes.size(), file.get()) != buffer.bytes.size()) {
        return ERR_WRITE;
    }
    return file.finish_writing();
}

ErrorCode png_read(const std::string& path, bool multicolour, ColourImage& image, PictureFraming& framing) {
    framing = unread_framing("png");
    std::vector<std::uint8_t> file;
    const ErrorCode code = read_whole_file(path, MAX_PNG_FILE_BYTES, file, ERR_INVALID_PNG);
    if (code < 0) {
        return code;
    }
    return decode_png(file, multicolour, image, framing);
}

bool starts_with_png_signature(const std::uint8_t* bytes, std::size_t count) {
    return count >= PNG_SIGNATURE.size() && std::equal(PNG_SIGNATURE.begin(), PNG_SIGNATURE.end(), bytes);
}

bool is_png_file(const std::string& path) {
    FileHandle file = FileHandle::open(path, "rb");
    std::array<std::uint8_t, PNG_SIGNATURE.size()> start{};
    return file.is_open() && starts_with_png_signature(start.data(), std::fread(start.data(), 1, start.size(), file.get()));
}
