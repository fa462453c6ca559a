#include "progress.h"

#include <windows.h>
#include <commctrl.h>

#include "mailbox.h"
#include "msgbox.h"
#include "resource.h"
#include "state.h"

// Windows draws the common controls of a program without a manifest in the
// classic look, but Wine's default theme draws them themed, and its themed
// progress bar takes milliseconds a paint in a 32-bit process: more than the
// rest of the window's first paint, for each time the bar changes.  The bar
// asks for the classic look wherever a theme library is loaded; where none
// is, nothing can theme it.
static void UseClassicLook(HWND control)
{
    HMODULE themes = GetModuleHandleA("uxtheme.dll");
    if (themes == NULL)
        return;
    typedef HRESULT(WINAPI * SetWindowThemeProc)(HWND, LPCWSTR, LPCWSTR);
    SetWindowThemeProc setWindowTheme =
        reinterpret_cast<SetWindowThemeProc>(reinterpret_cast<void *>(GetProcAddress(themes, "SetWindowTheme")));
    // A blank name rather than an empty one: both mean no theme to Windows,
    // Wine refuses the empty name.
    if (setWindowTheme != NULL)
        setWindowTheme(control, L" ", L" ");
}

int CreateProgressDialog(void)
{
    // The template names the common controls' progress bar, whose class
    // exists only once the library has registered it.
    INITCOMMONCONTROLSEX controls;
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_PROGRESS_CLASS;
    InitCommonControlsEx(&controls);

    HWND dialog = CreateDialogParamA(AppInstance, MAKEINTRESOURCEA(IDD_PROGRESS + DialogVariantOffset),
                                     NULL, NULL, 0);
    if (dialog == NULL) {
        ShowMessage(IDS_WINDOW_NOT_OPENED, IDS_CAPTION_ERROR);
        return 0;
    }
    ProgressDialog = dialog;
    HWND bar = GetDlgItem(dialog, IDC_PROGRESS_BAR);
    if (bar != NULL) {
        UseClassicLook(bar);
        InstallBarStepping(bar);
    }
    ShowWindow(dialog, SW_SHOW);
    UpdateWindow(dialog);
    return 1;
}
