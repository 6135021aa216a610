// The PNG writer's file, the reader on every kind of PNG, its sizes and its
// refusals, and the choice of format by name.
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

#include <gtest/gtest.h>
#include <unistd.h>

#include "desktop/desktop_image.h"
#include "desktop/png_file.h"
#include "support/png_builder.h"
#include "support/test_pictures.h"

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

namespace {

class PngTest : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string test = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        folder = fs::temp_directory_path() / ("c64suite_png_" + std::to_string(getpid()) + "_" + test);
        fs::create_directories(folder);
        path = (folder / "image.png").string();
    }
    void TearDown() override { fs::remove_all(folder); }

    Bytes written(const PixelImage& image) const {
        EXPECT_EQ(png_write(image, path), 0);
        return load();
    }
    Bytes load() const {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    void store(const Bytes& bytes) const {
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    ErrorCode read_back(bool multicolour = true) {
        return png_read(path, multicolour, *image, framing);
    }

    fs::path folder;
    std::string path;
    std::unique_ptr<ColourImage> image = std::make_unique<ColourImage>();
    PictureFraming framing{};
};

// C64 colour number of picture pixel (x, y): every colour, in changing runs.
std::uint8_t colour_at(int x, int y) {
    return static_cast<std::uint8_t>((x / 3 + y / 5 * 7 + (x * y) % 3) % 16);
}

std::uint32_t rgb(int palette, int colour) {
    const auto& entry = c64_palettes[static_cast<std::size_t>(palette)][static_cast<std::size_t>(colour)];
    return static_cast<std::uint32_t>(entry[0]) << 16 | static_cast<std::uint32_t>(entry[1]) << 8 | entry[2];
}

std::vector<png_color> c64_png_palette(int palette, int entries) {
    std::vector<png_color> colours;
    for (int colour = 0; colour < entries; ++colour) {
        const std::uint32_t value = rgb(palette, colour % 16);
        colours.push_back({static_cast<png_byte>(value >> 16), static_cast<png_byte>(value >> 8),
                           static_cast<png_byte>(value)});
    }
    return colours;
}

std::unique_ptr<PixelImage> pattern_image(int palette) {
    auto pixels = std::make_unique<PixelImage>();
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 320; ++x) pixels->pixels[static_cast<std::size_t>(y * 320 + x)] = colour_at(x, y);
    pixels->palette.fill(0);
    for (int colour = 0; colour < 16; ++colour)
        for (int channel = 0; channel < 3; ++channel)
            pixels->palette[static_cast<std::size_t>(colour * 3 + channel)] =
                c64_palettes[static_cast<std::size_t>(palette)][static_cast<std::size_t>(colour)]
                            [static_cast<std::size_t>(channel)];
    return pixels;
}

void expect_colours(const ColourImage& image, const std::function<std::uint32_t(int, int)>& expected) {
    for (int y = 0; y < 200; ++y) {
        for (int x = 0; x < 320; ++x) {
            ASSERT_EQ(colour_of_pixel(image, static_cast<std::size_t>(y * 320 + x)), expected(x, y))
                << "x " << x << " y " << y;
        }
    }
}

TEST_F(PngTest, WriterStoresIndicesAndPaletteAtFourBits) {
    const auto pixels = pattern_image(5);
    pixels->palette[16 * 3] = 0x77;  // beyond the indices used: not stored
    const Bytes file = written(*pixels);
    StoredPng stored;
    ASSERT_TRUE(decode_stored_png(file, stored));
    EXPECT_EQ(stored.width, 320);
    EXPECT_EQ(stored.height, 200);
    EXPECT_EQ(stored.colour_type, PNG_COLOR_TYPE_PALETTE);
    EXPECT_EQ(stored.bit_depth, 4);
    ASSERT_EQ(stored.palette.size(), 16u);
    for (int colour = 0; colour < 16; ++colour) {
        const png_color& entry = stored.palette[static_cast<std::size_t>(colour)];
        EXPECT_EQ(static_cast<std::uint32_t>(entry.red << 16 | entry.green << 8 | entry.blue), rgb(5, colour));
    }
    EXPECT_TRUE(std::equal(stored.indices.begin(), stored.indices.end(), pixels->pixels.begin()));
}

