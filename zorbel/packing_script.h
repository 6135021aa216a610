// Runs a packing script: loads pictures, cuts sprite grids and packs them.
#pragma once

#include <cstdint>
#include <string>

#include "frame/errors.h"
#include "packed_outputs.h"

struct PackingJob {
    std::string script_name;
    OutputNames outputs;
    int output_format;  // OUTPUT_FORMAT_STOCK or OUTPUT_FORMAT_SUPERCPU
    std::uint16_t sprite_address;  // stock format only
};

// Executes the whole script before any output file is created, so a script
// that fails leaves the outputs untouched.
ErrorCode run_packing_script(const PackingJob& job);
