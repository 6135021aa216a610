// The first picture: serpentine Floyd-Steinberg error diffusion in linear
// light, each dot taking the nearest (perceptually) of its cell's colours, so
// that error crosses cell borders; the error a dot carries on is bounded, so
// that colours its cell cannot show do not pile up error downstream.
#pragma once

#include "convert/cell_colours.h"
#include "convert/dot_grid.h"

struct DiffusionSettings {
    bool diffuse;        // false: each dot takes the nearest of its cell's colours
    float error_limit;   // bound of each channel of the error a dot passes on
};

void diffuse_error(const DotGrid& grid, const CellColourSets& sets, const DiffusionSettings& settings,
                   DotColours& dots);
