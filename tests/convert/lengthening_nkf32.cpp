// A stand-in NKF32.dll for the tests: a converter that lengthens the header
// block, as another NKF32.dll placed beside the program may.  It keeps within
// what the program gives it (2 x input + 127 bytes before the zero): it puts
// one line of exactly LENGTHENING_PREFIX_SIZE bytes in front, naming the
// option string it was last given, and writes every header line twice; the
// text from the first empty line on is copied unchanged.
#include <windows.h>

#include <string.h>

#define NKF32_BUILDING_DLL
#include "nkf32.h"

#include "lengthening_nkf32.h"

static char Option[LENGTHENING_OPTION_ROOM];

extern "C" void WINAPI SetNkfOption(const char *options)
{
    size_t length = strlen(options);
    if (length >= sizeof Option)
        length = sizeof Option - 1;
    memcpy(Option, options, length);
    Option[length] = '\0';
}

extern "C" void WINAPI NkfConvert(char *output, const char *input)
{
    char *out = output;
    // "X-Converter-Option: <option>", dots up to the size, CR LF.
    size_t head = sizeof LENGTHENING_PREFIX_NAME - 1;
    memcpy(out, LENGTHENING_PREFIX_NAME, head);
    size_t option = strlen(Option);
    memcpy(out + head, Option, option);
    memset(out + head + option, '.', LENGTHENING_PREFIX_SIZE - 2 - head - option);
    memcpy(out + LENGTHENING_PREFIX_SIZE - 2, "\r\n", 2);
    out += LENGTHENING_PREFIX_SIZE;

    // Header lines, each twice: a line runs to its LF or to the zero; one
    // that starts with CR or LF ends the header block.
    const char *at = input;
    while (*at != '\0' && *at != '\r' && *at != '\n') {
        const char *end = at;
        while (*end != '\0' && *end != '\n')
            end++;
        if (*end == '\n')
            end++;
        size_t length = (size_t)(end - at);
        memcpy(out, at, length);
        memcpy(out + length, at, length);
        out += 2 * length;
        at = end;
    }
    strcpy(out, at);
}
