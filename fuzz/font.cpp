// typolan's font reader and layout on any bytes. The first byte chooses the
// picture format and the colours; the rest is the font file.
#include <cstdint>

#include "c64/picture.h"
#include "fuzz_scratch.h"
#include "typolan/font_layout.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const int format = data[0] % 3;
    FontColours colours{};
    for (std::size_t i = 0; i < colours.colours.size(); ++i) {
        colours.colours[i] = static_cast<std::uint8_t>((data[0] >> i) & 0x0F);
    }
    const std::string font = write_scratch_file("in.fnt", data + 1, size - 1);
    const std::string picture = scratch_path(std::string("out.") + picture_extensions[format]);
    if (lay_font_out(font, picture, format, colours) < 0) {
        fuzz_check_failed("a readable font is refused");
    }
    return 0;
}
