// The names and switches that ingravo declares, in the order of its command line.
#pragma once

#include "errors.h"
#include "switches.h"

ErrorCode declare_ingravo_switches(SwitchTable& table);
