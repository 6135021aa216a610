// Writes the demo font: 256 characters of simple shapes (bars, frames,
// diagonals, discs, checkers), with a load address of $3000.
#include <cstdio>
#include <cstdlib>

namespace {

unsigned char shape_row(int character, int row) {
    const int variant = character & 7;
    switch (character >> 5) {
    case 0:  // rising bars
        return row >= 7 - variant ? 0xFF : 0x00;
    case 1:  // frames of varying thickness
        return (row <= variant % 4 || row >= 7 - variant % 4) ? 0xFF : static_cast<unsigned char>(0x81 | (variant << 2));
    case 2:  // diagonals
        return static_cast<unsigned char>((0x80 >> ((row + variant) & 7)) | (0x01 << ((row + character) & 7)));
    case 3: {  // discs growing with the character
        const int radius = 1 + variant % 4;
        unsigned char bits = 0;
        for (int x = 0; x < 8; ++x) {
            const int dx = 2 * x - 7;
            const int dy = 2 * row - 7;
            if (dx * dx + dy * dy <= 4 * radius * radius) {
                bits |= static_cast<unsigned char>(0x80 >> x);
            }
        }
        return bits;
    }
    case 4:  // checkers
        return ((row >> (variant % 3)) & 1) != 0 ? 0xAA : 0x55;
    case 5:  // stripes in multicolour pairs
        return static_cast<unsigned char>(0x1B << (variant % 4) | 0x1B >> (8 - variant % 4));
    case 6:  // the character number as a pattern
        return static_cast<unsigned char>(character ^ (row * 0x11));
    default:  // multicolour gradients
        return static_cast<unsigned char>((row + variant) % 4 * 0x55);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_demo_font file\n");
        return EXIT_FAILURE;
    }
    std::FILE* font = std::fopen(argv[1], "wb");
    if (font == nullptr) {
        std::perror(argv[1]);
        return EXIT_FAILURE;
    }
    std::fputc(0x00, font);
    std::fputc(0x30, font);
    for (int character = 0; character < 256; ++character) {
        for (int row = 0; row < 8; ++row) {
            std::fputc(shape_row(character, row), font);
        }
    }
    return std::fclose(font) == 0 ? EXIT_SUCCESS : EXIT_FAILURE;
}
