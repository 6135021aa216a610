#include "frame/output_file.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <random>
#include <system_error>

namespace fs = std::filesystem;

namespace {

constexpr int TEMPORARY_NAME_ATTEMPTS = 16;

// The file a rename must replace: the target, or the file its link names.
// Empty when the target must be written directly.
std::string file_to_replace(const std::string& path) {
    std::error_code error;
    fs::path target = path;
    if (fs::is_symlink(fs::symlink_status(target, error))) {
        target = fs::canonical(target, error);
        if (error) {
            return {};  // a dangling link: writing it creates the file it names
        }
    }
    const fs::file_status status = fs::symlink_status(target, error);
    if (status.type() == fs::file_type::not_found || status.type() == fs::file_type::regular) {
        return target.string();
    }
    return {};
}

// A new file next to the target, made exclusively so that two runs never
// share one; its permissions follow the target's when the target exists.
FileHandle create_temporary(const fs::path& target, std::string& temporary) {
    std::random_device random;
    const fs::path folder = target.parent_path();
    for (int attempt = 0; attempt < TEMPORARY_NAME_ATTEMPTS; ++attempt) {
        char name[32];
        std::snprintf(name, sizeof name, ".%08x.part", static_cast<unsigned>(random()));
        const fs::path candidate = folder / name;
        FileHandle stream(std::fopen(candidate.c_str(), "wbx"));
        if (stream.is_open()) {
            std::error_code error;
            const fs::file_status status = fs::status(target, error);
            if (!error) {
                fs::permissions(candidate, status.permissions(), error);
            }
            temporary = candidate.string();
            return stream;
        }
        if (errno != EEXIST) {
            break;
        }
    }
    return FileHandle();
}

}  // namespace

OutputBatch::~OutputBatch() {
    for (const auto& [temporary, target] : pending_) {
        std::remove(temporary.c_str());
    }
}

void OutputBatch::add(std::string temporary, std::string target) {
    pending_.emplace_back(std::move(temporary), std::move(target));
}

ErrorCode OutputBatch::commit() {
    while (!pending_.empty()) {
        const auto& [temporary, target] = pending_.front();
        if (std::rename(temporary.c_str(), target.c_str()) != 0) {
            return ERR_WRITE;
        }
        pending_.erase(pending_.begin());
    }
    return ERR_SUCCESS;
}

OutputFile::~OutputFile() {
    if (!temporary_.empty()) {
        stream_ = FileHandle();
        std::remove(temporary_.c_str());
    }
}

bool OutputFile::open(const std::string& path, OutputBatch* batch) {
    batch_ = batch;
    target_ = file_to_replace(path);
    if (!target_.empty()) {
        stream_ = create_temporary(target_, temporary_);
    }
    if (!stream_.is_open()) {
        temporary_.clear();
        target_ = path;
        stream_ = FileHandle::open(path, "wb");
    }
    return stream_.is_open();
}

ErrorCode OutputFile::finish_writing() {
    const ErrorCode code = stream_.finish_writing();
    if (code < 0 || temporary_.empty()) {
        return code;
    }
    std::string temporary = std::move(temporary_);
    temporary_.clear();
    if (batch_ != nullptr) {
        batch_->add(std::move(temporary), target_);
        return ERR_SUCCESS;
    }
    if (std::rename(temporary.c_str(), target_.c_str()) != 0) {
        std::remove(temporary.c_str());
        return ERR_WRITE;
    }
    return ERR_SUCCESS;
}
