// Opening a mailbox, probing its index, the walks' action and progress bar.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <uxtheme.h>

#include "mailbox.h"
#include "msgbox_recorder.h"
#include "progress.h"
#include "resource.h"
#include "state.h"
#include "store_builder.h"

namespace {

const std::string M1 = "Subject: one\r\n\r\nbody\r\n", M2 = "Subject: two\n\nbare LF\n",
                  M3 = std::string("X: \x82\xa0\x00\xff\r\n\r\n", 11);

struct Handed { std::string bytes; int unread; HANDLE target; int number; };
std::vector<Handed> HandedMessages;
size_t StopAfter;

// Reads the message where the walk left the mailbox, which proves that it stands at the first message byte.
int RecordingAction(HANDLE mailbox, DWORD messageSize, int unread, HANDLE target)
{
    std::string bytes(messageSize, '\0');
    DWORD done = 0;
    ReadFile(mailbox, &bytes[0], messageSize, &done, NULL);
    HandedMessages.push_back({bytes.substr(0, done), unread, target, RunState.messageNumber});
    return HandedMessages.size() < StopAfter;
}

class MailboxTest : public testing::Test {
protected:
    void SetUp() override
    {
        ClearRecordedBoxes();
        HandedMessages.clear();
        StopAfter = 1000;
        RunState = RunCounters();
        SetPathBuffer(SourceDir, dir.path());
    }
    void TearDown() override
    {
        ProgressDialog = NULL;
        char temp[MAX_PATH];
        GetTempPathA(sizeof temp, temp);
        SetCurrentDirectoryA(temp);  // so that the scratch folder can go
    }
    // Replaces Inbox.mbx and Inbox.idx (none when `index` is null).
    void Store(const std::string &mailbox, const std::string *index)
    {
        WriteBytes(dir.path() + "Inbox.mbx", mailbox);
        DeleteFileA((dir.path() + "Inbox.idx").c_str());
        if (index)
            WriteBytes(dir.path() + "Inbox.idx", *index);
    }
    // As the callers do: open, probe, one walk, close.
    int Walk()
    {
        HANDLE mailbox = OpenMailbox("Inbox.mbx");
        HANDLE index = ProbeIndex("Inbox.mbx");
        int result = index != INVALID_HANDLE_VALUE
                         ? WalkIndexEntries(mailbox, index, RecordingAction, (HANDLE)0x1234)
                         : WalkRecords(mailbox, RecordingAction, (HANDLE)0x1234);
        if (index != INVALID_HANDLE_VALUE)
            CloseHandle(index);
        CloseHandle(mailbox);
        return result;
    }
    ScratchDir dir;
};

std::string WithCount(std::string bytes, uint32_t count)
{
    PutU32(bytes, COUNT_FIELD, count);
    return bytes;
}

// What each walk hands on, counts and shows is compared with the portable reader's (store_differential_test); here what
// the action itself meets.
TEST_F(MailboxTest, ActionGetsItsMessageTargetAndNumberAndStopsTheWalk)
{
    const MailboxImage three = BuildMailbox({M1, M2, M3});
    const std::string index = BuildIndex({{0, three.recordOffsets[0]}, {0, three.recordOffsets[1]}, {0, three.recordOffsets[2]}});
    for (bool indexed : {false, true}) {
        SCOPED_TRACE(indexed ? "indexed" : "records");
        SetUp();
        Store(three.bytes, indexed ? &index : nullptr);
        RunState.messageNumber = 41;
        StopAfter = 2;
        EXPECT_EQ(0, Walk());
        ASSERT_EQ(2u, HandedMessages.size());
        for (size_t i = 0; i < 2; i++) {
            SCOPED_TRACE("message " + std::to_string(i));
            EXPECT_EQ(i ? M2 : M1, HandedMessages[i].bytes);
            EXPECT_EQ(indexed ? 0 : 1, HandedMessages[i].unread);
            EXPECT_EQ((HANDLE)0x1234, HandedMessages[i].target);
            EXPECT_EQ(42 + (int)i, HandedMessages[i].number);
        }
        EXPECT_EQ(43, RunState.messageNumber);
        ExpectErrorBoxes({});
        std::string file;  // read without sharing: nothing holds it open
        EXPECT_TRUE(ReadBytes(dir.path() + "Inbox.mbx", &file, 0));
        EXPECT_TRUE(!indexed || ReadBytes(dir.path() + "Inbox.idx", &file, 0));
    }
}

TEST_F(MailboxTest, ProbeNamesTheIndexByTheLastThreeBytes)
{
    // Relative: SourceDir empty, the scratch folder current.
    struct Case { bool relative; const char *mailbox, *index; bool usable; };
    const Case cases[] = {
        {false, "INBOX.MBX", "INBOX.idx", true}, {false, "Outbox", "Outidx", true}, {true, "abc", "idx", true},
        {true, "ab", "idx", false},  // too short to have three bytes replaced
    };
    SetCurrentDirectoryA(dir.path().c_str());
    for (const Case &c : cases) {
        SCOPED_TRACE(c.mailbox);
        ClearRecordedBoxes();
        SetPathBuffer(SourceDir, c.relative ? "" : dir.path());
        WriteBytes(dir.path() + c.index, BuildIndex({}));
        HANDLE index = ProbeIndex(c.mailbox);
        EXPECT_EQ(c.usable, index != INVALID_HANDLE_VALUE);
        if (index != INVALID_HANDLE_VALUE) {
            EXPECT_EQ(4u, SetFilePointer(index, 0, NULL, FILE_CURRENT));
            CloseHandle(index);
        }
        ExpectErrorBoxes({});
        std::string file;
        EXPECT_TRUE(ReadBytes(dir.path() + c.index, &file, 0));
    }
}

// A name too long for the path buffer must not be cut into the name of a file that exists, here "...\AAA...A".  A
// folder of double-byte characters keeps such a 263-byte path within the system's limit of characters.
TEST_F(MailboxTest, PathTooLongIsNotCutIntoAnotherName)
{
    std::string folder = dir.path();
    for (int i = 0; i < 100; i++)
        folder += "\x83\x81";  // メ
    folder += "\\";
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), NULL));
    SetPathBuffer(SourceDir, folder);
    const size_t room = FULL_PATH_SIZE - 1 - folder.size();
    const std::string longest(room, 'A');
    WriteBytes(folder + longest, BuildMailbox({M1}).bytes);
    WriteBytes(folder + longest.substr(0, room - 3) + "idx", BuildIndex({}));
    for (const std::string &name : {longest + "A.mbx", longest + "A"}) {
        ClearRecordedBoxes();
        EXPECT_EQ(INVALID_HANDLE_VALUE, OpenMailbox(name.c_str()));
        EXPECT_EQ(INVALID_HANDLE_VALUE, ProbeIndex(name.c_str()));  // silently
        ExpectErrorBoxes({SystemErrorText(IDS_OPEN_SOURCE_FAILED, ERROR_FILENAME_EXCED_RANGE)});
    }
    // The longest name that fits opens, and finds its index.
    HANDLE mailbox = OpenMailbox(longest.c_str()), index = ProbeIndex(longest.c_str());
    EXPECT_NE(INVALID_HANDLE_VALUE, mailbox);
    EXPECT_NE(INVALID_HANDLE_VALUE, index);
    CloseHandle(mailbox);
    CloseHandle(index);
}

