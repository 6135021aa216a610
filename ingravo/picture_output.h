// The picture a run writes, whichever way it was made.
#pragma once

#include <string>

#include "c64/picture.h"
#include "frame/errors.h"

// Writes the hires picture when one is given, else the multicolour one: a
// runnable program when the name's extension is "prg" (hires with a black
// border, as the Art Studio file would show), else the file of the format;
// then says so.
ErrorCode write_picture(const std::string& path, int format, const C64Picture* multicolour, const HiresPicture* hires);
