// The string table as the program loads it under code page 932: each text
// is whole Shift_JIS, fits the buffer it is loaded into, and no other id
// loads.  The texts' bytes are compared where they are shown (the box tests).
#include <gtest/gtest.h>

#include <string>

#include "resource.h"
#include "state.h"

namespace {

TEST(StringTable, EveryTextIsShiftJisAndFitsItsBuffer)
{
    ASSERT_EQ(932u, GetACP());
    // The boxes load into 256 bytes, the About item into 32, the file
    // dialogs' titles into 64.
    const struct { UINT id; int buffer; } texts[] = {
        {IDS_CAPTION_REGISTRY, 256}, {IDS_CAPTION_SETTINGS, 256}, {IDS_CAPTION_ERROR, 256},
        {IDS_CAPTION_MESSAGE, 256}, {IDS_WINBIFF_NOT_INSTALLED, 256}, {IDS_WINBIFF_RUNNING, 256},
        {IDS_IM_NOT_INSTALLED, 256}, {IDS_IM_STORE_UNKNOWN, 256}, {IDS_WINBIFF_STORE_UNKNOWN, 256},
        {IDS_CLASS_NOT_REGISTERED, 256}, {IDS_WINDOW_NOT_OPENED, 256}, {IDS_WINBIFF_MAILBOX_INVALID, 256},
        {IDS_SUMMARY, 256}, {IDS_SUMMARY_WITH_DELETED, 256}, {IDS_NO_MAILBOX, 256},
        {IDS_CREATE_DIRECTORY_FAILED, 256}, {IDS_FIND_NEXT_FAILED, 256}, {IDS_OPEN_SOURCE_FAILED, 256},
        {IDS_CREATE_DEST_FAILED, 256}, {IDS_READ_SOURCE_FAILED, 256}, {IDS_READ_INDEX_FAILED, 256},
        {IDS_WRITE_DEST_FAILED, 256}, {IDS_NOT_A_MAILBOX, 256}, {IDS_OUT_OF_MEMORY, 256},
        {IDS_DEST_EXISTS, 256}, {IDS_ABOUT_MENU, 32}, {IDS_EXPORT_TITLE, 64}, {IDS_IMPORT_TITLE, 64},
    };
    bool listed[512] = {};
    for (const auto &t : texts) {
        SCOPED_TRACE("string id " + std::to_string(t.id));
        listed[t.id] = true;
        char text[1024];
        int length = LoadStringA(AppInstance, t.id, text, sizeof text);
        EXPECT_GT(length, 0);
        EXPECT_LT(length, t.buffer);
        EXPECT_LT(0, MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, text, length, NULL, 0)) << text;
    }
    for (UINT id = 0; id < 512; id++) {
        char text[16];
        EXPECT_TRUE(listed[id] || LoadStringA(AppInstance, id, text, sizeof text) == 0) << "string id " << id;
    }
}

}  // namespace
