#include "bytes.h"

#include <stdio.h>
#include <string.h>

#include "msim_format.h"

uint32_t GetU32(const unsigned char *bytes)
{
    return msim::LoadU32(bytes);
}

bool HasMagic(const unsigned char *bytes, const char *magic)
{
    return msim::HasMagic(bytes, magic);
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
    return msim::MakeIndexName(path, strlen(path)) ? 1 : 0;
}

int FormatEmlPath(char *destination, size_t capacity, const char *prefix, size_t prefixCapacity,
                  int number)
{
    char name[32];  // "-2147483648.eml" at most
    snprintf(name, sizeof name, "%05d.eml", number);
    return JoinPath(destination, capacity, prefix, prefixCapacity, name);
}
