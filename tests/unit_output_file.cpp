// Outputs written under a temporary name and renamed when complete.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <set>
#include <string>
#include <unistd.h>

#include "desktop/desktop_image.h"
#include "frame/output_file.h"

namespace {

namespace fs = std::filesystem;

class OutputFiles : public ::testing::Test {
protected:
    void SetUp() override {
        folder = fs::temp_directory_path() / ("c64suite_output_" + std::to_string(::getpid()));
        fs::create_directories(folder);
    }
    void TearDown() override { fs::remove_all(folder); }
    std::string path(const std::string& name) const { return (folder / name).string(); }
    void write(const std::string& name, const std::string& text) const { std::ofstream(path(name)) << text; }
    std::string read(const std::string& name) const {
        std::ifstream in(path(name), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    std::set<std::string> names() const {
        std::set<std::string> found;
        for (const auto& entry : fs::directory_iterator(folder)) {
            found.insert(entry.path().filename().string());
        }
        return found;
    }
    static void put(OutputFile& output, const std::string& text) {
        std::fwrite(text.data(), 1, text.size(), output.get());
    }
    fs::path folder;
};

TEST_F(OutputFiles, TheTargetChangesOnlyWhenTheOutputIsFinished) {
    write("out.bin", "old");
    {
        OutputFile output;
        ASSERT_TRUE(output.open(path("out.bin")));
        put(output, "new and longer");
        std::fflush(output.get());
        EXPECT_EQ(read("out.bin"), "old");
    }
    EXPECT_EQ(read("out.bin"), "old");
    EXPECT_EQ(names(), std::set<std::string>{"out.bin"});

    OutputFile output;
    ASSERT_TRUE(output.open(path("out.bin")));
    put(output, "new");
    EXPECT_EQ(output.finish_writing(), ERR_SUCCESS);
    EXPECT_EQ(read("out.bin"), "new");
    EXPECT_EQ(names(), std::set<std::string>{"out.bin"});
}

TEST_F(OutputFiles, AReplacedFileKeepsItsPermissions) {
    write("out.bin", "old");
    fs::permissions(path("out.bin"), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    OutputFile output;
    ASSERT_TRUE(output.open(path("out.bin")));
    put(output, "new");
    ASSERT_EQ(output.finish_writing(), ERR_SUCCESS);
    EXPECT_EQ(fs::status(path("out.bin")).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST_F(OutputFiles, ABatchRenamesItsOutputsTogetherOrRemovesThem) {
    write("first.bin", "old first");
    {
        OutputBatch batch;
        OutputFile first;
        OutputFile second;
        ASSERT_TRUE(first.open(path("first.bin"), &batch));
        ASSERT_TRUE(second.open(path("second.bin"), &batch));
        put(first, "new first");
        EXPECT_EQ(first.finish_writing(), ERR_SUCCESS);
        EXPECT_EQ(read("first.bin"), "old first");
    }
    EXPECT_EQ(names(), std::set<std::string>{"first.bin"});

    OutputBatch batch;
    OutputFile first;
    OutputFile second;
    ASSERT_TRUE(first.open(path("first.bin"), &batch));
    ASSERT_TRUE(second.open(path("second.bin"), &batch));
    put(first, "new first");
    put(second, "new second");
    ASSERT_EQ(first.finish_writing(), ERR_SUCCESS);
    ASSERT_EQ(second.finish_writing(), ERR_SUCCESS);
    EXPECT_FALSE(fs::exists(path("second.bin")));
    EXPECT_EQ(batch.commit(), ERR_SUCCESS);
    EXPECT_EQ(read("first.bin"), "new first");
    EXPECT_EQ(read("second.bin"), "new second");
    EXPECT_EQ(names(), (std::set<std::string>{"first.bin", "second.bin"}));
}

// A rename would replace the link; the link stays and is written through.
TEST_F(OutputFiles, LinksStayLinks) {
    write("real.bin", "old");
    fs::create_symlink("real.bin", path("link.bin"));
    fs::create_symlink("/dev/null", path("null.bin"));
    OutputFile to_file;
    ASSERT_TRUE(to_file.open(path("link.bin")));
    put(to_file, "new");
    ASSERT_EQ(to_file.finish_writing(), ERR_SUCCESS);
    EXPECT_TRUE(fs::is_symlink(path("link.bin")));
    EXPECT_EQ(read("real.bin"), "new");
    OutputFile to_device;
    ASSERT_TRUE(to_device.open(path("null.bin")));
    put(to_device, "gone");
    ASSERT_EQ(to_device.finish_writing(), ERR_SUCCESS);
    EXPECT_TRUE(fs::is_symlink(path("null.bin")));
    EXPECT_EQ(names(), (std::set<std::string>{"real.bin", "link.bin", "null.bin"}));
}

TEST_F(OutputFiles, AMissingFolderCannotBeCreated) {
    OutputFile output;
    EXPECT_FALSE(output.open(path("missing/out.bin")));
    EXPECT_EQ(names(), std::set<std::string>{});
}

// Desktop images of both kinds wait for their batch, and an abandoned batch
// leaves the older files as they were.
TEST_F(OutputFiles, DesktopImagesOfBothKindsWaitForTheirBatch) {
    auto image = std::make_unique<PixelImage>();
    image->pixels.fill(5);
    image->palette.fill(0);
    write("old.png", "older png");
    write("old.pcx", "older pcx");
    {
        OutputBatch batch;
        EXPECT_EQ(desktop_image_write(*image, path("old.png"), &batch), ERR_SUCCESS);
        EXPECT_EQ(desktop_image_write(*image, path("old.pcx"), &batch), ERR_SUCCESS);
        EXPECT_EQ(read("old.png"), "older png");
        EXPECT_EQ(read("old.pcx"), "older pcx");
    }
    EXPECT_EQ(names(), (std::set<std::string>{"old.pcx", "old.png"}));
    EXPECT_EQ(read("old.png"), "older png");

    OutputBatch batch;
    ASSERT_EQ(desktop_image_write(*image, path("new.PNG"), &batch), ERR_SUCCESS);
    ASSERT_EQ(desktop_image_write(*image, path("old.pcx"), &batch), ERR_SUCCESS);
    EXPECT_EQ(names().count("new.PNG"), 0u);
    ASSERT_EQ(batch.commit(), ERR_SUCCESS);
    EXPECT_EQ(read("new.PNG").substr(1, 3), "PNG");
    EXPECT_EQ(read("old.pcx")[0], '\x0A');
    EXPECT_EQ(names(), (std::set<std::string>{"new.PNG", "old.pcx", "old.png"}));
}

}  // namespace
