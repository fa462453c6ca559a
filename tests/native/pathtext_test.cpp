#include <gtest/gtest.h>

#include <string.h>

#include <algorithm>
#include <string>

#include "pathtext.h"

namespace {

// A buffer with guard bytes after its capacity, to catch writes past it.
struct Guarded {
    Guarded(size_t capacity, const std::string &text) : capacity(capacity), bytes(capacity + 8, '#')
    {
        memcpy(bytes.data(), text.c_str(), std::min(text.size() + 1, capacity));
    }
    std::string Text() const { return std::string(bytes.data()); }
    bool GuardIntact() const { return bytes.substr(capacity) == std::string(8, '#'); }
    size_t capacity;
    std::string bytes;
};

TEST(AppendText, FitsOrLeavesBufferAlone)
{
    const struct {
        const char *start, *tail;
        size_t capacity;
        int result;
        const char *expected;
    } cases[] = {
        {"C:\\Store\\", "Mail\\", 16, 1, "C:\\Store\\Mail\\"},
        {"C:\\Store\\", "Mail\\", 15, 1, "C:\\Store\\Mail\\"},  // 14 bytes and the zero
        {"C:\\Store\\", "Mail\\", 14, 0, "C:\\Store\\"},
        {"", "", 1, 1, ""},
        {"", "x", 1, 0, ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.start) + " + " + c.tail + " in " + std::to_string(c.capacity));
        Guarded buffer(c.capacity, c.start);
        EXPECT_EQ(c.result, AppendText(buffer.bytes.data(), c.capacity, c.tail));
        EXPECT_EQ(c.expected, buffer.Text());
        EXPECT_TRUE(buffer.GuardIntact());
    }
}

TEST(EnsureTrailingBackslash, AddsOnlyWhereMissing)
{
    const struct {
        const char *start;
        size_t capacity;
        int result;
        const char *expected;
    } cases[] = {
        {"C:\\Store", 16, 1, "C:\\Store\\"},
        {"C:\\Store\\", 16, 1, "C:\\Store\\"},
        {"", 4, 1, "\\"},            // an empty directory becomes a lone backslash
        {"abc", 4, 0, "abc"},        // full: nothing appended
        {"ab\\", 4, 1, "ab\\"},      // full, but needs nothing
        // A trail byte 0x5C counts as a backslash: paths are tested by byte.
        {"C:\\\x95\x5c", 16, 1, "C:\\\x95\x5c"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.start);
        Guarded buffer(c.capacity, c.start);
        EXPECT_EQ(c.result, EnsureTrailingBackslash(buffer.bytes.data(), c.capacity));
        EXPECT_EQ(c.expected, buffer.Text());
        EXPECT_TRUE(buffer.GuardIntact());
    }
}

TEST(SplitAtLastBackslash, FolderKeepsItsBackslashOrNothingChanges)
{
    const struct {
        const char *path, *folder, *name;
        size_t nameCapacity;
        int result;
    } cases[] = {
        {"D:\\copy\\Inbox.mbx", "D:\\copy\\", "Inbox.mbx", 10, 1},
        {"Inbox.mbx", "", "Inbox.mbx", 64, 1},
        {"\\\\server\\share\\a.mbx", "\\\\server\\share\\", "a.mbx", 64, 1},
        {"D:\\copy\\", "D:\\copy\\", "", 64, 1},
        {"D:\\copy\\Inbox.mbx", "D:\\copy\\Inbox.mbx", "", 9, 0},  // the name needs 10
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.path) + " with a name of " + std::to_string(c.nameCapacity));
        Guarded path(64, c.path), name(c.nameCapacity, "");
        EXPECT_EQ(c.result, SplitAtLastBackslash(path.bytes.data(), name.bytes.data(), c.nameCapacity));
        EXPECT_EQ(std::string(c.folder), path.Text());
        EXPECT_EQ(std::string(c.name), name.Text());
        EXPECT_TRUE(name.GuardIntact());
    }
}

TEST(HasMailboxExtension, EachLetterInEitherCase)
{
    const struct {
        const char *path;
        bool expected;
    } cases[] = {
        {"Inbox.mbx", true}, {"A.MbX", true}, {"a.MBX", true}, {".mbx", true}, {"a.mbx.txt", false},
        {"mbx", false}, {"", false}, {"a_mbx", false}, {"a.mbxx", false}, {"a.nbx", false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(c.expected, HasMailboxExtension(c.path));
    }
}

}  // namespace
