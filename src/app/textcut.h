// Cutting Shift_JIS text to a buffer's size.  Portable: no Win32 here, so the
// helper also runs in the native build under the sanitizers.
#ifndef VESTIBAR_TEXTCUT_H
#define VESTIBAR_TEXTCUT_H

#include <stddef.h>

// True for a byte that starts a two-byte character in code page 932.
bool IsShiftJisLeadByte(unsigned char byte);

// Copies the zero-terminated `source` into `destination` (capacity bytes,
// capacity >= 1), keeping as many whole characters as fit before the zero.
// A lead byte is never separated from its trail byte; a lead byte that ends
// the text has no trail and counts alone.  Returns the length copied.
size_t CopyTextCut(char *destination, size_t capacity, const char *source);

#endif
