// Byte and path helpers of the mailbox reader.  Portable: no Win32 here, so
// they also run in the native build under the sanitizers.
#ifndef VESTIBAR_BYTES_H
#define VESTIBAR_BYTES_H

#include <stddef.h>
#include <stdint.h>

// The unsigned 32-bit value of four bytes, least significant first: the
// byte order of every number in MS-IM's files.
uint32_t GetU32(const unsigned char *bytes);

// True when four bytes, read as a zero-terminated string, equal `magic`
// ("JMF6", "JMF9"): a zero among the bytes ends the string early, so the
// bytes match only when they are exactly the four characters.
bool HasMagic(const unsigned char *bytes, const char *magic);

// Writes `first` followed by `second` into `destination` (capacity bytes).
// `first` is a buffer of firstCapacity bytes that must hold its zero.
// Returns 1, or 0 with an empty destination when the whole path and its zero
// do not fit: a path cut short would name another file.
int JoinPath(char *destination, size_t capacity, const char *first, size_t firstCapacity,
             const char *second);

// The index file beside a mailbox: the last three bytes of `path` replaced
// by "idx", whatever they are (Inbox.mbx gives Inbox.idx, INBOX.MBX gives
// INBOX.idx).  Returns 0 and leaves the path alone when it is shorter than
// three bytes.
int MakeIndexPath(char *path);

// The path of an exported message: `prefix` (a buffer of prefixCapacity
// bytes), then `number` with at least five digits, zero-padded, then ".eml".
// Returns 0 with an empty destination when it does not fit `capacity`.
int FormatEmlPath(char *destination, size_t capacity, const char *prefix, size_t prefixCapacity,
                  int number);

#endif
