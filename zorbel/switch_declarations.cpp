#include "switch_declarations.h"

ErrorCode declare_zorbel_switches(SwitchTable& table) {
    ErrorCode code = ERR_SUCCESS;
    if ((code = declare_file_name(table)) < 0 || (code = declare_file_name(table)) < 0 ||
        (code = declare_file_name(table)) < 0 || (code = declare_string_switch(table, 'c')) < 0 ||
        (code = declare_string_switch(table, 's')) < 0 || (code = declare_number_switch(table, 'a', 0, 65535)) < 0) {
        return code;
    }
    return ERR_SUCCESS;
}
