// Fault campaign: whole store runs in both modes (RunEmlStore with its save
// dialog answered from another thread, RunWinbiffStore with WinBiff's
// settings in the registry) against a full disk, a folder that refuses new
// files, a mailbox held open without sharing, a WinBiff user directory that
// is missing and a store folder that is missing.
//
// After each fault: exactly the one box that names it (no summary, no second
// box), the progress window closed, what was finished before complete, the
// sources unchanged, no file left open (every one opens again without
// sharing), and a run after the cause is gone goes through to its summary.
//
// The full disk is a 2 MiB tmpfs and the locked folders are immutable ones,
// both made by the host fixture before this program starts (faults-host.sh).
// Where the host cannot make them, the tests say so in one line and skip.
#include <gtest/gtest.h>

#include <windows.h>

#include <stdlib.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "driver.h"
#include "msgbox.h"
#include "msgbox_recorder.h"
#include "resource.h"
#include "runs.h"
#include "state.h"
#include "store_builder.h"
#include "textcut.h"

namespace {

const char WinbiffKey[] = "Software\\Orangesoft\\Winbiff\\Recent File List";

// The host fixture's folder (faults-host.sh), ending in a backslash, when
// its state file has the line `what`; empty otherwise.
std::string HostFolder(const char *what, std::string *state)
{
    const char *fixture = getenv("VESTIBAR_FAULTS_DIR");
    std::string dir = std::string(fixture ? fixture : "") + "\\";
    if (dir.size() == 1 || !ReadBytes(dir + "state", state))
        *state = "no host fixture (VESTIBAR_FAULTS_DIR unset or its state missing)";
    return state->find(what) != std::string::npos ? dir : std::string();
}

// Whether a folder takes a new entry now (the entry is removed again).
bool AcceptsNewFiles(const std::string &folder)
{
    std::string probe = folder + "probe";
    if (!CreateDirectoryA(probe.c_str(), NULL))
        return false;
    RemoveDirectoryA(probe.c_str());
    return true;
}

// --- Stores ------------------------------------------------------------------

// Messages of plain ASCII, which the converter passes unchanged, so that the
// folder file to expect can be written out here.
std::vector<std::string> AsciiMessages(int count, size_t size, int seed)
{
    std::vector<std::string> messages;
    for (int n = 0; n < count; n++) {
        std::string text = "From: sender" + std::to_string(seed) + "@example.jp\r\nSubject: message " +
                           std::to_string(seed) + "-" + std::to_string(n) + "\r\n\r\n";
        for (int line = 0; text.size() < size; line++) {
            std::string body = "line " + std::to_string(line) + " of message " + std::to_string(n) + " ";
            while (body.size() < 70)
                body += (char)('a' + (line * 7 + n + (int)body.size()) % 26);
            text += body + "\r\n";
        }
        text.resize(size - 2);
        text += "\r\n";
        messages.push_back(text);
    }
    return messages;
}

// The folder file that WinBiff mode makes of `messages` walked sequentially
// (every message unread).
std::string FolderFile(const std::vector<std::string> &messages)
{
    std::string folder;
    for (const std::string &message : messages) {
        size_t blank = message.find("\r\n\r\n");
        folder += message.substr(0, blank + 2) + "X-winbiff-flags: Unseen\r\n" + message.substr(blank + 2) +
                  "\r\n.\r\n";
    }
    return folder;
}

std::string EmlName(int number)
{
    char name[32];
    wsprintfA(name, "exp%05d.eml", number);
    return name;
}

std::string SummaryText(int mailboxes, int messages)
{
    char composed[1025], text[MESSAGE_TEXT_SIZE];
    wsprintfA(composed, PlainText(IDS_SUMMARY).c_str(), mailboxes, messages);
    CopyTextCut(text, sizeof text, composed);
    return text;
}

void ExpectSummary(int mailboxes, int messages)
{
    const std::vector<RecordedBox> &boxes = RecordedBoxes();
    ASSERT_EQ(1u, boxes.size()) << (boxes.empty() ? std::string("no box") : boxes[0].text);
    EXPECT_EQ(SummaryText(mailboxes, messages), boxes[0].text);
    EXPECT_EQ((UINT)STYLE_INFORMATION, boxes[0].style);
}

// Every file opens without sharing (nobody holds it) and holds `bytes`.
void ExpectFile(const std::string &path, const std::string &bytes)
{
    std::string found;
    EXPECT_TRUE(ReadBytes(path, &found, 0)) << path << " is missing or still held open";
    EXPECT_EQ(bytes.size(), found.size()) << path;
    EXPECT_TRUE(found == bytes) << path << " differs";
}

Program Self()
{
    Program self;
    memset(&self.process, 0, sizeof self.process);
    self.process.dwProcessId = GetCurrentProcessId();
    self.started = true;
    return self;
}

// --- The runs ----------------------------------------------------------------

enum Mode { EML, WINBIFF };
const char *const ModeNames[] = {".eml", "WinBiff"};

class FaultRun : public testing::Test {
protected:
    void SetUp() override
    {
        ClearRecordedBoxes();
        RunState = RunCounters();
        RunState.skipDeleted = 1;
        CreateDirectoryA(store().c_str(), NULL);
        SetPathBuffer(SourceDir, store());
        // WinBiff's settings as it leaves them: the registry names its
        // configuration file, which names the user directory.
        HKEY key;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, WinbiffKey, 0, NULL, 0, KEY_ALL_ACCESS, NULL,
                                                 &key, NULL));
        std::string ini = root.path() + "winbiff.ini";
        RegSetValueExA(key, "File1", 0, REG_SZ, (const BYTE *)ini.c_str(), (DWORD)ini.size() + 1);
        RegCloseKey(key);
        SetUserDirectory(root.path() + "user\\");
        CreateDirectoryA(userDirectory_.c_str(), NULL);
    }

    void TearDown() override
    {
        RegDeleteKeyA(HKEY_CURRENT_USER, WinbiffKey);
        EXPECT_EQ(NULL, FindDialog(Self(), IDC_PROGRESS_BAR)) << "a progress window was left open";
    }

    std::string store() const { return root.path() + "Mail\\"; }

    void SetUserDirectory(const std::string &folder)
    {
        userDirectory_ = folder;
        WritePrivateProfileStringA("CONFIG", "UserDirectory", folder.c_str(), (root.path() + "winbiff.ini").c_str());
    }
    std::string winbiffFolder() const { return userDirectory_ + "From MS-IM\\"; }

    // Once the cause is gone: a store run of Inbox.mbx holding `messages`
    // goes through, into .eml files named from `emlPrefix` or the folder file.
    void ExpectNextRunWorks(Mode mode, const std::string &emlPrefix, const std::vector<std::string> &messages)
    {
        EXPECT_EQ(1, Run(mode, emlPrefix));
        ExpectSummary(1, (int)messages.size());
        if (mode == WINBIFF) {
            ExpectFile(winbiffFolder() + "Inbox", FolderFile(messages));
            return;
        }
        const std::string folder = emlPrefix.substr(0, emlPrefix.rfind('\\') + 1);
        for (size_t i = 1; i <= messages.size(); i++)
            ExpectFile(folder + EmlName((int)i), messages[i - 1]);
    }

    // Runs the store run of `mode`; the .eml run's save dialog is answered
    // with `emlPrefix`, as the user would type it.
    int Run(Mode mode, const std::string &emlPrefix)
    {
        ClearRecordedBoxes();
        if (mode == WINBIFF)
            return RunWinbiffStore();
        std::atomic<bool> done(false);
        bool answered = false;
        std::thread user([&] {
            HWND dialog = NULL;
            while (!done && (dialog = FindDialog(Self(), 0x47C)) == NULL)
                Sleep(20);
            if (dialog == NULL)
                return;
            SendMessageA(GetDlgItem(dialog, 0x47C), WM_SETTEXT, 0, (LPARAM)emlPrefix.c_str());
            PostMessageA(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
            answered = true;
        });
        int result = RunEmlStore();
        done = true;
        user.join();
        // The save dialog made the chosen folder the current one; this
        // process would hold it, and the folder could not go.
        SetCurrentDirectoryA("C:\\");
        EXPECT_TRUE(answered) << "no save dialog came";
        return result;
    }

    ScratchDir root;
    std::string userDirectory_;
};

