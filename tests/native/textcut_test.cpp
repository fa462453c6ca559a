#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "textcut.h"

namespace {

// Each capacity from 1 to past the end: the result is the longest prefix
// that ends between characters and fits, and nothing is written past the
// capacity.  The characters hold the edges of the lead byte ranges (0x81-0x9F,
// 0xE0-0xFC), single bytes beside them, a 0x5C trail byte (part of its
// character, not a backslash) and a lone lead byte at the end.
TEST(CopyTextCut, EveryCapacityKeepsWholeCharacters)
{
    const char *const characters[] = {"a",    "\x81\x40", "\x9f\x5c", "\x80", "\xa0",     "\xb1",     "\xdf",
                                      "\xe0\x40", "\xfc\xfc", "\xfd", "\xfe", "\x95\x5c", "b",        "\x82"};
    std::string text;
    std::vector<size_t> boundaries{0};
    for (const char *c : characters)
        boundaries.push_back((text += c).size());
    for (size_t capacity = 1; capacity <= text.size() + 2; capacity++) {
        SCOPED_TRACE("capacity " + std::to_string(capacity));
        size_t expected = 0;
        for (size_t b : boundaries)
            if (b <= capacity - 1)
                expected = b;
        std::vector<char> buffer(capacity + 8, '#');
        EXPECT_EQ(expected, CopyTextCut(buffer.data(), capacity, text.c_str()));
        EXPECT_EQ(text.substr(0, expected), std::string(buffer.data()));
        for (size_t i = capacity; i < buffer.size(); i++)
            EXPECT_EQ('#', buffer[i]) << "byte " << i;
    }
}

}  // namespace
