#include "c64/picture_formats.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "frame/file_names.h"

namespace {

constexpr PictureMode MC = PictureMode::multicolour;
constexpr PictureMode HI = PictureMode::hires;

}  // namespace

// Advanced Art Studio: byte 9000 is the border, 9001 the background (the
// colour of pair 00), as most references have it; one reference reads the
// background from 9000. Real files often hold the same colour in both.
// Doodle: screen memory takes 1024 bytes (1000 and 24 spare) before the bitmap.
const std::array<PictureFormat, PICTURE_FORMAT_COUNT> picture_format_table = {{
    // name, extensions, mode, load addresses, data size, bitmap, screen, colour, background, packing
    {"Koala, packed (GG)", {"gg", nullptr}, MC, {0x6000, 0}, 10001, 0, 8000, 9000, 10000, Packing::escape_fe},
    {"Interpaint lo-res", {"ipt", "ip64l"}, MC, {0x4000, 0}, 10001, 0, 8000, 9000, 10000, Packing::none},
    {"Run Paint", {"rpm", nullptr}, MC, {0x6000, 0}, 10001, 0, 8000, 9000, 10000, Packing::none},
    {"Advanced Art Studio", {"ocp", "mpic"}, MC, {0x2000, 0}, 10016, 0, 8000, 9016, 9001, Packing::none},
    {"Drazpaint", {"drz", nullptr}, MC, {0x5800, 0}, 10049, 2048, 1024, 0, 10048, Packing::none},
    {"Drazpaint, packed", {"drp", nullptr}, MC, {0x5800, 0}, 10049, 2048, 1024, 0, 10048, Packing::drazpaint},
    {"Vidcom 64", {"vid", nullptr}, MC, {0x5800, 0}, 10048, 2048, 1024, 0, 2024, Packing::none},
    {"Blazing Paddles", {"pi", "bpl"}, MC, {0xA000, 0}, 10240, 0, 8192, 9216, 8064, Packing::none},
    {"Image System", {"ism", nullptr}, MC, {0x3C00, 0}, 10216, 1024, 9216, 0, 9215, Packing::none},
    {"Artist 64", {"a64", nullptr}, MC, {0x4000, 0}, 10240, 0, 8192, 9216, 10239, Packing::none},
    {"Saracen Paint", {"sar", nullptr}, MC, {0x7800, 0}, 10217, 1024, 0, 9216, 1008, Packing::none},
    {"Interpaint hires", {"iph", "ip64h"}, HI, {0x4000, 0}, 9000, 0, 8000, NO_AREA, NO_AREA, Packing::none},
    {"Doodle", {"dd", "ddl"}, HI, {0x5C00, 0x1C00}, 9024, 1024, 0, NO_AREA, NO_AREA, Packing::none},
    {"Doodle, packed (JJ)", {"jj", nullptr}, HI, {0x5C00, 0}, 9024, 1024, 0, NO_AREA, NO_AREA, Packing::escape_fe},
    {"Hi-Eddi", {"hed", nullptr}, HI, {0x2000, 0}, 9216, 0, 8192, NO_AREA, NO_AREA, Packing::none},
    {"Image System hires", {"ish", nullptr}, HI, {0x4000, 0}, 9192, 0, 8192, NO_AREA, NO_AREA, Packing::none},
}};

namespace {

constexpr std::size_t MAX_PICTURE_DATA = 10240;
constexpr std::uint8_t GG_ESCAPE = 0xFE;
constexpr char DRAZPAINT_HEADER[] = "DRAZPAINT 1.4";
constexpr std::size_t DRAZPAINT_HEADER_SIZE = sizeof DRAZPAINT_HEADER - 1;
constexpr std::uint8_t COLOUR_NYBBLE = 0x0F;

// The bytes after the load address, unpacked.
struct PictureData {
    std::array<std::uint8_t, MAX_PICTURE_DATA> bytes;
};

struct RunSyntax {
    std::uint8_t escape;
    bool count_first;  // Drazpaint: ESC count value; GG and JJ: ESC value count
};

// A count of 0 stands for 256: the packers never write it (their runs stop
// at 255), and an 8-bit countdown loop on the C64 copies 256 bytes for it.
std::size_t run_length(int count) {
    return count == 0 ? 256 : static_cast<std::size_t>(count);
}

// Fills size bytes and stops: what follows in the file is padding, and a run
// that reaches past the end is cut there. A file that ends first is ERR_READ.
ErrorCode unpack_runs(std::FILE* stream, RunSyntax syntax, std::uint8_t* out, std::size_t size) {
    std::size_t produced = 0;
    while (produced < size) {
        const int byte = std::fgetc(stream);
        if (byte == EOF) {
            return ERR_READ;
        }
        if (byte != syntax.escape) {
            out[produced++] = static_cast<std::uint8_t>(byte);
            continue;
        }
        const int first = std::fgetc(stream);
        const int second = std::fgetc(stream);
        if (first == EOF || second == EOF) {
            return ERR_READ;
        }
        const int value = syntax.count_first ? second : first;
        const std::size_t length = std::min(run_length(syntax.count_first ? first : second), size - produced);
        std::memset(out + produced, value, length);
        produced += length;
    }
    return ERR_SUCCESS;
}

ErrorCode read_drazpaint_header(std::FILE* stream, RunSyntax& syntax) {
    std::array<std::uint8_t, DRAZPAINT_HEADER_SIZE + 1> header{};
    if (std::fread(header.data(), 1, header.size(), stream) != header.size()) {
        return ERR_READ;
    }
    if (std::memcmp(header.data(), DRAZPAINT_HEADER, DRAZPAINT_HEADER_SIZE) != 0) {
        return ERR_INVALID_DRAZPAINT;
    }
    syntax = {header[DRAZPAINT_HEADER_SIZE], true};
    return ERR_SUCCESS;
}

ErrorCode read_data_bytes(std::FILE* stream, const PictureFormat& format, PictureData& data) {
    switch (format.packing) {
    case Packing::none:
        return std::fread(data.bytes.data(), 1, format.data_size, stream) == format.data_size ? ERR_SUCCESS
                                                                                                : ERR_READ;
    case Packing::escape_fe:
        return unpack_runs(stream, {GG_ESCAPE, false}, data.bytes.data(), format.data_size);
    case Packing::drazpaint: {
        RunSyntax syntax{};
        const ErrorCode code = read_drazpaint_header(stream, syntax);
        return code < 0 ? code : unpack_runs(stream, syntax, data.bytes.data(), format.data_size);
    }
    }
    return ERR_FUNCTION_PARAMETERS;
}

// The load address is skipped unchecked.
ErrorCode read_picture_data(const std::string& path, const PictureFormat& format, PictureData& data) {
    if (format.data_size > data.bytes.size()) {
        return ERR_FUNCTION_PARAMETERS;
    }
    FileHandle file = FileHandle::open(path, "rb");
    if (!file.is_open()) {
        return ERR_OPEN;
    }
    std::array<std::uint8_t, 2> load_address{};
    if (std::fread(load_address.data(), 1, load_address.size(), file.get()) != load_address.size()) {
        return ERR_READ;
    }
    const ErrorCode code = read_data_bytes(file.get(), format, data);
    return code < 0 ? code : file.close();
}

template <std::size_t N>
void copy_area(const PictureData& data, std::size_t offset, std::array<std::uint8_t, N>& area) {
    std::memcpy(area.data(), data.bytes.data() + offset, N);
}

}  // namespace

