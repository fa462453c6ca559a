// Output files of the exporter: folders held open by descriptor so that
// names are resolved inside them (a name never leads outside its folder),
// files that are always created new (O_CREAT|O_EXCL: nothing existing is
// overwritten or appended to), and large buffered writes.
#ifndef VESTIBAR_EXPORT_OUTPUT_H
#define VESTIBAR_EXPORT_OUTPUT_H

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vexport {

// A failure that stops a run, or under --keep-going only the item that met
// it.  `skippable` is false for failures that would only repeat on every
// later item (a full disk, a folder that cannot be made).
class ExportError : public std::runtime_error {
public:
    ExportError(const std::string& what, bool skippable) : std::runtime_error(what), skippable_(skippable) {}
    bool skippable() const { return skippable_; }

private:
    bool skippable_;
};

// "path: text of errno".
std::string ErrnoText(const std::string& path, int error);

// Makes `path` and every missing folder above it; throws ExportError.
void MakeFolders(const std::string& path);

// Takes away the folders this process made that hold nothing (or only a
// marker file it made itself, such as a Maildir's "maildirfolder"), the
// deepest first: a run that fails leaves no empty folders behind.
void RemoveEmptyMadeFolders() noexcept;

// An open folder.
class Folder {
public:
    // Opens `path`, making it (and its parents) first when missing.
    static Folder Make(const std::string& path);
    Folder(Folder&& other) noexcept;
    Folder& operator=(Folder&& other) noexcept;
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;
    ~Folder();

    // The folder `name` inside this one, made when missing.  A symbolic
    // link there is refused rather than followed.
    Folder Sub(const std::string& name) const;
    // Creates the empty file `name` unless it exists (then left as it is).
    void Touch(const std::string& name) const;
    int fd() const { return fd_; }
    const std::string& path() const { return path_; }
    // The path of `name` inside this folder, for messages.
    std::string PathOf(std::string_view name) const;

private:
    Folder(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
    int fd_ = -1;
    std::string path_;
};

// A new file inside a folder, written through a buffer.  Every write
// failure throws ExportError naming the file; an existing file is
// reported as such and left untouched (skippable).
class OutputFile {
public:
    OutputFile(const Folder& folder, const std::string& name, std::size_t bufferSize);
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    // A file neither closed nor removed is closed without its buffer being
    // written: only a failure leaves one so.
    ~OutputFile();

    void Write(const char* bytes, std::size_t count);
    void Write(std::string_view bytes) { Write(bytes.data(), bytes.size()); }
    // Bytes written so far, buffered ones included.
    std::uint64_t size() const { return flushed_ + used_; }
    // The end of the last complete piece (a message), `pieces` of them so
    // far: after a failure the file is cut back to a mark, so that what it
    // holds is whole.
    void Mark(std::uint32_t pieces)
    {
        mark_ = size();
        markPieces_ = pieces;
        pending_.push_back({mark_, pieces});
    }
    // After a failure: cuts the file back to the last mark that can be
    // kept, closes it and returns the number of pieces it holds.
    std::uint32_t KeepComplete() noexcept;
    // Modification (and access) time, seconds since the epoch UTC.
    void SetTime(std::int64_t seconds);
    // Writes the buffer and closes; throws on failure.
    void Close();
    // Closes and deletes the file: it holds a part of a message only.
    void Remove() noexcept;
    const std::string& path() const { return path_; }

private:
    void Flush();
    void WriteAll(const char* bytes, std::size_t count);
    bool CutToMark() noexcept;
    int dirFd_;
    std::string name_;
    std::string path_;
    int fd_ = -1;
    std::vector<char> buffer_;
    std::size_t used_ = 0;
    std::uint64_t flushed_ = 0;
    std::uint64_t mark_ = 0;
    std::uint32_t markPieces_ = 0;
    // The last mark known to be in the file, and the marks since: a failed
    // write leaves the buffer's bytes in doubt (`broken_`), and the file is
    // cut back to the last mark among the bytes that did go out.
    void BackToWritten() noexcept;
    std::uint64_t durable_ = 0;
    std::uint32_t durablePieces_ = 0;
    std::vector<std::pair<std::uint64_t, std::uint32_t>> pending_;
    bool broken_ = false;
};

}  // namespace vexport

#endif
