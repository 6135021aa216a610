// The formats chosen by extension, end to end: one picture stored in every
// format gives exgravo, snippel, emblex and zorbel the same results as its
// Koala or Art Studio file.
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "format_files.h"
#include "c64/picture.h"
#include "run_program.h"
#include "test_pictures.h"

namespace {

const std::string EXGRAVO_BANNER = "EXGRAVO v1.0.0beta - converts a C64 picture into a PCX image\n";

// Few distinct cell patterns (a logo takes at most 255) and fixed colours:
// multicolour 0, 1, 2, 3 for pairs 00 to 11, hires 6 for bit 0 and 14 for bit 1.
std::unique_ptr<C64Picture> multicolour_test_picture() {
    auto picture = uniform_multicolour_picture(0, 0x12, 0x03);
    for (std::size_t i = 0; i < picture->bitmap.size(); ++i) {
        picture->bitmap[i] = static_cast<std::uint8_t>((i / 8 % 97) * 31 + (i % 8) * 5);
    }
    return picture;
}

std::unique_ptr<HiresPicture> hires_test_picture() {
    auto picture = uniform_hires_picture(0, 0xE6);
    for (std::size_t i = 0; i < picture->bitmap.size(); ++i) {
        picture->bitmap[i] = static_cast<std::uint8_t>((i / 8 % 89) * 17 + (i % 8) * 3);
    }
    return picture;
}

class OtherFormats : public ToolTest {
protected:
    // ref.koa and ref.art, and p.<extension> for every other format.
    void SetUp() override {
        ToolTest::SetUp();
        multicolour = multicolour_test_picture();
        hires = hires_test_picture();
        ASSERT_EQ(save_multicolour_picture(file("ref.koa").string(), FORMAT_KOALA, *multicolour), 0);
        ASSERT_EQ(save_hires_picture(file("ref.art").string(), *hires), 0);
        for (const TestLayout& layout : unpacked_layouts()) {
            const FileBytes bytes =
                layout.hires ? hires_layout_file(layout, *hires) : multicolour_layout_file(layout, *multicolour);
            write_bytes(file(std::string("p.") + layout.extension), bytes);
            (layout.hires ? hires_names : multicolour_names).push_back(std::string("p.") + layout.extension);
        }
        write_bytes(file("p.gg"), gg_file(*multicolour));
        write_bytes(file("p.drp"), drp_file(*multicolour));
        write_bytes(file("p.jj"), jj_file(*hires));
        multicolour_names.insert(multicolour_names.end(), {"p.gg", "p.drp"});
        hires_names.push_back("p.jj");
    }

    void script(const std::string& name, const std::string& text) const {
        std::ofstream(file(name), std::ios::binary) << text;
    }

