#include "mailbox.h"

#include <commctrl.h>
#include <string.h>

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

// The bar steps once per message, but painting it at every step, which the
// control does at once, cost about a millisecond each (more than most
// messages take to convert).  So while a mailbox is walked the bar's
// drawing is held off, and it is painted only when a person could see the
// change: at the start, at most every PAINT_INTERVAL milliseconds, and at
// the end, so that its last position shows.  Its position is kept at every
// step all the same.
enum { PAINT_INTERVAL = 40 };
static DWORD LastPaint;  // GetTickCount() of the bar's last painting

// Paints the bar as it stands, then holds its drawing off again when `hold`.
static void PaintProgress(int hold)
{
    HWND bar = GetDlgItem(ProgressDialog, IDC_PROGRESS_BAR);
    if (bar == NULL)
        return;
    SendMessageA(bar, WM_SETREDRAW, TRUE, 0);
    RedrawWindow(bar, NULL, NULL, RDW_INVALIDATE | RDW_UPDATENOW);
    if (hold)
        SendMessageA(bar, WM_SETREDRAW, FALSE, 0);
    LastPaint = GetTickCount();
}

static void StepProgress(void)
{
    SendProgress(PBM_STEPIT, 0, 0);
    if (GetTickCount() - LastPaint >= PAINT_INTERVAL)  // unsigned: right across the counter's wrap
        PaintProgress(1);
}

