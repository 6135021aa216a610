#include "desktop/jpeg_file.h"

// jpeglib.h needs FILE and size_t declared before it.
#include <cstddef>
#include <cstdio>

#include <jerror.h>
#include <jpeglib.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <csetjmp>
#include <cstdlib>
#include <memory>
#include <new>

#include "desktop/exif_orientation.h"
#include "desktop/screen_rows.h"
#include "frame/file_names.h"

// libjpeg reports errors through error_exit, which here jumps back to the
// function that called it. The functions that call setjmp hold no object
// with a destructor; everything they use belongs to their callers.

namespace {

constexpr std::uint8_t JPEG_SIGNATURE[3] = {0xFF, 0xD8, 0xFF};
constexpr int EIGHTHS = 8;

struct ErrorTrap {
    jpeg_error_mgr manager;  // first, so that libjpeg's pointer to it is one to the trap
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

[[noreturn]] void stop_on_error(j_common_ptr info) {
    auto* trap = reinterpret_cast<ErrorTrap*>(info->err);
    (*info->err->format_message)(info, trap->message);
    std::longjmp(trap->jump, 1);
}

// A warning is corrupt data libjpeg would paper over with grey: the picture
// is refused instead. Only an unknown JFIF revision is harmless.
void stop_on_warning(j_common_ptr info, int level) {
    if (level >= 0 || info->err->msg_code == JWRN_JFIF_MAJOR) {
        return;
    }
    stop_on_error(info);
}

// libjpeg never prints: its messages become the refusal's line.
void print_nothing(j_common_ptr) {}

struct FreeIcc {
    void operator()(JOCTET* data) const { std::free(data); }
};

struct JpegDecoder {
    jpeg_decompress_struct info{};
    ErrorTrap trap{};
    bool created = false;
    std::unique_ptr<JOCTET, FreeIcc> icc;
    unsigned int icc_length = 0;

