// Files for the tests and the tools beside them (the demo's driver, the
// benchmark), and the registry.  Nothing here asserts, so that programs without GoogleTest can
// use it.  Folder names end in a backslash.
#ifndef VESTIBAR_TEST_FILES_H
#define VESTIBAR_TEST_FILES_H

#include <windows.h>

#include <map>
#include <string>
#include <vector>

// Removes `dir` with everything in it; what cannot be removed stays.
void RemoveTree(const std::string &dir);
// The whole file.  `share` 0 opens it only when nobody else holds it open,
// FILE_SHARE_READ only when nobody holds it open for writing.
bool ReadBytes(const std::string &path, std::string *bytes, DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE);
// The files of `folder`, not of its subfolders, by name, with their bytes
// (read with FILE_SHARE_READ; empty where that fails).
std::map<std::string, std::string> FolderFiles(const std::string &folder);
// Every file below `dir`, as paths relative to it, sorted.
std::vector<std::string> ListTree(const std::string &dir);
// Makes the key under HKEY_CURRENT_USER and sets the string `value` in it
// (nothing when NULL).
bool SetUserString(const char *key, const char *value, const std::string &data);

#endif
