#include "core/xfile.h"

#include <cstring>

namespace {

const WCHAR ReadErrorCaption[] = L"File Read Error";
const WCHAR WriteErrorCaption[] = L"File Write Error";
const WCHAR LongPathPrefix[] = L"\\\\?\\";

XString QuotedMessage(const WCHAR* lead, const XString& name)
{
    XString message(lead);
    message += name;
    message += L"'";
    return message;
}

// The user decides: true means "try again".
bool AskRetry(const XString& message, const WCHAR* caption)
{
    return MessageBoxW(nullptr, message, caption, MB_RETRYCANCEL | MB_ICONINFORMATION) == IDRETRY;
}

bool StartsWith(const XString& text, const WCHAR* lead)
{
    int n = static_cast<int>(wcslen(lead));
    return text.Length() >= n && wcsncmp(text.Text(), lead, n) == 0;
}

XString WithoutTrailingBackslashes(const XString& path)
{
    XString result(path);
    result.StripTrailingBackslashes();
    return result;
}

} // namespace

XFile::XFile(HANDLE borrowed, const WCHAR* name)
    : name_(name)
    , handle_(borrowed)
    , showErrors_(0)
    , ownsHandle_(0)
{
}

XFile::~XFile()
{
    Close();
}

void XFile::Open(DWORD access, DWORD disposition, bool showErrors, DWORD share)
{
    showErrors_ = showErrors ? 1 : 0;
    ownsHandle_ = 1;
    const WCHAR* caption = (access & GENERIC_WRITE) ? WriteErrorCaption : ReadErrorCaption;
    for (;;) {
        if (!name_.IsEmpty()) {
            XString path = LongPath(name_, FileOpenPathLimit);
            handle_ = CreateFileW(path, access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
            if (handle_ != INVALID_HANDLE_VALUE)
                return;
        }
        if (!showErrors_ || !AskRetry(QuotedMessage(L"Unable to open '", name_), caption))
            return;
    }
}

bool XFile::OpenAlways(const WCHAR* name, DWORD access)
{
    Close();
    SetName(name);
    Open(access, OPEN_ALWAYS, true);
    return IsOpen();
}

void XFile::Close()
{
    if (handle_ != INVALID_HANDLE_VALUE && ownsHandle_)
        CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
}

uint32_t XFile::Read(void* buffer, uint32_t count)
{
    for (;;) {
        DWORD got = 0;
        if (IsOpen()) {
            SetLastError(0);
            if (ReadFile(handle_, buffer, count, &got, nullptr) && got == count)
                return got;
            // A short read with no error, or ERROR_HANDLE_EOF, is simply the end of the file.
            DWORD error = GetLastError();
            if (error == 0 || error == ERROR_HANDLE_EOF)
                return got;
        }
        if (!showErrors_ || !AskRetry(QuotedMessage(L"Unable to read from '", name_), ReadErrorCaption))
            return got;
    }
}

bool XFile::Write(const void* buffer, uint32_t count)
{
    if (!buffer) {
        if (count == 0)
            return true;
        if (showErrors_)
            MessageBoxW(nullptr, L"Error writing a NULL buffer to file", WriteErrorCaption, MB_OK | MB_ICONINFORMATION);
        return false;
    }
    for (;;) {
        DWORD written = 0;
        if (IsOpen() && WriteFile(handle_, buffer, count, &written, nullptr) && written == count)
            return true;
        if (!showErrors_ || !AskRetry(QuotedMessage(L"Unable to write to '", name_), WriteErrorCaption))
            return false;
    }
}

bool XFile::WriteLine(const char* text8, bool addLineEnd)
{
    uint32_t length = text8 ? static_cast<uint32_t>(strlen(text8)) : 0;
    bool written = Write(text8, length);
    if (addLineEnd)
        Write("\r\n", 2);
    return written;
}

bool XFile::Seek(int64_t offset, bool fromCurrent)
{
    if (!IsOpen())
        return false;
    LONG high = static_cast<LONG>(offset >> 32);
    SetLastError(NO_ERROR);
    DWORD low = SetFilePointer(handle_, static_cast<LONG>(offset & 0xFFFFFFFF), &high,
        fromCurrent ? FILE_CURRENT : FILE_BEGIN);
    return !(low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR);
}

uint64_t XFile::Size() const
{
    if (!IsOpen())
        return 0;
    DWORD high = 0;
    DWORD low = GetFileSize(handle_, &high);
    if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR)
        return 0;
    return (static_cast<uint64_t>(high) << 32) | low;
}

bool XFile::ReadLine(XString& out, bool wide)
{
    const uint32_t unitSize = wide ? 2 : 1;
    const WCHAR CR = 13;
    const WCHAR LF = 10;
    const WCHAR ByteOrderMark = 0xFEFF;
    out.Assign(L"");

    // Little-endian on the wire and in memory alike, so a unit reads straight into a WCHAR.
    auto readUnit = [&](WCHAR& unit) {
        unit = 0;
        unsigned char bytes[2] = {0, 0};
        if (Read(bytes, unitSize) < unitSize)
            return false;
        if (wide) {
            unit = static_cast<WCHAR>(bytes[0] | (bytes[1] << 8));
        } else if (bytes[0] != 0) {
            char byte = static_cast<char>(bytes[0]);
            if (MultiByteToWideChar(CP_ACP, 0, &byte, 1, &unit, 1) != 1)
                unit = 0;
        }
        return true;
    };

    WCHAR unit;
    while (readUnit(unit)) {
        if (unit == CR) {
            WCHAR next;
            if (!readUnit(next))
                break;
            if (next != LF)
                Seek(-static_cast<int64_t>(unitSize), true);
            return true;
        }
        if (unit == LF)
            return true;
        if (unit == 0 || (wide && unit == ByteOrderMark && out.IsEmpty()))
            continue;
        const WCHAR single[2] = {unit, 0};
        out.Append(single);
    }
    return !out.IsEmpty();
}

