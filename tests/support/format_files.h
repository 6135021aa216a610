// Picture files of the other paint programs, written by the tests from their
// own description of each layout (not from the library's table, so that a
// wrong row shows).
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "c64/picture.h"

using FileBytes = std::vector<std::uint8_t>;

// Offsets count from the byte after the load address; -1: no such area.
struct TestLayout {
    const char* extension;
    bool hires;
    std::uint16_t load_address;
    std::size_t file_size;  // the shortest file the format has
    int bitmap;
    int screen;
    int colour;
    int background;
};

inline const std::vector<TestLayout>& unpacked_layouts() {
    static const std::vector<TestLayout> layouts = {
        {"ipt", false, 0x4000, 10003, 0, 8000, 9000, 10000},
        {"ip64l", false, 0x4000, 10003, 0, 8000, 9000, 10000},
        {"rpm", false, 0x6000, 10003, 0, 8000, 9000, 10000},
        {"ocp", false, 0x2000, 10018, 0, 8000, 9016, 9001},
        {"mpic", false, 0x2000, 10018, 0, 8000, 9016, 9001},
        {"drz", false, 0x5800, 10051, 2048, 1024, 0, 10048},
        {"vid", false, 0x5800, 10050, 2048, 1024, 0, 2024},
        {"pi", false, 0xA000, 10242, 0, 8192, 9216, 8064},
        {"bpl", false, 0xA000, 10242, 0, 8192, 9216, 8064},
        {"ism", false, 0x3C00, 10218, 1024, 9216, 0, 9215},
        {"a64", false, 0x4000, 10242, 0, 8192, 9216, 10239},
        {"sar", false, 0x7800, 10219, 1024, 0, 9216, 1008},
        {"iph", true, 0x4000, 9002, 0, 8000, -1, -1},
        {"ip64h", true, 0x4000, 9002, 0, 8000, -1, -1},
        {"dd", true, 0x5C00, 9026, 1024, 0, -1, -1},
        {"ddl", true, 0x1C00, 9026, 1024, 0, -1, -1},
        {"hed", true, 0x2000, 9218, 0, 8192, -1, -1},
        {"ish", true, 0x4000, 9194, 0, 8192, -1, -1},
    };
    return layouts;
}

// Bytes outside the areas get a pattern of their own, so that an area read
// from a wrong offset shows.
inline FileBytes blank_layout_file(const TestLayout& layout) {
    FileBytes file(layout.file_size);
    for (std::size_t i = 0; i < file.size(); ++i) {
        file[i] = static_cast<std::uint8_t>(0x5A ^ (i * 7));
    }
    file[0] = static_cast<std::uint8_t>(layout.load_address & 0xFF);
    file[1] = static_cast<std::uint8_t>(layout.load_address >> 8);
    return file;
}

template <typename Area>
void put_area(FileBytes& file, int offset, const Area& area) {
    std::copy(area.begin(), area.end(), file.begin() + 2 + offset);
}

// Colour memory and background go in with their high nybble set, as real
// files have them.
inline FileBytes multicolour_layout_file(const TestLayout& layout, const C64Picture& picture) {
    FileBytes file = blank_layout_file(layout);
    put_area(file, layout.bitmap, picture.bitmap);
    put_area(file, layout.screen, picture.screen);
    for (std::size_t cell = 0; cell < picture.colour.size(); ++cell) {
        file[2 + static_cast<std::size_t>(layout.colour) + cell] = static_cast<std::uint8_t>(0xF0 | picture.colour[cell]);
    }
    file[2 + static_cast<std::size_t>(layout.background)] = static_cast<std::uint8_t>(0xF0 | picture.background);
    return file;
}

inline FileBytes hires_layout_file(const TestLayout& layout, const HiresPicture& picture) {
    FileBytes file = blank_layout_file(layout);
    put_area(file, layout.bitmap, picture.bitmap);
    put_area(file, layout.screen, picture.screen);
    return file;
}

// Packs data with runs of 4 to 255 equal bytes as escape groups and the escape
// byte itself always as a group of 1: escape, value, count (GG and JJ) or
// escape, count, value (Drazpaint).
inline FileBytes pack_runs(const FileBytes& data, std::uint8_t escape, bool count_first) {
    FileBytes packed;
    for (std::size_t start = 0; start < data.size();) {
        std::size_t length = 1;
        while (start + length < data.size() && length < 255 && data[start + length] == data[start]) {
            ++length;
        }
        if (length >= 4 || data[start] == escape) {
            const auto count = static_cast<std::uint8_t>(length);
            packed.insert(packed.end(), {escape, count_first ? count : data[start], count_first ? data[start] : count});
        } else {
            packed.insert(packed.end(), length, data[start]);
        }
        start += length;
    }
    return packed;
}

// The bytes after the load address of an unpacked file.
inline FileBytes layout_data(const FileBytes& file) {
    return FileBytes(file.begin() + 2, file.end());
}

inline FileBytes with_load_address(std::uint16_t address, const FileBytes& rest) {
    FileBytes file = {static_cast<std::uint8_t>(address & 0xFF), static_cast<std::uint8_t>(address >> 8)};
    file.insert(file.end(), rest.begin(), rest.end());
    return file;
}

inline const TestLayout KOALA_LAYOUT = {"koa", false, 0x6000, 10003, 0, 8000, 9000, 10000};
inline const TestLayout DRAZPAINT_LAYOUT = {"drz", false, 0x5800, 10051, 2048, 1024, 0, 10048};
inline const TestLayout DOODLE_LAYOUT = {"dd", true, 0x5C00, 9026, 1024, 0, -1, -1};

inline FileBytes gg_file(const C64Picture& picture) {
    return with_load_address(0x6000, pack_runs(layout_data(multicolour_layout_file(KOALA_LAYOUT, picture)), 0xFE, false));
}

inline FileBytes jj_file(const HiresPicture& picture) {
    return with_load_address(0x5C00, pack_runs(layout_data(hires_layout_file(DOODLE_LAYOUT, picture)), 0xFE, false));
}

inline FileBytes drazpaint_header(std::uint8_t escape) {
    const std::string text = "DRAZPAINT 1.4";
    FileBytes header(text.begin(), text.end());
    header.push_back(escape);
    return header;
}

inline FileBytes drp_file(const C64Picture& picture, std::uint8_t escape = 0x9B) {
    FileBytes rest = drazpaint_header(escape);
    const FileBytes packed = pack_runs(layout_data(multicolour_layout_file(DRAZPAINT_LAYOUT, picture)), escape, true);
    rest.insert(rest.end(), packed.begin(), packed.end());
    return with_load_address(0x5800, rest);
}

// Colour memory and background as the readers keep them: low nybble only.
inline C64Picture low_nybble_colours(C64Picture picture) {
    for (auto& byte : picture.colour) byte &= 0x0F;
    picture.background &= 0x0F;
    return picture;
}
