// The names and switches that zorbel declares, in the order of its command line.
#pragma once

#include "frame/errors.h"
#include "frame/switches.h"

ErrorCode declare_zorbel_switches(SwitchTable& table);
