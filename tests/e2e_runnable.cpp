// Runnable programs written by exgravo and ingravo for an output name ending
// in .prg: the same file as the library builds from the picture, from every
// way into it.
#include <filesystem>
#include <memory>

#include "format_files.h"
#include "ingravo_texts.h"
#include "run_program.h"
#include "runnable/runnable_program.h"
#include "test_pictures.h"

namespace {

std::vector<std::uint8_t> multicolour_program_bytes(const C64Picture& picture) {
    auto program = std::make_unique<RunnableProgram>();
    EXPECT_EQ(multicolour_to_program(picture, *program), 0);
    return {program->bytes.begin(), program->bytes.end()};
}

std::vector<std::uint8_t> hires_program_bytes(const HiresPicture& picture, std::uint8_t border) {
    auto program = std::make_unique<RunnableProgram>();
    EXPECT_EQ(hires_to_program(picture, border, *program), 0);
    return {program->bytes.begin(), program->bytes.end()};
}

class Runnable : public ToolTest {};

TEST_F(Runnable, ExgravoWritesAProgramInsteadOfAnImageForAPrgName) {
    const auto koala = random_multicolour_picture(61, 5);
    save_multicolour_picture(file("k.koa").string(), FORMAT_KOALA, *koala);
    const ProgramResult result = run("exgravo", {"k", "k.prg", "-p3"});
    EXPECT_EQ(result.status, 0);
    // The console tells the same as for an image.
    EXPECT_EQ(result.output, run("exgravo", {"k", "k.pcx"}).output);
    EXPECT_EQ(read_bytes(file("k.prg")), multicolour_program_bytes(*koala));

    const auto amica = random_multicolour_picture(62, 14);
    save_multicolour_picture(file("a.ami").string(), FORMAT_AMICA, *amica);
    EXPECT_EQ(run("exgravo", {"a", "A.PRG", "-a"}).status, 0);
    EXPECT_EQ(read_bytes(file("A.PRG")), multicolour_program_bytes(*amica));

    // A format chosen by the input's extension: its background is the
    // colour nybble only.
    const TestLayout& ocp = unpacked_layouts()[3];
    write_bytes(file("o.ocp"), multicolour_layout_file(ocp, *koala));
    EXPECT_EQ(run("exgravo", {"o.ocp", "o.Prg"}).status, 0);
    EXPECT_EQ(read_bytes(file("o.Prg")), multicolour_program_bytes(*koala));
}

TEST_F(Runnable, HiresBorderIsArtStudiosBorderByteElseBlack) {
    const auto hires = random_hires_picture(63);
    save_hires_picture(file("h.art").string(), *hires);
    auto art = read_bytes(file("h.art"));
    art[ART_STUDIO_BORDER] = 0xFD;  // only the low nybble is a colour
    write_bytes(file("h.art"), art);
    EXPECT_EQ(run("exgravo", {"h", "h.prg", "-s"}).status, 0);
    EXPECT_EQ(read_bytes(file("h.prg")), hires_program_bytes(*hires, 13));

    for (const TestLayout& layout : unpacked_layouts()) {
        if (!layout.hires) continue;
        const std::string name = std::string("t.") + layout.extension;
        write_bytes(file(name), hires_layout_file(layout, *hires));
        ASSERT_EQ(run("exgravo", {name, "t.prg"}).status, 0) << name;
        EXPECT_EQ(read_bytes(file("t.prg")), hires_program_bytes(*hires, 0)) << name;
    }
}

TEST_F(Runnable, IngravoWritesThePictureItWouldHaveWrittenAsAProgram) {
    const auto koala = random_multicolour_picture(64, 6);
    save_multicolour_picture(file("k.koa").string(), FORMAT_KOALA, *koala);
    const auto hires = random_hires_picture(65);
    save_hires_picture(file("h.art").string(), *hires);
    ASSERT_EQ(run("exgravo", {"k"}).status, 0);
    ASSERT_EQ(run("exgravo", {"h", "-s"}).status, 0);

    const ProgramResult result = run("ingravo", {"k.pcx", "k2.prg", "-b6"});
    EXPECT_EQ(result.output, INGRAVO_BANNER + "most used colour = $06\nOK, C64 file generated.\nEnded process.\n");
    ASSERT_EQ(run("ingravo", {"k.pcx", "k2.koa", "-b6"}).status, 0);
    auto encoded = std::make_unique<C64Picture>();
    ASSERT_EQ(load_multicolour_picture(file("k2.koa").string(), FORMAT_KOALA, *encoded), 0);
    EXPECT_EQ(read_bytes(file("k2.prg")), multicolour_program_bytes(*encoded));
    // -a chooses the mode, not the file: the same program.
    ASSERT_EQ(run("ingravo", {"k.pcx", "k3.PRG", "-b6", "-a"}).status, 0);
    EXPECT_EQ(read_bytes(file("k3.PRG")), read_bytes(file("k2.prg")));

    ASSERT_EQ(run("ingravo", {"h.pcx", "h2.prg", "-s"}).status, 0);
    ASSERT_EQ(run("ingravo", {"h.pcx", "h2.art", "-s"}).status, 0);
    auto encoded_hires = std::make_unique<HiresPicture>();
    ASSERT_EQ(load_hires_picture(file("h2.art").string(), *encoded_hires), 0);
    EXPECT_EQ(read_bytes(file("h2.prg")), hires_program_bytes(*encoded_hires, 0));
    EXPECT_FALSE(exists("errors.pcx"));
}

TEST_F(Runnable, FailingCellsGiveTheErrorsImageAndNoProgram) {
    auto image = blank_image();
    for (int colour = 1; colour <= 5; ++colour) set_pixel(*image, 2 * colour, 0, static_cast<std::uint8_t>(colour));
    ASSERT_EQ(pcx_write(*image, file("bad.pcx").string()), 0);
    const ProgramResult result = run("ingravo", {"bad", "bad.prg"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.output,
              INGRAVO_BANNER + "most used colour = $00\nErrors occured, PCX errors file generated.\nEnded process.\n");
    EXPECT_TRUE(exists("errors.pcx"));
    EXPECT_FALSE(exists("bad.prg"));
}

}  // namespace