const PictureFormat* table_format(int format) {
    const int row = format - FIRST_TABLE_FORMAT;
    if (row < 0 || row >= static_cast<int>(picture_format_table.size())) {
        return nullptr;
    }
    return &picture_format_table[static_cast<std::size_t>(row)];
}

bool picture_format_is_hires(int format) {
    const PictureFormat* row = table_format(format);
    return row != nullptr ? row->mode == PictureMode::hires : format == FORMAT_ART_STUDIO;
}

int format_of_file_name(const std::string& path, int switch_format) {
    const std::string extension = file_extension(path);
    if (extension.empty()) {
        return switch_format;
    }
    for (std::size_t row = 0; row < picture_format_table.size(); ++row) {
        for (const char* listed : picture_format_table[row].extensions) {
            if (listed != nullptr && extension == listed) {
                return FIRST_TABLE_FORMAT + static_cast<int>(row);
            }
        }
    }
    return switch_format;
}

namespace {

// A row of the other mode than the picture it is read into is a caller's fault.
ErrorCode read_picture_data_of_mode(const std::string& path, const PictureFormat& format, PictureMode mode,
                                    PictureData& data) {
    if (format.mode != mode) {
        return ERR_FUNCTION_PARAMETERS;
    }
    return read_picture_data(path, format, data);
}

}  // namespace

ErrorCode get_picture_input(const SwitchTable& table, int position, std::string& path, int& format) {
    const ErrorCode code = get_file_name(table, position, picture_extensions[format], path);
    if (code < 0) {
        return code;
    }
    format = format_of_file_name(path, format);
    return ERR_SUCCESS;
}

ErrorCode read_table_picture(const std::string& path, const PictureFormat& format, C64Picture& picture) {
    const auto data = std::make_unique<PictureData>();
    const ErrorCode code = read_picture_data_of_mode(path, format, PictureMode::multicolour, *data);
    if (code < 0) {
        return code;
    }
    copy_area(*data, format.bitmap, picture.bitmap);
    copy_area(*data, format.screen, picture.screen);
    copy_area(*data, format.colour, picture.colour);
    for (auto& byte : picture.colour) {
        byte &= COLOUR_NYBBLE;
    }
    picture.background = data->bytes[format.background] & COLOUR_NYBBLE;
    return ERR_SUCCESS;
}

ErrorCode read_table_picture(const std::string& path, const PictureFormat& format, HiresPicture& picture) {
    const auto data = std::make_unique<PictureData>();
    const ErrorCode code = read_picture_data_of_mode(path, format, PictureMode::hires, *data);
    if (code < 0) {
        return code;
    }
    copy_area(*data, format.bitmap, picture.bitmap);
    copy_area(*data, format.screen, picture.screen);
    return ERR_SUCCESS;
}

ErrorCode load_multicolour_input(const std::string& path, int format, C64Picture& picture) {
    const PictureFormat* row = table_format(format);
    if (row != nullptr) {
        return read_table_picture(path, *row, picture);
    }
    return load_multicolour_picture(path, format, picture);
}

ErrorCode load_hires_input(const std::string& path, int format, HiresPicture& picture) {
    std::uint8_t border = 0;
    return load_hires_input(path, format, picture, border);
}

ErrorCode load_hires_input(const std::string& path, int format, HiresPicture& picture, std::uint8_t& border) {
    border = 0;
    const PictureFormat* row = table_format(format);
    if (row != nullptr) {
        return read_table_picture(path, *row, picture);
    }
    return load_hires_picture(path, picture, border);
}