TEST_F(MailboxTest, ProgressWindowFromTheTemplateOfTheScreen)
{
    // The two fonts' templates open windows of different sizes; a run reads no message until it ends, so its window
    // is shown and drawn as it opens.  An offset naming no template (1) is refused with a message.  The run's bar
    // has the classic look where a plain one takes the theme (Wine's default has one).
    for (int offset : {0, DIALOG_VARIANT_LARGE_DPI, 1}) {
        DialogVariantOffset = offset;
        ProgressDialog = NULL;
        ClearRecordedBoxes();
        RECT expected = {}, actual = {};
        int created = CreateProgressDialog();
        GetClientRect(ProgressDialog, &actual);
        HWND plain = CreateDialogParamA(AppInstance, MAKEINTRESOURCEA(IDD_PROGRESS + offset), NULL, NULL, 0);
        GetClientRect(plain, &expected);
        const int opened = plain != NULL;
        EXPECT_EQ((std::vector<int>{opened, expected.right, expected.bottom, opened, 0, 0, opened && IsThemeActive()}),
                  (std::vector<int>{created, actual.right, actual.bottom, IsWindowVisible(ProgressDialog),
                                    GetUpdateRect(ProgressDialog, NULL, FALSE),
                                    GetWindowTheme(GetDlgItem(ProgressDialog, IDC_PROGRESS_BAR)) != NULL,
                                    GetWindowTheme(GetDlgItem(plain, IDC_PROGRESS_BAR)) != NULL}))
            << "opened, client width and height, shown, left to paint, bar themed, plain bar themed; template offset "
            << offset;
        const std::vector<std::string> none, refused = {PlainText(IDS_WINDOW_NOT_OPENED)};
        ExpectErrorBoxes(opened ? none : refused);
        DestroyWindow(plain);
        DestroyWindow(ProgressDialog);
    }
    DialogVariantOffset = 0;
}

