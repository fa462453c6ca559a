// Start-up: the window class, the template set, the main dialog.
#include <windows.h>

#include "locate.h"
#include "mainwnd.h"
#include "msgbox.h"
#include "resource.h"
#include "state.h"

const char MainClassName[] = "Vestibar";

enum {
    ABOUT_ITEM_SIZE = 32,
    LARGE_FONT_DPI = 100  // above this the 8-point templates are used
};

int RegisterMainClass(HINSTANCE instance)
{
    WNDCLASSA windowClass;
    windowClass.style = 0;
    windowClass.lpfnWndProc = MainWndProc;
    windowClass.cbClsExtra = 0;
    // The dialog manager keeps its data in the window's extra bytes when a
    // dialog is made from a template that names a class of its own.
    windowClass.cbWndExtra = DLGWINDOWEXTRA;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_MAIN));
    windowClass.hCursor = LoadCursorA(NULL, (LPCSTR)IDC_ARROW);
    windowClass.hbrBackground = (HBRUSH)(COLOR_BTNFACE + 1);
    windowClass.lpszMenuName = NULL;
    windowClass.lpszClassName = MainClassName;
    return RegisterClassA(&windowClass) != 0;
}

void ChooseDialogVariant(void)
{
    HWND desktop = GetDesktopWindow();
    HDC screen = GetDC(desktop);
    int dpi = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(desktop, screen);
    DialogVariantOffset = dpi > LARGE_FONT_DPI ? DIALOG_VARIANT_LARGE_DPI : 0;
}

// No Maximize or Size (the window has a fixed size), and the About item.
static void TrimSystemMenu(void)
{
    char aboutItem[ABOUT_ITEM_SIZE];
    SystemMenu = GetSystemMenu(MainDialog, FALSE);
    DeleteMenu(SystemMenu, SC_MAXIMIZE, MF_BYCOMMAND);
    DeleteMenu(SystemMenu, SC_SIZE, MF_BYCOMMAND);
    AppendMenuA(SystemMenu, MF_SEPARATOR, 0, NULL);
    if (LoadStringA(AppInstance, IDS_ABOUT_MENU, aboutItem, sizeof aboutItem) == 0)
        lstrcpyA(aboutItem, "&About Vestibar...");
    AppendMenuA(SystemMenu, MF_STRING, IDM_ABOUT, aboutItem);
}

// WinBiff mode and half-width kana by default; without WinBiff only the
// .eml mode can be chosen.
static void SetInitialControls(void)
{
    CheckDlgButton(MainDialog, IDC_TO_WINBIFF, BST_CHECKED);
    CheckDlgButton(MainDialog, IDC_TO_EML, BST_UNCHECKED);
    CheckDlgButton(MainDialog, IDC_PREFER_KANA, BST_CHECKED);
    CheckDlgButton(MainDialog, IDC_PREFER_EUC, BST_UNCHECKED);
    if (!IsWinbiffInstalled()) {
        CheckDlgButton(MainDialog, IDC_TO_WINBIFF, BST_UNCHECKED);
        CheckDlgButton(MainDialog, IDC_TO_EML, BST_CHECKED);
        EnableWindow(GetDlgItem(MainDialog, IDC_TO_WINBIFF), FALSE);
        EnableWindow(GetDlgItem(MainDialog, IDC_CODE_GROUP), FALSE);
        EnableWindow(GetDlgItem(MainDialog, IDC_PREFER_KANA), FALSE);
        EnableWindow(GetDlgItem(MainDialog, IDC_PREFER_EUC), FALSE);
    }
}

int CreateMainDialog(int showCommand)
{
    ChooseDialogVariant();
    HWND dialog = CreateDialogParamA(AppInstance, MAKEINTRESOURCEA(IDD_MAIN + DialogVariantOffset), NULL,
                                     NULL, 0);
    if (dialog == NULL) {
        ShowMessage(IDS_WINDOW_NOT_OPENED, IDS_CAPTION_ERROR);
        return 0;
    }
    MainDialog = dialog;
    TrimSystemMenu();
    SetInitialControls();
    // The window has no maximized form.
    ShowWindow(dialog, showCommand == SW_SHOWMAXIMIZED ? SW_SHOW : showCommand);
    UpdateWindow(dialog);
    return 1;
}
