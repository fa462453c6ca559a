// The recovery scan after the walk, over a mailbox and an index cut from
// one input: it must end, read nothing outside the mailbox, and hand on only
// messages inside it that overlap no message the walk reached, passed over
// or the scan found before, that read back as they stand there, with the
// stretches of no message beside them; and say the same on a second run.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "msim_recover.h"
#include "fuzz_store_input.h"
#include "msim_store.h"

namespace {

void Require(bool condition)
{
    if (!condition)
        std::abort();
}

// A mailbox that refuses to be asked for a byte it does not have.
struct StrictSource final : msim::ByteSource {
    explicit StrictSource(const std::vector<unsigned char>& bytes) : bytes(bytes) {}
    const std::vector<unsigned char>& bytes;
    std::uint64_t Size() const override { return bytes.size(); }
    msim::ReadResult Read(std::uint64_t offset, void* buffer, std::size_t count) override
    {
        Require(offset <= bytes.size() && count <= bytes.size() - offset);
        if (count != 0)
            std::memcpy(buffer, bytes.data() + offset, count);
        return {count, 0};
    }
};

struct Span {
    std::uint64_t begin, end;
};

bool Overlap(const Span& a, const Span& b) { return a.begin < b.end && b.begin < a.end; }

std::string ScanOnce(const std::vector<unsigned char>& mailboxBytes, const std::vector<unsigned char>* indexBytes,
                     bool skipDeleted)
{
    msim::MemorySource mailbox(mailboxBytes.data(), mailboxBytes.size());
    msim::MemorySource index(indexBytes ? indexBytes->data() : nullptr, indexBytes ? indexBytes->size() : 0);
    StrictSource strict(mailboxBytes);
    msim::MailboxWalk walk(mailbox, indexBytes ? &index : nullptr, skipDeleted);
    msim::RecordScan scan(strict);
    std::vector<Span> taken;
    msim::Message message;
    while (walk.Next(message) == msim::MailboxWalk::kMessage) {
        scan.Reached(message);
        taken.push_back({message.recordOffset, message.dataOffset + message.size});
    }
    if (skipDeleted)
        msim::PassOverDeleted(mailbox, indexBytes ? &index : nullptr, scan);
    Require(scan.Run());
    std::string trace = std::to_string(scan.reachedRecords()) + " " + std::to_string(scan.passedOverRecords());
    std::vector<Span> found;
    std::vector<unsigned char> bytes;
    std::uint64_t previous = 0;
    for (const msim::Message& m : scan.recovered()) {
        Span record{m.recordOffset, std::uint64_t{m.recordOffset} + m.recordLength};
        Require(m.recordOffset >= msim::kMailboxHeaderSize && m.recordOffset % msim::kRecordAlignment == 0);
        Require(m.recordOffset >= previous && m.dataOffset == m.recordOffset + msim::kRecordHeadSize);
        Require(m.dataOffset + m.size <= record.end && record.end <= mailboxBytes.size());
        Require(m.unread && !m.deleted && m.ordinal == found.size() + 1);
        Require(std::memcmp(&mailboxBytes[m.recordOffset], msim::kRecordMarker, 4) == 0);
        for (const Span& other : taken)
            Require(!Overlap(record, other));
        for (const Span& other : found)
            Require(!Overlap(record, other));
        found.push_back(record);
        previous = record.end;
        bytes.resize(m.size);
        Require(scan.ReadMessage(m, 0, bytes.data(), bytes.size()));
        Require(m.size == 0 || std::memcmp(bytes.data(), &mailboxBytes[m.dataOffset], m.size) == 0);
        trace += " " + std::to_string(m.recordOffset) + "+" + std::to_string(m.size);
    }
    // A read past a message's end is refused, and ends the reading.
    if (!scan.recovered().empty()) {
        const msim::Message& last = scan.recovered().back();
        Require(!scan.ReadMessage(last, last.size, bytes.data(), 1) && scan.failed());
        Require(!scan.ReadMessage(last, 0, bytes.data(), 0));
    }
    previous = msim::kMailboxHeaderSize;
    for (const msim::ByteRange& range : scan.unclaimed()) {
        Require(range.begin >= previous && range.begin < range.end && range.end <= mailboxBytes.size());
        for (const Span& other : found)
            Require(!Overlap({range.begin, range.end}, other));
        for (const Span& other : taken)
            Require(!Overlap({range.begin, range.end}, other));
        previous = range.end;
        trace += " -" + std::to_string(range.begin) + ":" + std::to_string(range.end);
    }
    return trace;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    return FuzzStoreTwice(data, size, ScanOnce);
}
