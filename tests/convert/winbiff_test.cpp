// ConvertMailboxToWinbiff: the folder file's bytes, the code-conversion buttons, Japanese mail, each way a conversion
// ends.  Also built beside a stand-in NKF32.dll that lengthens the header block (VESTIBAR_LENGTHENING_CONVERTER).
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <stdio.h>
#include <stdlib.h>
#include <functional>
#include "flags.h"
#include "mailbox.h"
#include "msgbox_recorder.h"
#include "resource.h"
#include "state.h"
#include "store_builder.h"
#include "winbiff.h"

#ifdef VESTIBAR_LENGTHENING_CONVERTER
#include "lengthening_nkf32.h"
#endif

namespace {

// One entry of a folder file: the converted header lines, the flag line, the rest of the converted message from its
// first empty line, the end mark.
std::string Entry(const std::string &header, bool unread, const std::string &rest)
{
    return header + (unread ? "X-winbiff-flags: Unseen\r\n" : "X-winbiff-flags: Seen\r\n") + rest + "\r\n.\r\n";
}

// The main dialog from the program's own template, but under a class of the test's own: the other test programs look
// for a running program by the class "Vestibar", and must not find this one.
const char DialogClass[] = "WinbTest";  // as long as "Vestibar"

HWND CreateMainDialogForTest()
{
    HRSRC found = FindResourceA(AppInstance, MAKEINTRESOURCEA(IDD_MAIN), (LPCSTR)RT_DIALOG);
    if (found == NULL)
        return NULL;
    const BYTE *data = (const BYTE *)LockResource(LoadResource(AppInstance, found));
    std::vector<BYTE> copy(data, data + SizeofResource(AppInstance, found));
    // After the fixed part of the template (18 bytes) and an empty menu field (one zero word) comes the class name.
    const size_t classAt = 18 + 2;
    WCHAR *name = (WCHAR *)(copy.data() + classAt);
    if (copy.size() < classAt + 9 * sizeof(WCHAR) || copy[18] != 0 || copy[19] != 0 ||
        lstrcmpiW(name, L"Vestibar") != 0)
        return NULL;
    for (int i = 0; i < 8; i++)
        name[i] = (WCHAR)DialogClass[i];
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = DefDlgProcA;
    windowClass.cbWndExtra = DLGWINDOWEXTRA;
    windowClass.hInstance = AppInstance;
    windowClass.lpszClassName = DialogClass;
    RegisterClassA(&windowClass);
    return CreateDialogIndirectParamA(AppInstance, (LPCDLGTEMPLATEA)copy.data(), NULL, NULL, 0);
}

// A crash (a heap written past) ends the program at once, instead of waiting for a debugger until the test's time runs
// out.
LONG WINAPI EndOnCrash(EXCEPTION_POINTERS *exception)
{
    fprintf(stderr, "crashed: exception %08lx at %p\n", (unsigned long)exception->ExceptionRecord->ExceptionCode,
            exception->ExceptionRecord->ExceptionAddress);
    fflush(stderr);
    return EXCEPTION_EXECUTE_HANDLER;
}

void Prefer(int button)
{
    CheckRadioButton(MainDialog, IDC_PREFER_KANA, IDC_PREFER_EUC, button);
}

class WinbiffTest : public testing::Test {
public:
    static void SetUpTestSuite()
    {
        SetUnhandledExceptionFilter(EndOnCrash);
        MainDialog = CreateMainDialogForTest();
    }
    static void TearDownTestSuite()
    {
        if (MainDialog != NULL)
            DestroyWindow(MainDialog);
        MainDialog = NULL;
    }
    void SetUp() override
    {
        ASSERT_NE((HWND)NULL, MainDialog) << "no main dialog";
        ClearRecordedBoxes();
        RunState = RunCounters();
        RemoveTree(in());
        RemoveTree(out());
        CreateDirectoryA(in().c_str(), NULL);
        CreateDirectoryA(out().c_str(), NULL);
        SetPathBuffer(SourceDir, in());
        SetPathBuffer(OutputBase, out());
        Prefer(IDC_PREFER_KANA);
    }
    std::string in() const { return dir.path() + "in\\"; }
    std::string out() const { return dir.path() + "out\\"; }

