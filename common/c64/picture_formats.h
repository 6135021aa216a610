// The picture formats of other C64 paint programs, chosen by the extension of
// the file name: each is a row of data read by one generic reader.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "frame/errors.h"
#include "c64/picture.h"
#include "frame/switches.h"

enum class PictureMode : std::uint8_t { multicolour, hires };

enum class Packing : std::uint8_t {
    none,
    escape_fe,  // FE value count; every other byte is itself
    drazpaint,  // "DRAZPAINT 1.4", the escape byte, then ESC count value
};

// An area that the format does not have (colour memory and background of
// the hires formats).
constexpr std::size_t NO_AREA = static_cast<std::size_t>(-1);

// Offsets and sizes count from the byte after the two-byte load address.
struct PictureFormat {
    const char* name;
    std::array<const char*, 2> extensions;  // lower case; nullptr when there is only one
    PictureMode mode;
    // What the paint program writes. Not checked on reading, as for Koala:
    // real files are found with other load addresses.
    std::array<std::uint16_t, 2> load_addresses;
    // Bytes the picture takes after the load address: an unpacked file must
    // hold at least this many (longer files carry trailing bytes and load),
    // a packed one must unpack to at least this many.
    std::size_t data_size;
    std::size_t bitmap;
    std::size_t screen;
    std::size_t colour;
    std::size_t background;
    Packing packing;
};

constexpr std::size_t PICTURE_FORMAT_COUNT = 16;
extern const std::array<PictureFormat, PICTURE_FORMAT_COUNT> picture_format_table;

// Format numbers: 0 Koala, 1 Amica and 2 Art Studio are chosen by -k, -a and
// -s; FIRST_TABLE_FORMAT + i is row i of picture_format_table.
constexpr int FIRST_TABLE_FORMAT = 3;

// The row of a table format, nullptr for Koala, Amica and Art Studio.
const PictureFormat* table_format(int format);

// Art Studio and the hires rows of the table.
bool picture_format_is_hires(int format);

// The table format named by the extension of path (the text after its last
// '.', in any case), else switch_format.
int format_of_file_name(const std::string& path, int switch_format);

// Input name n of a reading tool. format comes in as the switches' format,
// whose extension a bare name gets, and goes out as the file's format: a
// listed extension overrides the switches.
ErrorCode get_picture_input(const SwitchTable& table, int position, std::string& path, int& format);

// Loads any multicolour format (Koala, Amica or a multicolour row).
ErrorCode load_multicolour_input(const std::string& path, int format, C64Picture& picture);
// Loads any hires format (Art Studio or a hires row).
ErrorCode load_hires_input(const std::string& path, int format, HiresPicture& picture);
// The same, with the border colour: Art Studio stores one, the hires rows of
// the table do not and give black.
ErrorCode load_hires_input(const std::string& path, int format, HiresPicture& picture, std::uint8_t& border);

// The generic reader of one row. Only the low nybble of colour memory and of
// the background is kept. A multicolour row into a hires picture, or the
// other way round, is ERR_FUNCTION_PARAMETERS.
ErrorCode read_table_picture(const std::string& path, const PictureFormat& format, C64Picture& picture);
ErrorCode read_table_picture(const std::string& path, const PictureFormat& format, HiresPicture& picture);
