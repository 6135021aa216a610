// zorbel: runs a packing script that cuts sprite grids out of C64 pictures
// and packs them for a stock C64 or a SuperCPU machine.
#include <cstdio>
#include <memory>
#include <string>

#include "frame/errors.h"
#include "frame/file_names.h"
#include "packing_script.h"
#include "switch_declarations.h"
#include "frame/switches.h"

namespace {

void print_usage() {
    std::printf("Usage: ZORBEL infile [outfiles] [switches]\n");
    std::printf("\n");
    std::printf("switches are :\n");
    std::printf("-c      images in stock machine format (default)\n");
    std::printf("-s      images in supercpu format\n");
    std::printf("-aNNNNN adress of sprites if stock machine format\n");
    std::printf("-?      display this help\n");
}

ErrorCode read_job(const SwitchTable& table, PackingJob& job) {
    job.output_format = switch_given(table, 's') ? OUTPUT_FORMAT_SUPERCPU : OUTPUT_FORMAT_STOCK;
    ErrorCode code = get_file_name(table, 1, "zbs", job.script_name);
    if (code < 0) {
        return code;
    }
    if (job.output_format == OUTPUT_FORMAT_SUPERCPU) {
        code = get_output_file_name(table, 2, 1, "img", job.outputs.image);
    } else if ((code = get_output_file_name(table, 2, 1, "def", job.outputs.definitions)) >= 0) {
        code = get_output_file_name(table, 3, 1, "spr", job.outputs.sprites);
    }
    if (code < 0) {
        return code;
    }
    job.sprite_address = 0;
    return read_number_switch(table, 'a', job.sprite_address);
}

// A derived output name can equal the script's (zorbel x.spr derives the
// sprite file x.spr), and equal outputs would overwrite each other.
bool names_collide(const PackingJob& job) {
    if (job.output_format == OUTPUT_FORMAT_SUPERCPU) {
        return job.outputs.image == job.script_name;
    }
    return job.outputs.definitions == job.script_name || job.outputs.sprites == job.script_name ||
           job.outputs.definitions == job.outputs.sprites;
}

ErrorCode tool_main(int argc, char** argv) {
    auto table = std::make_unique<SwitchTable>();
    ErrorCode code = read_command_line(*table, declare_zorbel_switches, argc, argv);
    if (code < 0) {
        return code;
    }
    if (table->name_count < 1 || (switch_given(*table, 'c') && switch_given(*table, 's'))) {
        return ERR_PARAMETERS;
    }
    PackingJob job{};
    if ((code = read_job(*table, job)) < 0) {
        return code;
    }
    table.reset();
    if (names_collide(job)) {
        return ERR_SAME_FILE_NAMES;
    }
    if ((code = run_packing_script(job)) < 0) {
        return code;
    }
    print_ended_process();
    return ERR_SUCCESS;
}

}  // namespace

int main(int argc, char** argv) {
    const ToolDescription tool{"ZORBEL v0.9.0 - packs sprites cut from C64 pictures", tool_main, print_usage};
    return run_tool(argc, argv, tool);
}
