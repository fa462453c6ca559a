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

// An output file that holds other bytes than the run would write there:
// it is left as it is, and the run reports it.
class OutputConflict : public ExportError {
public:
    explicit OutputConflict(const std::string& what) : ExportError(what, true) {}
};

// With resume on (the run's --resume), an output file that exists is read
// rather than refused: the bytes written to it are compared with those it
// holds; where they end inside what is written (a torn tail) it is cut back
// to its last mark and written on from there, and where they differ it is
// left untouched (OutputConflict).  Off, nothing existing is ever opened.
void SetResume(bool resume);
bool Resuming();

// The files the run wrote or found whole, by path: what else lies in the
// output was not written by it.
void NoteOutput(const std::string& path);
// Files under `folder` (every level; with `prefix`, only its own entries
// whose names start with it) that the run did not write, in byte order.
std::vector<std::string> OutputsNotNoted(const std::string& folder, const std::string& prefix);

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
    bool Has(const std::string& name) const;
    // Deletes the file `name` if it is there.
    void Drop(const std::string& name) const noexcept;
    // Gives the finished file `name` its place in `to` under the same name
    // (a link, then the name here goes), as Maildir delivers from tmp/: the
    // file appears whole or not at all.  An existing one there is left
    // untouched (skippable ExportError).
    void MoveInto(const std::string& name, const Folder& to) const;
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
    void Mark(std::uint32_t pieces);
    // After a failure: cuts the file back to the last mark that can be
    // kept, closes it and returns the number of pieces it holds.
    std::uint32_t KeepComplete() noexcept;
    // Modification (and access) time, seconds since the epoch UTC.
    void SetTime(std::int64_t seconds);
    // Writes the buffer and closes; throws on failure.
    void Close();
    // Resuming: the file was there and every byte written so far is in it.
    bool verifying() const { return verifying_; }
    // After Close: the file was there and held exactly what was written.
    bool kept() const { return kept_; }
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
    // Resuming over an existing file of `existing_` bytes: `flushed_` of
    // them are compared, `held_` are the bytes since the last mark, to be
    // written again where the file turns out torn.
    void Compare(const char* bytes, std::size_t count);
    void WriteOnFromMark();
    bool verifying_ = false;
    bool untouched_ = false;
    bool kept_ = false;
    std::uint64_t existing_ = 0;
    std::string held_;
};

}  // namespace vexport

#endif