    // Inbox.mbx holding `messages`, without an index; or with one whose entries carry `flags` and name the records,
    // stored in reverse order, in the order of `messages`.
    void Store(const std::vector<std::string> &messages, bool indexed = false,
               const std::vector<unsigned char> &flags = {})
    {
        std::vector<std::string> stored(messages);
        if (indexed)
            stored.assign(messages.rbegin(), messages.rend());
        MailboxImage image = BuildMailbox(stored);
        WriteBytes(in() + "Inbox.mbx", image.bytes);
        if (indexed) {
            std::vector<EntryFields> entries;
            for (size_t i = 0; i < flags.size(); i++)
                entries.push_back({flags[i], image.recordOffsets[messages.size() - 1 - i]});
            WriteBytes(in() + "Inbox.idx", BuildIndex(entries));
        }
    }

    // The folder file's bytes, read without sharing: nothing holds it open.
    std::string FolderFile()
    {
        std::string bytes;
        EXPECT_TRUE(ReadBytes(out() + "Inbox", &bytes, 0)) << "no folder file, or it is held open";
        return bytes;
    }

    ScratchDir dir;
};

#ifndef VESTIBAR_LENGTHENING_CONVERTER

TEST_F(WinbiffTest, FolderFileBytesForEachShapeOfMessage)
{
    const bool U = true, S = false;
    // Messages "A: n" numbered from 1, with these bodies and index flags.
    auto numbered = [](const std::vector<std::string> &bodies, std::vector<std::string> *messages,
                       const std::vector<unsigned char> &flags = {}) {
        std::string folder;
        for (size_t i = 0; i < bodies.size(); i++) {
            std::string head = "A: " + std::to_string(i + 1) + "\r\n";
            messages->push_back(head + bodies[i]);
            folder += Entry(head, flags.empty() || (flags[i] & ENTRY_UNREAD), bodies[i]);
        }
        return folder;
    };
    // Bodies of 5 and 9 MiB outgrow the buffers' first and second stretch of address space; the small ones after them
    // must not see their bytes.
    auto body = [](char fill, size_t size) { return "\r\n" + std::string(size, fill) + "\r\n"; };
    std::vector<std::string> flagged, growing;
    // Deleted entries are handed on (skipDeleted clear); bits 2 and 3 mean nothing.
    const std::vector<unsigned char> flags = {0, ENTRY_UNREAD, ENTRY_DELETED, ENTRY_DELETED | ENTRY_UNREAD, 0x0c,
                                              0x0c | ENTRY_UNREAD};
    const std::string flaggedFolder = numbered({"\r\n1", "\r\n2", "\r\n3", "\r\n4", "\r\n5", "\r\n6"}, &flagged, flags);
    const std::string growingFolder = numbered(
        {body('a', 100), body('b', 5u << 20), body('c', 300), body('d', 9u << 20), body('e', 10)}, &growing);
    struct Case { const char *name; std::vector<std::string> messages; bool indexed;
                  std::vector<unsigned char> flags; std::string folder; };
    const Case cases[] = {
        {"no index: every message Unseen", {"From: a\r\nSubject: b\r\n\r\nBody\r\n", "Subject: c\r\n\r\nx"}, false, {},
         Entry("From: a\r\nSubject: b\r\n", U, "\r\nBody\r\n") + Entry("Subject: c\r\n", U, "\r\nx")},
        {"index: bit 1 gives Unseen, the others Seen", flagged, true, flags, flaggedFolder},
        {"index without entries", {"A: 1\r\n\r\n1"}, true, {}, ""},
        {"starts with an empty line", {"\r\nBody\r\n", "\nBody\n"}, false, {},
         Entry("", U, "\r\nBody\r\n") + Entry("", U, "\nBody\n")},
        {"no empty line, ends inside a line", {"From: a\r\nSubj"}, false, {}, Entry("From: a\r\nSubj", U, "")},
        {"0 bytes", {"", ""}, true, {ENTRY_UNREAD, 0}, Entry("", U, "") + Entry("", S, "")},
        // The next record is still found where its record length says.
        {"a NUL in the body cuts the message", {std::string("From: a\r\n\r\nBo\0dy\r\n", 17), "Next: m\r\n\r\nn"},
         false, {}, Entry("From: a\r\n", U, "\r\nBo") + Entry("Next: m\r\n", U, "\r\nn")},
        {"a NUL in a header line", {std::string("Fr\0om: a\r\n\r\nB", 13), std::string("\0A: 1\r\n", 7)}, false,
         {}, Entry("Fr", U, "") + Entry("", U, "")},
        {"messages that grow past the buffers and shrink again", growing, false, {}, growingFolder},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        Store(c.messages, c.indexed, c.flags);
        EXPECT_EQ(1, ConvertMailboxToWinbiff("Inbox.mbx"));
        ExpectErrorBoxes({});
        EXPECT_EQ(std::vector<std::string>{"Inbox"}, ListTree(out()));
        EXPECT_EQ(c.folder, FolderFile());
    }
    // convert_tests_portable sets VESTIBAR_PORTABLE_CODE: these bytes then come from the portable code.
    EXPECT_EQ(getenv("VESTIBAR_PORTABLE_CODE") ? 0 : 1, Sse2Choice) << "the code that scanned the texts";
}

WNDPROC BarProcedure;

// The walk steps the progress bar right before it hands on each message: there the buttons are turned over, so that
// each message meets the other setting than the one before.
LRESULT CALLBACK TurningBar(HWND bar, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == PBM_STEPIT)
        Prefer(IsDlgButtonChecked(MainDialog, IDC_PREFER_KANA) == BST_CHECKED ? IDC_PREFER_EUC : IDC_PREFER_KANA);
    return CallWindowProcA(BarProcedure, bar, message, wParam, lParam);
}

