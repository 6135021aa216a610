// Decoded rows of a desktop picture on their way to the screen: each row's
// samples go to linear light through the file's colours, then to the scaler.
// Shared by the readers of every format.
#pragma once

#include <cstdint>
#include <vector>

#include "colour/colour_profile.h"
#include "convert/scaling.h"
#include "desktop/screen_source.h"
#include "frame/errors.h"

struct ScreenRows {
    ColourConversion conversion;
    ScreenScaler scaler;
    int width;                       // of the rows pushed, after orientation
    std::vector<float> linear;       // one row, four floats a pixel
    std::vector<std::uint8_t> gathered;  // one turned row of samples
};

// Prepares the conversion of rows width wide and the scaling of a picture of
// width x height (its size as shown, after orientation). A colour
// description that cannot be used: refusal, with source.problem saying why.
ErrorCode start_screen_rows(int width, int height, const SampleFormat& format, const ColourDescription& colours,
                            ScreenFit fit, ErrorCode refusal, ScreenImage& image, ScreenRows& rows,
                            ScreenSource& source);

// True when the scaler needs the next row at all.
bool next_screen_row_needed(const ScreenRows& rows);

// The next row's samples; mirrored puts them right to left.
void push_samples(ScreenRows& rows, const std::uint8_t* samples, bool mirrored = false);

// The next row, read as anything: a row the scaler does not need.
void skip_samples(ScreenRows& rows);

// A stored picture held whole, pushed as its EXIF orientation shows it.
void push_oriented_picture(ScreenRows& rows, const std::uint8_t* stored, int stored_width, int stored_height,
                           int orientation);

void finish_screen_rows(ScreenRows& rows);

// True when a row of width pixels can be streamed within the memory bound.
bool streamed_width_possible(std::size_t width, std::size_t bytes_per_pixel);
