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

// Zeros of any size with stretches written in; reads reaching `errorAt` fail.
struct Sparse final : msim::ByteSource {
    Sparse(std::uint64_t size, std::uint64_t errorAt, std::map<std::uint64_t, std::string> patches)
        : size(size), errorAt(errorAt), patches(std::move(patches)) {}
    std::uint64_t size, errorAt;
    std::map<std::uint64_t, std::string> patches;
    std::uint64_t Size() const override { return size; }
    msim::ReadResult Read(std::uint64_t offset, void* buffer, std::size_t count) override
    {
        if (offset + count > errorAt)
            return {0, EIO};
        std::size_t got = offset >= size ? 0 : static_cast<std::size_t>(std::min<std::uint64_t>(count, size - offset));
        auto* bytes = static_cast<char*>(buffer);
        std::memset(bytes, 0, got);
        for (const auto& [at, patch] : patches)
            for (std::uint64_t i = std::max(at, offset); i < std::min(at + patch.size(), offset + got); i++)
                bytes[i - offset] = patch[i - at];
        return {got, 0};
    }
};

std::string U32(std::uint32_t v)
{
    return {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16), static_cast<char>(v >> 24)};
}
std::string Header(const char* magic, std::uint32_t count) { return std::string(magic) + "fill" + U32(count); }
std::string RecordHead(std::uint32_t length, std::uint32_t size) { return "rsvdrsvd" + U32(length) + U32(size); }
std::string Entry(char flags, std::uint32_t length, std::uint32_t record)
{
    return flags + std::string(15, 'e') + U32(length) + U32(record);
}

constexpr std::uint64_t kNever = ~std::uint64_t{0};

struct Case {
    const char* what;
    Sparse mailbox, index;  // an index of size kNever: none
    bool skipDeleted;
    const char* expected;
    bool endAtLoops = false;
};