// Each message read under each button, read again for every message: button 1011 ("Xs") reads bytes that are both
// EUC-JP and Shift_JIS half-width kana as Shift_JIS, button 1012 ("s") as EUC-JP; whatever only one code allows is read
// in that code either way.
TEST_F(WinbiffTest, JapaneseMailBecomesShiftJisUnderTheButtonOfTheMoment)
{
    // 日本語 in the subject, こんにちは in the body.
    const std::string sjis = "Subject: \x93\xfa\x96\x7b\x8c\xea\r\n\r\n\x82\xb1\x82\xf1\x82\xc9\x82\xbf\x82\xcd\r\n";
    struct Case { const char *name; std::string stored, withKana, withEuc; };
    const Case cases[] = {
        {"ISO-2022-JP", "Subject: \x1b$BF|K\\8l\x1b(B\r\n\r\n\x1b$B$3$s$K$A$O\x1b(B\r\n", sjis, sjis},
        {"EUC-JP", "Subject: \xc6\xfc\xcb\xdc\xb8\xec\r\n\r\n\xa4\xb3\xa4\xf3\xa4\xcb\xa4\xc1\xa4\xcf\r\n", sjis, sjis},
        {"Shift_JIS", sjis, sjis, sjis},
        // ｱｲ in ISO-2022-JP's kana set and between SO and SI.
        {"ISO-2022-JP half-width kana", "Subject: \x1b(I12\x1b(B \x0e" "12\x0f\r\n\r\nx\r\n",
         "Subject: \xb1\xb2 \xb1\xb2\r\n\r\nx\r\n", "Subject: \xb1\xb2 \xb1\xb2\r\n\r\nx\r\n"},
        // The line end ends the kanji shift that ESC ( B should have ended.
        {"ISO-2022-JP line without its ESC ( B", "Subject: \x1b$BF|K\\\r\nFrom: a\r\n\r\nx\r\n",
         "Subject: \x93\xfa\x96\x7b\r\nFrom: a\r\n\r\nx\r\n", "Subject: \x93\xfa\x96\x7b\r\nFrom: a\r\n\r\nx\r\n"},
        // ､ｱ､ｲ in Shift_JIS, あい in EUC-JP.
        {"EUC-JP or Shift_JIS kana", "Subject: k\r\n\r\n\xa4\xa2\xa4\xa4\r\n", "Subject: k\r\n\r\n\xa4\xa2\xa4\xa4\r\n",
         "Subject: k\r\n\r\n\x82\xa0\x82\xa2\r\n"},
    };
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_PROGRESS_CLASS};
    ASSERT_TRUE(InitCommonControlsEx(&controls));
    ProgressDialog = CreateDialogParamA(AppInstance, MAKEINTRESOURCEA(IDD_PROGRESS), NULL, NULL, 0);
    ASSERT_NE((HWND)NULL, ProgressDialog);
    HWND bar = GetDlgItem(ProgressDialog, IDC_PROGRESS_BAR);
    BarProcedure = (WNDPROC)SetWindowLongPtrA(bar, GWLP_WNDPROC, (LONG_PTR)TurningBar);
    // Each message twice, in one mailbox: the first meets button 1012, the second 1011.
    std::vector<std::string> messages;
    for (const Case &c : cases)
        messages.insert(messages.end(), {c.stored, c.stored});
    Store(messages);
    EXPECT_EQ(1, ConvertMailboxToWinbiff("Inbox.mbx"));
    ExpectErrorBoxes({});
    std::string folder = FolderFile();
    for (const Case &c : cases) {
        for (bool euc : {true, false}) {
            SCOPED_TRACE(std::string(c.name) + (euc ? ", button 1012, s" : ", button 1011, Xs"));
            std::string converted = euc ? c.withEuc : c.withKana;
            size_t cut = converted.find("\r\n\r\n") + 2;  // the flag line goes before the empty line
            std::string entry = Entry(converted.substr(0, cut), true, converted.substr(cut));
            EXPECT_EQ(entry, folder.substr(0, entry.size()));
            folder.erase(0, entry.size());
        }
    }
    EXPECT_EQ("", folder);
    EXPECT_EQ((int)messages.size(), SendMessageA(bar, PBM_GETPOS, 0, 0));
    char label[64];
    GetDlgItemTextA(ProgressDialog, IDC_FILE_NAME, label, sizeof label);
    EXPECT_STREQ("Inbox.mbx", label);
    DestroyWindow(ProgressDialog);
    ProgressDialog = NULL;
}

