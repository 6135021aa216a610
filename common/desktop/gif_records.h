// What both GIF readers share: the decoder's handle and the walk through
// the extensions up to the first image.
#pragma once

#include <gif_lib.h>

// giflib's decoder, reading through the given function, closed on every path.
class GifDecoder {
public:
    GifDecoder(void* source, InputFunc read) : gif_(DGifOpen(source, read, &error_)) {}
    GifDecoder(const GifDecoder&) = delete;
    GifDecoder& operator=(const GifDecoder&) = delete;
    ~GifDecoder() {
        if (gif_ != nullptr) {
            int ignored = 0;
            DGifCloseFile(gif_, &ignored);
        }
    }
    GifFileType* get() const { return gif_; }
    int error() const { return gif_ != nullptr ? gif_->Error : error_; }

private:
    int error_ = 0;
    GifFileType* gif_;
};

constexpr int NO_TRANSPARENCY = -1;

// Skips extensions up to the first image, keeping the transparent index of
// the last graphic control extension (NO_TRANSPARENCY when there is none,
// or when its block is malformed); found says whether an image follows.
// False on a decoding error.
bool find_first_image(GifFileType* gif, bool& found, int& transparent);
