#include "msim_store.h"

#include <cstring>

namespace msim {

ReadResult MemorySource::Read(std::uint64_t offset, void* buffer, std::size_t count)
{
    ReadResult result;
    if (offset >= size_)
        return result;
    std::size_t available = size_ - static_cast<std::size_t>(offset);
    result.count = count < available ? count : available;
    if (result.count != 0)
        std::memcpy(buffer, data_ + offset, result.count);
    return result;
}

std::string IndexNameFor(std::string_view mailboxName)
{
    std::string name(mailboxName);
    if (!MakeIndexName(name.data(), name.size()))
        name.clear();
    return name;
}

namespace {

const char* PartName(Part part)
{
    switch (part) {
    case Part::kMagic: return "magic";
    case Part::kCount: return "header field";
    case Part::kRecordHead: return "record head";
    case Part::kEntryHead: return "entry";
    case Part::kRecordOffset: return "record offset";
    case Part::kMessage: return "message";
    case Part::kScan: return "stretch";
    }
    return "data";
}

}  // namespace

std::string Failure::Describe(std::string_view mailboxName) const
{
    std::string text(file == FileRole::kIndex ? IndexNameFor(mailboxName) : std::string(mailboxName));
    text += ": ";
    switch (part) {
    case Part::kMagic:
    case Part::kCount:
        text += "header";
        break;
    case Part::kEntryHead:
    case Part::kRecordOffset:
        text += "entry " + std::to_string(slot + 1ull) + " at offset " + std::to_string(offset);
        break;
    case Part::kScan:
        text += "searching for records";
        break;
    case Part::kRecordHead:
    case Part::kMessage:
        if (viaIndex)
            text += "record at offset " + std::to_string(offset) + " (index entry " + std::to_string(slot + 1ull) + ")";
        else
            text += "record " + std::to_string(slot + 1ull) + " at offset " + std::to_string(offset);
        break;
    }
    text += ": ";
    const std::string ofSize = std::string(PartName(part)) + " of " + std::to_string(length) + " bytes";
    const std::string pastEnd = " runs past the end of the file (" + std::to_string(fileSize) + " bytes)";
    switch (kind) {
    case FailureKind::kNone:
        text += "no failure";
        break;
    case FailureKind::kNotMailbox:
        // The magic bytes mean nothing to the user: what the file is not does.
        text += "not an Internet Mail mailbox";
        break;
    case FailureKind::kPastEnd:
        text += ofSize + pastEnd;
        break;
    case FailureKind::kLoop: {
        const bool entry = part == Part::kEntryHead;
        text += "its length leads back to offset " + std::to_string(readOffset) + ", where the next " +
                (entry ? "entry cannot be: the entries" : "record cannot be: the records") + " after it are not reached";
        break;
    }
    case FailureKind::kShortRead:
        text += ofSize + " at offset " + std::to_string(readOffset) + pastEnd;
        break;
    case FailureKind::kReadError:
        text += "cannot read the " + ofSize + " at offset " + std::to_string(readOffset) + ": " +
                std::strerror(error);
        break;
    }
    return text;
}

MailboxWalk::MailboxWalk(ByteSource& mailbox, ByteSource* index, bool skipDeleted)
    : mailbox_(mailbox), index_(index), skipDeleted_(skipDeleted)
{
    ProbeIndex();
}

void MailboxWalk::ProbeIndex()
{
    if (index_ == nullptr)
        return;
    unsigned char magic[kMagicSize];
    if (!ReadFrom(*index_, FileRole::kIndex, 0, magic, sizeof magic, Part::kMagic)) {
        // Only a warning: the mailbox is then walked without its index.
        indexWarning_ = failure_;
        failure_ = Failure();
        indexState_ = IndexState::kUnreadable;
    } else {
        indexState_ = HasMagic(magic, kIndexMagic) ? IndexState::kUsable : IndexState::kWrongMagic;
    }
}

bool MailboxWalk::ReadFrom(ByteSource& source, FileRole role, std::uint64_t at, void* buffer,
                           std::size_t count, Part part)
{
    ReadResult result = source.Read(at, buffer, count);
    if (result.error == 0 && result.count == count)
        return true;
    failure_ = Failure::OfRead(result, at, count, source.Size());
    failure_.file = role;
    failure_.part = part;
    failure_.viaIndex = viaIndex_;
    failure_.slot = slot_;
    failure_.offset = slotOffset_;
    return false;
}

Failure Failure::OfRead(const ReadResult& result, std::uint64_t at, std::uint64_t count, std::uint64_t fileSize)
{
    Failure failure;
    failure.kind = result.error != 0 ? FailureKind::kReadError : FailureKind::kShortRead;
    failure.readOffset = at;
    failure.length = count;
    failure.got = result.error != 0 ? 0 : result.count;
    failure.fileSize = fileSize;
    failure.error = result.error;
    return failure;
}

bool MailboxWalk::ReadMailbox(std::uint64_t at, void* buffer, std::size_t count, Part part)
{
    return ReadFrom(mailbox_, FileRole::kMailbox, at, buffer, count, part);
}

bool MailboxWalk::ReadIndex(std::uint64_t at, void* buffer, std::size_t count, Part part)
{
    std::uint64_t within = at - indexPieceStart_;
    if (at < indexPieceStart_ || within > indexPieceLength_ || indexPieceLength_ - within < count) {
        // A piece that the file cuts short is kept too: its bytes are
        // right, and the read comes short exactly where the file would.
        indexPieceLength_ = 0;
        ReadResult result = index_->Read(at, indexPiece_, sizeof indexPiece_);
        if (result.error == 0) {
            indexPieceStart_ = at;
            indexPieceLength_ = result.count;
        }
        if (result.error != 0 || result.count < count)
            return ReadFrom(*index_, FileRole::kIndex, at, buffer, count, part);
        within = 0;
    }
    std::memcpy(buffer, indexPiece_ + within, count);
    return true;
}

bool MailboxWalk::Begin()
{
    if (begun_)
        return !failed();
    begun_ = true;
    slot_ = 0;
    slotOffset_ = 0;
    viaIndex_ = false;
    unsigned char magic[kMagicSize];
    if (!ReadMailbox(0, magic, sizeof magic, Part::kMagic))
        return false;
    if (!HasMagic(magic, kMailboxMagic)) {
        failure_.kind = FailureKind::kNotMailbox;
        failure_.file = FileRole::kMailbox;
        failure_.part = Part::kMagic;
        failure_.length = kMagicSize;
        failure_.fileSize = mailbox_.Size();
        return false;
    }
    // The field before the count is read too, and its failure is its own.
    bool indexed = walk() == Walk::kIndexEntries;
    ByteSource& counted = indexed ? *index_ : mailbox_;
    FileRole role = indexed ? FileRole::kIndex : FileRole::kMailbox;
    unsigned char field[4];
    if (!ReadFrom(counted, role, kMagicSize, field, sizeof field, Part::kCount) ||
        !ReadFrom(counted, role, kCountAt, field, sizeof field, Part::kCount))
        return false;
    count_ = LoadU32(field);
    position_ = indexed ? kIndexHeaderSize : kMailboxHeaderSize;
    ended_ = CountIsNone(count_);
    return true;
}

MailboxWalk::Step MailboxWalk::Next(Message& message)
{
    if (!Begin())
        return kFailed;
    if (ended_)
        return kEnd;
    Step step = walk() == Walk::kIndexEntries ? NextEntry(message) : NextRecord(message);
    if (step == kEnd)
        ended_ = true;
    return step;
}

std::uint32_t MailboxWalk::StartStep()
{
    slot_ = steps_++;
    slotOffset_ = position_;
    return position_;
}

bool MailboxWalk::LeadsBack(std::uint32_t from, FileRole file, Part part)
{
    if (!endAtLoops_ || position_ > from)
        return false;
    loop_ = Failure();
    loop_.kind = FailureKind::kLoop;
    loop_.file = file;
    loop_.part = part;
    loop_.slot = slot_;
    loop_.offset = from;
    loop_.readOffset = position_;
    loop_.fileSize = (file == FileRole::kIndex ? *index_ : mailbox_).Size();
    return true;
}

MailboxWalk::Step MailboxWalk::FailLoop()
{
    failure_ = loop_;
    return kFailed;
}

MailboxWalk::Step MailboxWalk::NextRecord(Message& message)
{
    if (steps_ >= count_)
        return kEnd;
    if (loopAhead_)
        return FailLoop();
    std::uint32_t record = StartStep();
    unsigned char head[kRecordHeadSize];
    if (!ReadMailbox(record, head, sizeof head, Part::kRecordHead))
        return kFailed;
    RecordHead fields = ParseRecordHead(head);
    messageNumber_++;
    position_ = NextPosition(position_, fields.recordLength);
    loopAhead_ = LeadsBack(record, FileRole::kMailbox, Part::kRecordHead);
    message.unread = true;
    message.deleted = false;
    message.recordLength = fields.recordLength;
    return Hand(message, record, fields.messageSize);
}

MailboxWalk::Step MailboxWalk::NextEntry(Message& message)
{
    viaIndex_ = false;
    while (steps_ < count_) {
        if (loopAhead_)
            return FailLoop();
        std::uint32_t entry = StartStep();
        unsigned char head[kEntryHeadSize];
        if (!ReadIndex(entry, head, sizeof head, Part::kEntryHead))
            return kFailed;
        EntryHead fields = ParseEntryHead(head);
        position_ = NextPosition(position_, fields.entryLength);
        loopAhead_ = LeadsBack(entry, FileRole::kIndex, Part::kEntryHead);
        if (fields.deleted() && skipDeleted_) {
            // An entry that leads to itself is read again, and passed over
            // again, for every step that remains (under EndAtLoops the next
            // step fails instead).
            if (fields.entryLength == 0 && !loopAhead_)
                steps_ = count_;
            continue;
        }
        if (fields.deleted())
            deletedCount_++;
        messageNumber_++;
        unsigned char offset[4];
        if (!ReadIndex(std::uint64_t{entry} + kRecordOffsetAt, offset, sizeof offset, Part::kRecordOffset))
            return kFailed;
        std::uint32_t record = LoadU32(offset);
        viaIndex_ = true;
        slotOffset_ = record;
        unsigned char recordHead[kRecordHeadSize];
        if (!ReadMailbox(record, recordHead, sizeof recordHead, Part::kRecordHead))
            return kFailed;
        RecordHead recordFields = ParseRecordHead(recordHead);
        message.unread = fields.unread();
        message.deleted = fields.deleted();
        message.recordLength = recordFields.recordLength;
        return Hand(message, record, recordFields.messageSize);
    }
    return kEnd;
}

void MailboxWalk::FailPastEnd(std::uint64_t dataOffset, std::uint64_t length)
{
    failure_ = Failure();
    failure_.kind = FailureKind::kPastEnd;
    failure_.part = Part::kMessage;
    failure_.viaIndex = viaIndex_;
    failure_.slot = slot_;
    failure_.offset = slotOffset_;
    failure_.readOffset = dataOffset;
    failure_.length = length;
    failure_.fileSize = mailbox_.Size();
}

// The message's bytes follow its record's head in the file as it is, with no
// wrapping at 4 GiB; a size that runs past the end is refused before anyone
// reads, or allocates, that much.
MailboxWalk::Step MailboxWalk::Hand(Message& message, std::uint32_t recordOffset, std::uint32_t size)
{
    std::uint64_t dataOffset = std::uint64_t{recordOffset} + kRecordHeadSize;
    std::uint64_t fileSize = mailbox_.Size();
    if (dataOffset > fileSize || size > fileSize - dataOffset) {
        slotOffset_ = recordOffset;
        FailPastEnd(dataOffset, size);
        return kFailed;
    }
    message.ordinal = messageNumber_;
    message.slot = slot_;
    message.recordOffset = recordOffset;
    message.dataOffset = dataOffset;
    message.size = size;
    return kMessage;
}

bool MailboxWalk::ReadMessage(const Message& message, std::uint64_t within, void* buffer, std::size_t count)
{
    if (failed())
        return false;
    slot_ = message.slot;
    slotOffset_ = message.recordOffset;
    viaIndex_ = walk() == Walk::kIndexEntries;
    if (within > message.size || count > message.size - within) {
        FailPastEnd(message.dataOffset + within, within + count);
        return false;
    }
    return ReadMailbox(message.dataOffset + within, buffer, count, Part::kMessage);
}

}  // namespace msim
