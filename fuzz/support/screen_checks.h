// What every picture read onto the screen must be: colours and coverage
// within their bounds, colour no more than its coverage, transparency told
// right; and a refusal comes with its code and a line saying why.
#pragma once

#include <string>

#include "convert/screen_image.h"
#include "desktop/screen_source.h"
#include "frame/errors.h"

// Reads the scratch file in both fits with reader and checks the outcome.
void check_screen_reading(const std::string& input,
                          ErrorCode (*reader)(const std::string&, ScreenFit, ScreenImage&, ScreenSource&),
                          ErrorCode refusal);
