#include "winbiff.h"

#include <string.h>

#include "fileio.h"
#include "flags.h"
#include "mailbox.h"
#include "msgbox.h"
#include "nkf32.h"
#include "resource.h"
#include "state.h"

static const char EndMark[] = "\r\n.\r\n";

enum {
    RAW_SLACK = 64,        // the raw buffer: the message, its zero, and room
    CONVERTED_SLACK = 128  // the converted buffer: twice the message and this
};

// OutputBase + name without its extension, refused rather than cut when it
// does not fit: a cut name would be another folder.
static int MakeFolderPath(char *path, const char *name)
{
    size_t baseLength = strlen(OutputBase);
    size_t nameLength = strlen(name);
    size_t stem = nameLength >= 4 ? nameLength - 4 : 0;
    if (baseLength + stem >= FULL_PATH_SIZE)
        return 0;
    memcpy(path, OutputBase, baseLength);
    memcpy(path + baseLength, name, stem);
    path[baseLength + stem] = '\0';
    return 1;
}

int ConvertMailboxToWinbiff(const char *name)
{
    HANDLE mailbox = OpenMailbox(name);
    if (mailbox == INVALID_HANDLE_VALUE)
        return 0;
    HANDLE index = ProbeIndex(name);

    char path[FULL_PATH_SIZE];
    HANDLE folder = INVALID_HANDLE_VALUE;
    DWORD code = ERROR_FILENAME_EXCED_RANGE;
    if (MakeFolderPath(path, name)) {
        // CREATE_NEW: an existing folder file is never overwritten or appended to.
        folder = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, NULL, CREATE_NEW,
                             FILE_ATTRIBUTE_NORMAL, NULL);
        code = GetLastError();
    }
    if (folder == INVALID_HANDLE_VALUE) {
        if (code == ERROR_FILE_EXISTS)
            ShowMessageWithText(IDS_DEST_EXISTS, IDS_CAPTION_ERROR, path);
        else
            ShowSystemError(IDS_CREATE_DEST_FAILED, IDS_CAPTION_ERROR, code);
        if (index != INVALID_HANDLE_VALUE)
            CloseHandle(index);
        CloseHandle(mailbox);
        return 0;
    }

    SetDlgItemTextA(ProgressDialog, IDC_FILE_NAME, name);
    int result = WalkMailbox(mailbox, index, AppendWinbiffMessage, folder);
    CloseHandle(mailbox);
    CloseHandle(folder);
    return result;
}

static void *TakeBuffer(SIZE_T size)
{
    return HeapAlloc(GetProcessHeap(), 0, size);
}

static void GiveBack(void *buffer)
{
    if (buffer != NULL)
        HeapFree(GetProcessHeap(), 0, buffer);
}

static int OutOfMemory(void *raw, void *converted)
{
    ShowMessage(IDS_OUT_OF_MEMORY, IDS_CAPTION_ERROR);
    GiveBack(raw);
    GiveBack(converted);
    return 0;
}

// Converts and writes one message.  The raw buffer first holds the message,
// then, once it is converted, the header block with the flag line.
static int WriteConverted(HANDLE folder, char **raw, DWORD rawSize, const char *converted, int unread)
{
    // Another converter may lengthen the header block beyond what the raw
    // buffer holds; it is made larger rather than written past.
    size_t headerRoom = MeasureHeaderBlock(converted) + FLAGS_LINE_ROOM;
    if (headerRoom > rawSize) {
        char *larger = (char *)HeapReAlloc(GetProcessHeap(), 0, *raw, headerRoom);
        if (larger == NULL)
            return -1;
        *raw = larger;
    }
    const char *rest = InsertFlagsHeader(converted, *raw, unread);
    if (!WriteExact(folder, *raw, (DWORD)strlen(*raw), IDS_WRITE_DEST_FAILED))
        return 0;
    return WriteExact(folder, rest, (DWORD)strlen(rest), IDS_WRITE_DEST_FAILED);
}

int AppendWinbiffMessage(HANDLE mailbox, DWORD messageSize, int unread, HANDLE target)
{
    // Sizes that would wrap around 32 bits cannot be allocated.
    if (messageSize > (MAXDWORD - CONVERTED_SLACK) / 2)
        return OutOfMemory(NULL, NULL);
    DWORD rawSize = messageSize + RAW_SLACK;
    char *raw = (char *)TakeBuffer(rawSize);
    if (raw == NULL)
        return OutOfMemory(NULL, NULL);
    char *converted = (char *)TakeBuffer(2 * (SIZE_T)messageSize + CONVERTED_SLACK);
    if (converted == NULL)
        return OutOfMemory(raw, NULL);
    if (!ReadExact(mailbox, raw, messageSize, IDS_READ_SOURCE_FAILED)) {
        GiveBack(raw);
        GiveBack(converted);
        return 0;
    }
    // From here the message is a zero-terminated text, as the converter's
    // interface wants it: a zero inside the message ends it there.
    raw[messageSize] = '\0';
    SetNkfOption(IsDlgButtonChecked(MainDialog, IDC_PREFER_KANA) == BST_CHECKED ? "Xs" : "s");
    NkfConvert(converted, raw);

    int written = WriteConverted(target, &raw, rawSize, converted, unread);
    GiveBack(raw);
    GiveBack(converted);
    if (written < 0)
        return OutOfMemory(NULL, NULL);
    if (!written)
        return 0;
    return WriteExact(target, EndMark, sizeof EndMark - 1, IDS_WRITE_DEST_FAILED);
}
