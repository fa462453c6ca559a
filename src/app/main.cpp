// The program's entry: one instance, then the main dialog and its loop.
#include <windows.h>

#include "mainwnd.h"
#include "msgbox.h"
#include "resource.h"
#include "state.h"

// The system header declares it with parameter names of its own.
// NOLINTNEXTLINE(readability-inconsistent-declaration-parameter-name)
int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int showCommand)
{
    (void)previous;
    (void)commandLine;
    AppInstance = instance;

    HWND running = FindWindowA(MainClassName, NULL);
    if (running != NULL) {
        SetForegroundWindow(running);
        ShowWindow(running, SW_RESTORE);
        return 1;
    }
    if (!RegisterMainClass(instance)) {
        ShowMessage(IDS_CLASS_NOT_REGISTERED, IDS_CAPTION_ERROR);
        return 0;
    }
    if (!CreateMainDialog(showCommand))
        return 0;

    MSG message;
    while (GetMessageA(&message, NULL, 0, 0) > 0) {
        if (IsDialogMessageA(MainDialog, &message))
            continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return 1;
}
