#include "switch_declarations.h"

ErrorCode declare_emblex_switches(SwitchTable& table) {
    ErrorCode code = ERR_SUCCESS;
    for (int name = 0; name < LOGO_FILE_NAMES; ++name) {
        if ((code = declare_file_name(table)) < 0) {
            return code;
        }
    }
    if ((code = declare_number_switch(table, '0', 0, 15)) < 0 ||
        (code = declare_number_switch(table, '1', 0, 15)) < 0 ||
        (code = declare_number_switch(table, '2', 0, 15)) < 0 || (code = declare_picture_format_switches(table)) < 0) {
        return code;
    }
    return ERR_SUCCESS;
}
