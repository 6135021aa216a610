// zorbel end to end: packing scripts, both output formats, refused scripts.
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "c64/picture.h"
#include "run_program.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

const std::string ZORBEL_USAGE =
    "Usage: ZORBEL infile [outfiles] [switches]\n"
    "\n"
    "switches are :\n"
    "-c      images in stock machine format (default)\n"
    "-s      images in supercpu format\n"
    "-aNNNNN adress of sprites if stock machine format\n"
    "-?      display this help\n";

const std::string BANNER = "ZORBEL v0.9.0 - packs sprites cut from C64 pictures\n";

// The two-entry script: a hires sprite with colour 6 for bit 0 and 14 for
// bit 1, then a 2 by 2 multicolour grid with colours 0, 1, 2, 3.
const std::string TWO_ENTRIES =
    "S:pic.art\n"
    "H:x0,y0,w24,h21,06,114\n"
    "K:pic.koa\n"
    "M:x0,y0,w24,h42,00,11,22,33\n";

class Zorbel : public ToolTest {
protected:
    void SetUp() override {
        ToolTest::SetUp();
        auto hires = std::make_unique<HiresPicture>();
        for (int i = 0; i < 8000; ++i) {
            hires->bitmap[i] = static_cast<std::uint8_t>(i * 13 + 5);
        }
        hires->screen.fill(0xE6);
        ASSERT_EQ(save_hires_picture(file("pic.art").string(), *hires), 0);
        auto multicolour = std::make_unique<C64Picture>();
        for (int i = 0; i < 8000; ++i) {
            multicolour->bitmap[i] = static_cast<std::uint8_t>(i * 7 + 1);
        }
        multicolour->screen.fill(0x12);
        multicolour->colour.fill(0x03);
        multicolour->background = 0;
        ASSERT_EQ(save_multicolour_picture(file("pic.koa").string(), FORMAT_KOALA, *multicolour), 0);
        ASSERT_EQ(save_multicolour_picture(file("pic.ami").string(), FORMAT_AMICA, *multicolour), 0);
    }

    void script(const std::string& name, const std::string& text) const {
        std::ofstream(file(name), std::ios::binary) << text;
    }

    // The grids of the two-entry script, as snippel cuts them.
    Bytes expected_sprites() const {
        EXPECT_EQ(run("snippel", {"pic", "hires", "-s", "-w24", "-h21", "-06", "-114"}).status, 0);
        EXPECT_EQ(run("snippel", {"pic", "multi", "-w24", "-h42", "-00", "-11", "-22", "-33"}).status, 0);
        Bytes sprites = read_bytes(file("hires.spr"));
        const Bytes multi = read_bytes(file("multi.spr"));
        sprites.insert(sprites.end(), multi.begin(), multi.end());
        return sprites;
    }

    void expect_refused(const std::string& text, ErrorCode code) const {
        script("bad.zbs", text);
        const ProgramResult stock = run("zorbel", {"bad"});
        EXPECT_EQ(stock.status, status_of(code)) << text;
        const ProgramResult supercpu = run("zorbel", {"bad", "-s"});
        EXPECT_EQ(supercpu.status, status_of(code)) << text;
        EXPECT_FALSE(exists("bad.def") || exists("bad.spr") || exists("bad.img")) << text;
    }
};

