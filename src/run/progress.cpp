#include "progress.h"

#include <windows.h>
#include <commctrl.h>

#include "mailbox.h"
#include "msgbox.h"
#include "resource.h"
#include "state.h"

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
    if (bar != NULL)
        InstallBarStepping(bar);
    ShowWindow(dialog, SW_SHOW);
    UpdateWindow(dialog);
    return 1;
}
