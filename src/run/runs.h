// The four runs: WinBiff or .eml mode, over the whole store or over the
// files dropped onto the main window.
#ifndef VESTIBAR_RUNS_H
#define VESTIBAR_RUNS_H

#include <windows.h>
#include <shellapi.h>

// Each returns 1 when the run went through to its end and 0 when it stopped
// (already reported, unless the user cancelled the export dialog).
int RunWinbiffStore(void);
int RunEmlStore(void);
int RunWinbiffDropped(HDROP drop);
int RunEmlDropped(HDROP drop);

#endif
