// The table reader on any bytes, for every row: the first input byte chooses
// the row, the rest is the file. A picture that is read must come back the
// same from a file of the row's layout, packed without runs where the row
// is packed.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "c64/picture_formats.h"
#include "c64/pixel.h"
#include "fuzz_scratch.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint8_t FE_ESCAPE = 0xFE;
constexpr char DRAZPAINT_HEADER[] = "DRAZPAINT 1.4";
// Any escape byte will do; one that also occurs as data tests its groups.
constexpr std::uint8_t DRAZPAINT_ESCAPE = 0x00;

template <typename Area>
void put_area(Bytes& data, std::size_t offset, const Area& area) {
    std::copy(area.begin(), area.end(), data.begin() + static_cast<std::ptrdiff_t>(offset));
}

// Every byte as itself, the escape byte as a group of one.
Bytes pack_without_runs(const Bytes& data, Packing packing) {
    Bytes file;
    if (packing == Packing::drazpaint) {
        file.assign(DRAZPAINT_HEADER, DRAZPAINT_HEADER + std::strlen(DRAZPAINT_HEADER));
        file.push_back(DRAZPAINT_ESCAPE);
    }
    const std::uint8_t escape = packing == Packing::drazpaint ? DRAZPAINT_ESCAPE : FE_ESCAPE;
    for (const std::uint8_t byte : data) {
        if (byte != escape) {
            file.push_back(byte);
        } else if (packing == Packing::drazpaint) {
            file.insert(file.end(), {escape, 0x01, byte});  // count, value
        } else {
            file.insert(file.end(), {escape, byte, 0x01});  // value, count
        }
    }
    return file;
}

std::string write_layout_file(const PictureFormat& format, const Bytes& data) {
    Bytes file = {static_cast<std::uint8_t>(format.load_addresses[0]),
                  static_cast<std::uint8_t>(format.load_addresses[0] >> 8)};
    const Bytes rest = format.packing == Packing::none ? data : pack_without_runs(data, format.packing);
    file.insert(file.end(), rest.begin(), rest.end());
    return write_scratch_file("again", file.data(), file.size());
}

void check_multicolour(const std::string& input, int format_number, const PictureFormat& format) {
    const auto picture = std::make_unique<C64Picture>();
    if (load_multicolour_input(input, format_number, *picture) < 0) {
        return;
    }
    const auto pixels = std::make_unique<PixelImage>();
    render_multicolour_picture(*picture, *pixels, 0);
    if (picture->background > 15 ||
        std::any_of(picture->colour.begin(), picture->colour.end(), [](std::uint8_t c) { return c > 15; })) {
        fuzz_check_failed("a colour keeps its high nybble");
    }
    Bytes data(format.data_size, 0);
    put_area(data, format.bitmap, picture->bitmap);
    put_area(data, format.screen, picture->screen);
    put_area(data, format.colour, picture->colour);
    data[format.background] = picture->background;
    const auto again = std::make_unique<C64Picture>();
    if (load_multicolour_input(write_layout_file(format, data), format_number, *again) < 0 ||
        again->bitmap != picture->bitmap || again->screen != picture->screen || again->colour != picture->colour ||
        again->background != picture->background) {
        fuzz_check_failed("a picture does not come back from a file of its layout");
    }
}

void check_hires(const std::string& input, int format_number, const PictureFormat& format) {
    const auto picture = std::make_unique<HiresPicture>();
    if (load_hires_input(input, format_number, *picture) < 0) {
        return;
    }
    const auto pixels = std::make_unique<PixelImage>();
    render_hires_picture(*picture, *pixels, 0);
    Bytes data(format.data_size, 0);
    put_area(data, format.bitmap, picture->bitmap);
    put_area(data, format.screen, picture->screen);
    const auto again = std::make_unique<HiresPicture>();
    if (load_hires_input(write_layout_file(format, data), format_number, *again) < 0 ||
        again->bitmap != picture->bitmap || again->screen != picture->screen) {
        fuzz_check_failed("a hires picture does not come back from a file of its layout");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::size_t row = data[0] % PICTURE_FORMAT_COUNT;
    const PictureFormat& format = picture_format_table[row];
    const int format_number = FIRST_TABLE_FORMAT + static_cast<int>(row);
    const std::string input = write_scratch_file("in", data + 1, size - 1);
    if (format.mode == PictureMode::multicolour) {
        check_multicolour(input, format_number, format);
    } else {
        check_hires(input, format_number, format);
    }
    return 0;
}