    std::unique_ptr<C64Picture> multicolour;
    std::unique_ptr<HiresPicture> hires;
    std::vector<std::string> multicolour_names;
    std::vector<std::string> hires_names;
};

TEST_F(OtherFormats, ExgravoRendersEveryFormatLikeItsKoalaOrArtStudioFile) {
    const ProgramResult koala = run("exgravo", {"ref.koa"});
    ASSERT_EQ(koala.status, 0);
    EXPECT_EQ(koala.output.substr(EXGRAVO_BANNER.size(), 24), "background colour = $00\n");
    const auto koala_pcx = read_bytes(file("ref.pcx"));
    for (const std::string& name : multicolour_names) {
        // The switches do not matter for a listed extension.
        const ProgramResult result = run("exgravo", {name, "out", "-s"});
        EXPECT_EQ(result.output, koala.output) << name;
        EXPECT_EQ(read_bytes(file("out.pcx")), koala_pcx) << name;
    }
    ASSERT_EQ(run("exgravo", {"-s", "ref.art"}).status, 0);
    const auto art_pcx = read_bytes(file("ref.pcx"));
    for (const std::string& name : hires_names) {
        const ProgramResult result = run("exgravo", {name, "out", "-a"});
        EXPECT_EQ(result.output.find("background"), std::string::npos) << name;
        EXPECT_EQ(result.status, 0) << name;
        EXPECT_EQ(read_bytes(file("out.pcx")), art_pcx) << name;
    }
}

TEST_F(OtherFormats, ExtensionInAnyCaseAndBackgroundLowNybble) {
    auto picture = random_multicolour_picture(61, 0x0D);
    write_bytes(file("UP.OCP"), multicolour_layout_file(unpacked_layouts()[3], *picture));
    const ProgramResult result = run("exgravo", {"UP.OCP", "-s"});
    EXPECT_EQ(result.output.substr(EXGRAVO_BANNER.size(), 24), "background colour = $0d\n");
    auto image = std::make_unique<PixelImage>();
    ASSERT_EQ(pcx_read(file("UP.pcx").string(), *image), 0);
    EXPECT_TRUE(image->pixels == rendered(*picture)->pixels);
}

TEST_F(OtherFormats, RefusedFilesLeaveNoOutput) {
    FileBytes short_file = read_bytes(file("p.ocp"));
    short_file.pop_back();
    write_bytes(file("short.ocp"), short_file);
    EXPECT_EQ(run("exgravo", {"short.ocp"}).status, status_of(ERR_READ));
    FileBytes cut = read_bytes(file("p.gg"));
    cut.resize(cut.size() - 2);
    write_bytes(file("cut.gg"), cut);
    EXPECT_EQ(run("exgravo", {"cut.gg"}).status, status_of(ERR_READ));
    FileBytes headless = read_bytes(file("p.drp"));
    headless[2] = 'd';
    write_bytes(file("headless.drp"), headless);
    const ProgramResult result = run("exgravo", {"headless.drp"});
    EXPECT_EQ(result.status, status_of(ERR_INVALID_DRAZPAINT));
    EXPECT_NE(result.output.find("fichier drazpaint invalide"), std::string::npos);
    EXPECT_FALSE(exists("short.pcx") || exists("cut.pcx") || exists("headless.pcx"));
    EXPECT_EQ(run("snippel", {"headless.drp", "s", "-w12", "-h21"}).status, status_of(ERR_INVALID_DRAZPAINT));
    EXPECT_EQ(run("emblex", {"cut.gg", "f", "s", "c"}).status, status_of(ERR_READ));
    EXPECT_FALSE(exists("s.spr") || exists("f.fnt") || exists("c.col"));
}

TEST_F(OtherFormats, SnippelCutsInTheModeOfTheFormat) {
    ASSERT_EQ(run("snippel", {"ref.koa", "multi", "-w24", "-h42", "-00", "-11", "-22", "-33"}).status, 0);
    ASSERT_EQ(run("snippel", {"ref.art", "hires", "-s", "-w48", "-h21", "-06", "-114"}).status, 0);
    for (const char* name : {"p.sar", "p.gg", "p.drp"}) {
        ASSERT_EQ(run("snippel", {name, "out", "-w24", "-h42", "-00", "-11", "-22", "-33"}).status, 0) << name;
        EXPECT_EQ(read_bytes(file("out.spr")), read_bytes(file("multi.spr"))) << name;
    }
    // -k says Koala, the extension says Doodle: a hires cut of 48 pixels.
    for (const char* name : {"p.dd", "p.jj", "p.hed"}) {
        ASSERT_EQ(run("snippel", {name, "out", "-k", "-w48", "-h21", "-06", "-114"}).status, 0) << name;
        EXPECT_EQ(read_bytes(file("out.spr")), read_bytes(file("hires.spr"))) << name;
    }
}

TEST_F(OtherFormats, EmblexBuildsTheSameLogo) {
    const auto logo = [&](const std::vector<std::string>& arguments) {
        EXPECT_EQ(run("emblex", arguments).status, 0) << arguments[0];
        FileBytes files = read_bytes(file("f.fnt"));
        for (const char* name : {"s.scr", "c.col"}) {
            const FileBytes more = read_bytes(file(name));
            files.insert(files.end(), more.begin(), more.end());
        }
        return files;
    };
    const FileBytes multicolour_logo = logo({"ref.koa", "f", "s", "c", "-00", "-11", "-22"});
    EXPECT_EQ(logo({"p.vid", "f", "s", "c", "-00", "-11", "-22"}), multicolour_logo);
    EXPECT_EQ(logo({"p.drp", "f", "s", "c", "-00", "-11", "-22", "-s"}), multicolour_logo);
    const FileBytes hires_logo = logo({"ref.art", "f", "s", "c", "-06", "-s"});
    EXPECT_EQ(logo({"p.iph", "f", "s", "c", "-06"}), hires_logo);
    EXPECT_EQ(logo({"p.jj", "f", "s", "c", "-06"}), hires_logo);
    EXPECT_NE(multicolour_logo, hires_logo);
}

TEST_F(OtherFormats, ZorbelLoadsAnyFormatOfTheLettersMode) {
    const std::string cuts[2] = {"H:x0,y0,w24,h21,06,114\n", "M:x0,y0,w24,h42,00,11,22,33\n"};
    script("ref.zbs", "S:ref.art\n" + cuts[0] + "K:ref.koa\n" + cuts[1]);
    ASSERT_EQ(run("zorbel", {"ref"}).status, 0);
    write_bytes(file("UP.JJ"), jj_file(*hires));
    script("other.zbs", "S:UP.JJ\n" + cuts[0] + "A:p.ipt\n" + cuts[1] + "S:p.ish\n" + cuts[0] + "K:p.a64\n" + cuts[1]);
    ASSERT_EQ(run("zorbel", {"other"}).status, 0);
    FileBytes twice = read_bytes(file("ref.spr"));
    const FileBytes once = twice;
    twice.insert(twice.end(), once.begin(), once.end());
    EXPECT_EQ(read_bytes(file("other.spr")), twice);

    for (const char* load : {"K:p.dd\n", "A:p.jj\n", "S:p.gg\n", "S:p.ocp\n"}) {
        script("bad.zbs", std::string(load) + cuts[0]);
        EXPECT_EQ(run("zorbel", {"bad"}).status, status_of(ERR_SCRIPT_PARAMETERS)) << load;
        EXPECT_FALSE(exists("bad.def") || exists("bad.spr")) << load;
    }
}

}  // namespace
