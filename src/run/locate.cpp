#include "locate.h"

#include <string.h>

#include "msgbox.h"
#include "pathtext.h"
#include "resource.h"
#include "state.h"

static const char WinbiffKey[] = "Software\\Orangesoft\\Winbiff\\Recent File List";
static const char ImKey[] = "Software\\Microsoft\\Internet Mail and News";
static const char NoSetting[] = "NoSetting";

static int KeyOpens(const char *keyName)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, keyName, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
        return 0;
    RegCloseKey(key);
    return 1;
}

// Reads a string value into a path buffer.  The registry does not promise a
// terminating zero (a value may fill all 256 bytes, or be stored without
// one), so the buffer is cleared first and a value that leaves no zero in it
// counts as unreadable rather than running into the next buffer.
static int QueryPath(const char *keyName, const char *valueName, char *buffer)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, keyName, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
        return 0;
    memset(buffer, 0, PATH_BUFFER_SIZE);
    DWORD size = PATH_BUFFER_SIZE;
    LONG status = RegQueryValueExA(key, valueName, NULL, NULL, (BYTE *)buffer, &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS || memchr(buffer, '\0', PATH_BUFFER_SIZE) == NULL) {
        buffer[0] = '\0';
        return 0;
    }
    return buffer[0] != '\0';
}

int IsWinbiffInstalled(void)
{
    return KeyOpens(WinbiffKey);
}

int IsImInstalled(void)
{
    return KeyOpens(ImKey);
}

int ReadWinbiffIniPath(void)
{
    return QueryPath(WinbiffKey, "File1", WinbiffIniPath);
}

int ReadImStoreRoot(void)
{
    return QueryPath(ImKey, "Store Root", SourceDir);
}

int ReadWinbiffUserDirectory(void)
{
    GetPrivateProfileStringA("CONFIG", "UserDirectory", NoSetting, OutputBase, PATH_BUFFER_SIZE,
                             WinbiffIniPath);
    if (strcmp(OutputBase, NoSetting) == 0)
        return 0;
    // A directory of 255 bytes leaves no room for the backslash; it could
    // not take the output folder either.
    return EnsureTrailingBackslash(OutputBase, PATH_BUFFER_SIZE);
}

static int MsImWindowOpen(void)
{
    return FindWindowA("CabinetWClass", "Internet Mail") != NULL;
}

int LocateImStore(void)
{
    if (!IsImInstalled()) {
        ShowMessage(IDS_IM_NOT_INSTALLED, IDS_CAPTION_REGISTRY);
        return 0;
    }
    if (MsImWindowOpen())
        return ChooseSourceDir();
    // A store root too long to take "\Mail\" is as unusable as a missing one.
    if (!ReadImStoreRoot() || !EnsureTrailingBackslash(SourceDir, PATH_BUFFER_SIZE) ||
        !AppendText(SourceDir, PATH_BUFFER_SIZE, "Mail\\")) {
        ShowMessage(IDS_IM_STORE_UNKNOWN, IDS_CAPTION_REGISTRY);
        return 0;
    }
    return 1;
}

int CheckWinbiffReady(void)
{
    if (!IsWinbiffInstalled()) {
        ShowMessage(IDS_WINBIFF_NOT_INSTALLED, IDS_CAPTION_REGISTRY);
        return 0;
    }
    if (FindWindowA("WINBIFF", NULL) != NULL) {
        ShowMessage(IDS_WINBIFF_RUNNING, IDS_CAPTION_ERROR);
        return 0;
    }
    if (!ReadWinbiffIniPath()) {
        ShowMessage(IDS_WINBIFF_MAILBOX_INVALID, IDS_CAPTION_SETTINGS);
        return 0;
    }
    if (!ReadWinbiffUserDirectory()) {
        ShowMessage(IDS_WINBIFF_STORE_UNKNOWN, IDS_CAPTION_REGISTRY);
        return 0;
    }
    return 1;
}
