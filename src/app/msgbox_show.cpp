#include "msgbox.h"

int ShowBox(const char *text, const char *caption, UINT style)
{
    return MessageBoxA(NULL, text, caption, style);
}
