#include "app/commandline.h"

#include "core/xfile.h"
#include "script/installsettings.h"
#include "script/pathmacros.h"

#include <cwchar>

namespace {

constexpr int ExecutablePathUnits = 1000;
const WCHAR AdministratorProbe[] = L"<Program Files>\\ZeltoInstaller.TMP";

XString Slice(const WCHAR* from, const WCHAR* to)
{
    XString text;
    text.Assign(from, static_cast<int>(to - from) + 1);
    return text;
}

bool EndsName(WCHAR c)
{
    return c == 0 || c == L'"' || c == L'=' || c == L' ';
}

const WCHAR* Find(const WCHAR* from, WCHAR c)
{
    return std::wcschr(from, c);
}

const WCHAR* End(const WCHAR* text)
{
    return text + std::wcslen(text);
}

// The rest of the line after `marker`, or null when the marker is absent.
const WCHAR* After(const WCHAR* commandLine, const WCHAR* marker)
{
    const WCHAR* at = std::wcsstr(commandLine, marker);
    return at ? at + std::wcslen(marker) : nullptr;
}

void DropLeading(XString& text, WCHAR c)
{
    if (text.CharAt(1) == c)
        text.DeleteCharAt(1);
}

void DropTrailing(XString& text, WCHAR c)
{
    if (!text.IsEmpty() && text.CharAt(text.Length()) == c)
        text.DropLast(1);
}

XString Unquoted(const WCHAR* rest)
{
    XString value(rest);
    DropLeading(value, L'"');
    DropTrailing(value, L'"');
    return value;
}

} // namespace

void SwitchList::Clear()
{
    names.DeleteAll();
    values.DeleteAll();
}

int SwitchList::IndexOfIsElevated() const
{
    for (int i = 0; i < names.Count(); ++i) {
        if (names.Get(i)->Compare(L"IsElevated", true) == 0)
            return i;
    }
    return -1;
}

void ParseSwitches(const WCHAR* line, SwitchList& switches)
{
    switches.Clear();
    // A quoted program path is skipped; an unquoted one is scanned too.
    const WCHAR* scan = line;
    if (*line == L'"') {
        const WCHAR* closing = Find(line + 1, L'"');
        scan = closing ? closing + 1 : line;
    }
    while (const WCHAR* dash = Find(scan, L'-')) {
        const WCHAR* name = dash + 1;
        if (*name == L'-')
            ++name;
        const WCHAR* nameEnd = name;
        while (!EndsName(*nameEnd))
            ++nameEnd;
        if (nameEnd == name) {
            if (*nameEnd == 0)
                return;
            scan = nameEnd + 1;
            continue;
        }
        const WCHAR* at = nameEnd;
        while (*at == L' ' || *at == L'=')
            ++at;
        XString value;
        if (*at == 0 || *at == L'-') {
            scan = at;
        } else if (*at == L'"') {
            const WCHAR* closing = Find(at + 1, L'"');
            if (closing) {
                value = Slice(at + 1, closing);
                scan = closing + 1;
            } else {
                scan = at + 1;
            }
        } else {
            const WCHAR* space = Find(at, L' ');
            const WCHAR* valueEnd = space ? space : End(at);
            value = Slice(at, valueEnd);
            scan = space ? space + 1 : valueEnd;
        }
        switches.names.AddString(Slice(name, nameEnd));
        switches.values.AddString(value);
    }
}

bool TakeOverHandBackPath(const SwitchList& switches)
{
    int index = switches.IndexOfIsElevated();
    Settings().handBackPath.Assign(index >= 0 ? switches.values.Get(index)->Text() : L"");
    return index >= 0;
}

bool HasRawSwitch(const WCHAR* commandLine, const WCHAR* text)
{
    return std::wcsstr(commandLine, text) != nullptr;
}

void ApplyCommandLineFlags(const WCHAR* commandLine)
{
    if (HasRawSwitch(commandLine, L"<Silent>") || HasRawSwitch(commandLine, L"--silent"))
        Settings().silent = true;
    if (HasRawSwitch(commandLine, L"--noautoreboot"))
        Settings().autoReboot = false;
}

bool IsUninstallCommandLine(const WCHAR* commandLine)
{
    return HasRawSwitch(commandLine, L"<uninstall>") || HasRawSwitch(commandLine, L"--uninstall=");
}

XString RecordPathFromCommand(const WCHAR* commandLine)
{
    XString path;
    if (const WCHAR* rest = After(commandLine, L"<uninstall>"))
        path = Unquoted(rest);
    if (path.IsEmpty()) {
        if (const WCHAR* rest = After(commandLine, L"--uninstall="))
            path = Unquoted(rest);
    }
    return path;
}

XString CommandLineInstallFolder(const WCHAR* commandLine)
{
    if (const WCHAR* rest = After(commandLine, L"--installto")) {
        XString folder(rest);
        DropLeading(folder, L'=');
        DropLeading(folder, L'"');
        DropTrailing(folder, L'"');
        return folder;
    }
    if (const WCHAR* rest = After(commandLine, L"<installto>"))
        return XString(rest);
    return XString();
}

XString OwnExecutablePath()
{
    WCHAR path[ExecutablePathUnits] = {};
    GetModuleFileNameW(nullptr, path, ExecutablePathUnits);
    if (path[0] != L'"')
        return XString(path);
    const WCHAR* closing = Find(path + 1, L'"');
    return closing ? Slice(path + 1, closing) : XString(path + 1);
}

XString OwnArguments(const WCHAR* commandLine)
{
    const WCHAR* rest = commandLine;
    if (*commandLine == L'"') {
        const WCHAR* closing = Find(commandLine + 1, L'"');
        if (closing)
            rest = closing + 1;
    } else if (*commandLine != 0) {
        const WCHAR* space = Find(commandLine + 1, L' ');
        if (space)
            rest = space + 1;
    }
    XString arguments(rest);
    while (!arguments.IsEmpty() && arguments.CharAt(arguments.Length()) == L' ')
        arguments.DropLast(1);
    arguments.TrimLeft();
    return arguments;
}

bool HasAdministratorRights()
{
    XString probe(AdministratorProbe);
    ExpandMacros(probe);
    bool writable = false;
    {
        XFile file(probe);
        file.Open(GENERIC_WRITE, CREATE_ALWAYS, false);
        writable = file.IsOpen();
    }
    DeleteFileW(probe);
    return writable;
}
