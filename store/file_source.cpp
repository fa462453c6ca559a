#include "file_source.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace msim {

FileSource::FileSource(FileSource&& other) noexcept : fd_(other.fd_), size_(other.size_)
{
    other.fd_ = -1;
    other.size_ = 0;
}

FileSource& FileSource::operator=(FileSource&& other) noexcept
{
    if (this != &other) {
        Close();
        fd_ = other.fd_;
        size_ = other.size_;
        other.fd_ = -1;
        other.size_ = 0;
    }
    return *this;
}

FileSource::~FileSource()
{
    Close();
}

void FileSource::Close()
{
    // Opened read-only: nothing is lost when close reports an error.
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    size_ = 0;
}

int FileSource::Open(const std::string& path)
{
    Close();
    int fd;
    do
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return errno;
    struct stat status;
    if (::fstat(fd, &status) != 0) {
        int error = errno;
        ::close(fd);
        return error;
    }
    // Only a regular file has a size to check messages against.
    if (!S_ISREG(status.st_mode)) {
        ::close(fd);
        return S_ISDIR(status.st_mode) ? EISDIR : EINVAL;
    }
    fd_ = fd;
    size_ = static_cast<std::uint64_t>(status.st_size);
    return 0;
}

ReadResult FileSource::Read(std::uint64_t offset, void* buffer, std::size_t count)
{
    ReadResult result;
    if (fd_ < 0) {
        result.error = EBADF;
        return result;
    }
    auto* bytes = static_cast<unsigned char*>(buffer);
    // pread may return less than asked before the end (signals, pipes of
    // the kernel's choosing): only 0 means the end.
    while (result.count < count) {
        std::uint64_t at = offset + result.count;
        if (at > static_cast<std::uint64_t>(INT64_MAX))
            break;
        ssize_t done = ::pread(fd_, bytes + result.count, count - result.count, static_cast<off_t>(at));
        if (done < 0) {
            if (errno == EINTR)
                continue;
            result.error = errno;
            return result;
        }
        if (done == 0)
            break;
        result.count += static_cast<std::size_t>(done);
    }
    return result;
}

}  // namespace msim
