// The demo's driver: runs the real vestibar.exe over the sample store that
// the demo registered in the Wine prefix, as a user would, and tells in the
// terminal what happened.  Also takes the screenshots' cues.
//
//   demo_driver demo PROGRAM SAMPLE
//       One Run in each mode over the registered store: into WinBiff folder
//       files (deleted mail left out), then as .eml files into the folder
//       "eml" of SAMPLE (deleted mail included).  Prints each summary box,
//       where the output went, whether it matches the expected output that
//       the generator wrote beside the store, and a few converted lines.
//       Exit code 0 when both runs ended in their summary and matched.
//
//   demo_driver shots PROGRAM SHOTDIR
//       Over a registered store with a "Mailing List.mbx" big enough to
//       watch (make_sample_store.py --bulk), brings up each window worth a
//       picture; for each prints one line "SHOT NAME LEFT TOP WIDTH HEIGHT"
//       (screen pixels) and waits until the file NAME.png exists in SHOTDIR:
//       whoever reads the lines takes the picture and writes it there.
//
// SAMPLE is the folder that tools/sample/make_sample_store.py filled.  The
// texts the program shows are code page 932; they are printed as UTF-8, or
// as UTF-16 to a console, so that any terminal shows the Japanese.
#include <windows.h>

#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "driver.h"
#include "files.h"
#include "resource.h"

namespace {

const char ImKey[] = "Software\\Microsoft\\Internet Mail and News";
const char WinbiffKey[] = "Software\\Orangesoft\\Winbiff\\Recent File List";

// --- Output -------------------------------------------------------------------

std::wstring Wide(const std::string &text, UINT codePage)
{
    if (text.empty())
        return std::wstring();
    int length = MultiByteToWideChar(codePage, 0, text.data(), (int)text.size(), NULL, 0);
    std::wstring wide(length > 0 ? length : 0, L'\0');
    if (length > 0)
        MultiByteToWideChar(codePage, 0, text.data(), (int)text.size(), &wide[0], length);
    return wide;
}

std::string Utf8(const std::wstring &wide)
{
    if (wide.empty())
        return std::string();
    int length = WideCharToMultiByte(CP_UTF8, 0, wide.data(), (int)wide.size(), NULL, 0, NULL, NULL);
    std::string text(length > 0 ? length : 0, '\0');
    if (length > 0)
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), (int)wide.size(), &text[0], length, NULL, NULL);
    return text;
}

// Code page 932 bytes (what the program and its files hold) as UTF-8.
std::string FromSjis(const std::string &text)
{
    return Utf8(Wide(text, 932));
}

// A console takes UTF-16; a pipe or file gets UTF-8 bytes unchanged.
void Print(const std::string &utf8)
{
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode, written;
    if (GetConsoleMode(out, &mode)) {
        std::wstring wide = Wide(utf8, CP_UTF8);
        WriteConsoleW(out, wide.data(), (DWORD)wide.size(), &written, NULL);
    } else {
        WriteFile(out, utf8.data(), (DWORD)utf8.size(), &written, NULL);
    }
}

void Line(const std::string &utf8)
{
    Print(utf8 + "\n");
}

// A Windows path, and where it is on the host when Wine can tell.
std::string Where(const std::string &path)
{
    typedef char *(CDECL * UnixName)(LPCWSTR);
    UnixName unixName = (UnixName)(void *)GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name");
    std::string shown = FromSjis(path);
    if (unixName != NULL) {
        std::wstring wide = Wide(path, 932);
        char *name = unixName(wide.c_str());
        if (name != NULL) {
            shown += "  (" + std::string(name) + ")";
            HeapFree(GetProcessHeap(), 0, name);
        }
    }
    return shown;
}

// --- Files and settings -----------------------------------------------------------

std::string RegistryString(const char *keyName, const char *value)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, keyName, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return "";
    char data[512];
    DWORD size = sizeof data - 1;
    DWORD type = 0;
    LONG result = RegQueryValueExA(key, value, NULL, &type, (BYTE *)data, &size);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS || type != REG_SZ)
        return "";
    data[size] = '\0';
    return data;
}

std::string WithSlash(std::string path)
{
    if (!path.empty() && path.back() != '\\')
        path += '\\';
    return path;
}

// Where the program will look and write, read the way the mail programs
// left it: MS-IM's store root, WinBiff's configuration file and the user
// directory it names.
struct Places {
    std::string storeRoot, winbiffIni, userDirectory;
};