int BarPaints;  // of the run window's bar

LRESULT CALLBACK CountBarPaints(int code, WPARAM wParam, LPARAM lParam)
{
    const CWPSTRUCT *sent = (const CWPSTRUCT *)lParam;
    BarPaints += sent->message == WM_PAINT && sent->hwnd == GetDlgItem(ProgressDialog, IDC_PROGRESS_BAR);
    return CallNextHookEx(NULL, code, wParam, lParam);
}

TEST_F(MailboxTest, ProgressBarFollowsTheWalk)
{
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_PROGRESS_CLASS};
    ASSERT_TRUE(InitCommonControlsEx(&controls));
    const MailboxImage three = BuildMailbox({M1, M2, M3});
    const std::vector<uint32_t> &at = three.recordOffsets;
    const std::string skipped = BuildIndex({{ENTRY_DELETED, at[0]}, {0, at[1]}, {ENTRY_DELETED, at[2]}});
    // before: the bar's position in 7..9 ahead of the walk; paints: the bar's paints in the walk with stepping (the
    // step past the range paints, as the control does, between the first and the last state).
    struct Case { const char *name; std::string mailbox; const std::string *index; int before, high, position, paints; };
    const Case cases[] = {
        {"70000 records, fails at the fourth", WithCount(three.bytes, 70000), nullptr, 8, 4464, 4, 1},
        {"no records", WithCount(three.bytes, 0), nullptr, 8, 0, 0, 1},
        {"count with top bit", WithCount(three.bytes, 0x80000005), nullptr, 8, 5, 0, 1},
        {"skipped entries step too", three.bytes, &skipped, 8, 3, 3, 1},
        {"full before and after: not painted again", three.bytes, &skipped, 9, 3, 3, 0},
        {"empty before, full after", three.bytes, &skipped, 7, 3, 3, 1},
        {"65538 records, range 0 to 2: the third step starts over", WithCount(three.bytes, 65538), nullptr, 8, 2, 2, 3},
    };
    // The run's window steps its bar through InstallBarStepping; a plain control must end the same.
    for (bool stepping : {false, true}) {
        if (stepping)
            EXPECT_TRUE(CreateProgressDialog());
        else
            ProgressDialog = CreateDialogParamA(AppInstance, MAKEINTRESOURCEA(IDD_PROGRESS), NULL, NULL, 0);
        ASSERT_NE((HWND)NULL, ProgressDialog);
        HWND bar = GetDlgItem(ProgressDialog, IDC_PROGRESS_BAR);
        ShowWindow(ProgressDialog, SW_SHOW);
        for (const Case &c : cases) {
            SCOPED_TRACE(std::string(c.name) + (stepping ? ", stepping installed" : ""));
            SendMessageA(bar, PBM_SETRANGE, 0, MAKELPARAM(7, 9));
            SendMessageA(bar, PBM_SETPOS, c.before, 0);
            UpdateWindow(ProgressDialog);
            RunState.skipDeleted = 1;
            Store(c.mailbox, c.index);
            BarPaints = 0;
            HHOOK hook = SetWindowsHookExA(WH_CALLWNDPROC, CountBarPaints, NULL, GetCurrentThreadId());
            Walk();
            UnhookWindowsHookEx(hook);
            // The control itself, past any stepping: the walk's end shows it.
            WNDPROC control = stepping ? ProgressSteps.control : (WNDPROC)GetWindowLongPtrA(bar, GWLP_WNDPROC);
            PBRANGE range;
            SendMessageA(bar, PBM_GETRANGE, TRUE, (LPARAM)&range);
            EXPECT_EQ((std::vector<int>{0, c.high, c.position, c.position, stepping ? c.paints : BarPaints}),
                      (std::vector<int>{range.iLow, range.iHigh, (int)SendMessageA(bar, PBM_GETPOS, 0, 0),
                                        (int)CallWindowProcA(control, bar, PBM_GETPOS, 0, 0), BarPaints}))
                << "range low and high, position answered, the control's own, paints of the bar";
        }
        DestroyWindow(ProgressDialog);
        ProgressDialog = NULL;
    }
}

}  // namespace
