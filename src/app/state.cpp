#include "state.h"

HINSTANCE AppInstance;
HWND MainDialog;
HMENU SystemMenu;
int DialogVariantOffset;
HWND ProgressDialog;

char SourceDir[PATH_BUFFER_SIZE];
char OutputBase[PATH_BUFFER_SIZE];
char WinbiffIniPath[PATH_BUFFER_SIZE];

RunCounters RunState;
BarSteps ProgressSteps;
int Sse2Choice = -1;