// A run stopped by a fault: the one box that names it, with the error
// caption and style, and the progress window closed.
void ExpectStopped(const std::string &text)
{
    ExpectErrorBoxes({text});
    EXPECT_EQ(NULL, FindDialog(Self(), IDC_PROGRESS_BAR)) << "the progress window is still open";
}

// --- A full disk ---------------------------------------------------------------

class FullDisk : public FaultRun {
protected:
    void SetUp() override
    {
        FaultRun::SetUp();
        std::string state, dir = HostFolder("full: mounted", &state);
        if (dir.empty())
            GTEST_SKIP() << "full disk: " << state.substr(0, state.find('\n'));
        full_ = dir + "full\\";
    }

    // Leaves `room` bytes free on the small disk.
    void FillLeaving(ULONGLONG room)
    {
        ULARGE_INTEGER free, total, totalFree;
        ASSERT_TRUE(GetDiskFreeSpaceExA(full_.c_str(), &free, &total, &totalFree));
        ASSERT_GT(free.QuadPart, room);
        std::string filler((size_t)(free.QuadPart - room), 'f');
        WriteBytes(full_ + "filler", filler);
        ASSERT_TRUE(GetDiskFreeSpaceExA(full_.c_str(), &free, &total, &totalFree));
        ASSERT_EQ(room, free.QuadPart) << "the filler did not leave the room asked for";
    }

