#include "desktop/png_screen.h"

#include <cmath>
#include <png.h>

#include <array>
#include <bit>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "desktop/png_read_struct.h"
#include "desktop/screen_rows.h"
#include "frame/file_names.h"

// libpng reports errors by longjmp: the functions that call setjmp hold no
// object with a destructor, and everything they use is owned by their callers.

namespace {

// A colour profile is the largest chunk read; even CMYK ones are far smaller.
constexpr png_alloc_size_t MAX_CHUNK_BYTES = 8 * 1024 * 1024;
// Compressed data beyond the last row would be inflated to the end by
// libpng: a decompression bomb. The stream's end takes a few bytes.
constexpr std::size_t MAX_IDAT_BYTES_AFTER_ROWS = 16 * 1024;
constexpr std::size_t SIGNATURE_BYTES = 8;

struct PngStream {
    std::FILE* file;
    std::size_t position;
    std::array<char, 200> message;
};

void read_from_file(png_structp png, png_bytep data, std::size_t length) {
    auto* stream = static_cast<PngStream*>(png_get_io_ptr(png));
    if (std::fread(data, 1, length, stream->file) != length) {
        png_error(png, "the file ends early");
    }
    stream->position += length;
}

[[noreturn]] void stop_on_error(png_structp png, png_const_charp message) {
    auto* stream = static_cast<PngStream*>(png_get_error_ptr(png));
    std::snprintf(stream->message.data(), stream->message.size(), "%s", message);
    png_longjmp(png, 1);
}

void ignore_warning(png_structp, png_const_charp) {}

struct PngHeader {
    png_uint_32 width;
    png_uint_32 height;
    int colour_type;
    int bit_depth;
    int interlace;
};

void read_past_checksums_when_fuzzing([[maybe_unused]] png_structp png) {
#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
    png_set_crc_action(png, PNG_CRC_QUIET_USE, PNG_CRC_QUIET_USE);
    png_set_option(png, PNG_IGNORE_ADLER32, PNG_OPTION_ON);
#endif
}

// The profile's bytes stay with info until it is destroyed.
// gAMA 0.45455 with sRGB's primaries (or none) is how many writers tag sRGB
// for decoders that know no sRGB chunk: read as a pure power curve, its
// darks would come out too dark.
bool states_srgb_by_fallback(const ColourDescription& colours) {
    if (colours.icc_profile != nullptr || std::fabs(colours.gamma - 0.45455) > 0.0005) {
        return false;
    }
    if (!colours.has_primaries) {
        return true;
    }
    const double expected[8] = {0.3127, 0.3290, 0.64, 0.33, 0.30, 0.60, 0.15, 0.06};
    const double given[8] = {colours.white[0], colours.white[1], colours.red[0],  colours.red[1],
                             colours.green[0], colours.green[1], colours.blue[0], colours.blue[1]};
    for (int i = 0; i < 8; ++i) {
        if (std::fabs(given[i] - expected[i]) > 0.001) {
            return false;
        }
    }
    return true;
}

void read_colour_chunks(png_structp png, png_infop info, ColourDescription& colours) {
    png_charp name = nullptr;
    int compression = 0;
    png_bytep profile = nullptr;
    png_uint_32 length = 0;
    if (png_get_iCCP(png, info, &name, &compression, &profile, &length) != 0 && profile != nullptr && length > 0) {
        colours.icc_profile = profile;
        colours.icc_size = length;
    }
    colours.srgb = png_get_valid(png, info, PNG_INFO_sRGB) != 0;
    double gamma = 0.0;
    if (png_get_gAMA(png, info, &gamma) != 0 && gamma > 0.0) {
        colours.gamma = gamma;
    }
    colours.has_primaries =
        png_get_cHRM(png, info, &colours.white[0], &colours.white[1], &colours.red[0], &colours.red[1],
                     &colours.green[0], &colours.green[1], &colours.blue[0], &colours.blue[1]) != 0;
    colours.srgb = colours.srgb || states_srgb_by_fallback(colours);
}

bool read_header(png_structp png, png_infop info, PngHeader& header, ColourDescription& colours) {
    if (setjmp(png_jmpbuf(png))) {
        return false;
    }
    // Unknown chunks only: the colour chunks are known ones, and wanted.
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, nullptr, 0);
    png_set_user_limits(png, PNG_UINT_31_MAX, PNG_UINT_31_MAX);
    png_set_chunk_malloc_max(png, MAX_CHUNK_BYTES);
    png_set_chunk_cache_max(png, 64);
    read_past_checksums_when_fuzzing(png);
    png_read_info(png, info);
    png_get_IHDR(png, info, &header.width, &header.height, &header.bit_depth, &header.colour_type, &header.interlace,
                 nullptr, nullptr);
    read_colour_chunks(png, info, colours);
    return true;
}

