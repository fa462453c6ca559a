#include "beside_program.h"

#include <windows.h>

std::string BesideProgram(const std::string &name)
{
    if (name.size() > 1 && (name[1] == ':' || name[0] == '\\' || name[0] == '/'))
        return name;
    char self[MAX_PATH];
    DWORD length = GetModuleFileNameA(NULL, self, sizeof self);
    std::string folder(self, length < sizeof self ? length : 0);
    return folder.substr(0, folder.find_last_of("\\/") + 1) + name;
}
