#include "textcut.h"

bool IsShiftJisLeadByte(unsigned char byte)
{
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

size_t CopyTextCut(char *destination, size_t capacity, const char *source)
{
    size_t length = 0;
    while (source[length] != '\0') {
        size_t step = 1;
        if (IsShiftJisLeadByte((unsigned char)source[length]) && source[length + 1] != '\0')
            step = 2;
        // One byte of the capacity is kept for the terminating zero.
        if (length + step > capacity - 1)
            break;
        for (size_t i = 0; i < step; i++)
            destination[length + i] = source[length + i];
        length += step;
    }
    destination[length] = '\0';
    return length;
}
