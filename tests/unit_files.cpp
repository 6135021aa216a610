// File names, stream helpers and the three picture file formats.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <unistd.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "frame/file_names.h"
#include "c64/picture.h"
#include "frame/switches.h"

namespace {

namespace fs = std::filesystem;

std::unique_ptr<SwitchTable> table_with_names(std::vector<std::string> names) {
    auto table = std::make_unique<SwitchTable>();
    init_switch_table(*table);
    names.insert(names.begin(), "tool");
    std::vector<char*> argv;
    for (auto& name : names) {
        argv.push_back(name.data());
    }
    EXPECT_EQ(parse_command_line(*table, static_cast<int>(argv.size()), argv.data()), 0);
    return table;
}

std::string got_name(const std::string& typed, const char* extension) {
    std::string name;
    const ErrorCode code = get_file_name(*table_with_names({typed}), 1, extension, name);
    return code < 0 ? "error " + std::to_string(code) : name;
}

std::string derived_name(const std::string& typed, const char* extension) {
    std::string name;
    const ErrorCode code = derive_file_name(*table_with_names({typed}), 1, extension, name);
    return code < 0 ? "error " + std::to_string(code) : name;
}

TEST(FileNames, DefaultAndKeptExtensions) {
    EXPECT_EQ(got_name("font", "fnt"), "font.fnt");
    EXPECT_EQ(got_name("font.bin", "fnt"), "font.bin");
    EXPECT_EQ(got_name("font.", "fnt"), "error -8");
    EXPECT_EQ(got_name("../pics/title", "koa"), "../pics/title") << "the last '.' anywhere counts";
    std::string name;
    EXPECT_EQ(get_file_name(*table_with_names({"a"}), 2, "koa", name), ERR_PARAMETERS);
}

TEST(FileNames, DerivedNames) {
    EXPECT_EQ(derived_name("font", "koa"), "font.koa");
    EXPECT_EQ(derived_name("font.bin", "koa"), "font.koa");
    EXPECT_EQ(derived_name("font.", "koa"), "font.koa");
    EXPECT_EQ(derived_name("a.b.c", "koa"), "a.b.koa");
    EXPECT_EQ(derived_name("../pics/title", "koa"), "..koa");
    const std::string longest(255, 'n');
    EXPECT_EQ(derived_name(longest, "koa"), longest + ".koa");
}

class PictureFiles : public ::testing::Test {
protected:
    void SetUp() override {
        folder = fs::temp_directory_path() / ("c64suite_unit_" + std::to_string(::getpid()));
        fs::create_directories(folder);
    }
    void TearDown() override { fs::remove_all(folder); }
    std::string path(const std::string& name) const { return (folder / name).string(); }
    void write(const std::string& name, const std::vector<std::uint8_t>& bytes) const {
        std::ofstream out(path(name), std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    std::vector<std::uint8_t> read(const std::string& name) const {
        std::ifstream in(path(name), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    ErrorCode read_amica(const std::vector<std::uint8_t>& file_bytes) const {
        write("test.ami", file_bytes);
        auto image = std::make_unique<AmicaImage>();
        return read_amica_file(path("test.ami"), *image);
    }
    fs::path folder;
};

TEST_F(PictureFiles, StreamHelpers) {
    {
        FileHandle file = FileHandle::open(path("word"), "wb");
        ASSERT_TRUE(file.is_open());
        EXPECT_EQ(write_word(0x00C2, file.get()), 0);
        EXPECT_EQ(file.close(), 0);
    }
    EXPECT_EQ(read("word"), (std::vector<std::uint8_t>{0xC2, 0x00}));
    write("three", {1, 2, 3});
    std::uint8_t buffer[4] = {};
    FileHandle file = FileHandle::open(path("three"), "rb");
    EXPECT_EQ(read_block_and_close(file, buffer, 4), ERR_READ);
    FileHandle again = FileHandle::open(path("three"), "rb");
    EXPECT_EQ(read_block_and_close(again, buffer, 3), 0);
    EXPECT_FALSE(again.is_open());
    // A full disk shows only when the buffer is flushed: still a write error.
    if (fs::exists("/dev/full")) {
        EXPECT_EQ(write_whole_file("/dev/full", buffer, 3), ERR_WRITE);
    }
}

TEST_F(PictureFiles, KoalaSizes) {
    auto image = std::make_unique<KoalaImage>();
    std::vector<std::uint8_t> bytes(10002, 7);
    write("short.koa", bytes);
    EXPECT_EQ(read_koala_file(path("short.koa"), *image), ERR_READ);
    bytes.assign(10004, 7);
    bytes[10002] = 9;
    write("long.koa", bytes);
    EXPECT_EQ(read_koala_file(path("long.koa"), *image), 0);
    EXPECT_EQ(image->bytes[10002], 9);
    EXPECT_EQ(read_koala_file(path("missing.koa"), *image), ERR_OPEN);

    auto picture = std::make_unique<C64Picture>();
    koala_to_picture(*image, *picture);
    EXPECT_EQ(picture->background, 9);
    picture_to_koala(*picture, *image);
    EXPECT_EQ(write_koala_file(path("out.koa"), *image), 0);
    const std::vector<std::uint8_t> written = read("out.koa");
    ASSERT_EQ(written.size(), 10003u);
    EXPECT_EQ(written[0], 0x00);
    EXPECT_EQ(written[1], 0x60);
    EXPECT_EQ(written[10002], 9);
    EXPECT_EQ(write_koala_file(path("no/such/folder.koa"), *image), ERR_CREATE);
}

TEST_F(PictureFiles, ArtStudioLayout) {
    auto picture = std::make_unique<HiresPicture>();
    picture->bitmap.fill(0xAA);
    picture->screen.fill(0x1E);
    auto image = std::make_unique<ArtStudioImage>();
    image->bytes.fill(0x55);
    hires_to_art_studio(*picture, *image);
    EXPECT_EQ(write_art_studio_file(path("pic.art"), *image), 0);
    const std::vector<std::uint8_t> bytes = read("pic.art");
    ASSERT_EQ(bytes.size(), 9009u);
    EXPECT_EQ(bytes[0], 0x00);
    EXPECT_EQ(bytes[1], 0x20);
    EXPECT_EQ(bytes[2], 0xAA);
    EXPECT_EQ(bytes[8001], 0xAA);
    EXPECT_EQ(bytes[8002], 0x1E);
    EXPECT_EQ(bytes[9001], 0x1E);
    EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin() + 9002, bytes.end()), std::vector<std::uint8_t>(7, 0));
    write("short.art", std::vector<std::uint8_t>(9008));
    EXPECT_EQ(read_art_studio_file(path("short.art"), *image), ERR_READ);
}

std::vector<std::uint8_t> amica_file(const std::vector<std::uint8_t>& stream) {
    std::vector<std::uint8_t> file(stream.size() + 2);
    file[1] = 0x40;
    std::copy(stream.begin(), stream.end(), file.begin() + 2);
    return file;
}

TEST_F(PictureFiles, AmicaStreamRules) {
    std::vector<std::uint8_t> literals(AMICA_PACKED_SPAN, 0x11);
    std::vector<std::uint8_t> stream = literals;
    stream.insert(stream.end(), {0xC2, 0x00});
    EXPECT_EQ(read_amica(amica_file(stream)), 0) << "all literals, then the marker";

    std::vector<std::uint8_t> early(literals.begin(), literals.end() - 1);
    early.insert(early.end(), {0xC2, 0x00});
    EXPECT_EQ(read_amica(amica_file(early)), ERR_INVALID_AMICA) << "marker one byte early";

    EXPECT_EQ(read_amica(amica_file(literals)), ERR_READ) << "all data but no marker";

    std::vector<std::uint8_t> literal_at_end = literals;
    literal_at_end.push_back(0x11);
    EXPECT_EQ(read_amica(amica_file(literal_at_end)), ERR_INVALID_AMICA) << "a literal where the marker is due";

    std::vector<std::uint8_t> run_at_end = literals;
    run_at_end.insert(run_at_end.end(), {0xC2, 0x01, 0x11});
    EXPECT_EQ(read_amica(amica_file(run_at_end)), ERR_INVALID_AMICA) << "a run where the marker is due";

    std::vector<std::uint8_t> overflow(literals.begin(), literals.end() - 2);
    overflow.insert(overflow.end(), {0xC2, 0x03, 0x11, 0xC2, 0x00});
    EXPECT_EQ(read_amica(amica_file(overflow)), ERR_INVALID_AMICA) << "a run past the end";

    EXPECT_EQ(read_amica({0x00}), ERR_READ) << "no data at all";
    EXPECT_EQ(read_amica({}), ERR_READ);
}

TEST_F(PictureFiles, AmicaPackerBytes) {
    auto image = std::make_unique<AmicaImage>();
    image->bytes.fill(0);
    std::vector<std::uint8_t> expected;
    for (int i = 0; i < 40; ++i) {
        expected.insert(expected.end(), {0xC2, 0xFF, 0x00});
    }
    expected.insert(expected.end(), {0xC2, 57, 0x00});
    EXPECT_EQ(pack_amica_data(*image), expected);
    ASSERT_EQ(write_amica_file(path("zero.ami"), *image), 0);
    std::vector<std::uint8_t> file{0x00, 0x40};
    file.insert(file.end(), expected.begin(), expected.end());
    file.insert(file.end(), {0xC2, 0x00});
    EXPECT_EQ(read("zero.ami"), file);

    // A pair in the middle stays two literals, a final pair becomes a run,
    // a single C2 is always escaped.
    for (std::size_t i = 0; i < AMICA_PACKED_SPAN; ++i) {
        image->bytes[2 + i] = static_cast<std::uint8_t>(i % 2 == 0 ? 0x10 : 0x20);
    }
    image->bytes[2 + 100] = 0x20;  // 0x20 0x20 0x20: a run of three
    image->bytes[2 + 200] = 0xC2;
    image->bytes[2 + 301] = 0x30;  // 0x30 0x30: a pair
    image->bytes[2 + 302] = 0x30;
    image->bytes[2 + AMICA_PACKED_SPAN - 2] = 0x77;
    image->bytes[2 + AMICA_PACKED_SPAN - 1] = 0x77;
    const std::vector<std::uint8_t> packed = pack_amica_data(*image);
    const std::vector<std::uint8_t> tail(packed.end() - 3, packed.end());
    EXPECT_EQ(tail, (std::vector<std::uint8_t>{0xC2, 0x02, 0x77}));
    const std::vector<std::uint8_t> head(packed.begin(), packed.begin() + 99);
    EXPECT_EQ(head[98], 0x10);
    EXPECT_EQ(std::vector<std::uint8_t>(packed.begin() + 99, packed.begin() + 102),
              (std::vector<std::uint8_t>{0xC2, 0x03, 0x20}));
    const std::vector<std::uint8_t> escaped_c2{0xC2, 0x01, 0xC2};
    EXPECT_NE(std::search(packed.begin(), packed.end(), escaped_c2.begin(), escaped_c2.end()), packed.end());
    const std::vector<std::uint8_t> literal_pair{0x10, 0x30, 0x30, 0x20};
    EXPECT_NE(std::search(packed.begin(), packed.end(), literal_pair.begin(), literal_pair.end()), packed.end());
}

TEST_F(PictureFiles, AmicaPackThenUnpackGivesBackEveryImage) {
    auto image = std::make_unique<AmicaImage>();
    auto back = std::make_unique<AmicaImage>();
    unsigned seed = 12345;
    for (int round = 0; round < 6; ++round) {
        for (std::size_t i = 2; i < AMICA_IMAGE_SIZE; ++i) {
            seed = seed * 1103515245 + 12345;
            const unsigned spread = round == 0 ? 256 : (round < 3 ? 3 : 2);  // random, then long runs
            image->bytes[i] = static_cast<std::uint8_t>(round % 2 == 1 ? 0xC2 - (seed >> 16) % spread : (seed >> 16) % spread);
        }
        if (round == 5) {
            std::fill(image->bytes.begin() + 2, image->bytes.end(), 0xC2);
        }
        ASSERT_EQ(write_amica_file(path("round.ami"), *image), 0);
        back->bytes.fill(0x99);
        ASSERT_EQ(read_amica_file(path("round.ami"), *back), 0) << "round " << round;
        EXPECT_TRUE(std::equal(image->bytes.begin() + 2, image->bytes.end(), back->bytes.begin() + 2))
            << "round " << round;
        EXPECT_EQ(back->bytes[0], 0x99) << "the reader leaves the load address alone";
    }
}

TEST(ColourSet, Membership) {
    const std::uint8_t cell_01[] = {0, 1};
    const std::uint8_t allowed_10[] = {1, 0};
    const std::uint8_t cell_02[] = {0, 2};
    const std::uint8_t allowed_01[] = {0, 1};
    const std::uint8_t fives[] = {5, 5};
    EXPECT_EQ(colours_in_set(cell_01, allowed_10, 2), 0);
    EXPECT_EQ(colours_in_set(cell_02, allowed_01, 2), ERR_PARAMETERS);
    EXPECT_EQ(colours_in_set(fives, fives, 2), 0);
}

}  // namespace
