// The orientation a camera records in a picture's EXIF data.
#pragma once

#include <cstddef>
#include <cstdint>

// EXIF orientation 1 to 8 (1: as stored; 6: to be turned 90 degrees
// clockwise; 3: 180 degrees; 8: 270 degrees; 2, 4, 5, 7: mirrored) from an
// APP1 payload that starts with "Exif\0\0" and its TIFF header. 1 when there
// is no orientation, or the data is not whole or not EXIF.
int exif_orientation(const std::uint8_t* payload, std::size_t size);
