#include "remap.h"

#include <memory>

#include "c64/picture.h"
#include "c64/reencode.h"

namespace {

ErrorCode remap_multicolour(const std::string& input_path, const std::string& output_path, int format,
                            const SourceColours& sources) {
    const auto remapped = std::make_unique<C64Picture>();
    {
        const auto source = std::make_unique<C64Picture>();
        ErrorCode code = load_multicolour_picture(input_path, format, *source);
        if (code < 0) {
            return code;
        }
        MulticolourSlots slots = sources.colours;
        code = reencode_multicolour_picture(*source, *remapped, slots, MULTICOLOUR_SLOT_COUNT, colours_in_slots);
        if (code < 0) {
            return code;
        }
    }
    return save_multicolour_picture(output_path, format, *remapped);
}

ErrorCode remap_hires(const std::string& input_path, const std::string& output_path, const SourceColours& sources) {
    const auto remapped = std::make_unique<HiresPicture>();
    {
        const auto source = std::make_unique<HiresPicture>();
        ErrorCode code = load_hires_picture(input_path, *source);
        if (code < 0) {
            return code;
        }
        HiresSlots slots = {sources.colours[0], sources.colours[1]};
        code = reencode_hires_picture(*source, *remapped, slots, HIRES_SLOT_COUNT, colours_in_slots);
        if (code < 0) {
            return code;
        }
    }
    return save_hires_picture(output_path, *remapped);
}

}  // namespace

ErrorCode colours_in_slots(std::span<std::uint8_t> slots, std::span<const std::uint8_t> cell_colours) {
    if (slots.size() != cell_colours.size()) {
        return ERR_FUNCTION_PARAMETERS;
    }
    return colours_in_set(cell_colours.data(), slots.data(), static_cast<int>(slots.size()));
}

ErrorCode remap_picture(const std::string& input_path, const std::string& output_path, int format,
                        const SourceColours& sources) {
    if (format == FORMAT_ART_STUDIO) {
        return remap_hires(input_path, output_path, sources);
    }
    return remap_multicolour(input_path, output_path, format, sources);
}
