// The PCX writer's exact bytes and the reader's checks.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

#include <gtest/gtest.h>
#include <unistd.h>

#include "desktop/pcx.h"
#include "support/test_pictures.h"

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

namespace {

class PcxTest : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string test = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        folder = fs::temp_directory_path() / ("c64suite_pcx_" + std::to_string(getpid()) + "_" + test);
        fs::create_directories(folder);
        path = (folder / "image.pcx").string();
    }
    void TearDown() override { fs::remove_all(folder); }

    Bytes written(const PixelImage& image) const {
        EXPECT_EQ(pcx_write(image, path), 0);
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    // The run-length bytes between the header and the palette marker.
    Bytes pixel_data(const PixelImage& image) const {
        const Bytes file = written(image);
        return Bytes(file.begin() + 128, file.end() - 769);
    }
    void store(const Bytes& bytes) const {
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    ErrorCode read_back(PixelImage& image) const { return pcx_read(path, image); }

    fs::path folder;
    std::string path;
};

Bytes valid_header() {
    Bytes header(128, 0);
    const std::uint8_t start[] = {0x0A, 5, 1, 8, 0, 0, 0, 0, 0x3F, 0x01, 0xC7, 0x00, 0x40, 0x01, 0xC8, 0x00};
    std::copy(std::begin(start), std::end(start), header.begin());
    header[65] = 1;
    header[66] = 0x40;
    header[67] = 0x01;
    return header;
}

Bytes palette_tail() {
    Bytes tail{0x0C};
    for (int i = 0; i < 768; ++i) tail.push_back(static_cast<std::uint8_t>(i * 7));
    return tail;
}

std::unique_ptr<PixelImage> zero_image() {
    auto image = std::make_unique<PixelImage>();
    image->pixels.fill(0);
    for (std::size_t i = 0; i < PALETTE_BYTES; ++i) image->palette[i] = static_cast<std::uint8_t>(i * 7);
    return image;
}

TEST_F(PcxTest, AllZeroImageIsWrittenExactly) {
    const Bytes file = written(*zero_image());
    ASSERT_EQ(file.size(), 3297u);
    EXPECT_EQ(Bytes(file.begin(), file.begin() + 128), valid_header());
    const Bytes row{0xFF, 0, 0xFF, 0, 0xFF, 0, 0xFF, 0, 0xFF, 0, 0xC5, 0};
    for (int y = 0; y < 200; ++y) {
        ASSERT_EQ(Bytes(file.begin() + 128 + 12 * y, file.begin() + 140 + 12 * y), row) << "row " << y;
    }
    EXPECT_EQ(Bytes(file.begin() + 2528, file.end()), palette_tail());
}

TEST_F(PcxTest, RunsAreWrittenRowByRow) {
    auto image = zero_image();
    auto* row0 = image->pixels.data();
    // Row 0: every pixel differs from its neighbours, all below 0xC0.
    for (int x = 0; x < 320; ++x) row0[x] = static_cast<std::uint8_t>(x % 2 == 0 ? x / 2 : 0xBF);

    // Row 1: single 0xC0 and 0xFF, an equal pair below and above 0xC0, then 9s
    // that carry on into row 2.
    auto* row1 = row0 + 320;
    std::fill(row1, row1 + 640, 9);
    row1[0] = 0xC0;
    row1[1] = 0xFF;
    row1[2] = row1[3] = 5;
    row1[4] = row1[5] = 0xC3;
    const Bytes data = pixel_data(*image);
    EXPECT_EQ(Bytes(data.begin(), data.begin() + 320), Bytes(row0, row0 + 320));
    // The 314 nines end row 1 as 4 * 63 + 62; row 2 starts a run of its own.
    const Bytes row1_expected{0xC1, 0xC0, 0xC1, 0xFF, 0xC2, 5, 0xC2, 0xC3, 0xFF, 9, 0xFF, 9, 0xFF, 9, 0xFF, 9, 0xFE, 9};
    EXPECT_EQ(Bytes(data.begin() + 320, data.begin() + 338), row1_expected);
    const Bytes row2_expected{0xFF, 9, 0xFF, 9, 0xFF, 9, 0xFF, 9, 0xFF, 9, 0xC5, 9};
    EXPECT_EQ(Bytes(data.begin() + 338, data.begin() + 350), row2_expected);
}

TEST_F(PcxTest, WrittenImageReadsBackUnchanged) {
    auto image = std::make_unique<PixelImage>();
    TestBytes bytes(7);
    // Short runs of every value, so that count bytes and literals mix.
    for (std::size_t i = 0; i < image->pixels.size();) {
        const std::uint8_t value = bytes.next();
        for (int n = bytes.next() % 5; n >= 0 && i < image->pixels.size(); --n) image->pixels[i++] = value;
    }
    for (auto& byte : image->palette) byte = bytes.next();
    ASSERT_EQ(pcx_write(*image, path), 0);
    auto back = std::make_unique<PixelImage>();
    ASSERT_EQ(read_back(*back), 0);
    EXPECT_TRUE(image->pixels == back->pixels);
    EXPECT_TRUE(image->palette == back->palette);
}

TEST_F(PcxTest, ForeignStreamDecodesAcrossRows) {
    Bytes file = valid_header();
    file[12] = 0x2C;  // resolutions, header palette and palette word are not checked
    file[20] = 0x99;
    file[68] = 2;
    // 319 pixels of 1, then a run of 3 pixels of 2 crossing into row 1, an empty
    // run (C0) that eats its value, a literal, then 63-runs of 4 overshooting
    // the last pixel.
    for (int i = 0; i < 5; ++i) file.insert(file.end(), {0xFF, 1});
    file.insert(file.end(), {0xC4, 1, 0xC3, 2, 0xC0, 0x77, 0x33});
    for (int i = 0; i < 1011; ++i) file.insert(file.end(), {0xFF, 4});
    const Bytes tail = palette_tail();
    file.insert(file.end(), tail.begin(), tail.end());
    file.insert(file.end(), {1, 2, 3});  // trailing bytes are ignored
    store(file);
    auto image = std::make_unique<PixelImage>();
    ASSERT_EQ(read_back(*image), 0);
    EXPECT_EQ(image->pixels[318], 1);
    EXPECT_EQ(image->pixels[319], 2);
    EXPECT_EQ(image->pixels[320], 2);
    EXPECT_EQ(image->pixels[321], 2);
    EXPECT_EQ(image->pixels[322], 0x33);
    EXPECT_EQ(image->pixels[323], 4);
    EXPECT_EQ(image->pixels[63999], 4);
    EXPECT_EQ(image->palette[1], 7);
    EXPECT_EQ(image->palette[767], static_cast<std::uint8_t>(767 * 7));
}

TEST_F(PcxTest, ReaderRejectsOtherKindsOfPcx) {
    auto image = std::make_unique<PixelImage>();
    const Bytes good = written(*zero_image());
    struct Change {
        std::size_t offset;
        std::uint8_t value;
    };
    // Manufacturer, version 3, encoding, 4 bits, Xmin, Ymin, Xmax 320, Ymax,
    // reserved, planes, bytes per line 321.
    const Change changes[] = {{0, 0x0B}, {1, 3},     {2, 0},     {3, 4},  {4, 1},   {6, 1},
                              {8, 0x40}, {10, 0xC8}, {64, 1},    {65, 3}, {66, 0x41}};
    for (const Change& change : changes) {
        Bytes file = good;
        file[change.offset] = change.value;
        store(file);
        EXPECT_EQ(read_back(*image), ERR_INVALID_PCX) << "offset " << change.offset;
    }
    Bytes wrong_marker = good;
    wrong_marker[good.size() - 769] = 0x0D;
    store(wrong_marker);
    EXPECT_EQ(read_back(*image), ERR_INVALID_PCX);
}

// A long file whose palette starts a hundred bytes before the 16384th byte:
// the reader takes its input in blocks, and the palette must come whole from
// the end of one and the start of the next. Cut short after that boundary,
// the file must still fail.
TEST_F(PcxTest, PaletteAcrossAReadBlockLoadsWholeOrFails) {
    constexpr int literal_pixels = 14586;  // 14586 literals and 785 runs: 16156 bytes
    Bytes file = valid_header();
    for (int i = 0; i < literal_pixels; ++i) file.push_back(static_cast<std::uint8_t>(i % 0xC0));
    for (int run = 0; run < 784; ++run) file.insert(file.end(), {0xFF, 9});
    file.insert(file.end(), {0xC0 + 22, 9});
    ASSERT_EQ(file.size(), 16384u - 100u);
    const Bytes tail = palette_tail();
    file.insert(file.end(), tail.begin(), tail.end());
    store(file);
    auto image = std::make_unique<PixelImage>();
    ASSERT_EQ(read_back(*image), 0);
    EXPECT_EQ(image->pixels[literal_pixels - 1], (literal_pixels - 1) % 0xC0);
    EXPECT_EQ(image->pixels[literal_pixels], 9);
    EXPECT_EQ(image->pixels[63999], 9);
    for (std::size_t i = 0; i < PALETTE_BYTES; ++i) {
        ASSERT_EQ(image->palette[i], static_cast<std::uint8_t>(i * 7)) << "palette byte " << i;
    }
    store(Bytes(file.begin(), file.end() - 200));
    EXPECT_EQ(read_back(*image), ERR_READ);
}

TEST_F(PcxTest, TruncatedOrMissingFilesFail) {
    auto image = std::make_unique<PixelImage>();
    const Bytes good = written(*zero_image());
    // Inside the header, inside the data (after a count byte), before the
    // marker, inside the palette.
    for (const std::size_t size : {std::size_t{100}, std::size_t{128 + 11}, good.size() - 769, good.size() - 1}) {
        store(Bytes(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(size)));
        EXPECT_EQ(read_back(*image), ERR_READ) << "size " << size;
    }
    EXPECT_EQ(pcx_read((folder / "missing.pcx").string(), *image), ERR_OPEN);
    EXPECT_EQ(pcx_write(*image, (folder / "no" / "such.pcx").string()), ERR_OPEN);
}

}  // namespace