TEST_F(PngTest, WriterGoesToEightBitsForValuesAbove15) {
    auto pixels = pattern_image(0);
    for (std::size_t entry = 0; entry < 256; ++entry) pixels->palette[entry * 3 + 1] = static_cast<std::uint8_t>(entry);
    pixels->pixels[12345] = 200;
    const Bytes file = written(*pixels);
    StoredPng stored;
    ASSERT_TRUE(decode_stored_png(file, stored));
    EXPECT_EQ(stored.bit_depth, 8);
    ASSERT_EQ(stored.palette.size(), 201u);  // up to the highest index used
    EXPECT_EQ(stored.palette[200].green, 200);
    EXPECT_EQ(stored.palette[200].red, pixels->palette[600]);
    EXPECT_TRUE(std::equal(stored.indices.begin(), stored.indices.end(), pixels->pixels.begin()));
}

// The writer's exact bytes: a faster packing or encoder setup must not change
// a single one (the checksums of files written by the settled writer with
// the zlib the programs link).
TEST_F(PngTest, WriterBytesArePinned) {
    const auto four_bits = pattern_image(5);
    Bytes file = written(*four_bits);
    EXPECT_EQ(file.size(), 24360u);
    EXPECT_EQ(crc32(0, file.data(), static_cast<uInt>(file.size())), 2703459855u);

    auto eight_bits = pattern_image(0);
    for (std::size_t pixel = 0; pixel < IMAGE_PIXELS; pixel += 101) {
        eight_bits->pixels[pixel] = static_cast<std::uint8_t>(16 + pixel % 200);
    }
    file = written(*eight_bits);
    EXPECT_EQ(file.size(), 34462u);
    EXPECT_EQ(crc32(0, file.data(), static_cast<uInt>(file.size())), 577281452u);
}

TEST_F(PngTest, WriterReportsCreateAndWriteFailures) {
    EXPECT_EQ(png_write(*pattern_image(0), (folder / "missing" / "x.png").string()), ERR_OPEN);
    if (fs::exists("/dev/full")) {
        EXPECT_EQ(png_write(*pattern_image(0), "/dev/full"), ERR_WRITE);
    }
}

TEST_F(PngTest, WrittenFileReadsBackByIndicesAndColours) {
    const auto pixels = pattern_image(12);
    written(*pixels);
    ASSERT_EQ(read_back(), 0);
    EXPECT_TRUE(image->has_indices);
    EXPECT_TRUE(std::equal(image->indices.begin(), image->indices.end(), pixels->pixels.begin()));
    expect_colours(*image, [](int x, int y) { return rgb(12, colour_at(x, y)); });
    EXPECT_EQ(image->x_offset, 0);
    EXPECT_EQ(image->y_offset, 0);
    EXPECT_EQ(image->x_divisor, 1);
}

TEST_F(PngTest, PaletteFilesOfEveryDepthAndInterlacing) {
    for (const int depth : {1, 2, 4, 8}) {
        for (const bool interlaced : {false, true}) {
            const int values = 1 << std::min(depth, 4);
            TestPng recipe{320, 200, PNG_COLOR_TYPE_PALETTE, depth, interlaced, c64_png_palette(3, 1 << depth),
                         [&](int x, int y) {
                             return std::array<std::uint16_t, 4>{static_cast<std::uint16_t>(colour_at(x, y) % values)};
                         }};
            store(build_png(recipe));
            ASSERT_EQ(read_back(), 0) << "depth " << depth;
            EXPECT_TRUE(image->has_indices);
            for (std::size_t pixel = 0; pixel < IMAGE_PIXELS; pixel += 97) {
                const int x = static_cast<int>(pixel % 320), y = static_cast<int>(pixel / 320);
                ASSERT_EQ(image->indices[pixel], colour_at(x, y) % values) << "depth " << depth;
                ASSERT_EQ(colour_of_pixel(*image, pixel), rgb(3, colour_at(x, y) % values)) << "depth " << depth;
            }
        }
    }
}

