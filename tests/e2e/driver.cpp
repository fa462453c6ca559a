#include "driver.h"

#include <shlobj.h>
#include <string.h>

namespace {

const DWORD PollMs = 20;

// Asks `found` every PollMs until it answers non-zero or the time is up.
template <typename Found> auto Poll(DWORD timeoutMs, Found found) -> decltype(found())
{
    for (DWORD waited = 0;; waited += PollMs) {
        auto result = found();
        if (result || waited >= timeoutMs)
            return result;
        Sleep(PollMs);
    }
}

// A message box's icon is a static control showing a system icon; which
// one is told by comparing with the icons the system lends.
UINT BoxIcon(HWND box)
{
    HWND iconControl = GetDlgItem(box, 0x0440);
    if (iconControl == NULL)
        iconControl = FindWindowExA(box, NULL, "Static", NULL);
    HICON icon = (HICON)SendMessageA(iconControl, STM_GETICON, 0, 0);
    const struct { LPCSTR id; UINT style; } icons[] = {
        {(LPCSTR)IDI_HAND, MB_ICONERROR},
        {(LPCSTR)IDI_ASTERISK, MB_ICONINFORMATION},
        {(LPCSTR)IDI_EXCLAMATION, MB_ICONWARNING},
    };
    for (const auto &candidate : icons)
        if (icon != NULL && LoadIconA(NULL, candidate.id) == icon)
            return candidate.style;
    return 0;
}

// Presses a button of `dialog` and waits until the dialog is gone.
void PressAndWait(HWND dialog, int button, DWORD timeoutMs)
{
    Click(dialog, button);
    Poll(timeoutMs, [&] { return !IsWindow(dialog); });
}

}  // namespace

bool StartProgram(const std::string &exe, Program *program, int showCommand)
{
    std::string folder = exe.substr(0, exe.find_last_of("\\/") + 1);
    std::string commandLine = "\"" + exe + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = (WORD)showCommand;
    memset(&program->process, 0, sizeof program->process);
    program->started = CreateProcessA(exe.c_str(), &commandLine[0], NULL, NULL, FALSE, 0, NULL,
                                      folder.empty() ? NULL : folder.c_str(), &startup, &program->process) != 0;
    if (program->started)
        WaitForInputIdle(program->process.hProcess, DRIVER_TIMEOUT_MS);
    return program->started;
}

int WaitForExit(Program *program, DWORD timeoutMs)
{
    DWORD code = 0;
    if (!program->started || WaitForSingleObject(program->process.hProcess, timeoutMs) != WAIT_OBJECT_0)
        return -1;
    GetExitCodeProcess(program->process.hProcess, &code);
    return (int)code;
}

void StopProgram(Program *program)
{
    if (!program->started)
        return;
    if (WaitForSingleObject(program->process.hProcess, 0) != WAIT_OBJECT_0) {
        TerminateProcess(program->process.hProcess, 99);
        WaitForSingleObject(program->process.hProcess, DRIVER_TIMEOUT_MS);
    }
    CloseHandle(program->process.hThread);
    CloseHandle(program->process.hProcess);
    program->started = false;
}

HWND WaitForMainWindow(DWORD timeoutMs)
{
    return Poll(timeoutMs, [] {
        HWND window = FindWindowA("Vestibar", NULL);
        return window != NULL && IsWindowVisible(window) ? window : NULL;
    });
}

HWND FindDialog(const Program &program, int controlId)
{
    for (HWND window = NULL; (window = FindWindowExA(NULL, window, "#32770", NULL)) != NULL;) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == program.process.dwProcessId && IsWindowVisible(window) && GetDlgItem(window, controlId))
            return window;
    }
    return NULL;
}

HWND WaitForDialog(const Program &program, int controlId, DWORD timeoutMs)
{
    return Poll(timeoutMs, [&] { return FindDialog(program, controlId); });
}

BoxSeen AnswerMessageBox(const Program &program, DWORD timeoutMs)
{
    HWND box = WaitForDialog(program, 0xFFFF, timeoutMs);
    if (box == NULL)
        return BoxSeen{false, "", "", 0};
    BoxSeen seen = {true, WindowText(GetDlgItem(box, 0xFFFF)), WindowText(box), BoxIcon(box)};
    PressAndWait(box, IDOK, timeoutMs);
    return seen;
}

std::string AnswerFileDialog(const Program &program, const char *path, DWORD timeoutMs)
{
    const int FileNameControl = 0x47C;
    HWND dialog = WaitForDialog(program, FileNameControl, timeoutMs);
    if (dialog == NULL)
        return "";
    std::string title = WindowText(dialog);
    if (path != NULL)
        SendMessageA(GetDlgItem(dialog, FileNameControl), WM_SETTEXT, 0, (LPARAM)path);
    PressAndWait(dialog, path != NULL ? IDOK : IDCANCEL, timeoutMs);
    return title;
}

void Click(HWND dialog, int controlId)
{
    PostMessageA(GetDlgItem(dialog, controlId), BM_CLICK, 0, 0);
}

void PostSysCommand(HWND window, WPARAM command)
{
    PostMessageA(window, WM_SYSCOMMAND, command, 0);
}

bool DropFiles(const Program &program, HWND window, const std::vector<std::string> &paths)
{
    // DROPFILES, then the paths, each with its zero, then one more zero.
    DROPFILES header = {};
    header.pFiles = sizeof header;
    std::string block((const char *)&header, sizeof header);
    for (const std::string &path : paths)
        block += path + '\0';
    block += '\0';
    // The drop handle is global memory in the receiver; fixed memory there
    // is addressed by its pointer, which GlobalLock hands back unchanged.
    void *remote = VirtualAllocEx(program.process.hProcess, NULL, block.size(), MEM_COMMIT | MEM_RESERVE,
                                  PAGE_READWRITE);
    SIZE_T written = 0;
    return remote != NULL &&
           WriteProcessMemory(program.process.hProcess, remote, block.data(), block.size(), &written) &&
           written == block.size() && PostMessageA(window, WM_DROPFILES, (WPARAM)remote, 0) != 0;
}

std::string WindowText(HWND window)
{
    // WM_GETTEXT asks the control itself: an edit control keeps its text
    // where GetWindowText cannot see it from another process.  A program
    // busy in a run answers late, hence the time-out and the fallback.
    char text[1024];
    DWORD_PTR length = 0;
    if (SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, (LPARAM)text, SMTO_ABORTIFHUNG, 5000, &length))
        return std::string(text, length);
    int fallback = GetWindowTextA(window, text, sizeof text);
    return std::string(text, fallback > 0 ? fallback : 0);
}

void WaitIdle(const Program &program)
{
    WaitForInputIdle(program.process.hProcess, DRIVER_TIMEOUT_MS);
}
