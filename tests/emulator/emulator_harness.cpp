#include "emulator_harness.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include <png.h>
#include <unistd.h>

#include "c64/pixel.h"
#include "run_program.h"

namespace fs = std::filesystem;

namespace {

const char* const KERNAL_FILE = "kernal.bin";
const char* const BASIC_FILE = "basic.bin";
const char* const CHARACTERS_FILE = "chargen.bin";
const char* const SCREENSHOT_FILE = "screen.png";
const char* const LOG_FILE = "emulator.log";

std::string quoted(const std::string& text) {
    std::string result = "'";
    for (const char c : text) {
        result += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return result + "'";
}

bool is_program(const char* path) {
    return path[0] != '\0' && ::access(path, X_OK) == 0;
}

std::string text_of(const fs::path& path) {
    std::ifstream stream(path, std::ios::binary);
    std::ostringstream text;
    text << stream.rdbuf();
    return text.str();
}

// VICE's settings dump names the JAM action too; a halted CPU shows as
// "JAM at $xxxx".
bool cpu_halted(const std::string& log) {
    return log.find("JAM at") != std::string::npos;
}

bool read_screenshot(const fs::path& path, Screen& screen, std::string& failure) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (png_image_begin_read_from_file(&image, path.c_str()) == 0) {
        failure = "no readable screenshot";
        return false;
    }
    if (image.width != SCREEN_WIDTH || image.height != SCREEN_HEIGHT) {
        png_image_free(&image);
        failure = "a screenshot of " + std::to_string(image.width) + " by " + std::to_string(image.height);
        return false;
    }
    image.format = PNG_FORMAT_RGB;
    screen.pixels.assign(static_cast<std::size_t>(SCREEN_WIDTH * SCREEN_HEIGHT), Rgb{});
    if (png_image_finish_read(&image, nullptr, screen.pixels.data(), 0, nullptr) == 0) {
        failure = std::string("the screenshot does not decode: ") + image.message;
        return false;
    }
    return true;
}

Rgb palette_colour(std::uint8_t colour) {
    const auto& entry = c64_palettes[EMULATOR_PALETTE][colour & 0x0F];
    return {entry[0], entry[1], entry[2]};
}

}  // namespace

std::string missing_emulator_tools() {
    std::string missing;
    const std::array<std::array<const char*, 2>, 3> tools = {
        {{"x64sc", X64SC_PROGRAM}, {"xvfb-run", XVFB_RUN_PROGRAM}, {"64tass", TASS_PROGRAM}}};
    for (const auto& [name, path] : tools) {
        if (!is_program(path)) {
            missing += std::string(missing.empty() ? "" : ", ") + name;
        }
    }
    return missing;
}

std::string make_standin_roms(const fs::path& folder, MachineState state) {
    const std::string untidy = state == MachineState::untidy ? "1" : "0";
    const std::string command = quoted(TASS_PROGRAM) + " --quiet --nostart -D UNTIDY=" + untidy + " -o " +
                                quoted((folder / KERNAL_FILE).string()) + " " +
                                quoted(std::string(EMULATOR_SOURCE_DIR) + "/standin_kernal.asm") + " > " +
                                quoted((folder / "kernal.log").string()) + " 2>&1";
    if (std::system(command.c_str()) != 0 || fs::file_size(folder / KERNAL_FILE) != 8192) {
        return "the stand-in KERNAL does not assemble to 8 KB:\n" + text_of(folder / "kernal.log");
    }
    // Every BASIC byte halts the CPU: the program must not call BASIC.
    write_bytes(folder / BASIC_FILE, std::vector<std::uint8_t>(8192, 0x02));
    write_bytes(folder / CHARACTERS_FILE, std::vector<std::uint8_t>(4096, 0x00));
    return "";
}

EmulatorRun run_in_emulator(const fs::path& folder, const std::string& program) {
    EmulatorRun run;
    // The monitor's commands run at some early cycle: the flag tells the
    // stand-in KERNAL that the program is in memory.
    std::ofstream(folder / "monitor.txt") << "l \"" << program << "\" 0\n> 2 a5 5a\nx\n";
    fs::remove(folder / SCREENSHOT_FILE);
    // Parallel tests start their X servers at different numbers.
    const std::string server_number = std::to_string(100 + ::getpid() % 5000);
    const std::string command =
        "cd " + quoted(folder.string()) + " && " + quoted(XVFB_RUN_PROGRAM) + " -a -n " + server_number + " " +
        quoted(X64SC_PROGRAM) + " -default -kernal " + KERNAL_FILE + " -basic " + BASIC_FILE + " -chargen " +
        CHARACTERS_FILE +
        " -drive8type 0 -sounddev dummy -warp -limitcycles 3000000 -jamaction 5 -VICIIfilter 0 -VICIIextpal"
        " -VICIIpalette pepto-pal.vpl -moncommands monitor.txt -exitscreenshot " +
        SCREENSHOT_FILE + " > " + LOG_FILE + " 2>&1";
    // x64sc ends with status 1 at the cycle limit: the screen and the log judge.
    [[maybe_unused]] const int status = std::system(command.c_str());
    const std::string log = text_of(folder / LOG_FILE);
    std::string failure;
    if (cpu_halted(log)) {
        run.failure = "the CPU halted (JAM)";
    } else if (!read_screenshot(folder / SCREENSHOT_FILE, run.screen, failure)) {
        run.failure = failure;
    } else {
        run.shown = true;
        return run;
    }
    run.failure += "; the emulator's log:\n" + log;
    return run;
}

Screen expected_screen(const PixelImage& image, std::uint8_t border) {
    Screen screen;
    screen.pixels.assign(static_cast<std::size_t>(SCREEN_WIDTH * SCREEN_HEIGHT), palette_colour(border));
    for (int y = 0; y < IMAGE_HEIGHT; ++y) {
        for (int x = 0; x < IMAGE_WIDTH; ++x) {
            const std::uint8_t colour = image.pixels[static_cast<std::size_t>(y * IMAGE_WIDTH + x)];
            screen.pixels[static_cast<std::size_t>((y + PICTURE_TOP) * SCREEN_WIDTH + x + PICTURE_LEFT)] =
                palette_colour(colour);
        }
    }
    return screen;
}

std::string compare_screens(const Screen& expected, const Screen& actual) {
    if (expected.pixels.size() != actual.pixels.size()) {
        return "screens of different sizes";
    }
    std::size_t differing = 0;
    std::string first;
    for (std::size_t at = 0; at < expected.pixels.size(); ++at) {
        if (expected.pixels[at] == actual.pixels[at]) continue;
        if (differing++ == 0) {
            char text[120];
            const Rgb& want = expected.pixels[at];
            const Rgb& got = actual.pixels[at];
            std::snprintf(text, sizeof text, "first at x %zu y %zu: %02X%02X%02X expected, %02X%02X%02X shown",
                          at % SCREEN_WIDTH, at / SCREEN_WIDTH, want[0], want[1], want[2], got[0], got[1], got[2]);
            first = text;
        }
    }
    return differing == 0 ? "" : std::to_string(differing) + " pixels differ, " + first;
}
