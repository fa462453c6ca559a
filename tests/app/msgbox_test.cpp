// The five message-box routines: text, caption and style of each box, the
// fallback for a text that does not load, and texts too long for a box; and
// the string table as the program loads it under code page 932: each text
// whole Shift_JIS, fitting the buffer it is loaded into, no other id loading.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "msgbox.h"
#include "msgbox_recorder.h"
#include "resource.h"
#include "state.h"
#include "textcut.h"

namespace {

const char Text16[] = "Winbiff \x82\xaa\x83" "C\x83\x93\x83X\x83g\x81[\x83\x8b\x82\xb3\x82\xea\x82\xc4\x82\xa2\x82\xdc\x82\xb9\x82\xf1\x81" "B";
const char CaptionRegistry[] = "\x83\x8c\x83W\x83X\x83g\x83\x8a\x83G\x83\x89\x81[";
const char CaptionError[] = "Vestibar\x83G\x83\x89\x81[";
const char CaptionMessage[] = "Vestibar\x83\x81\x83" "b\x83Z\x81[\x83W";
const char Summary35[] = "3 \x8c\xc2\x82\xcc\x83\x81\x81[\x83\x8b\x83{\x83" "b\x83N\x83X\x82\xa9\x82\xe7\x81" "A\x8cv 120 \x92\xca\x82\xcc\x83\x81\x81[\x83\x8b\x82\xf0\x95\xcf\x8a\xb7\x82\xb5\x82\xdc\x82\xb5\x82\xbd\x81" "B";
const char Summary36[] = "3 \x8c\xc2\x82\xcc\x83\x81\x81[\x83\x8b\x83{\x83" "b\x83N\x83X\x82\xa9\x82\xe7\x81" "A\x8cv 120 \x92\xca\x82\xcc\x83\x81\x81[\x83\x8b\x82\xf0\x95\xcf\x8a\xb7\x82\xb5\x82\xdc\x82\xb5\x82\xbd\x81" "B\n\x81i\x93\xe0\x81" "A\x8d\xed\x8f\x9c\x83\x81\x81[\x83\x8b 5 \x92\xca\x81j";
const char Exists63Prefix[] = "MS-IM \x82\xcc\x83t\x83H\x83\x8b\x83_\x81[\x82\xc6\x93\xaf\x82\xb6\x96\xbc\x91O\x82\xcc\x83t\x83H\x83\x8b\x83_\x81[\x82\xaa\x82\xb7\x82\xc5\x82\xc9 Winbiff \x82\xc9\x91\xb6\x8d\xdd\x82\xb5\x82\xdc\x82\xb7\x81" "B\n";
const char MailPath[] = "C:\\\x83\x81\x81[\x83\x8b\\exp00001.eml";  // C:\メール\exp00001.eml
const char ReadSource0Prefix[] = "ReadFile(Source) \x82\xcc\x83G\x83\x89\x81[\x82\xc5\x82\xb7\x81" "BCode=<0>\n";
const char Format35[] = "%d \x8c\xc2\x82\xcc\x83\x81\x81[\x83\x8b\x83{\x83" "b\x83N\x83X\x82\xa9\x82\xe7\x81" "A\x8cv %d \x92\xca\x82\xcc\x83\x81\x81[\x83\x8b\x82\xf0\x95\xcf\x8a\xb7\x82\xb5\x82\xdc\x82\xb5\x82\xbd\x81" "B";

const UINT MissingId = 7;  // a gap in the string table

std::string SystemDescription(DWORD code)
{
    char description[256];
    if (FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, NULL, code, 0,
                       description, sizeof description, NULL) == 0)
        return "";
    return description;
}

void ExpectOneBox(const std::string &text, const char *caption, UINT style)
{
    ASSERT_EQ(1u, RecordedBoxes().size());
    const RecordedBox &box = RecordedBoxes()[0];
    EXPECT_EQ(text, box.text);
    EXPECT_EQ(caption != NULL, box.hasCaption);
    EXPECT_EQ(std::string(caption ? caption : ""), box.caption);
    EXPECT_EQ(style, box.style);
}

class MessageBoxTest : public testing::Test {
protected:
    void SetUp() override { ClearRecordedBoxes(); }
};

