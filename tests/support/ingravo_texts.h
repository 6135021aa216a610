// What ingravo prints in every run: its banner and its usage text.
#pragma once

#include <string>

inline const std::string INGRAVO_BANNER = "INGRAVO v1.0.0beta - converts a PCX image into a C64 picture\n";
inline const std::string INGRAVO_USAGE =
    "Usage: INGRAVO infile [outfile] [errorfile] [switches]\n"
    "\n"
    "switches are :\n"
    "-k   target picture in koala painter format  (multi-color bitmap) (default)\n"
    "-a   target picture in amica paint   format  (multi-color bitmap)\n"
    "-s   target picture in art studio    format  (hires       bitmap)\n"
    "-bNN backgound color for multi-color picture (default is the most used color)\n"
    "-?   display this help\n"
    "-cNN palette the png or gif image was drawn in, 0 to 26 (default: found from its colours)\n"
    "-f   fit: find multi-color or hires and the background from the picture\n"
    "-dN  convert a picture of any colours and size (photo, drawing): -d best, -d0 no dithering,\n"
    "     -d2 error diffusion alone; -cNN is then the palette to convert into (default 13)\n"
    "-w   with -d: keep the whole picture inside the screen (default: cover it, cropped)\n"
    "-vN  with -d: the view to convert for: -v0 a television or an emulator's CRT view (default),\n"
    "     -v1 crisp pixels (a screenshot, a PNG, an emulator with its filter off)\n";
