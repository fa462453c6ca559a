#include "eml.h"

#include "bytes.h"
#include "fileio.h"
#include "mailbox.h"
#include "msgbox.h"
#include "resource.h"
#include "state.h"

int ExportMailboxAsEml(const char *name)
{
    HANDLE mailbox = OpenMailbox(name);
    if (mailbox == INVALID_HANDLE_VALUE)
        return 0;
    HANDLE index = ProbeIndex(name);
    SetDlgItemTextA(ProgressDialog, IDC_FILE_NAME, name);
    int result = WalkMailbox(mailbox, index, WriteEmlMessage, NULL);
    CloseHandle(mailbox);
    return result;
}

int WriteEmlMessage(HANDLE mailbox, DWORD messageSize, int unread, HANDLE target)
{
    (void)unread;
    (void)target;
    char path[FULL_PATH_SIZE];
    if (!FormatEmlPath(path, sizeof path, OutputBase, sizeof OutputBase, RunState.messageNumber)) {
        ShowSystemError(IDS_CREATE_DEST_FAILED, IDS_CAPTION_ERROR, ERROR_FILENAME_EXCED_RANGE);
        return 0;
    }
    // CREATE_NEW: a file of an earlier run is never overwritten.
    HANDLE file = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, NULL, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        DWORD code = GetLastError();
        if (code == ERROR_FILE_EXISTS)
            ShowMessageWithText(IDS_DEST_EXISTS, IDS_CAPTION_ERROR, path);
        else
            ShowSystemError(IDS_CREATE_DEST_FAILED, IDS_CAPTION_ERROR, code);
        return 0;
    }
    // A file whose copy failed keeps what was written: nothing is rolled back.
    int copied = CopyBytes(mailbox, file, messageSize);
    CloseHandle(file);
    return copied;
}
