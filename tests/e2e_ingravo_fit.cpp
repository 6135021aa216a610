// ingravo -f: the mode and the background found from the image, what is
// printed, and the line a failed PNG run without -f prints.
#include <filesystem>
#include <memory>

#include "ingravo_texts.h"
#include "png_builder.h"
#include "desktop/png_file.h"
#include "run_program.h"
#include "test_pictures.h"

namespace {

const std::string PICTURE_DONE = "OK, C64 file generated.\nEnded process.\n";
const std::string ERRORS_DONE = "Errors occured, PCX errors file generated.\nEnded process.\n";
const std::string READ_EXACTLY = "colours read exactly (palette 12)\n";

std::string most_used_line(int colour) {
    char line[32];
    std::snprintf(line, sizeof line, "most used colour = $%02x\n", colour);
    return line;
}

// Fills a cell with double-width pixels: colours[k] in pair k of every row.
void draw_cell_pairs(PixelImage& image, int cell, const std::array<std::uint8_t, 4>& colours) {
    const int left = (cell % 40) * 8;
    const int top = (cell / 40) * 8;
    for (int y = top; y < top + 8; ++y) {
        for (int pair = 0; pair < 4; ++pair) {
            set_pixel(image, left + pair * 2, y, colours[static_cast<std::size_t>(pair)]);
            set_pixel(image, left + pair * 2 + 1, y, colours[static_cast<std::size_t>(pair)]);
        }
    }
}

// Multicolour; colour 1 covers most of it, and the cells of four colours
// leave 6 as the one background that lets every cell pass.
std::unique_ptr<PixelImage> multicolour_with_background_6() {
    auto image = blank_image();
    image->pixels.fill(1);
    draw_cell_pairs(*image, 0, {6, 2, 3, 4});
    draw_cell_pairs(*image, 41, {5, 6, 7, 8});
    draw_cell_pairs(*image, 999, {1, 9, 6, 6});
    return image;
}

// Hires: single pixels of 0 on 1, at most two colours a cell.
std::unique_ptr<PixelImage> hires_picture() {
    auto image = blank_image();
    image->pixels.fill(1);
    for (int x = 0; x < 320; x += 3) set_pixel(*image, x, x % 200, 0);
    return image;
}

class IngravoFit : public ToolTest {
protected:
    std::unique_ptr<PixelImage> rendered_file(const std::string& name, int format) const {
        return rendered_picture_file(file(name).string(), format);
    }
    std::unique_ptr<PixelImage> errors_image() const {
        auto errors = std::make_unique<PixelImage>();
        EXPECT_EQ(pcx_read(file("errors.pcx").string(), *errors), 0);
        return errors;
    }
};

TEST_F(IngravoFit, FindsMulticolourAndTheOneBackgroundThatPasses) {
    const auto image = multicolour_with_background_6();
    pcx_write(*image, file("pic.pcx").string());
    // Without -f the most used colour 1 is the background, and cells fail.
    EXPECT_EQ(run("ingravo", {"pic"}).output, INGRAVO_BANNER + most_used_line(1) + ERRORS_DONE);
    std::filesystem::remove(file("errors.pcx"));

    const ProgramResult result = run("ingravo", {"pic", "-f"});
    EXPECT_EQ(result.output, INGRAVO_BANNER + most_used_line(1) + "fit: multicolour, background $06\n" + PICTURE_DONE);
    EXPECT_EQ(result.status, 0);
    EXPECT_FALSE(exists("pic.art") || exists("errors.pcx"));
    auto picture = std::make_unique<C64Picture>();
    ASSERT_EQ(load_multicolour_picture(file("pic.koa").string(), FORMAT_KOALA, *picture), 0);
    EXPECT_EQ(picture->background, 6);
    EXPECT_TRUE(rendered(*picture)->pixels == image->pixels);
}

TEST_F(IngravoFit, FindsHiresAndNamesTheOutputAfterIt) {
    const auto image = hires_picture();
    pcx_write(*image, file("pic.pcx").string());
    EXPECT_EQ(run("ingravo", {"pic", "-f"}).output,
              INGRAVO_BANNER + most_used_line(1) + "fit: hires\n" + PICTURE_DONE);
    EXPECT_FALSE(exists("pic.koa"));
    EXPECT_TRUE(rendered_file("pic.art", FORMAT_ART_STUDIO)->pixels == image->pixels);

    // A named output without an extension gets the found mode's.
    EXPECT_EQ(run("ingravo", {"-F", "pic", "out"}).status, 0);
    EXPECT_TRUE(exists("out.art"));
    EXPECT_FALSE(exists("out.koa"));
    // An extension that fixes no mode stays; -b has no use in hires.
    EXPECT_EQ(run("ingravo", {"pic", "out.bin", "-f", "-b3"}).output,
              INGRAVO_BANNER + most_used_line(1) + "fit: hires, -b not used\n" + PICTURE_DONE);
    EXPECT_EQ(read_bytes(file("out.bin")), read_bytes(file("pic.art")));

    // Either name the mode may give must differ from the input's.
    std::filesystem::copy_file(file("pic.pcx"), file("in.art"));
    EXPECT_EQ(run("ingravo", {"in.art", "-f"}).status, status_of(ERR_SAME_FILE_NAMES));
    EXPECT_EQ(read_bytes(file("in.art")), read_bytes(file("pic.pcx")));
}

TEST_F(IngravoFit, OfSeveralBackgroundsTheMostUsedOneIsTaken) {
    auto image = blank_image();
    image->pixels.fill(1);
    draw_cell_pairs(*image, 0, {5, 6, 7, 8});
    draw_cell_pairs(*image, 1, {5, 6, 7, 9});  // 5, 6 and 7 pass both cells
    draw_cell_pairs(*image, 2, {7, 7, 6, 1});  // 7 is used more than 5 and 6
    pcx_write(*image, file("pic.pcx").string());
    EXPECT_EQ(run("ingravo", {"pic", "-f"}).output,
              INGRAVO_BANNER + most_used_line(1) + "fit: multicolour, background $07\n" + PICTURE_DONE);
    EXPECT_TRUE(rendered_file("pic.koa", FORMAT_KOALA)->pixels == image->pixels);

    // Equally used: the lowest colour number, as for the most used colour.
    draw_cell_pairs(*image, 2, {5, 6, 7, 1});
    pcx_write(*image, file("tie.pcx").string());
    EXPECT_EQ(run("ingravo", {"tie", "-f"}).output,
              INGRAVO_BANNER + most_used_line(1) + "fit: multicolour, background $05\n" + PICTURE_DONE);

    // The most used colour itself, when it passes, without a second count.
    draw_cell_pairs(*image, 2, {1, 6, 7, 5});
    draw_cell_pairs(*image, 3, {1, 6, 7, 8});
    draw_cell_pairs(*image, 0, {1, 5, 6, 7});
    draw_cell_pairs(*image, 1, {1, 5, 6, 9});
    pcx_write(*image, file("most.pcx").string());
    EXPECT_EQ(run("ingravo", {"most", "-f"}).output,
              INGRAVO_BANNER + most_used_line(1) + "fit: multicolour, background $01\n" + PICTURE_DONE);
}

TEST_F(IngravoFit, WithoutAPassingBackgroundTheMostUsedOneMarksTheCells) {
    auto image = blank_image();
    image->pixels.fill(3);
    draw_cell_pairs(*image, 10, {1, 2, 4, 5});
    draw_cell_pairs(*image, 20, {6, 7, 8, 9});
    draw_cell_pairs(*image, 30, {6, 7, 8, 3});
    pcx_write(*image, file("pic.pcx").string());
    const ProgramResult result = run("ingravo", {"pic", "-f"});
    EXPECT_EQ(result.output, INGRAVO_BANNER + most_used_line(3) +
                                 "fit: multicolour, background $03 (the most used: no background fits every cell)\n" +
                                 ERRORS_DONE);
    EXPECT_EQ(result.status, 0);
    EXPECT_FALSE(exists("pic.koa") || exists("pic.art"));
    fill_cell(*image, 10, 1);
    fill_cell(*image, 20, 1);
    EXPECT_TRUE(errors_image()->pixels == image->pixels);

    // Five colours in a cell: no background can pass it.
    image->pixels.fill(3);
    draw_cell_pairs(*image, 0, {1, 2, 4, 5});
    set_pixel(*image, 0, 7, 3);
    set_pixel(*image, 1, 7, 3);
    pcx_write(*image, file("five.pcx").string());
    EXPECT_EQ(run("ingravo", {"five", "-f"}).output.substr(INGRAVO_BANNER.size() + 23),
              "fit: multicolour, background $03 (the most used: no background fits every cell)\n" + ERRORS_DONE);
}

TEST_F(IngravoFit, ASwitchOrAnOutputExtensionFixesTheMode) {
    pcx_write(*hires_picture(), file("hires.pcx").string());
    const auto multicolour = multicolour_with_background_6();
    pcx_write(*multicolour, file("multi.pcx").string());

    // A hires picture made multicolour: its split pairs fail with 2.
    EXPECT_EQ(run("ingravo", {"hires", "-f", "-k"}).output,
              INGRAVO_BANNER + most_used_line(1) + "fit: multicolour, background $01\n" + ERRORS_DONE);
    EXPECT_EQ(errors_image()->pixels[0], 2);
    std::filesystem::remove(file("errors.pcx"));
    // With split pairs the right-hand pixels count too: a fifth colour there.
    auto split = multicolour_with_background_6();
    set_pixel(*split, 1, 0, 5);
    pcx_write(*split, file("split.pcx").string());
    EXPECT_EQ(run("ingravo", {"split", "-f", "-a"}).output.substr(INGRAVO_BANNER.size() + 23),
              "fit: multicolour, background $01 (the most used: no background fits every cell)\n" + ERRORS_DONE);
    EXPECT_EQ(errors_image()->pixels[0], 3);
    std::filesystem::remove(file("errors.pcx"));

    // .ami writes Amica, whose background is still found.
    EXPECT_EQ(run("ingravo", {"multi", "out.ami", "-f"}).output,
              INGRAVO_BANNER + most_used_line(1) + "fit: multicolour, background $06\n" + PICTURE_DONE);
    EXPECT_TRUE(rendered_file("out.ami", FORMAT_AMICA)->pixels == multicolour->pixels);
    // -a wins over the extension, and -b over the search.
    EXPECT_EQ(run("ingravo", {"multi", "out.koa", "-f", "-a", "-b6"}).output,
              INGRAVO_BANNER + most_used_line(1) + "fit: multicolour, background $06 from -b\n" + PICTURE_DONE);
    EXPECT_TRUE(rendered_file("out.koa", FORMAT_AMICA)->pixels == multicolour->pixels);

    // .ART in any case fixes hires: four colours in a cell fail with 1.
    EXPECT_EQ(run("ingravo", {"multi", "out.ART", "-f"}).output,
              INGRAVO_BANNER + most_used_line(1) + "fit: hires\n" + ERRORS_DONE);
    EXPECT_EQ(errors_image()->pixels[0], 1);
    EXPECT_FALSE(exists("out.ART"));
    std::filesystem::remove(file("errors.pcx"));

    // -s with -b stays refused.
    EXPECT_EQ(run("ingravo", {"multi", "-f", "-s", "-b6"}).output,
              INGRAVO_BANNER + error_block("param\x82trage incorrect", INGRAVO_USAGE));
    EXPECT_FALSE(exists("errors.pcx"));
}

TEST_F(IngravoFit, APictureThatFitsNoModeGivesTheErrorsImageOfTheModeTried) {
    // Split pairs make it hires, and three colours in a cell fail there.
    auto image = hires_picture();
    set_pixel(*image, 5, 5, 7);
    pcx_write(*image, file("pic.pcx").string());
    EXPECT_EQ(run("ingravo", {"pic", "-f"}).output, INGRAVO_BANNER + most_used_line(1) + "fit: hires\n" + ERRORS_DONE);
    fill_cell(*image, 0, 1);
    EXPECT_TRUE(errors_image()->pixels == image->pixels);
    EXPECT_FALSE(exists("pic.art") || exists("pic.koa"));
}

TEST_F(IngravoFit, PngInputsAreFittedLikePcx) {
    png_write(*hires_picture(), file("hires.png").string());
    EXPECT_EQ(run("ingravo", {"hires.png", "-f"}).output,
              INGRAVO_BANNER + READ_EXACTLY + most_used_line(1) + "fit: hires\n" + PICTURE_DONE);
    EXPECT_TRUE(rendered_file("hires.art", FORMAT_ART_STUDIO)->pixels == hires_picture()->pixels);

    // 160 by 200 is read whenever the mode is open, and is multicolour.
    const auto multicolour = multicolour_with_background_6();
    TestPng narrow{160, 200, PNG_COLOR_TYPE_PALETTE, 8, false, {}, [&](int x, int y) {
                       return std::array<std::uint16_t, 4>{multicolour->pixels[static_cast<std::size_t>(y * 320 + x * 2)]};
                   }};
    for (const auto& rgb : c64_palettes[DEFAULT_PALETTE]) narrow.palette.push_back({rgb[0], rgb[1], rgb[2]});
    write_bytes(file("narrow.png"), build_png(narrow));
    EXPECT_EQ(run("ingravo", {"narrow.png", "-f"}).output,
              INGRAVO_BANNER + READ_EXACTLY + most_used_line(1) + "fit: multicolour, background $06\n" + PICTURE_DONE);
    EXPECT_TRUE(rendered_file("narrow.koa", FORMAT_KOALA)->pixels == multicolour->pixels);
    // Fixed to hires, 160 by 200 is refused as before.
    EXPECT_EQ(run("ingravo", {"narrow.png", "-f", "-s"}).status, status_of(ERR_INVALID_PNG));
}

TEST_F(IngravoFit, AFailedPngRunSaysWhatFitWouldChoose) {
    png_write(*hires_picture(), file("hires.png").string());
    EXPECT_EQ(run("ingravo", {"hires.png"}).output, INGRAVO_BANNER + READ_EXACTLY + most_used_line(1) +
                                                        "with -f: hires would pass\n" + ERRORS_DONE);
    EXPECT_FALSE(exists("hires.koa") || exists("hires.art"));
    // -f keeps -k, so there is nothing better to say.
    EXPECT_EQ(run("ingravo", {"hires.png", "-k"}).output,
              INGRAVO_BANNER + READ_EXACTLY + most_used_line(1) + ERRORS_DONE);

    png_write(*multicolour_with_background_6(), file("multi.png").string());
    EXPECT_EQ(run("ingravo", {"multi.png", "-a"}).output,
              INGRAVO_BANNER + READ_EXACTLY + most_used_line(1) +
                  "with -f: multicolour, background $06 would pass\n" + ERRORS_DONE);
    // A background given, or a picture that no choice passes: no line.
    EXPECT_EQ(run("ingravo", {"multi.png", "-b1"}).output,
              INGRAVO_BANNER + READ_EXACTLY + most_used_line(1) + ERRORS_DONE);
    auto image = multicolour_with_background_6();
    draw_cell_pairs(*image, 500, {1, 2, 3, 4});
    png_write(*image, file("none.png").string());
    EXPECT_EQ(run("ingravo", {"none.png"}).output, INGRAVO_BANNER + READ_EXACTLY + most_used_line(1) + ERRORS_DONE);
}

TEST_F(IngravoFit, PcxRunsWithoutFitPrintExactlyAsBefore) {
    pcx_write(*hires_picture(), file("hires.pcx").string());
    pcx_write(*multicolour_with_background_6(), file("multi.pcx").string());
    EXPECT_EQ(run("ingravo", {"hires"}).output, INGRAVO_BANNER + most_used_line(1) + ERRORS_DONE);
    EXPECT_EQ(run("ingravo", {"multi", "-a"}).output, INGRAVO_BANNER + most_used_line(1) + ERRORS_DONE);
    // Without -f an output extension fixes nothing: Koala bytes in out.art.
    EXPECT_EQ(run("ingravo", {"multi", "out.art", "-b6"}).output, INGRAVO_BANNER + most_used_line(1) + PICTURE_DONE);
    EXPECT_EQ(read_bytes(file("out.art")).size(), 10003u);
}

}  // namespace
