#include "switch_declarations.h"

#include "convert/photo_conversion.h"
#include "palettes/palette_library.h"

ErrorCode declare_ingravo_switches(SwitchTable& table) {
    ErrorCode code = ERR_SUCCESS;
    if ((code = declare_file_name(table)) < 0 || (code = declare_file_name(table)) < 0 ||
        (code = declare_file_name(table)) < 0 || (code = declare_picture_format_switches(table)) < 0 ||
        (code = declare_number_switch(table, 'b', 0, 15)) < 0 ||
        (code = declare_number_switch(table, 'c', 0, LIBRARY_PALETTE_COUNT - 1)) < 0 ||
        (code = declare_string_switch(table, 'f')) < 0 || (code = declare_string_switch(table, 'd')) < 0 ||
        (code = declare_string_switch(table, 'w')) < 0 || (code = declare_number_switch(table, 'v', 0, VIEW_COUNT - 1)) < 0) {
        return code;
    }
    return ERR_SUCCESS;
}
