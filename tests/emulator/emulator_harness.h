// Runs a program in VICE's x64sc under a virtual X display, with stand-in
// ROMs made by the test (the real ones are not free), and takes the screen
// it shows after three million cycles.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "desktop/pcx.h"

constexpr int SCREEN_WIDTH = 384;   // the emulator's screenshot, border included
constexpr int SCREEN_HEIGHT = 272;
constexpr int PICTURE_LEFT = 32;     // where the 320 by 200 picture lies in it
constexpr int PICTURE_TOP = 35;
constexpr int EMULATOR_PALETTE = 5;  // our palette with the colours of VICE's pepto-pal

using Rgb = std::array<std::uint8_t, 3>;

struct Screen {
    std::vector<Rgb> pixels;  // SCREEN_WIDTH * SCREEN_HEIGHT, row by row
};

struct EmulatorRun {
    bool shown = false;      // a screenshot was taken and the CPU did not halt
    std::string failure;     // why not, with the emulator's log
    Screen screen;
};

// Empty when x64sc, xvfb-run and 64tass are all there, else what is missing.
std::string missing_emulator_tools();

// How the stand-in KERNAL leaves the machine before it starts the program.
enum class MachineState { as_kernal_leaves_it, untidy };

// Assembles the stand-in KERNAL and writes the BASIC and character ROMs
// into folder; an empty text on success, else what went wrong.
std::string make_standin_roms(const std::filesystem::path& folder, MachineState state);

// Loads the program (a .prg in folder) through the monitor, lets the stand-in
// KERNAL start it, and returns the screen.
EmulatorRun run_in_emulator(const std::filesystem::path& folder, const std::string& program);

// The screen a picture rendered into image should give: the border colour
// all round, the picture at PICTURE_LEFT, PICTURE_TOP, both in palette 5.
Screen expected_screen(const PixelImage& image, std::uint8_t border);

// Empty when the screens are equal, else the number of differing pixels and
// the first of them.
std::string compare_screens(const Screen& expected, const Screen& actual);