TEST_F(PngTest, GreyFilesSpreadToTheFullRange) {
    for (const int depth : {1, 2, 4, 8, 16}) {
        const int top = (1 << depth) - 1;
        for (const int type : {PNG_COLOR_TYPE_GRAY, PNG_COLOR_TYPE_GRAY_ALPHA}) {
            if (type == PNG_COLOR_TYPE_GRAY_ALPHA && depth < 8) continue;
            // At 16 bits the 8-bit grey g is stored as g * 257.
            const int stored_step = depth == 16 ? 17 * 257 : 1;
            TestPng recipe{320, 200, type, depth, depth == 2, {}, [&](int x, int y) {
                             return std::array<std::uint16_t, 4>{
                                 static_cast<std::uint16_t>(colour_at(x, y) % (std::min(top, 15) + 1) * stored_step),
                                 static_cast<std::uint16_t>(x)};
                         }};
            store(build_png(recipe));
            ASSERT_EQ(read_back(), 0) << "depth " << depth;
            EXPECT_FALSE(image->has_indices);
            const int level = depth >= 8 ? (depth == 16 ? 17 : 1) : 255 / top;
            expect_colours(*image, [&](int x, int y) {
                const std::uint32_t grey = static_cast<std::uint32_t>(colour_at(x, y) % (std::min(top, 15) + 1) * level);
                return grey << 16 | grey << 8 | grey;
            });
        }
    }
}

TEST_F(PngTest, RgbFilesWithAndWithoutAlphaAt8And16Bits) {
    for (const int depth : {8, 16}) {
        for (const int type : {PNG_COLOR_TYPE_RGB, PNG_COLOR_TYPE_RGB_ALPHA}) {
            const int scale = depth == 16 ? 257 : 1;
            TestPng recipe{320, 200, type, depth, type == PNG_COLOR_TYPE_RGB_ALPHA, {}, [&](int x, int y) {
                             const std::uint32_t value = rgb(7, colour_at(x, y));
                             return std::array<std::uint16_t, 4>{
                                 static_cast<std::uint16_t>((value >> 16) * scale),
                                 static_cast<std::uint16_t>((value >> 8 & 0xFF) * scale),
                                 static_cast<std::uint16_t>((value & 0xFF) * scale),
                                 static_cast<std::uint16_t>((x + y) % 3 * 100)};  // alpha is ignored
                         }};
            store(build_png(recipe));
            ASSERT_EQ(read_back(), 0) << "depth " << depth;
            EXPECT_FALSE(image->has_indices);
            expect_colours(*image, [](int x, int y) { return rgb(7, colour_at(x, y)); });
        }
    }
}

// An emulator screenshot: the border around the picture is dropped.
TEST_F(PngTest, ScreenshotSizeIsCroppedAt32And35) {
    TestPng recipe{384, 272, PNG_COLOR_TYPE_RGB, 8, false, {}, [](int x, int y) {
                     const bool inside = x >= 32 && x < 352 && y >= 35 && y < 235;
                     const std::uint32_t value = inside ? rgb(12, colour_at(x - 32, y - 35)) : 0x123456;
                     return std::array<std::uint16_t, 4>{static_cast<std::uint16_t>(value >> 16),
                                                         static_cast<std::uint16_t>(value >> 8 & 0xFF),
                                                         static_cast<std::uint16_t>(value & 0xFF)};
                 }};
    store(build_png(recipe));
    ASSERT_EQ(read_back(false), 0);
    expect_colours(*image, [](int x, int y) { return rgb(12, colour_at(x, y)); });
    EXPECT_EQ(image->x_offset, 32);
    EXPECT_EQ(image->y_offset, 35);
    EXPECT_EQ(image->x_divisor, 1);
}

