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
    if (!ReadExact(index, magic, sizeof magic, IDS_READ_INDEX_FAILED) || !HasMagic(magic, msim::kIndexMagic)) {
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
    // Outside a run ProgressDialog is null, so is the bar, and the call does nothing.
    SendMessageA(ProgressSteps.walked, message, wParam, lParam);
}

// The bar steps once per message, but the control paints itself at every
// step, which took about a millisecond under Wine, and even with its drawing
// held off, the invalidation and update calls of a step took more than most
// messages take to convert.  So the run's bar takes its steps through
// SteppingBar: a step that stays within the range only moves the position
// it answers with, and the control is given the position (and paints) only
// when a person could see the change: at most every SHOW_INTERVAL
// milliseconds, at the end of each walk, and before any other message
// reaches it, a paint or a query from another program included.  A step
// past the range goes to the control, which starts over as it does.
// The walk itself takes its steps and sets each mailbox's range here
// rather than by a message each: a sent message cost the 32-bit build under
// Wine more than converting a short message, and the range given at once
// painted the bar twice a mailbox.
enum { SHOW_INTERVAL = 50 };

static LRESULT CallBar(HWND bar, UINT message, WPARAM wParam, LPARAM lParam)
{
    return CallWindowProcA(ProgressSteps.control, bar, message, wParam, lParam);
}

// 0 for a bar at the low end of its range, 2 at the high end, 1 between
// (or with no range to draw): two bars at the same end look alike.
static int BarLook(int low, int high, int position)
{
    if (high <= low || (position > low && position < high))
        return 1;
    return position <= low ? 0 : 2;
}

// Gives the control the range, step and position held since the walk
// began.  A walk ends with the bar full, as the one before it did, and a
// bar painted again as it already looks cost 2 ms under Wine (7 ms for the
// 32-bit build) a mailbox: then the control takes its new state with its
// drawing off, after anything already due is painted.
static void GiveHeldSteps(HWND bar)
{
    ProgressSteps.held = 0;
    int alike = ProgressSteps.heldLook != 1 &&
                ProgressSteps.heldLook == BarLook(ProgressSteps.low, ProgressSteps.high, ProgressSteps.position);
    if (alike) {
        UpdateWindow(bar);
        CallBar(bar, WM_SETREDRAW, FALSE, 0);
    }
    CallBar(bar, PBM_SETRANGE32, (WPARAM)ProgressSteps.low, (LPARAM)ProgressSteps.high);
    CallBar(bar, PBM_SETSTEP, (WPARAM)ProgressSteps.step, 0);
    ProgressSteps.shown = ProgressSteps.position;
    CallBar(bar, PBM_SETPOS, (WPARAM)ProgressSteps.position, 0);
    if (alike)
        CallBar(bar, WM_SETREDRAW, TRUE, 0);
    else
        UpdateWindow(bar);
}

static void ShowSteps(HWND bar)
{
    if (ProgressSteps.held) {
        GiveHeldSteps(bar);
    } else if (ProgressSteps.position != ProgressSteps.shown) {
        ProgressSteps.shown = ProgressSteps.position;
        CallBar(bar, PBM_SETPOS, (WPARAM)ProgressSteps.position, 0);
        UpdateWindow(bar);
    }
    ProgressSteps.shownAt = GetTickCount();
}

static void ReadBar(HWND bar)
{
    PBRANGE range;
    CallBar(bar, PBM_GETRANGE, TRUE, (LPARAM)&range);
    ProgressSteps.low = range.iLow;
    ProgressSteps.high = range.iHigh;
    ProgressSteps.position = ProgressSteps.shown = (int)CallBar(bar, PBM_GETPOS, 0, 0);
}

// Takes a step that stays within the range: 1, or 0 for one past it, which
// only the control takes.
static int TakeStep(void)
{
    long long next = (long long)ProgressSteps.position + ProgressSteps.step;
    if (next < ProgressSteps.low || next > ProgressSteps.high)
        return 0;
    ProgressSteps.position = (int)next;
    return 1;
}

static LRESULT CALLBACK SteppingBar(HWND bar, UINT message, WPARAM wParam, LPARAM lParam)
{
    int previous = ProgressSteps.position;
    if (message == PBM_STEPIT && TakeStep())
        return previous;
    ShowSteps(bar);
    WNDPROC control = ProgressSteps.control;
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrA(bar, GWLP_WNDPROC, (LONG_PTR)control);
        ProgressSteps.bar = NULL;
        ProgressSteps.direct = 0;
        return CallWindowProcA(control, bar, message, wParam, lParam);
    }
    LRESULT result = CallBar(bar, message, wParam, lParam);
    if (message == PBM_SETSTEP)
        ProgressSteps.step = (int)wParam;
    if (message >= WM_USER && message < WM_USER + 0x100)
        ReadBar(bar);  // a position or range set, or anything else the control may move for
    return result;
}

void InstallBarStepping(HWND bar)
{
    ProgressSteps.control = (WNDPROC)GetWindowLongPtrA(bar, GWLP_WNDPROC);
    // The control tells its step only when a new one is set.
    ProgressSteps.step = (int)CallBar(bar, PBM_SETSTEP, 1, 0);
    CallBar(bar, PBM_SETSTEP, (WPARAM)ProgressSteps.step, 0);
    ReadBar(bar);
    ProgressSteps.shownAt = GetTickCount();
    ProgressSteps.held = 0;
    ProgressSteps.bar = bar;
    SetWindowLongPtrA(bar, GWLP_WNDPROC, (LONG_PTR)SteppingBar);
}

// Gives the run's bar the steps taken since it was last shown.
static void ShowProgress(void)
{
    if (ProgressSteps.walked != NULL && ProgressSteps.walked == ProgressSteps.bar)
        ShowSteps(ProgressSteps.walked);
}

