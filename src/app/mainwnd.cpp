// The main window procedure: a dispatcher, one small handler per message and
// per command.  Unhandled messages go to DefWindowProcA, not to the dialog
// manager's procedure: the window belongs to our own class.
#include "mainwnd.h"

#include <shellapi.h>

#include "locate.h"
#include "resource.h"
#include "runs.h"
#include "state.h"

static int IsChecked(int controlId)
{
    return IsDlgButtonChecked(MainDialog, controlId) == BST_CHECKED;
}

// Read afresh before every run: the box may change between runs.
static void SetSkipDeleted(void)
{
    RunState.skipDeleted = !IsChecked(IDC_INCLUDE_DELETED);
}

static void EnableCodeGroup(BOOL enable)
{
    EnableWindow(GetDlgItem(MainDialog, IDC_CODE_GROUP), enable);
    EnableWindow(GetDlgItem(MainDialog, IDC_PREFER_KANA), enable);
    EnableWindow(GetDlgItem(MainDialog, IDC_PREFER_EUC), enable);
}

void UpdateSystemMenu(void)
{
    UINT restore = MF_BYCOMMAND | MF_GRAYED, others = MF_BYCOMMAND | MF_ENABLED;
    if (IsIconic(MainDialog)) {
        restore = MF_BYCOMMAND | MF_ENABLED;
        others = MF_BYCOMMAND | MF_GRAYED;
    }
    EnableMenuItem(SystemMenu, SC_RESTORE, restore);
    EnableMenuItem(SystemMenu, SC_MOVE, others);
    EnableMenuItem(SystemMenu, SC_MINIMIZE, others);
}

// The MS-IM store is located before the mode is looked at, so MS-IM's
// checks come first in both modes.
static void OnRun(void)
{
    SetSkipDeleted();
    if (!LocateImStore())
        return;
    if (IsChecked(IDC_TO_WINBIFF))
        RunWinbiffStore();
    else if (IsChecked(IDC_TO_EML))
        RunEmlStore();
}

static LRESULT OnCommand(HWND window, WPARAM wParam, LPARAM lParam)
{
    switch (LOWORD(wParam)) {
    case IDC_RUN:
        OnRun();
        return 0;
    case IDC_EXIT:
        DestroyWindow(MainDialog);
        return 0;
    case IDC_TO_WINBIFF:
        EnableCodeGroup(TRUE);
        break;
    case IDC_TO_EML:
        EnableCodeGroup(FALSE);
        break;
    }
    return DefWindowProcA(window, WM_COMMAND, wParam, lParam);
}

static LRESULT OnCreate(HWND window)
{
    DragAcceptFiles(window, TRUE);
    return 0;
}

static LRESULT OnDestroy(void)
{
    GetSystemMenu(MainDialog, TRUE);
    PostQuitMessage(0);
    return 0;
}

static LRESULT OnDropFiles(HDROP drop)
{
    SetSkipDeleted();
    if (IsChecked(IDC_TO_WINBIFF))
        RunWinbiffDropped(drop);
    else if (IsChecked(IDC_TO_EML))
        RunEmlDropped(drop);
    DragFinish(drop);
    return 0;
}

static LRESULT OnSysCommand(HWND window, WPARAM wParam, LPARAM lParam)
{
    if (wParam == IDM_ABOUT)
        DialogBoxParamA(AppInstance, MAKEINTRESOURCEA(IDD_ABOUT + DialogVariantOffset), window,
                        AboutDlgProc, 0);
    return DefWindowProcA(window, WM_SYSCOMMAND, wParam, lParam);
}

static LRESULT OnNcLButtonDown(HWND window, WPARAM wParam, LPARAM lParam)
{
    // A press on the minimise box changes the state without WM_INITMENU;
    // the system menu is brought in step before it.
    if (wParam == HTMINBUTTON)
        UpdateSystemMenu();
    return DefWindowProcA(window, WM_NCLBUTTONDOWN, wParam, lParam);
}

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        return OnCreate(window);
    case WM_DESTROY:
        return OnDestroy();
    case WM_NCLBUTTONDOWN:
        return OnNcLButtonDown(window, wParam, lParam);
    case WM_INITMENU:
        UpdateSystemMenu();
        return 0;
    case WM_SYSCOMMAND:
        return OnSysCommand(window, wParam, lParam);
    case WM_COMMAND:
        return OnCommand(window, wParam, lParam);
    case WM_DROPFILES:
        return OnDropFiles((HDROP)wParam);
    }
    return DefWindowProcA(window, message, wParam, lParam);
}
