#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "textcut.h"

namespace {

struct CutCase {
    const char *name;
    std::string source;
    size_t capacity;
    std::string expected;
};

TEST(CopyTextCut, KeepsWholeCharacters)
{
    const CutCase cases[] = {
        {"fits", "abc", 4, "abc"},
        {"one too long", "abcd", 4, "abc"},
        {"empty", "", 1, ""},
        {"only the zero fits", "abc", 1, ""},
        {"pair fits exactly", "a\x82\xa0", 4, "a\x82\xa0"},
        {"pair would be split", "ab\x82\xa0", 4, "ab"},
        // 0x5C as a trail byte is part of its character, not a backslash.
        {"backslash trail", "\x95\x5c\x95\x5c", 4, "\x95\x5c"},
        {"half-width kana are single", "\xb1\xb2\xb3\xb4", 4, "\xb1\xb2\xb3"},
        {"lead bytes E0 to FC", "\xe0\x40\xfc\x40", 4, "\xe0\x40"},
        {"lone lead byte at the end", "ab\x82", 4, "ab\x82"},
        {"A0 and FD are single", "\xa0\xfd\xfe", 3, "\xa0\xfd"},
    };
    for (const CutCase &c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<char> buffer(c.capacity + 8, '#');
        size_t length = CopyTextCut(buffer.data(), c.capacity, c.source.c_str());
        EXPECT_EQ(c.expected, std::string(buffer.data()));
        EXPECT_EQ(c.expected.size(), length);
        // Nothing is written past the capacity.
        for (size_t i = c.capacity; i < buffer.size(); i++)
            EXPECT_EQ('#', buffer[i]) << "byte " << i;
    }
}

TEST(CopyTextCut, EveryLengthOfMixedText)
{
    // Each capacity from 1 to past the end: the result is the longest
    // prefix that ends between characters and fits.
    const std::string text = "a\x82\xa0" "b\x95\x5c\xb1" "cd\xe0\x40";
    const size_t boundaries[] = {0, 1, 3, 4, 6, 7, 8, 9, 11};
    for (size_t capacity = 1; capacity <= text.size() + 2; capacity++) {
        SCOPED_TRACE("capacity " + std::to_string(capacity));
        size_t expected = 0;
        for (size_t b : boundaries)
            if (b <= capacity - 1)
                expected = b;
        std::vector<char> buffer(capacity);
        EXPECT_EQ(expected, CopyTextCut(buffer.data(), capacity, text.c_str()));
        EXPECT_EQ(text.substr(0, expected), std::string(buffer.data()));
    }
}

TEST(IsShiftJisLeadByte, Ranges)
{
    for (int byte = 0; byte < 256; byte++) {
        SCOPED_TRACE("byte " + std::to_string(byte));
        bool expected = (byte >= 0x81 && byte <= 0x9f) || (byte >= 0xe0 && byte <= 0xfc);
        EXPECT_EQ(expected, IsShiftJisLeadByte((unsigned char)byte));
    }
}

}  // namespace
