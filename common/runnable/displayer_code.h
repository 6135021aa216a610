// The displayers of runnable pictures, assembled by the build from
// displayer.asm: the bytes from $0801 on (BASIC line and code), without a
// load address.
#pragma once

#include <cstddef>
#include <cstdint>

struct DisplayerCode {
    const std::uint8_t* bytes;
    std::size_t size;
};

extern const DisplayerCode multicolour_displayer;
extern const DisplayerCode hires_displayer;
