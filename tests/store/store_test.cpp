// The store reader where the Windows differential test cannot go: files of
// 2 and 4 GiB and more (sparse sources), system errors, positions that wrap,
// the exact failure texts, and POSIX files.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <unistd.h>

#include "file_source.h"
#include "msim_store.h"

namespace {

// Zeros of any size with a few stretches written in; reads that reach
// `errorAt` fail with EIO.
class SparseSource final : public msim::ByteSource {
public:
    SparseSource(std::uint64_t size, std::map<std::uint64_t, std::string> patches, std::uint64_t errorAt)
        : size_(size), patches_(std::move(patches)), errorAt_(errorAt) {}
    std::uint64_t Size() const override { return size_; }
    msim::ReadResult Read(std::uint64_t offset, void* buffer, std::size_t count) override
    {
        msim::ReadResult result;
        if (offset + count > errorAt_) {
            result.error = EIO;
            return result;
        }
        result.count = offset >= size_ ? 0 : static_cast<std::size_t>(std::min<std::uint64_t>(count, size_ - offset));
        auto* bytes = static_cast<unsigned char*>(buffer);
        std::memset(bytes, 0, result.count);
        for (const auto& [at, patch] : patches_)
            for (std::size_t i = 0; i < patch.size(); i++)
                if (at + i >= offset && at + i < offset + result.count)
                    bytes[at + i - offset] = static_cast<unsigned char>(patch[i]);
        return result;
    }

private:
    std::uint64_t size_;
    std::map<std::uint64_t, std::string> patches_;
    std::uint64_t errorAt_;
};

std::string U32(std::uint32_t value)
{
    std::string bytes(4, '\0');
    for (int i = 0; i < 4; i++)
        bytes[i] = static_cast<char>(value >> (8 * i));
    return bytes;
}

std::string Header(const char* magic, std::uint32_t count)
{
    return std::string(magic, 4) + "fill" + U32(count);
}

std::string RecordHead(std::uint32_t length, std::uint32_t size)
{
    return "rsvdrsvd" + U32(length) + U32(size);
}

std::string Entry(unsigned char flags, std::uint32_t length, std::uint32_t recordOffset)
{
    return std::string(1, static_cast<char>(flags | 0xf0)) + std::string(15, 'e') + U32(length) + U32(recordOffset);
}

constexpr std::uint64_t kNever = ~std::uint64_t{0};
constexpr std::uint64_t kNoIndex = ~std::uint64_t{0};

struct Case {
    const char* what;
    std::uint64_t mailboxSize;
    std::map<std::uint64_t, std::string> mailbox;
    std::uint64_t mailboxErrorAt;
    std::uint64_t indexSize;  // kNoIndex: no index given
    std::map<std::uint64_t, std::string> index;
    bool skipDeleted;
    const char* expected;
};

// Each message as recordOffset+size with its marks (u unread, d deleted) and
// up to 8 of its bytes, then the end or the failure's text.
std::string Walk(const Case& c)
{
    SparseSource mailbox(c.mailboxSize, c.mailbox, c.mailboxErrorAt);
    SparseSource index(c.indexSize == kNoIndex ? 0 : c.indexSize, c.index, kNever);
    msim::MailboxWalk walk(mailbox, c.indexSize == kNoIndex ? nullptr : &index, c.skipDeleted);
    std::string text;
    if (walk.indexState() == msim::IndexState::kUnreadable)
        text += "index unreadable: " + walk.indexWarning().Describe("Inbox.mbx") + "; ";
    if (walk.indexState() == msim::IndexState::kWrongMagic)
        text += "index ignored; ";
    msim::Message message;
    while (walk.Next(message) == msim::MailboxWalk::kMessage) {
        text += std::to_string(message.recordOffset) + "+" + std::to_string(message.size) +
                (message.unread ? "u" : "") + (message.deleted ? "d" : "");
        char bytes[8];
        std::size_t shown = std::min<std::size_t>(message.size, sizeof bytes);
        if (walk.ReadMessage(message, 0, bytes, shown))
            text += "'" + std::string(bytes, shown) + "' ";
    }
    if (walk.failed())
        return text + "fail: " + walk.failure().Describe("Inbox.mbx");
    return text + "end after " + std::to_string(walk.steps()) + " steps";
}

TEST(StoreWalk, Cases)
{
    const std::uint32_t kLow = 0xFFFFFFF8;  // a record whose message lies above 4 GiB
    const Case cases[] = {
        {"record lengths wrap the position back", 200,
         {{0, Header("JMF6", 3)}, {84, RecordHead(20, 2) + "ab"}, {104, RecordHead(0xFFFFFFEC, 1) + "c"}}, kNever,
         kNoIndex, {}, false, "84+2u'ab' 104+1u'c' 84+2u'ab' end after 3 steps"},
        {"a message runs past the end", 100, {{0, Header("JMF6", 1)}, {84, RecordHead(16, 4294967200u)}}, kNever,
         kNoIndex, {}, false,
         "fail: Inbox.mbx: record 1 at offset 84: message of 4294967200 bytes runs past the end of the file (100 bytes)"},
        {"an entry names a record at 2 GiB", 100, {{0, Header("JMF6", 0)}}, kNever, 104,
         {{0, Header("JMF9", 1)}, {80, Entry(2, 24, 0x80000000u)}}, false,
         "fail: Inbox.mbx: record at offset 2147483648 (index entry 1): record head of 16 bytes at offset 2147483648 "
         "runs past the end of the file (100 bytes)"},
        {"a record below 4 GiB has its message above it, unwrapped", 0x100000010ull,
         {{0, Header("JMF6", 2)}, {84, RecordHead(kLow - 84, 0)}, {kLow, RecordHead(0, 8)}, {0x100000008ull, "above4G!"}},
         kNever, kNoIndex, {}, false, "84+0u'' 4294967288+8u'above4G!' end after 2 steps"},
        {"an index shorter than its magic is reported and passed over", 104,
         {{0, Header("JMF6", 1)}, {84, RecordHead(20, 4) + "body"}}, kNever, 3, {{0, "JMF"}}, false,
         "index unreadable: Inbox.idx: header: magic of 4 bytes at offset 0 runs past the end of the file (3 bytes); "
         "84+4u'body' end after 1 steps"},
        {"an index magic with a zero inside compares short", 104,
         {{0, Header("JMF6", 1)}, {84, RecordHead(20, 4) + "body"}}, kNever, 104,
         {{0, std::string("JMF\0", 4) + "fill" + U32(1)}}, false, "index ignored; 84+4u'body' end after 1 steps"},
        {"a mailbox magic with a zero inside", 84, {{0, std::string("JM\0\0", 4)}}, kNever, kNoIndex, {}, false,
         "fail: Inbox.mbx: header: not an MS-IM mailbox (it does not start with \"JMF6\")"},
        {"a system error reading a record head", 200, {{0, Header("JMF6", 1)}}, 90, kNoIndex, {}, false,
         "fail: Inbox.mbx: record 1 at offset 84: cannot read the record head of 16 bytes at offset 84: "
         "Input/output error"},
        {"a count with its top bit set walks nothing", 84, {{0, Header("JMF6", 0x80000000u)}}, kNever, kNoIndex, {},
         false, "end after 0 steps"},
        {"a deleted entry of length 0, skipped 2^31-1 times", 84, {{0, Header("JMF6", 0)}}, kNever, 100,
         {{0, Header("JMF9", 0x7fffffff)}, {80, Entry(1, 0, 0)}}, true, "end after 2147483647 steps"},
        {"a deleted entry handed on, then the index ends in the next record offset", 120,
         {{0, Header("JMF6", 0)}, {84, RecordHead(0, 3) + "del"}}, kNever, 124,
         {{0, Header("JMF9", 2)}, {80, Entry(3, 24, 84)}, {104, Entry(0, 24, 84)}}, false,
         "84+3ud'del' fail: Inbox.idx: entry 2 at offset 104: record offset of 4 bytes at offset 124 runs past the "
         "end of the file (124 bytes)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.expected, Walk(c));
    }
}

TEST(StoreWalk, ReadsOutsideTheMessageAreRefused)
{
    std::string bytes = Header("JMF6", 1) + std::string(72, 'h') + RecordHead(24, 4) + "body";
    msim::MemorySource mailbox(bytes);
    msim::MailboxWalk walk(mailbox, nullptr, false);
    msim::Message message;
    ASSERT_EQ(msim::MailboxWalk::kMessage, walk.Next(message)) << walk.failure().Describe("Inbox.mbx");
    char out[8];
    EXPECT_FALSE(walk.ReadMessage(message, 2, out, 3));
    EXPECT_EQ("Inbox.mbx: record 1 at offset 84: message of 5 bytes runs past the end of the file (104 bytes)",
              walk.failure().Describe("Inbox.mbx"));
    EXPECT_EQ(msim::MailboxWalk::kFailed, walk.Next(message));
}

TEST(FileSource, OpensReadsAndRefuses)
{
    char path[] = "/tmp/msim-store-XXXXXX";
    int fd = mkstemp(path);
    ASSERT_LE(0, fd) << std::strerror(errno);
    ASSERT_EQ(5, write(fd, "JMF6!", 5));
    close(fd);

    msim::FileSource file;
    EXPECT_EQ(0, file.Open(path));
    EXPECT_EQ(5u, file.Size());
    char bytes[8] = {};
    msim::ReadResult result = file.Read(3, bytes, sizeof bytes);
    EXPECT_EQ(2u, result.count);
    EXPECT_EQ(0, result.error);
    EXPECT_EQ("6!", std::string(bytes, 2));
    EXPECT_EQ(0u, file.Read(1ull << 62, bytes, 1).count);
    msim::FileSource moved(std::move(file));
    EXPECT_FALSE(file.isOpen());
    EXPECT_TRUE(moved.isOpen());
    EXPECT_EQ(EBADF, file.Read(0, bytes, 1).error);
    EXPECT_EQ(ENOENT, file.Open(std::string(path) + ".missing"));
    EXPECT_EQ(EISDIR, file.Open("/tmp"));
    std::remove(path);
}

}  // namespace