bool ReadPlaces(Places *places)
{
    places->storeRoot = RegistryString(ImKey, "Store Root");
    places->winbiffIni = RegistryString(WinbiffKey, "File1");
    char directory[512] = "";
    if (!places->winbiffIni.empty())
        GetPrivateProfileStringA("CONFIG", "UserDirectory", "", directory, sizeof directory,
                                 places->winbiffIni.c_str());
    places->userDirectory = WithSlash(directory);
    return !places->storeRoot.empty() && !places->winbiffIni.empty() && directory[0] != '\0';
}

// --- The converted mail -----------------------------------------------------------

std::vector<std::string> SplitLines(const std::string &text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

bool StartsWith(const std::string &text, const char *prefix)
{
    return text.compare(0, strlen(prefix), prefix) == 0;
}

// The first message of a WinBiff folder file: a few header lines and the
// first lines of its body, decoded from Shift_JIS.
void ShowFirstMessage(const std::string &name, const std::string &folder, int maxBodyLines)
{
    std::vector<std::string> lines = SplitLines(folder);
    Line("  " + FromSjis(name) + ", its first message as converted (Shift_JIS, shown decoded):");
    bool inBody = false;
    int bodyLines = 0;
    for (const std::string &line : lines) {
        if (!inBody) {
            if (line.empty()) {
                inBody = true;
                Line("    |");
            } else if (StartsWith(line, "From:") || StartsWith(line, "Subject:") ||
                       StartsWith(line, "Content-Type:") || StartsWith(line, "X-winbiff-flags:")) {
                Line("    | " + FromSjis(line));
            }
        } else {
            if (line == "." || bodyLines == maxBodyLines)
                break;
            Line(line.empty() ? "    |" : "    | " + FromSjis(line));
            bodyLines++;
        }
    }
}

// How many messages a folder file holds: each has one flag line.  (Not the
// lines with a lone dot: a body may hold such a line of its own.)
int FolderMessages(const std::string &folder)
{
    int count = 0;
    for (const std::string &line : SplitLines(folder))
        count += StartsWith(line, "X-winbiff-flags: ") ? 1 : 0;
    return count;
}

std::multiset<std::string> Contents(const std::map<std::string, std::string> &files)
{
    std::multiset<std::string> contents;
    for (const auto &file : files)
        contents.insert(file.second);
    return contents;
}

std::set<std::string> Names(const std::map<std::string, std::string> &files)
{
    std::set<std::string> names;
    for (const auto &file : files)
        names.insert(file.first);
    return names;
}

// The program's own string table, read from its file.
HMODULE ProgramModule;

std::string Text(UINT id)
{
    char buffer[256];
    int length = ProgramModule != NULL ? LoadStringA(ProgramModule, id, buffer, sizeof buffer) : 0;
    return std::string(buffer, length > 0 ? length : 0);
}

std::string Number(long long value)
{
    char text[32];
    wsprintfA(text, "%d", (int)value);
    return text;
}

// The summary a run should end with, from the generator's counts
// ("skip mailboxes=3 messages=7 deleted=0" and the like in summary.txt).
std::string ExpectedSummary(const std::string &sample, const char *mode)
{
    std::string counts;
    ReadBytes(sample + "expected\\summary.txt", &counts);
    for (const std::string &line : SplitLines(counts)) {
        int mailboxes = 0, messages = 0, deleted = 0;
        std::string format = std::string(mode) + " mailboxes=%d messages=%d deleted=%d";
        if (sscanf(line.c_str(), format.c_str(), &mailboxes, &messages, &deleted) != 3)
            continue;
        char text[256];
        if (strcmp(mode, "skip") == 0)
            wsprintfA(text, Text(IDS_SUMMARY).c_str(), mailboxes, messages);
        else
            wsprintfA(text, Text(IDS_SUMMARY_WITH_DELETED).c_str(), mailboxes, messages, deleted);
        return text;
    }
    return "(no counts for " + std::string(mode) + " in summary.txt)";
}

// Prints a message box's caption and text, every line of the text indented.
void ShowBox(const BoxSeen &box)
{
    Line("  message box [" + FromSjis(box.caption) + "]:");
    for (const std::string &line : SplitLines(box.text))
        Line("    " + FromSjis(line));
}

bool Check(bool ok, const std::string &what)
{
    Line(std::string("  ") + (ok ? "ok: " : "MISMATCH: ") + what);
    return ok;
}

// A control's text as the window shows it.
std::string Label(HWND window, int controlId)
{
    return FromSjis(WindowText(GetDlgItem(window, controlId)));
}

// --- The demo ---------------------------------------------------------------------

// Starts the program and waits for its window; NULL (reported) on failure.
HWND Start(const std::string &programPath, Program *program)
{
    if (!StartProgram(programPath, program)) {
        Line("cannot start " + programPath);
        return NULL;
    }
    HWND window = WaitForMainWindow();
    if (window == NULL)
        Line("vestibar.exe showed no main window");
    return window;
}

int Demo(const std::string &programPath, const std::string &sample)
{
    Places places;
    if (!ReadPlaces(&places)) {
        Line("The sample is not registered in this Wine prefix (MS-IM's \"Store Root\", WinBiff's"
             " \"File1\" and its UserDirectory).");
        return 2;
    }
    Line("MS-IM store (HKCU\\" + std::string(ImKey) + ", \"Store Root\"):");
    Line("  " + Where(places.storeRoot));
    Line("WinBiff configuration file (HKCU\\" + std::string(WinbiffKey) + ", \"File1\"):");
    Line("  " + Where(places.winbiffIni));
    Line("  its [CONFIG] UserDirectory: " + FromSjis(places.userDirectory));

    Program program;
    HWND window = Start(programPath, &program);
    if (window == NULL)
        return 1;
    bool ok = true;

    // Run 1: the default settings, WinBiff mode, deleted mail left out.
    Line("");
    Line("Run 1: 「" + Label(window, IDC_TO_WINBIFF) + "」 (WinBiff folder files), 「" +
         Label(window, IDC_PREFER_KANA) + "」, deleted mail left out");
    Click(window, IDC_RUN);
    BoxSeen box = AnswerMessageBox(program);
    if (!box.found) {
        Line("  no message box came");
        StopProgram(&program);
        return 1;
    }
    ShowBox(box);
    std::string winbiffFolder = places.userDirectory + "From MS-IM\\";
    std::map<std::string, std::string> folders = FolderFiles(winbiffFolder);
    Line("  written into " + Where(winbiffFolder) + ":");
    for (const auto &file : folders)
        Line("    " + FromSjis(file.first) + "  (" + Number(FolderMessages(file.second)) + " messages, " +
             Number(file.second.size()) + " bytes)");
    ok &= Check(box.caption == Text(IDS_CAPTION_MESSAGE) && box.text == ExpectedSummary(sample, "skip"),
                "the run ended with its summary, counts as expected");
    ok &= Check(folders == FolderFiles(sample + "expected\\winbiff-skip\\"),
                "the folder files equal the expected ones byte for byte");
    // One mailbox written in ISO-2022-JP, one in EUC-JP.
    if (folders.count("Inbox") != 0)
        ShowFirstMessage("Inbox", folders["Inbox"], 4);
    if (folders.count("Sent Items") != 0)
        ShowFirstMessage("Sent Items", folders["Sent Items"], 3);

    // Run 2: .eml mode with deleted mail included.
    Line("");
    Line("Run 2: 「" + Label(window, IDC_TO_EML) + "」 (numbered .eml files), 「" +
         Label(window, IDC_INCLUDE_DELETED) + "」 ticked");
    std::string emlFolder = sample + "eml\\";
    CreateDirectoryA(emlFolder.c_str(), NULL);
    Click(window, IDC_TO_EML);
    Click(window, IDC_INCLUDE_DELETED);
    Click(window, IDC_RUN);
    std::string prefix = emlFolder + "exp";
    std::string title = AnswerFileDialog(program, prefix.c_str());
    if (title.empty()) {
        Line("  no save dialog came");
        StopProgram(&program);
        return 1;
    }
    Line("  save dialog 「" + FromSjis(title) + "」 answered with " + FromSjis(prefix));
    box = AnswerMessageBox(program);
    if (!box.found) {
        Line("  no message box came");
        StopProgram(&program);
        return 1;
    }
    ShowBox(box);
    std::map<std::string, std::string> emls = FolderFiles(emlFolder);
    std::map<std::string, std::string> expected = FolderFiles(sample + "expected\\eml-all\\");
    Line("  written into " + Where(emlFolder) + ":");
    std::string names;
    for (const auto &file : emls)
        names += (names.empty() ? "" : " ") + file.first;
    Line("    " + names);
    ok &= Check(box.caption == Text(IDS_CAPTION_MESSAGE) && box.text == ExpectedSummary(sample, "all"),
                "the run ended with its summary, counts as expected");
    // The directory search decides the mailbox order and so the numbering;
    // the names and the contents as a whole are fixed.
    ok &= Check(Names(emls) == Names(expected) && Contents(emls) == Contents(expected),
                "the .eml files are the messages byte for byte, as expected");

    Click(window, IDC_EXIT);
    int code = WaitForExit(&program);
    StopProgram(&program);
    ok &= Check(code == 1, "the Exit button ended the program");
    Line("");
    Line(ok ? "Demo done: both runs went through." : "Demo FAILED: see the mismatches above.");
    return ok ? 0 : 1;
}

// --- Screenshots ------------------------------------------------------------------

// Announces a window to photograph and waits for the picture.
bool Shot(const std::string &shotDir, const char *name, HWND window)
{
    RECT rect;
    if (window == NULL || !GetWindowRect(window, &rect)) {
        Line(std::string("no window for ") + name);
        return false;
    }
    Line(std::string("SHOT ") + name + " " + Number(rect.left) + " " + Number(rect.top) + " " +
         Number(rect.right - rect.left) + " " + Number(rect.bottom - rect.top));
    std::string picture = shotDir + name + ".png";
    for (int waited = 0; waited < 120000; waited += 50) {
        if (GetFileAttributesA(picture.c_str()) != INVALID_FILE_ATTRIBUTES)
            return true;
        Sleep(50);
    }
    Line(std::string("no picture came for ") + name);
    return false;
}

// Lets the program paint what it has to before a picture is taken.
void Settle(const Program &program)
{
    WaitIdle(program);
    Sleep(500);
}

int Shots(const std::string &programPath, const std::string &shotDir)
{
    Program program;
    HWND window = Start(programPath, &program);
    if (window == NULL)
        return 1;
    bool ok = true;
    Settle(program);
    ok &= Shot(shotDir, "main", window);

    PostSysCommand(window, IDM_ABOUT);
    HWND about = WaitForDialog(program, IDC_WEB_ADDRESS);
    Settle(program);
    ok &= Shot(shotDir, "about", about);
    if (about != NULL) {
        PostMessageA(GetDlgItem(about, IDOK), BM_CLICK, 0, 0);
        for (int i = 0; i < 100 && IsWindow(about); i++)
            Sleep(50);
    }

    // A run over the big mailbox: the progress window is caught while the
    // big mailbox is on, and the run held still (its thread suspended)
    // while the picture is taken.
    Click(window, IDC_INCLUDE_DELETED);
    Click(window, IDC_RUN);
    HWND progress = WaitForDialog(program, IDC_PROGRESS_BAR);
    HWND label = progress != NULL ? GetDlgItem(progress, IDC_FILE_NAME) : NULL;
    char name[MAX_PATH] = "";
    for (int waited = 0; label != NULL && IsWindow(label) && waited < 60000; waited += 5) {
        GetWindowTextA(label, name, sizeof name);
        if (strcmp(name, "Mailing List.mbx") == 0)
            break;
        Sleep(5);
    }
    Sleep(200);  // a part of the way through, on any machine

    if (progress != NULL && IsWindow(progress) && strcmp(name, "Mailing List.mbx") == 0) {
        SuspendThread(program.process.hThread);
        ok &= Shot(shotDir, "progress", progress);
        ResumeThread(program.process.hThread);
    } else {
        Line("the progress window was gone before its picture; a bigger --bulk mailbox helps");
        ok = false;
    }
    HWND box = WaitForDialog(program, 0xFFFF);
    Settle(program);
    ok &= Shot(shotDir, "summary", box);
    AnswerMessageBox(program);

    Click(window, IDC_EXIT);
    WaitForExit(&program);
    StopProgram(&program);
    return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char **argv)
{
    std::string mode = argc > 1 ? argv[1] : "";
    if (argc > 2)
        ProgramModule = LoadLibraryExA(argv[2], NULL, LOAD_LIBRARY_AS_DATAFILE);
    if (mode == "demo" && argc == 4)
        return Demo(argv[2], WithSlash(argv[3]));
    if (mode == "shots" && argc == 4)
        return Shots(argv[2], WithSlash(argv[3]));
    Line("usage: demo_driver demo PROGRAM SAMPLE | shots PROGRAM SHOTDIR");
    return 2;
}
