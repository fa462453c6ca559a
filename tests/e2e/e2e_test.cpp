// End to end: the real vestibar.exe with NKF32.dll, driven from this process
// as a user would drive it, over a sample MS-IM store; and the resources
// built into it (the two sizes of each dialog, the icon, the version record).
//
// Command line: e2e_tests PROGRAM SAMPLE, where SAMPLE is the folder that
// tools/sample/make_sample_store.py filled (with its expected outputs).
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "beside_program.h"
#include "driver.h"
#include "files.h"
#include "resource.h"

namespace {

std::string ProgramPath;  // vestibar.exe
std::string SamplePath;   // the generated store, ending in a backslash

const char ImKey[] = "Software\\Microsoft\\Internet Mail and News";
const char WinbiffKey[] = "Software\\Orangesoft\\Winbiff\\Recent File List";
const char *const Mailboxes[] = {"Inbox.mbx", "Sent Items.mbx", "Archive.mbx"};

// A scratch copy of the sample: Store\Mail\ with the mailboxes, a WinBiff
// user directory, its configuration file, and a folder for .eml files; the
// registry as the two mail programs leave it.
class EndToEnd : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(ProgramPath.empty());
        ASSERT_FALSE(SamplePath.empty());
        char temp[MAX_PATH];
        GetTempPathA(sizeof temp, temp);
        root_ = std::string(temp) + "vestibar-e2e\\";
        RemoveTree(root_);
        for (const std::string &dir : {root_, root_ + "Store\\", mail(), user(), eml()})
            CreateDirectoryA(dir.c_str(), NULL);
        for (const char *name : Mailboxes) {
            for (std::string file : {std::string(name), std::string(name, strlen(name) - 4) + ".idx"})
                CopyFileA((SamplePath + "Store\\Mail\\" + file).c_str(), (mail() + file).c_str(), TRUE);
        }
        WritePrivateProfileStringA("CONFIG", "UserDirectory", user().c_str(), iniPath().c_str());
        InstallMailPrograms();
        program_.started = false;
    }
    void TearDown() override
    {
        StopProgram(&program_);
        RemoveTree(root_);
    }

    std::string mail() const { return root_ + "Store\\Mail\\"; }
    std::string user() const { return root_ + "User\\"; }
    std::string eml() const { return root_ + "eml\\"; }
    std::string iniPath() const { return root_ + "winbiff.ini"; }
    std::string winbiffFolder() const { return user() + "From MS-IM\\"; }

    void InstallMailPrograms()
    {
        EXPECT_TRUE(SetUserString(ImKey, "Store Root", root_ + "Store"));
        EXPECT_TRUE(SetUserString(WinbiffKey, "File1", iniPath()));
    }

    HWND Start()
    {
        EXPECT_TRUE(StartProgram(ProgramPath, &program_));
        HWND window = WaitForMainWindow();
        EXPECT_TRUE(window != NULL);
        return window;
    }

    // Clicks Run and, in .eml mode, answers the save dialog with the prefix.
    BoxSeen Run(HWND window, const std::string &emlPrefix = "")
    {
        Click(window, IDC_RUN);
        EXPECT_TRUE(emlPrefix.empty() || AnswerFileDialog(program_, emlPrefix.c_str()) != "") << "no save dialog";
        return AnswerMessageBox(program_);
    }

    std::map<std::string, std::string> Expected(const char *set)
    {
        return FolderFiles(SamplePath + "expected\\" + set + "\\");
    }

public:
    std::string root_;

protected:
    Program program_;
};

// The texts the program shows, made from its own string table (the box
// tests check their bytes).
std::string Text(UINT id)
{
    char buffer[256];
    int length = LoadStringA(GetModuleHandleA(NULL), id, buffer, sizeof buffer);
    return std::string(buffer, length > 0 ? length : 0);
}

template <typename... Args> std::string Format(UINT id, Args... args)
{
    char text[512];
    wsprintfA(text, Text(id).c_str(), args...);
    return text;
}

