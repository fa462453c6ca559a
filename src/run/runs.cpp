#include "runs.h"

#include <string.h>

#include "eml.h"
#include "locate.h"
#include "msgbox.h"
#include "pathtext.h"
#include "progress.h"
#include "resource.h"
#include "state.h"
#include "winbiff.h"

typedef int (*MailboxOperation)(const char *name);

static void ResetCounters(void)
{
    RunState.mailboxCount = 0;
    RunState.messageNumber = 0;
    RunState.deletedCount = 0;
}

static void ShowRunSummary(void)
{
    if (RunState.skipDeleted)
        ShowSummary(IDS_SUMMARY, IDS_CAPTION_MESSAGE, RunState.mailboxCount, RunState.messageNumber);
    else
        ShowSummaryWithDeleted(IDS_SUMMARY_WITH_DELETED, IDS_CAPTION_MESSAGE, RunState.mailboxCount,
                               RunState.messageNumber, RunState.deletedCount);
}

// Makes "From MS-IM\" under WinBiff's user directory in OutputBase, with the
// user directory's attributes.  An existing folder is reused.
static int MakeWinbiffFolder(void)
{
    char templateDir[PATH_BUFFER_SIZE];
    lstrcpynA(templateDir, OutputBase, sizeof templateDir);
    // A user directory too long for the folder's name is refused rather than
    // cut into the name of some other folder.
    if (!AppendText(OutputBase, PATH_BUFFER_SIZE, "From MS-IM\\")) {
        ShowSystemError(IDS_CREATE_DIRECTORY_FAILED, IDS_CAPTION_ERROR, ERROR_FILENAME_EXCED_RANGE);
        return 0;
    }
    if (!CreateDirectoryExA(templateDir, OutputBase, NULL)) {
        DWORD code = GetLastError();
        if (code != ERROR_ALREADY_EXISTS) {
            ShowSystemError(IDS_CREATE_DIRECTORY_FAILED, IDS_CAPTION_ERROR, code);
            return 0;
        }
    }
    return 1;
}

// Closes what a run has open; the handles are null or invalid when not.
static void EndRun(HWND progress, HANDLE search)
{
    GiveBackWinbiffBuffers();
    if (progress != NULL)
        DestroyWindow(progress);
    if (search != INVALID_HANDLE_VALUE)
        FindClose(search);
}

// Steps 2 to 7 of a store run, after the output has been prepared as far as
// the mode needs before the search.
static int RunStore(MailboxOperation convert, int makeWinbiffFolder)
{
    char pattern[FULL_PATH_SIZE];
    lstrcpynA(pattern, SourceDir, sizeof pattern);
    WIN32_FIND_DATAA found;
    HANDLE search = INVALID_HANDLE_VALUE;
    if (AppendText(pattern, sizeof pattern, "*.mbx"))
        search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE) {
        ShowMessage(IDS_NO_MAILBOX, IDS_CAPTION_ERROR);
        return 0;
    }
    if (makeWinbiffFolder && !MakeWinbiffFolder()) {
        EndRun(NULL, search);
        return 0;
    }
    ResetCounters();
    if (!CreateProgressDialog()) {
        EndRun(NULL, search);
        return 0;
    }
    HWND progress = ProgressDialog;
    for (;;) {
        if (!convert(found.cFileName)) {
            EndRun(progress, search);
            return 0;
        }
        RunState.mailboxCount++;
        if (!FindNextFileA(search, &found))
            break;
    }
    DWORD code = GetLastError();
    if (code != ERROR_NO_MORE_FILES) {
        ShowSystemError(IDS_FIND_NEXT_FAILED, IDS_CAPTION_ERROR, code);
        EndRun(progress, search);
        return 0;
    }
    EndRun(progress, search);
    ShowRunSummary();
    return 1;
}

// Fetches dropped path `index` into `path` (DROPPED_PATH_SIZE bytes).
// Returns 1 for a mailbox path, 0 for any other file, and -1 for a mailbox
// path too long for SourceDir: cut to fit, it would name another file.
static int DroppedMailboxPath(HDROP drop, UINT index, char *path)
{
    UINT length = DragQueryFileA(drop, index, NULL, 0);
    if (length < PATH_BUFFER_SIZE) {
        DragQueryFileA(drop, index, path, DROPPED_PATH_SIZE);
        return HasMailboxExtension(path) ? 1 : 0;
    }
    // Only the whole path tells whether it names a mailbox.
    char *whole = (char *)HeapAlloc(GetProcessHeap(), 0, length + 1);
    if (whole == NULL)
        return -1;
    DragQueryFileA(drop, index, whole, length + 1);
    int mailbox = HasMailboxExtension(whole);
    HeapFree(GetProcessHeap(), 0, whole);
    path[0] = '\0';
    return mailbox ? -1 : 0;
}

// Steps 2 to 7 of a dropped-file run: every dropped .mbx file is read from
// its own folder.
static int RunDropped(HDROP drop, MailboxOperation convert)
{
    ResetCounters();
    if (!CreateProgressDialog())
        return 0;
    HWND progress = ProgressDialog;
    UINT count = DragQueryFileA(drop, 0xFFFFFFFF, NULL, 0);
    for (UINT i = 0; i < count; i++) {
        char path[DROPPED_PATH_SIZE];
        char name[DROPPED_PATH_SIZE];
        int accepted = DroppedMailboxPath(drop, i, path);
        if (accepted < 0) {
            ShowSystemError(IDS_OPEN_SOURCE_FAILED, IDS_CAPTION_ERROR, ERROR_FILENAME_EXCED_RANGE);
            EndRun(progress, INVALID_HANDLE_VALUE);
            return 0;
        }
        if (accepted == 0)
            continue;
        lstrcpyA(SourceDir, path);
        SplitAtLastBackslash(SourceDir, name, sizeof name);
        if (!convert(name)) {
            EndRun(progress, INVALID_HANDLE_VALUE);
            return 0;
        }
        RunState.mailboxCount++;
    }
    EndRun(progress, INVALID_HANDLE_VALUE);
    if (RunState.mailboxCount > 0)
        ShowRunSummary();
    return 1;
}

int RunWinbiffStore(void)
{
    if (!CheckWinbiffReady())
        return 0;
    return RunStore(ConvertMailboxToWinbiff, 1);
}

int RunEmlStore(void)
{
    if (!ChooseExportBase())
        return 0;
    return RunStore(ExportMailboxAsEml, 0);
}

int RunWinbiffDropped(HDROP drop)
{
    if (!CheckWinbiffReady() || !MakeWinbiffFolder())
        return 0;
    return RunDropped(drop, ConvertMailboxToWinbiff);
}

int RunEmlDropped(HDROP drop)
{
    if (!ChooseExportBase())
        return 0;
    return RunDropped(drop, ExportMailboxAsEml);
}