    void TearDown() override
    {
        if (!full_.empty()) {
            RemoveTree(full_ + "eml\\");
            RemoveTree(full_ + "user\\");
            DeleteFileA((full_ + "filler").c_str());
        }
        FaultRun::TearDown();
    }

    std::string full_;
};

TEST_F(FullDisk, StopsWithTheSystemsReasonAndKeepsWhatWasFinished)
{
    // Five messages of 150000 bytes into 400 KiB: two fit, the third not.
    const std::vector<std::string> messages = AsciiMessages(5, 150000, 1);
    const MailboxImage image = BuildMailbox(messages);
    WriteBytes(store() + "Inbox.mbx", image.bytes);
    for (Mode mode : {EML, WINBIFF}) {
        SCOPED_TRACE(ModeNames[mode]);
        std::string eml = full_ + "eml\\";
        CreateDirectoryA(eml.c_str(), NULL);
        SetUserDirectory(full_ + "user\\");
        CreateDirectoryA(userDirectory_.c_str(), NULL);
        FillLeaving(400 * 1024);
        RunState = RunCounters();
        RunState.skipDeleted = 1;

        EXPECT_EQ(0, Run(mode, eml + "exp"));

        ExpectStopped(SystemErrorText(IDS_WRITE_DEST_FAILED, ERROR_DISK_FULL));
        std::string stored;
        EXPECT_TRUE(ReadBytes(store() + "Inbox.mbx", &stored, 0) && stored == image.bytes)
            << "the mailbox changed or is still held open";
        if (mode == EML) {
            // exp00001 ... the one that failed; all before it complete.
            std::vector<std::string> names = ListTree(eml);
            int written = RunState.messageNumber;
            ASSERT_GE(written, 3) << "two messages fit before the disk was full";
            ASSERT_EQ((size_t)written, names.size());
            for (int i = 1; i <= written; i++) {
                SCOPED_TRACE(EmlName(i));
                ASSERT_EQ(EmlName(i), names[i - 1]);
                std::string bytes;
                ASSERT_TRUE(ReadBytes(eml + EmlName(i), &bytes, 0)) << "still held open";
                if (i < written) {
                    EXPECT_TRUE(bytes == messages[i - 1]) << "a finished file is not complete";
                } else {
                    EXPECT_LT(bytes.size(), messages[i - 1].size());
                    EXPECT_TRUE(messages[i - 1].compare(0, bytes.size(), bytes) == 0) << "the cut file differs";
                }
            }
        } else {
            // The folder file holds the finished entries whole, then part of
            // the one that failed.
            std::string expected = FolderFile(messages), folder;
            ASSERT_TRUE(ReadBytes(winbiffFolder() + "Inbox", &folder, 0)) << "missing or still held open";
            EXPECT_LT(folder.size(), expected.size());
            EXPECT_GE(folder.size(), FolderFile({messages[0], messages[1]}).size());
            EXPECT_TRUE(expected.compare(0, folder.size(), folder) == 0) << "the folder file differs";
            EXPECT_EQ(std::vector<std::string>{"Inbox"}, ListTree(winbiffFolder()));
        }

        // Room again, and what the failed run left moved away: the next run
        // goes through.
        DeleteFileA((full_ + "filler").c_str());
        RemoveTree(eml);
        CreateDirectoryA(eml.c_str(), NULL);
        DeleteFileA((winbiffFolder() + "Inbox").c_str());
        ExpectNextRunWorks(mode, eml + "exp", messages);
        RemoveTree(eml);
        RemoveTree(userDirectory_);
        if (HasFatalFailure())
            return;
    }
}