TEST_F(PngTest, NarrowImageIsDoubledInMulticolourOnly) {
    TestPng recipe{160, 200, PNG_COLOR_TYPE_PALETTE, 4, false, c64_png_palette(12, 16), [](int x, int y) {
                     return std::array<std::uint16_t, 4>{colour_at(x, y)};
                 }};
    store(build_png(recipe));
    ASSERT_EQ(read_back(true), 0);
    for (std::size_t pixel = 0; pixel < IMAGE_PIXELS; ++pixel) {
        const int x = static_cast<int>(pixel % 320), y = static_cast<int>(pixel / 320);
        ASSERT_EQ(image->indices[pixel], colour_at(x / 2, y)) << "x " << x << " y " << y;
    }
    EXPECT_EQ(image->x_divisor, 2);
    EXPECT_EQ(read_back(false), ERR_INVALID_PNG);
    EXPECT_EQ(framing.width, 160);
    EXPECT_EQ(framing.verdict, FramingVerdict::size_refused);
    EXPECT_EQ(describe_refused_framing(framing, false),
              "png image of 160 x 200: accepted sizes are 320 x 200, 384 x 272, 160 x 200 (multicolour only), any "
              "size up to 2048 x 2048 with the picture centred in a one-colour frame, and these enlarged 2, 3 or 4 "
              "times\n");
}

// Palette rows are unpacked by the reader: every depth, cropped from a
// screenshot and doubled from a narrow image, interlaced or not.
TEST_F(PngTest, PaletteScreenshotsAndNarrowImagesOfEveryDepth) {
    for (const int depth : {1, 2, 4, 8}) {
        for (const bool interlaced : {false, true}) {
            const int values = 1 << std::min(depth, 4);
            const auto index = [values](int x, int y) { return static_cast<std::uint16_t>(colour_at(x, y) % values); };
            TestPng screenshot{384, 272, PNG_COLOR_TYPE_PALETTE, depth, interlaced, c64_png_palette(3, 1 << depth),
                               [&](int x, int y) {
                                   const bool inside = x >= 32 && x < 352 && y >= 35 && y < 235;
                                   // A border of another pattern: a wrong crop shows.
                                   return std::array<std::uint16_t, 4>{
                                       inside ? index(x - 32, y - 35) : static_cast<std::uint16_t>((x + 1) % values)};
                               }};
            store(build_png(screenshot));
            ASSERT_EQ(read_back(), 0) << "depth " << depth;
            for (std::size_t pixel = 0; pixel < IMAGE_PIXELS; ++pixel) {
                const int x = static_cast<int>(pixel % 320), y = static_cast<int>(pixel / 320);
                ASSERT_EQ(image->indices[pixel], index(x, y))
                    << "screenshot, depth " << depth << " x " << x << " y " << y;
            }
            TestPng narrow{160, 200, PNG_COLOR_TYPE_PALETTE, depth, interlaced, c64_png_palette(3, 1 << depth),
                           [&](int x, int y) { return std::array<std::uint16_t, 4>{index(x, y)}; }};
            store(build_png(narrow));
            ASSERT_EQ(read_back(), 0) << "depth " << depth;
            for (std::size_t pixel = 0; pixel < IMAGE_PIXELS; ++pixel) {
                const int x = static_cast<int>(pixel % 320), y = static_cast<int>(pixel / 320);
                ASSERT_EQ(image->indices[pixel], index(x / 2, y))
                    << "narrow, depth " << depth << " x " << x << " y " << y;
            }
        }
    }
}

// At 4 bits an index can lie beyond a palette of fewer than 16 entries.
TEST_F(PngTest, FourBitIndexBeyondAShortPaletteIsRefused) {
    TestPng recipe{320, 200, PNG_COLOR_TYPE_PALETTE, 4, false, c64_png_palette(12, 10), [](int x, int y) {
                     return std::array<std::uint16_t, 4>{static_cast<std::uint16_t>(x == 319 && y == 199 ? 10 : 9)};
                 }};
    store(build_png(recipe));
    EXPECT_EQ(read_back(), ERR_INVALID_PNG);
}

