#include "pathtext.h"

#include <string.h>

int AppendText(char *buffer, size_t capacity, const char *tail)
{
    size_t length = strlen(buffer);
    size_t tailLength = strlen(tail);
    if (length >= capacity || tailLength >= capacity - length)
        return 0;
    memcpy(buffer + length, tail, tailLength + 1);
    return 1;
}

int EnsureTrailingBackslash(char *buffer, size_t capacity)
{
    size_t length = strlen(buffer);
    if (length > 0 && buffer[length - 1] == '\\')
        return 1;
    return AppendText(buffer, capacity, "\\");
}

int SplitAtLastBackslash(char *path, char *name, size_t nameCapacity)
{
    const char *slash = strrchr(path, '\\');
    const char *start = slash ? slash + 1 : path;
    size_t nameLength = strlen(start);
    if (nameLength >= nameCapacity)
        return 0;
    memcpy(name, start, nameLength + 1);
    path[start - path] = '\0';
    return 1;
}

bool HasMailboxExtension(const char *path)
{
    size_t length = strlen(path);
    if (length < 4)
        return false;
    const char *end = path + length - 4;
    return end[0] == '.' && (end[1] == 'M' || end[1] == 'm') && (end[2] == 'B' || end[2] == 'b') &&
           (end[3] == 'X' || end[3] == 'x');
}
