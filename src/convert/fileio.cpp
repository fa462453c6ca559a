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
    DWORD done = 0;
    BOOL succeeded = WriteFile(file, buffer, count, &done, NULL);
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