XString LongPath(const XString& path, int limit)
{
    if (StartsWith(path, L"\\\\") || path.Length() < limit)
        return path;
    XString result(LongPathPrefix);
    result += path;
    return result;
}

bool CreateFolderTree(const XString& path)
{
    XString p = LongPath(path, FolderPathLimit);
    if (p.IsEmpty())
        return false;
    int rootEnd = p.FindChar(L'\\', StartsWith(p, LongPathPrefix) ? 7 : 3);
    if (rootEnd == 0)
        return true; // a bare drive

    // Walk outward-in: each component is created under the parents made before it.
    XString folder = p.Left(rootEnd);
    XString rest = p.MidFrom(rootEnd + 1);
    int start = 1;
    while (start <= rest.Length()) {
        int end = rest.FindChar(L'\\', start);
        if (end == 0)
            end = rest.Length() + 1;
        if (end > start) {
            folder.Append(rest.Mid(start, end - 1));
            if (!CreateDirectoryW(folder, nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
                return false;
            folder.Append(L"\\");
        }
        start = end + 1;
    }
    return true;
}

bool RemoveFile(const XString& path)
{
    if (path.IsEmpty())
        return false;
    XString target = LongPath(path, FolderPathLimit);
    if (DeleteFileW(target))
        return true;
    if (GetLastError() != ERROR_ACCESS_DENIED)
        return false;
    ClearReadOnly(path);
    return DeleteFileW(target) != FALSE;
}

namespace {

bool IsLink(DWORD attributes)
{
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// A junction or symbolic link goes itself; what it points to stays.
bool RemoveLink(const XString& path, DWORD attributes)
{
    XString link = LongPath(WithoutTrailingBackslashes(path), FolderPathLimit);
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return RemoveDirectoryW(link) != FALSE;
    return DeleteFileW(link) != FALSE;
}

} // namespace

// Never enters a junction or symbolic link: someone else may have planted
// one in a folder the installer removes with administrator rights.
bool RemoveFolderTree(const XString& path, const WCHAR* mask)
{
    if (path.Length() < 3)
        return false;
    if (!mask)
        mask = L"*.*";
    DWORD attributes = GetFileAttributesW(LongPath(WithoutTrailingBackslashes(path), FolderPathLimit));
    if (IsLink(attributes))
        return RemoveLink(path, attributes);
    bool removedAll = true;
    FileFinder finder(path, mask);
    while (finder.Next()) {
        DWORD found = finder.Data().dwFileAttributes;
        bool removed = IsLink(found) ? RemoveLink(finder.Path(), found)
            : finder.IsFolder()      ? RemoveFolderTree(finder.Path(), mask)
                                     : RemoveFile(finder.Path());
        removedAll = removedAll && removed;
    }
    if (removedAll)
        RemoveDirectoryW(LongPath(WithoutTrailingBackslashes(path), FolderPathLimit));
    return removedAll;
}

bool PathExists(const XString& path)
{
    if (path.IsEmpty())
        return false;
    FileFinder finder(path);
    if (finder.Next())
        return true;
    XString root(path);
    root.EnsureTrailingBackslash();
    return GetDriveTypeW(root) != DRIVE_NO_ROOT_DIR;
}

uint64_t FileSizeOf(const XString& path)
{
    FileFinder finder(path);
    if (!finder.Next())
        return 0;
    return (static_cast<uint64_t>(finder.Data().nFileSizeHigh) << 32) | finder.Data().nFileSizeLow;
}

bool ClearReadOnly(const XString& path)
{
    FileFinder finder(path);
    if (!finder.Next())
        return false;
    DWORD attributes = finder.Data().dwFileAttributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
    return SetFileAttributesW(LongPath(path, FolderPathLimit), attributes) != FALSE;
}

FileFinder::FileFinder(const XString& folder, const WCHAR* mask)
    : pattern_(folder)
{
    pattern_.EnsureTrailingBackslash();
    pattern_.Append(mask ? mask : L"*.*");
}

FileFinder::FileFinder(const XString& path)
    : pattern_(WithoutTrailingBackslashes(path))
{
}

FileFinder::~FileFinder()
{
    if (find_ != INVALID_HANDLE_VALUE)
        FindClose(find_);
}

bool FileFinder::Next()
{
    for (;;) {
        if (find_ == INVALID_HANDLE_VALUE) {
            find_ = FindFirstFileW(LongPath(pattern_, FolderPathLimit), &data_);
            if (find_ == INVALID_HANDLE_VALUE)
                return false;
            // From here on the pattern only serves as the folder the entries live in.
            pattern_ = pattern_.Left(pattern_.ReverseFindChar(L'\\'));
        } else if (!FindNextFileW(find_, &data_)) {
            return false;
        }
        const WCHAR* name = data_.cFileName;
        if (name[0] == 0)
            return false;
        if (wcscmp(name, L".") == 0 || wcscmp(name, L"..") == 0)
            continue;
        path_ = pattern_;
        path_.Append(name);
        return true;
    }
}
