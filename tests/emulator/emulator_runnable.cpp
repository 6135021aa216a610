// Runnable programs shown by an emulated C64: the screen must be the picture
// as the suite renders it, pixel for pixel, border included. Without the
// emulator the tests are skipped, never passed; under CI they must run.
#include <cstdlib>
#include <memory>
#include <string>

#include "emulator_harness.h"
#include "desktop/png_file.h"
#include "run_program.h"
#include "runnable/runnable_program.h"
#include "test_pictures.h"

namespace {

class Emulator : public ToolTest {
protected:
    void SetUp() override {
        ToolTest::SetUp();
        const std::string missing = missing_emulator_tools();
        if (!missing.empty()) {
            const char* ci = std::getenv("CI");
            if (ci != nullptr && std::string(ci) == "true") {
                FAIL() << "CI must run the emulator tests, but these are missing: " << missing;
            }
            GTEST_SKIP() << "not installed: " << missing;
        }
        ASSERT_EQ(make_standin_roms(folder, MachineState::as_kernal_leaves_it), "");
    }

    // The displayer must set every register it relies on: bank, modes,
    // addresses, sprites.
    void untidy_machine() const { ASSERT_EQ(make_standin_roms(folder, MachineState::untidy), ""); }

    void expect_shown(const std::string& program, const PixelImage& image, std::uint8_t border) const {
        const EmulatorRun run = run_in_emulator(folder, program);
        ASSERT_TRUE(run.shown) << run.failure;
        EXPECT_EQ(compare_screens(expected_screen(image, border), run.screen), "") << program;
    }
};

// The first 256 cells hold every pair of screen-memory nybbles and every
// colour-memory colour, with all four bit pairs in each of their lines; the
// rest is random.
std::unique_ptr<C64Picture> multicolour_picture_of_every_colour(std::uint32_t seed, std::uint8_t background) {
    auto picture = random_multicolour_picture(seed, background);
    for (std::size_t cell = 0; cell < 256; ++cell) {
        picture->screen[cell] = static_cast<std::uint8_t>(cell);
        picture->colour[cell] = static_cast<std::uint8_t>((cell + seed) & 0x0F);
        for (std::size_t line = 0; line < 8; ++line) {
            picture->bitmap[cell * 8 + line] = static_cast<std::uint8_t>(line % 2 == 0 ? 0x1B : 0xE4);
        }
    }
    return picture;
}

std::unique_ptr<HiresPicture> hires_picture_of_every_colour(std::uint32_t seed) {
    auto picture = random_hires_picture(seed);
    for (std::size_t cell = 0; cell < 256; ++cell) {
        picture->screen[cell] = static_cast<std::uint8_t>(cell);
        for (std::size_t line = 0; line < 8; ++line) {
            picture->bitmap[cell * 8 + line] = static_cast<std::uint8_t>(line % 2 == 0 ? 0x5A : 0xA5);
        }
    }
    return picture;
}

class EmulatorBackground : public Emulator, public ::testing::WithParamInterface<int> {};

// One run a background: it is also the border, so every colour is shown in
// both, and every colour in the three other roles in each run.
TEST_P(EmulatorBackground, KoalaPictureRunsAsWritten) {
    const auto background = static_cast<std::uint8_t>(GetParam());
    const auto picture = multicolour_picture_of_every_colour(200 + background, background);
    ASSERT_EQ(save_multicolour_picture(file("pic.koa").string(), FORMAT_KOALA, *picture), 0);
    ASSERT_EQ(run("exgravo", {"pic.koa", "pic.prg"}).status, 0);
    expect_shown("pic.prg", *rendered(*picture, EMULATOR_PALETTE), background);
}

INSTANTIATE_TEST_SUITE_P(EveryColour, EmulatorBackground, ::testing::Range(0, 16));

// The border comes from the Art Studio file and is unlike the colours the
// stand-in KERNAL leaves.
TEST_F(Emulator, ArtStudioPictureRunsWithItsBorder) {
    untidy_machine();
    const auto picture = hires_picture_of_every_colour(300);
    ASSERT_EQ(save_hires_picture(file("pic.art").string(), *picture), 0);
    auto art = read_bytes(file("pic.art"));
    art[ART_STUDIO_BORDER] = 10;
    write_bytes(file("pic.art"), art);
    ASSERT_EQ(run("exgravo", {"pic.art", "pic.prg", "-s"}).status, 0);
    expect_shown("pic.prg", *rendered(*picture, EMULATOR_PALETTE), 10);
}

// A coder may set the colours in the file at their documented places: a
// border unlike the background shows, and the background stays in the cells.
TEST_F(Emulator, BorderAndBackgroundAreReadFromTheirPlacesInTheFile) {
    const auto picture = multicolour_picture_of_every_colour(350, 7);
    auto program = std::make_unique<RunnableProgram>();
    ASSERT_EQ(multicolour_to_program(*picture, *program), 0);
    program->bytes[2 + PROGRAM_BORDER - PROGRAM_LOAD_ADDRESS] = 2;
    write_bytes(file("patched.prg"), {program->bytes.begin(), program->bytes.end()});
    expect_shown("patched.prg", *rendered(*picture, EMULATOR_PALETTE), 2);
}

TEST_F(Emulator, PngThroughIngravoRunsAsDrawn) {
    untidy_machine();
    const auto picture = multicolour_picture_of_every_colour(400, 11);
    const auto drawn = rendered(*picture);
    ASSERT_EQ(png_write(*drawn, file("drawn.png").string()), 0);
    ASSERT_EQ(run("ingravo", {"drawn.png", "drawn.prg", "-b11"}).status, 0);
    expect_shown("drawn.prg", *rendered(*picture, EMULATOR_PALETTE), 11);
}

TEST_F(Emulator, HiresPngThroughIngravoRunsWithBlackBorder) {
    untidy_machine();
    const auto picture = hires_picture_of_every_colour(500);
    ASSERT_EQ(png_write(*rendered(*picture), file("drawn.png").string()), 0);
    ASSERT_EQ(run("ingravo", {"drawn.png", "drawn.prg", "-s"}).status, 0);
    expect_shown("drawn.prg", *rendered(*picture, EMULATOR_PALETTE), 0);
}

// The stand-in enters a program with interrupts on and its IRQ vector
// pointing at a halt: a program that keeps them on must fail, or the
// displayer's own safety would go unchecked.
TEST_F(Emulator, ProgramThatLeavesInterruptsOnIsCaught) {
    write_bytes(file("loop.prg"), {0x01, 0x08, 0x0B, 0x08, 0x0A, 0x00, 0x9E, '2', '0', '6', '1', 0x00, 0x00, 0x00,
                                   0x4C, 0x0D, 0x08});
    const EmulatorRun run = run_in_emulator(folder, "loop.prg");
    EXPECT_FALSE(run.shown);
    EXPECT_NE(run.failure.find("JAM"), std::string::npos) << run.failure;
}

}  // namespace
