// The two file dialogs: where the .eml files go, and where the mailboxes are
// when MS-IM is open and its registry settings cannot be trusted.
#include <windows.h>
#include <commdlg.h>
#include <string.h>

#include "locate.h"
#include "pathtext.h"
#include "resource.h"
#include "state.h"

enum { TITLE_SIZE = 64 };

// Runs one of the file dialogs on `file` (a PATH_BUFFER_SIZE buffer that
// holds the proposed name).  On cancel or error the main window is brought
// back to the front, since the dialog's owner may have lost it.
static int RunFileDialog(BOOL (WINAPI *dialog)(LPOPENFILENAMEA), char *file, const char *filter,
                         UINT titleId, const char *fallbackTitle, DWORD flags)
{
    char title[TITLE_SIZE];
    if (LoadStringA(AppInstance, titleId, title, sizeof title) == 0)
        lstrcpynA(title, fallbackTitle, sizeof title);

    OPENFILENAMEA dialogData;
    memset(&dialogData, 0, sizeof dialogData);
    dialogData.lStructSize = sizeof dialogData;
    dialogData.hwndOwner = MainDialog;
    dialogData.lpstrFilter = filter;
    dialogData.nFilterIndex = 1;
    dialogData.lpstrFile = file;
    dialogData.nMaxFile = PATH_BUFFER_SIZE;
    dialogData.lpstrTitle = title;
    dialogData.Flags = flags;
    if (!dialog(&dialogData)) {
        SetForegroundWindow(MainDialog);
        return 0;
    }
    return 1;
}

int ChooseExportBase(void)
{
    lstrcpyA(OutputBase, "exp");
    return RunFileDialog(GetSaveFileNameA, OutputBase, "Export eml file\0*.*\0", IDS_EXPORT_TITLE,
                         "Select Export Locate", OFN_PATHMUSTEXIST);
}

int ChooseSourceDir(void)
{
    SourceDir[0] = '\0';
    if (!RunFileDialog(GetOpenFileNameA, SourceDir, "Import mbx file\0*.mbx\0", IDS_IMPORT_TITLE,
                       "Select Import Locate", OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST))
        return 0;
    // The chosen file only names its folder; the run takes every mailbox in it.
    char name[PATH_BUFFER_SIZE];  // SourceDir's name always fits
    SplitAtLastBackslash(SourceDir, name, sizeof name);
    return 1;
}
