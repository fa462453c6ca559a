#include "fileio.h"

#include "msgbox.h"
#include "resource.h"

static unsigned char CopyBuffer[COPY_BUFFER_SIZE];

// Reports a transfer that failed (the system's code) or moved fewer bytes
// than asked (code 0, as for the end of a file).
static int CheckTransfer(BOOL succeeded, DWORD done, DWORD count, UINT textId)
{
    if (!succeeded) {
        DWORD code = GetLastError();
        ShowSystemError(textId, IDS_CAPTION_ERROR, code);
        return 0;
    }
    if (done != count) {
        ShowSystemError(textId, IDS_CAPTION_ERROR, 0);
        return 0;
    }
    return 1;
}

int ReadExact(HANDLE file, void *buffer, DWORD count, UINT textId)
{
    DWORD done = 0;
    BOOL succeeded = ReadFile(file, buffer, count, &done, NULL);
    return CheckTransfer(succeeded, done, count, textId);
}

int WriteExact(HANDLE file, const void *buffer, DWORD count, UINT textId)
{
    // A write that moves only part of the bytes is carried on with the rest:
    // where the system writes what still fits on a full disk and reports
    // success (Wine does, as Unix does), only the next call fails, with the
    // reason, which the message must show rather than code 0 and the text
    // for success.  A write that moves nothing at all is reported as short.
    const char *bytes = (const char *)buffer;
    DWORD done = 0;
    BOOL succeeded = WriteFile(file, bytes, count, &done, NULL);
    while (succeeded && done > 0 && done < count) {
        bytes += done;
        count -= done;
        done = 0;
        succeeded = WriteFile(file, bytes, count, &done, NULL);
    }
    return CheckTransfer(succeeded, done, count, textId);
}

static int CopyPiece(HANDLE source, HANDLE destination, DWORD count)
{
    return ReadExact(source, CopyBuffer, count, IDS_READ_SOURCE_FAILED) &&
           WriteExact(destination, CopyBuffer, count, IDS_WRITE_DEST_FAILED);
}

int CopyBytes(HANDLE source, HANDLE destination, DWORD count)
{
    while (count > COPY_BUFFER_SIZE) {
        if (!CopyPiece(source, destination, COPY_BUFFER_SIZE))
            return 0;
        count -= COPY_BUFFER_SIZE;
    }
    // The last piece: 1 to 32768 bytes, or none for an empty message.
    return CopyPiece(source, destination, count);
}
