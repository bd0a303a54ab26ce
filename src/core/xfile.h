// XFile: the installer's only way to read and write files, and the free
// helpers that work on paths (long-path rule, folder trees, deletion of
// read-only files, existence and size queries, directory enumeration).
#pragma once

#include "core/xstring.h"

#include <cstdint>

constexpr int FileOpenPathLimit = 260;
constexpr int FolderPathLimit = 248;

class XFile {
public:
    XFile() = default;
    explicit XFile(const WCHAR* name) : name_(name) {}
    // Borrows a handle that belongs to someone else: no messages, no close.
    XFile(HANDLE borrowed, const WCHAR* name);
    ~XFile();
    XFile(const XFile&) = delete;
    XFile& operator=(const XFile&) = delete;

    void SetName(const WCHAR* name) { name_.Assign(name); }
    const XString& Name() const { return name_; }
    HANDLE Handle() const { return handle_; }
    bool IsOpen() const { return handle_ != INVALID_HANDLE_VALUE; }

    // Others may read and write the file while it is open, unless `share`
    // says otherwise.
    void Open(DWORD access, DWORD disposition, bool showErrors, DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE);
    bool OpenAlways(const WCHAR* name, DWORD access);
    void Close();
    uint32_t Read(void* buffer, uint32_t count);
    bool Write(const void* buffer, uint32_t count);
    bool WriteLine(const char* text8, bool addLineEnd);
    bool Seek(int64_t offset, bool fromCurrent);
    uint64_t Size() const;
    bool ReadLine(XString& out, bool wide);

private:
    XString name_;
    HANDLE handle_ = INVALID_HANDLE_VALUE;
    uint8_t showErrors_ = 0;
    uint8_t ownsHandle_ = 1;
};

XString LongPath(const XString& path, int limit);
bool CreateFolderTree(const XString& path);
bool RemoveFile(const XString& path);
bool RemoveFolderTree(const XString& path, const WCHAR* mask = L"*.*");
bool PathExists(const XString& path);
uint64_t FileSizeOf(const XString& path);
bool ClearReadOnly(const XString& path);

class FileFinder {
public:
    FileFinder(const XString& folder, const WCHAR* mask);
    explicit FileFinder(const XString& path);
    ~FileFinder();
    FileFinder(const FileFinder&) = delete;
    FileFinder& operator=(const FileFinder&) = delete;

    bool Next();
    const XString& Path() const { return path_; }
    const WIN32_FIND_DATAW& Data() const { return data_; }
    bool IsFolder() const { return (data_.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }

private:
    XString path_;
    WIN32_FIND_DATAW data_ {};
    HANDLE find_ = INVALID_HANDLE_VALUE;
    XString pattern_;
};
