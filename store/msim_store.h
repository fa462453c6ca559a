// Walking the messages of an MS-IM mailbox, with or without its index, over
// any random-access byte source.  It hands on the messages that the Windows
// program's walks hand on, in their order, with their marks, and stops at
// the step where they would fail; a failure says which file, which record
// or entry, which offset and what was wrong.  Portable C++17, no Win32.
//
//     msim::FileSource mailbox, index;               // file_source.h
//     if (int error = mailbox.Open(path)) ...;       // errno
//     bool hasIndex = index.Open(msim::IndexNameFor(path)) == 0;
//     msim::MailboxWalk walk(mailbox, hasIndex ? &index : nullptr, skipDeleted);
//     if (walk.indexState() == msim::IndexState::kUnreadable)
//         warn(walk.indexWarning().Describe(path));  // then walked without it
//     msim::Message message;
//     while (walk.Next(message) == msim::MailboxWalk::kMessage)
//         ... walk.ReadMessage(message, 0, buffer, n) ...;
//     if (walk.failed()) report(walk.failure().Describe(path));
#ifndef VESTIBAR_MSIM_STORE_H
#define VESTIBAR_MSIM_STORE_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "msim_format.h"

namespace msim {

// What one read brought: `count` bytes arrived (fewer than asked only where
// the source ends), or the read failed with `error` (an errno value).
struct ReadResult {
    std::size_t count = 0;
    int error = 0;
};

// Random-access bytes: a file, or memory in tests and the fuzzer.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    // The size the source had when it was opened.
    virtual std::uint64_t Size() const = 0;
    // Up to `count` bytes at `offset`; an offset at or past the end gives 0.
    virtual ReadResult Read(std::uint64_t offset, void* buffer, std::size_t count) = 0;
};

// Bytes held elsewhere, not copied; they must outlive the source.
class MemorySource final : public ByteSource {
public:
    MemorySource(const void* data, std::size_t size) : data_(static_cast<const unsigned char*>(data)), size_(size) {}
    explicit MemorySource(std::string_view bytes) : MemorySource(bytes.data(), bytes.size()) {}
    std::uint64_t Size() const override { return size_; }
    ReadResult Read(std::uint64_t offset, void* buffer, std::size_t count) override;

private:
    const unsigned char* data_;
    std::size_t size_;
};

// What the index beside a mailbox turned out to be.  Only kUsable gives the
// walk through the index; the others walk the mailbox's records.
enum class IndexState {
    kAbsent,      // no index source given (none there, or it would not open)
    kUsable,      // starts with "JMF9"
    kUnreadable,  // its first four bytes could not be read: warned, then ignored
    kWrongMagic,  // does not start with "JMF9": ignored without a word
};

// Which file a failure was met in.
enum class FileRole { kMailbox, kIndex };

// The piece of the store that a failing step read.
enum class Part {
    kMagic,         // a file's first four bytes
    kCount,         // header bytes 4 to 11 (the count's read)
    kRecordHead,    // the 16-byte head of a record
    kEntryHead,     // the first 20 bytes of an entry
    kRecordOffset,  // an entry's recordOffset
    kMessage,       // a message's bytes
    kScan,          // bytes read by the recovery scan (msim_recover.h)
};

enum class FailureKind {
    kNone,
    kReadError,  // the source reported `error` (errno)
    kShortRead,  // the file ends before the `length` bytes at `readOffset`
    kNotMailbox, // the mailbox does not start with "JMF6"
    kPastEnd,    // a message of `length` bytes at `readOffset` runs past the end
    kLoop,       // the record or entry at `offset` leads back to `readOffset` (EndAtLoops)
};

// A failed step, with everything needed to report it.  Slots are 0-based
// here and numbered from 1 in Describe's text.
struct Failure {
    FailureKind kind = FailureKind::kNone;
    FileRole file = FileRole::kMailbox;
    Part part = Part::kMagic;
    bool viaIndex = false;         // a record reached through index entry `slot`
    std::uint32_t slot = 0;        // record number (sequential walk) or entry number
    std::uint64_t offset = 0;      // where the record or entry starts (0 for a header)
    std::uint64_t readOffset = 0;  // where the failing read began
    std::uint64_t length = 0;      // bytes the read wanted, or the message's size
    std::uint64_t got = 0;         // bytes that arrived in a short read
    std::uint64_t fileSize = 0;    // size of the failing file
    int error = 0;                 // errno for kReadError

    explicit operator bool() const { return kind != FailureKind::kNone; }
    // A read of `count` bytes at `at` of a file of `fileSize` bytes that
    // failed or came short, as `result` says; the caller adds where it was.
    static Failure OfRead(const ReadResult& result, std::uint64_t at, std::uint64_t count, std::uint64_t fileSize);
    // One line, e.g. "Inbox.mbx: record 17 at offset 5812: message of
    // 4294967200 bytes runs past the end of the file (1048576 bytes)".  The
    // index is named by IndexNameFor(mailboxName).
    std::string Describe(std::string_view mailboxName) const;
};

// One message handed on.  The message's bytes are the `size` bytes at
// `dataOffset` of the mailbox; the walk has checked that they lie inside it.
struct Message {
    std::uint32_t ordinal = 0;       // 1-based among the messages counted in this mailbox
    std::uint32_t slot = 0;          // 0-based record or entry number, skipped entries counted
    std::uint32_t recordOffset = 0;  // where the record starts in the mailbox
    std::uint64_t dataOffset = 0;    // recordOffset + 16, without wrapping
    std::uint32_t size = 0;
    std::uint32_t recordLength = 0;  // as the record's head says, unchecked (the indexed walk ignores it)
    bool unread = true;              // always set in the walk through the records
    bool deleted = false;            // never set in the walk through the records
};

