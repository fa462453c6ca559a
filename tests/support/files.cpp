#include "files.h"

#include <algorithm>

// Calls `visit(name, isFolder)` for every entry of `dir` but "." and "..".
template <typename Visit> static void ForEachEntry(const std::string &dir, Visit visit)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((dir + "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        std::string name = found.cFileName;
        if (name != "." && name != "..")
            visit(name, (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0);
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

void RemoveTree(const std::string &dir)
{
    ForEachEntry(dir, [&](const std::string &name, bool folder) {
        if (folder)
            RemoveTree(dir + name + "\\");
        else
            DeleteFileA((dir + name).c_str());
    });
    RemoveDirectoryA(dir.c_str());
}

bool ReadBytes(const std::string &path, std::string *bytes, DWORD share)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, share, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    bytes->clear();
    char buffer[65536];
    DWORD got = 0;
    bool ok;
    while ((ok = ReadFile(file, buffer, sizeof buffer, &got, NULL) != 0) && got > 0)
        bytes->append(buffer, got);
    CloseHandle(file);
    return ok;
}

std::map<std::string, std::string> FolderFiles(const std::string &folder)
{
    std::map<std::string, std::string> files;
    ForEachEntry(folder, [&](const std::string &name, bool subfolder) {
        if (!subfolder)
            ReadBytes(folder + name, &files[name], FILE_SHARE_READ);
    });
    return files;
}

static void ListInto(const std::string &dir, const std::string &relative, std::vector<std::string> *names)
{
    ForEachEntry(dir + relative, [&](const std::string &name, bool folder) {
        if (folder)
            ListInto(dir, relative + name + "\\", names);
        else
            names->push_back(relative + name);
    });
}

std::vector<std::string> ListTree(const std::string &dir)
{
    std::vector<std::string> names;
    ListInto(dir, "", &names);
    std::sort(names.begin(), names.end());
    return names;
}

bool SetUserString(const char *keyName, const char *value, const std::string &data)
{
    HKEY key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, keyName, 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key, NULL) != ERROR_SUCCESS)
        return false;
    LONG set = value ? RegSetValueExA(key, value, 0, REG_SZ, (const BYTE *)data.c_str(), (DWORD)data.size() + 1) : 0;
    RegCloseKey(key);
    return set == ERROR_SUCCESS;
}
