#include "c64/picture.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "frame/output_file.h"

namespace {

constexpr std::uint8_t AMICA_ESCAPE = 0xC2;
constexpr std::uint8_t MAX_AMICA_RUN = 255;

ErrorCode read_fixed_size_file(const std::string& path, std::uint8_t* bytes, std::size_t size) {
    FileHandle file = FileHandle::open(path, "rb");
    if (!file.is_open()) {
        return ERR_OPEN;
    }
    return read_block_and_close(file, bytes, size);
}

enum class AmicaState { literal, escape, count };

// The Amica stream: C2 n v is a run of n bytes v, C2 00 ends the stream and
// must come exactly after the last byte of the image.
ErrorCode unpack_amica(std::FILE* stream, std::uint8_t* out) {
    std::size_t produced = 0;
    AmicaState state = AmicaState::literal;
    int run_length = 0;
    for (;;) {
        const int next = std::fgetc(stream);
        if (next == EOF) {
            return ERR_READ;
        }
        const auto byte = static_cast<std::uint8_t>(next);
        if (produced == AMICA_PACKED_SPAN) {
            const bool marker_byte = (state == AmicaState::literal && byte == AMICA_ESCAPE) ||
                                     (state == AmicaState::escape && byte == 0x00);
            if (!marker_byte) {
                return ERR_INVALID_AMICA;
            }
        }
        switch (state) {
        case AmicaState::literal:
            if (byte == AMICA_ESCAPE) {
                state = AmicaState::escape;
            } else {
                out[produced++] = byte;
            }
            break;
        case AmicaState::escape:
            if (byte == 0x00) {
                return produced == AMICA_PACKED_SPAN ? ERR_SUCCESS : ERR_INVALID_AMICA;
            }
            run_length = byte;
            state = AmicaState::count;
            break;
        case AmicaState::count:
            if (produced + static_cast<std::size_t>(run_length) > AMICA_PACKED_SPAN) {
                return ERR_INVALID_AMICA;
            }
            std::memset(out + produced, byte, static_cast<std::size_t>(run_length));
            produced += static_cast<std::size_t>(run_length);
            state = AmicaState::literal;
            break;
        }
    }
}

void append_escape_groups(std::vector<std::uint8_t>& packed, std::uint8_t value, std::size_t length) {
    while (length > 0) {
        const std::size_t group = std::min<std::size_t>(length, MAX_AMICA_RUN);
        packed.push_back(AMICA_ESCAPE);
        packed.push_back(static_cast<std::uint8_t>(group));
        packed.push_back(value);
        length -= group;
    }
}

void append_amica_run(std::vector<std::uint8_t>& packed, std::uint8_t value, std::size_t length, bool last_run) {
    const std::size_t shortest_escaped_run = last_run ? 2 : 3;
    if (length >= shortest_escaped_run || value == AMICA_ESCAPE) {
        append_escape_groups(packed, value, length);
    } else {
        packed.insert(packed.end(), length, value);
    }
}

void copy_picture_fields(const C64Picture& picture, std::uint8_t* image) {
    std::memcpy(image + IMAGE_BITMAP, picture.bitmap.data(), BITMAP_SIZE);
    std::memcpy(image + IMAGE_SCREEN, picture.screen.data(), CELL_COUNT);
    std::memcpy(image + IMAGE_COLOUR, picture.colour.data(), CELL_COUNT);
    image[IMAGE_BACKGROUND] = picture.background;
}

ErrorCode multicolour_image_to_picture(const std::uint8_t* image, C64Picture& picture) {
    std::memcpy(picture.bitmap.data(), image + IMAGE_BITMAP, BITMAP_SIZE);
    std::memcpy(picture.screen.data(), image + IMAGE_SCREEN, CELL_COUNT);
    std::memcpy(picture.colour.data(), image + IMAGE_COLOUR, CELL_COUNT);
    picture.background = image[IMAGE_BACKGROUND];
    return ERR_SUCCESS;
}

}  // namespace

ErrorCode read_koala_file(const std::string& path, KoalaImage& image) {
    return read_fixed_size_file(path, image.bytes.data(), image.bytes.size());
}

ErrorCode read_art_studio_file(const std::string& path, ArtStudioImage& image) {
    return read_fixed_size_file(path, image.bytes.data(), image.bytes.size());
}

ErrorCode read_amica_file(const std::string& path, AmicaImage& image) {
    FileHandle file = FileHandle::open(path, "rb");
    if (!file.is_open()) {
        return ERR_OPEN;
    }
    return read_amica_stream(file, image);
}

ErrorCode read_amica_stream(FileHandle& stream, AmicaImage& image) {
    if (std::fseek(stream.get(), 2, SEEK_SET) != 0) {
        return ERR_PARAMETERS;
    }
    const ErrorCode code = unpack_amica(stream.get(), image.bytes.data() + 2);
    if (code < 0) {
        return code;
    }
    return stream.close();
}

ErrorCode write_koala_file(const std::string& path, const KoalaImage& image) {
    return write_whole_file(path, image.bytes.data(), image.bytes.size());
}

ErrorCode write_art_studio_file(const std::string& path, const ArtStudioImage& image) {
    return write_whole_file(path, image.bytes.data(), image.bytes.size());
}