TEST_F(Zorbel, StockFormatOfTheTwoEntryScript) {
    script("pack.zbs", TWO_ENTRIES);
    const ProgramResult result = run("zorbel", {"pack", "-a8192"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.output, BANNER + "Ended process.\n");
    EXPECT_EQ(read_bytes(file("pack.def")),
              (Bytes{128, 0, 14, 1, 1, 24, 21, 0, 129, 1, 2, 2, 2, 24, 42, 0}));
    const Bytes sprites = read_bytes(file("pack.spr"));
    ASSERT_EQ(sprites.size(), 320u);
    EXPECT_EQ(sprites, expected_sprites());
    EXPECT_EQ(sprites[0], 5) << "colour 6 for bit 0 and 14 for bit 1 keep the bitmap bits";
    EXPECT_EQ(sprites[64], 1) << "colours 0..3 for bits 00..11 keep the bitmap bits";
    EXPECT_EQ(sprites[63], 0);
}

TEST_F(Zorbel, SuperCpuImageOfTheTwoEntryScript) {
    script("pack.zbs", TWO_ENTRIES);
    ASSERT_EQ(run("zorbel", {"pack", "-s"}).status, 0);
    Bytes expected = {2, 0,
                      32, 0, 0, 64, 0, 0, 14, 1, 1, 24, 21, 0, 0, 0, 0, 0,
                      96, 0, 0, 0, 1, 1, 2, 2, 2, 24, 42, 0, 0, 0, 0, 0};
    const Bytes sprites = expected_sprites();
    expected.insert(expected.end(), sprites.begin(), sprites.end());
    const Bytes image = read_bytes(file("pack.img"));
    EXPECT_EQ(image.size(), 354u);
    EXPECT_EQ(image, expected);
    EXPECT_FALSE(exists("pack.def") || exists("pack.spr"));

    // The sprite address changes nothing in this format.
    ASSERT_EQ(run("zorbel", {"pack", "again", "-s", "-a$3000"}).status, 0);
    EXPECT_EQ(read_bytes(file("again.img")), expected);
}

// Each grid is cleared for its own cut only: after a large grid of busy
// sprites, a small one must hold nothing of it (padding and byte 63 of every
// block included), exactly as snippel cuts it alone.
TEST_F(Zorbel, SmallGridAfterALargeOneHoldsOnlyItsOwnSprites) {
    script("pack.zbs",
           "S:pic.art\n"
           "H:x0,y0,w312,h189,06,114\n"
           "H:x8,y3,w30,h20,06,114\n");
    ASSERT_EQ(run("zorbel", {"pack"}).status, 0);
    ASSERT_EQ(run("snippel", {"pic", "large", "-s", "-w312", "-h189", "-06", "-114"}).status, 0);
    ASSERT_EQ(run("snippel", {"pic", "small", "-s", "-x8", "-y3", "-w30", "-h20", "-06", "-114"}).status, 0);
    Bytes expected = read_bytes(file("large.spr"));
    const Bytes small = read_bytes(file("small.spr"));
    ASSERT_EQ(expected.size(), 13u * 9u * 64u);
    ASSERT_EQ(small.size(), 2u * 64u);
    expected.insert(expected.end(), small.begin(), small.end());
    EXPECT_EQ(read_bytes(file("pack.spr")), expected);
    EXPECT_EQ(small[63], 0);
    EXPECT_EQ(small[127], 0);
}

TEST_F(Zorbel, SpritePointersWrapAroundTheBank) {
    script("wrap.zbs",
           "M:x0,y0,w24,h42,00,11,22,33\n"
           "H:x0,y0,w320,h21,00,11\n"
           "H:x0,y0,w1,h1,00,11\n");
    ASSERT_EQ(run("zorbel", {"wrap", "-a65472"}).status, 0);
    EXPECT_EQ(read_bytes(file("wrap.def")), (Bytes{255, 1, 2, 2, 2, 24, 42, 0,   //
                                                  3, 0, 1, 14, 1, 64, 21, 0,     // 255 + 4 wraps to 3
                                                  17, 0, 1, 1, 1, 1, 1, 0}));
    EXPECT_EQ(read_bytes(file("wrap.spr")), Bytes(19 * 64, 0)) << "cuts before any load read all-zero pictures";
}

TEST_F(Zorbel, ScriptSpellingsThatRunAlike) {
    script("pack.zbs", TWO_ENTRIES);
    ASSERT_EQ(run("zorbel", {"pack"}).status, 0);
    const Bytes definitions = read_bytes(file("pack.def"));
    const Bytes sprites = read_bytes(file("pack.spr"));
    const std::vector<std::string> spellings = {
        "s:pic.art\nh:x0,y0,w24,h21,06,114\nk:pic.koa\nm:x0,y0,w24,h42,00,11,22,33\n",
        "S:pic.art\nH:x0,y0,w24,h21,06,114\nK:pic.koa\nM:x0,y0,w24,h42,00,11,22,33",
        "S:pic.art\n\n\nH:x0,y0,w24,h21,06,114\n  \n\tK:pic.koa\r\nM:x0,y0,w24,h42,00,11,22,33\n\n\n",
        "S: pic.art H:x 0,y +0,w24,h21,0 6,114 A:pic.ami M:x0,y0,w24,h42,00,11,22,33",
    };
    for (std::size_t i = 0; i < spellings.size(); ++i) {
        const std::string name = "spelling" + std::to_string(i);
        script(name + ".zbs", spellings[i]);
        ASSERT_EQ(run("zorbel", {name}).status, 0) << spellings[i];
        EXPECT_EQ(read_bytes(file(name + ".def")), definitions) << spellings[i];
        EXPECT_EQ(read_bytes(file(name + ".spr")), sprites) << spellings[i];
    }
}

TEST_F(Zorbel, OutputNames) {
    script("pack.zbs", "H:x0,y0,w24,h21,00,11\n");
    ASSERT_EQ(run("zorbel", {"pack"}).status, 0);
    EXPECT_EQ(read_bytes(file("pack.def")), (Bytes{0, 0, 1, 1, 1, 24, 21, 0}));
    EXPECT_EQ(read_bytes(file("pack.spr")), Bytes(64, 0));
    ASSERT_EQ(run("zorbel", {"pack.zbs", "defs"}).status, 0);
    EXPECT_TRUE(exists("defs.def"));
    ASSERT_EQ(run("zorbel", {"pack", "defs.bin", "grids"}).status, 0);
    EXPECT_TRUE(exists("defs.bin") && exists("grids.spr"));
    ASSERT_EQ(run("zorbel", {"pack", "-s", "-c"}).status, status_of(ERR_PARAMETERS));
    ASSERT_EQ(run("zorbel", {"pack", "-s"}).status, 0);
    EXPECT_TRUE(exists("pack.img"));
    ASSERT_EQ(run("zorbel", {"pack", "image", "ignored", "-S"}).status, 0);
    EXPECT_TRUE(exists("image.img"));
    EXPECT_FALSE(exists("ignored") || exists("ignored.spr"));

    // No output may replace the script or the other output.
    script("x.spr", "H:x0,y0,w24,h21,00,11\n");
    EXPECT_EQ(run("zorbel", {"x.spr"}).status, status_of(ERR_SAME_FILE_NAMES));
    EXPECT_EQ(read_bytes(file("x.spr")).size(), 22u);
    EXPECT_EQ(run("zorbel", {"pack", "out.bin", "out.bin"}).status, status_of(ERR_SAME_FILE_NAMES));
    EXPECT_EQ(run("zorbel", {"pack", "pack.zbs", "-s"}).status, status_of(ERR_SAME_FILE_NAMES));
    EXPECT_FALSE(exists("out.bin"));

    const ProgramResult none = run("zorbel", {});
    EXPECT_EQ(none.status, status_of(ERR_PARAMETERS));
    EXPECT_EQ(none.output, BANNER + error_block("param\x82trage incorrect", ZORBEL_USAGE));
    const ProgramResult help = run("zorbel", {"-?"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.output, BANNER + ZORBEL_USAGE);
}

TEST_F(Zorbel, ScriptsThatAreNoScripts) {
    expect_refused("", ERR_READ);
    expect_refused("\nH:x0,y0,w24,h21,00,11\n", ERR_READ);
    expect_refused(" H:x0,y0,w24,h21,00,11\n", ERR_READ);
    expect_refused("H:x0,y0,w24,h21,00,11\nX:x0\n", ERR_READ);
    EXPECT_EQ(run("zorbel", {"missing"}).status, status_of(ERR_OPEN));
}

TEST_F(Zorbel, MalformedLinesAreRefusedAtOnce) {
    const ProgramResult result = [&] {
        script("bad.zbs", "H:x0,y0,w24,h21,00,116\n");
        return run("zorbel", {"bad"});
    }();
    EXPECT_EQ(result.output, BANNER + error_block("param\x82trage de script incorrect", ZORBEL_USAGE));
    const std::vector<std::string> malformed = {
        "H:x0,y0,w24,h21,00,116\n",            // colour 16
        "M:x0,y0,w24,h21,00,11,2-1,33\n",      // colour -1
        "M:x0,y0,w24,h21,00,11,22,3999999999999\n",
        "Hx0,y0,w24,h21,00,11\n",              // no colon
        "H:x0,y0,24,h21,00,11\n",              // no label
        "H:X0,y0,w24,h21,00,11\n",             // labels are lower case
        "H:x0,y0,w,h21,00,11\n",               // no number
        "H:x0,y0,w24,h21,00\n",                // a field short
        "H:x0,y0,w24,h21,00,21\n",             // wrong pattern digit
        "M:x0,y0,w24,h21,00,11\nM:x0,y0,w24,h21,00,11,22,33\n",
        "H:x0,y0,w65536,h21,00,11\n",          // outside 16 bits
        "H:x-1,y0,w24,h21,00,11\n",
        "K\n",
        "K:\n",
        "S:" + std::string(256, 'n') + "\n",
    };
    for (const std::string& text : malformed) {
        expect_refused(text, ERR_SCRIPT_PARAMETERS);
    }
    // 255 characters fit: the name is taken, and the file is missing.
    expect_refused("S:" + std::string(255, 'n') + "\n", ERR_OPEN);
}

TEST_F(Zorbel, FailingCommandsLeaveTheOutputsAlone) {
    const Bytes earlier = {9, 9};
    write_bytes(file("bad.def"), earlier);
    write_bytes(file("bad.spr"), earlier);
    write_bytes(file("early_end.ami"), {0x00, 0x40, 0xC2, 0x00});
    const std::vector<std::pair<std::string, ErrorCode>> failing = {
        {"H:x0,y0,w24,h21,00,11\nS:missing.art\n", ERR_OPEN},
        {"K:pic.art\n", ERR_READ},
        {"A:early_end.ami\n", ERR_INVALID_AMICA},
        {"H:x0,y0,w24,h21,00,11\nM:x150,y0,w12,h21,00,11,22,33\n", ERR_VALUE_TOO_LARGE},
        {"K:pic.koa\nM:x0,y0,w2424,h43,00,11,22,33\n", ERR_VALUE_TOO_LARGE},
        {"K:pic.koa\nM:x0,y0,w12,h21,00,11,22,34\n", ERR_PARAMETERS},
        {"S:pic.art\nH:x0,y180,w24,h20,06,114\n", ERR_INDEX_OUT_OF_TABLE},
    };
    for (const auto& [text, code] : failing) {
        script("bad.zbs", text);
        EXPECT_EQ(run("zorbel", {"bad"}).status, status_of(code)) << text;
        EXPECT_EQ(read_bytes(file("bad.def")), earlier) << text;
        EXPECT_EQ(read_bytes(file("bad.spr")), earlier) << text;
    }
}

// 1871 grids of 14 by 10 sprites put the last one past 16 megabytes, where
// a 24-bit offset cannot reach it.
TEST_F(Zorbel, SuperCpuOffsetsMustFitInTwentyFourBits) {
    std::string text;
    for (int i = 0; i < 1870; ++i) {
        text += "H:x0,y0,w320,h190,00,11\n";
    }
    script("large.zbs", text);
    ASSERT_EQ(run("zorbel", {"large", "-s"}).status, 0) << "the last offset is 16 * 1870 + 1869 * 8960";
    script("large.zbs", text + "H:x0,y0,w320,h190,00,11\n");
    EXPECT_EQ(run("zorbel", {"large", "too_large", "-s"}).status, status_of(ERR_VALUE_TOO_LARGE));
    EXPECT_FALSE(exists("too_large.img"));
}

}  // namespace
