#include "fuzz_scratch.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <unistd.h>

namespace {

std::filesystem::path base_folder() {
    std::error_code error;
    if (std::filesystem::is_directory("/dev/shm", error) && access("/dev/shm", W_OK) == 0) {
        return "/dev/shm";
    }
    return std::filesystem::temp_directory_path();
}

// Never freed: the folder is removed at exit, after the statics are gone.
const std::string* folder_name = nullptr;

void remove_scratch_folder() {
    std::error_code error;
    std::filesystem::remove_all(*folder_name, error);
}

}  // namespace

const std::string& scratch_folder() {
    if (folder_name == nullptr) {
        const std::filesystem::path path = base_folder() / ("suite-fuzz-" + std::to_string(getpid()));
        std::filesystem::create_directories(path);
        folder_name = new std::string(path.string());
        std::atexit(remove_scratch_folder);
    }
    return *folder_name;
}

std::string scratch_path(const std::string& name) {
    return scratch_folder() + "/" + name;
}

std::string write_scratch_file(const std::string& name, const std::uint8_t* data, std::size_t size) {
    const std::string path = scratch_path(name);
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr || (size > 0 && std::fwrite(data, 1, size, file) != size) || std::fclose(file) != 0) {
        std::perror(path.c_str());
        std::abort();
    }
    return path;
}

void fuzz_check_failed(const char* what) {
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}
