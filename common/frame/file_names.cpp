#include "frame/file_names.h"

#include <cctype>
#include <cstring>

#include "frame/output_file.h"

const std::array<const char*, 3> picture_extensions = {"koa", "ami", "art"};

namespace {

ErrorCode stored_name(const SwitchTable& table, int position, std::string& name) {
    if (position < 1 || position > table.name_count) {
        return ERR_PARAMETERS;
    }
    name = table.file_names[position - 1].data();
    return ERR_SUCCESS;
}

}  // namespace

std::string file_extension(const std::string& path) {
    const std::size_t dot = path.find_last_of('.');
    const std::size_t slash = path.find_last_of('/');
    if (dot == std::string::npos || (slash != std::string::npos && slash > dot)) {
        return "";
    }
    std::string extension = path.substr(dot + 1);
    for (char& letter : extension) {
        letter = static_cast<char>(std::tolower(static_cast<unsigned char>(letter)));
    }
    return extension;
}

ErrorCode get_file_name(const SwitchTable& table, int position, const char* default_extension, std::string& name) {
    const ErrorCode code = stored_name(table, position, name);
    if (code < 0) {
        return code;
    }
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos) {
        name += '.';
        name += default_extension;
    } else if (dot + 1 == name.size()) {
        return ERR_PARAMETERS;
    }
    return ERR_SUCCESS;
}

ErrorCode derive_file_name(const SwitchTable& table, int position, const char* extension, std::string& name) {
    const ErrorCode code = stored_name(table, position, name);
    if (code < 0) {
        return code;
    }
    const std::size_t dot = name.rfind('.');
    if (dot != std::string::npos) {
        name.erase(dot);
    }
    name += '.';
    name += extension;
    return ERR_SUCCESS;
}

FileHandle& FileHandle::operator=(FileHandle&& other) noexcept {
    if (this != &other) {
        if (stream_ != nullptr) {
            std::fclose(stream_);
        }
        stream_ = other.stream_;
        other.stream_ = nullptr;
    }
    return *this;
}

FileHandle::~FileHandle() {
    if (stream_ != nullptr) {
        std::fclose(stream_);
    }
}

FileHandle FileHandle::open(const std::string& path, const char* mode) {
    return FileHandle(std::fopen(path.c_str(), mode));
}

ErrorCode FileHandle::close() {
    std::FILE* stream = stream_;
    stream_ = nullptr;
    if (stream == nullptr || std::fclose(stream) != 0) {
        return ERR_CLOSE;
    }
    return ERR_SUCCESS;
}

ErrorCode FileHandle::finish_writing() {
    if (std::fflush(stream_) != 0 || std::ferror(stream_) != 0) {
        return ERR_WRITE;
    }
    return close();
}

ErrorCode write_word(std::uint16_t value, std::FILE* stream) {
    if (std::fputc(value & 0xFF, stream) == EOF || std::fputc(value >> 8, stream) == EOF) {
        return ERR_WRITE;
    }
    return ERR_SUCCESS;
}

ErrorCode read_block_and_close(FileHandle& stream, std::uint8_t* buffer, std::size_t size) {
    const std::size_t read = std::fread(buffer, 1, size, stream.get());
    if (read != size || std::ferror(stream.get()) != 0 || std::feof(stream.get()) != 0) {
        return ERR_READ;
    }
    return stream.close();
}

ErrorCode read_whole_file(const std::string& path, std::size_t max_bytes, std::vector<std::uint8_t>& bytes,
                          ErrorCode too_large) {
    FileHandle file = FileHandle::open(path, "rb");
    if (!file.is_open()) {
        return ERR_OPEN;
    }
    if (std::fseek(file.get(), 0, SEEK_END) != 0) {
        return ERR_READ;
    }
    const long size = std::ftell(file.get());
    if (size < 0 || std::fseek(file.get(), 0, SEEK_SET) != 0) {
        return ERR_READ;
    }
    if (static_cast<unsigned long>(size) > max_bytes) {
        return too_large;
    }
    bytes.resize(static_cast<std::size_t>(size));
    return read_block_and_close(file, bytes.data(), bytes.size());
}

ErrorCode write_whole_file(const std::string& path, const std::uint8_t* data, std::size_t size,
                           OutputBatch* batch) {
    OutputFile file;
    if (!file.open(path, batch)) {
        return ERR_CREATE;
    }
    std::fwrite(data, 1, size, file.get());
    if (std::ferror(file.get()) != 0) {
        return ERR_WRITE;
    }
    return file.finish_writing();
}

int picture_format_from_switches(const SwitchTable& table, int default_format) {
    int format = default_format;
    if (switch_given(table, 'k')) {
        format = 0;
    }
    if (switch_given(table, 'a')) {
        format = 1;
    }
    if (switch_given(table, 's')) {
        format = 2;
    }
    return format;
}

ErrorCode get_output_file_name(const SwitchTable& table, int position, int derive_from, const char* extension,
                               std::string& name) {
    return table.name_count >= position ? get_file_name(table, position, extension, name)
                                        : derive_file_name(table, derive_from, extension, name);
}
