// Writes the demo scene as a 320 by 200 PCX of C64 colour numbers, each
// multicolour pixel twice; "boat" adds a sailing boat, an edited copy.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "demo_scene.h"

int main(int argc, char** argv) {
    const bool with_boat = argc == 3 && std::strcmp(argv[2], "boat") == 0;
    if (argc != 2 && !with_boat) {
        std::fprintf(stderr, "usage: make_demo_scene file.pcx [boat]\n");
        return EXIT_FAILURE;
    }
    const auto canvas = std::make_unique<SceneCanvas>();
    const auto image = std::make_unique<PixelImage>();
    ErrorCode code = draw_demo_scene(with_boat, *canvas);
    if (code >= 0) code = widen_scene(*canvas, *image);
    if (code >= 0) code = pcx_write(*image, argv[1]);
    if (code < 0) {
        std::fprintf(stderr, "make_demo_scene: cannot write %s (%d)\n", argv[1], code);
        return EXIT_FAILURE;
    }
    return EXIT_SUCCESS;
}
