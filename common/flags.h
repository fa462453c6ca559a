// The header line that WinBiff reads a message's seen state from, inserted
// at the end of a converted message's header block.  Portable: no Win32
// here, so the Windows program and the native exporter write the same entry,
// and it runs natively under the sanitizers and the fuzzer.
#ifndef VESTIBAR_FLAGS_H
#define VESTIBAR_FLAGS_H

#include <stddef.h>

enum {
    // "X-winbiff-flags: Unseen\r\n" and the terminating zero.
    FLAGS_LINE_ROOM = 26
};

// The number of bytes of `converted` that InsertFlagsHeader copies: its
// header lines up to the first empty line, or the whole text when it has
// none.  `destination` must hold this plus FLAGS_LINE_ROOM bytes.
size_t MeasureHeaderBlock(const char *converted);

// Copies the header block of the zero-terminated `converted` into
// `destination`, adds "X-winbiff-flags: Seen" or "Unseen" with CR LF and a
// terminating zero, and returns where in `converted` the copy stopped (the
// empty line that ends the header block, or the terminating zero).
const char *InsertFlagsHeader(const char *converted, char *destination, int unread);

#endif