// Each way a conversion can end: its result, its one box, what the output folder holds; afterwards nothing is held open
// and the sources are as they were.
TEST_F(WinbiffTest, EveryEndClosesEverythingAndReportsOnce)
{
    const MailboxImage two = BuildMailbox({"A: 1\r\n\r\none\r\n", "A: 2\r\n\r\ntwo\r\n"});
    const std::string firstEntry = Entry("A: 1\r\n", true, "\r\none\r\n");
    auto secondSize = [&two](uint32_t size) {
        std::string bytes = two.bytes;
        PutU32(bytes, two.recordOffsets[1] + MESSAGE_SIZE_FIELD, size);
        return bytes;
    };
    typedef std::function<void(WinbiffTest &)> Prepare;
    typedef std::function<std::string(WinbiffTest &)> Box;
    auto nothing = [](WinbiffTest &) {};
    auto none = [](WinbiffTest &) { return std::string(); };
    auto system = [](UINT id, DWORD code) { return [id, code](WinbiffTest &) { return SystemErrorText(id, code); }; };
    auto plain = [](UINT id) { return [id](WinbiffTest &) { return PlainText(id); }; };
    auto keep = [](const char *bytes) { return [bytes](WinbiffTest &t) { WriteBytes(t.out() + "Inbox", bytes); }; };
    auto exists = [](WinbiffTest &t) { return TextWithArgument(IDS_DEST_EXISTS, t.out() + "Inbox"); };
    // An empty index: none.
    struct Case { std::string name, mailbox, index; Prepare prepare; int result; Box box; bool folderMade;
                  std::string folder; };
    std::vector<Case> cases = {
        {"success", two.bytes, "", nothing, 1, none, true, firstEntry + Entry("A: 2\r\n", true, "\r\ntwo\r\n")},
        {"success indexed", two.bytes, BuildIndex({{0, two.recordOffsets[1]}}), nothing, 1, none, true,
         Entry("A: 2\r\n", false, "\r\ntwo\r\n")},
        {"folder file exists", two.bytes, "", keep("keep"), 0, exists, true, "keep"},
        {"folder file exists, indexed", two.bytes, BuildIndex({{0, two.recordOffsets[1]}}), keep(""), 0, exists, true, ""},
        {"bad magic", "JMF7" + two.bytes.substr(4), "", nothing, 0, plain(IDS_NOT_A_MAILBOX), true, ""},
        {"no such mailbox", "", "", [](WinbiffTest &t) { DeleteFileA((t.in() + "Inbox.mbx").c_str()); }, 0,
         system(IDS_OPEN_SOURCE_FAILED, ERROR_FILE_NOT_FOUND), false, ""},
        {"second message cut short", secondSize(100), "", nothing, 0, system(IDS_READ_SOURCE_FAILED, 0), true,
         firstEntry},
        {"record offset beyond the mailbox", two.bytes, BuildIndex({{0, 0x10000}}), nothing, 0,
         system(IDS_READ_SOURCE_FAILED, 0), true, ""},
        {"index cut short", two.bytes, "JMF9\x01\x02", nothing, 0, system(IDS_READ_INDEX_FAILED, 0), true, ""},
        {"no output folder", two.bytes, "", [](WinbiffTest &t) { SetPathBuffer(OutputBase, t.out() + "none\\"); },
         0, system(IDS_CREATE_DEST_FAILED, ERROR_PATH_NOT_FOUND), false, ""},
    };
    // Sizes whose buffers (size + 64, 2 x size + 128) do not fit in 32 bits: refused before anything is taken or read.
    for (uint32_t size : {0x7fffffc0u, 0x80000000u, 0xffffffbfu, 0xffffffc0u, 0xfffffff0u, 0xffffffffu})
        cases.push_back({"message size " + std::to_string(size), secondSize(size), "", nothing, 0,
                         plain(IDS_OUT_OF_MEMORY), true, firstEntry});
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        WriteInbox(in(), c.mailbox, c.index);
        c.prepare(*this);
        const std::map<std::string, std::string> sources = TreeBytes(in());
        // A folder file of this run is held without sharing while a failure is shown.
        const bool made = GetFileAttributesA((out() + "Inbox").c_str()) == INVALID_FILE_ATTRIBUTES;
        bool shared = false;
        WhileBoxShown() = [&] {
            std::string bytes;
            shared = made && ReadBytes(out() + "Inbox", &bytes);
        };
        SetLastError(0xdeadbeef);
        EXPECT_EQ(c.result, ConvertMailboxToWinbiff("Inbox.mbx"));
        WhileBoxShown() = nullptr;
        EXPECT_FALSE(shared) << "the folder file could be read while the box showed";
        ExpectErrorBox(c.box(*this));
        EXPECT_EQ(c.folderMade ? std::vector<std::string>{"Inbox"} : std::vector<std::string>(), ListTree(out()));
        EXPECT_EQ(c.folderMade ? c.folder : "", c.folderMade ? FolderFile() : "");
        ExpectTreeUnchanged(in(), sources);
    }
}

