// The portable helpers of the mailbox reader: numbers, magics, and paths
// that fit their buffer whole or not at all.
#include <gtest/gtest.h>

#include <limits.h>

#include <string>
#include <vector>

#include "bytes.h"

namespace {

TEST(GetU32, LeastSignificantByteFirst)
{
    struct Case { unsigned char bytes[4]; uint32_t value; };
    const Case cases[] = {
        {{0x78, 0x56, 0x34, 0x12}, 0x12345678}, {{0, 0, 0, 0x80}, 0x80000000u}, {{0xff, 0xff, 0xff, 0xff}, 0xffffffffu},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.value);
        EXPECT_EQ(c.value, GetU32(c.bytes));
    }
}

TEST(HasMagic, OnlyTheExactFourCharacters)
{
    struct Case { const char *bytes; bool matches; };  // four bytes
    const Case cases[] = {
        {"JMF6", true}, {"JMF9", false}, {"jmf6", false}, {"JMF\0", false}, {"\0MF6", false}, {"JMF66", true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.bytes, 4));
        EXPECT_EQ(c.matches, HasMagic((const unsigned char *)c.bytes, "JMF6"));
    }
}

TEST(JoinPath, WholeOrNothing)
{
    struct Case {
        const char *name;
        std::string first;
        size_t firstCapacity;  // 0: its size and zero exactly
        std::string second;
        size_t capacity;
        std::string expected;  // empty: does not fit
    };
    const Case cases[] = {
        {"plain", "C:\\mail\\", 256, "Inbox.mbx", 264, "C:\\mail\\Inbox.mbx"},
        {"empty folder", "", 256, "Inbox.mbx", 264, "Inbox.mbx"},
        {"exactly full", std::string(200, 'd'), 256, std::string(63, 'n'), 264, std::string(200, 'd') + std::string(63, 'n')},
        {"one byte too many", std::string(200, 'd'), 256, std::string(64, 'n'), 264, ""},
        {"folder alone too long", std::string(255, 'd'), 256, "", 200, ""},
        {"first without its zero", std::string(8, 'd'), 8, "x", 264, ""},
        {"first ends at its last byte", std::string(7, 'd'), 8, "x", 264, std::string(7, 'd') + "x"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<char> first(c.first.begin(), c.first.end());
        first.resize(c.firstCapacity, '\0');
        std::vector<char> destination(c.capacity + 16, '#');
        int result = JoinPath(destination.data(), c.capacity, first.data(), first.size(), c.second.c_str());
        EXPECT_EQ(c.expected.empty() ? 0 : 1, result);
        EXPECT_EQ(c.expected, std::string(destination.data()));
        for (size_t i = c.capacity; i < destination.size(); i++)
            ASSERT_EQ('#', destination[i]) << "written past the capacity at " << i;
    }
}

TEST(MakeIndexPath, ReplacesTheLastThreeBytes)
{
    struct Case { const char *path; int result; const char *expected; };
    const Case cases[] = {
        {"C:\\IM\\Inbox.mbx", 1, "C:\\IM\\Inbox.idx"}, {"C:\\IM\\INBOX.MBX", 1, "C:\\IM\\INBOX.idx"},
        {"Outbox", 1, "Outidx"}, {"abc", 1, "idx"}, {"ab", 0, "ab"}, {"", 0, ""},
        {"\x95\x5c.mbx", 1, "\x95\x5c.idx"},  // 表.mbx: the 0x5C trail byte stays
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.path);
        char path[16];
        strcpy(path, c.path);
        EXPECT_EQ(c.result, MakeIndexPath(path));
        EXPECT_STREQ(c.expected, path);
    }
}

TEST(FormatEmlPath, FiveDigitsAtLeastAndNeverCut)
{
    struct Case {
        std::string prefix;
        int number;
        std::string expected;  // empty: does not fit
    };
    const Case cases[] = {
        {"exp", 1, "exp00001.eml"}, {"C:\\mail\\exp", 42, "C:\\mail\\exp00042.eml"}, {"", 99999, "99999.eml"},
        {"exp", 100000, "exp100000.eml"}, {"exp", INT_MAX, "exp2147483647.eml"}, {"exp", INT_MIN, "exp-2147483648.eml"},
        {std::string(254, 'p'), 1, std::string(254, 'p') + "00001.eml"},  // 263 bytes
        {std::string(255, 'p'), 1, ""},
        {std::string(253, 'p'), 100000, std::string(253, 'p') + "100000.eml"},
        {std::string(254, 'p'), 100000, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE("prefix of " + std::to_string(c.prefix.size()) + ", number " + std::to_string(c.number));
        char prefix[256] = {0};
        memcpy(prefix, c.prefix.data(), c.prefix.size());
        char path[264 + 16];
        memset(path, '#', sizeof path);
        EXPECT_EQ(c.expected.empty() ? 0 : 1, FormatEmlPath(path, 264, prefix, sizeof prefix, c.number));
        EXPECT_EQ(c.expected, std::string(path));
        for (size_t i = 264; i < sizeof path; i++)
            ASSERT_EQ('#', path[i]);
    }
}

}  // namespace