// Every kind becomes 8 or 16-bit grey or RGB, with alpha when the file has
// any (tRNS included); palette entries are colours like any other.
bool set_transforms(png_structp png, png_infop info, const PngHeader& header, SampleFormat& format,
                    std::size_t& row_bytes, int& passes) {
    if (setjmp(png_jmpbuf(png))) {
        return false;
    }
    if (header.colour_type == PNG_COLOR_TYPE_PALETTE) {
        png_set_palette_to_rgb(png);
    }
    if (header.colour_type == PNG_COLOR_TYPE_GRAY && header.bit_depth < 8) {
        png_set_expand_gray_1_2_4_to_8(png);
    }
    if (png_get_valid(png, info, PNG_INFO_tRNS) != 0) {
        png_set_tRNS_to_alpha(png);
    }
    if constexpr (std::endian::native == std::endian::little) {
        if (header.bit_depth == 16) {
            png_set_swap(png);
        }
    }
    passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    row_bytes = png_get_rowbytes(png, info);
    const int channels = png_get_channels(png, info);
    const int depth = png_get_bit_depth(png, info);
    constexpr SampleLayout LAYOUTS[4] = {SampleLayout::grey, SampleLayout::grey_alpha, SampleLayout::rgb,
                                         SampleLayout::rgba};
    if (channels < 1 || channels > 4 || (depth != 8 && depth != 16)) {
        png_error(png, "a pixel kind that cannot be read");
    }
    format = {LAYOUTS[channels - 1], depth / 8, false};
    if (row_bytes != static_cast<std::size_t>(header.width) * static_cast<std::size_t>(channels * depth / 8)) {
        png_error(png, "rows of an unexpected length");
    }
    return true;
}

bool read_row(png_structp png, png_bytep row) {
    if (setjmp(png_jmpbuf(png))) {
        return false;
    }
    png_read_row(png, row, nullptr);
    return true;
}

std::uint32_t big_endian_at(const std::uint8_t* bytes) {
    return static_cast<std::uint32_t>(bytes[0]) << 24 | static_cast<std::uint32_t>(bytes[1]) << 16 |
           static_cast<std::uint32_t>(bytes[2]) << 8 | bytes[3];
}

// The IDAT data bytes of the file that lie beyond position, found by walking
// its chunk headers on a handle of its own; more than limit stops the walk.
std::size_t idat_bytes_after(const std::string& path, std::size_t position, std::size_t limit) {
    FileHandle file = FileHandle::open(path, "rb");
    if (!file.is_open() || std::fseek(file.get(), static_cast<long>(SIGNATURE_BYTES), SEEK_SET) != 0) {
        return 0;
    }
    std::size_t count = 0;
    std::size_t start = SIGNATURE_BYTES;
    std::array<std::uint8_t, 8> header{};
    while (count <= limit && std::fread(header.data(), 1, header.size(), file.get()) == header.size()) {
        const std::size_t length = big_endian_at(header.data());
        const std::size_t data = start + 8;
        if (std::memcmp(header.data() + 4, "IDAT", 4) == 0 && data + length > position) {
            count += data + length - std::max(data, position);
        }
        start = data + length + 4;
        if (std::fseek(file.get(), static_cast<long>(start), SEEK_SET) != 0) {
            break;
        }
    }
    return count;
}

ErrorCode refuse(ScreenSource& source, std::string problem) {
    source.problem = std::move(problem);
    return ERR_INVALID_PNG;
}

struct RowsRead {
    png_structp png;
    const std::string* path;
    const PngStream* stream;
};

// Checked before the last row, when libpng would start inflating what follows it.
bool last_row_safe(const RowsRead& reading) {
    return idat_bytes_after(*reading.path, reading.stream->position, MAX_IDAT_BYTES_AFTER_ROWS) <=
           MAX_IDAT_BYTES_AFTER_ROWS;
}

