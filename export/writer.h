// The four output formats behind one interface: a writer is told where a
// mailbox begins, gets its messages one by one and is told where it ends.
#ifndef VESTIBAR_EXPORT_WRITER_H
#define VESTIBAR_EXPORT_WRITER_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "msim_store.h"
#include "output.h"

namespace vexport {

namespace mime {
class Readable;
}

enum class Format { kMbox, kMaildir, kEml, kWinbiff };

// What the writers are asked for: the formats they write, and for mbox and
// Maildir the stored bytes (raw) or the readable form (mime/readable.h).
struct WriterOptions {
    bool raw = false;
    bool preferEuc = false;
};

// Memory that only grows and is not cleared: the messages of a mailbox
// pass through the same bytes.
class Buffer {
public:
    // At least `size` bytes, the first ones as they were.
    char* Get(std::size_t size);

private:
    std::unique_ptr<char[]> data_;
    std::size_t capacity_ = 0;
};

// The bytes of the message being written, read through the walk or the
// recovery scan, which has checked that they lie within the mailbox.
class MessageBytes {
public:
    // `fileTime` is the mailbox file's modification time: the message's
    // time where its Date cannot be read.
    MessageBytes(msim::MessageReader& walk, const msim::Message& message, const std::string& mailboxName,
                 std::int64_t fileTime = 0)
        : walk_(walk), message_(message), mailboxName_(mailboxName), fileTime_(fileTime) {}
    std::uint32_t size() const { return message_.size; }
    // The message's time from its Date field (the header block `header`),
    // or the mailbox file's time, noted, where the Date cannot be read.
    std::int64_t TimeOf(std::string_view header);
    bool undated() const { return undated_; }
    // Resuming: the message was found whole in the output, as written.
    void NoteKept() { kept_ = true; }
    bool kept() const { return kept_; }
    // `count` bytes from `within` bytes into the message; a failure ends the
    // walk and throws ExportError with its description.
    void Read(std::uint64_t within, char* buffer, std::size_t count);

private:
    msim::MessageReader& walk_;
    const msim::Message& message_;
    const std::string& mailboxName_;
    std::int64_t fileTime_;
    bool undated_ = false;
    bool kept_ = false;
};

// How one mailbox is known to the writers.
struct MailboxNames {
    std::string stem;        // its file name without ".mbx", in UTF-8
    std::uint32_t sequence;  // 1-based place among the run's mailboxes
};

// Where a message of a mailbox goes: the mailbox's own output, or one
// beside it named after it, so that mail a reader should not take for the
// mailbox's own (kept deleted mail, recovered records) stays apart and a
// person sees where it came from.
enum class Place { kMain, kDeleted, kRecovered };
constexpr std::size_t kPlaceCount = 3;

// The name of a place's output for a mailbox: "Inbox", "Inbox (deleted)",
// "Inbox (recovered)".
std::string PlaceStem(std::string_view stem, Place place);

class Writer {
public:
    virtual ~Writer() = default;
    virtual void BeginMailbox(const MailboxNames& names) = 0;
    // `number` counts the run's messages from 1, as the .eml files do.
    // Formats without a place of their own for it (.eml) ignore `place`.
    virtual void WriteMessage(const msim::Message& message, Place place, std::uint32_t number,
                              MessageBytes& bytes) = 0;
    // Finishes the mailbox's outputs and says what they hold, in one line.
    virtual std::string EndMailbox() = 0;
    // After a failure: keeps what is whole, drops the rest, and says what
    // is kept; empty when the mailbox had no output yet.
    virtual std::string AbandonMailbox() noexcept = 0;
    // Messages so far with text bytes valid in no code, shown as U+FFFD.
    virtual std::uint32_t ReplacedMessages() const { return 0; }
};

// A message as mbox and Maildir write it: its stored bytes under --raw,
// otherwise its readable form.
class MessageForm {
public:
    explicit MessageForm(const WriterOptions& options);
    ~MessageForm();
    bool raw() const { return readable_ == nullptr; }
    // The whole message in that form; valid until the next call.
    std::string_view Read(MessageBytes& bytes);
    std::uint32_t replacedMessages() const { return replacedMessages_; }

private:
    std::unique_ptr<mime::Readable> readable_;
    Buffer buffer_;
    std::string text_;
    std::uint32_t replacedMessages_ = 0;
};

// "3 messages", "1 message".
std::string CountText(std::uint64_t count, const char* noun);

// A writer that appends every message of a place to one file of its own
// (mbox, WinBiff): the mailbox's file is made when the mailbox begins, the
// file of another place with its first message, and each is cut back to
// its last whole message after a failure.
class MailboxFileWriter : public Writer {
public:
    void BeginMailbox(const MailboxNames& names) final;
    void WriteMessage(const msim::Message& message, Place place, std::uint32_t number, MessageBytes& bytes) final;
    std::string EndMailbox() override;
    std::string AbandonMailbox() noexcept override;

protected:
    MailboxFileWriter(const std::string& output, std::size_t buffer) : folder_(Folder::Make(output)), buffer_(buffer) {}
    // The file name of a place's output, from its stem.
    virtual std::string FileName(const std::string& stem) const = 0;
    // Appends one message; the caller marks the file after it.
    virtual void Append(OutputFile& file, const msim::Message& message, MessageBytes& bytes) = 0;

private:
    struct Output {
        std::optional<OutputFile> file;
        std::uint32_t count = 0;
    };
    Output& Open(Place place);

    Folder folder_;
    std::size_t buffer_;
    std::string stem_;
    Output outputs_[kPlaceCount];
};

// `output` is the -o argument; throws ExportError when it cannot be made.
std::unique_ptr<Writer> MakeWriter(Format format, const std::string& output, const WriterOptions& options);

// A piece of output of a message as it is made.
class ByteSink {
public:
    virtual void Write(const char* bytes, std::size_t count) = 0;
    void Write(std::string_view bytes) { Write(bytes.data(), bytes.size()); }

protected:
    ~ByteSink() = default;
};

// One mboxrd entry: the "From " line, the message with ">" added to lines
// that match ^>*From , the marks at the end of its header block (read mail
// "Status: RO", unread mail no Status line, which mutt shows as new as it
// shows a Maildir's new/; "X-Mozilla-Status:" for Thunderbird), a line end
// after a last line that has none, and the empty line that separates it
// from the next entry.
// `date` is the "From " line's time.
void WriteMboxEntry(std::string_view message, bool unread, std::int64_t date, ByteSink& sink);

// The Date field of a header block as seconds since the epoch, where it
// can be read.
std::optional<std::int64_t> MessageDate(std::string_view header);

// Where the header block ends: the offset of the first empty line (CR LF
// or LF), or the message's size when it has none.
std::size_t HeaderBlockEnd(std::string_view message);

// The "From " line's date: seconds since the epoch as asctime(3) gives
// them in UTC ("Mon May  5 01:20:00 1997").
std::string AsctimeUtc(std::int64_t seconds);

}  // namespace vexport

#endif
