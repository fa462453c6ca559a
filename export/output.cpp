#include "output.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string_view>
#include <utility>

namespace vexport {

namespace {

// New files and folders get what the user's umask leaves of these.
constexpr mode_t kFileMode = 0666;
constexpr mode_t kFolderMode = 0777;

// Failures that every later write would meet too.
bool Repeats(int error)
{
    return error == ENOSPC || error == EDQUOT || error == EROFS || error == EIO;
}

// Throws the failure `error` of `path`; skippable unless it would repeat.
[[noreturn]] void Fail(const std::string& path, int error)
{
    throw ExportError(ErrnoText(path, error), !Repeats(error));
}

void CloseQuietly(int fd) noexcept
{
    if (fd >= 0)
        ::close(fd);
}

// What this process made, in the order it made them.
std::vector<std::string>& MadeFolders()
{
    static std::vector<std::string> folders;
    return folders;
}

std::vector<std::string>& MadeMarkers()
{
    static std::vector<std::string> markers;
    return markers;
}

void NoteMade(std::vector<std::string>& list, const std::string& path) noexcept
{
    try {
        list.push_back(path);
    } catch (...) {
        // Without room to note it the folder is only left in place.
    }
}

void RemoveFoldersThatAreEmpty() noexcept
{
    const std::vector<std::string>& folders = MadeFolders();
    for (auto it = folders.rbegin(); it != folders.rend(); ++it)
        ::rmdir(it->c_str());
}

bool resume = false;

std::vector<std::string>& Outputs()
{
    static std::vector<std::string> outputs;
    return outputs;
}

void ListFiles(const std::string& folder, const std::string& prefix, bool deep, std::vector<std::string>& files)
{
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr)
        return;
    std::vector<std::string> names;
    while (const struct dirent* entry = ::readdir(dir)) {
        std::string_view name = entry->d_name;
        if (name != "." && name != ".." && name.compare(0, prefix.size(), prefix) == 0)
            names.emplace_back(name);
    }
    ::closedir(dir);
    for (const std::string& name : names) {
        std::string path = folder.empty() || folder.back() != '/' ? folder + "/" + name : folder + name;
        struct stat info;
        if (::lstat(path.c_str(), &info) != 0)
            continue;
        if (S_ISDIR(info.st_mode)) {
            if (deep)
                ListFiles(path, std::string(), true, files);
        } else {
            files.push_back(path);
        }
    }
}

}  // namespace

void SetResume(bool on)
{
    resume = on;
}

bool Resuming()
{
    return resume;
}

void NoteOutput(const std::string& path)
{
    NoteMade(Outputs(), path);
}

std::vector<std::string> OutputsNotNoted(const std::string& folder, const std::string& prefix)
{
    std::vector<std::string> files;
    ListFiles(folder, prefix, prefix.empty(), files);
    // Paths as the writers named them: "out//x" and "./x" name the files "out/x" and "x".
    auto plain = [](std::string path) {
        path.erase(std::unique(path.begin(), path.end(), [](char a, char b) { return a == '/' && b == '/'; }),
                   path.end());
        while (path.compare(0, 2, "./") == 0)
            path.erase(0, 2);
        return path;
    };
    std::vector<std::string> known;
    for (const std::vector<std::string>* list : {&Outputs(), &MadeMarkers()})
        for (const std::string& path : *list)
            known.push_back(plain(path));
    std::sort(known.begin(), known.end());
    std::vector<std::string> extra;
    for (const std::string& path : files) {
        if (!std::binary_search(known.begin(), known.end(), plain(path)))
            extra.push_back(path);
    }
    std::sort(extra.begin(), extra.end());
    return extra;
}

void RemoveEmptyMadeFolders() noexcept
{
    RemoveFoldersThatAreEmpty();
    // A marker file goes only where it is all that is left of its folder.
    for (const std::string& marker : MadeMarkers()) {
        std::size_t slash = marker.rfind('/');
        std::string folder = slash == std::string::npos ? std::string(".") : marker.substr(0, slash);
        DIR* dir = ::opendir(folder.c_str());
        if (dir == nullptr)
            continue;
        int others = 0;
        while (const struct dirent* entry = ::readdir(dir)) {
            std::string_view name = entry->d_name;
            if (name != "." && name != ".." && name != std::string_view(marker).substr(slash + 1))
                ++others;
        }
        ::closedir(dir);
        if (others == 0)
            ::unlink(marker.c_str());
    }
    RemoveFoldersThatAreEmpty();
}

std::string ErrnoText(const std::string& path, int error)
{
    return path + ": " + std::strerror(error);
}

void MakeFolders(const std::string& path)
{
    if (path.empty())
        return;
    // Each prefix that ends before a '/' in turn, then the whole path.
    for (std::size_t at = 1; at <= path.size(); ++at) {
        if (at < path.size() && path[at] != '/')
            continue;
        std::string prefix = path.substr(0, at);
        if (::mkdir(prefix.c_str(), kFolderMode) == 0) {
            NoteMade(MadeFolders(), prefix);
            continue;
        }
        int error = errno;
        struct stat info;
        if (error == EEXIST && ::stat(prefix.c_str(), &info) == 0 && S_ISDIR(info.st_mode))
            continue;
        throw ExportError(ErrnoText(prefix, error == EEXIST ? ENOTDIR : error), false);
    }
}