    JpegDecoder() {
        info.err = jpeg_std_error(&trap.manager);
        trap.manager.error_exit = stop_on_error;
        trap.manager.emit_message = stop_on_warning;
        trap.manager.output_message = print_nothing;
    }
    JpegDecoder(const JpegDecoder&) = delete;
    JpegDecoder& operator=(const JpegDecoder&) = delete;
    ~JpegDecoder() {
        if (created) {
            jpeg_destroy_decompress(&info);
        }
    }
};

bool read_header(JpegDecoder& decoder, std::FILE* file) {
    if (setjmp(decoder.trap.jump)) {
        return false;
    }
    jpeg_create_decompress(&decoder.info);
    decoder.created = true;
    // Bounds what a progressive picture's coefficients may take.
    decoder.info.mem->max_memory_to_use = static_cast<long>(MAX_DECODE_BYTES);
    jpeg_stdio_src(&decoder.info, file);
    jpeg_save_markers(&decoder.info, JPEG_APP0 + 1, 0xFFFF);
    jpeg_save_markers(&decoder.info, JPEG_APP0 + 2, 0xFFFF);
    jpeg_read_header(&decoder.info, TRUE);
    return true;
}

bool read_icc_profile(JpegDecoder& decoder) {
    if (setjmp(decoder.trap.jump)) {
        return false;
    }
    JOCTET* data = nullptr;
    unsigned int length = 0;
    if (jpeg_read_icc_profile(&decoder.info, &data, &length)) {
        decoder.icc.reset(data);
        decoder.icc_length = length;
    }
    return true;
}

int orientation_of(const JpegDecoder& decoder) {
    for (jpeg_saved_marker_ptr marker = decoder.info.marker_list; marker != nullptr; marker = marker->next) {
        if (marker->marker == JPEG_APP0 + 1) {
            const int orientation = exif_orientation(marker->data, marker->data_length);
            if (orientation != 1) {
                return orientation;
            }
        }
    }
    return 1;
}

bool start_decoding(JpegDecoder& decoder, int eighths, J_COLOR_SPACE out_space) {
    if (setjmp(decoder.trap.jump)) {
        return false;
    }
    decoder.info.scale_num = static_cast<unsigned int>(eighths);
    decoder.info.scale_denom = EIGHTHS;
    decoder.info.out_color_space = out_space;
    jpeg_start_decompress(&decoder.info);
    return true;
}

bool stream_rows(JpegDecoder& decoder, ScreenRows& rows, JSAMPLE* row, bool mirrored) {
    if (setjmp(decoder.trap.jump)) {
        return false;
    }
    while (decoder.info.output_scanline < decoder.info.output_height) {
        JSAMPROW rows_read[1] = {row};
        jpeg_read_scanlines(&decoder.info, rows_read, 1);
        push_samples(rows, row, mirrored);
    }
    return true;
}

bool read_whole(JpegDecoder& decoder, JSAMPLE* whole, std::size_t row_bytes) {
    if (setjmp(decoder.trap.jump)) {
        return false;
    }
    while (decoder.info.output_scanline < decoder.info.output_height) {
        JSAMPROW rows_read[1] = {whole + decoder.info.output_scanline * row_bytes};
        jpeg_read_scanlines(&decoder.info, rows_read, 1);
    }
    return true;
}

// Reads up to the end marker: a file cut short after its last row is still cut short.
bool finish_decoding(JpegDecoder& decoder) {
    if (setjmp(decoder.trap.jump)) {
        return false;
    }
    jpeg_finish_decompress(&decoder.info);
    return true;
}

ErrorCode refuse(ScreenSource& source, std::string problem) {
    source.problem = std::move(problem);
    return ERR_INVALID_JPEG;
}

// libjpeg's messages start with a capital; in the line they follow a colon.
ErrorCode refuse_decoder(ScreenSource& source, const JpegDecoder& decoder) {
    // Memory runs out only for the coefficients of a progressive picture,
    // which libjpeg holds whole, bounded by max_memory_to_use.
    const int code = decoder.trap.manager.msg_code;
    if (code == JERR_NO_BACKING_STORE || code == JERR_OUT_OF_MEMORY) {
        return refuse(source, "a progressive picture too large to be decoded within " +
                                  std::to_string(MAX_DECODE_BYTES >> 20) + " MB");
    }
    std::string message = decoder.trap.message;
    if (message.empty()) {
        message = "not a readable jpeg file";
    }
    if (message.size() > 1 && std::islower(static_cast<unsigned char>(message[1]))) {
        message[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(message[0])));
    }
    return refuse(source, message);
}

bool choose_layout(const jpeg_decompress_struct& info, J_COLOR_SPACE& out_space, SampleFormat& format) {
    format = {SampleLayout::rgb, 1, false};
    switch (info.jpeg_color_space) {
    case JCS_GRAYSCALE:
        out_space = JCS_GRAYSCALE;
        format.layout = SampleLayout::grey;
        return true;
    case JCS_YCbCr:
    case JCS_RGB:
        out_space = JCS_RGB;
        return true;
    case JCS_CMYK:
    case JCS_YCCK:
        // Adobe's CMYK is stored inverted, and an Adobe marker is what says so.
        out_space = JCS_CMYK;
        format.layout = SampleLayout::cmyk;
        format.inverted_cmyk = info.saw_Adobe_marker != 0;
        return true;
    default:
        return false;
    }
}

ErrorCode decode_jpeg(JpegDecoder& decoder, std::FILE* file, ScreenFit fit, ScreenImage& image, ScreenSource& source) {
    if (!read_header(decoder, file)) {
        return refuse_decoder(source, decoder);
    }
    jpeg_decompress_struct& info = decoder.info;
    source.width = static_cast<int>(info.image_width);
    source.height = static_cast<int>(info.image_height);
    J_COLOR_SPACE out_space = JCS_RGB;
    SampleFormat format{};
    if (!choose_layout(info, out_space, format)) {
        return refuse(source, "a colour space of " + std::to_string(info.num_components) + " components that is not known");
    }
    if (!read_icc_profile(decoder)) {
        return refuse_decoder(source, decoder);
    }
    source.orientation = orientation_of(decoder);
    const bool swapped = orientation_swaps_sides(source.orientation);
    source.scale_eighths = jpeg_scale_eighths(source.width, source.height, swapped, fit);
    if (!start_decoding(decoder, source.scale_eighths, out_space)) {
        return refuse_decoder(source, decoder);
    }
    const auto stored_width = static_cast<int>(info.output_width);
    const auto stored_height = static_cast<int>(info.output_height);
    const std::size_t row_bytes = static_cast<std::size_t>(stored_width) * static_cast<std::size_t>(info.output_components);
    if (info.output_components != samples_per_pixel(format.layout)) {
        return refuse(source, "a colour space that does not give its components");
    }
    ColourDescription colours{};
    colours.icc_profile = decoder.icc.get();
    colours.icc_size = decoder.icc_length;
    auto rows = std::make_unique<ScreenRows>();
    const int shown_width = swapped ? stored_height : stored_width;
    const int shown_height = swapped ? stored_width : stored_height;
    ErrorCode code = start_screen_rows(shown_width, shown_height, format, colours, fit, ERR_INVALID_JPEG, image,
                                       *rows, source);
    if (code < 0) {
        return code;
    }
    // Mirrored or not, rows come in their order; any other orientation
    // needs the whole picture, which the DCT scale has made small.
    if (source.orientation <= 2) {
        const auto row = std::make_unique_for_overwrite<JSAMPLE[]>(row_bytes);
        if (!stream_rows(decoder, *rows, row.get(), source.orientation == 2)) {
            return refuse_decoder(source, decoder);
        }
    } else {
        if (row_bytes > MAX_DECODE_BYTES / static_cast<std::size_t>(stored_height)) {
            return refuse(source, "a turned picture too large to be held within " +
                                      std::to_string(MAX_DECODE_BYTES >> 20) + " MB");
        }
        const auto whole = std::make_unique_for_overwrite<JSAMPLE[]>(row_bytes * static_cast<std::size_t>(stored_height));
        if (!read_whole(decoder, whole.get(), row_bytes)) {
            return refuse_decoder(source, decoder);
        }
        push_oriented_picture(*rows, whole.get(), stored_width, stored_height, source.orientation);
    }
    if (!finish_decoding(decoder)) {
        return refuse_decoder(source, decoder);
    }
    finish_screen_rows(*rows);
    return ERR_SUCCESS;
}

}  // namespace

