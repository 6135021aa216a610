// A folder of files for one fuzzing process: the readers take file names,
// so every input goes through a real file, on a memory file system when
// there is one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The process's own folder, made on first use and removed at exit.
const std::string& scratch_folder();

// scratch_folder()/name, holding exactly the size bytes of data.
std::string write_scratch_file(const std::string& name, const std::uint8_t* data, std::size_t size);

// scratch_folder()/name, without touching the file.
std::string scratch_path(const std::string& name);

// A property of the code under test does not hold: stop like a crash, so
// that libFuzzer keeps the input.
[[noreturn]] void fuzz_check_failed(const char* what);
