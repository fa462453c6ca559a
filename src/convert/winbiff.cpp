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
    RAW_SLACK = 64,                  // the raw buffer: the message, its zero, and room
    CONVERTED_SLACK = 128,           // the converter's room: twice the message and this
    FRONT_ROOM = FLAGS_LINE_ROOM,    // before the converter's room, for the flag line
    END_ROOM = sizeof EndMark - 1,   // after it, for the end mark
    CONVERTED_ROOM = FRONT_ROOM + CONVERTED_SLACK + END_ROOM  // the converted buffer, with twice the message
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

// The two buffers of the message being converted: the raw one, which first
// holds the message and then the header block with the flag line, and the
// converted one (FRONT_ROOM, the converter's room, END_ROOM).  They are kept
// from one message to the next, and from one mailbox to the next of a run,
// and only replaced by larger ones: fresh memory for every message, or for
// every mailbox, had the system supply and clear new pages again and again,
// which took longer than converting the messages.  The run gives them back
// when it ends (GiveBackWinbiffBuffers), so they never hold more than the
// run's largest message needs.
static char *RawBuffer;
static SIZE_T RawCapacity;
static char *ConvertedBuffer;
static SIZE_T ConvertedCapacity;

// Makes `*buffer` hold at least `size` bytes; what it held is not kept.
// The old buffer goes first, so that the two never take memory together.
static int Reserve(char **buffer, SIZE_T *capacity, SIZE_T size)
{
    if (*capacity >= size)
        return 1;
    if (*buffer != NULL)
        HeapFree(GetProcessHeap(), 0, *buffer);
    *buffer = (char *)HeapAlloc(GetProcessHeap(), 0, size);
    *capacity = *buffer != NULL ? size : 0;
    return *buffer != NULL;
}

void GiveBackWinbiffBuffers(void)
{
    if (RawBuffer != NULL)
        HeapFree(GetProcessHeap(), 0, RawBuffer);
    if (ConvertedBuffer != NULL)
        HeapFree(GetProcessHeap(), 0, ConvertedBuffer);
    RawBuffer = ConvertedBuffer = NULL;
    RawCapacity = ConvertedCapacity = 0;
}

static int OutOfMemory(void)
{
    ShowMessage(IDS_OUT_OF_MEMORY, IDS_CAPTION_ERROR);
    return 0;
}

// The length of the zero-terminated text at `text`, looked for eight bytes
// at a time within `limit` bytes (the C library's byte-by-byte search took
// a good part of a message's time).  `limit` when no zero is found there.
static size_t TextLength(const char *text, size_t limit)
{
    const unsigned long long ones = 0x0101010101010101ull, highs = 0x8080808080808080ull;
    size_t at = 0;
    for (; limit - at >= 8; at += 8) {
        unsigned long long word;
        memcpy(&word, text + at, sizeof word);
        if ((word - ones) & ~word & highs)
            break;  // a zero among these eight bytes
    }
    while (at < limit && text[at] != '\0')
        at++;
    return at;
}

// Writes one entry: the converted message at `converted` (FRONT_ROOM bytes
// into ConvertedBuffer) with its flag line and the end mark.  The header
// block and the flag line are made in the raw buffer, then put in front of
// the rest of the text, where the room before it takes the flag line, and
// the end mark goes after it, so that the entry is written with one call.
// Returns -1 when there was no memory for the header block.
static int WriteEntry(HANDLE folder, char *converted, int unread)
{
    // Another converter may lengthen the header block beyond what the raw
    // buffer holds; it is made larger rather than written past.
    size_t header = MeasureHeaderBlock(converted);
    if (header + FLAGS_LINE_ROOM > RawCapacity) {
        char *larger = (char *)HeapReAlloc(GetProcessHeap(), 0, RawBuffer, header + FLAGS_LINE_ROOM);
        if (larger == NULL)
            return -1;
        RawBuffer = larger;
        RawCapacity = header + FLAGS_LINE_ROOM;
    }
    char *rest = (char *)InsertFlagsHeader(converted, RawBuffer, unread);
    size_t lead = header + strlen(RawBuffer + header);  // the header block and the flag line
    // The converter's text ends within its room; the end mark's room follows.
    char *end = ConvertedBuffer + ConvertedCapacity - END_ROOM;
    size_t restLength = TextLength(rest, (size_t)(end - rest));
    char *entry = rest - lead;  // the flag line is shorter than FRONT_ROOM
    // The entry is written by its length; neither copy is to end in a zero.
    memcpy(entry, RawBuffer, lead);  // NOLINT(bugprone-not-null-terminated-result)
    memcpy(rest + restLength, EndMark, END_ROOM);
    size_t length = lead + restLength + END_ROOM;
    return WriteExact(folder, entry, (DWORD)length, IDS_WRITE_DEST_FAILED);
}

int AppendWinbiffMessage(HANDLE mailbox, DWORD messageSize, int unread, HANDLE target)
{
    // Sizes that would wrap around 32 bits cannot be allocated.
    if (messageSize > (MAXDWORD - CONVERTED_ROOM) / 2)
        return OutOfMemory();
    if (!Reserve(&RawBuffer, &RawCapacity, (SIZE_T)messageSize + RAW_SLACK) ||
        !Reserve(&ConvertedBuffer, &ConvertedCapacity, 2 * (SIZE_T)messageSize + CONVERTED_ROOM))
        return OutOfMemory();
    if (!ReadExact(mailbox, RawBuffer, messageSize, IDS_READ_SOURCE_FAILED))
        return 0;
    // From here the message is a zero-terminated text, as the converter's
    // interface wants it: a zero inside the message ends it there.
    RawBuffer[messageSize] = '\0';
    SetNkfOption(IsDlgButtonChecked(MainDialog, IDC_PREFER_KANA) == BST_CHECKED ? "Xs" : "s");
    // The converter gets its 2 x messageSize + 128 bytes after the front room.
    char *converted = ConvertedBuffer + FRONT_ROOM;
    NkfConvert(converted, RawBuffer);

    int written = WriteEntry(target, converted, unread);
    if (written < 0)
        return OutOfMemory();
    return written;
}
