// Fault campaign: store runs in both modes (the .eml run's save dialog
// answered from another thread) against a full disk, folders that refuse new
// files, a mailbox held open without sharing, and missing folders.  After
// each fault: the one box that names it, the progress window closed, what was
// finished complete, the sources unchanged, nothing left open, and the run
// goes through once the cause is gone.  The full disk (a 2 MiB tmpfs) and the
// locked folders come from faults-host.sh; where it could not make them, the
// tests say so and skip.
#include <gtest/gtest.h>

#include <windows.h>

#include <stdlib.h>

#include <map>
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

namespace {

const char WinbiffKey[] = "Software\\Orangesoft\\Winbiff\\Recent File List";
typedef std::vector<std::string> Messages;

// The host fixture's folder, ending in a backslash, when its state file has
// the line `what`; empty otherwise.
std::string HostFolder(const char *what, std::string *state)
{
    const char *fixture = getenv("VESTIBAR_FAULTS_DIR");
    std::string dir = std::string(fixture ? fixture : "") + "\\";
    if (dir.size() == 1 || !ReadBytes(dir + "state", state))
        *state = "no host fixture (VESTIBAR_FAULTS_DIR unset or its state missing)";
    return state->find(what) != std::string::npos ? dir : std::string();
}

bool AcceptsNewFiles(const std::string &folder)
{
    std::string probe = folder + "probe";
    return CreateDirectoryA(probe.c_str(), NULL) && RemoveDirectoryA(probe.c_str());
}

// Plain ASCII, which the converter passes unchanged.
Messages AsciiMessages(int count, size_t size, int seed)
{
    Messages messages;
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
        messages.push_back(text + "\r\n");
    }
    return messages;
}

// The folder file that WinBiff mode makes of `messages` (all unread).
std::string FolderFile(const Messages &messages)
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

// The file opens without sharing (nobody holds it) and holds `bytes`.
void ExpectFile(const std::string &path, const std::string &bytes)
{
    std::string found;
    EXPECT_TRUE(ReadBytes(path, &found, 0)) << path << " is missing or still held open";
    EXPECT_EQ(bytes.size(), found.size()) << path;
    EXPECT_TRUE(found == bytes) << path << " differs";
}

Program Self()
{
    Program self = {};
    self.process.dwProcessId = GetCurrentProcessId();
    self.started = true;
    return self;
}

enum Mode { EML, WINBIFF };
const char *const ModeNames[] = {".eml", "WinBiff"};

class FaultRun : public testing::Test {
protected:
    void SetUp() override
    {
        CreateDirectoryA(store().c_str(), NULL);
        SetPathBuffer(SourceDir, store());
        // WinBiff's settings: the registry names its configuration file,
        // which names the user directory.
        ASSERT_TRUE(SetUserString(WinbiffKey, "File1", root.path() + "winbiff.ini"));
        SetUserDirectory(root.path() + "user\\");
    }

    void TearDown() override
    {
        RegDeleteKeyA(HKEY_CURRENT_USER, WinbiffKey);
        EXPECT_EQ(NULL, FindDialog(Self(), IDC_PROGRESS_BAR)) << "a progress window was left open";
    }

    std::string store() const { return root.path() + "Mail\\"; }
    std::string winbiffFolder() const { return userDirectory_ + "From MS-IM\\"; }

    void SetUserDirectory(const std::string &folder, bool make = true)
    {
        userDirectory_ = folder;
        if (make)
            CreateDirectoryA(folder.c_str(), NULL);
        WritePrivateProfileStringA("CONFIG", "UserDirectory", folder.c_str(), (root.path() + "winbiff.ini").c_str());
    }

    // The store made anew of `boxes` (mailbox name without ".mbx"); their
    // names in the order the directory search returns them, which the runs
    // follow.
    std::vector<std::string> WriteStore(const std::map<std::string, Messages> &boxes)
    {
        RemoveTree(store());
        CreateDirectoryA(store().c_str(), NULL);
        for (const auto &box : boxes)
            WriteBytes(store() + box.first + ".mbx", BuildMailbox(box.second).bytes);
        std::vector<std::string> order;
        WIN32_FIND_DATAA found;
        HANDLE search = FindFirstFileA((store() + "*.mbx").c_str(), &found);
        for (BOOL more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileA(search, &found))
            order.push_back(std::string(found.cFileName, strlen(found.cFileName) - 4));
        if (search != INVALID_HANDLE_VALUE)
            FindClose(search);
        return order;
    }

