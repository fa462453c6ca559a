// Text operations on the fixed path buffers.  Portable: no Win32 here, so
// they also run in the native build under the sanitizers.  Paths are tested
// byte by byte: a byte 0x5C is a backslash wherever it stands.
#ifndef VESTIBAR_PATHTEXT_H
#define VESTIBAR_PATHTEXT_H

#include <stddef.h>

// Appends `tail` to the zero-terminated text in `buffer` (capacity bytes).
// Returns 1, or 0 and leaves the buffer unchanged when the result and its
// zero would not fit.
int AppendText(char *buffer, size_t capacity, const char *tail);

// Appends a backslash unless the text ends in one already (an empty text
// gets one).  Returns 0 and leaves the buffer unchanged when it is full.
int EnsureTrailingBackslash(char *buffer, size_t capacity);

// Splits a path at its last backslash: the part after it (the bare file
// name) is copied into `name` (nameCapacity bytes) and `path` is cut just
// behind the backslash, keeping it.  A path without a backslash goes into
// `name` whole and `path` becomes empty.  Returns 0 and changes nothing when
// the name does not fit.
int SplitAtLastBackslash(char *path, char *name, size_t nameCapacity);

// True when the text ends in ".mbx", each letter in either case.
bool HasMailboxExtension(const char *path);

#endif
