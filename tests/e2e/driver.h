// Drives the real vestibar.exe from another process, as a user would: finds
// its windows, clicks, answers its file dialogs and message boxes, and drops
// files on it.  Shared by the end-to-end tests and the demo.
#ifndef VESTIBAR_DRIVER_H
#define VESTIBAR_DRIVER_H

#include <windows.h>

#include <string>
#include <vector>

struct Program {
    PROCESS_INFORMATION process;
    bool started;
};

// Generous: the first file dialog of a fresh Wine prefix takes long to come.
enum { DRIVER_TIMEOUT_MS = 60000 };

// Starts `exe` with its own folder as the working folder.
bool StartProgram(const std::string &exe, Program *program, int showCommand = SW_SHOWNORMAL);
// The process's exit code, or -1 on time-out.
int WaitForExit(Program *program, DWORD timeoutMs = DRIVER_TIMEOUT_MS);
// Ends the process if it still runs and closes the handles.
void StopProgram(Program *program);
// The main window ("Vestibar" class), waited for; NULL on time-out.
HWND WaitForMainWindow(DWORD timeoutMs = DRIVER_TIMEOUT_MS);
// A visible top-level dialog of the process that holds a control
// `controlId` (0xFFFF: a message box's text; 0x47C: a file dialog's name
// field; IDC_PROGRESS_BAR: the progress window).  FindDialog does not wait.
HWND WaitForDialog(const Program &program, int controlId, DWORD timeoutMs = DRIVER_TIMEOUT_MS);
HWND FindDialog(const Program &program, int controlId);

struct BoxSeen {
    bool found;
    std::string text;  // code page 932 bytes
    std::string caption;
    UINT icon;  // MB_ICONERROR, MB_ICONINFORMATION or MB_ICONWARNING, 0 if unknown
};

// Waits for a message box, reads it and presses its OK button.
BoxSeen AnswerMessageBox(const Program &program, DWORD timeoutMs = DRIVER_TIMEOUT_MS);
// Waits for a file dialog, types `path` into its name field and presses OK
// (Cancel when `path` is NULL).  Its title, or "" when none came.
std::string AnswerFileDialog(const Program &program, const char *path, DWORD timeoutMs = DRIVER_TIMEOUT_MS);

// Posted, not waited for: the handler may open modal boxes that only the
// driver can close.
void Click(HWND dialog, int controlId);
void PostSysCommand(HWND window, WPARAM command);
// Drops files on a window of the process, as the shell would.
bool DropFiles(const Program &program, HWND window, const std::vector<std::string> &paths);
std::string WindowText(HWND window);
// Waits until the process has handled what was posted and waits for input.
void WaitIdle(const Program &program);

#endif
