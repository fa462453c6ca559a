// Files as byte sources for the store reader: POSIX open(2) and pread(2),
// for the native exporter (the Windows program keeps its own file access).
#ifndef VESTIBAR_FILE_SOURCE_H
#define VESTIBAR_FILE_SOURCE_H

#include <cstddef>
#include <cstdint>
#include <string>

#include "msim_store.h"

namespace msim {

// A file opened read-only with open(2), read with pread(2), closed when the
// object goes.  Not copyable; movable.
class FileSource final : public ByteSource {
public:
    FileSource() = default;
    FileSource(FileSource&& other) noexcept;
    FileSource& operator=(FileSource&& other) noexcept;
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;
    ~FileSource() override;

    // 0, or the errno of the failing open or fstat (EISDIR for a folder).
    // A source already open is closed first.
    int Open(const std::string& path);
    bool isOpen() const { return fd_ >= 0; }
    std::uint64_t Size() const override { return size_; }
    ReadResult Read(std::uint64_t offset, void* buffer, std::size_t count) override;

private:
    void Close();
    int fd_ = -1;
    std::uint64_t size_ = 0;
};

}  // namespace msim

#endif
