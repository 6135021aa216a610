// Converts a C64 picture file into a PCX or PNG image, or into a runnable
// program when the output name ends in ".prg".
#pragma once

#include <string>

#include "frame/errors.h"

// format: 0 Koala, 1 Amica, 2 Art Studio or a table format (picture_formats.h);
// palette: a number of the palette library (palettes/palette_library.h).
ErrorCode export_picture(const std::string& picture_path, const std::string& pcx_path, int format, int palette);
