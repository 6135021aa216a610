// A picture of any size brought onto the 320 by 200 screen, in linear light
// with premultiplied coverage: rows are pushed one at a time, top to bottom,
// so that a large picture is never held whole.
#pragma once

#include <cstdint>
#include <vector>

#include "convert/screen_image.h"
#include "frame/errors.h"

enum class ScalingMethod {
    copy,          // exactly 320 by 200: taken as it is
    double_width,  // exactly 160 by 200: a multicolour screen, each pixel twice
    shrink,        // area averaging, each source pixel weighed by the part of a screen pixel it covers
    enlarge,       // Catmull-Rom interpolation, separable
};

// Where the picture lies on the screen: one uniform scale, the picture's
// scaled edges at screen coordinates left and top (negative when cropped).
struct ScreenPlacement {
    ScalingMethod method;
    double scale;
    double left;
    double top;
    int source_width;
    int source_height;
};

// The placement of a picture of this size. Cover fills the screen with
// max(320 / width, 200 / height), contain keeps it whole with the smaller of
// the two; both centre it. Width and height must be positive.
ScreenPlacement place_on_screen(int width, int height, ScreenFit fit);

// The scaler's state: O(width) for shrinking; for enlarging, the few source
// pixels the screen shows.
struct ScreenScaler {
    ScreenPlacement placement;
    ScreenImage* image;
    int next_row;
    // Shrinking: per source column, the first screen column it falls in and
    // its weights there and in the next one; the screen row being summed.
    std::vector<std::int16_t> column_target;
    std::vector<float> column_weights;  // two per source column
    std::vector<float> screen_row;      // 320 pixels of red, green, blue, coverage
    // Enlarging: the source window [first_column, last_column] x [first_row,
    // last_row] the interpolation reads, held whole.
    int first_column;
    int last_column;
    int first_row;
    int last_row;
    std::vector<float> window;
};

// Clears image and prepares scaler for a picture of this size. Width and
// height must be positive (else ERR_FUNCTION_PARAMETERS); ERR_ALLOCATION
// when the work rows cannot be had.
ErrorCode start_screen_scaling(int width, int height, ScreenFit fit, ScreenImage& image, ScreenScaler& scaler);

// False for a source row no screen pixel depends on (cropped away), which
// need not be decoded into colours: it may be pushed as anything, or skipped
// with skip_screen_row.
bool screen_row_needed(const ScreenScaler& scaler, int row);

// The next source row: width pixels of linear red, green, blue premultiplied
// by coverage, and coverage, each 0 to 1.
void push_screen_row(ScreenScaler& scaler, const float* rgba);
void skip_screen_row(ScreenScaler& scaler);

// After the last row: the enlargement is computed, values are brought within
// their bounds and has_transparency is set.
void finish_screen_scaling(ScreenScaler& scaler);

// EXIF orientation 1 to 8: the displayed size of a stored picture, and the
// stored pixel shown at displayed (x, y).
bool orientation_swaps_sides(int orientation);
void stored_position(int orientation, int stored_width, int stored_height, int x, int y, int& stored_x,
                     int& stored_y);
