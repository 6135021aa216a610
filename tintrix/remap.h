// Rewrites a picture so that each of its colours comes from the colour source
// the user assigns to it, the same in every cell.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

#include "frame/errors.h"

// The colours of -0 to -3: slot v is drawn by pattern value v (hires: -0 and
// -1 only).
struct SourceColours {
    std::array<std::uint8_t, 4> colours;
};

// Reads the picture, re-encodes it with every slot fixed and writes it in the
// same format. A cell that shows a colour outside the slots, or a multicolour
// background byte outside them, gives ERR_PARAMETERS and no output.
ErrorCode remap_picture(const std::string& input_path, const std::string& output_path, int format,
                        const SourceColours& sources);

// The slot policy: every colour the cell shows must be one of the slots.
ErrorCode colours_in_slots(std::span<std::uint8_t> slots, std::span<const std::uint8_t> cell_colours);
