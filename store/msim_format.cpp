#include "msim_format.h"

#include <cstring>

namespace msim {

bool HasMagic(const unsigned char* bytes, const char* magic)
{
    char text[kMagicSize + 1];
    std::memcpy(text, bytes, kMagicSize);
    text[kMagicSize] = '\0';
    return std::strcmp(text, magic) == 0;
}

RecordHead ParseRecordHead(const unsigned char (&head)[kRecordHeadSize])
{
    return {LoadU32(head + kRecordLengthAt), LoadU32(head + kMessageSizeAt)};
}

EntryHead ParseEntryHead(const unsigned char (&head)[kEntryHeadSize])
{
    return {head[kEntryFlagsAt], LoadU32(head + kEntryLengthAt)};
}

bool MakeIndexName(char* path, std::size_t length)
{
    if (length < 3)
        return false;
    // Three characters replaced in place; the path keeps whatever ends it.
    std::memcpy(path + length - 3, "idx", 3);  // NOLINT(bugprone-not-null-terminated-result)
    return true;
}

}  // namespace msim
