#include "engine/runprogram.h"

#include "app/handback.h"
#include "core/tempnames.h"
#include "core/xfile.h"
#include "payload/installsource.h"
#include "script/installsettings.h"
#include "script/pathmacros.h"
#include "script/scriptsections.h"

#include <shellapi.h>

#include <cstring>
#include <memory>

namespace {

// CreateProcessW's answer for a program whose manifest asks for rights it lacks.
constexpr DWORD ElevationRequired = 740;
const WCHAR RunElevatedMarker[] = L" -RUNELEVATED";
const WCHAR CannotInstallFormat[] = L"Cannot install '%s', disk may be full.";
const WCHAR CannotRunFormat[] = L"Error whilst running '%s'";
const char* const AdministratorLevels[] = {"level=requireadministrator", "level=\"requireadministrator\""};

void ShowError(HWND owner, const WCHAR* format, const WCHAR* what)
{
    XString message;
    message.Format(format, what);
    MessageBoxW(owner, message, MessageCaption(), MB_OK | MB_ICONERROR);
}

bool ContainsIgnoringAsciiCase(const uint8_t* bytes, size_t size, const char* text)
{
    size_t length = std::strlen(text);
    for (size_t at = 0; at + length <= size; ++at) {
        size_t i = 0;
        while (i < length) {
            uint8_t c = bytes[at + i];
            if (c >= 'A' && c <= 'Z')
                c = static_cast<uint8_t>(c - 'A' + 'a');
            if (c != static_cast<uint8_t>(text[i]))
                break;
            ++i;
        }
        if (i == length)
            return true;
    }
    return false;
}

// An executable whose embedded manifest asks for administrator rights must
// stay elevated; one that cannot be read stays too.
bool AsksForAdministrator(const XString& program)
{
    XFile file(program);
    file.Open(GENERIC_READ, OPEN_EXISTING, false);
    if (!file.IsOpen())
        return true;
    uint64_t size = file.Size();
    if (size > UINT32_MAX)
        return true;
    std::unique_ptr<uint8_t[]> bytes(new (std::nothrow) uint8_t[size ? size : 1]);
    if (!bytes || file.Read(bytes.get(), static_cast<uint32_t>(size)) != size)
        return true;
    for (const char* level : AdministratorLevels) {
        if (ContainsIgnoringAsciiCase(bytes.get(), static_cast<size_t>(size), level))
            return true;
    }
    return false;
}

bool IsExecutable(const XString& program)
{
    return program.GetExtension().Compare(L".exe", true) == 0;
}

// The archive item behind "<TempInstall>", unpacked to a temporary file
// whose name ends in "-" and the item's file name.
bool UnpackTempProgram(XString& program, HWND owner)
{
    XString item = program.MidFrom(static_cast<int>(std::strlen(TempInstallMarker)) + 1);
    if (item.CharAt(1) == L'\\')
        item.DeleteCharAt(1);
    XString placeholder;
    MakeTempFile(placeholder, "", "-");
    XString path = placeholder;
    path += item.GetFileName();
    InstallSource* source = Settings().installSource;
    bool unpacked = source && source->archive && source->archive->ExtractItem(item, path);
    ReleaseTempFile(placeholder);
    if (!unpacked) {
        ShowError(owner, CannotInstallFormat, item);
        return false;
    }
    program = path;
    return true;
}

// ShellExecuteExW with the given verb (null: the default one), then the
// started process may take the foreground and is waited for when asked.
bool ShellExecuteAndWait(const WCHAR* verb, const XString& file, const WCHAR* parameters, bool wait)
{
    SHELLEXECUTEINFOW info {};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS;
    info.lpVerb = verb;
    info.lpFile = file;
    info.lpParameters = parameters;
    info.nShow = SW_SHOWNORMAL;
    if (!ShellExecuteExW(&info))
        return false;
    if (info.hProcess) {
        AllowSetForegroundWindow(GetProcessId(info.hProcess));
        if (wait)
            WaitForSingleObject(info.hProcess, INFINITE);
        CloseHandle(info.hProcess);
    }
    return true;
}

bool StartInThisProcess(const XString& program, const XString& arguments, bool wait)
{
    XString commandLine = ProgramCommandLine(program, arguments);
    ExpandMacros(commandLine);
    if (LaunchProcess(commandLine, wait))
        return true;
    if (GetLastError() != ElevationRequired)
        return false;
    XString parameters = arguments;
    ExpandMacros(parameters);
    return LaunchElevated(program, parameters, wait);
}

} // namespace

// The program is quoted also without arguments: unquoted, Windows would
// try "C:\Apps\My.exe" before "C:\Apps\My Tool\tool.exe", and run
// whatever someone put there.
XString ProgramCommandLine(const XString& program, const XString& arguments)
{
    XString commandLine;
    if (arguments.IsEmpty())
        commandLine.Format(L"\"%s\"", program.Text());
    else
        commandLine.Format(L"\"%s\" %s", program.Text(), arguments.Text());
    return commandLine;
}

bool LaunchProcess(const XString& commandLine, bool wait)
{
    XString writable = commandLine; // CreateProcessW may write into the line
    STARTUPINFOW startup {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info {};
    if (!CreateProcessW(nullptr, const_cast<WCHAR*>(writable.Text()), nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS,
            nullptr, nullptr, &startup, &info))
        return false;
    if (wait)
        WaitForSingleObject(info.hProcess, INFINITE);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    return true;
}

bool LaunchElevated(const XString& program, const XString& parameters, bool wait)
{
    return ShellExecuteAndWait(L"runas", program, parameters, wait);
}

void RunProgram(const XString& program, const XString& arguments, bool wait, bool handBackAllowed, HWND owner)
{
    XString path = program;
    bool temporaryCopy = false;
    if (path.Find(XString(TempInstallMarker), 1) > 0) {
        if (!UnpackTempProgram(path, owner))
            return;
        temporaryCopy = true;
    }
    ExpandMacros(path);
    const bool executable = IsExecutable(path);
    const bool document = !executable && arguments.IsEmpty();
    XString args = arguments;

    if (handBackAllowed) {
        bool asUser = document || !AsksForAdministrator(path);
        if (temporaryCopy)
            asUser = false;
        if (args.Find(RunElevatedMarker, 1) > 0) {
            args.Replace(RunElevatedMarker, L"", false);
            asUser = false;
        }
        if (asUser) {
            XStringList block;
            block.AddString(HandBackRun);
            block.AddString(path);
            block.AddString(args);
            block.AddString(wait ? L"1" : L"0");
            WriteHandBackFile(block);
            return;
        }
    }

    bool started = document ? ShellExecuteAndWait(nullptr, path, nullptr, wait) : StartInThisProcess(path, args, wait);
    bool messageShown = false;
    if (!started && !Settings().silent) {
        ShowError(owner, CannotRunFormat, path);
        messageShown = true;
    }
    if (temporaryCopy && !document && !messageShown)
        DeleteFileW(path);
}
