#include "bytes.h"

#include <stdio.h>
#include <string.h>

uint32_t GetU32(const unsigned char *bytes)
{
    return (uint32_t)bytes[0] | (uint32_t)bytes[1] << 8 | (uint32_t)bytes[2] << 16 |
           (uint32_t)bytes[3] << 24;
}

bool HasMagic(const unsigned char *bytes, const char *magic)
{
    char text[5];
    memcpy(text, bytes, 4);
    text[4] = '\0';
    return strcmp(text, magic) == 0;
}

int JoinPath(char *destination, size_t capacity, const char *first, size_t firstCapacity,
             const char *second)
{
    if (capacity == 0)
        return 0;
    destination[0] = '\0';
    // A buffer that lost its zero is never read past its end.
    const char *firstEnd = (const char *)memchr(first, '\0', firstCapacity);
    if (firstEnd == NULL)
        return 0;
    size_t firstLength = (size_t)(firstEnd - first);
    size_t secondLength = strlen(second);
    if (firstLength >= capacity || secondLength >= capacity - firstLength)
        return 0;
    memcpy(destination, first, firstLength);
    memcpy(destination + firstLength, second, secondLength + 1);
    return 1;
}

int MakeIndexPath(char *path)
{
    size_t length = strlen(path);
    if (length < 3)
        return 0;
    // Three characters replaced in place; the path keeps its terminating zero.
    memcpy(path + length - 3, "idx", 3);  // NOLINT(bugprone-not-null-terminated-result)
    return 1;
}

int FormatEmlPath(char *destination, size_t capacity, const char *prefix, size_t prefixCapacity,
                  int number)
{
    char name[32];  // "-2147483648.eml" at most
    snprintf(name, sizeof name, "%05d.eml", number);
    return JoinPath(destination, capacity, prefix, prefixCapacity, name);
}
