#include "msgbox.h"

#include <stdarg.h>

#include "state.h"
#include "textcut.h"

// wsprintfA never writes more than 1024 characters and the zero.
enum { WSPRINTF_LIMIT = 1025 };

static const char FallbackFormat[] = "Undefined String Resource. ID=<%d>";

static int LoadText(UINT id, char *buffer, int size)
{
    return LoadStringA(AppInstance, id, buffer, size);
}

static int ShowFallback(UINT textId)
{
    char text[MESSAGE_TEXT_SIZE];
    wsprintfA(text, FallbackFormat, (int)textId);
    ShowBox(text, NULL, STYLE_WARNING);
    return 0;
}

// Formats into a scratch buffer large enough for anything wsprintfA can make,
// then keeps what fits a message buffer without splitting a double-byte
// character.  A path or a system description can make the text longer than
// the box's 255 bytes.
static void Compose(char *text, const char *format, ...)
{
    char composed[WSPRINTF_LIMIT];
    va_list args;
    va_start(args, format);
    wvsprintfA(composed, format, args);
    va_end(args);
    CopyTextCut(text, MESSAGE_TEXT_SIZE, composed);
}

// Loads the caption into `buffer` (the format's buffer, no longer needed) and
// shows the box: without a caption the system shows its own and, for the
// summaries, the information icon gives way to the error icon.
static int ShowComposed(const char *text, UINT captionId, char *buffer, UINT styleWithCaption)
{
    if (LoadText(captionId, buffer, MESSAGE_TEXT_SIZE) > 0)
        ShowBox(text, buffer, styleWithCaption);
    else
        ShowBox(text, NULL, STYLE_ERROR);
    return 1;
}

int ShowMessage(UINT textId, UINT captionId)
{
    char text[MESSAGE_TEXT_SIZE];
    char caption[MESSAGE_TEXT_SIZE];
    if (LoadText(textId, text, sizeof text) == 0)
        return ShowFallback(textId);
    return ShowComposed(text, captionId, caption, STYLE_ERROR);
}

int ShowSystemError(UINT textId, UINT captionId, DWORD code)
{
    char format[MESSAGE_TEXT_SIZE];
    char text[MESSAGE_TEXT_SIZE];
    char description[MESSAGE_TEXT_SIZE];
    if (LoadText(textId, format, sizeof format) == 0)
        return ShowFallback(textId);
    // IGNORE_INSERTS: some descriptions hold %1-style inserts, and no
    // arguments are passed for them.  A code without a description (or one
    // too long for the buffer) leaves the line empty.
    if (FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, NULL, code, 0,
                       description, sizeof description, NULL) == 0)
        description[0] = '\0';
    Compose(text, format, (int)code, description);
    return ShowComposed(text, captionId, format, STYLE_ERROR);
}

int ShowMessageWithText(UINT textId, UINT captionId, const char *argument)
{
    char format[MESSAGE_TEXT_SIZE];
    char text[MESSAGE_TEXT_SIZE];
    char shortened[MESSAGE_TEXT_SIZE];
    if (LoadText(textId, format, sizeof format) == 0)
        return ShowFallback(textId);
    // Whatever of the argument lies beyond 255 bytes could never be shown,
    // and cutting it first keeps the composition within wsprintfA's limit.
    CopyTextCut(shortened, sizeof shortened, argument);
    Compose(text, format, shortened);
    return ShowComposed(text, captionId, format, STYLE_ERROR);
}

int ShowSummary(UINT textId, UINT captionId, int first, int second)
{
    char format[MESSAGE_TEXT_SIZE];
    char text[MESSAGE_TEXT_SIZE];
    if (LoadText(textId, format, sizeof format) == 0)
        return ShowFallback(textId);
    Compose(text, format, first, second);
    return ShowComposed(text, captionId, format, STYLE_INFORMATION);
}

int ShowSummaryWithDeleted(UINT textId, UINT captionId, int first, int second, int third)
{
    char format[MESSAGE_TEXT_SIZE];
    char text[MESSAGE_TEXT_SIZE];
    if (LoadText(textId, format, sizeof format) == 0)
        return ShowFallback(textId);
    Compose(text, format, first, second, third);
    return ShowComposed(text, captionId, format, STYLE_INFORMATION);
}
