#include "mailbox.h"

#include <commctrl.h>

#include "bytes.h"
#include "fileio.h"
#include "msgbox.h"
#include "resource.h"
#include "state.h"

static HANDLE OpenForReading(const char *path)
{
    return CreateFileA(path, GENERIC_READ, 0, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
}

HANDLE OpenMailbox(const char *name)
{
    char path[FULL_PATH_SIZE];
    if (!JoinPath(path, sizeof path, SourceDir, sizeof SourceDir, name)) {
        ShowSystemError(IDS_OPEN_SOURCE_FAILED, IDS_CAPTION_ERROR, ERROR_FILENAME_EXCED_RANGE);
        return INVALID_HANDLE_VALUE;
    }
    HANDLE mailbox = OpenForReading(path);
    if (mailbox == INVALID_HANDLE_VALUE) {
        DWORD code = GetLastError();
        ShowSystemError(IDS_OPEN_SOURCE_FAILED, IDS_CAPTION_ERROR, code);
    }
    return mailbox;
}

HANDLE ProbeIndex(const char *name)
{
    // An index that cannot even be named is simply absent: the mailbox
    // reports its own path.
    char path[FULL_PATH_SIZE];
    if (!JoinPath(path, sizeof path, SourceDir, sizeof SourceDir, name) || !MakeIndexPath(path))
        return INVALID_HANDLE_VALUE;
    HANDLE index = OpenForReading(path);
    if (index == INVALID_HANDLE_VALUE)
        return INVALID_HANDLE_VALUE;
    unsigned char magic[4];
    if (!ReadExact(index, magic, sizeof magic, IDS_READ_INDEX_FAILED) || !HasMagic(magic, "JMF9")) {
        CloseHandle(index);
        return INVALID_HANDLE_VALUE;
    }
    return index;
}

// Positions are unsigned 32-bit: with the high part given as 0, an offset of
// 2 GiB or more is a seek beyond the end, which the next read finds short,
// rather than a negative seek that fails and leaves the file where it was.
static void SetPosition(HANDLE file, DWORD position)
{
    LONG high = 0;
    SetFilePointer(file, (LONG)position, &high, FILE_BEGIN);
}

static int ReadU32(HANDLE file, DWORD *value, UINT textId)
{
    unsigned char bytes[4];
    if (!ReadExact(file, bytes, sizeof bytes, textId))
        return 0;
    *value = GetU32(bytes);
    return 1;
}

// Reads past fields that are not interpreted: 4 or 8 bytes.
static int Skip(HANDLE file, DWORD count, UINT textId)
{
    unsigned char bytes[8];
    return count <= sizeof bytes && ReadExact(file, bytes, count, textId);
}

// Wraps around instead of overflowing: a record length of 0 with a huge
// count can hand on one record more often than an int counts.
static void Advance(int *counter)
{
    *counter = (int)((unsigned)*counter + 1u);
}

static void SendProgress(UINT message, WPARAM wParam, LPARAM lParam)
{
    // Outside a run ProgressDialog is null and the call does nothing.
    SendDlgItemMessageA(ProgressDialog, IDC_PROGRESS_BAR, message, wParam, lParam);
}

// The range's upper end takes the count's low 16 bits only.
static void PrepareProgress(DWORD count)
{
    SendProgress(PBM_SETRANGE, 0, MAKELPARAM(0, LOWORD(count)));
    SendProgress(PBM_SETSTEP, 1, 0);
    SendProgress(PBM_SETPOS, 0, 0);
}

static int CheckMailboxMagic(HANDLE mailbox)
{
    unsigned char magic[4];
    if (!ReadExact(mailbox, magic, sizeof magic, IDS_READ_SOURCE_FAILED))
        return 0;
    if (!HasMagic(magic, "JMF6")) {
        ShowMessage(IDS_NOT_A_MAILBOX, IDS_CAPTION_ERROR);
        return 0;
    }
    return 1;
}

// Counts are signed in the files: 0 or below means none.
static bool CountsNone(DWORD count)
{
    return count == 0 || count >= 0x80000000u;
}

int WalkRecords(HANDLE mailbox, MessageAction action, HANDLE target)
{
    DWORD count;
    if (!CheckMailboxMagic(mailbox) || !Skip(mailbox, 4, IDS_READ_SOURCE_FAILED) ||
        !ReadU32(mailbox, &count, IDS_READ_SOURCE_FAILED))
        return 0;
    PrepareProgress(count);
    if (CountsNone(count))
        return 1;
    DWORD position = MAILBOX_FIRST_RECORD;
    for (DWORD i = 0; i < count; i++) {
        SendProgress(PBM_STEPIT, 0, 0);
        SetPosition(mailbox, position);
        DWORD recordLength, messageSize;
        if (!Skip(mailbox, 8, IDS_READ_SOURCE_FAILED) ||
            !ReadU32(mailbox, &recordLength, IDS_READ_SOURCE_FAILED))
            return 0;
        position += recordLength;  // modulo 2^32, like the file's own positions
        if (!ReadU32(mailbox, &messageSize, IDS_READ_SOURCE_FAILED))
            return 0;
        Advance(&RunState.messageNumber);
        if (!action(mailbox, messageSize, 1, target))
            return 0;
    }
    return 1;
}

int WalkIndexEntries(HANDLE mailbox, HANDLE index, MessageAction action, HANDLE target)
{
    DWORD count;
    if (!CheckMailboxMagic(mailbox) || !Skip(index, 4, IDS_READ_INDEX_FAILED) ||
        !ReadU32(index, &count, IDS_READ_INDEX_FAILED))
        return 0;
    PrepareProgress(count);
    if (CountsNone(count))
        return 1;
    DWORD position = INDEX_FIRST_ENTRY;
    for (DWORD i = 0; i < count; i++) {
        SendProgress(PBM_STEPIT, 0, 0);
        SetPosition(index, position);
        unsigned char head[12];
        DWORD entryLength;
        if (!ReadExact(index, head, sizeof head, IDS_READ_INDEX_FAILED) ||
            !Skip(index, 4, IDS_READ_INDEX_FAILED) ||
            !ReadU32(index, &entryLength, IDS_READ_INDEX_FAILED))
            return 0;
        position += entryLength;
        unsigned char flags = head[0];
        if (flags & ENTRY_DELETED) {
            if (RunState.skipDeleted)
                continue;
            Advance(&RunState.deletedCount);
        }
        Advance(&RunState.messageNumber);
        DWORD recordOffset, messageSize;
        if (!ReadU32(index, &recordOffset, IDS_READ_INDEX_FAILED))
            return 0;
        SetPosition(mailbox, recordOffset);
        if (!Skip(mailbox, 8, IDS_READ_SOURCE_FAILED) || !Skip(mailbox, 4, IDS_READ_SOURCE_FAILED) ||
            !ReadU32(mailbox, &messageSize, IDS_READ_SOURCE_FAILED))
            return 0;
        if (!action(mailbox, messageSize, (flags & ENTRY_UNREAD) != 0, target))
            return 0;
    }
    return 1;
}

int WalkMailbox(HANDLE mailbox, HANDLE index, MessageAction action, HANDLE target)
{
    if (index == INVALID_HANDLE_VALUE)
        return WalkRecords(mailbox, action, target);
    int result = WalkIndexEntries(mailbox, index, action, target);
    CloseHandle(index);
    return result;
}
