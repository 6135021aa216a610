// Copies a PCX image with seven cells of row 23 spoiled the ways ingravo's
// multicolour check knows, so that cell 1 + 2 * (v - 1) fails with value v:
// 1 four colours beside the background, 2 a pair of unequal pixels, 4 a pair
// of pixel value 16, which is no C64 colour. Each cell is cleared to colour
// 0 first, the background the demo gives ingravo, so that whatever the
// picture showed there, the cell fails in exactly the way meant.
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "desktop/pcx.h"

namespace {

// In the demo scene these cells lie in the black hill at the bottom left,
// where every error colour shows.
constexpr int SPOILED_ROW = 23;
constexpr int FIRST_COLUMN = 1;
constexpr int COLUMN_STEP = 2;
constexpr int NO_C64_COLOUR = 16;

void put(PixelImage& image, int column, int x, int y, int value) {
    const int left = column * 8 + x;
    const int top = SPOILED_ROW * 8 + y;
    image.pixels[static_cast<std::size_t>(top * IMAGE_WIDTH + left)] = static_cast<std::uint8_t>(value);
}

void spoil_cell(PixelImage& image, int column, int error_value) {
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) put(image, column, x, y, 0);
    }
    if ((error_value & 1) != 0) {
        for (int pair = 0; pair < 4; ++pair) {  // colours 1, 2, 3, 4: five with the background
            put(image, column, 2 * pair, 0, pair + 1);
            put(image, column, 2 * pair + 1, 0, pair + 1);
        }
    }
    if ((error_value & 2) != 0) {
        put(image, column, 3, 7, 1);  // its left neighbour stays background
    }
    if ((error_value & 4) != 0) {
        put(image, column, 4, 4, NO_C64_COLOUR);
        put(image, column, 5, 4, NO_C64_COLOUR);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: spoil_cells in.pcx out.pcx\n");
        return EXIT_FAILURE;
    }
    const auto image = std::make_unique<PixelImage>();
    ErrorCode code = pcx_read(argv[1], *image);
    if (code < 0) {
        std::fprintf(stderr, "spoil_cells: cannot read %s (%d)\n", argv[1], code);
        return EXIT_FAILURE;
    }
    for (int value = 1; value <= 7; ++value) {
        spoil_cell(*image, FIRST_COLUMN + COLUMN_STEP * (value - 1), value);
    }
    if ((code = pcx_write(*image, argv[2])) < 0) {
        std::fprintf(stderr, "spoil_cells: cannot write %s (%d)\n", argv[2], code);
        return EXIT_FAILURE;
    }
    return EXIT_SUCCESS;
}
