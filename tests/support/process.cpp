#include "process.h"

namespace {

constexpr DWORD KillPatienceMs = 10000;

} // namespace

std::wstring OwnProgramPath()
{
    WCHAR path[MAX_PATH] = {};
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    return std::wstring(path, length);
}

std::wstring ProgramFolder()
{
    std::wstring path = OwnProgramPath();
    return path.substr(0, path.rfind(L'\\') + 1);
}

ChildProcess::ChildProcess(const std::wstring& program, const std::wstring& arguments)
{
    std::wstring commandLine = L"\"" + program + L"\"" + (arguments.empty() ? L"" : L" " + arguments);
    STARTUPINFOW startup {};
    startup.cb = sizeof startup;
    if (CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info_))
        CloseHandle(info_.hThread);
    else
        info_ = PROCESS_INFORMATION {};
}

ChildProcess::~ChildProcess()
{
    if (!info_.hProcess)
        return;
    if (!HasEnded())
        Kill();
    CloseHandle(info_.hProcess);
}

bool ChildProcess::HasEnded(DWORD waitMs) const
{
    return info_.hProcess && WaitForSingleObject(info_.hProcess, waitMs) == WAIT_OBJECT_0;
}

DWORD ChildProcess::ExitCode(DWORD waitMs) const
{
    DWORD code = STILL_ACTIVE;
    if (HasEnded(waitMs))
        GetExitCodeProcess(info_.hProcess, &code);
    return code;
}

void ChildProcess::Kill()
{
    if (info_.hProcess) {
        TerminateProcess(info_.hProcess, 1);
        WaitForSingleObject(info_.hProcess, KillPatienceMs);
    }
}
