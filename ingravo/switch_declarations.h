// The names and switches that ingravo declares, in the order of its command line.
#pragma once

#include "frame/errors.h"
#include "frame/switches.h"

ErrorCode declare_ingravo_switches(SwitchTable& table);
