// Conversion into a WinBiff folder file: every message of a mailbox
// converted to Shift_JIS by NKF32.dll, given its X-winbiff-flags line and
// followed by a line that holds a single dot.
#ifndef VESTIBAR_WINBIFF_H
#define VESTIBAR_WINBIFF_H

#include <windows.h>

// Converts the mailbox `name` of SourceDir into the folder file OutputBase +
// name without its last four characters.  Returns 1 when every message
// handed on was appended, 0 after the first failure (already shown).
int ConvertMailboxToWinbiff(const char *name);

// The MessageAction of this mode; `target` is the open folder file.
int AppendWinbiffMessage(HANDLE mailbox, DWORD messageSize, int unread, HANDLE target);

// Gives back the message buffers that the conversions keep from one message
// and one mailbox to the next; a run calls it when it ends.
void GiveBackWinbiffBuffers(void);

#endif
