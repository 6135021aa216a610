// The names and switches that zorbel declares, in the order of its command line.
#pragma once

#include "errors.h"
#include "switches.h"

ErrorCode declare_zorbel_switches(SwitchTable& table);
