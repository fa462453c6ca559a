#include "files.h"

#include <algorithm>

void RemoveTree(const std::string &dir)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((dir + "*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::string name = found.cFileName;
            if (name == "." || name == "..")
                continue;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(dir + name + "\\");
            else
                DeleteFileA((dir + name).c_str());
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
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
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return files;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            ReadBytes(folder + found.cFileName, &files[found.cFileName], FILE_SHARE_READ);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return files;
}

static void ListInto(const std::string &dir, const std::string &relative, std::vector<std::string> *names)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((dir + relative + "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        std::string name = found.cFileName;
        if (name == "." || name == "..")
            continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            ListInto(dir, relative + name + "\\", names);
        else
            names->push_back(relative + name);
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

std::vector<std::string> ListTree(const std::string &dir)
{
    std::vector<std::string> names;
    ListInto(dir, "", &names);
    std::sort(names.begin(), names.end());
    return names;
}
