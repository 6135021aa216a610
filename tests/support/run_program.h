// Runs a built program in a folder of its own and captures what it printed.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

struct ProgramResult {
    std::string output;  // standard output, byte for byte
    int status;          // exit status as a POSIX shell shows it (0..255)
};

// Runs build/bin/<tool> with the arguments, its working folder set to folder.
ProgramResult run_program(const std::filesystem::path& folder, const std::string& tool,
                          const std::vector<std::string>& arguments);

// The exit status a shell shows for an error code (its low 8 bits).
int status_of(int code);

std::vector<std::uint8_t> read_bytes(const std::filesystem::path& path);
void write_bytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes);
std::string fixture_path(const std::string& name);

// Each test gets a new empty folder under the system's temporary folder,
// removed afterwards.
class ToolTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    ProgramResult run(const std::string& tool, const std::vector<std::string>& arguments) const {
        return run_program(folder, tool, arguments);
    }
    std::filesystem::path file(const std::string& name) const { return folder / name; }
    bool exists(const std::string& name) const { return std::filesystem::exists(folder / name); }

    std::filesystem::path folder;
};

// The console text of a failed run: the error block and the usage text.
// message is the message as stored, in code page 850 bytes.
std::string error_block(const std::string& message, const std::string& usage);
