// zorbel's packing script on any bytes: the commands, the loads, the cuts
// and both packed outputs. The first byte chooses the output format and the
// sprite address; the rest is the script.
//
// Scripts name the pictures k.koa, a.ami and s.art (and anything else the
// fuzzer finds); the target works in its scratch folder, where it writes
// those three first. So the corpus folders and -artifact_prefix must be
// given as absolute paths (fuzz/run.sh does).
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include "c64/picture.h"
#include "fuzz_scratch.h"
#include "zorbel/packing_script.h"

namespace {

// Every cell: background 0, bits 01 colour 1, 10 colour 2, 11 colour 5, as
// in the demo pictures; hires cells bit 0 colour 14, bit 1 colour 6.
void write_pictures() {
    const auto multicolour = std::make_unique<C64Picture>();
    for (std::size_t i = 0; i < multicolour->bitmap.size(); ++i) {
        multicolour->bitmap[i] = static_cast<std::uint8_t>(i * 7);
    }
    multicolour->screen.fill(0x12);
    multicolour->colour.fill(0x05);
    multicolour->background = 0;
    const auto hires = std::make_unique<HiresPicture>();
    hires->bitmap = multicolour->bitmap;
    hires->screen.fill(0x6E);
    if (save_multicolour_picture("k.koa", FORMAT_KOALA, *multicolour) < 0 ||
        save_multicolour_picture("a.ami", FORMAT_AMICA, *multicolour) < 0 || save_hires_picture("s.art", *hires) < 0) {
        fuzz_check_failed("the pictures of the scripts cannot be written");
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    std::filesystem::current_path(scratch_folder());
    write_pictures();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    PackingJob job{};
    job.script_name = write_scratch_file("in.zbs", data + 1, size - 1);
    job.output_format = (data[0] & 1) != 0 ? OUTPUT_FORMAT_SUPERCPU : OUTPUT_FORMAT_STOCK;
    job.sprite_address = static_cast<std::uint16_t>((data[0] >> 1) * 517);
    job.outputs.definitions = scratch_path("out.def");
    job.outputs.sprites = scratch_path("out.spr");
    job.outputs.image = scratch_path("out.img");
    run_packing_script(job);
    return 0;
}
