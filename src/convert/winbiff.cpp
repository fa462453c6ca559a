#include "winbiff.h"

#include <string.h>
#if defined(__x86_64__) || defined(__i386__)
#define VESTIBAR_SSE2_CODE 1
#include <emmintrin.h>
#endif

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
// converted one (FRONT_ROOM, the converter's room, END_ROOM).  Each is a
// stretch of address space reserved for the run, whose pages are committed
// as larger messages need them; the pages stay from one message and one
// mailbox to the next, so the system supplies and clears each of them once
// a run.  A fresh heap block for every larger message had it clear the
// same amount again and again, which took about as long as the conversion
// itself.  Committed pages that a message never touches take no memory.
// The run gives the buffers back when it ends (GiveBackWinbiffBuffers), so
// they never hold more than the run's largest message needs.  A write past
// the committed pages meets reserved ones and faults at once instead of
// damaging other data.
struct RunBuffer {
    char *base;
    SIZE_T reserved;   // bytes of address space at base
    SIZE_T committed;  // bytes from base that may be used
};

static RunBuffer RawBuffer;
static RunBuffer ConvertedBuffer;

// The first reservation, and the least step beyond it: room for the
// messages of most mailboxes without a second one.
static const SIZE_T RESERVE_STEP = (SIZE_T)4 * 1024 * 1024;
static const SIZE_T RESERVE_GRAIN = (SIZE_T)64 * 1024;  // the system's allocation granularity

static void ReleaseBuffer(RunBuffer *buffer)
{
    if (buffer->base != NULL)
        VirtualFree(buffer->base, 0, MEM_RELEASE);
    buffer->base = NULL;
    buffer->reserved = buffer->committed = 0;
}

// A new reservation of at least `size` bytes, twice the old one when that is
// larger so that growing messages move it seldom; only `size` when the
// generous one cannot be had.  What the old one held is not kept.
static int MoveReservation(RunBuffer *buffer, SIZE_T size)
{
    SIZE_T wanted = buffer->reserved <= ((SIZE_T)-1) / 2 ? 2 * buffer->reserved : size;
    if (wanted < RESERVE_STEP)
        wanted = RESERVE_STEP;
    if (wanted < size)
        wanted = size;
    if (wanted <= ((SIZE_T)-1) - RESERVE_GRAIN)
        wanted = (wanted + RESERVE_GRAIN - 1) & ~(RESERVE_GRAIN - 1);
    ReleaseBuffer(buffer);
    void *base = VirtualAlloc(NULL, wanted, MEM_RESERVE, PAGE_NOACCESS);
    if (base == NULL && wanted != size) {
        wanted = size;
        base = VirtualAlloc(NULL, wanted, MEM_RESERVE, PAGE_NOACCESS);
    }
    if (base == NULL)
        return 0;
    buffer->base = (char *)base;
    buffer->reserved = wanted;
    return 1;
}

// Makes `buffer` hold at least `size` bytes.  What it held is kept while the
// reservation has room (committing pages leaves the committed ones as they
// are), and not kept when it has to move.
static int Reserve(RunBuffer *buffer, SIZE_T size)
{
    if (buffer->committed >= size)
        return 1;
    if (buffer->reserved < size && !MoveReservation(buffer, size))
        return 0;
    // Committing within the reservation gives back its own base address,
    // which the buffer already holds; ReleaseBuffer gives the whole of it back.
    // cppcheck-suppress leakReturnValNotUsed ; not a new allocation, see above
    if (VirtualAlloc(buffer->base, size, MEM_COMMIT, PAGE_READWRITE) == NULL)
        return 0;
    buffer->committed = size;
    return 1;
}

void GiveBackWinbiffBuffers(void)
{
    ReleaseBuffer(&RawBuffer);
    ReleaseBuffer(&ConvertedBuffer);
}

static int OutOfMemory(void)
{
    ShowMessage(IDS_OUT_OF_MEMORY, IDS_CAPTION_ERROR);
    return 0;
}