// Each routine with a caption that loads, then with one that does not: the
// box then has no caption and the error style.
TEST_F(MessageBoxTest, EachRoutineWithCaptionThatLoadsAndOneThatDoesNot)
{
    const std::string text53 = std::string(ReadSource0Prefix) + SystemDescription(0);
    const struct {
        const char *name;
        int (*show)(UINT captionId);
        UINT captionId;
        std::string text;
        const char *caption;
        UINT style;
    } cases[] = {
        {"ShowMessage", [](UINT id) { return ShowMessage(IDS_WINBIFF_NOT_INSTALLED, id); }, IDS_CAPTION_REGISTRY,
         Text16, CaptionRegistry, STYLE_ERROR},
        // Shown as loaded: a "%" is not taken for a placeholder.
        {"ShowMessage percent", [](UINT id) { return ShowMessage(IDS_SUMMARY, id); }, IDS_CAPTION_MESSAGE, Format35,
         CaptionMessage, STYLE_ERROR},
        {"ShowMessageWithText", [](UINT id) { return ShowMessageWithText(IDS_DEST_EXISTS, id, MailPath); },
         IDS_CAPTION_ERROR, std::string(Exists63Prefix) + MailPath, CaptionError, STYLE_ERROR},
        {"ShowSummary", [](UINT id) { return ShowSummary(IDS_SUMMARY, id, 3, 120); }, IDS_CAPTION_MESSAGE,
         Summary35, CaptionMessage, STYLE_INFORMATION},
        {"ShowSummaryWithDeleted", [](UINT id) { return ShowSummaryWithDeleted(IDS_SUMMARY_WITH_DELETED, id, 3, 120, 5); },
         IDS_CAPTION_MESSAGE, Summary36, CaptionMessage, STYLE_INFORMATION},
        {"ShowSystemError", [](UINT id) { return ShowSystemError(IDS_READ_SOURCE_FAILED, id, 0); },
         IDS_CAPTION_ERROR, text53, CaptionError, STYLE_ERROR},
    };
    for (const auto &c : cases) {
        for (bool loads : {true, false}) {
            SCOPED_TRACE(std::string(c.name) + (loads ? "" : " without caption"));
            ClearRecordedBoxes();
            EXPECT_EQ(1, c.show(loads ? c.captionId : MissingId));
            ExpectOneBox(c.text, loads ? c.caption : NULL, loads ? c.style : (UINT)STYLE_ERROR);
        }
    }
}

// The caption id of every call is valid: the fallback never uses it.
TEST_F(MessageBoxTest, TextThatDoesNotLoadShowsFallback)
{
    const struct {
        const char *name;
        int result;
    } cases[] = {
        {"ShowMessage", ShowMessage(MissingId, IDS_CAPTION_ERROR)},
        {"ShowSystemError", ShowSystemError(MissingId, IDS_CAPTION_ERROR, 5)},
        {"ShowMessageWithText", ShowMessageWithText(MissingId, IDS_CAPTION_ERROR, "x")},
        {"ShowSummary", ShowSummary(MissingId, IDS_CAPTION_MESSAGE, 1, 2)},
        {"ShowSummaryWithDeleted", ShowSummaryWithDeleted(MissingId, IDS_CAPTION_MESSAGE, 1, 2, 3)},
        {"ShowMessage, largest id", ShowMessage(65535, IDS_CAPTION_ERROR)},
    };
    ASSERT_EQ(6u, RecordedBoxes().size());
    for (size_t i = 0; i < 6; i++) {
        SCOPED_TRACE(cases[i].name);
        EXPECT_EQ(0, cases[i].result);
        const RecordedBox &box = RecordedBoxes()[i];
        EXPECT_EQ(i < 5 ? "Undefined String Resource. ID=<7>" : "Undefined String Resource. ID=<65535>", box.text);
        EXPECT_FALSE(box.hasCaption);
        EXPECT_EQ((UINT)STYLE_WARNING, box.style);
    }
}

TEST_F(MessageBoxTest, SystemErrorCodes)
{
    // Code 5 has a description; a code the system does not know leaves the
    // second line empty; a code with the top bit set prints as signed.
    const DWORD unknown = 0x2000ABCD;
    ASSERT_EQ("", SystemDescription(unknown));
    ASSERT_NE("", SystemDescription(ERROR_ACCESS_DENIED));
    const struct { DWORD code; const char *field; } cases[] = {
        {ERROR_ACCESS_DENIED, "Code=<5>\n"},
        {ERROR_SHARING_VIOLATION, "Code=<32>\n"},
        {unknown, "Code=<536914893>\n"},
        {0x80070005, "Code=<-2147024891>\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.field);
        ClearRecordedBoxes();
        EXPECT_EQ(1, ShowSystemError(IDS_WRITE_DEST_FAILED, IDS_CAPTION_ERROR, c.code));
        ASSERT_EQ(1u, RecordedBoxes().size());
        std::string text = RecordedBoxes()[0].text, tail = std::string(c.field) + SystemDescription(c.code);
        EXPECT_EQ(0u, text.find("WriteFile(Destination) ")) << text;
        EXPECT_EQ(tail, text.substr(text.size() - std::min(text.size(), tail.size())));
    }
}

TEST_F(MessageBoxTest, LongTextIsCutBetweenCharacters)
{
    // 63 has a 92-byte prefix; a path of double-byte characters whose
    // trail bytes are backslashes (0x95 0x5C) puts byte 255 on a trail byte
    // for one offset and on a lead byte for the other.  The last is far
    // beyond what wsprintfA can compose.
    for (int offset : {0, 1, -1}) {
        SCOPED_TRACE("offset " + std::to_string(offset));
        std::string path = "C:\\";
        if (offset < 0)
            path.assign(5000, 'x');
        path.append(offset > 0 ? offset : 0, 'a');
        while (path.size() < 300)
            path += "\x95\x5c";
        ClearRecordedBoxes();
        EXPECT_EQ(1, ShowMessageWithText(IDS_DEST_EXISTS, IDS_CAPTION_ERROR, path.c_str()));
        ASSERT_EQ(1u, RecordedBoxes().size());
        // The longest prefix of whole characters that 255 bytes hold.
        const std::string full = std::string(Exists63Prefix) + path;
        size_t boundary = 0, step;
        while (boundary + (step = IsShiftJisLeadByte((unsigned char)full[boundary]) ? 2 : 1) <= 255)
            boundary += step;
        EXPECT_EQ(full.substr(0, boundary), RecordedBoxes()[0].text);
    }
}

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
