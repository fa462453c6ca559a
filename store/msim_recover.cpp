#include "msim_recover.h"

#include <algorithm>
#include <cstring>

namespace msim {

namespace {

// Positions are 32-bit: a record starting higher up cannot be named by any
// walk or index, so none is looked for there.
constexpr std::uint64_t kLastRecordStart = 0xFFFFFFFFu;

constexpr std::uint64_t AlignUp(std::uint64_t at)
{
    return (at + kRecordAlignment - 1) / kRecordAlignment * kRecordAlignment;
}

bool HasMarker(const unsigned char* bytes)
{
    return std::memcmp(bytes, kRecordMarker, sizeof kRecordMarker) == 0;
}

}  // namespace

void RecordScan::Note(const Message& message, bool passedOver)
{
    std::uint64_t begin = message.recordOffset;
    std::uint64_t lengthEnd = begin + message.recordLength;
    bool lengthFits = std::uint64_t{message.recordLength} >= kRecordHeadSize + std::uint64_t{message.size} &&
                      lengthEnd <= mailbox_.Size();
    known_.push_back({begin, message.dataOffset + message.size, lengthFits ? lengthEnd : 0, passedOver});
    // A walk may hand the same record on without end (a recordLength of 0):
    // kept to twice the records it has, the list stays bounded by them.
    if (known_.size() >= 2 * compactedSize_ + 1024)
        Compact();
}

void RecordScan::Compact()
{
    std::sort(known_.begin(), known_.end(), [](const Known& a, const Known& b) { return a.begin < b.begin; });
    std::size_t kept = 0;
    for (const Known& record : known_) {
        if (kept > 0 && known_[kept - 1].begin == record.begin) {
            Known& same = known_[kept - 1];
            same.messageEnd = std::max(same.messageEnd, record.messageEnd);
            same.lengthEnd = std::max(same.lengthEnd, record.lengthEnd);
            same.passedOver = same.passedOver && record.passedOver;  // handed on once is handed on
        } else {
            known_[kept++] = record;
        }
    }
    known_.resize(kept);
    compactedSize_ = kept;
}

bool RecordScan::Run()
{
    Compact();
    for (const Known& record : known_)
        (record.passedOver ? passedOver_ : reached_)++;
    const std::uint64_t fileSize = mailbox_.Size();
    std::uint64_t claimed = kMailboxHeaderSize;  // the end of what known records hold so far
    for (std::size_t i = 0; i < known_.size(); ++i) {
        const Known& record = known_[i];
        if (record.begin > claimed && !Search(claimed, record.begin))
            return false;
        // A record holds its padding up to where its length leads, unless
        // another known record starts before that.
        std::uint64_t next = i + 1 < known_.size() ? known_[i + 1].begin : fileSize;
        std::uint64_t end = record.lengthEnd != 0 && record.lengthEnd <= next ? record.lengthEnd : record.messageEnd;
        claimed = std::max(claimed, end);
    }
    return claimed >= fileSize || Search(claimed, fileSize);
}

bool RecordScan::Search(std::uint64_t begin, std::uint64_t end)
{
    std::uint64_t free = begin;  // where the stretch of no record began
    std::uint64_t at = AlignUp(begin);
    while (end >= kRecordHeadSize && at <= std::min(end - kRecordHeadSize, kLastRecordStart)) {
        // The candidates a window holds: marker positions with room for a head.
        std::uint64_t last = std::min(end - kRecordHeadSize, kLastRecordStart);
        std::size_t span = static_cast<std::size_t>(std::min<std::uint64_t>(last - at + sizeof kRecordMarker, 60 << 10));
        const unsigned char* bytes = sweep_.At(at, span);
        if (bytes == nullptr)
            return false;
        std::size_t offset = 0;
        while (offset + sizeof kRecordMarker <= span && !HasMarker(bytes + offset))
            offset += kRecordAlignment;
        at += offset;
        if (offset + sizeof kRecordMarker > span)
            continue;
        std::uint32_t size = 0;
        bool readFailed = false;
        std::uint32_t length = WholeRecordAt(at, end, size, readFailed);
        if (readFailed)
            return false;
        if (length == 0) {
            at += kRecordAlignment;
            continue;
        }
        Unclaimed(free, at);
        Message found;
        found.ordinal = static_cast<std::uint32_t>(recovered_.size() + 1);
        found.slot = found.ordinal - 1;
        found.recordOffset = static_cast<std::uint32_t>(at);
        found.dataOffset = at + kRecordHeadSize;
        found.size = size;
        found.recordLength = length;
        recovered_.push_back(found);
        // What the record holds is never searched: a marker inside its
        // message is part of the message.
        free = at + length;
        at = AlignUp(free);
    }
    Unclaimed(free, end);
    return true;
}

std::uint32_t RecordScan::WholeRecordAt(std::uint64_t at, std::uint64_t end, std::uint32_t& messageSize, bool& readFailed)
{
    const unsigned char* head = sweep_.At(at, kRecordHeadSize);
    if (head == nullptr) {
        readFailed = true;
        return 0;
    }
    std::uint32_t length = LoadU32(head + kRecordLengthAt);
    messageSize = LoadU32(head + kMessageSizeAt);
    if (length < kRecordHeadSize + std::uint64_t{messageSize} || at + length > end)
        return 0;
    return IsRecordStart(at + length, end, readFailed) ? length : 0;
}

// The end of the file, the known record that ends the stretch, or a marker
// on a 4-byte boundary.
bool RecordScan::IsRecordStart(std::uint64_t at, std::uint64_t knownStart, bool& readFailed)
{
    if (at == mailbox_.Size() || at == knownStart)
        return true;
    if (at % kRecordAlignment != 0 || at + sizeof kRecordMarker > mailbox_.Size())
        return false;
    const unsigned char* bytes = probe_.At(at, sizeof kRecordMarker);
    readFailed = bytes == nullptr;
    return bytes != nullptr && HasMarker(bytes);
}

void RecordScan::Unclaimed(std::uint64_t begin, std::uint64_t end)
{
    if (end > begin)
        unclaimed_.push_back({begin, end});
}

const unsigned char* RecordScan::Window::At(std::uint64_t at, std::size_t count)
{
    if (at >= start_ && at - start_ <= bytes_.size() && bytes_.size() - (at - start_) >= count)
        return bytes_.data() + (at - start_);
    std::uint64_t fileSize = scan_.mailbox_.Size();
    std::size_t wanted = static_cast<std::size_t>(std::min<std::uint64_t>(std::max(kSize, count), fileSize - at));
    bytes_.resize(wanted);
    start_ = at;
    ReadResult result = scan_.mailbox_.Read(at, bytes_.data(), wanted);
    if (result.error != 0 || result.count != wanted) {
        bytes_.clear();
        scan_.Fail(at, wanted, result);
        return nullptr;
    }
    return bytes_.data();
}

bool RecordScan::Fail(std::uint64_t at, std::size_t count, ReadResult result)
{
    failure_ = Failure::OfRead(result, at, count, mailbox_.Size());
    failure_.part = Part::kScan;
    failure_.offset = at;
    return false;
}

bool RecordScan::ReadMessage(const Message& message, std::uint64_t within, void* buffer, std::size_t count)
{
    if (failed())
        return false;
    Failure context;
    context.slot = message.slot;
    context.offset = message.recordOffset;
    context.part = Part::kMessage;
    context.fileSize = mailbox_.Size();
    if (within > message.size || count > message.size - within) {
        failure_ = context;
        failure_.kind = FailureKind::kPastEnd;
        failure_.readOffset = message.dataOffset + within;
        failure_.length = within + count;
        return false;
    }
    ReadResult result = mailbox_.Read(message.dataOffset + within, buffer, count);
    if (result.error == 0 && result.count == count)
        return true;
    failure_ = context;
    failure_.kind = result.error != 0 ? FailureKind::kReadError : FailureKind::kShortRead;
    failure_.readOffset = message.dataOffset + within;
    failure_.length = count;
    failure_.got = result.error != 0 ? 0 : result.count;
    failure_.error = result.error;
    return false;
}

void PassOverDeleted(ByteSource& mailbox, ByteSource* index, RecordScan& scan)
{
    if (index == nullptr)
        return;
    MailboxWalk walk(mailbox, index, false);
    if (walk.walk() != Walk::kIndexEntries)
        return;
    // Entries lie inside the index, so once the steps outnumber its bytes
    // the walk goes round a loop of entries it has seen.
    const std::uint64_t mostSteps = index->Size();
    Message message;
    std::uint32_t previous = 0;
    bool first = true;
    while (walk.steps() <= mostSteps && walk.Next(message) == MailboxWalk::kMessage) {
        if (!first && message.recordOffset == previous)
            break;  // an entry that leads to itself
        first = false;
        previous = message.recordOffset;
        if (message.deleted)
            scan.PassedOver(message);
    }
}

}  // namespace msim
