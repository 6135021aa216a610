// C64 picture records and the Koala Painter, Amica Paint and Art Studio files.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "frame/errors.h"
#include "frame/file_names.h"

constexpr int CELL_COUNT = 1000;
constexpr int CELL_COLUMNS = 40;  // cell n is in row n / 40, column n % 40
constexpr int PICTURE_LINES = 200;
constexpr int BITMAP_SIZE = 8000;
constexpr int C64_COLOUR_COUNT = 16;

inline bool is_cell_number(int cell) {
    return cell >= 0 && cell < CELL_COUNT;
}

constexpr int FORMAT_KOALA = 0;
constexpr int FORMAT_AMICA = 1;
constexpr int FORMAT_ART_STUDIO = 2;

constexpr std::size_t KOALA_FILE_SIZE = 10003;
constexpr std::size_t AMICA_IMAGE_SIZE = 10259;
constexpr std::size_t AMICA_PACKED_SPAN = AMICA_IMAGE_SIZE - 2;  // bytes 2..10258 go through the packer
constexpr std::size_t ART_STUDIO_FILE_SIZE = 9009;

// Offsets inside the file images.
constexpr std::size_t IMAGE_BITMAP = 2;
constexpr std::size_t IMAGE_SCREEN = 8002;
constexpr std::size_t IMAGE_COLOUR = 9002;
constexpr std::size_t IMAGE_BACKGROUND = 10002;
// Art Studio keeps the border colour in the first byte after the screen memory.
constexpr std::size_t ART_STUDIO_BORDER = 9002;

// Multicolour picture: bit pattern 00 background, 01 screen high nybble,
// 10 screen low nybble, 11 colour memory low nybble.
struct C64Picture {
    std::array<std::uint8_t, BITMAP_SIZE> bitmap;
    std::array<std::uint8_t, CELL_COUNT> screen;
    std::array<std::uint8_t, CELL_COUNT> colour;
    std::uint8_t background;
};

// Hires picture: bit 0 screen low nybble, bit 1 screen high nybble.
struct HiresPicture {
    std::array<std::uint8_t, BITMAP_SIZE> bitmap;
    std::array<std::uint8_t, CELL_COUNT> screen;
};

struct KoalaImage {
    std::array<std::uint8_t, KOALA_FILE_SIZE> bytes;
};

struct AmicaImage {
    std::array<std::uint8_t, AMICA_IMAGE_SIZE> bytes;
};

struct ArtStudioImage {
    std::array<std::uint8_t, ART_STUDIO_FILE_SIZE> bytes;
};

ErrorCode read_koala_file(const std::string& path, KoalaImage& image);
ErrorCode read_art_studio_file(const std::string& path, ArtStudioImage& image);
ErrorCode read_amica_file(const std::string& path, AmicaImage& image);
// The part of read_amica_file after the open: skip the load address, unpack,
// close. For callers that open the file themselves.
ErrorCode read_amica_stream(FileHandle& stream, AmicaImage& image);

ErrorCode write_koala_file(const std::string& path, const KoalaImage& image);
ErrorCode write_art_studio_file(const std::string& path, const ArtStudioImage& image);
ErrorCode write_amica_file(const std::string& path, const AmicaImage& image);

// The packed form of image bytes 2..10258, without the load address and
// without the end marker C2 00.
std::vector<std::uint8_t> pack_amica_data(const AmicaImage& image);

ErrorCode koala_to_picture(const KoalaImage& image, C64Picture& picture);
ErrorCode koala_to_picture(const AmicaImage& image, C64Picture& picture);
ErrorCode picture_to_koala(const C64Picture& picture, KoalaImage& image);
ErrorCode picture_to_amica(const C64Picture& picture, AmicaImage& image);
ErrorCode hires_to_art_studio(const HiresPicture& picture, ArtStudioImage& image);
ErrorCode art_studio_to_hires(const ArtStudioImage& image, HiresPicture& picture);

// Every one of the n cell colours must be among the n allowed colours.
ErrorCode colours_in_set(const std::uint8_t* cell_colours, const std::uint8_t* allowed_colours, int n);

// Loads a Koala (format 0) or Amica (format 1) file into a multicolour picture.
ErrorCode load_multicolour_picture(const std::string& path, int format, C64Picture& picture);
// Loads an Art Studio file into a hires picture.
ErrorCode load_hires_picture(const std::string& path, HiresPicture& picture);
// The same, with the border colour the file stores (its low nybble).
ErrorCode load_hires_picture(const std::string& path, HiresPicture& picture, std::uint8_t& border);
// Writes a multicolour picture as a Koala (format 0) or Amica (format 1) file.
ErrorCode save_multicolour_picture(const std::string& path, int format, const C64Picture& picture);
// Writes a hires picture as an Art Studio file.
ErrorCode save_hires_picture(const std::string& path, const HiresPicture& picture);
