#include "sprite_file.h"

#include <algorithm>
#include <memory>

#include "frame/file_names.h"
#include "c64/picture.h"
#include "c64/picture_formats.h"
#include "c64/sprite.h"

namespace {

ErrorCode cut_from_hires_file(const std::string& picture_path, const SpriteCutSettings& settings, SpriteGrid& grid) {
    const auto picture = std::make_unique<HiresPicture>();
    const ErrorCode code = load_hires_input(picture_path, settings.format, *picture);
    if (code < 0) {
        return code;
    }
    return cut_hires_sprites(*picture, settings.x, settings.y, settings.w, settings.h, settings.colours[0],
                             settings.colours[1], grid.bytes);
}

ErrorCode cut_from_multicolour_file(const std::string& picture_path, const SpriteCutSettings& settings,
                                    SpriteGrid& grid) {
    const auto picture = std::make_unique<C64Picture>();
    const ErrorCode code = load_multicolour_input(picture_path, settings.format, *picture);
    if (code < 0) {
        return code;
    }
    return cut_multicolour_sprites(*picture, settings.x, settings.y, settings.w, settings.h, settings.colours[0],
                                   settings.colours[1], settings.colours[2], settings.colours[3], grid.bytes);
}

}  // namespace

ErrorCode write_sprite_file(const std::string& picture_path, const std::string& sprite_path,
                            const SpriteCutSettings& settings) {
    const bool hires = picture_format_is_hires(settings.format);
    const SpriteGridShape shape =
        hires ? hires_grid_shape(settings.w, settings.h) : multicolour_grid_shape(settings.w, settings.h);
    // Only the bytes of this grid are cleared: the cut and the write use no more.
    const auto grid = std::make_unique_for_overwrite<SpriteGrid>();
    clear_grid(*grid, shape);
    const ErrorCode code = hires ? cut_from_hires_file(picture_path, settings, *grid)
                                 : cut_from_multicolour_file(picture_path, settings, *grid);
    if (code < 0) {
        return code;
    }
    return write_whole_file(sprite_path, grid->bytes.data(), shape.size);
}
