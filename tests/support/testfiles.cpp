#include "testfiles.h"

#include <algorithm>
#include <functional>
#include <stdexcept>

namespace {

std::wstring TempPath()
{
    WCHAR buffer[MAX_PATH + 1];
    DWORD n = GetTempPathW(MAX_PATH + 1, buffer);
    if (n == 0 || n > MAX_PATH)
        throw std::runtime_error("no temporary folder");
    return buffer;
}

} // namespace

ScratchFolder::ScratchFolder()
{
    static LONG counter = 0;
    for (int attempt = 0; attempt < 1000; ++attempt) {
        std::wstring candidate = TempPath() + L"zelto-test-" + std::to_wstring(GetCurrentProcessId()) + L"-"
            + std::to_wstring(InterlockedIncrement(&counter)) + L"\\";
        if (CreateDirectoryW(candidate.c_str(), nullptr)) {
            path_ = candidate;
            return;
        }
    }
    throw std::runtime_error("cannot create a scratch folder");
}

ScratchFolder::~ScratchFolder()
{
    RemoveTree(path_);
}

void WriteBytes(const std::wstring& path, const std::string& bytes)
{
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        throw std::runtime_error("cannot create test file");
    DWORD written = 0;
    BOOL ok = WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(h);
    if (!ok || written != bytes.size())
        throw std::runtime_error("cannot write test file");
}

std::string ReadBytes(const std::wstring& path)
{
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        throw std::runtime_error("cannot open test file");
    std::string bytes;
    char chunk[65536];
    DWORD got = 0;
    while (ReadFile(h, chunk, sizeof chunk, &got, nullptr) && got > 0)
        bytes.append(chunk, got);
    CloseHandle(h);
    return bytes;
}

bool FileExists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool FolderExists(const std::wstring& path)
{
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

void RemoveTree(const std::wstring& path)
{
    if (path.empty())
        return;
    std::wstring folder = path;
    if (folder.back() != L'\\')
        folder += L'\\';
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((folder + L"*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = data.cFileName;
            if (name == L"." || name == L"..")
                continue;
            std::wstring child = folder + name;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(child);
            } else {
                SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(child.c_str());
            }
        } while (FindNextFileW(find, &data));
        FindClose(find);
    }
    RemoveDirectoryW(folder.c_str());
}

std::vector<std::wstring> FolderEntries(const std::wstring& folder)
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((folder + L"*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return names;
    do {
        std::wstring name = data.cFileName;
        if (name != L"." && name != L"..")
            names.push_back(name);
    } while (FindNextFileW(find, &data));
    FindClose(find);
    std::sort(names.begin(), names.end());
    return names;
}

namespace {

constexpr DWORD LinkPatienceMs = 30000;

// Wine's name for a Windows path on the host system.
std::string HostPath(const std::wstring& path)
{
    using UnixFileName = char*(CDECL*)(const WCHAR*);
    auto unixFileName = reinterpret_cast<UnixFileName>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (!unixFileName)
        return "";
    char* name = unixFileName(path.c_str());
    std::string result = name ? name : "";
    HeapFree(GetProcessHeap(), 0, name);
    return result;
}

std::wstring WideFromHost(const std::string& text)
{
    return std::wstring(text.begin(), text.end());
}

} // namespace

// Runs a host command and waits until `done` says it has had its effect.
bool RunHostCommand(const std::wstring& commandLine, const std::function<bool()>& done)
{
    std::wstring writable = commandLine;
    STARTUPINFOW startup {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info {};
    if (!CreateProcessW(nullptr, &writable[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
        return false;
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    // Wine cannot wait for a host process; its effect shows when it is done.
    for (DWORD start = GetTickCount(); GetTickCount() - start < LinkPatienceMs; Sleep(20)) {
        if (done())
            return true;
    }
    return false;
}

bool PlantSymbolicLink(const std::wstring& link, const std::wstring& target)
{
    std::string linkPath = HostPath(link);
    std::string targetPath = HostPath(target);
    if (linkPath.empty() || targetPath.empty())
        return false;
    return RunHostCommand(L"Z:\\bin\\ln -s \"" + WideFromHost(targetPath) + L"\" \"" + WideFromHost(linkPath) + L"\"",
        [&] { return FileExists(link); });
}

void RemoveSymbolicLink(const std::wstring& link)
{
    std::string linkPath = HostPath(link);
    if (!linkPath.empty() && FileExists(link))
        RunHostCommand(L"Z:\\bin\\rm -f \"" + WideFromHost(linkPath) + L"\"", [&] { return !FileExists(link); });
}