// Each message as recordOffset+size, u unread, d deleted, and up to 8 of
// its bytes; then the end or the failure's text.
std::string Walk(const Case& c)
{
    Sparse mailbox = c.mailbox, index = c.index;
    msim::MailboxWalk walk(mailbox, index.size != kNever ? &index : nullptr, c.skipDeleted);
    if (c.endAtLoops)
        walk.EndAtLoops();
    std::string text;
    if (walk.indexState() == msim::IndexState::kUnreadable)
        text += "index unreadable: " + walk.indexWarning().Describe("Inbox.mbx") + "; ";
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
        {"record lengths wrap the position back",
         {200, kNever, {{0, Header("JMF6", 3)}, {84, RecordHead(20, 2) + "ab"}, {104, RecordHead(0xFFFFFFEC, 1) + "c"}}},
         {kNever, kNever, {}}, false, "84+2u'ab' 104+1u'c' 84+2u'ab' end after 3 steps"},
        {"a message runs past the end", {100, kNever, {{0, Header("JMF6", 1)}, {84, RecordHead(16, 4294967200u)}}},
         {kNever, kNever, {}}, false,
         "fail: Inbox.mbx: record 1 at offset 84: message of 4294967200 bytes runs past the end of the file (100 bytes)"},
        {"an entry names a record at 2 GiB", {100, kNever, {{0, Header("JMF6", 0)}}},
         {104, kNever, {{0, Header("JMF9", 1)}, {80, Entry(2, 24, 0x80000000u)}}}, false,
         "fail: Inbox.mbx: record at offset 2147483648 (index entry 1): record head of 16 bytes at offset 2147483648 "
         "runs past the end of the file (100 bytes)"},
        {"a record below 4 GiB has its message above it, unwrapped",
         {0x100000010ull, kNever,
          {{0, Header("JMF6", 2)}, {84, RecordHead(kLow - 84, 0)}, {kLow, RecordHead(0, 8)}, {0x100000008ull, "above4G!"}}},
         {kNever, kNever, {}}, false, "84+0u'' 4294967288+8u'above4G!' end after 2 steps"},
        {"an index shorter than its magic is reported and passed over",
         {104, kNever, {{0, Header("JMF6", 1)}, {84, RecordHead(20, 4) + "body"}}}, {3, kNever, {{0, "JMF"}}}, false,
         "index unreadable: Inbox.idx: header: magic of 4 bytes at offset 0 runs past the end of the file (3 bytes); "
         "84+4u'body' end after 1 steps"},
        {"a system error reading a record head", {200, 90, {{0, Header("JMF6", 1)}}}, {kNever, kNever, {}}, false,
         "fail: Inbox.mbx: record 1 at offset 84: cannot read the record head of 16 bytes at offset 84: "
         "Input/output error"},
        {"an index cut inside its second entry names that entry",
         {104, kNever, {{0, Header("JMF6", 0)}, {84, RecordHead(20, 4) + "body"}}},
         {114, kNever, {{0, Header("JMF9", 2)}, {80, Entry(2, 24, 84)}}}, false,
         "84+4u'body' fail: Inbox.idx: entry 2 at offset 104: entry of 20 bytes at offset 104 runs past the end of "
         "the file (114 bytes)"},
        {"a deleted entry of length 0, skipped 2^31-1 times", {84, kNever, {{0, Header("JMF6", 0)}}},
         {100, kNever, {{0, Header("JMF9", 0x7fffffff)}, {80, Entry(1, 0, 0)}}}, true, "end after 2147483647 steps"},
        // Loops ended: each message once, then where the walk would go back.
        {"record lengths wrap the position back, loops ended",
         {200, kNever, {{0, Header("JMF6", 3)}, {84, RecordHead(20, 2) + "ab"}, {104, RecordHead(0xFFFFFFEC, 1) + "c"}}},
         {kNever, kNever, {}}, false,
         "84+2u'ab' 104+1u'c' fail: Inbox.mbx: record 2 at offset 104: its length leads back to offset 84, where the "
         "next record cannot be: the records after it are not reached", true},
        {"a loop at the last step ends the walk as usual",
         {200, kNever, {{0, Header("JMF6", 2)}, {84, RecordHead(20, 2) + "ab"}, {104, RecordHead(0, 1) + "c"}}},
         {kNever, kNever, {}}, false, "84+2u'ab' 104+1u'c' end after 2 steps", true},
        {"an entry of length 0, loops ended",
         {104, kNever, {{0, Header("JMF6", 0)}, {84, RecordHead(20, 4) + "body"}}},
         {200, kNever, {{0, Header("JMF9", 3)}, {80, Entry(2, 0, 84)}}}, false,
         "84+4u'body' fail: Inbox.idx: entry 1 at offset 80: its length leads back to offset 80, where the next entry "
         "cannot be: the entries after it are not reached", true},
        {"a deleted entry of length 0, skipped, loops ended", {84, kNever, {{0, Header("JMF6", 0)}}},
         {100, kNever, {{0, Header("JMF9", 0x7fffffff)}, {80, Entry(1, 0, 0)}}}, true,
         "fail: Inbox.idx: entry 1 at offset 80: its length leads back to offset 80, where the next entry cannot be: "
         "the entries after it are not reached", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.expected, Walk(c));
    }
}

TEST(FileSource, OpensReadsAndRefuses)
{
    char path[] = "/tmp/msim-store-XXXXXX";
    int fd = mkstemp(path);
    ASSERT_TRUE(fd >= 0 && write(fd, "JMF6!", 5) == 5) << std::strerror(errno);
    close(fd);
    msim::FileSource file, moved;
    char bytes[8] = {};
    EXPECT_EQ(0, file.Open(path));
    msim::ReadResult result = file.Read(3, bytes, sizeof bytes);
    EXPECT_EQ("5 2 0 6!", std::to_string(file.Size()) + " " + std::to_string(result.count) + " " +
                              std::to_string(result.error) + " " + std::string(bytes, 2));
    moved = std::move(file);
    EXPECT_EQ(0u, moved.Read(1ull << 62, bytes, 1).count);
    EXPECT_EQ(EBADF, file.Read(0, bytes, 1).error);
    EXPECT_EQ(ENOENT, file.Open(std::string(path) + ".missing"));
    EXPECT_EQ(EISDIR, file.Open("/tmp"));
    std::remove(path);
}

}  // namespace
