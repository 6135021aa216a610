// The names and switches that emblex declares, in the order of its command line.
#pragma once

#include "frame/errors.h"
#include "frame/switches.h"

constexpr int LOGO_FILE_NAMES = 4;  // the picture and the three outputs

ErrorCode declare_emblex_switches(SwitchTable& table);
