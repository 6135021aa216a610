// libpng's read and info structures, destroyed on every path; both PNG
// readers take them, each with its own error handling.
#pragma once

#include <png.h>

#include <csetjmp>

class PngReadStruct {
public:
    PngReadStruct(png_voidp error_pointer, png_error_ptr on_error, png_error_ptr on_warning)
        : png_(png_create_read_struct(PNG_LIBPNG_VER_STRING, error_pointer, on_error, on_warning)),
          info_(png_ != nullptr ? png_create_info_struct(png_) : nullptr) {}
    PngReadStruct(const PngReadStruct&) = delete;
    PngReadStruct& operator=(const PngReadStruct&) = delete;
    ~PngReadStruct() { png_destroy_read_struct(&png_, &info_, nullptr); }
    png_structp png() const { return png_; }
    png_infop info() const { return info_; }
    bool ready() const { return png_ != nullptr && info_ != nullptr; }
    // The end checks the last CRCs and that the file is whole; false when
    // the reader's error handler jumped out.
    bool read_end() {
        if (setjmp(png_jmpbuf(png_))) {
            return false;
        }
        png_read_end(png_, info_);
        return true;
    }

private:
    png_structp png_;
    png_infop info_;
};
