// -d: any picture, of any colours and size, converted into a legal C64
// picture in the palette of -c.
#pragma once

#include "frame/errors.h"
#include "import_pcx.h"

ErrorCode convert_any_picture(const ImportRequest& request);