TEST_F(PngTest, OtherSizesAreRefusedWithTheirSize) {
    for (const auto& [width, height] :
         {std::pair{319, 200}, {320, 199}, {1, 1}, {200, 160}, {2049, 200}, {320, 2049}, {160, 400}}) {
        TestPng recipe{width, height, PNG_COLOR_TYPE_GRAY, 8, false, {}, [](int, int) {
                         return std::array<std::uint16_t, 4>{};
                     }};
        store(build_png(recipe));
        EXPECT_EQ(read_back(), ERR_INVALID_PNG) << width << " x " << height;
        EXPECT_EQ(framing.width, width);
        EXPECT_EQ(framing.height, height);
        EXPECT_EQ(framing.verdict, FramingVerdict::size_refused);
        EXPECT_FALSE(picture_size_possible(width, height, true));
    }
    framing.width = 100;
    framing.height = 64;
    EXPECT_EQ(describe_refused_framing(framing, true),
              "png image of 100 x 64: accepted sizes are 320 x 200, 384 x 272, 160 x 200, any size up to 2048 x "
              "2048 with the picture centred in a one-colour frame, and these enlarged 2, 3 or 4 times\n");
}

TEST_F(PngTest, CorruptAndTruncatedFilesAreRefused) {
    const Bytes good = written(*pattern_image(12));
    // The first IDAT byte after its length and type (signature 8, IHDR 25,
    // PLTE 12 + 48).
    const std::size_t idat_data = 8 + 25 + 60 + 8;
    ASSERT_EQ(std::string(good.begin() + idat_data - 4, good.begin() + idat_data), "IDAT");
    Bytes bad_crc = good;
    bad_crc[idat_data + 10] ^= 0x01;
    store(bad_crc);
    EXPECT_EQ(read_back(), ERR_INVALID_PNG);
    for (const std::size_t length : {good.size() - 12, good.size() / 2, std::size_t{40}, std::size_t{8}}) {
        store(Bytes(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(length)));
        EXPECT_EQ(read_back(), ERR_INVALID_PNG) << "length " << length;
    }
    Bytes bad_header = good;
    bad_header[8 + 8 + 8] = 3;  // a bit depth of 3
    store(bad_header);
    EXPECT_EQ(read_back(), ERR_INVALID_PNG);
}

// A palette file with an index beyond its palette has no colour for it.
TEST_F(PngTest, IndexBeyondThePaletteIsRefused) {
    TestPng recipe{320, 200, PNG_COLOR_TYPE_PALETTE, 8, false, c64_png_palette(12, 16), [](int x, int y) {
                     return std::array<std::uint16_t, 4>{static_cast<std::uint16_t>(x == 5 && y == 7 ? 16 : 1)};
                 }};
    store(build_png(recipe));
    EXPECT_EQ(read_back(), ERR_INVALID_PNG);
}

// Only the header and a little data are there: the size alone refuses it,
// before any row is allocated.
TEST_F(PngTest, HugeDeclaredSizeIsRefusedAtOnce) {
    TestPng recipe{320, 200, PNG_COLOR_TYPE_RGB, 16, false, {}, [](int, int) { return std::array<std::uint16_t, 4>{}; }};
    Bytes file = build_png(recipe);
    const std::uint8_t huge[] = {0x7F, 0xFF, 0xFF, 0xF0, 0x7F, 0xFF, 0xFF, 0xF0};
    std::copy(std::begin(huge), std::end(huge), file.begin() + 16);
    const std::uint32_t crc = static_cast<std::uint32_t>(crc32(0, file.data() + 12, 17));
    for (int byte = 0; byte < 4; ++byte) file[29 + static_cast<std::size_t>(byte)] = static_cast<std::uint8_t>(crc >> (24 - 8 * byte));
    store(file);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(read_back(), ERR_INVALID_PNG);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(200));
    EXPECT_EQ(framing.width, 0x7FFFFFF0);
    EXPECT_EQ(framing.height, 0x7FFFFFF0);
}

