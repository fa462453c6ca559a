// MS-IM mailbox (*.mbx, "JMF6") and index (*.idx, "JMF9") files: opening a
// mailbox, probing for its index and the two walks over its messages.
//
// The caller opens the mailbox, probes the index, runs exactly one walk
// (WalkIndexEntries when ProbeIndex gave a file, WalkRecords otherwise) and
// closes the index and the mailbox.  Every failure is shown where it is met;
// the operations then return 0 (or INVALID_HANDLE_VALUE) and callers only
// unwind.
#ifndef VESTIBAR_MAILBOX_H
#define VESTIBAR_MAILBOX_H

#include <windows.h>

#include "msim_format.h"

// The layout is the store reader's (msim_format.h); these are its names here.
enum {
    MAILBOX_FIRST_RECORD = msim::kMailboxHeaderSize,
    INDEX_FIRST_ENTRY = msim::kIndexHeaderSize,
    ENTRY_DELETED = msim::kEntryDeleted,
    ENTRY_UNREAD = msim::kEntryUnread
};

// What an output mode does with one message.  Called with the mailbox
// standing at the message's first byte, its size, whether it is unread, and
// the `target` that the mode handed to the walk.  Returns 1 to go on, 0 to
// stop the walk (after showing its own failure).
typedef int (*MessageAction)(HANDLE mailbox, DWORD messageSize, int unread, HANDLE target);

// Makes `bar`, the progress bar of a run's window, take the walks' steps
// without painting each of them (see mailbox.cpp); its position and range
// answer as the control's own.  Until the bar is destroyed.
void InstallBarStepping(HWND bar);

// Opens SourceDir + name for exclusive reading.  On failure shows message 51
// and returns INVALID_HANDLE_VALUE; a path too long for its buffer fails
// with code ERROR_FILENAME_EXCED_RANGE.
HANDLE OpenMailbox(const char *name);

// The index beside the mailbox `name`, open and standing right after its
// magic, or INVALID_HANDLE_VALUE.  Shows at most message 54 (index shorter
// than its magic or unreadable); never makes the mailbox fail.
HANDLE ProbeIndex(const char *name);

// Record after record through the mailbox: every message, `unread` set.
int WalkRecords(HANDLE mailbox, MessageAction action, HANDLE target);

// Entry after entry through the index that ProbeIndex returned; entries
// marked deleted are left out while RunState.skipDeleted is set, otherwise
// handed on and counted in RunState.deletedCount.
int WalkIndexEntries(HANDLE mailbox, HANDLE index, MessageAction action, HANDLE target);

// Runs the walk that fits: WalkIndexEntries when `index` is a file (and
// then closes it), WalkRecords otherwise.  The mailbox stays open.
int WalkMailbox(HANDLE mailbox, HANDLE index, MessageAction action, HANDLE target);

#endif
