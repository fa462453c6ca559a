// The flag line at the end of the header block, for the shapes of message
// text that a converter hands back.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "flags.h"

namespace {

struct FlagsCase {
    const char *name;
    std::string converted;
    int unread;
    std::string destination, rest;  // what InsertFlagsHeader writes; the text from where the copy stopped
};

TEST(InsertFlagsHeader, HeaderShapes)
{
    const FlagsCase cases[] = {
        {"CR LF message", "From: a\r\nSubject: b\r\n\r\nBody\r\n", 0,
         "From: a\r\nSubject: b\r\nX-winbiff-flags: Seen\r\n", "\r\nBody\r\n"},
        {"unread", "From: a\r\n\r\nBody\r\n", 1, "From: a\r\nX-winbiff-flags: Unseen\r\n", "\r\nBody\r\n"},
        {"LF only", "From: a\nTo: b\n\nBody\n", 0, "From: a\nTo: b\nX-winbiff-flags: Seen\r\n", "\nBody\n"},
        {"starts with empty line", "\r\nBody\r\n", 1, "X-winbiff-flags: Unseen\r\n", "\r\nBody\r\n"},
        {"no empty line", "From: a\r\nSubject: b\r\n", 0, "From: a\r\nSubject: b\r\nX-winbiff-flags: Seen\r\n", ""},
        {"ends inside a line", "From: a\r\nSubj", 0, "From: a\r\nSubjX-winbiff-flags: Seen\r\n", ""},
        {"empty", "", 1, "X-winbiff-flags: Unseen\r\n", ""},
        {"lone CR inside a line", "A: x\ry\r\n\r\nB", 0, "A: x\ry\r\nX-winbiff-flags: Seen\r\n", "\r\nB"},
        {"CR CR LF ends the line", "A: x\r\r\n\r\nB", 0, "A: x\r\r\nX-winbiff-flags: Seen\r\n", "\r\nB"},
        {"CR before the zero", "A: x\r", 0, "A: x\rX-winbiff-flags: Seen\r\n", ""},
        {"existing flag line kept", "X-winbiff-flags: Seen\r\n\r\nB", 1,
         "X-winbiff-flags: Seen\r\nX-winbiff-flags: Unseen\r\n", "\r\nB"},
        {"line starting with CR ends the block", "A: x\r\n\rB\r\n", 0, "A: x\r\nX-winbiff-flags: Seen\r\n", "\rB\r\n"},
        {"dot body line untouched", "A: x\r\n\r\n.\r\n", 0, "A: x\r\nX-winbiff-flags: Seen\r\n", "\r\n.\r\n"},
    };
    for (const FlagsCase &c : cases) {
        SCOPED_TRACE(c.name);
        size_t measured = MeasureHeaderBlock(c.converted.c_str());
        // Exactly the room the measure promises, with guard bytes after it.
        std::vector<char> destination(measured + FLAGS_LINE_ROOM + 8, '#');
        const char *rest = InsertFlagsHeader(c.converted.c_str(), destination.data(), c.unread);
        EXPECT_EQ(c.destination, std::string(destination.data()));
        EXPECT_EQ(c.rest, std::string(rest));
        EXPECT_EQ(c.converted.size() - c.rest.size(), measured);
        EXPECT_LE(strlen(destination.data()) + 1, measured + FLAGS_LINE_ROOM);
        for (size_t i = measured + FLAGS_LINE_ROOM; i < destination.size(); i++)
            EXPECT_EQ('#', destination[i]) << "byte " << i;
    }
}

}  // namespace
