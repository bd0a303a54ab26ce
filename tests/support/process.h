// Programs a test starts: helper roles of the test program itself, small
// helper programs of the test build, the installer runtime.
#pragma once

#include <windows.h>

#include <string>

// This test program's path, and its folder with a trailing backslash, where
// the build puts the helper programs and the runtime.
std::wstring OwnProgramPath();
std::wstring ProgramFolder();

// A started program, ended by force if it is still running when the test
// lets go of it.
class ChildProcess {
public:
    // The program's path is quoted on its command line; the arguments follow
    // as given. Started() tells whether the start succeeded.
    explicit ChildProcess(const std::wstring& program, const std::wstring& arguments = L"");
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Started() const { return info_.hProcess != nullptr; }
    HANDLE Handle() const { return info_.hProcess; }
    DWORD Id() const { return info_.dwProcessId; }
    bool HasEnded(DWORD waitMs = 0) const;
    // The exit code, or STILL_ACTIVE when the program is still running
    // after waitMs.
    DWORD ExitCode(DWORD waitMs) const;
    void Kill();

private:
    PROCESS_INFORMATION info_ {};
};
