// Desktop images written by name: PNG when the name's extension is "png" in
// any case, PCX otherwise. Read by their first bytes: PNG and GIF by their
// signatures, whatever the name, PCX otherwise.
#pragma once

#include <string>

#include "frame/errors.h"
#include "identify/colour_reading.h"
#include "desktop/pcx.h"
#include "identify/picture_framing.h"

class OutputBatch;

bool names_png_file(const std::string& path);

// The file appears whole or not at all (output_file.h); with a batch, only
// when the batch is committed.
ErrorCode desktop_image_write(const PixelImage& image, const std::string& path, OutputBatch* batch = nullptr);

// JPEG and WebP are recognised so that the readers of C64 colours can refuse
// them (a lossy file never holds them exactly); the conversion reads them.
enum class DesktopImageKind { pcx, png, gif, jpeg, webp };

// The reader a file needs. A file that cannot be read goes to the PCX reader,
// which reports why.
DesktopImageKind desktop_image_kind(const std::string& path);

// Reads a PNG or GIF picture as colours (png_file.h, gif_file.h); framing says
// why one is refused.
ErrorCode desktop_colour_image_read(const std::string& path, DesktopImageKind kind, bool multicolour,
                                    ColourImage& image, PictureFraming& framing);
