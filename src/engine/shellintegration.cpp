#include "engine/shellintegration.h"

#include "core/comptr.h"
#include "core/registry.h"
#include "core/xfile.h"
#include "engine/runprogram.h"
#include "script/installsettings.h"
#include "script/pathmacros.h"

#include <shlobj.h>

namespace {

const WCHAR AppPathsFormat[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\%s";
const WCHAR RegsvrFormat[] = L"\"<Windows>\\system32\\regsvr32.exe\" /s \"%s\"";

XString Expanded(const XString& text)
{
    XString copy = text;
    ExpandMacros(copy);
    return copy;
}

bool HasExtension(const XString& path, const WCHAR* extension)
{
    return path.GetExtension().Compare(extension, true) == 0;
}

bool CreateShellLink(ComPointer<IShellLinkW>& link)
{
    return SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.Receive()));
}

// The COM server's own registration; a DLL this 32-bit process cannot load
// (a 64-bit one, say) is left to regsvr32.
void RegisterServer(const XString& path)
{
    HMODULE module = LoadLibraryW(path);
    if (!module) {
        XString commandLine;
        commandLine.Format(RegsvrFormat, path.Text());
        ExpandMacros(commandLine);
        LaunchProcess(commandLine, true);
        return;
    }
    using RegisterFunction = HRESULT(STDAPICALLTYPE*)();
    auto registerServer = reinterpret_cast<RegisterFunction>(
        reinterpret_cast<void*>(GetProcAddress(module, "DllRegisterServer")));
    if (registerServer)
        registerServer();
    FreeLibrary(module);
}

} // namespace

// The folder is taken from the expanded target: in "<Destination>app.exe"
// the folder lies inside the macro, and the unexpanded line has none.
ShortcutSpec ScriptShortcut(const XString& target, const XString& arguments)
{
    ShortcutSpec spec;
    spec.target = target;
    spec.arguments = arguments;
    spec.workingFolder = Expanded(target).GetFolder();
    spec.mask = ShortcutSpec::Arguments | ShortcutSpec::WorkingFolder;
    return spec;
}

HRESULT CreateShortcut(const XString& shortcutFile, const ShortcutSpec& spec)
{
    XString file = Expanded(shortcutFile);
    CreateFolderTree(file.GetFolder());
    ComPointer<IShellLinkW> link;
    HRESULT result = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.Receive());
    if (FAILED(result))
        return result;
    link->SetPath(Expanded(spec.target));
    if (spec.mask & ShortcutSpec::Arguments)
        link->SetArguments(Expanded(spec.arguments));
    if (spec.mask & ShortcutSpec::Description)
        link->SetDescription(spec.description);
    if (spec.mask & ShortcutSpec::Icon)
        link->SetIconLocation(Expanded(spec.iconFile), spec.iconIndex);
    if (spec.mask & ShortcutSpec::WorkingFolder)
        link->SetWorkingDirectory(Expanded(spec.workingFolder));
    if (spec.mask & ShortcutSpec::ShowCommand)
        link->SetShowCmd(spec.showCommand);
    if (spec.mask & ShortcutSpec::Hotkey)
        link->SetHotkey(spec.hotkey);
    ComPointer<IPersistFile> persist;
    result = link->QueryInterface(IID_IPersistFile, persist.Receive());
    if (FAILED(result))
        return result;
    return persist->Save(file, TRUE);
}

bool ResolveShortcut(const XString& shortcutFile, XString& target)
{
    target.Assign(L"");
    XString file = Expanded(shortcutFile);
    if (!PathExists(file))
        return false;
    ComPointer<IShellLinkW> link;
    ComPointer<IPersistFile> persist;
    if (!CreateShellLink(link) || FAILED(link->QueryInterface(IID_IPersistFile, persist.Receive())))
        return false;
    // Mode 1 (STGM_WRITE), as shortcuts have always been loaded here; the
    // shell link reads the file either way.
    persist->Load(file, STGM_WRITE);
    WCHAR path[MAX_PATH] = {};
    WIN32_FIND_DATAW found {};
    link->GetPath(path, MAX_PATH, &found, 0);
    target.Assign(path);
    return true;
}

void QueueDllRegistration(const XString& path)
{
    if (HasExtension(path, L".dll") || HasExtension(path, L".ocx"))
        Settings().dllRegistrations.AddString(path);
}

void RegisterDlls()
{
    XStringList& queued = Settings().dllRegistrations;
    for (int i = 0; i < queued.Count(); ++i)
        RegisterServer(*queued.Get(i));
    queued.DeleteAll();
}

XString AppPathKey(const XString& fileName)
{
    return XString::Formatted(AppPathsFormat, fileName.Text());
}

void RegisterAppPath(const XString& path)
{
    XString program = Expanded(path);
    if (!HasExtension(program, L".exe"))
        return;
    XString key = AppPathKey(program.GetFileName());
    RegWriteString(program, L"", HKEY_LOCAL_MACHINE, key);
    RegWriteString(program.GetFolder(), L"Path", HKEY_LOCAL_MACHINE, key);
}