bool starts_with_jpeg_signature(const std::uint8_t* bytes, std::size_t count) {
    return count >= sizeof JPEG_SIGNATURE && std::equal(JPEG_SIGNATURE, JPEG_SIGNATURE + sizeof JPEG_SIGNATURE, bytes);
}

int jpeg_scale_eighths(int width, int height, bool swapped, ScreenFit fit) {
    const double shown_width = swapped ? height : width;
    const double shown_height = swapped ? width : height;
    const double across = IMAGE_WIDTH / shown_width;
    const double down = IMAGE_HEIGHT / shown_height;
    const double scale = fit == ScreenFit::cover ? std::max(across, down) : std::min(across, down);
    int eighths = static_cast<int>(std::clamp(std::ceil(scale * EIGHTHS - 1e-9), 1.0, static_cast<double>(EIGHTHS)));
    // A picture brought to 160 x 200 would be taken for a multicolour screen
    // and doubled: it is read a step larger instead.
    const auto reduced = [&](double side) { return static_cast<int>(std::ceil(side * eighths / EIGHTHS)); };
    while (eighths < EIGHTHS && reduced(shown_width) == IMAGE_WIDTH / 2 && reduced(shown_height) == IMAGE_HEIGHT) {
        ++eighths;
    }
    return eighths;
}

ErrorCode jpeg_read_screen(const std::string& path, ScreenFit fit, ScreenImage& image, ScreenSource& source) {
    source = ScreenSource{};
    source.format = "jpeg";
    FileHandle file = FileHandle::open(path, "rb");
    if (!file.is_open()) {
        return ERR_OPEN;
    }
    auto decoder = std::make_unique<JpegDecoder>();
    const ErrorCode code = decode_jpeg(*decoder, file.get(), fit, image, source);
    decoder.reset();
    if (code < 0) {
        return code;
    }
    return file.close();
}
