// Finding again the records of a mailbox that its walk did not reach: those
// its index no longer names, those after the step where the record chain or
// the index breaks, those past the header's count.  The walk's records are
// taken as they are; every other whole record is found by its start (the
// record marker on a 4-byte boundary, a head whose lengths fit the file, and
// where it says the next record starts, another record start or the end of
// the file), searched for only in the stretches that no known record holds,
// so that a marker inside a message already taken is never a record.  Holds
// the offsets of records, never their bytes.  Portable C++17, no Win32.
//
//     msim::RecordScan scan(mailbox);
//     while (walk.Next(message) == msim::MailboxWalk::kMessage) {
//         scan.Reached(message);
//         ...
//     }
//     if (skipDeleted) msim::PassOverDeleted(mailbox, index, scan);
//     if (!scan.Run()) report(scan.failure().Describe(path));
//     for (const msim::Message& found : scan.recovered())
//         ... scan.ReadMessage(found, 0, buffer, found.size) ...;
//     for (const msim::ByteRange& lost : scan.unclaimed()) ...;
#ifndef VESTIBAR_MSIM_RECOVER_H
#define VESTIBAR_MSIM_RECOVER_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "msim_store.h"

namespace msim {

// Bytes [begin, end) of a file.
struct ByteRange {
    std::uint64_t begin = 0;
    std::uint64_t end = 0;
};

class RecordScan final : public MessageReader {
public:
    // The source must outlive the scan.
    explicit RecordScan(ByteSource& mailbox) : mailbox_(mailbox) {}
    RecordScan(const RecordScan&) = delete;
    RecordScan& operator=(const RecordScan&) = delete;

    // A record that the walk handed on, in any order; one reached again and
    // again is one record.
    void Reached(const Message& message) { Note(message, false); }
    // A record that the index names but the walk passed over (deleted mail
    // left out): it is neither recovered nor a stretch of no message.
    void PassedOver(const Message& message) { Note(message, true); }

    // Searches the stretches outside the known records.  False when a read
    // of the mailbox failed (failure() says where); what was found before
    // it stays.  Called once.
    bool Run();

    // Records known before the search, each once: reached, and passed over.
    std::uint32_t reachedRecords() const { return reached_; }
    std::uint32_t passedOverRecords() const { return passedOver_; }
    // The records found, in file order, as messages: ordinal and slot count
    // them from 1 and 0, unread, not deleted; their bytes lie inside the
    // mailbox and overlap no message reached, passed over or found.
    const std::vector<Message>& recovered() const { return recovered_; }
    // The stretches from the end of the mailbox header on that belong to no
    // record, in file order (a record holds its padding where its length
    // says so; the mailbox header is nobody's stretch).
    const std::vector<ByteRange>& unclaimed() const { return unclaimed_; }

    // As MailboxWalk::ReadMessage, for a recovered message.
    bool ReadMessage(const Message& message, std::uint64_t within, void* buffer, std::size_t count) override;

    bool failed() const { return static_cast<bool>(failure_); }
    const Failure& failure() const override { return failure_; }

private:
    struct Known {
        std::uint64_t begin;       // the record's offset
        std::uint64_t messageEnd;  // the end of its message
        std::uint64_t lengthEnd;   // where its recordLength leads (0: nowhere inside the file)
        bool passedOver;
    };

    // A piece of the mailbox held in memory, refilled where it is needed.
    class Window {
    public:
        explicit Window(RecordScan& scan) : scan_(scan) {}
        // The `count` bytes at `at` (which lie inside the file), or null
        // after a failed read.
        const unsigned char* At(std::uint64_t at, std::size_t count);

    private:
        static constexpr std::size_t kSize = std::size_t{64} << 10;
        RecordScan& scan_;
        std::vector<unsigned char> bytes_;
        std::uint64_t start_ = 0;
    };

    void Note(const Message& message, bool passedOver);
    void Compact();
    // Searches [begin, end), which ends at a known record or at the end of
    // the file; false after a failed read.
    bool Search(std::uint64_t begin, std::uint64_t end);
    // The record length of a whole record at `at` inside [at, end), or 0.
    std::uint32_t WholeRecordAt(std::uint64_t at, std::uint64_t end, std::uint32_t& messageSize, bool& readFailed);
    bool IsRecordStart(std::uint64_t at, std::uint64_t knownStart, bool& readFailed);
    void Unclaimed(std::uint64_t begin, std::uint64_t end);
    bool Fail(std::uint64_t at, std::size_t count, ReadResult result);

    ByteSource& mailbox_;
    std::vector<Known> known_;
    std::size_t compactedSize_ = 0;
    std::uint32_t reached_ = 0;
    std::uint32_t passedOver_ = 0;
    std::vector<Message> recovered_;
    std::vector<ByteRange> unclaimed_;
    Failure failure_;
    Window sweep_{*this}, probe_{*this};
};

// The records of the index entries that a walk with skipDeleted passes over,
// told to `scan` as passed over: a walk through the index that hands every
// entry on, stopped where it fails or where an entry leads to itself.  Does
// nothing without a usable index.
void PassOverDeleted(ByteSource& mailbox, ByteSource* index, RecordScan& scan);

}  // namespace msim

#endif
