#include "run_program.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

ProgramResult run_program(const fs::path& folder, const std::string& tool, const std::vector<std::string>& arguments) {
    const std::string program = std::string(SUITE_BIN_DIR) + "/" + tool;
    std::vector<std::string> words{program};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);

    int pipe_ends[2];
    if (pipe(pipe_ends) != 0) {
        return {"pipe failed", -1};
    }
    const pid_t child = fork();
    if (child == 0) {
        dup2(pipe_ends[1], STDOUT_FILENO);
        close(pipe_ends[0]);
        close(pipe_ends[1]);
        if (chdir(folder.c_str()) != 0) {
            _exit(127);
        }
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    close(pipe_ends[1]);
    std::string output;
    char buffer[4096];
    ssize_t got = 0;
    while ((got = read(pipe_ends[0], buffer, sizeof buffer)) > 0) {
        output.append(buffer, static_cast<std::size_t>(got));
    }
    close(pipe_ends[0]);
    int wait_status = 0;
    waitpid(child, &wait_status, 0);
    const int status = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : 256 + WTERMSIG(wait_status);
    return {output, status};
}

int status_of(int code) {
    return code & 0xFF;
}

std::vector<std::uint8_t> read_bytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void write_bytes(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::string fixture_path(const std::string& name) {
    return std::string(SUITE_FIXTURE_DIR) + "/" + name;
}

void ToolTest::SetUp() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "_" + info->name();
    for (char& c : name) {
        if (c == '/') {
            c = '_';
        }
    }
    folder = fs::temp_directory_path() / ("c64suite_" + std::to_string(getpid()) + "_" + name);
    fs::remove_all(folder);
    fs::create_directories(folder);
}

void ToolTest::TearDown() {
    std::error_code ignored;
    fs::remove_all(folder, ignored);
}

std::string error_block(const std::string& message, const std::string& usage) {
    return "\nERROR : " + message + "\nInterrupted process.\n\n" + usage;
}