Folder Folder::Make(const std::string& path)
{
    MakeFolders(path);
    int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        int error = errno;
        throw ExportError(ErrnoText(path, error), false);
    }
    return Folder(fd, path);
}

Folder::Folder(Folder&& other) noexcept : fd_(std::exchange(other.fd_, -1)), path_(std::move(other.path_)) {}

Folder& Folder::operator=(Folder&& other) noexcept
{
    if (this != &other) {
        CloseQuietly(fd_);
        fd_ = std::exchange(other.fd_, -1);
        path_ = std::move(other.path_);
    }
    return *this;
}

Folder::~Folder()
{
    CloseQuietly(fd_);
}

std::string Folder::PathOf(std::string_view name) const
{
    std::string path = path_;
    if (!path.empty() && path.back() != '/')
        path += '/';
    path += name;
    return path;
}

Folder Folder::Sub(const std::string& name) const
{
    std::string path = PathOf(name);
    if (::mkdirat(fd_, name.c_str(), kFolderMode) == 0)
        NoteMade(MadeFolders(), path);
    else if (errno != EEXIST)
        Fail(path, errno);
    int fd = ::openat(fd_, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        Fail(path, errno == ELOOP ? ENOTDIR : errno);  // a link in its place
    return Folder(fd, path);
}

void Folder::Touch(const std::string& name) const
{
    int fd = ::openat(fd_, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, kFileMode);
    if (fd < 0) {
        if (errno == EEXIST) {
            NoteOutput(PathOf(name));
            return;
        }
        Fail(PathOf(name), errno);
    }
    NoteMade(MadeMarkers(), PathOf(name));
    if (::close(fd) != 0)
        Fail(PathOf(name), errno);
}

bool Folder::Has(const std::string& name) const
{
    struct stat info;
    return ::fstatat(fd_, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0;
}

void Folder::Drop(const std::string& name) const noexcept
{
    ::unlinkat(fd_, name.c_str(), 0);
}

void Folder::MoveInto(const std::string& name, const Folder& to) const
{
    if (::linkat(fd_, name.c_str(), to.fd_, name.c_str(), 0) != 0) {
        int error = errno;
        Drop(name);
        if (error == EEXIST)
            throw ExportError(to.PathOf(name) + ": already exists; left untouched (--resume goes on with it)", true);
        Fail(to.PathOf(name), error);
    }
    Drop(name);
    NoteOutput(to.PathOf(name));
}

OutputFile::OutputFile(const Folder& folder, const std::string& name, std::size_t bufferSize)
    : dirFd_(folder.fd()), name_(name), path_(folder.PathOf(name))
{
    buffer_.resize(bufferSize);
    if (resume) {
        // A symbolic link is not followed: it is not what the run writes.
        fd_ = ::openat(dirFd_, name.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
        if (fd_ >= 0) {
            struct stat info;
            if (::fstat(fd_, &info) != 0 || !S_ISREG(info.st_mode)) {
                CloseQuietly(std::exchange(fd_, -1));
                throw OutputConflict(path_ + ": not a file; left untouched");
            }
            existing_ = static_cast<std::uint64_t>(info.st_size);
            verifying_ = true;
            NoteOutput(path_);
            return;
        }
        if (errno == ELOOP)
            throw OutputConflict(path_ + ": a symbolic link; left untouched");
    }
    // O_EXCL also refuses a symbolic link in the file's place.
    fd_ = ::openat(dirFd_, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kFileMode);
    if (fd_ < 0) {
        int error = errno;
        if (error == EEXIST)
            throw ExportError(path_ + ": already exists; left untouched (--resume goes on with it)", true);
        Fail(path_, error);
    }
    NoteOutput(path_);
}

void OutputFile::Compare(const char* bytes, std::size_t count)
{
    held_.append(bytes, count);
    char piece[64 << 10];
    while (count > 0 && flushed_ < existing_) {
        std::size_t want = count < sizeof piece ? count : sizeof piece;
        if (existing_ - flushed_ < want)
            want = static_cast<std::size_t>(existing_ - flushed_);
        ssize_t got = ::pread(fd_, piece, want, static_cast<off_t>(flushed_));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            Fail(path_, got < 0 ? errno : EIO);
        std::size_t same = 0;
        while (same < static_cast<std::size_t>(got) && piece[same] == bytes[same])
            ++same;
        if (same < static_cast<std::size_t>(got)) {
            untouched_ = true;
            throw OutputConflict(path_ + ": holds other bytes than this store gives there (from byte " +
                                 std::to_string(flushed_ + same) + "); left untouched");
        }
        flushed_ += static_cast<std::uint64_t>(got);
        bytes += got;
        count -= static_cast<std::size_t>(got);
    }
    if (count > 0)
        WriteOnFromMark();  // the file ends inside what is written: a torn tail
}

void OutputFile::WriteOnFromMark()
{
    verifying_ = false;
    if (::ftruncate(fd_, static_cast<off_t>(mark_)) != 0 || ::lseek(fd_, static_cast<off_t>(mark_), SEEK_SET) < 0)
        Fail(path_, errno);
    flushed_ = durable_ = mark_;
    durablePieces_ = markPieces_;
    std::string held = std::move(held_);
    held_.clear();
    Write(held.data(), held.size());
}

OutputFile::~OutputFile()
{
    CloseQuietly(fd_);
}

void OutputFile::WriteAll(const char* bytes, std::size_t count)
{
    while (count > 0) {
        ssize_t wrote = ::write(fd_, bytes, count);
        if (wrote < 0) {
            if (errno == EINTR)
                continue;
            Fail(path_, errno);
        }
        if (wrote == 0)
            throw ExportError(ErrnoText(path_, ENOSPC), false);
        bytes += wrote;
        count -= static_cast<std::size_t>(wrote);
        flushed_ += static_cast<std::uint64_t>(wrote);
    }
}

void OutputFile::Flush()
{
    if (used_ > 0) {
        broken_ = true;
        WriteAll(buffer_.data(), used_);
        used_ = 0;
        broken_ = false;
    }
    durable_ = mark_;
    durablePieces_ = markPieces_;
    pending_.clear();
}

void OutputFile::BackToWritten() noexcept
{
    for (const auto& [offset, pieces] : pending_) {
        if (offset > flushed_)
            break;
        durable_ = offset;
        durablePieces_ = pieces;
    }
    pending_.clear();
    mark_ = durable_;
    markPieces_ = durablePieces_;
}

void OutputFile::Mark(std::uint32_t pieces)
{
    if (verifying_) {
        held_.clear();
        durable_ = flushed_;
        durablePieces_ = pieces;
        // Written on from here where the file ends here.
        if (flushed_ == existing_ && ::lseek(fd_, static_cast<off_t>(flushed_), SEEK_SET) >= 0)
            verifying_ = false;
    }
    mark_ = size();
    markPieces_ = pieces;
    if (!verifying_)
        pending_.push_back({mark_, pieces});
}

void OutputFile::Write(const char* bytes, std::size_t count)
{
    if (count == 0)
        return;
    if (verifying_) {
        Compare(bytes, count);
        return;
    }
    if (count <= buffer_.size() - used_) {
        std::memcpy(buffer_.data() + used_, bytes, count);
        used_ += count;
        return;
    }
    Flush();
    // A piece at least as large as the buffer goes out directly.
    if (count >= buffer_.size()) {
        broken_ = true;
        WriteAll(bytes, count);
        broken_ = false;
        return;
    }
    std::memcpy(buffer_.data(), bytes, count);
    used_ = count;
}

bool OutputFile::CutToMark() noexcept
{
    if (!broken_ && mark_ >= flushed_) {
        used_ = static_cast<std::size_t>(mark_ - flushed_);
        return true;
    }
    if (broken_)
        BackToWritten();
    used_ = 0;
    if (::ftruncate(fd_, static_cast<off_t>(mark_)) != 0 || ::lseek(fd_, 0, SEEK_END) < 0)
        return false;
    flushed_ = mark_;
    broken_ = false;
    return true;
}

std::uint32_t OutputFile::KeepComplete() noexcept
{
    if (fd_ < 0)
        return markPieces_;
    // A file still being compared, or found to differ, is as it was.
    if (verifying_ || untouched_) {
        CloseQuietly(std::exchange(fd_, -1));
        return markPieces_;
    }
    if (CutToMark()) {
        try {
            Close();
            return markPieces_;
        } catch (const ExportError&) {
            // The buffer did not go out either: what the file surely holds.
        }
    }
    int fd = std::exchange(fd_, -1);
    BackToWritten();
    if (::ftruncate(fd, static_cast<off_t>(mark_)) != 0) {
        // Nothing more can be done for a file that cannot even be cut.
    }
    CloseQuietly(fd);
    return markPieces_;
}

void OutputFile::SetTime(std::int64_t seconds)
{
    if (verifying_)
        return;  // the file as it was, its time too
    Flush();
    struct timespec times[2];
    times[0].tv_sec = static_cast<time_t>(seconds);
    times[0].tv_nsec = 0;
    times[1] = times[0];
    if (::futimens(fd_, times) != 0)
        Fail(path_, errno);
}

void OutputFile::Close()
{
    if (verifying_ && flushed_ < existing_) {
        untouched_ = true;
        throw OutputConflict(path_ + ": holds more than this store gives there (from byte " + std::to_string(flushed_) +
                             "); left untouched");
    }
    kept_ = verifying_;
    Flush();
    int fd = std::exchange(fd_, -1);
    if (::close(fd) != 0)
        Fail(path_, errno);
}

void OutputFile::Remove() noexcept
{
    CloseQuietly(std::exchange(fd_, -1));
    if (verifying_ || untouched_)
        return;  // a file that was there is left as it is
    used_ = 0;
    ::unlinkat(dirFd_, name_.c_str(), 0);
}

}  // namespace vexport