    // Once the cause is gone, the store run of `boxes` goes through to its
    // summary, into .eml files under `out` or the WinBiff folder files.
    void ExpectRunThrough(Mode mode, const std::string &out, const std::map<std::string, Messages> &boxes)
    {
        Messages all;
        for (const std::string &name : WriteStore(boxes))
            all.insert(all.end(), boxes.at(name).begin(), boxes.at(name).end());
        EXPECT_EQ(1, Run(mode, out + "exp"));
        char summary[256];
        wsprintfA(summary, PlainText(IDS_SUMMARY).c_str(), (int)boxes.size(), (int)all.size());
        const std::vector<RecordedBox> &shown = RecordedBoxes();
        ASSERT_EQ(1u, shown.size()) << (shown.empty() ? std::string("no box") : shown[0].text);
        EXPECT_EQ(summary, shown[0].text);
        EXPECT_EQ((UINT)STYLE_INFORMATION, shown[0].style);
        if (mode == WINBIFF) {
            for (const auto &box : boxes)
                ExpectFile(winbiffFolder() + box.first, FolderFile(box.second));
            return;
        }
        EXPECT_EQ(all.size(), ListTree(out).size());
        for (size_t i = 1; i <= all.size(); i++)
            ExpectFile(out + EmlName((int)i), all[i - 1]);
    }

    // The store run of `mode`; the .eml run's save dialog is answered with
    // `emlPrefix`, as the user would type it.
    int Run(Mode mode, const std::string &emlPrefix)
    {
        ClearRecordedBoxes();
        RunState = RunCounters();
        RunState.skipDeleted = 1;
        if (mode == WINBIFF)
            return RunWinbiffStore();
        bool answered = false;
        std::thread user([&] { answered = !AnswerFileDialog(Self(), emlPrefix.c_str()).empty(); });
        int result = RunEmlStore();
        user.join();
        // The save dialog made the chosen folder current; held, it could not go.
        SetCurrentDirectoryA("C:\\");
        EXPECT_TRUE(answered) << "no save dialog came";
        return result;
    }

    // A run stopped by a fault: the one error box that names it, and the
    // progress window closed.
    void ExpectStopped(const std::string &text)
    {
        ExpectErrorBoxes({text});
        EXPECT_EQ(NULL, FindDialog(Self(), IDC_PROGRESS_BAR)) << "the progress window is still open";
    }

    ScratchDir root;
    std::string userDirectory_;
};

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

    void FillLeaving(ULONGLONG room)
    {
        ULARGE_INTEGER free, total, totalFree;
        ASSERT_TRUE(GetDiskFreeSpaceExA(full_.c_str(), &free, &total, &totalFree));
        ASSERT_GT(free.QuadPart, room);
        WriteBytes(full_ + "filler", std::string((size_t)(free.QuadPart - room), 'f'));
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
    const Messages messages = AsciiMessages(5, 150000, 1);
    const std::string image = BuildMailbox(messages).bytes, eml = full_ + "eml\\";
    for (Mode mode : {EML, WINBIFF}) {
        SCOPED_TRACE(ModeNames[mode]);
        WriteStore({{"Inbox", messages}});
        CreateDirectoryA(eml.c_str(), NULL);
        SetUserDirectory(full_ + "user\\");
        FillLeaving(400 * 1024);

        EXPECT_EQ(0, Run(mode, eml + "exp"));

        ExpectStopped(SystemErrorText(IDS_WRITE_DEST_FAILED, ERROR_DISK_FULL));
        ExpectFile(store() + "Inbox.mbx", image);
        // exp00001 ... the one that failed, or the folder file: what was
        // finished whole, then part of the one that failed.
        std::string got, expected = mode == EML ? "" : FolderFile(messages);
        if (mode == EML) {
            const int written = RunState.messageNumber;
            ASSERT_GE(written, 3) << "two messages fit before the disk was full";
            std::vector<std::string> names;
            for (int i = 1; i <= written; i++) {
                std::string bytes;
                EXPECT_TRUE(ReadBytes(eml + EmlName(i), &bytes, 0)) << EmlName(i) << " missing or still held open";
                names.push_back(EmlName(i));
                got += bytes;
                expected += messages[i - 1];
            }
            EXPECT_EQ(names, ListTree(eml));
        } else {
            EXPECT_TRUE(ReadBytes(winbiffFolder() + "Inbox", &got, 0)) << "missing or still held open";
            EXPECT_EQ(std::vector<std::string>{"Inbox"}, ListTree(winbiffFolder()));
        }
        EXPECT_LT(got.size(), expected.size()) << "the last output is not cut";
        EXPECT_GE(got.size(), (mode == EML ? messages[0] + messages[1] : FolderFile({messages[0], messages[1]})).size());
        EXPECT_TRUE(expected.compare(0, got.size(), got) == 0) << "the output differs from the messages";

        // Room again, what the failed run left moved away: the next run goes through.
        DeleteFileA((full_ + "filler").c_str());
        RemoveTree(eml);
        CreateDirectoryA(eml.c_str(), NULL);
        DeleteFileA((winbiffFolder() + "Inbox").c_str());
        ExpectRunThrough(mode, eml, {{"Inbox", messages}});
        RemoveTree(eml);
        RemoveTree(userDirectory_);
        if (HasFatalFailure())
            return;
    }
}

