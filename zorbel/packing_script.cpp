#include "packing_script.h"

#include <algorithm>
#include <memory>

#include "frame/file_names.h"
#include "c64/picture.h"
#include "c64/picture_formats.h"
#include "script_reader.h"
#include "c64/sprite.h"

namespace {

constexpr std::uint32_t SPRITE_POINTERS = 256;

// Everything a script works on between its commands.
struct PackingRun {
    int output_format;
    std::unique_ptr<C64Picture> multicolour;  // M cuts from the last K or A picture
    std::unique_ptr<HiresPicture> hires;      // H cuts from the last S picture
    FileHandle record_store;
    FileHandle data_store;
    std::uint32_t running_value;  // sprite pointer (stock) or data offset (SuperCPU)
    std::uint32_t entry_count;
};

ErrorCode start_run(const PackingJob& job, PackingRun& run) {
    run.output_format = job.output_format;
    run.multicolour = std::make_unique<C64Picture>();
    run.multicolour->bitmap.fill(0);
    run.multicolour->screen.fill(0);
    run.multicolour->colour.fill(0);
    run.multicolour->background = 0;
    run.hires = std::make_unique<HiresPicture>();
    run.hires->bitmap.fill(0);
    run.hires->screen.fill(0);
    run.record_store = FileHandle(std::tmpfile());
    run.data_store = FileHandle(std::tmpfile());
    if (!run.record_store.is_open() || !run.data_store.is_open()) {
        return ERR_CREATE;
    }
    run.running_value =
        job.output_format == OUTPUT_FORMAT_STOCK ? (job.sprite_address / SPRITE_BLOCK_SIZE) % SPRITE_POINTERS : 0;
    run.entry_count = 0;
    return ERR_SUCCESS;
}

ErrorCode cut_grid(const PackingRun& run, const ScriptCommand& command, SpriteGrid& grid) {
    const auto& colours = command.colours;
    if (command.letter == 'H') {
        return cut_hires_sprites(*run.hires, command.x, command.y, command.w, command.h, colours[0], colours[1],
                                 grid.bytes);
    }
    return cut_multicolour_sprites(*run.multicolour, command.x, command.y, command.w, command.h, colours[0],
                                   colours[1], colours[2], colours[3], grid.bytes);
}

// The record goes to its store before the cut, the grid after it.
ErrorCode add_entry(PackingRun& run, const ScriptCommand& command) {
    const bool hires = command.letter == 'H';
    const SpriteGridShape shape =
        hires ? hires_grid_shape(command.w, command.h) : multicolour_grid_shape(command.w, command.h);
    const EntryValues entry{hires ? ENTRY_KIND_HIRES : ENTRY_KIND_MULTICOLOUR,
                            hires ? command.colours[1] : command.colours[2],
                            shape.columns,
                            shape.rows,
                            command.w,
                            command.h,
                            static_cast<std::uint16_t>(shape.size)};
    ErrorCode code = write_entry_record(run.record_store.get(), run.output_format, entry, run.running_value);
    if (code < 0) {
        return code;
    }
    // Only the bytes of this grid are cleared: the cut and the write use no more.
    const auto grid = std::make_unique_for_overwrite<SpriteGrid>();
    clear_grid(*grid, shape);
    if ((code = cut_grid(run, command, *grid)) < 0) {
        return code;
    }
    // A cut that succeeded fits the picture, so its grid fits the record.
    if (std::fwrite(grid->bytes.data(), 1, entry.size, run.data_store.get()) != entry.size) {
        return ERR_WRITE;
    }
    run.entry_count += 1;
    return ERR_SUCCESS;
}

// A listed extension chooses the format; the letter then only says which
// picture it replaces, and a format of the other mode is a script error.
ErrorCode load_picture(PackingRun& run, const std::string& name, int letter_format) {
    const int format = format_of_file_name(name, letter_format);
    const bool hires = picture_format_is_hires(format);
    if (hires != (letter_format == FORMAT_ART_STUDIO)) {
        return ERR_SCRIPT_PARAMETERS;
    }
    return hires ? load_hires_input(name, format, *run.hires) : load_multicolour_input(name, format, *run.multicolour);
}

ErrorCode execute_command(PackingRun& run, const ScriptCommand& command) {
    const std::string name = command.file_name.data();
    switch (command.letter) {
    case 'K':
        return load_picture(run, name, FORMAT_KOALA);
    case 'A':
        return load_picture(run, name, FORMAT_AMICA);
    case 'S':
        return load_picture(run, name, FORMAT_ART_STUDIO);
    default:
        return add_entry(run, command);
    }
}

ErrorCode execute_script(std::FILE* script, PackingRun& run) {
    const auto command = std::make_unique<ScriptCommand>();
    command->file_name.fill('\0');
    // The first command must be the first character: an empty script, or
    // white space before the first letter, is refused by the reader.
    while (std::feof(script) == 0) {
        ErrorCode code = read_script_command(script, *command);
        if (code < 0 || (code = execute_command(run, *command)) < 0) {
            return code;
        }
    }
    return ERR_SUCCESS;
}

}  // namespace

ErrorCode run_packing_script(const PackingJob& job) {
    PackingRun run{};
    ErrorCode code = start_run(job, run);
    if (code < 0) {
        return code;
    }
    FileHandle script = FileHandle::open(job.script_name, "r");
    if (!script.is_open()) {
        return ERR_OPEN;
    }
    if ((code = execute_script(script.get(), run)) < 0 ||
        (code = write_packed_outputs(run.record_store, run.data_store, run.entry_count, run.output_format,
                                     job.outputs)) < 0 ||
        (code = script.close()) < 0 || (code = run.record_store.close()) < 0) {
        return code;
    }
    return run.data_store.close();
}