// OutputBase at its longest (255 bytes, naming a file in the output folder) and a mailbox name whose stem makes the
// folder path 264 bytes or more: the path is refused, not cut into the name of another file, and the mailbox and its
// index are closed again.
TEST_F(WinbiffTest, FolderPathTooLongForItsBuffer)
{
    const std::string base = out() + std::string(PATH_BUFFER_SIZE - 1 - out().size(), 'b');
    // 264 bytes, and far beyond the buffer.
    const std::string names[] = {"Folder009.mbx", std::string(200, 'F') + ".mbx"};
    for (const std::string &name : names) {
        for (bool indexed : {false, true}) {
            SCOPED_TRACE(std::to_string(name.size()) + "-byte name" + (indexed ? ", indexed" : ""));
            SetUp();
            SetPathBuffer(OutputBase, base);
            std::string stem = name.substr(0, name.size() - 4);
            ASSERT_LE((size_t)FULL_PATH_SIZE, base.size() + stem.size());
            MailboxImage image = BuildMailbox({"A: 1\r\n\r\n1"});
            WriteBytes(in() + name, image.bytes);
            if (indexed)
                WriteBytes(in() + stem + ".idx", BuildIndex({{0, image.recordOffsets[0]}}));
            const std::map<std::string, std::string> sources = TreeBytes(in());
            SetLastError(0xdeadbeef);
            EXPECT_EQ(0, ConvertMailboxToWinbiff(name.c_str()));
            ExpectErrorBoxes({SystemErrorText(IDS_CREATE_DEST_FAILED, ERROR_FILENAME_EXCED_RANGE)});
            EXPECT_EQ(std::vector<std::string>(), ListTree(out()));
            EXPECT_EQ(0, RunState.messageNumber);
            ExpectTreeUnchanged(in(), sources);
        }
    }
}