// The range's upper end takes the count's low 16 bits only.
static void PrepareProgress(DWORD count)
{
    SendProgress(WM_SETREDRAW, FALSE, 0);
    SendProgress(PBM_SETRANGE, 0, MAKELPARAM(0, LOWORD(count)));
    SendProgress(PBM_SETSTEP, 1, 0);
    SendProgress(PBM_SETPOS, 0, 0);
    PaintProgress(1);
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

// A record's head and an entry's fixed fields up to its length are each read
// in one call: with a call per field, the system calls of the walk took
// longer than copying a small message.  A head cut short fails with the same
// message (code 0) whichever of its fields the file ends in.
enum {
    RECORD_HEAD_SIZE = 16,  // not interpreted (8), recordLength, messageSize
    RECORD_LENGTH_AT = 8,
    MESSAGE_SIZE_AT = 12,
    ENTRY_HEAD_SIZE = 20,   // flags, not interpreted (11 + 4), entryLength
    ENTRY_LENGTH_AT = 16
};

// The entries are read from a piece of the index read ahead: they are small
// and follow one another, and a system call for each of them took longer
// than copying a small message.  Reading at a position through the piece
// gives what setting the position and reading there would: the bytes, or
// message 54 with the system's code, or with code 0 where the index ends
// first.  Positions are unsigned 32-bit and wrap like the file's own.
enum { INDEX_PIECE_SIZE = 4096 };
static unsigned char IndexPiece[INDEX_PIECE_SIZE];
static DWORD IndexPieceStart;   // the index position of IndexPiece[0]
static DWORD IndexPieceLength;  // the bytes read there

static int ReadIndexAt(HANDLE index, DWORD position, unsigned char *bytes, DWORD count)
{
    DWORD within = position - IndexPieceStart;
    if (within >= IndexPieceLength || IndexPieceLength - within < count) {
        SetPosition(index, position);
        IndexPieceLength = 0;
        DWORD done = 0;
        if (!ReadFile(index, IndexPiece, sizeof IndexPiece, &done, NULL)) {
            ShowSystemError(IDS_READ_INDEX_FAILED, IDS_CAPTION_ERROR, GetLastError());
            return 0;
        }
        IndexPieceStart = position;
        IndexPieceLength = done;
        within = 0;
        if (done < count) {
            ShowSystemError(IDS_READ_INDEX_FAILED, IDS_CAPTION_ERROR, 0);
            return 0;
        }
    }
    memcpy(bytes, IndexPiece + within, count);
    return 1;
}

// Counts are signed in the files: 0 or below means none.
static bool CountsNone(DWORD count)
{
    return count == 0 || count >= 0x80000000u;
}

// Checks the mailbox's magic and reads the count that `counted` (the mailbox
// itself, or its index, whose magic the probe has read) holds after its
// magic, then readies the progress bar.  0 after a failure, already shown.
static int BeginWalk(HANDLE mailbox, HANDLE counted, UINT textId, DWORD *count)
{
    if (!CheckMailboxMagic(mailbox) || !Skip(counted, 4, textId) || !ReadU32(counted, count, textId))
        return 0;
    PrepareProgress(*count);
    return 1;
}

static int RecordWalk(HANDLE mailbox, MessageAction action, HANDLE target)
{
    DWORD count;
    if (!BeginWalk(mailbox, mailbox, IDS_READ_SOURCE_FAILED, &count))
        return 0;
    if (CountsNone(count))
        return 1;
    DWORD position = MAILBOX_FIRST_RECORD;
    for (DWORD i = 0; i < count; i++) {
        StepProgress();
        SetPosition(mailbox, position);
        unsigned char head[RECORD_HEAD_SIZE];
        if (!ReadExact(mailbox, head, sizeof head, IDS_READ_SOURCE_FAILED))
            return 0;
        position += GetU32(head + RECORD_LENGTH_AT);  // modulo 2^32, like the file's own positions
        DWORD messageSize = GetU32(head + MESSAGE_SIZE_AT);
        Advance(&RunState.messageNumber);
        if (!action(mailbox, messageSize, 1, target))
            return 0;
    }
    return 1;
}

static int EntryWalk(HANDLE mailbox, HANDLE index, MessageAction action, HANDLE target)
{
    DWORD count;
    if (!BeginWalk(mailbox, index, IDS_READ_INDEX_FAILED, &count))
        return 0;
    if (CountsNone(count))
        return 1;
    IndexPieceLength = 0;  // nothing of this index read ahead yet
    DWORD position = INDEX_FIRST_ENTRY;
    for (DWORD i = 0; i < count; i++) {
        StepProgress();
        DWORD entry = position;
        unsigned char head[ENTRY_HEAD_SIZE];
        if (!ReadIndexAt(index, entry, head, sizeof head))
            return 0;
        position += GetU32(head + ENTRY_LENGTH_AT);
        unsigned char flags = head[0];
        if (flags & ENTRY_DELETED) {
            if (RunState.skipDeleted)
                continue;
            Advance(&RunState.deletedCount);
        }
        Advance(&RunState.messageNumber);
        // The record offset is read on its own: an entry that is skipped
        // may end the index right after its length.
        unsigned char offset[4];
        if (!ReadIndexAt(index, entry + ENTRY_HEAD_SIZE, offset, sizeof offset))
            return 0;
        SetPosition(mailbox, GetU32(offset));
        unsigned char record[RECORD_HEAD_SIZE];
        if (!ReadExact(mailbox, record, sizeof record, IDS_READ_SOURCE_FAILED))
            return 0;
        DWORD messageSize = GetU32(record + MESSAGE_SIZE_AT);
        if (!action(mailbox, messageSize, (flags & ENTRY_UNREAD) != 0, target))
            return 0;
    }
    return 1;
}

// Whichever way a walk ends, the bar is painted as it stands and drawn
// again as usual.
int WalkRecords(HANDLE mailbox, MessageAction action, HANDLE target)
{
    int result = RecordWalk(mailbox, action, target);
    PaintProgress(0);
    return result;
}

int WalkIndexEntries(HANDLE mailbox, HANDLE index, MessageAction action, HANDLE target)
{
    int result = EntryWalk(mailbox, index, action, target);
    PaintProgress(0);
    return result;
}

int WalkMailbox(HANDLE mailbox, HANDLE index, MessageAction action, HANDLE target)
{
    if (index == INVALID_HANDLE_VALUE)
        return WalkRecords(mailbox, action, target);
    int result = WalkIndexEntries(mailbox, index, action, target);
    CloseHandle(index);
    return result;
}