// Faults that stop a run before the first mailbox or between two, over a
// store of Alpha.mbx and Beta.mbx.
TEST_F(FaultRun, EachFaultStopsTheRunWithItsOneBox)
{
    const std::map<std::string, Messages> boxes = {{"Alpha", AsciiMessages(2, 1500, 3)},
                                                   {"Beta", AsciiMessages(3, 1700, 4)}};
    std::string state, host = HostFolder("locked: yes", &state);
    const std::string locked = host + "locked\\", scratch = root.path(), out = scratch + "out\\";
    enum Fault { LOCKED, HELD, NO_STORE, EMPTY_STORE, MISSING_USER };
    const std::string denied = SystemErrorText(IDS_CREATE_DEST_FAILED, ERROR_ACCESS_DENIED),
                      held = SystemErrorText(IDS_OPEN_SOURCE_FAILED, ERROR_SHARING_VIOLATION),
                      none = PlainText(IDS_NO_MAILBOX);
    const struct {
        const char *name;
        Mode mode;
        Fault fault;
        std::string eml, user;  // the .eml files' folder and WinBiff's user directory
        std::string box;
    } cases[] = {
        {"output folder refusing files", EML, LOCKED, locked + "eml\\", scratch + "user\\", denied},
        // The "From MS-IM" folder that an earlier run made, which the run reuses.
        {"WinBiff folder refusing files", WINBIFF, LOCKED, out, locked + "user\\", denied},
        {"user directory refusing new folders", WINBIFF, LOCKED, out, locked + "gone\\",
         SystemErrorText(IDS_CREATE_DIRECTORY_FAILED, ERROR_ACCESS_DENIED)},
        {"user directory missing", WINBIFF, MISSING_USER, out, scratch + "gone\\",
         SystemErrorText(IDS_CREATE_DIRECTORY_FAILED, ERROR_PATH_NOT_FOUND)},
        {"second mailbox held open", EML, HELD, out, scratch + "user\\", held},
        {"second mailbox held open", WINBIFF, HELD, out, scratch + "user\\", held},
        {"no store folder", EML, NO_STORE, out, scratch + "user\\", none},
        {"no store folder", WINBIFF, NO_STORE, out, scratch + "user\\", none},
        {"store folder empty", EML, EMPTY_STORE, out, scratch + "user\\", none},
        {"store folder empty", WINBIFF, EMPTY_STORE, out, scratch + "user\\", none},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.name) + ", " + ModeNames[c.mode]);
        const std::string refusing = c.mode == EML ? c.eml : c.user + (c.box == denied ? "From MS-IM\\" : "");
        if (c.fault == LOCKED && (host.empty() || AcceptsNewFiles(refusing))) {
            std::printf("skipped \"%s\": the host could not make a folder refuse new entries here (%s)\n", c.name,
                        state.c_str());
            continue;
        }
        const bool stored = c.fault != NO_STORE && c.fault != EMPTY_STORE;
        std::vector<std::string> order = WriteStore(stored ? boxes : std::map<std::string, Messages>());
        if (c.fault == NO_STORE)
            RemoveTree(store());
        // The mailbox the directory search returns first is finished before
        // the second is held.
        HANDLE holder = c.fault == HELD ? CreateFileA((store() + order[1] + ".mbx").c_str(), GENERIC_READ, 0,
                                                      NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL)
                                        : INVALID_HANDLE_VALUE;
        ASSERT_TRUE(c.fault != HELD || holder != INVALID_HANDLE_VALUE);
        CreateDirectoryA(out.c_str(), NULL);
        SetUserDirectory(c.user, c.fault != MISSING_USER);

        EXPECT_EQ(0, Run(c.mode, c.eml + "exp"));

        ExpectStopped(c.box);
        CloseHandle(holder);
        // What was finished before the fault is complete; nothing else made.
        std::vector<std::string> emlNames, folderNames;
        if (c.fault == HELD && c.mode == EML)
            for (size_t i = 1; i <= boxes.at(order[0]).size(); i++) {
                emlNames.push_back(EmlName((int)i));
                ExpectFile(c.eml + EmlName((int)i), boxes.at(order[0])[i - 1]);
            }
        if (c.fault == HELD && c.mode == WINBIFF) {
            folderNames.push_back(order[0]);
            ExpectFile(winbiffFolder() + order[0], FolderFile(boxes.at(order[0])));
        }
        EXPECT_EQ(emlNames, ListTree(c.eml));
        EXPECT_EQ(folderNames, ListTree(winbiffFolder()));
        if (c.fault != LOCKED && c.fault != HELD) {
            EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(winbiffFolder().c_str())) << "made anyway";
            EXPECT_EQ(0, RunState.mailboxCount);
        }
        for (const std::string &name : order)
            ExpectFile(store() + name + ".mbx", BuildMailbox(boxes.at(name)).bytes);

        // The cause gone, the partial output moved away: the next run goes through.
        RemoveTree(out);
        CreateDirectoryA(out.c_str(), NULL);
        SetUserDirectory(scratch + "user\\");
        RemoveTree(winbiffFolder());
        ExpectRunThrough(c.mode, out, boxes);
        RemoveTree(out);
        RemoveTree(winbiffFolder());
    }
}

}  // namespace