// Private address space reserved without access: the run's buffers, and nothing else of the process's.
SIZE_T NoAccessReservations()
{
    SIZE_T total = 0;
    MEMORY_BASIC_INFORMATION region;
    for (const char *at = NULL; VirtualQuery(at, &region, sizeof region) == sizeof region;
         at = (const char *)region.BaseAddress + region.RegionSize)
        if (region.State != MEM_FREE && region.Type == MEM_PRIVATE && region.AllocationProtect == PAGE_NOACCESS)
            total += region.RegionSize;
    return total;
}

// Messages that outgrow the buffers twice: at the run's end every reservation is given back, those left by each move
// included.
TEST_F(WinbiffTest, BuffersGivenBackAtTheRunsEnd)
{
    Store({"A: 1\r\n\r\n" + std::string(5 << 20, 'b'), "A: 2\r\n\r\n" + std::string(9 << 20, 'b')});
    GiveBackWinbiffBuffers();
    const SIZE_T before = NoAccessReservations();
    EXPECT_EQ(1, ConvertMailboxToWinbiff("Inbox.mbx"));
    ExpectErrorBoxes({});
    EXPECT_LT(before + (18 << 20), NoAccessReservations()) << "reserved while the run lasts";
    GiveBackWinbiffBuffers();
    EXPECT_EQ(before, NoAccessReservations()) << "reserved after the run";
}

#else  // VESTIBAR_LENGTHENING_CONVERTER

// The line that the stand-in converter puts in front of every text.
std::string PrefixLine(const char *option)
{
    std::string line = LENGTHENING_PREFIX_NAME + std::string(option);
    line.resize(LENGTHENING_PREFIX_SIZE - 2, '.');
    return line + "\r\n";
}

// A converter that writes more header bytes than the raw buffer of messageSize + 64 bytes holds: the program makes the
// room, so the folder file holds the whole lengthened header block (a write past the room would fault on the pages
// beyond it).
TEST_F(WinbiffTest, ConverterThatLengthensTheHeaderBlock)
{
    std::string manyLines, doubled;
    for (int i = 0; i < 2000; i++) {
        std::string line = "X-Line-" + std::to_string(i) + ": value\r\n";
        manyLines += line;
        doubled += line + line;
    }
    // The header and the rest as converted, without the line in front.
    struct Case { const char *name; std::string message, header, rest; bool beyondRawBuffer; };
    const Case cases[] = {
        {"0 bytes", "", "", "", true},
        {"no empty line", "A: 1\r\n", "A: 1\r\nA: 1\r\n", "", true},
        {"ends inside a line", "A: 1\r\nSub", "A: 1\r\nA: 1\r\nSubSub", "", true},
        {"header and body", "From: a\r\nTo: b\r\n\r\nbody\r\n", "From: a\r\nFrom: a\r\nTo: b\r\nTo: b\r\n",
         "\r\nbody\r\n", true},
        {"LF only", "From: a\n\nbody\n", "From: a\nFrom: a\n", "\nbody\n", true},
        {"starts with an empty line", "\r\nbody", "", "\r\nbody", true},
        {"short header, long body", "A: 1\r\n\r\n" + std::string(300, 'b'), "A: 1\r\nA: 1\r\n",
         "\r\n" + std::string(300, 'b'), false},
        {"2000 header lines", manyLines + "\r\nbody\r\n", doubled, "\r\nbody\r\n", true},
    };
    // Each message twice in its mailbox, once unread: the second finds the raw buffer as the first left it, enlarged.
    for (int button : {IDC_PREFER_KANA, IDC_PREFER_EUC}) {
        const char *option = button == IDC_PREFER_KANA ? "Xs" : "s";
        for (const Case &c : cases) {
            SCOPED_TRACE(std::string(option) + ", " + c.name);
            SetUp();
            Prefer(button);
            size_t headerBlock = LENGTHENING_PREFIX_SIZE + c.header.size();
            EXPECT_EQ(c.beyondRawBuffer, headerBlock + FLAGS_LINE_ROOM > c.message.size() + 64);
            Store({c.message, c.message}, true, {ENTRY_UNREAD, 0});
            EXPECT_EQ(1, ConvertMailboxToWinbiff("Inbox.mbx"));
            ExpectErrorBoxes({});
            const std::string header = PrefixLine(option) + c.header;
            EXPECT_EQ(Entry(header, true, c.rest) + Entry(header, false, c.rest), FolderFile());
        }
    }
}

#endif

}  // namespace
