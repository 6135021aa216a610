// The formats chosen by extension: the table, the generic reader, the GG, JJ
// and Drazpaint packing, and the choice of the format by the file name.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "c64/picture_formats.h"
#include "support/format_files.h"
#include "support/test_pictures.h"

namespace {

namespace fs = std::filesystem;

class PictureFormats : public ::testing::Test {
protected:
    void SetUp() override {
        folder = fs::temp_directory_path() / ("unit_formats_" + std::to_string(::getpid()) + "_" +
                                              ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(folder);
    }
    void TearDown() override { fs::remove_all(folder); }

    std::string write(const std::string& name, const FileBytes& bytes) const {
        const fs::path path = folder / name;
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                    static_cast<std::streamsize>(bytes.size()));
        return path.string();
    }

    // Reads the file as the format its name gives (the switches say Koala).
    ErrorCode load(const std::string& path, C64Picture& picture) const {
        return load_multicolour_input(path, format_of_file_name(path, FORMAT_KOALA), picture);
    }
    ErrorCode load(const std::string& path, HiresPicture& picture) const {
        return load_hires_input(path, format_of_file_name(path, FORMAT_KOALA), picture);
    }

    fs::path folder;
};

bool same_picture(const C64Picture& a, const C64Picture& b) {
    return a.bitmap == b.bitmap && a.screen == b.screen && a.colour == b.colour && a.background == b.background;
}

bool same_picture(const HiresPicture& a, const HiresPicture& b) {
    return a.bitmap == b.bitmap && a.screen == b.screen;
}

TEST(PictureFormatTable, EveryAreaLiesInsideItsRow) {
    for (const PictureFormat& row : picture_format_table) {
        EXPECT_LE(row.bitmap + BITMAP_SIZE, row.data_size) << row.name;
        EXPECT_LE(row.screen + CELL_COUNT, row.data_size) << row.name;
        if (row.mode == PictureMode::multicolour) {
            EXPECT_LE(row.colour + CELL_COUNT, row.data_size) << row.name;
            EXPECT_LT(row.background, row.data_size) << row.name;
        }
        EXPECT_LE(row.data_size, 10240u) << row.name;
    }
}

TEST(PictureFormatTable, ExtensionsChooseTheFormatInAnyCase) {
    const auto hires_named = [](const std::string& name) {
        return picture_format_is_hires(format_of_file_name(name, FORMAT_KOALA));
    };
    EXPECT_TRUE(hires_named("pic.dd"));
    EXPECT_TRUE(hires_named("PIC.DD"));
    EXPECT_TRUE(hires_named("a.koa.Jj"));
    EXPECT_FALSE(hires_named("pic.Ocp"));
    EXPECT_EQ(table_format(format_of_file_name("x.MPIC", FORMAT_KOALA))->name, std::string("Advanced Art Studio"));
    EXPECT_EQ(table_format(format_of_file_name("x.gg", FORMAT_AMICA))->name, std::string("Koala, packed (GG)"));
    // Extensions the table does not list leave the switches' format.
    for (const char* name : {"pic", "pic.koa", "pic.ami", "pic.art", "pic.dd.bak", "pic.", "pic.d", "dd"}) {
        EXPECT_EQ(format_of_file_name(name, FORMAT_AMICA), FORMAT_AMICA) << name;
    }
    EXPECT_TRUE(picture_format_is_hires(format_of_file_name("pic.koa", FORMAT_ART_STUDIO)));
}

TEST_F(PictureFormats, EveryLayoutReadsTheSamePicture) {
    const auto multicolour = random_multicolour_picture(41, 0x0B);
    const auto hires = random_hires_picture(42);
    const C64Picture expected = low_nybble_colours(*multicolour);
    for (const TestLayout& layout : unpacked_layouts()) {
        const std::string name = std::string("pic.") + layout.extension;
        if (layout.hires) {
            const std::string path = write(name, hires_layout_file(layout, *hires));
            auto loaded = std::make_unique<HiresPicture>();
            ASSERT_EQ(load(path, *loaded), ERR_SUCCESS) << name;
            EXPECT_TRUE(same_picture(*loaded, *hires)) << name;
            EXPECT_TRUE(rendered(*loaded)->pixels == rendered(*hires)->pixels) << name;
        } else {
            const std::string path = write(name, multicolour_layout_file(layout, *multicolour));
            auto loaded = std::make_unique<C64Picture>();
            ASSERT_EQ(load(path, *loaded), ERR_SUCCESS) << name;
            EXPECT_TRUE(same_picture(*loaded, expected)) << name;
            EXPECT_TRUE(rendered(*loaded)->pixels == rendered(*multicolour)->pixels) << name;
        }
    }
}

TEST_F(PictureFormats, ShortFilesFailLongerFilesLoad) {
    const auto multicolour = random_multicolour_picture(43, 3);
    const auto hires = random_hires_picture(44);
    for (const TestLayout& layout : unpacked_layouts()) {
        FileBytes file = layout.hires ? hires_layout_file(layout, *hires) : multicolour_layout_file(layout, *multicolour);
        const std::string name = std::string("pic.") + layout.extension;
        auto c64 = std::make_unique<C64Picture>();
        auto hi = std::make_unique<HiresPicture>();
        const auto load_it = [&](const std::string& path) { return layout.hires ? load(path, *hi) : load(path, *c64); };
        file.insert(file.end(), {1, 2, 3});  // Run Paint files of 10006 bytes, Doodle files of 9218
        EXPECT_EQ(load_it(write(name, file)), ERR_SUCCESS) << name;
        file.resize(layout.file_size - 1);
        EXPECT_EQ(load_it(write(name, file)), ERR_READ) << name;
        file.resize(1);
        EXPECT_EQ(load_it(write(name, file)), ERR_READ) << name << " without a whole load address";
        EXPECT_EQ(load_it((folder / ("missing." + std::string(layout.extension))).string()), ERR_OPEN) << name;
    }
}

TEST_F(PictureFormats, LoadAddressIsNotChecked) {
    const auto hires = random_hires_picture(45);
    FileBytes file = hires_layout_file(DOODLE_LAYOUT, *hires);
    for (const std::uint16_t address : {0x1C00, 0x0000, 0xFFFF}) {
        file[0] = static_cast<std::uint8_t>(address & 0xFF);
        file[1] = static_cast<std::uint8_t>(address >> 8);
        auto loaded = std::make_unique<HiresPicture>();
        ASSERT_EQ(load(write("pic.dd", file), *loaded), ERR_SUCCESS) << address;
        EXPECT_TRUE(same_picture(*loaded, *hires));
    }
}

TEST_F(PictureFormats, ArtStudioBackgroundIsTheByteAfterTheBorder) {
    auto picture = uniform_multicolour_picture(5, 0x21, 3);
    FileBytes file = multicolour_layout_file(unpacked_layouts()[3], *picture);
    file[2 + 9000] = 0x0E;  // border
    auto loaded = std::make_unique<C64Picture>();
    ASSERT_EQ(load(write("pic.ocp", file), *loaded), ERR_SUCCESS);
    EXPECT_EQ(loaded->background, 5);
    EXPECT_EQ(rendered(*loaded)->pixels[0], 5) << "pair 00 shows the background, not the border";
}

TEST_F(PictureFormats, PackedFilesReadLikeTheirLayouts) {
    const auto multicolour = random_multicolour_picture(46, 0x0E);
    multicolour->bitmap.fill(0xFE);  // escape bytes as data, and one run from the bitmap into screen memory
    multicolour->screen.fill(0xFE);
    const auto hires = random_hires_picture(47);
    std::fill(hires->bitmap.end() - 700, hires->bitmap.end(), 0x00);
    const C64Picture expected = low_nybble_colours(*multicolour);

    auto c64 = std::make_unique<C64Picture>();
    ASSERT_EQ(load(write("pic.gg", gg_file(*multicolour)), *c64), ERR_SUCCESS);
    EXPECT_TRUE(same_picture(*c64, expected));
    ASSERT_EQ(load(write("pic.drp", drp_file(*multicolour)), *c64), ERR_SUCCESS);
    EXPECT_TRUE(same_picture(*c64, expected));
    ASSERT_EQ(load(write("pic.drp", drp_file(*multicolour, 0xFE)), *c64), ERR_SUCCESS) << "escape of the file's own";
    EXPECT_TRUE(same_picture(*c64, expected));

    // The 9216-byte Doodle image: the last run passes the end of the picture.
    FileBytes doodle = layout_data(hires_layout_file(DOODLE_LAYOUT, *hires));
    doodle.resize(9216, 0x00);
    auto hi = std::make_unique<HiresPicture>();
    ASSERT_EQ(load(write("pic.jj", with_load_address(0x5C00, pack_runs(doodle, 0xFE, false))), *hi), ERR_SUCCESS);
    EXPECT_TRUE(same_picture(*hi, *hires));
}

TEST_F(PictureFormats, PackedStreamsEndAndPad) {
    const auto picture = uniform_multicolour_picture(1, 0x23, 4);
    const FileBytes gg = gg_file(*picture);
    auto loaded = std::make_unique<C64Picture>();
    FileBytes padded = gg;
    padded.insert(padded.end(), {0xFE, 0x00, 0x00, 0x12, 0xFE});  // padding, an unfinished group included
    EXPECT_EQ(load(write("pad.gg", padded), *loaded), ERR_SUCCESS);
    EXPECT_TRUE(same_picture(*loaded, *picture));
    for (const std::size_t cut : {std::size_t{1}, std::size_t{2}, std::size_t{3}}) {
        EXPECT_EQ(load(write("cut.gg", FileBytes(gg.begin(), gg.end() - static_cast<std::ptrdiff_t>(cut))), *loaded),
                  ERR_READ)
            << cut;
    }
    const FileBytes drp = drp_file(*picture);
    EXPECT_EQ(load(write("cut.drp", FileBytes(drp.begin(), drp.end() - 1)), *loaded), ERR_READ);
    EXPECT_EQ(load(write("cut.drp", FileBytes(drp.begin(), drp.begin() + 10)), *loaded), ERR_READ) << "inside the header";
    auto hires = std::make_unique<HiresPicture>();
    EXPECT_EQ(load(write("pic.jj", with_load_address(0x5C00, {0x01, 0xFE, 0x00})), *hires), ERR_READ);
}

TEST_F(PictureFormats, CountZeroIsARunOf256) {
    FileBytes rest = {0xFE, 0x33, 0x00, 0x44};
    rest.resize(rest.size() + 10001, 0x01);
    auto loaded = std::make_unique<C64Picture>();
    ASSERT_EQ(load(write("zero.gg", with_load_address(0x6000, rest)), *loaded), ERR_SUCCESS);
    EXPECT_EQ(std::count(loaded->bitmap.begin(), loaded->bitmap.begin() + 256, 0x33), 256);
    EXPECT_EQ(loaded->bitmap[256], 0x44);
    EXPECT_EQ(loaded->bitmap[257], 0x01);

    // Drazpaint: escape, count, value.
    rest = drazpaint_header(0x9B);
    rest.insert(rest.end(), {0x9B, 0x00, 0x07, 0x9B, 0x03, 0x08});
    rest.resize(rest.size() + 10049, 0x02);
    ASSERT_EQ(load(write("zero.drp", with_load_address(0x5800, rest)), *loaded), ERR_SUCCESS);
    EXPECT_EQ(std::count(loaded->colour.begin(), loaded->colour.begin() + 256, 0x07), 256);
    EXPECT_EQ(std::count(loaded->colour.begin() + 256, loaded->colour.begin() + 259, 0x08), 3);
    EXPECT_EQ(loaded->colour[259], 0x02);
}

TEST_F(PictureFormats, DrazpaintWithoutHeaderIsRefused) {
    const auto picture = uniform_multicolour_picture(1, 0x23, 4);
    FileBytes drp = drp_file(*picture);
    drp[2 + 12] = '3';  // "DRAZPAINT 1.3"
    auto loaded = std::make_unique<C64Picture>();
    EXPECT_EQ(load(write("old.drp", drp), *loaded), ERR_INVALID_DRAZPAINT);
    EXPECT_EQ(load(write("raw.drp", multicolour_layout_file(DRAZPAINT_LAYOUT, *picture)), *loaded),
              ERR_INVALID_DRAZPAINT)
        << "an unpacked Drazpaint file named .drp";
}

TEST_F(PictureFormats, ReaderRefusesARowOfTheOtherMode) {
    auto hi = std::make_unique<HiresPicture>();
    auto c64 = std::make_unique<C64Picture>();
    const std::string path = write("pic.dd", FileBytes(9026, 0));
    EXPECT_EQ(read_table_picture(path, *table_format(format_of_file_name("x.gg", 0)), *hi), ERR_FUNCTION_PARAMETERS);
    EXPECT_EQ(read_table_picture(path, *table_format(format_of_file_name("x.dd", 0)), *c64), ERR_FUNCTION_PARAMETERS);
}

}  // namespace
