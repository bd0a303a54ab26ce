#include "app/handback.h"

#include "core/xfile.h"
#include "script/installsettings.h"

#include <windows.h>
#include <tlhelp32.h>

namespace {

constexpr int CreateAttempts = 50;
constexpr DWORD CreateRetryMs = 100;
constexpr DWORD ConsumedPollMs = 250;
constexpr DWORD WriterHeadStartMs = 500;
constexpr int DeleteAttempts = 10;
constexpr DWORD DeleteRetryMs = 100;
constexpr int LinesAfterHeader = 3;

class OwnedHandle {
public:
    OwnedHandle() = default;
    ~OwnedHandle() { Reset(nullptr); }
    OwnedHandle(const OwnedHandle&) = delete;
    OwnedHandle& operator=(const OwnedHandle&) = delete;

    void Reset(HANDLE handle)
    {
        if (handle_)
            CloseHandle(handle_);
        handle_ = handle;
    }
    HANDLE Get() const { return handle_; }

private:
    HANDLE handle_ = nullptr;
};

// Held open for the whole run, so that its process id cannot be reused.
OwnedHandle parentProcess;

uint64_t CreationTime(HANDLE process)
{
    FILETIME created {};
    FILETIME unused[3];
    if (!GetProcessTimes(process, &created, &unused[0], &unused[1], &unused[2]))
        return 0;
    return (static_cast<uint64_t>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
}

DWORD ParentProcessId()
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return 0;
    DWORD self = GetCurrentProcessId();
    DWORD parent = 0;
    PROCESSENTRY32W entry {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        if (entry.th32ProcessID == self) {
            parent = entry.th32ParentProcessID;
            break;
        }
    }
    CloseHandle(snapshot);
    return parent;
}

bool IsHeader(const XString& line)
{
    return line.Compare(HandBackRun, false) == 0 || line.Compare(HandBackDword, false) == 0
        || line.Compare(HandBackString, false) == 0;
}

bool WriteBlock(XFile& file, const XStringList& lines)
{
    const WCHAR LineEnd[] = L"\r\n";
    for (int i = 0; i < lines.Count(); ++i) {
        const XString& line = *lines.Get(i);
        if (!file.Write(line.Text(), static_cast<uint32_t>(line.Length()) * sizeof(WCHAR))
            || !file.Write(LineEnd, 2 * sizeof(WCHAR)))
            return false;
    }
    return true;
}

// Ends with the parent's answer (the file deleted) or with the parent itself.
void WaitUntilConsumed(const XString& path)
{
    while (PathExists(path)) {
        if (!parentProcess.Get()) {
            Sleep(ConsumedPollMs);
            continue;
        }
        if (WaitForSingleObject(parentProcess.Get(), ConsumedPollMs) == WAIT_OBJECT_0) {
            // Nobody is left to read it.
            RemoveFile(path);
            return;
        }
    }
}

} // namespace

void RememberParentProcess()
{
    DWORD id = ParentProcessId();
    HANDLE parent = id ? OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id) : nullptr;
    // A parent that ended before this look may have passed its id on to a
    // younger process, which is not ours to wait for.
    if (parent && CreationTime(parent) > CreationTime(GetCurrentProcess())) {
        CloseHandle(parent);
        parent = nullptr;
    }
    parentProcess.Reset(parent);
}

void WriteHandBackFile(const XStringList& blockLines)
{
    const XString& path = Settings().handBackPath;
    for (int attempt = 0; attempt < CreateAttempts; ++attempt) {
        XFile file(path);
        file.Open(GENERIC_WRITE, CREATE_ALWAYS, false);
        if (file.IsOpen()) {
            WriteBlock(file, blockLines);
            break;
        }
        Sleep(CreateRetryMs);
    }
    WaitUntilConsumed(path);
}

void ReplayHandBackFile(const XString& path, BlockHandler carryOut, void* context)
{
    // A block being written is complete by then.
    Sleep(WriterHeadStartMs);
    if (!PathExists(path))
        return;
    {
        XFile file(path);
        file.Open(GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING, false);
        XString line;
        while (file.IsOpen() && file.ReadLine(line, true)) {
            if (!IsHeader(line))
                continue;
            XStringList block;
            block.AddString(line);
            for (int i = 0; i < LinesAfterHeader && file.ReadLine(line, true); ++i)
                block.AddString(line);
            // A block cut short by the end of the file is not carried out.
            if (block.Count() == 1 + LinesAfterHeader)
                carryOut(block, context);
        }
    }
    for (int attempt = 0; attempt < DeleteAttempts && !RemoveFile(path); ++attempt)
        Sleep(DeleteRetryMs);
}