ErrorCode stream_rows(const RowsRead& reading, int height, std::size_t row_bytes, ScreenRows& rows,
                      ScreenSource& source) {
    const auto row = std::make_unique_for_overwrite<png_byte[]>(row_bytes);
    for (int y = 0; y < height; ++y) {
        if (y == height - 1 && !last_row_safe(reading)) {
            return refuse(source, "more compressed data after its last row than a picture has");
        }
        if (!read_row(reading.png, row.get())) {
            return refuse(source, reading.stream->message.data());
        }
        push_samples(rows, row.get());
    }
    return ERR_SUCCESS;
}

ErrorCode read_interlaced(const RowsRead& reading, int height, int passes, std::size_t row_bytes, ScreenRows& rows,
                          ScreenSource& source) {
    if (row_bytes > MAX_DECODE_BYTES / static_cast<std::size_t>(height)) {
        return refuse(source, "an interlaced picture, which is held whole, too large for " +
                                  std::to_string(MAX_DECODE_BYTES >> 20) + " MB");
    }
    const auto whole = std::make_unique_for_overwrite<png_byte[]>(row_bytes * static_cast<std::size_t>(height));
    for (int pass = 0; pass < passes; ++pass) {
        for (int y = 0; y < height; ++y) {
            if (pass == passes - 1 && y == height - 1 && !last_row_safe(reading)) {
                return refuse(source, "more compressed data after its last row than a picture has");
            }
            if (!read_row(reading.png, whole.get() + static_cast<std::size_t>(y) * row_bytes)) {
                return refuse(source, reading.stream->message.data());
            }
        }
    }
    for (int y = 0; y < height; ++y) {
        push_samples(rows, whole.get() + static_cast<std::size_t>(y) * row_bytes);
    }
    return ERR_SUCCESS;
}

ErrorCode decode_png(const std::string& path, PngStream& stream, ScreenFit fit, ScreenImage& image,
                     ScreenSource& source) {
    PngReadStruct read(&stream, stop_on_error, ignore_warning);
    if (!read.ready()) {
        return ERR_ALLOCATION;
    }
    png_set_read_fn(read.png(), &stream, read_from_file);
    PngHeader header{};
    ColourDescription colours{};
    if (!read_header(read.png(), read.info(), header, colours)) {
        return refuse(source, stream.message.data());
    }
    source.width = static_cast<int>(header.width);
    source.height = static_cast<int>(header.height);
    // Judged before libpng allocates its rows: a huge declared width costs nothing.
    if (!streamed_width_possible(header.width, 8)) {
        return refuse(source, "rows too wide to be read within " + std::to_string(MAX_DECODE_BYTES >> 20) + " MB");
    }
    SampleFormat format{};
    std::size_t row_bytes = 0;
    int passes = 1;
    if (!set_transforms(read.png(), read.info(), header, format, row_bytes, passes)) {
        return refuse(source, stream.message.data());
    }
    auto rows = std::make_unique<ScreenRows>();
    ErrorCode code = start_screen_rows(source.width, source.height, format, colours, fit, ERR_INVALID_PNG, image,
                                       *rows, source);
    if (code < 0) {
        return code;
    }
    const RowsRead reading{read.png(), &path, &stream};
    code = passes > 1 ? read_interlaced(reading, source.height, passes, row_bytes, *rows, source)
                      : stream_rows(reading, source.height, row_bytes, *rows, source);
    if (code < 0) {
        return code;
    }
    if (!read.read_end()) {
        return refuse(source, stream.message.data());
    }
    finish_screen_rows(*rows);
    return ERR_SUCCESS;
}

}  // namespace

ErrorCode png_read_screen(const std::string& path, ScreenFit fit, ScreenImage& image, ScreenSource& source) {
    source = ScreenSource{};
    source.format = "png";
    FileHandle file = FileHandle::open(path, "rb");
    if (!file.is_open()) {
        return ERR_OPEN;
    }
    auto stream = std::make_unique<PngStream>();
    stream->file = file.get();
    stream->position = 0;
    const ErrorCode code = decode_png(path, *stream, fit, image, source);
    if (code < 0) {
        return code;
    }
    return file.close();
}
