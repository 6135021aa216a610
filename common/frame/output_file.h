// Output files written whole or not at all: the bytes go to a temporary file
// in the target's folder, which is renamed onto the target once complete.
// A run that fails leaves no half-written output and does not truncate an
// old one.
//
// A target that exists and is not a regular file (a device such as
// /dev/full, a pipe) is written directly, since a rename would replace it;
// a link to a regular file is followed, so the link stays and the file it
// names is replaced. When no temporary file can be made in the folder, the
// target is written directly as well.
#pragma once

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "frame/errors.h"
#include "frame/file_names.h"

// The outputs of one run that must appear together: each is finished under
// its temporary name, and commit() renames them all at the end, so a failure
// while writing a later output leaves the earlier ones untouched too.
class OutputBatch {
public:
    OutputBatch() = default;
    OutputBatch(const OutputBatch&) = delete;
    OutputBatch& operator=(const OutputBatch&) = delete;
    ~OutputBatch();  // removes the temporary files of an uncommitted batch

    void add(std::string temporary, std::string target);
    // ERR_WRITE when a rename fails; outputs renamed before it stay.
    ErrorCode commit();

private:
    std::vector<std::pair<std::string, std::string>> pending_;  // temporary, target
};

class OutputFile {
public:
    OutputFile() = default;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    ~OutputFile();  // removes the temporary file of an unfinished output

    // Opens the output for binary writing; false when it cannot be created.
    // With a batch, the rename waits for the batch's commit().
    bool open(const std::string& path, OutputBatch* batch = nullptr);
    std::FILE* get() const { return stream_.get(); }
    // Flushes and closes (ERR_WRITE, ERR_CLOSE), then renames the file onto
    // its target (ERR_WRITE) or hands it to the batch.
    ErrorCode finish_writing();

private:
    FileHandle stream_;
    std::string target_;
    std::string temporary_;  // empty when the target is written directly
    OutputBatch* batch_ = nullptr;
};