// Store runs and drops in both modes.  The store's .eml run leaves deleted
// mail out, its WinBiff run here takes it in.  Drops go in drop order, skip
// the file that is no mailbox and do not consult MS-IM's settings.
TEST_F(EndToEnd, StoreRunsAndDropsInBothModes)
{
    const struct {
        const char *name;
        bool drop, toEml;
        int click;
        std::string summary;
        const char *expected;
    } cases[] = {
        {"store run, .eml", false, true, IDC_TO_EML, Format(IDS_SUMMARY, 3, 7), "eml-skip"},
        {"store run, WinBiff", false, false, IDC_INCLUDE_DELETED, Format(IDS_SUMMARY_WITH_DELETED, 3, 9, 2),
         "winbiff-all"},
        {"drop, .eml", true, true, IDC_TO_EML, Format(IDS_SUMMARY, 3, 7), "eml-skip"},
        {"drop, WinBiff", true, false, IDC_TO_WINBIFF, Format(IDS_SUMMARY, 3, 7), "winbiff-skip"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        if (c.drop)
            RegDeleteKeyA(HKEY_CURRENT_USER, ImKey);
        HWND window = Start();
        Click(window, c.click);
        if (c.drop)
            ASSERT_TRUE(DropFiles(program_, window, {mail() + Mailboxes[0], mail() + Mailboxes[1],
                                                     mail() + Mailboxes[2], mail() + "Inbox.idx"}));
        else
            Click(window, IDC_RUN);
        EXPECT_TRUE(!c.toEml || AnswerFileDialog(program_, (eml() + "exp").c_str()) != "") << "no save dialog";
        BoxSeen box = AnswerMessageBox(program_);
        EXPECT_EQ(c.summary, box.text);
        EXPECT_EQ(Text(IDS_CAPTION_MESSAGE), box.caption);
        std::map<std::string, std::string> written = FolderFiles(c.toEml ? eml() : winbiffFolder()),
                                           expected = Expected(c.expected);
        if (c.drop || !c.toEml) {
            EXPECT_EQ(expected, written);
        } else {
            // The directory search decides the mailbox order, hence the
            // numbering: the names and the multiset of contents are compared.
            std::vector<std::string> names[2];
            std::multiset<std::string> contents[2];
            for (int i = 0; i < 2; i++)
                for (const auto &file : i ? written : expected) {
                    names[i].push_back(file.first);
                    contents[i].insert(file.second);
                }
            EXPECT_EQ(names[0], names[1]);
            EXPECT_TRUE(contents[0] == contents[1]) << "the contents differ";
        }
        StopProgram(&program_);
        RemoveTree(eml());
        CreateDirectoryA(eml().c_str(), NULL);
        RemoveTree(winbiffFolder());
    }
}

// Drops that convert nothing.  A mailbox path too long for the program's
// buffer is refused whole (cut to fit, it would name another file), and the
// run ends there with its progress window closed.
TEST_F(EndToEnd, DropsThatConvertNothing)
{
    const std::string tooLong = Format(IDS_OPEN_SOURCE_FAILED, ERROR_FILENAME_EXCED_RANGE, ""),
                      deep = mail() + std::string(300, 'a');
    const struct {
        const char *name;
        std::vector<std::string> paths;
        std::string box;  // its start; empty: no box
    } cases[] = {
        {"long path of no mailbox", {deep + ".idx"}, ""},
        {"mailbox path too long", {deep + ".mbx", mail() + "Inbox.mbx"}, tooLong},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        HWND window = Start();
        ASSERT_TRUE(DropFiles(program_, window, c.paths));
        BoxSeen box = AnswerMessageBox(program_, c.box.empty() ? 3000 : DRIVER_TIMEOUT_MS);
        EXPECT_EQ(!c.box.empty(), box.found) << box.text;
        EXPECT_EQ(c.box, box.text.substr(0, c.box.size()));
        // The window closes after the box is answered, under emulation well after the program looks idle.
        for (DWORD waited = 0; FindDialog(program_, IDC_PROGRESS_BAR) && waited < DRIVER_TIMEOUT_MS; waited += 50)
            Sleep(50);
        EXPECT_TRUE(FindDialog(program_, IDC_PROGRESS_BAR) == NULL) << "the progress window is still open";
        EXPECT_TRUE(FolderFiles(winbiffFolder()).empty());
        StopProgram(&program_);
    }
}

// A top-level window of another program's class, made by this process.
HWND MakeWindow(const char *className, const char *title)
{
    WNDCLASSA windowClass = {0, DefWindowProcA, 0, 0, GetModuleHandleA(NULL), NULL, NULL, NULL, NULL, className};
    RegisterClassA(&windowClass);
    return CreateWindowA(className, title, WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, NULL, NULL,
                         GetModuleHandleA(NULL), NULL);
}

// Locating the stores, and WinBiff running: each failure with its message.
TEST_F(EndToEnd, LocationFailures)
{
    struct Case {
        const char *name;
        void (*arrange)(EndToEnd *);
        UINT textId, captionId;
    };
    const Case cases[] = {
        {"MS-IM not installed", [](EndToEnd *) { RegDeleteKeyA(HKEY_CURRENT_USER, ImKey); }, IDS_IM_NOT_INSTALLED, IDS_CAPTION_REGISTRY},
        {"store root empty", [](EndToEnd *) { SetUserString(ImKey, "Store Root", ""); }, IDS_IM_STORE_UNKNOWN, IDS_CAPTION_REGISTRY},
        {"store root missing", [](EndToEnd *) { RegDeleteKeyA(HKEY_CURRENT_USER, ImKey); SetUserString(ImKey, NULL, ""); }, IDS_IM_STORE_UNKNOWN, IDS_CAPTION_REGISTRY},
        // One character is a store root too: located, it holds no mailbox.
        {"store root of one character", [](EndToEnd *) { SetUserString(ImKey, "Store Root", "X"); }, IDS_NO_MAILBOX, IDS_CAPTION_ERROR},
        {"recent file list empty", [](EndToEnd *) { SetUserString(WinbiffKey, "File1", ""); }, IDS_WINBIFF_MAILBOX_INVALID, IDS_CAPTION_SETTINGS},
        {"no UserDirectory", [](EndToEnd *t) { SetUserString(WinbiffKey, "File1", t->root_ + "missing.ini"); }, IDS_WINBIFF_STORE_UNKNOWN, IDS_CAPTION_REGISTRY},
        {"WinBiff running", [](EndToEnd *) { MakeWindow("WINBIFF", "WinBiff"); }, IDS_WINBIFF_RUNNING, IDS_CAPTION_ERROR},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        InstallMailPrograms();
        c.arrange(this);
        HWND window = Start();
        BoxSeen box = Run(window, "");
        DestroyWindow(FindWindowA("WINBIFF", NULL));
        EXPECT_TRUE(box.found) << "no message box";
        EXPECT_EQ(Text(c.textId), box.text);
        EXPECT_EQ(Text(c.captionId), box.caption);
        EXPECT_TRUE(box.icon == 0 || box.icon == MB_ICONERROR) << "icon " << box.icon;
        // The run stops there: no second box, no progress window left,
        // nothing written.
        WaitIdle(program_);
        BoxSeen second = AnswerMessageBox(program_, 200);
        EXPECT_FALSE(second.found) << "a second box: " << second.text;
        EXPECT_TRUE(FindDialog(program_, IDC_PROGRESS_BAR) == NULL);
        EXPECT_TRUE(FolderFiles(winbiffFolder()).empty());
        Click(window, IDC_EXIT);
        EXPECT_EQ(1, WaitForExit(&program_));
        StopProgram(&program_);
    }
}

TEST_F(EndToEnd, OpenMsImWindowAsksForTheMailboxFolder)
{
    // The registry's store root is wrong; the open dialog names the folder.
    SetUserString(ImKey, "Store Root", root_ + "Nowhere");
    HWND msim = MakeWindow("CabinetWClass", "Internet Mail");
    HWND window = Start();
    Click(window, IDC_TO_EML);
    Click(window, IDC_RUN);
    EXPECT_EQ(Text(IDS_IMPORT_TITLE), AnswerFileDialog(program_, (mail() + "Inbox.mbx").c_str()));
    EXPECT_EQ(Text(IDS_EXPORT_TITLE), AnswerFileDialog(program_, (eml() + "exp").c_str()));
    BoxSeen box = AnswerMessageBox(program_);
    DestroyWindow(msim);
    ASSERT_TRUE(box.found);
    EXPECT_EQ(Format(IDS_SUMMARY, 3, 7), box.text);
    EXPECT_EQ(7u, FolderFiles(eml()).size());
}

TEST_F(EndToEnd, CancelledExportDialogShowsNothing)
{
    HWND window = Start();
    Click(window, IDC_TO_EML);
    Click(window, IDC_RUN);
    EXPECT_EQ(Text(IDS_EXPORT_TITLE), AnswerFileDialog(program_, NULL));
    EXPECT_FALSE(AnswerMessageBox(program_, 2000).found);
    EXPECT_TRUE(FolderFiles(eml()).empty());
}

TEST_F(EndToEnd, SingleInstance)
{
    HWND window = Start();
    ShowWindow(window, SW_MINIMIZE);
    Program second;
    ASSERT_TRUE(StartProgram(ProgramPath, &second));
    EXPECT_EQ(1, WaitForExit(&second));
    StopProgram(&second);
    Sleep(300);
    EXPECT_FALSE(IsIconic(window));
    EXPECT_EQ(window, FindWindowA("Vestibar", NULL));
}

// The menu's items are checked in-process by the window tests; here the
// About item's command is sent as the menu would send it.
TEST_F(EndToEnd, AboutBox)
{
    HWND window = Start();
    PostSysCommand(window, IDM_ABOUT);
    HWND about = WaitForDialog(program_, IDC_WEB_ADDRESS);
    ASSERT_TRUE(about != NULL);
    EXPECT_EQ("http://www.example.com/vestibar/", WindowText(GetDlgItem(about, IDC_WEB_ADDRESS)));
    EXPECT_FALSE(IsWindowEnabled(window));  // modal
    Click(about, IDOK);
    for (int i = 0; i < 100 && IsWindow(about); i++)
        Sleep(50);
    EXPECT_FALSE(IsWindow(about));
    EXPECT_TRUE(IsWindowEnabled(window));
}

// --- The resources of the built program ---------------------------------------

class ProgramResources : public testing::Test {
protected:
    void SetUp() override
    {
        module_ = LoadLibraryExA(ProgramPath.c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_TRUE(module_ != NULL) << ProgramPath << " error " << GetLastError();
    }
    void TearDown() override
    {
        if (module_)
            FreeLibrary(module_);
    }
    std::vector<BYTE> Raw(LPCSTR type, WORD id)
    {
        HRSRC info = FindResourceExA(module_, type, MAKEINTRESOURCEA(id), MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT));
        if (!info)
            return {};
        const BYTE *data = (const BYTE *)LockResource(LoadResource(module_, info));
        return std::vector<BYTE>(data, data + SizeofResource(module_, info));
    }
    HMODULE module_ = NULL;
};

// The set chosen on large screens is the same dialog in 8 points instead
// of 10: one byte of difference, the point size.
TEST_F(ProgramResources, PairsDifferOnlyInFontSize)
{
    for (WORD base : {IDD_MAIN, IDD_ABOUT, IDD_PROGRESS}) {
        SCOPED_TRACE("dialog " + std::to_string(base));
        std::vector<BYTE> normal = Raw(RT_DIALOG, base);
        std::vector<BYTE> large = Raw(RT_DIALOG, (WORD)(base + DIALOG_VARIANT_LARGE_DPI));
        ASSERT_FALSE(normal.empty());
        ASSERT_EQ(normal.size(), large.size());
        std::vector<size_t> differing;
        for (size_t i = 0; i < normal.size(); i++)
            if (normal[i] != large[i])
                differing.push_back(i);
        ASSERT_EQ(1u, differing.size()) << "bytes that differ";
        EXPECT_EQ(10, normal[differing[0]]) << "offset " << differing[0];
        EXPECT_EQ(8, large[differing[0]]) << "offset " << differing[0];
    }
}

TEST_F(ProgramResources, IconIsOne32x32SixteenColourImage)
{
    std::vector<BYTE> group = Raw(RT_GROUP_ICON, IDI_MAIN);
    // GRPICONDIR (6 bytes) and one GRPICONDIRENTRY (14 bytes).
    ASSERT_EQ(20u, group.size());
    const struct { size_t at, size; DWORD value; const char *field; } fields[] = {
        {4, 2, 1, "count"}, {6, 1, 32, "width"}, {7, 1, 32, "height"}, {8, 1, 16, "colours"},
        {10, 2, 1, "planes"}, {12, 2, 4, "bits per pixel"}, {14, 4, 744, "bytes"}, {18, 2, 1, "image id"},
    };
    for (const auto &f : fields) {
        DWORD value = 0;
        memcpy(&value, &group[f.at], f.size);
        EXPECT_EQ(f.value, value) << f.field;
    }
    EXPECT_EQ(744u, Raw(RT_ICON, 1).size());
}

TEST_F(ProgramResources, VersionRecord)
{
    DWORD ignored = 0, size = GetFileVersionInfoSizeA(ProgramPath.c_str(), &ignored);
    ASSERT_GT(size, 0u);
    std::vector<BYTE> info(size);
    ASSERT_TRUE(GetFileVersionInfoA(ProgramPath.c_str(), 0, size, info.data()));
    VS_FIXEDFILEINFO *fixed = NULL;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(info.data(), "\\", (void **)&fixed, &length));
    ASSERT_EQ(sizeof *fixed, length);
    const DWORD found[] = {fixed->dwFileVersionMS, fixed->dwFileVersionLS, fixed->dwProductVersionLS, fixed->dwFileType};
    EXPECT_EQ((std::vector<DWORD>{0, 3, 3, VFT_APP}), std::vector<DWORD>(found, found + 4)) << "file version, product version, type";
    // The one translation: Japanese, Unicode.
    WORD *translation = NULL;
    ASSERT_TRUE(VerQueryValueA(info.data(), "\\VarFileInfo\\Translation", (void **)&translation, &length));
    ASSERT_EQ(4u, length);
    EXPECT_EQ(0x0411, translation[0]);
    EXPECT_EQ(1200, translation[1]);
    const struct { const char *key, *value; } strings[] = {
        {"CompanyName", "Vestibar Works"}, {"FileDescription", "Vestibar Mail Data Converter"},
        {"FileVersion", "0.03"}, {"InternalName", "Vestibar"}, {"ProductVersion", "0.03"},
        {"LegalCopyright", "Copyright (C) 1997 Vestibar Works"}, {"OriginalFilename", "vestibar.exe"},
        {"ProductName", "Vestibar Works Vestibar"},
    };
    for (const auto &s : strings) {
        char *value = NULL;
        std::string key = std::string("\\StringFileInfo\\041104b0\\") + s.key;
        EXPECT_TRUE(VerQueryValueA(info.data(), key.c_str(), (void **)&value, &length)) << key;
        EXPECT_STREQ(s.value, value ? value : "") << key;
    }
}

}  // namespace

int main(int argc, char **argv)
{
    testing::InitGoogleTest(&argc, argv);
    if (argc > 2) {
        ProgramPath = BesideProgram(argv[1]);
        SamplePath = BesideProgram(argv[2]);
        if (!SamplePath.empty() && SamplePath.back() != '\\')
            SamplePath += '\\';
    }
    return RUN_ALL_TESTS();
}
