#include "picture_output.h"

#include <cstdio>

#include "runnable/runnable_program.h"

namespace {

ErrorCode save_picture(const std::string& path, int format, const C64Picture* multicolour, const HiresPicture* hires) {
    if (names_program_file(path)) {
        return hires != nullptr ? write_hires_program(path, *hires, 0) : write_multicolour_program(path, *multicolour);
    }
    return hires != nullptr ? save_hires_picture(path, *hires) : save_multicolour_picture(path, format, *multicolour);
}

}  // namespace

ErrorCode write_picture(const std::string& path, int format, const C64Picture* multicolour, const HiresPicture* hires) {
    const ErrorCode code = save_picture(path, format, multicolour, hires);
    if (code < 0) {
        return code;
    }
    std::printf("OK, C64 file generated.\n");
    return ERR_SUCCESS;
}