std::vector<std::uint8_t> pack_amica_data(const AmicaImage& image) {
    std::vector<std::uint8_t> packed;
    const std::uint8_t* data = image.bytes.data() + 2;
    std::size_t run_start = 0;
    for (std::size_t i = 1; i <= AMICA_PACKED_SPAN; ++i) {
        if (i < AMICA_PACKED_SPAN && data[i] == data[run_start]) {
            continue;
        }
        append_amica_run(packed, data[run_start], i - run_start, i == AMICA_PACKED_SPAN);
        run_start = i;
    }
    return packed;
}

ErrorCode write_amica_file(const std::string& path, const AmicaImage& image) {
    const std::vector<std::uint8_t> packed = pack_amica_data(image);
    OutputFile file;
    if (!file.open(path)) {
        return ERR_CREATE;
    }
    if (std::fputc(0x00, file.get()) == EOF || std::fputc(0x40, file.get()) == EOF) {
        return ERR_WRITE;
    }
    if (std::fwrite(packed.data(), 1, packed.size(), file.get()) != packed.size()) {
        return ERR_WRITE;
    }
    const ErrorCode code = write_word(0x00C2, file.get());
    if (code < 0) {
        return code;
    }
    return file.finish_writing();
}

ErrorCode koala_to_picture(const KoalaImage& image, C64Picture& picture) {
    return multicolour_image_to_picture(image.bytes.data(), picture);
}

ErrorCode koala_to_picture(const AmicaImage& image, C64Picture& picture) {
    return multicolour_image_to_picture(image.bytes.data(), picture);
}

ErrorCode picture_to_koala(const C64Picture& picture, KoalaImage& image) {
    image.bytes[0] = 0x00;
    image.bytes[1] = 0x60;
    copy_picture_fields(picture, image.bytes.data());
    return ERR_SUCCESS;
}

ErrorCode picture_to_amica(const C64Picture& picture, AmicaImage& image) {
    image.bytes[0] = 0x00;
    image.bytes[1] = 0x40;
    copy_picture_fields(picture, image.bytes.data());
    std::fill(image.bytes.begin() + KOALA_FILE_SIZE, image.bytes.end(), 0);
    return ERR_SUCCESS;
}

ErrorCode hires_to_art_studio(const HiresPicture& picture, ArtStudioImage& image) {
    image.bytes[0] = 0x00;
    image.bytes[1] = 0x20;
    std::memcpy(image.bytes.data() + IMAGE_BITMAP, picture.bitmap.data(), BITMAP_SIZE);
    std::memcpy(image.bytes.data() + IMAGE_SCREEN, picture.screen.data(), CELL_COUNT);
    std::fill(image.bytes.begin() + IMAGE_COLOUR, image.bytes.end(), 0);
    return ERR_SUCCESS;
}

ErrorCode art_studio_to_hires(const ArtStudioImage& image, HiresPicture& picture) {
    std::memcpy(picture.bitmap.data(), image.bytes.data() + IMAGE_BITMAP, BITMAP_SIZE);
    std::memcpy(picture.screen.data(), image.bytes.data() + IMAGE_SCREEN, CELL_COUNT);
    return ERR_SUCCESS;
}

namespace {

// A plain loop: for two or four colours it costs less than std::find's
// set-up.
bool colour_allowed(std::uint8_t colour, const std::uint8_t* allowed_colours, int n) {
    for (int i = 0; i < n; ++i) {
        if (allowed_colours[i] == colour) {
            return true;
        }
    }
    return false;
}

}  // namespace

ErrorCode colours_in_set(const std::uint8_t* cell_colours, const std::uint8_t* allowed_colours, int n) {
    for (int i = 0; i < n; ++i) {
        if (!colour_allowed(cell_colours[i], allowed_colours, n)) {
            return ERR_PARAMETERS;
        }
    }
    return ERR_SUCCESS;
}

// The file images are not cleared: a reader fills them whole or fails, and
// the conversions fill every byte that a writer writes.
ErrorCode load_multicolour_picture(const std::string& path, int format, C64Picture& picture) {
    if (format == FORMAT_AMICA) {
        const auto image = std::make_unique_for_overwrite<AmicaImage>();
        const ErrorCode code = read_amica_file(path, *image);
        return code < 0 ? code : koala_to_picture(*image, picture);
    }
    const auto image = std::make_unique_for_overwrite<KoalaImage>();
    const ErrorCode code = read_koala_file(path, *image);
    return code < 0 ? code : koala_to_picture(*image, picture);
}

ErrorCode load_hires_picture(const std::string& path, HiresPicture& picture) {
    std::uint8_t border = 0;
    return load_hires_picture(path, picture, border);
}

ErrorCode load_hires_picture(const std::string& path, HiresPicture& picture, std::uint8_t& border) {
    const auto image = std::make_unique_for_overwrite<ArtStudioImage>();
    const ErrorCode code = read_art_studio_file(path, *image);
    if (code < 0) {
        return code;
    }
    border = image->bytes[ART_STUDIO_BORDER] & 0x0F;
    return art_studio_to_hires(*image, picture);
}

ErrorCode save_multicolour_picture(const std::string& path, int format, const C64Picture& picture) {
    if (format == FORMAT_AMICA) {
        const auto image = std::make_unique_for_overwrite<AmicaImage>();
        picture_to_amica(picture, *image);
        return write_amica_file(path, *image);
    }
    const auto image = std::make_unique_for_overwrite<KoalaImage>();
    picture_to_koala(picture, *image);
    return write_koala_file(path, *image);
}

ErrorCode save_hires_picture(const std::string& path, const HiresPicture& picture) {
    const auto image = std::make_unique_for_overwrite<ArtStudioImage>();
    hires_to_art_studio(picture, *image);
    return write_art_studio_file(path, *image);
}
