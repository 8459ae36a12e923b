#pragma once

// Memory for large pictures, straight from the system: anonymous blocks, and files mapped into
// memory so that a picture is drawn into its file, or shown from it, without a copy.

#include "os/Result.h"

#include <QString>

#include <cstddef>

namespace markwell::os {

// A block of memory for a picture of millions of pixels, taken from the system in one piece with
// its pages present from the start (as large pages where the system offers them), so that
// drawing or reading the picture does not stop at every 4 KiB page for the system to supply it.
// Null when the memory cannot be had. Give it back with releaseLargeBlock and the same size.
void* allocateLargeBlock(std::size_t bytes);
void releaseLargeBlock(void* block, std::size_t bytes) noexcept;

// A file's bytes mapped into this process's memory; unmapped when the object goes. The mapping
// outlives the name: once mapped, the file may be deleted and its bytes stay readable (and
// writable) here until the mapping goes. Should the file be cut short by someone else while it is
// mapped, touching the lost part ends the process, so only files this program owns are mapped.
class FileMapping {
public:
    FileMapping() = default;
    ~FileMapping();
    FileMapping(FileMapping&& other) noexcept;
    FileMapping& operator=(FileMapping&& other) noexcept;
    FileMapping(const FileMapping&) = delete;
    FileMapping& operator=(const FileMapping&) = delete;

    // Creates path as a new file of `bytes` bytes (never an existing one, never through a symbolic
    // link) with the given permission bits, and maps it for reading and writing; what is written
    // to the memory is the file's content. The file's blocks are reserved on the disk first, so a
    // full disk is reported here: a write to the memory that found no room would end the process.
    // On failure nothing created is left behind.
    static Result<FileMapping> createNew(const QString& path, std::size_t bytes, int mode);

    // Maps the whole of an existing regular file (links followed) for reading. An empty file
    // gives an empty mapping.
    static Result<FileMapping> openForReading(const QString& path);

    char* data() const { return static_cast<char*>(m_block); }
    std::size_t size() const { return m_bytes; }

private:
    FileMapping(void* block, std::size_t bytes) : m_block(block), m_bytes(bytes) {}

    void* m_block = nullptr;
    std::size_t m_bytes = 0;
};

} // namespace markwell::os
