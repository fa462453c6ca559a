// ReadExact, WriteExact and CopyBytes: exact counts, the code of a failed call or 0 for a short one, and the copy's
// pieces of 32768 bytes.
#include <gtest/gtest.h>

#include "fileio.h"
#include "msgbox_recorder.h"
#include "resource.h"
#include "store_builder.h"

namespace {

HANDLE Open(const std::string &path, DWORD access, DWORD disposition)
{
    return CreateFileA(path.c_str(), access, 0, NULL, disposition, FILE_ATTRIBUTE_NORMAL, NULL);
}

class FileIoTest : public testing::Test {
protected:
    void SetUp() override { ClearRecordedBoxes(); }
    ScratchDir dir;
};

TEST_F(FileIoTest, ReadAndWriteReportTheirOwnFailures)
{
    struct Case {
        const char *name;
        DWORD access;  // of the handle used
        bool write;
        DWORD count;
        int result;
        std::vector<std::string> boxes;
        std::string data;  // read into the buffer, or the file after writing
    };
    const Case cases[] = {
        {"read all", GENERIC_READ, false, 5, 1, {}, "12345"},
        {"read none", GENERIC_READ, false, 0, 1, {}, ""},
        {"read past end", GENERIC_READ, false, 6, 0, {SystemErrorText(IDS_READ_INDEX_FAILED, 0)}, ""},
        {"read without access", GENERIC_WRITE, false, 2, 0, {SystemErrorText(IDS_READ_INDEX_FAILED, ERROR_ACCESS_DENIED)}, ""},
        {"write", GENERIC_WRITE, true, 3, 1, {}, "abc45"},
        {"write none", GENERIC_WRITE, true, 0, 1, {}, "12345"},
        {"write without access", GENERIC_READ, true, 3, 0, {SystemErrorText(IDS_WRITE_DEST_FAILED, ERROR_ACCESS_DENIED)}, "12345"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ClearRecordedBoxes();
        std::string path = dir.path() + "five", file;
        WriteBytes(path, "12345");
        HANDLE handle = Open(path, c.access, OPEN_EXISTING);
        char buffer[8] = "abcdefg";
        SetLastError(0xdeadbeef);
        EXPECT_EQ(c.result, c.write ? WriteExact(handle, buffer, c.count, IDS_WRITE_DEST_FAILED)
                                    : ReadExact(handle, buffer, c.count, IDS_READ_INDEX_FAILED));
        CloseHandle(handle);
        ExpectErrorBoxes(c.boxes);
        EXPECT_TRUE(ReadBytes(path, &file));
        EXPECT_EQ(c.write ? c.data : "12345", file);
        if (!c.write && c.result) {
            EXPECT_EQ(c.data, std::string(buffer, c.count));
        }
    }
}

TEST_F(FileIoTest, CopyBytesMovesPiecesOf32768)
{
    struct Case {
        DWORD count;
        size_t sourceSize;
        size_t written;  // a short read stops before its piece is written
        bool readOnlyDestination;
    };
    const Case cases[] = {
        {0, 10, 0, false}, {1, 1, 1, false}, {32768, 32768, 32768, false}, {32769, 32769, 32769, false},
        {40000, 40010, 40000, false}, {32768, 32767, 0, false}, {32769, 32768, 32768, false},
        {40000, 32868, 32768, false}, {100000, 98304, 98304, false},
        {100, 100, 0, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE("count " + std::to_string(c.count) + ", source " + std::to_string(c.sourceSize));
        ClearRecordedBoxes();
        std::string source(c.sourceSize, '\0'), copy;
        for (size_t i = 0; i < source.size(); i++)
            source[i] = (char)(i * 131 + c.count + (i >> 8));
        WriteBytes(dir.path() + "source", source);
        WriteBytes(dir.path() + "copy", "");
        HANDLE in = Open(dir.path() + "source", GENERIC_READ, OPEN_EXISTING);
        HANDLE out = Open(dir.path() + "copy", c.readOnlyDestination ? GENERIC_READ : GENERIC_WRITE, OPEN_EXISTING);
        bool complete = c.written == c.count;
        SetLastError(0xdeadbeef);
        EXPECT_EQ(complete ? 1 : 0, CopyBytes(in, out, c.count));
        CloseHandle(in);
        CloseHandle(out);
        EXPECT_TRUE(ReadBytes(dir.path() + "copy", &copy));
        EXPECT_EQ(c.written, copy.size());
        EXPECT_TRUE(copy == source.substr(0, c.written)) << "copied bytes differ";
        std::vector<std::string> boxes;
        if (c.readOnlyDestination)
            boxes.push_back(SystemErrorText(IDS_WRITE_DEST_FAILED, ERROR_ACCESS_DENIED));
        else if (!complete)
            boxes.push_back(SystemErrorText(IDS_READ_SOURCE_FAILED, 0));
        ExpectErrorBoxes(boxes);
    }
}

}  // namespace
