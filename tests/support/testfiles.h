// Scratch files for tests: a private folder in the prefix's temporary
// folder, removed with everything in it when the test ends.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    // Ends in a backslash.
    const std::wstring& Path() const { return path_; }
    std::wstring operator/(const std::wstring& name) const { return path_ + name; }

private:
    std::wstring path_;
};

void WriteBytes(const std::wstring& path, const std::string& bytes);
std::string ReadBytes(const std::wstring& path);
bool FileExists(const std::wstring& path);
bool FolderExists(const std::wstring& path);
// Names in a folder (ending in a backslash), sorted, without "." and "..".
std::vector<std::wstring> FolderEntries(const std::wstring& folder);
void RemoveTree(const std::wstring& path);
