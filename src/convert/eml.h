// Export as numbered .eml files: every message of a mailbox copied byte for
// byte into a file of its own, named OutputBase + five-digit number + ".eml",
// numbered by RunState.messageNumber across all mailboxes of a run.
#ifndef VESTIBAR_EML_H
#define VESTIBAR_EML_H

#include <windows.h>

// Exports the mailbox `name` of SourceDir, through its index when it has a
// usable one.  Returns 1 when every message handed on was written, 0 after
// the first failure (already shown).
int ExportMailboxAsEml(const char *name);

// The MessageAction of this mode: creates the file for the current
// messageNumber (never overwriting one) and copies the message into it.
// `unread` and `target` are not used.
int WriteEmlMessage(HANDLE mailbox, DWORD messageSize, int unread, HANDLE target);

#endif
