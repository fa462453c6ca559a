#include "flags.h"

#include <string.h>

// Line by line: a line that starts with CR, LF or the zero ends the header
// block; inside a line, LF ends it, CR LF ends it, a lone CR is an ordinary
// byte, and the zero ends the text (a last line without its line end).
size_t MeasureHeaderBlock(const char *converted)
{
    size_t at = 0;
    for (;;) {
        char first = converted[at];
        if (first == '\0' || first == '\r' || first == '\n')
            return at;
        for (;;) {
            char c = converted[at];
            // cppcheck-suppress knownConditionTrueFalse ; false for the line's first character only
            if (c == '\0')
                return at;
            at++;
            if (c == '\n')
                break;
            if (c == '\r' && converted[at] == '\n') {
                at++;
                break;
            }
        }
    }
}

const char *InsertFlagsHeader(const char *converted, char *destination, int unread)
{
    static const char FlagsLine[] = "X-winbiff-flags: ";
    size_t length = MeasureHeaderBlock(converted);
    memcpy(destination, converted, length);
    char *out = destination + length;
    memcpy(out, FlagsLine, sizeof FlagsLine - 1);
    out += sizeof FlagsLine - 1;
    const char *value = unread ? "Unseen\r\n" : "Seen\r\n";
    size_t valueLength = strlen(value);
    memcpy(out, value, valueLength + 1);
    return converted + length;
}
