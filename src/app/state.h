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

#endif