// What hands a message's bytes out: the walk that reached it, or the
// recovery scan that found it (msim_recover.h).
class MessageReader {
public:
    // `count` bytes of `message` from `within` bytes into it; false after a
    // failure, which failure() then describes.
    virtual bool ReadMessage(const Message& message, std::uint64_t within, void* buffer, std::size_t count) = 0;
    virtual const Failure& failure() const = 0;

protected:
    ~MessageReader() = default;
};

// The walk over one mailbox.  The constructor probes the index (reads its
// magic); Begin (or the first Next) reads the mailbox's magic and the count.
// No allocation: failures hold numbers only until Describe is asked.
class MailboxWalk final : public MessageReader {
public:
    enum Step { kMessage, kEnd, kFailed };

    // `index` is null when the mailbox has none.  With skipDeleted, entries
    // marked deleted are passed over (and not counted); otherwise they are
    // handed on with `deleted` set.  The sources must outlive the walk.
    MailboxWalk(ByteSource& mailbox, ByteSource* index, bool skipDeleted);
    MailboxWalk(const MailboxWalk&) = delete;
    MailboxWalk& operator=(const MailboxWalk&) = delete;

    IndexState indexState() const { return indexState_; }
    Walk walk() const { return ChooseWalk(indexState_ == IndexState::kUsable); }
    // Why the index is kUnreadable (file kIndex, part kMagic).
    const Failure& indexWarning() const { return indexWarning_; }

    // A record (or entry) whose length leads back to its own start or
    // before it makes the walk go over records it has handed already, as
    // many times as the count allows; after this call the walk hands such a
    // record once and then fails (kLoop) where it would go back, so that
    // no message comes out twice.  Without it the walk goes as MS-IM's own
    // reader does.  A loop at the last step ends the walk as usual.
    void EndAtLoops() { endAtLoops_ = true; }

    // Reads the mailbox's magic and the count (from the index when it is
    // usable); false after a failure.  Called by Next when not yet done.
    bool Begin();
    // The count as read, unsigned: records or entries to step through, of
    // which a progress display counts every one (CountIsNone: nothing).
    std::uint32_t count() const { return count_; }
    // Records or entries stepped through so far, skipped entries included.
    std::uint32_t steps() const { return steps_; }
    // Messages counted so far, as the program's counters go: a message is
    // counted once its record head (records) or its entry (index) is read,
    // so one whose record or bytes then fail is counted too.
    std::uint32_t messageNumber() const { return messageNumber_; }
    // Of those, the ones marked deleted (only when not skipping them).
    std::uint32_t deletedCount() const { return deletedCount_; }

    // The next message, the end, or a failure (then failure() says which);
    // kEnd and kFailed repeat once reached.
    Step Next(Message& message);

    // `count` bytes of `message` from `within` bytes into it.  A read outside
    // the message is refused (kPastEnd); a failing or short read ends the
    // walk with part kMessage.  False after a failure.
    bool ReadMessage(const Message& message, std::uint64_t within, void* buffer, std::size_t count) override;

    bool failed() const { return static_cast<bool>(failure_); }
    const Failure& failure() const override { return failure_; }

private:
    void ProbeIndex();
    bool ReadMailbox(std::uint64_t at, void* buffer, std::size_t count, Part part);
    bool ReadIndex(std::uint64_t at, void* buffer, std::size_t count, Part part);
    bool ReadFrom(ByteSource& source, FileRole role, std::uint64_t at, void* buffer, std::size_t count,
                  Part part);
    std::uint32_t StartStep();
    void FailPastEnd(std::uint64_t dataOffset, std::uint64_t length);
    Step NextRecord(Message& message);
    Step NextEntry(Message& message);
    Step Hand(Message& message, std::uint32_t recordOffset, std::uint32_t size);
    // Under EndAtLoops: whether the step from `from` (the current record or
    // entry) to `position_` goes back; remembers it for FailLoop.
    bool LeadsBack(std::uint32_t from, FileRole file, Part part);
    Step FailLoop();

    ByteSource& mailbox_;
    ByteSource* index_;
    bool skipDeleted_;
    IndexState indexState_ = IndexState::kAbsent;
    Failure indexWarning_;
    Failure failure_;
    bool begun_ = false;
    bool ended_ = false;
    bool endAtLoops_ = false;
    bool loopAhead_ = false;  // the step handed last leads back (loop_ says where)
    Failure loop_;
    std::uint32_t count_ = 0;
    std::uint32_t steps_ = 0;
    std::uint32_t position_ = 0;
    std::uint32_t messageNumber_ = 0;
    std::uint32_t deletedCount_ = 0;
    // Failure context of the step under way.
    std::uint32_t slot_ = 0;
    std::uint64_t slotOffset_ = 0;
    bool viaIndex_ = false;
    // The index is read ahead in pieces: its entries are small and follow
    // one another, and a read per entry costs more than copying a message.
    static constexpr std::size_t kIndexPieceSize = 4096;
    unsigned char indexPiece_[kIndexPieceSize] = {};
    std::uint64_t indexPieceStart_ = 0;
    std::size_t indexPieceLength_ = 0;
};

// The index file's name for a mailbox path (MakeIndexName on a copy); empty
// when the path is shorter than three bytes.
std::string IndexNameFor(std::string_view mailboxName);

}  // namespace msim

#endif
