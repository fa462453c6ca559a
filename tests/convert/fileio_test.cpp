// CopyBytes over ReadExact and WriteExact: exact counts, pieces of 32768 bytes, and the box of a failed call with its
// code, or with 0 for a short read.
#include <gtest/gtest.h>

#include "fileio.h"
#include "msgbox_recorder.h"
#include "resource.h"
#include "store_builder.h"

namespace {

HANDLE Open(const std::string &path, DWORD access)
{
    return CreateFileA(path.c_str(), access, 0, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
}

TEST(FileIo, CopyBytesMovesExactPiecesAndReportsItsFailures)
{
    const DWORD R = GENERIC_READ, W = GENERIC_WRITE;
    // Written: a short read stops before its piece is written.
    struct Case { DWORD count; size_t sourceSize, written; DWORD sourceAccess, copyAccess; std::vector<std::string> boxes; };
    const std::vector<std::string> none, shortRead = {SystemErrorText(IDS_READ_SOURCE_FAILED, 0)};
    const Case cases[] = {
        {0, 10, 0, R, W, none}, {1, 1, 1, R, W, none}, {32768, 32768, 32768, R, W, none},
        {32769, 32769, 32769, R, W, none}, {40000, 40010, 40000, R, W, none}, {32768, 32767, 0, R, W, shortRead},
        {32769, 32768, 32768, R, W, shortRead}, {40000, 32868, 32768, R, W, shortRead},
        {100000, 98304, 98304, R, W, shortRead},
        {100, 100, 0, R, R, {SystemErrorText(IDS_WRITE_DEST_FAILED, ERROR_ACCESS_DENIED)}},
        {100, 100, 0, W, W, {SystemErrorText(IDS_READ_SOURCE_FAILED, ERROR_ACCESS_DENIED)}},
    };
    ScratchDir dir;
    for (const Case &c : cases) {
        SCOPED_TRACE("count " + std::to_string(c.count) + ", source " + std::to_string(c.sourceSize) +
                     (c.sourceAccess == R ? "" : ", source not readable") + (c.copyAccess == W ? "" : ", copy not writable"));
        ClearRecordedBoxes();
        std::string source(c.sourceSize, '\0'), copy;
        for (size_t i = 0; i < source.size(); i++)
            source[i] = (char)(i * 131 + c.count + (i >> 8));
        WriteBytes(dir.path() + "source", source);
        WriteBytes(dir.path() + "copy", "");
        HANDLE in = Open(dir.path() + "source", c.sourceAccess), out = Open(dir.path() + "copy", c.copyAccess);
        SetLastError(0xdeadbeef);
        EXPECT_EQ(c.boxes.empty() ? 1 : 0, CopyBytes(in, out, c.count));
        CloseHandle(in);
        CloseHandle(out);
        EXPECT_TRUE(ReadBytes(dir.path() + "copy", &copy));
        EXPECT_EQ(c.written, copy.size());
        EXPECT_TRUE(copy == source.substr(0, c.written)) << "copied bytes differ";
        ExpectErrorBoxes(c.boxes);
    }
}

}  // namespace
