// File names built from the positional names, and small stream helpers.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "frame/errors.h"
#include "frame/switches.h"

class OutputBatch;

// Picture file extension by picture format (0 Koala, 1 Amica, 2 Art Studio).
extern const std::array<const char*, 3> picture_extensions;

// The extension of a path in lower case: what follows the last '.' of its
// last part, empty when that part has none.
std::string file_extension(const std::string& path);

// Name n (from 1) as typed, with "." and the default extension added when it
// has no '.'; a name ending in '.' is refused with ERR_PARAMETERS.
ErrorCode get_file_name(const SwitchTable& table, int position, const char* default_extension, std::string& name);

// Name n with everything after its last '.' replaced by the extension (or
// "." and the extension appended when it has none).
ErrorCode derive_file_name(const SwitchTable& table, int position, const char* extension, std::string& name);

// Owns one C stream; the destructor closes it on early returns, while close()
// reports the failure of an explicit close as ERR_CLOSE.
class FileHandle {
public:
    FileHandle() = default;
    explicit FileHandle(std::FILE* stream) : stream_(stream) {}
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    FileHandle(FileHandle&& other) noexcept : stream_(other.stream_) { other.stream_ = nullptr; }
    FileHandle& operator=(FileHandle&& other) noexcept;
    ~FileHandle();

    static FileHandle open(const std::string& path, const char* mode);
    std::FILE* get() const { return stream_; }
    bool is_open() const { return stream_ != nullptr; }
    ErrorCode close();
    // For an output: flushes first, so that a write the buffer held back
    // (a full disk) is reported as ERR_WRITE, not as a close failure.
    ErrorCode finish_writing();

private:
    std::FILE* stream_ = nullptr;
};

// Writes the low byte, then the high byte.
ErrorCode write_word(std::uint16_t value, std::FILE* stream);

// Reads exactly size bytes (a longer file is fine), then closes the stream.
ErrorCode read_block_and_close(FileHandle& stream, std::uint8_t* buffer, std::size_t size);

// Reads the whole file into bytes; a file longer than max_bytes is refused
// with too_large before anything is allocated for it.
ErrorCode read_whole_file(const std::string& path, std::size_t max_bytes, std::vector<std::uint8_t>& bytes,
                          ErrorCode too_large);

// Creates path and writes size bytes in one piece: ERR_CREATE, ERR_WRITE or
// ERR_CLOSE on failure. The file appears whole or not at all (output_file.h);
// with a batch, only when the batch is committed.
ErrorCode write_whole_file(const std::string& path, const std::uint8_t* data, std::size_t size,
                           OutputBatch* batch = nullptr);

// The picture format named by -k, -a and -s: -s wins over -a, -a over -k;
// default_format when none is given.
int picture_format_from_switches(const SwitchTable& table, int default_format);

// An output name: name `position` with the default extension when it was
// given, else name `derive_from` with its extension replaced.
ErrorCode get_output_file_name(const SwitchTable& table, int position, int derive_from, const char* extension,
                               std::string& name);