// --- Faults that stop a run between mailboxes or before the first ----------

// A folder that refuses new files (the host's locked ones), a mailbox held
// open without sharing, a WinBiff user directory that is missing or takes
// no folder, a store folder that is missing or holds no mailbox.  The store
// is Alpha.mbx and Beta.mbx; after the fault, the same store run into
// folders that take files goes through.
TEST_F(FaultRun, EachFaultStopsTheRunWithItsOneBox)
{
    const std::vector<std::string> alpha = AsciiMessages(2, 1500, 3), beta = AsciiMessages(3, 1700, 4);
    std::string state, host = HostFolder("locked: yes", &state);
    const std::string locked = host + "locked\\", scratch = root.path();
    enum Fault { LOCKED, HELD, NO_STORE, EMPTY_STORE, MISSING_USER };
    struct Case {
        const char *name;
        Mode mode;
        Fault fault;
        std::string eml, user;  // the .eml files' folder and WinBiff's user directory
        std::string box;
    };
    const std::string denied = SystemErrorText(IDS_CREATE_DEST_FAILED, ERROR_ACCESS_DENIED),
                      held = SystemErrorText(IDS_OPEN_SOURCE_FAILED, ERROR_SHARING_VIOLATION),
                      none = PlainText(IDS_NO_MAILBOX);
    const Case cases[] = {
        {"output folder refusing files", EML, LOCKED, locked + "eml\\", scratch + "user\\", denied},
        // The "From MS-IM" folder that an earlier run made, which the run reuses.
        {"WinBiff folder refusing files", WINBIFF, LOCKED, scratch + "out\\", locked + "user\\", denied},
        {"user directory refusing new folders", WINBIFF, LOCKED, scratch + "out\\", locked + "gone\\",
         SystemErrorText(IDS_CREATE_DIRECTORY_FAILED, ERROR_ACCESS_DENIED)},
        {"user directory missing", WINBIFF, MISSING_USER, scratch + "out\\", scratch + "gone\\",
         SystemErrorText(IDS_CREATE_DIRECTORY_FAILED, ERROR_PATH_NOT_FOUND)},
        {"second mailbox held open", EML, HELD, scratch + "out\\", scratch + "user\\", held},
        {"second mailbox held open", WINBIFF, HELD, scratch + "out\\", scratch + "user\\", held},
        {"no store folder", EML, NO_STORE, scratch + "out\\", scratch + "user\\", none},
        {"no store folder", WINBIFF, NO_STORE, scratch + "out\\", scratch + "user\\", none},
        {"store folder empty", EML, EMPTY_STORE, scratch + "out\\", scratch + "user\\", none},
        {"store folder empty", WINBIFF, EMPTY_STORE, scratch + "out\\", scratch + "user\\", none},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.name) + ", " + ModeNames[c.mode]);
        const std::string refusing = c.mode == EML ? c.eml : c.user + (c.box == denied ? "From MS-IM\\" : "");
        if (c.fault == LOCKED && (host.empty() || AcceptsNewFiles(refusing))) {
            std::printf("skipped \"%s\": the host could not make a folder refuse new entries here (%s)\n", c.name,
                        state.c_str());
            continue;
        }
        RemoveTree(store());
        if (c.fault != NO_STORE)
            CreateDirectoryA(store().c_str(), NULL);
        if (c.fault != NO_STORE && c.fault != EMPTY_STORE) {
            WriteBytes(store() + "Alpha.mbx", BuildMailbox(alpha).bytes);
            WriteBytes(store() + "Beta.mbx", BuildMailbox(beta).bytes);
        }
        // The mailbox that the directory search returns first is finished
        // before the second is held.
        std::vector<std::string> order = ListTree(store());
        WIN32_FIND_DATAA found;
        HANDLE search = FindFirstFileA((store() + "*.mbx").c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) {
            if (order.front() != found.cFileName)
                std::swap(order.front(), order.back());
            FindClose(search);
        }
        const std::vector<std::string> *first = order.empty() || order[0] == "Alpha.mbx" ? &alpha : &beta,
                                       *second = first == &alpha ? &beta : &alpha;
        HANDLE holder = c.fault == HELD ? CreateFileA((store() + order[1]).c_str(), GENERIC_READ, 0, NULL,
                                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL)
                                        : INVALID_HANDLE_VALUE;
        ASSERT_TRUE(c.fault != HELD || holder != INVALID_HANDLE_VALUE);
        CreateDirectoryA((scratch + "out\\").c_str(), NULL);
        if (c.fault != MISSING_USER)
            CreateDirectoryA(c.user.c_str(), NULL);
        SetUserDirectory(c.user);
        RunState = RunCounters();
        RunState.skipDeleted = 1;

        EXPECT_EQ(0, Run(c.mode, c.eml + "exp"));

        ExpectStopped(c.box);
        CloseHandle(holder);
        // What was finished before the fault is complete; nothing else made.
        std::vector<std::string> emlNames;
        for (size_t i = 1; c.fault == HELD && c.mode == EML && i <= first->size(); i++) {
            emlNames.push_back(EmlName((int)i));
            ExpectFile(c.eml + EmlName((int)i), (*first)[i - 1]);
        }
        EXPECT_EQ(emlNames, ListTree(c.eml));
        if (c.fault == HELD && c.mode == WINBIFF) {
            EXPECT_EQ(std::vector<std::string>{order[0].substr(0, order[0].size() - 4)}, ListTree(winbiffFolder()));
            ExpectFile(winbiffFolder() + order[0].substr(0, order[0].size() - 4), FolderFile(*first));
        } else {
            EXPECT_EQ(std::vector<std::string>(), ListTree(winbiffFolder()));
        }
        if (c.fault != LOCKED && c.fault != HELD) {
            EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(winbiffFolder().c_str())) << "made anyway";
            EXPECT_EQ(0, RunState.mailboxCount);
        }
        for (size_t i = 0; i < order.size(); i++)
            ExpectFile(store() + order[i], BuildMailbox(i == 0 ? *first : *second).bytes);

        // The cause gone, the partial output moved away: the next run goes
        // through.
        std::string out = scratch + "out\\";
        RemoveTree(out);
        CreateDirectoryA(out.c_str(), NULL);
        SetUserDirectory(scratch + "user\\");
        CreateDirectoryA(userDirectory_.c_str(), NULL);
        RemoveTree(winbiffFolder());
        CreateDirectoryA(store().c_str(), NULL);
        WriteBytes(store() + "Alpha.mbx", BuildMailbox(alpha).bytes);
        WriteBytes(store() + "Beta.mbx", BuildMailbox(beta).bytes);
        EXPECT_EQ(1, Run(c.mode, out + "exp"));
        ExpectSummary(2, 5);
        if (c.mode == WINBIFF) {
            ExpectFile(winbiffFolder() + "Alpha", FolderFile(alpha));
            ExpectFile(winbiffFolder() + "Beta", FolderFile(beta));
        } else {
            EXPECT_EQ(5u, ListTree(out).size());
        }
        RemoveTree(out);
        RemoveTree(winbiffFolder());
    }
}

}  // namespace
