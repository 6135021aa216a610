// PNG end to end: exgravo's PNG read back by ingravo, the errors and
// difference images in both forms, refusals, and other programs reading the
// PNG files the suite writes.
#include <cstdio>
#include <filesystem>
#include <memory>

#include "png_builder.h"
#include "desktop/png_file.h"
#include "ingravo_texts.h"
#include "run_program.h"
#include "test_pictures.h"

namespace {


bool tool_available(const std::string& name) {
    return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
}

// Standard output of a shell command, byte for byte.
std::vector<std::uint8_t> command_output(const std::string& command) {
    std::vector<std::uint8_t> output;
    std::FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return output;
    std::uint8_t buffer[4096];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.insert(output.end(), buffer, buffer + got);
    pclose(pipe);
    return output;
}

// The RGB bytes a viewer shows for an image: its palette entry per pixel.
std::vector<std::uint8_t> shown_colours(const PixelImage& image) {
    std::vector<std::uint8_t> colours;
    for (const std::uint8_t pixel : image.pixels) {
        colours.insert(colours.end(), image.palette.begin() + pixel * 3, image.palette.begin() + pixel * 3 + 3);
    }
    return colours;
}

class Png : public ToolTest {
protected:
    std::unique_ptr<PixelImage> pcx(const std::string& name) const {
        auto image = std::make_unique<PixelImage>();
        EXPECT_EQ(pcx_read(file(name).string(), *image), 0) << name;
        return image;
    }
    StoredPng png(const std::string& name) const {
        StoredPng stored;
        EXPECT_TRUE(decode_stored_png(read_bytes(file(name)), stored)) << name;
        return stored;
    }
    // The PNG form holds the same indices and, for every index used, the same
    // palette entry as the PCX form.
    void expect_same_image(const std::string& png_name, const std::string& pcx_name) const {
        const StoredPng stored = png(png_name);
        const auto image = pcx(pcx_name);
        ASSERT_EQ(stored.indices.size(), image->pixels.size());
        ASSERT_TRUE(std::equal(stored.indices.begin(), stored.indices.end(), image->pixels.begin())) << png_name;
        for (const std::uint8_t index : image->pixels) {
            ASSERT_LT(index, stored.palette.size());
            const png_color& entry = stored.palette[index];
            ASSERT_EQ(entry.red, image->palette[index * 3u]);
            ASSERT_EQ(entry.green, image->palette[index * 3u + 1]);
            ASSERT_EQ(entry.blue, image->palette[index * 3u + 2]);
        }
    }
    std::unique_ptr<PixelImage> rendered_file(const std::string& name, int format) const {
        return rendered_picture_file(file(name).string(), format);
    }
};

std::string colour_line(const std::string& output) {
    const std::size_t start = INGRAVO_BANNER.size();
    return output.substr(start, output.find('\n', start) + 1 - start);
}

TEST_F(Png, ExgravoPngComesBackInEveryPaletteAndFormat) {
    const auto koala = random_multicolour_picture(51, 6);
    save_multicolour_picture(file("k.koa").string(), FORMAT_KOALA, *koala);
    const auto amica = random_multicolour_picture(52, 11);
    save_multicolour_picture(file("a.ami").string(), FORMAT_AMICA, *amica);
    const auto hires = random_hires_picture(53);
    save_hires_picture(file("h.art").string(), *hires);
    for (int palette = 0; palette < PALETTE_COUNT; ++palette) {
        const std::string p = "-p" + std::to_string(palette);
        ASSERT_EQ(run("exgravo", {"k", "k.png", p}).status, 0);
        ASSERT_EQ(run("exgravo", {"a", "a.PNG", "-a", p}).status, 0);
        ASSERT_EQ(run("exgravo", {"h", "h.png", "-s", p}).status, 0);
        EXPECT_EQ(png("k.png").bit_depth, 4);

        const ProgramResult result = run("ingravo", {"k.png", "k2", "-b6"});
        EXPECT_EQ(result.status, 0) << result.output;
        EXPECT_EQ(colour_line(result.output).rfind("colours read exactly", 0), 0u) << result.output;
        EXPECT_NE(result.output.find("\nmost used colour = $"), std::string::npos);
        EXPECT_TRUE(rendered_file("k2.koa", FORMAT_KOALA)->pixels == rendered(*koala)->pixels) << "palette " << palette;
        EXPECT_EQ(run("ingravo", {"a.PNG", "a2", "-a", "-b11"}).status, 0);
        EXPECT_TRUE(rendered_file("a2.ami", FORMAT_AMICA)->pixels == rendered(*amica)->pixels) << "palette " << palette;
        EXPECT_EQ(run("ingravo", {"h.png", "h2", "-s"}).status, 0);
        EXPECT_TRUE(rendered_file("h2.art", FORMAT_ART_STUDIO)->pixels == rendered(*hires)->pixels)
            << "palette " << palette;
    }
    EXPECT_FALSE(exists("errors.pcx"));
}

TEST_F(Png, ExgravoPngHoldsWhatItsPcxHolds) {
    const auto koala = random_multicolour_picture(54, 0);
    save_multicolour_picture(file("k.koa").string(), FORMAT_KOALA, *koala);
    const ProgramResult as_pcx = run("exgravo", {"k", "-p4"});
    const ProgramResult as_png = run("exgravo", {"k", "k.png", "-p4"});
    EXPECT_EQ(as_png.output, as_pcx.output);
    expect_same_image("k.png", "k.pcx");
}

// A PNG input named .pcx is still a PNG, and the default input name stays pic.pcx.
TEST_F(Png, SignatureNotNameMakesAPngInput) {
    const auto koala = random_multicolour_picture(55, 3);
    save_multicolour_picture(file("k.koa").string(), FORMAT_KOALA, *koala);
    ASSERT_EQ(run("exgravo", {"k", "disguised.pcx.png"}).status, 0);
    std::filesystem::rename(file("disguised.pcx.png"), file("disguised.pcx"));
    const ProgramResult result = run("ingravo", {"disguised", "back", "-b3"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(colour_line(result.output).rfind("colours read exactly", 0), 0u) << result.output;
    EXPECT_TRUE(rendered_file("back.koa", FORMAT_KOALA)->pixels == rendered(*koala)->pixels);
}

std::uint32_t rgb(int palette, int colour) {
    const auto& entry = c64_palettes[static_cast<std::size_t>(palette)][static_cast<std::size_t>(colour)];
    return static_cast<std::uint32_t>(entry[0]) << 16 | static_cast<std::uint32_t>(entry[1]) << 8 | entry[2];
}

std::array<std::uint16_t, 4> rgb_sample(std::uint32_t value) {
    return {static_cast<std::uint16_t>(value >> 16), static_cast<std::uint16_t>(value >> 8 & 0xFF),
            static_cast<std::uint16_t>(value & 0xFF)};
}

// An emulator screenshot: the border, in a colour no palette has, is dropped.
TEST_F(Png, ScreenshotAndNarrowImageBecomePictures) {
    const auto koala = random_multicolour_picture(58, 0);
    const auto image = rendered(*koala, 9);
    TestPng shot{384, 272, PNG_COLOR_TYPE_RGB, 8, true, {}, [&](int x, int y) {
                     const bool inside = x >= 32 && x < 352 && y >= 35 && y < 235;
                     return rgb_sample(inside ? rgb(9, image->pixels[static_cast<std::size_t>((y - 35) * 320 + x - 32)])
                                              : 0x123457);
                 }};
    write_bytes(file("shot.png"), build_png(shot));
    ProgramResult result = run("ingravo", {"shot.png", "-b0"});
    EXPECT_EQ(result.status, 0) << result.output;
    EXPECT_TRUE(rendered_file("shot.koa", FORMAT_KOALA)->pixels == image->pixels);

    TestPng narrow{160, 200, PNG_COLOR_TYPE_RGB, 16, false, {}, [&](int x, int y) {
                       auto sample = rgb_sample(rgb(9, image->pixels[static_cast<std::size_t>(y * 320 + 2 * x)]));
                       for (auto& channel : sample) channel = static_cast<std::uint16_t>(channel * 257);
                       return sample;
                   }};
    write_bytes(file("narrow.png"), build_png(narrow));
    result = run("ingravo", {"narrow.png", "-b0"});
    EXPECT_EQ(result.status, 0) << result.output;
    EXPECT_TRUE(rendered_file("narrow.koa", FORMAT_KOALA)->pixels == image->pixels);
}

std::unique_ptr<PixelImage> failing_image() {
    auto image = blank_image();
    for (int x = 0; x < 8; x += 2) set_pixel(*image, x, 0, static_cast<std::uint8_t>(1 + x / 2));  // too many colours
    set_pixel(*image, 8, 0, 5);                                                                 // a split pair
    return image;
}

TEST_F(Png, ErrorsImageInBothFormsFromPcxAndPngInput) {
    pcx_write(*failing_image(), file("pic.pcx").string());
    const ProgramResult to_pcx = run("ingravo", {"pic"});
    EXPECT_EQ(to_pcx.output.substr(INGRAVO_BANNER.size()),
              "most used colour = $00\nErrors occured, PCX errors file generated.\nEnded process.\n");
    const ProgramResult to_png = run("ingravo", {"pic", "pic.koa", "errors.png"});
    EXPECT_EQ(to_png.output.substr(INGRAVO_BANNER.size()),
              "most used colour = $00\nErrors occured, PNG errors file generated.\nEnded process.\n");
    expect_same_image("errors.png", "errors.pcx");
    EXPECT_FALSE(exists("pic.koa"));

    // The same image as a PNG input: its errors image is the image as read,
    // as C64 colour numbers, with the same cells filled.
    std::filesystem::rename(file("errors.pcx"), file("expected.pcx"));
    ASSERT_EQ(png_write(*failing_image(), file("in.png").string()), 0);
    const ProgramResult from_png = run("ingravo", {"in.png", "in.koa", "e.PNG"});
    EXPECT_EQ(from_png.status, 0) << from_png.output;
    ASSERT_TRUE(exists("e.PNG"));
    const StoredPng stored = png("e.PNG");
    const auto expected = pcx("expected.pcx");
    EXPECT_TRUE(std::equal(stored.indices.begin(), stored.indices.end(), expected->pixels.begin()));
}

TEST_F(Png, DifferenceImageInBothForms) {
    const auto first = random_multicolour_picture(56, 0);
    auto second = random_multicolour_picture(56, 0);
    second->screen[17] ^= 0x11;
    second->bitmap[900] ^= 0xFF;
    save_multicolour_picture(file("one.koa").string(), FORMAT_KOALA, *first);
    save_multicolour_picture(file("two.koa").string(), FORMAT_KOALA, *second);
    ASSERT_EQ(run("verimat", {"one", "two", "p.bin", "d.pcx", "-p2"}).status, 0);
    ASSERT_EQ(run("verimat", {"one", "two", "q.bin", "d.png", "-p2"}).status, 0);
    expect_same_image("d.png", "d.pcx");
    EXPECT_EQ(read_bytes(file("p.bin")), read_bytes(file("q.bin")));
}

TEST_F(Png, RefusalsWriteNothing) {
    const std::string block = error_block("fichier png invalide", INGRAVO_USAGE);
    TestPng small{100, 60, PNG_COLOR_TYPE_GRAY, 8, false, {}, [](int, int) { return std::array<std::uint16_t, 4>{}; }};
    write_bytes(file("small.png"), build_png(small));
    ProgramResult result = run("ingravo", {"small.png"});
    EXPECT_EQ(result.output, INGRAVO_BANNER +
                                 "png image of 100 x 60: accepted sizes are 320 x 200, 384 x 272, 160 x 200, any size "
                                 "up to 2048 x 2048 with the picture centred in a one-colour frame, and these "
                                 "enlarged 2, 3 or 4 times\n" +
                                 block);
    EXPECT_EQ(result.status, status_of(ERR_INVALID_PNG));

    TestPng narrow{160, 200, PNG_COLOR_TYPE_GRAY, 8, false, {}, [](int, int) { return std::array<std::uint16_t, 4>{}; }};
    write_bytes(file("narrow.png"), build_png(narrow));
    result = run("ingravo", {"narrow.png", "-s"});
    EXPECT_EQ(result.output, INGRAVO_BANNER +
                                 "png image of 160 x 200: accepted sizes are 320 x 200, 384 x 272, 160 x 200 "
                                 "(multicolour only), any size up to 2048 x 2048 with the picture centred in a "
                                 "one-colour frame, and these enlarged 2, 3 or 4 times\n" +
                                 block);

    std::vector<std::uint8_t> bytes = build_png(narrow);
    bytes.resize(bytes.size() - 20);
    write_bytes(file("cut.png"), bytes);
    result = run("ingravo", {"cut.png"});
    EXPECT_EQ(result.output, INGRAVO_BANNER + block);

    TestPng odd{320, 200, PNG_COLOR_TYPE_RGB, 8, false, {}, [](int x, int y) {
                    return std::array<std::uint16_t, 4>{static_cast<std::uint16_t>(x == 7 && y == 9 ? 1 : 0), 2, 3};
                }};
    write_bytes(file("odd.png"), build_png(odd));
    result = run("ingravo", {"odd.png"});
    EXPECT_EQ(result.status, status_of(ERR_UNKNOWN_COLOURS));
    EXPECT_NE(result.output.find("couleurs non reconnues"), std::string::npos);
    for (const char* name : {"small.koa", "narrow.art", "cut.koa", "odd.koa", "errors.pcx"}) EXPECT_FALSE(exists(name));
}

// Every kind of PNG the suite writes (4 and 8 bits) as other programs see it.
class PngReaders : public Png {
protected:
    void SetUp() override {
        Png::SetUp();
        const auto koala = random_multicolour_picture(57, 0);
        save_multicolour_picture(file("k.koa").string(), FORMAT_KOALA, *koala);
        ASSERT_EQ(run("exgravo", {"k", "k.pcx", "-p7"}).status, 0);
        ASSERT_EQ(run("exgravo", {"k", "k.png", "-p7"}).status, 0);
        auto wide = blank_image();
        for (std::size_t entry = 16; entry < 256; ++entry) wide->palette[entry * 3] = static_cast<std::uint8_t>(entry);
        for (int x = 0; x < 320; ++x) set_pixel(*wide, x, 100, static_cast<std::uint8_t>(x % 250));
        // No program writes values above 15 today; the library writer does.
        ASSERT_EQ(pcx_write(*wide, file("w2.pcx").string()), 0);
        ASSERT_EQ(png_write(*wide, file("w.png").string()), 0);
        ASSERT_EQ(png("w.png").bit_depth, 8);
    }
    void expect_colours(const std::string& command_start, const std::string& png_name, const std::string& pcx_name) {
        const auto output = command_output(command_start + " " + file(png_name).string());
        EXPECT_EQ(output, shown_colours(*pcx(pcx_name))) << command_start << " " << png_name;
    }
};

TEST_F(PngReaders, PngcheckFindsNoError) {
    if (!tool_available("pngcheck")) GTEST_SKIP() << "pngcheck is not installed";
    for (const char* name : {"k.png", "w.png"}) {
        EXPECT_EQ(std::system(("pngcheck -q " + file(name).string() + " >/dev/null").c_str()), 0) << name;
    }
}

// Debian's Pillow belongs to the system's python3, which a user's own python3
// (earlier on the PATH) may hide.
std::string python_with_pillow() {
    for (const char* python : {"python3", "/usr/bin/python3"}) {
        if (std::system((std::string(python) + " -c 'import PIL' >/dev/null 2>&1").c_str()) == 0) {
            return python;
        }
    }
    return "";
}

TEST_F(PngReaders, PillowSeesTheIndicesAndColours) {
    const std::string python = python_with_pillow();
    if (python.empty()) GTEST_SKIP() << "Pillow is not installed";
    for (const auto& [png_name, pcx_name] : {std::pair{"k.png", "k.pcx"}, {"w.png", "w2.pcx"}}) {
        const std::string script = python + " -c \"import sys; from PIL import Image; im = Image.open(sys.argv[1]); "
                                   "assert im.mode == 'P'; sys.stdout.buffer.write(bytes(im.getdata()))\"";
        const auto indices = command_output(script + " " + file(png_name).string());
        const auto image = pcx(pcx_name);
        EXPECT_TRUE(std::equal(indices.begin(), indices.end(), image->pixels.begin(), image->pixels.end())) << png_name;
        expect_colours(python + " -c \"import sys; from PIL import Image; "
                       "sys.stdout.buffer.write(Image.open(sys.argv[1]).convert('RGB').tobytes())\"",
                       png_name, pcx_name);
    }
}

TEST_F(PngReaders, ImageMagickSeesTheColours) {
    const std::string convert = tool_available("convert") ? "convert" : "magick";
    if (!tool_available(convert)) GTEST_SKIP() << "ImageMagick is not installed";
    for (const auto& [png_name, pcx_name] : {std::pair{"k.png", "k.pcx"}, {"w.png", "w2.pcx"}}) {
        const auto output = command_output(convert + " " + file(png_name).string() + " -depth 8 rgb:-");
        EXPECT_EQ(output, shown_colours(*pcx(pcx_name))) << png_name;
    }
}

TEST_F(PngReaders, NetpbmSeesTheColours) {
    if (!tool_available("pngtopam")) GTEST_SKIP() << "netpbm is not installed";
    for (const auto& [png_name, pcx_name] : {std::pair{"k.png", "k.pcx"}, {"w.png", "w2.pcx"}}) {
        auto output = command_output("pngtopam " + file(png_name).string());
        const std::string header = "P6\n320 200\n255\n";
        ASSERT_GE(output.size(), header.size());
        EXPECT_EQ(std::string(output.begin(), output.begin() + static_cast<std::ptrdiff_t>(header.size())), header);
        output.erase(output.begin(), output.begin() + static_cast<std::ptrdiff_t>(header.size()));
        EXPECT_EQ(output, shown_colours(*pcx(pcx_name))) << png_name;
    }
}

}  // namespace
