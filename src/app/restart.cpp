#include "app/restart.h"

#include "script/installsettings.h"

namespace {

// Texts, time-outs and flags belong together: 40 seconds with the newer
// call, 30 with the older one.
const WCHAR NewerMessage[] = L"System Restarting in 40 seconds";
constexpr DWORD NewerGracePeriod = 40;
constexpr DWORD RestartFlags = 0x84; // SHUTDOWN_RESTART | SHUTDOWN_RESTARTAPPS
constexpr DWORD InstallationReason = 0x30002; // SHTDN_REASON_MAJOR_SOFTWARE | SHTDN_REASON_MINOR_INSTALLATION
const WCHAR OlderMessage[] = L"System Restarting in 30 seconds";
constexpr DWORD OlderTimeout = 30;

using InitiateShutdownFunction = DWORD(WINAPI*)(LPWSTR, LPWSTR, DWORD, DWORD, DWORD);

InitiateShutdownFunction FindInitiateShutdown()
{
    HMODULE advapi = LoadLibraryW(L"advapi32.dll");
    return advapi ? reinterpret_cast<InitiateShutdownFunction>(
                        reinterpret_cast<void*>(GetProcAddress(advapi, "InitiateShutdownW")))
                  : nullptr;
}

ShutdownCalls windowsCalls;
ShutdownCalls* calls = &windowsCalls;

// None of the results is looked at: without the privilege Windows refuses,
// and that refusal is as quiet as everything else here.
void EnableShutdownPrivilege()
{
    HANDLE process = OpenProcess(PROCESS_ALL_ACCESS, FALSE, GetCurrentProcessId());
    HANDLE token = nullptr;
    if (process && OpenProcessToken(process, TOKEN_ADJUST_PRIVILEGES, &token)) {
        TOKEN_PRIVILEGES privileges {};
        privileges.PrivilegeCount = 1;
        privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
        LookupPrivilegeValueW(nullptr, L"SeShutdownPrivilege", &privileges.Privileges[0].Luid);
        AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
        CloseHandle(token);
    }
    if (process)
        CloseHandle(process);
}

} // namespace

bool ShutdownCalls::HasInitiateShutdown()
{
    return FindInitiateShutdown() != nullptr;
}

DWORD ShutdownCalls::AskInitiateShutdown(const WCHAR* message, DWORD gracePeriod, DWORD flags, DWORD reason)
{
    InitiateShutdownFunction initiate = FindInitiateShutdown();
    return initiate ? initiate(nullptr, const_cast<WCHAR*>(message), gracePeriod, flags, reason) : ERROR_PROC_NOT_FOUND;
}

BOOL ShutdownCalls::AskInitiateSystemShutdown(const WCHAR* message, DWORD timeout, BOOL forceAppsClosed, BOOL reboot)
{
    return InitiateSystemShutdownW(nullptr, const_cast<WCHAR*>(message), timeout, forceAppsClosed, reboot);
}

void UseShutdownCalls(ShutdownCalls* replacement)
{
    calls = replacement ? replacement : &windowsCalls;
}

void RestartWindows()
{
    if (Settings().silent && !Settings().autoReboot)
        return;
    EnableShutdownPrivilege();
    if (calls->HasInitiateShutdown())
        calls->AskInitiateShutdown(NewerMessage, NewerGracePeriod, RestartFlags, InstallationReason);
    else
        calls->AskInitiateSystemShutdown(OlderMessage, OlderTimeout, FALSE, TRUE);
    PostQuitMessage(0);
}
