// The installer runtime's entry point: decides which role this process
// plays and hands over to it. Every run ends with exit code 0.
#include "app/commandline.h"
#include "app/handback.h"
#include "app/roles.h"
#include "payload/installsource.h"
#include "script/installsettings.h"

#include <windows.h>
#include <objbase.h>

namespace {

const WCHAR RightsMessage[] =
    L"Installer requires Administrator rights, change this account to an Administrator, then retry the install.";

// An installer is started from a downloads folder full of other files: no
// DLL may be loaded from there by accident. Windows 7 without its update
// lacks the call, and keeps its default order.
void RestrictDllSearchToSystemFolder()
{
    using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);
    auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesFunction>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories")));
    if (setDefault)
        setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
    SetDllDirectoryW(L"");
}

bool IsWow64()
{
    using IsWow64ProcessFunction = BOOL(WINAPI*)(HANDLE, PBOOL);
    auto isWow64Process = reinterpret_cast<IsWow64ProcessFunction>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "IsWow64Process")));
    BOOL wow64 = FALSE;
    return isWow64Process && isWow64Process(GetCurrentProcess(), &wow64) && wow64;
}

// The installer's roles, once uninstall mode was ruled out: container,
// elevated copy with the wizard, or the user's process that relaunches.
void RunAsInstaller(const SwitchList& switches)
{
    CoInitialize(nullptr);
    bool elevatedCopy = switches.IndexOfIsElevated() >= 0;
    if (elevatedCopy && !HasAdministratorRights()) {
        MessageBoxW(nullptr, RightsMessage, MessageCaption(), MB_OK | MB_ICONERROR);
        return;
    }
    InstallSource source;
    bool failed = false;
    source.Prepare(failed);
    Settings().installSource = &source;
    if (!failed && !RunContainerInstall()) {
        if (elevatedCopy) {
            TakeOverHandBackPath(switches);
            RememberParentProcess();
            RunInstallWizard();
        } else {
            RelaunchElevatedAndReplay();
        }
        CoUninitialize();
    }
    Settings().installSource = nullptr;
    source.Release();
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    RestrictDllSearchToSystemFolder();
    const WCHAR* commandLine = GetCommandLineW();
    SwitchList switches;
    ParseSwitches(commandLine, switches);
    ApplyCommandLineFlags(commandLine);
    Settings().wow64 = IsWow64();
    if (IsUninstallCommandLine(commandLine))
        RunUninstaller(RecordPathFromCommand(commandLine));
    else
        RunAsInstaller(switches);
    switches.Clear();
    return 0;
}
