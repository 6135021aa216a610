// The records and output files of a packing run: the stock machine's
// definitions file and sprite file, or the SuperCPU's image file.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>

#include "frame/errors.h"
#include "frame/file_names.h"

constexpr int OUTPUT_FORMAT_STOCK = 0;
constexpr int OUTPUT_FORMAT_SUPERCPU = 1;

constexpr std::size_t DEFINITION_RECORD_SIZE = 8;
constexpr std::size_t IMAGE_RECORD_SIZE = 16;
constexpr std::uint32_t MAX_IMAGE_OFFSET = 0xFFFFFF;  // offsets are 24-bit
constexpr std::uint32_t MAX_IMAGE_ENTRIES = 0xFFFF;   // the count is 16-bit

constexpr std::uint8_t ENTRY_KIND_HIRES = 0;
constexpr std::uint8_t ENTRY_KIND_MULTICOLOUR = 1;

// One cut as its record describes it.
struct EntryValues {
    std::uint8_t kind;
    std::uint8_t colour;  // bit 1 (hires) or bits 10 (multicolour)
    std::uint32_t columns;
    std::uint32_t rows;
    std::uint16_t w;
    std::uint16_t h;
    std::uint16_t size;  // columns * rows * 64, modulo 65536
};

struct OutputNames {
    std::string definitions;  // stock format
    std::string sprites;      // stock format
    std::string image;        // SuperCPU format
};

// Appends the entry's record to the record store and advances the running
// value: the sprite pointer (stock) or the data offset (SuperCPU).
ErrorCode write_entry_record(std::FILE* record_store, int output_format, const EntryValues& entry,
                             std::uint32_t& running_value);

// Makes the output files from the two stores once the script has run.
ErrorCode write_packed_outputs(FileHandle& record_store, FileHandle& data_store, std::uint32_t entry_count,
                               int output_format, const OutputNames& names);