static void StepProgress(void)
{
    if (!ProgressSteps.direct || !TakeStep())
        SendProgress(PBM_STEPIT, 0, 0);
    if (GetTickCount() - ProgressSteps.shownAt >= SHOW_INTERVAL)  // unsigned: right across the counter's wrap
        ShowProgress();
}

// The range's upper end takes the count's low 16 bits only.
static void PrepareProgress(DWORD count)
{
    HWND bar = GetDlgItem(ProgressDialog, IDC_PROGRESS_BAR);
    ProgressSteps.walked = bar;
    ProgressSteps.direct = bar != NULL && (WNDPROC)GetWindowLongPtrA(bar, GWLP_WNDPROC) == SteppingBar;
    if (!ProgressSteps.direct) {
        SendProgress(PBM_SETRANGE, 0, MAKELPARAM(0, LOWORD(count)));
        SendProgress(PBM_SETSTEP, 1, 0);
        SendProgress(PBM_SETPOS, 0, 0);
        return;
    }
    // The control is given the new range with the first position shown.
    ProgressSteps.heldLook = ProgressSteps.held ? 1 : BarLook(ProgressSteps.low, ProgressSteps.high, ProgressSteps.shown);
    ProgressSteps.low = 0;
    ProgressSteps.high = LOWORD(count);
    ProgressSteps.step = 1;
    ProgressSteps.position = 0;
    ProgressSteps.held = 1;
}

static int CheckMailboxMagic(HANDLE mailbox)
{
    unsigned char magic[4];
    if (!ReadExact(mailbox, magic, sizeof magic, IDS_READ_SOURCE_FAILED))
        return 0;
    if (!HasMagic(magic, msim::kMailboxMagic)) {
        ShowMessage(IDS_NOT_A_MAILBOX, IDS_CAPTION_ERROR);
        return 0;
    }
    return 1;
}

// A record's head and an entry's fixed fields up to its length are each read
// in one call: with a call per field, the system calls of the walk took
// longer than copying a small message.  A head cut short fails with the same
// message (code 0) whichever of its fields the file ends in.

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

// Checks the mailbox's magic and reads the count that `counted` (the mailbox
// itself, or its index, whose magic the probe has read) holds after its
// magic, then readies the progress bar.  0 after a failure, already shown.
static int BeginWalk(HANDLE mailbox, HANDLE counted, UINT textId, DWORD *count)
{
    if (!CheckMailboxMagic(mailbox) || !Skip(counted, msim::kCountAt - msim::kMagicSize, textId) ||
        !ReadU32(counted, count, textId))
        return 0;
    PrepareProgress(*count);
    return 1;
}

static int RecordWalk(HANDLE mailbox, MessageAction action, HANDLE target)
{
    DWORD count;
    if (!BeginWalk(mailbox, mailbox, IDS_READ_SOURCE_FAILED, &count))
        return 0;
    if (msim::CountIsNone(count))
        return 1;
    DWORD position = MAILBOX_FIRST_RECORD;
    for (DWORD i = 0; i < count; i++) {
        StepProgress();
        SetPosition(mailbox, position);
        unsigned char head[msim::kRecordHeadSize];
        if (!ReadExact(mailbox, head, sizeof head, IDS_READ_SOURCE_FAILED))
            return 0;
        msim::RecordHead fields = msim::ParseRecordHead(head);
        position = msim::NextPosition(position, fields.recordLength);
        Advance(&RunState.messageNumber);
        if (!action(mailbox, fields.messageSize, 1, target))
            return 0;
    }
    return 1;
}

static int EntryWalk(HANDLE mailbox, HANDLE index, MessageAction action, HANDLE target)
{
    DWORD count;
    if (!BeginWalk(mailbox, index, IDS_READ_INDEX_FAILED, &count))
        return 0;
    if (msim::CountIsNone(count))
        return 1;
    IndexPieceLength = 0;  // nothing of this index read ahead yet
    DWORD position = INDEX_FIRST_ENTRY;
    for (DWORD i = 0; i < count; i++) {
        StepProgress();
        DWORD entry = position;
        unsigned char head[msim::kEntryHeadSize];
        if (!ReadIndexAt(index, entry, head, sizeof head))
            return 0;
        msim::EntryHead fields = msim::ParseEntryHead(head);
        position = msim::NextPosition(position, fields.entryLength);
        if (fields.deleted()) {
            if (RunState.skipDeleted)
                continue;
            Advance(&RunState.deletedCount);
        }
        Advance(&RunState.messageNumber);
        // The record offset is read on its own: an entry that is skipped
        // may end the index right after its length.
        unsigned char offset[4];
        if (!ReadIndexAt(index, entry + msim::kRecordOffsetAt, offset, sizeof offset))
            return 0;
        SetPosition(mailbox, GetU32(offset));
        unsigned char record[msim::kRecordHeadSize];
        if (!ReadExact(mailbox, record, sizeof record, IDS_READ_SOURCE_FAILED))
            return 0;
        DWORD messageSize = msim::ParseRecordHead(record).messageSize;
        if (!action(mailbox, messageSize, fields.unread(), target))
            return 0;
    }
    return 1;
}

// Whichever way a walk ends, the bar shows where it stands.
int WalkRecords(HANDLE mailbox, MessageAction action, HANDLE target)
{
    int result = RecordWalk(mailbox, action, target);
    ShowProgress();
    return result;
}

int WalkIndexEntries(HANDLE mailbox, HANDLE index, MessageAction action, HANDLE target)
{
    int result = EntryWalk(mailbox, index, action, target);
    ShowProgress();
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