// A deflate stream of 200 MB of zeros behind a 320 by 200 header: refused
// once the rows are read, without inflating the rest.
TEST_F(PngTest, DecompressionBombIsCutShort) {
    TestPng recipe{320, 200, PNG_COLOR_TYPE_GRAY, 8, false, {}, [](int, int) { return std::array<std::uint16_t, 4>{}; }};
    const Bytes small = build_png(recipe);
    std::vector<std::uint8_t> zeros(8 * 1024 * 1024, 0);
    z_stream stream{};
    ASSERT_EQ(deflateInit(&stream, 9), Z_OK);
    Bytes compressed(256 * 1024);
    stream.next_out = compressed.data();
    stream.avail_out = static_cast<uInt>(compressed.size());
    for (int round = 0; round < 25; ++round) {
        stream.next_in = zeros.data();
        stream.avail_in = static_cast<uInt>(zeros.size());
        ASSERT_EQ(deflate(&stream, round == 24 ? Z_FINISH : Z_NO_FLUSH), round == 24 ? Z_STREAM_END : Z_OK);
    }
    compressed.resize(stream.total_out);
    deflateEnd(&stream);
    Bytes file(small.begin(), small.begin() + 33);  // signature and IHDR
    const std::uint32_t length = static_cast<std::uint32_t>(compressed.size());
    Bytes chunk{static_cast<std::uint8_t>(length >> 24), static_cast<std::uint8_t>(length >> 16),
                static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length), 'I', 'D', 'A', 'T'};
    chunk.insert(chunk.end(), compressed.begin(), compressed.end());
    const std::uint32_t crc = static_cast<std::uint32_t>(crc32(0, chunk.data() + 4, static_cast<uInt>(chunk.size() - 4)));
    for (int byte = 0; byte < 4; ++byte) chunk.push_back(static_cast<std::uint8_t>(crc >> (24 - 8 * byte)));
    file.insert(file.end(), chunk.begin(), chunk.end());
    file.insert(file.end(), small.end() - 12, small.end());  // IEND
    store(file);
    const auto start = std::chrono::steady_clock::now();
    const ErrorCode code = read_back();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
    EXPECT_EQ(code, ERR_INVALID_PNG);
}

TEST_F(PngTest, SignatureDecidesNotTheName) {
    written(*pattern_image(0));
    EXPECT_TRUE(is_png_file(path));
    fs::copy_file(path, folder / "picture.pcx");
    EXPECT_TRUE(is_png_file((folder / "picture.pcx").string()));
    ASSERT_EQ(pcx_write(*pattern_image(0), (folder / "real.png").string()), 0);
    EXPECT_FALSE(is_png_file((folder / "real.png").string()));
    EXPECT_FALSE(is_png_file((folder / "absent.png").string()));
    store(Bytes{0x89, 'P', 'N', 'G'});
    EXPECT_FALSE(is_png_file(path));
}

TEST_F(PngTest, DesktopImageFormatFollowsTheExtension) {
    for (const char* name : {"a.png", "A.PNG", "b.Png", "dir.x/c.png"}) EXPECT_TRUE(names_png_file(name)) << name;
    for (const char* name : {"a.pcx", "png", "a.pngx", "a.pn", "dir.png/file", "a.png.pcx", "apng"})
        EXPECT_FALSE(names_png_file(name)) << name;
    const auto pixels = pattern_image(2);
    ASSERT_EQ(desktop_image_write(*pixels, (folder / "x.PNG").string()), 0);
    EXPECT_TRUE(is_png_file((folder / "x.PNG").string()));
    ASSERT_EQ(desktop_image_write(*pixels, (folder / "x.pcx").string()), 0);
    auto back = std::make_unique<PixelImage>();
    ASSERT_EQ(pcx_read((folder / "x.pcx").string(), *back), 0);
    EXPECT_TRUE(back->pixels == pixels->pixels);
}

}  // namespace