// The length of the zero-terminated text at `text` within `limit` bytes,
// `limit` when no zero is found there.  The C library's byte-by-byte
// search took a good part of a message's time, so the zero is looked for
// sixteen bytes at a time with SSE2 where the processor has it (every one
// that can run a 64-bit build) and eight at a time otherwise: the 32-bit
// program must still run on processors without SSE2.
#ifdef VESTIBAR_SSE2_CODE
__attribute__((target("sse2"))) static size_t TextLengthSse2(const char *text, size_t limit)
{
    size_t at = 0;
    const __m128i zero = _mm_setzero_si128();
    for (; limit - at >= 16; at += 16) {
        __m128i block = _mm_loadu_si128((const __m128i *)(text + at));
        unsigned zeros = (unsigned)_mm_movemask_epi8(_mm_cmpeq_epi8(block, zero));
        if (zeros != 0)
            return at + (size_t)__builtin_ctz(zeros);
    }
    while (at < limit && text[at] != '\0')
        at++;
    return at;
}
#endif

static size_t TextLengthWords(const char *text, size_t limit)
{
    size_t at = 0;
    const unsigned long long ones = 0x0101010101010101ull, highs = 0x8080808080808080ull;
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

static int ChooseSse2(void)
{
#ifdef VESTIBAR_SSE2_CODE
    char forced[8];
    DWORD length = GetEnvironmentVariableA("VESTIBAR_PORTABLE_CODE", forced, sizeof forced);
    if (length > 0 && !(length == 1 && forced[0] == '0'))
        return 0;
    return IsProcessorFeaturePresent(PF_XMMI64_INSTRUCTIONS_AVAILABLE) ? 1 : 0;
#else
    return 0;
#endif
}

static size_t TextLength(const char *text, size_t limit)
{
    if (Sse2Choice < 0)
        Sse2Choice = ChooseSse2();
#ifdef VESTIBAR_SSE2_CODE
    if (Sse2Choice)
        return TextLengthSse2(text, limit);
#endif
    return TextLengthWords(text, limit);
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
    // The raw message is no longer needed here.
    size_t header = MeasureHeaderBlock(converted);
    if (!Reserve(&RawBuffer, header + FLAGS_LINE_ROOM))
        return -1;
    char *block = RawBuffer.base;
    char *rest = (char *)InsertFlagsHeader(converted, block, unread);
    size_t lead = header + strlen(block + header);  // the header block and the flag line
    // The converter's text ends within its room; the end mark's room follows.
    char *end = ConvertedBuffer.base + ConvertedBuffer.committed - END_ROOM;
    size_t restLength = TextLength(rest, (size_t)(end - rest));
    char *entry = rest - lead;  // the flag line is shorter than FRONT_ROOM
    // The entry is written by its length; neither copy is to end in a zero.
    memcpy(entry, block, lead);  // NOLINT(bugprone-not-null-terminated-result)
    memcpy(rest + restLength, EndMark, END_ROOM);
    size_t length = lead + restLength + END_ROOM;
    return WriteExact(folder, entry, (DWORD)length, IDS_WRITE_DEST_FAILED);
}

int AppendWinbiffMessage(HANDLE mailbox, DWORD messageSize, int unread, HANDLE target)
{
    // Sizes that would wrap around 32 bits cannot be allocated.
    if (messageSize > (MAXDWORD - CONVERTED_ROOM) / 2)
        return OutOfMemory();
    if (!Reserve(&RawBuffer, (SIZE_T)messageSize + RAW_SLACK) ||
        !Reserve(&ConvertedBuffer, 2 * (SIZE_T)messageSize + CONVERTED_ROOM))
        return OutOfMemory();
    char *raw = RawBuffer.base;
    if (!ReadExact(mailbox, raw, messageSize, IDS_READ_SOURCE_FAILED))
        return 0;
    // From here the message is a zero-terminated text, as the converter's
    // interface wants it: a zero inside the message ends it there.
    raw[messageSize] = '\0';
    SetNkfOption(IsDlgButtonChecked(MainDialog, IDC_PREFER_KANA) == BST_CHECKED ? "Xs" : "s");
    // The converter gets its 2 x messageSize + 128 bytes after the front room.
    char *converted = ConvertedBuffer.base + FRONT_ROOM;
    NkfConvert(converted, raw);

    int written = WriteEntry(target, converted, unread);
    if (written < 0)
        return OutOfMemory();
    return written;
}
