// Message boxes built from the string table.  Every failure, warning and
// run summary reaches the user through one of the five Show* routines.
#ifndef VESTIBAR_MSGBOX_H
#define VESTIBAR_MSGBOX_H

#include <windows.h>

enum {
    MESSAGE_TEXT_SIZE = 256,  // texts, captions and system descriptions

    STYLE_ERROR = MB_OK | MB_ICONERROR | MB_TASKMODAL,             // 0x2010
    STYLE_INFORMATION = MB_OK | MB_ICONINFORMATION | MB_TASKMODAL, // 0x2040
    STYLE_WARNING = MB_OK | MB_ICONWARNING | MB_TASKMODAL          // 0x2030
};

// Each returns 1 after showing the composed text, 0 after showing the
// fallback for a text id that does not load.
int ShowMessage(UINT textId, UINT captionId);
int ShowSystemError(UINT textId, UINT captionId, DWORD code);
int ShowMessageWithText(UINT textId, UINT captionId, const char *argument);
int ShowSummary(UINT textId, UINT captionId, int first, int second);
int ShowSummaryWithDeleted(UINT textId, UINT captionId, int first, int second, int third);

// The one place that calls MessageBoxA: no owner window, a null caption
// gives the system's default.  The tests link a recorder in its place.
int ShowBox(const char *text, const char *caption, UINT style);

#endif
