#include "desktop/exif_orientation.h"

#include <cstring>

namespace {

constexpr std::uint8_t EXIF_HEADER[6] = {'E', 'x', 'i', 'f', 0, 0};
constexpr unsigned ORIENTATION_TAG = 0x0112;
constexpr unsigned SHORT_TYPE = 3;
constexpr std::size_t ENTRY_BYTES = 12;

struct TiffData {
    const std::uint8_t* bytes;
    std::size_t size;
    bool big_endian;
};

unsigned read_16(const TiffData& tiff, std::size_t at) {
    const std::uint8_t* p = tiff.bytes + at;
    return tiff.big_endian ? (p[0] << 8 | p[1]) : (p[1] << 8 | p[0]);
}

std::uint32_t read_32(const TiffData& tiff, std::size_t at) {
    const std::uint8_t* p = tiff.bytes + at;
    return tiff.big_endian ? (std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3])
                           : (std::uint32_t{p[3]} << 24 | std::uint32_t{p[2]} << 16 | std::uint32_t{p[1]} << 8 | p[0]);
}

}  // namespace

int exif_orientation(const std::uint8_t* payload, std::size_t size) {
    if (size < sizeof EXIF_HEADER + 8 || std::memcmp(payload, EXIF_HEADER, sizeof EXIF_HEADER) != 0) {
        return 1;
    }
    TiffData tiff{payload + sizeof EXIF_HEADER, size - sizeof EXIF_HEADER, false};
    if (std::memcmp(tiff.bytes, "MM", 2) == 0) {
        tiff.big_endian = true;
    } else if (std::memcmp(tiff.bytes, "II", 2) != 0) {
        return 1;
    }
    if (read_16(tiff, 2) != 42) {
        return 1;
    }
    const std::uint32_t directory = read_32(tiff, 4);
    if (directory > tiff.size - 2) {
        return 1;
    }
    const unsigned entries = read_16(tiff, directory);
    for (unsigned entry = 0; entry < entries; ++entry) {
        const std::size_t at = directory + 2 + static_cast<std::size_t>(entry) * ENTRY_BYTES;
        if (at + ENTRY_BYTES > tiff.size) {
            return 1;
        }
        if (read_16(tiff, at) == ORIENTATION_TAG) {
            if (read_16(tiff, at + 2) != SHORT_TYPE || read_32(tiff, at + 4) != 1) {
                return 1;
            }
            const unsigned orientation = read_16(tiff, at + 8);
            return orientation >= 1 && orientation <= 8 ? static_cast<int>(orientation) : 1;
        }
    }
    return 1;
}
