// Process-wide state.  One thread does everything, so these are plain
// globals that live as long as the process.
#ifndef VESTIBAR_STATE_H
#define VESTIBAR_STATE_H

#include <windows.h>

enum {
    PATH_BUFFER_SIZE = 256,   // SourceDir, OutputBase, WinbiffIniPath
    FULL_PATH_SIZE = 264,     // a mailbox, index or output file
    DROPPED_PATH_SIZE = 262   // a path taken from a drop
};

// The counters of the current run.  The runs zero the three counters when
// they start; the walks advance messageNumber and deletedCount.
struct RunCounters {
    int mailboxCount;
    int messageNumber;
    int deletedCount;
    int skipDeleted;          // set from the "include deleted" box before every run
};

extern HINSTANCE AppInstance;     // the module whose resources are loaded
extern HWND MainDialog;
extern HMENU SystemMenu;
extern int DialogVariantOffset;   // 0, or 10 for the large-font templates
extern HWND ProgressDialog;       // null while no run is going on

// Both end in a backslash once set; SourceDir may be empty for a dropped
// file given without a folder.
extern char SourceDir[PATH_BUFFER_SIZE];
extern char OutputBase[PATH_BUFFER_SIZE];
extern char WinbiffIniPath[PATH_BUFFER_SIZE];

extern RunCounters RunState;

// The progress bar of the run's window while InstallBarStepping's procedure
// takes its steps (bar null otherwise): the position with every step
// taken, and the one the control was last given and shows.
struct BarSteps {
    HWND walked;       // the bar that the current walk steps (GetDlgItem is slow under Wine)
    HWND bar;
    WNDPROC control;   // the progress bar's own window procedure
    int position;
    int shown;
    int step, low, high;
    DWORD shownAt;     // GetTickCount() when the bar was last shown
    int held;          // range, step and position set here and not yet given to the control
    int heldLook;      // how the control looked when they were set (BarLook)
    int direct;        // the walk steps the bar here, without a message a step
};
extern BarSteps ProgressSteps;

// Whether the program's SSE2 code runs: -1 until first asked, then 1 where
// the processor has SSE2 and the environment does not set
// VESTIBAR_PORTABLE_CODE (which tests use to run the portable code), 0 else.
extern int Sse2Choice;

#endif
