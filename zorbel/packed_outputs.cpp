#include "packed_outputs.h"

#include "frame/output_file.h"

namespace {

constexpr std::size_t COPY_CHUNK = 4096;

void put_little_endian(std::uint8_t* bytes, std::uint32_t value, int count) {
    for (int i = 0; i < count; ++i) {
        bytes[i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

std::uint32_t get_little_endian(const std::uint8_t* bytes, int count) {
    std::uint32_t value = 0;
    for (int i = count - 1; i >= 0; --i) {
        value = (value << 8) | bytes[i];
    }
    return value;
}

ErrorCode append_record(std::FILE* record_store, const std::uint8_t* record, std::size_t size) {
    if (std::fwrite(record, 1, size, record_store) != size || std::ferror(record_store) != 0) {
        return ERR_WRITE;
    }
    return ERR_SUCCESS;
}

ErrorCode write_definition_record(std::FILE* record_store, const EntryValues& entry, std::uint32_t& sprite_pointer) {
    std::array<std::uint8_t, DEFINITION_RECORD_SIZE> record{};
    record[0] = static_cast<std::uint8_t>(sprite_pointer);
    record[1] = entry.kind;
    record[2] = entry.colour;
    record[3] = static_cast<std::uint8_t>(entry.columns);
    record[4] = static_cast<std::uint8_t>(entry.rows);
    record[5] = static_cast<std::uint8_t>(entry.w);
    record[6] = static_cast<std::uint8_t>(entry.h);
    // Wraps like the sprite pointers of a C64 video bank.
    sprite_pointer = (sprite_pointer + entry.columns * entry.rows) & 0xFF;
    return append_record(record_store, record.data(), record.size());
}

// The offset counts from the first data byte until the record table is
// complete; write_packed_outputs moves it past the table.
ErrorCode write_image_record(std::FILE* record_store, const EntryValues& entry, std::uint32_t& data_offset) {
    std::array<std::uint8_t, IMAGE_RECORD_SIZE> record{};
    put_little_endian(record.data(), data_offset, 3);
    put_little_endian(record.data() + 3, entry.size, 2);
    record[5] = entry.kind;
    record[6] = entry.colour;
    record[7] = static_cast<std::uint8_t>(entry.columns);
    record[8] = static_cast<std::uint8_t>(entry.rows);
    record[9] = static_cast<std::uint8_t>(entry.w);
    record[10] = static_cast<std::uint8_t>(entry.h);
    data_offset += entry.size;
    return append_record(record_store, record.data(), record.size());
}

ErrorCode rewind_store(std::FILE* store) {
    return std::fseek(store, 0, SEEK_SET) == 0 ? ERR_SUCCESS : ERR_PARAMETERS;
}

ErrorCode copy_store(std::FILE* store, std::FILE* output) {
    ErrorCode code = rewind_store(store);
    if (code < 0) {
        return code;
    }
    std::array<std::uint8_t, COPY_CHUNK> chunk{};
    std::size_t got = 0;
    while ((got = std::fread(chunk.data(), 1, chunk.size(), store)) > 0) {
        if (std::fwrite(chunk.data(), 1, got, output) != got) {
            return ERR_WRITE;
        }
    }
    return std::ferror(store) != 0 ? ERR_READ : ERR_SUCCESS;
}

// Makes every offset count from the first byte of the record table. The
// offsets are rebuilt from the record sizes, so one that no longer fits in
// 24 bits is refused instead of wrapping.
ErrorCode move_offsets_past_record_table(std::FILE* record_store, std::uint32_t entry_count) {
    ErrorCode code = rewind_store(record_store);
    if (code < 0) {
        return code;
    }
    const std::uint32_t table_size = entry_count * IMAGE_RECORD_SIZE;
    std::uint32_t data_offset = 0;
    std::array<std::uint8_t, IMAGE_RECORD_SIZE> record{};
    for (std::uint32_t entry = 0; entry < entry_count; ++entry) {
        if (std::fread(record.data(), 1, record.size(), record_store) != record.size()) {
            return ERR_READ;
        }
        const std::uint32_t offset = table_size + data_offset;
        if (offset > MAX_IMAGE_OFFSET) {
            return ERR_VALUE_TOO_LARGE;
        }
        put_little_endian(record.data(), offset, 3);
        data_offset += get_little_endian(record.data() + 3, 2);
        if (std::fseek(record_store, -static_cast<long>(IMAGE_RECORD_SIZE), SEEK_CUR) != 0) {
            return ERR_PARAMETERS;
        }
        if ((code = append_record(record_store, record.data(), record.size())) < 0) {
            return code;
        }
        // A stream that was written must be positioned before it is read.
        if (std::fseek(record_store, 0, SEEK_CUR) != 0) {
            return ERR_PARAMETERS;
        }
    }
    return ERR_SUCCESS;
}

ErrorCode write_image_file(FileHandle& record_store, FileHandle& data_store, std::uint32_t entry_count,
                           const std::string& image_name) {
    if (entry_count > MAX_IMAGE_ENTRIES) {
        return ERR_VALUE_TOO_LARGE;
    }
    ErrorCode code = move_offsets_past_record_table(record_store.get(), entry_count);
    if (code < 0) {
        return code;
    }
    OutputFile image;
    if (!image.open(image_name)) {
        return ERR_OPEN;
    }
    if ((code = write_word(static_cast<std::uint16_t>(entry_count), image.get())) < 0 ||
        (code = copy_store(record_store.get(), image.get())) < 0 ||
        (code = copy_store(data_store.get(), image.get())) < 0) {
        return code;
    }
    return image.finish_writing();
}

// The definitions and the sprites appear together or not at all.
ErrorCode write_stock_files(FileHandle& record_store, FileHandle& data_store, const OutputNames& names) {
    OutputBatch batch;
    OutputFile definitions;
    if (!definitions.open(names.definitions, &batch)) {
        return ERR_OPEN;
    }
    ErrorCode code = copy_store(record_store.get(), definitions.get());
    if (code < 0) {
        return code;
    }
    OutputFile sprites;
    if (!sprites.open(names.sprites, &batch)) {
        return ERR_OPEN;
    }
    if ((code = copy_store(data_store.get(), sprites.get())) < 0 || (code = definitions.finish_writing()) < 0 ||
        (code = sprites.finish_writing()) < 0) {
        return code;
    }
    return batch.commit();
}

}  // namespace

ErrorCode write_entry_record(std::FILE* record_store, int output_format, const EntryValues& entry,
                             std::uint32_t& running_value) {
    if (output_format == OUTPUT_FORMAT_SUPERCPU) {
        return write_image_record(record_store, entry, running_value);
    }
    return write_definition_record(record_store, entry, running_value);
}

ErrorCode write_packed_outputs(FileHandle& record_store, FileHandle& data_store, std::uint32_t entry_count,
                               int output_format, const OutputNames& names) {
    if (output_format == OUTPUT_FORMAT_SUPERCPU) {
        return write_image_file(record_store, data_store, entry_count, names.image);
    }
    return write_stock_files(record_store, data_store, names);
}
