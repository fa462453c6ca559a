// Reading and writing an exact number of bytes, each failure reported where
// it happens with the message id that names the file.
#ifndef VESTIBAR_FILEIO_H
#define VESTIBAR_FILEIO_H

#include <windows.h>

#include "bytes.h"

enum { COPY_BUFFER_SIZE = 32768 };

// One ReadFile call for `count` bytes.  Returns 1 when all of them arrived;
// otherwise shows message `textId` with the system's code, or with code 0
// when the call moved fewer bytes (end of file), and returns 0.
int ReadExact(HANDLE file, void *buffer, DWORD count, UINT textId);

// The same with WriteFile; a call that writes part of the bytes is followed
// by another for the rest, so that a full disk is reported with its reason.
int WriteExact(HANDLE file, const void *buffer, DWORD count, UINT textId);

// Copies `count` bytes from the current position of `source` to the current
// position of `destination` in pieces of at most COPY_BUFFER_SIZE bytes
// (reads report message 53, writes 55).  Stops at the first failure.  Uses
// the one static CopyBuffer, so it is not reentrant.
int CopyBytes(HANDLE source, HANDLE destination, DWORD count);

#endif
