// libFuzzer target: InsertFlagsHeader on any text stays within the room that
// MeasureHeaderBlock promises, loses no byte and keeps the line ends.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "flags.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // The text ends at its first zero, as a converted message does.
    char *text = (char *)malloc(size + 1);
    memcpy(text, data, size);
    text[size] = '\0';
    size_t length = strlen(text);

    size_t measured = MeasureHeaderBlock(text);
    if (measured > length)
        abort();
    // Exactly the promised room: AddressSanitizer reports any byte past it.
    char *destination = (char *)malloc(measured + FLAGS_LINE_ROOM);
    const char *rest = InsertFlagsHeader(text, destination, size % 2);
    if (rest != text + measured)
        abort();
    size_t written = strlen(destination);
    const char *flag = size % 2 ? "X-winbiff-flags: Unseen\r\n" : "X-winbiff-flags: Seen\r\n";
    size_t flagLength = strlen(flag);
    // The header block, then the flag line: nothing else, nothing lost.
    if (written != measured + flagLength || memcmp(destination, text, measured) != 0 ||
        memcmp(destination + measured, flag, flagLength) != 0)
        abort();
    // The rest starts a line: at the zero, or at an empty line.
    if (*rest != '\0' && *rest != '\r' && *rest != '\n')
        abort();
    free(destination);
    free(text);
    return 0;
}
