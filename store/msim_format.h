// The byte layout of MS-IM's mailbox (*.mbx, "JMF6") and index (*.idx,
// "JMF9") files and the rules for reading them.  Plain functions and
// constants only, no Win32 and no classes, so that both the Windows program
// and the portable reader (msim_store.h) take their knowledge from here.
#ifndef VESTIBAR_MSIM_FORMAT_H
#define VESTIBAR_MSIM_FORMAT_H

#include <cstddef>
#include <cstdint>

namespace msim {

// Every number in both files is 32-bit little-endian.
constexpr std::size_t kMagicSize = 4;
constexpr std::uint32_t kCountAt = 8;              // messageCount, entryCount
constexpr std::uint32_t kCountEnd = kCountAt + 4;  // the walks read the header this far
constexpr std::uint32_t kMailboxHeaderSize = 84;   // where the first record starts
constexpr std::uint32_t kIndexHeaderSize = 80;     // where the first entry starts

// A record's head: 8 bytes not interpreted, recordLength, messageSize; the
// message bytes follow it.
constexpr std::size_t kRecordHeadSize = 16;
constexpr std::size_t kRecordLengthAt = 8;
constexpr std::size_t kMessageSizeAt = 12;

// An entry's head: the flags byte, 15 bytes not interpreted, entryLength;
// recordOffset follows it and is read only for entries handed on.
constexpr std::size_t kEntryFlagsAt = 0;
constexpr std::size_t kEntryLengthAt = 16;
constexpr std::size_t kEntryHeadSize = 20;
constexpr std::size_t kRecordOffsetAt = 20;
constexpr std::size_t kEntryWithOffsetSize = 24;

// Fields that real stores fill in and the walks never read (the Windows
// program ignores them, and so must the walks).  Generators write them so
// that their stores look like real ones; the recovery scan (msim_recover.h)
// relies on the record marker and the alignment only.
constexpr unsigned char kRecordMarker[4] = {0x00, 0x7F, 0x00, 0x7F};  // every record's first bytes
constexpr std::size_t kRecordMarkerAt = 0;
constexpr std::size_t kRecordNumberAt = 4;            // the message number of the record
constexpr std::uint32_t kMailboxLastNumberAt = 12;    // the last message number used
constexpr std::uint32_t kMailboxFileSizeAt = 16;      // the mailbox file's size
constexpr std::uint32_t kIndexFileSizeAt = 12;        // the index file's size
constexpr std::size_t kEntryNumberAt = 8;             // the entry's number
constexpr std::size_t kEntryOwnOffsetAt = 12;         // the entry's own offset in the index
constexpr std::size_t kEntryRecordSizeAt = 24;        // the size of the record it names
constexpr std::uint32_t kRecordAlignment = 4;         // records and entries start on multiples of it

// Bits of an entry's flags byte; the others are not interpreted.
constexpr unsigned char kEntryDeleted = 0x01;
constexpr unsigned char kEntryUnread = 0x02;

constexpr char kMailboxMagic[] = "JMF6";
constexpr char kIndexMagic[] = "JMF9";

// The unsigned value of four bytes, least significant first.
constexpr std::uint32_t LoadU32(const unsigned char* bytes)
{
    return std::uint32_t{bytes[0]} | std::uint32_t{bytes[1]} << 8 | std::uint32_t{bytes[2]} << 16 |
           std::uint32_t{bytes[3]} << 24;
}

// True when four bytes, taken as a zero-terminated string, equal `magic`:
// a zero among the bytes ends the string early and so never matches.
bool HasMagic(const unsigned char* bytes, const char* magic);

// Counts are signed in the files: 0 or a value with the top bit set means
// there is nothing to walk.
constexpr bool CountIsNone(std::uint32_t count)
{
    return count == 0 || count >= 0x80000000u;
}

// The next record or entry: positions are 32-bit and wrap modulo 2^32.
constexpr std::uint32_t NextPosition(std::uint32_t position, std::uint32_t length)
{
    return static_cast<std::uint32_t>(position + length);
}

struct RecordHead {
    std::uint32_t recordLength;
    std::uint32_t messageSize;
};
RecordHead ParseRecordHead(const unsigned char (&head)[kRecordHeadSize]);

struct EntryHead {
    unsigned char flags;
    std::uint32_t entryLength;
    bool deleted() const { return (flags & kEntryDeleted) != 0; }
    bool unread() const { return (flags & kEntryUnread) != 0; }
};
EntryHead ParseEntryHead(const unsigned char (&head)[kEntryHeadSize]);

// The index beside a mailbox: the path's last three bytes replaced by "idx",
// whatever they were (Inbox.mbx gives Inbox.idx, INBOX.MBX gives INBOX.idx).
// Works in place on `length` bytes; false, and the path left alone, when it
// is shorter than three bytes (such a mailbox has no index).
bool MakeIndexName(char* path, std::size_t length);

// Which walk a mailbox gets: through its index when one is usable,
// otherwise record after record.
enum class Walk { kRecords, kIndexEntries };
constexpr Walk ChooseWalk(bool indexUsable)
{
    return indexUsable ? Walk::kIndexEntries : Walk::kRecords;
}

}  // namespace msim

#endif
