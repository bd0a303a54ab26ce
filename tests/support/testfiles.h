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

// A symbolic link at `link` to `target`, planted by another process as an
// attacker would. Wine 8 makes no junctions or symbolic links through the
// Windows calls, but shows a host symbolic link to a folder as the reparse
// point Windows shows for a junction (one to a file looks like the file);
// so the host's ln makes it.
bool PlantSymbolicLink(const std::wstring& link, const std::wstring& target);
// Removes such a link, also where Windows calls cannot (Wine 8 deletes
// what a host link points to instead).
void RemoveSymbolicLink(const std::wstring& link);
