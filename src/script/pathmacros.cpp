// The path macros of the setup script, replaced in a fixed order: the
// install folder ("<Destination>") may itself hold the macros after it.
#include "script/pathmacros.h"

#include "core/registry.h"
#include "payload/installsource.h"
#include "script/installsettings.h"

#include <shlobj.h>

namespace {

constexpr int FolderUnits = MAX_PATH;
const WCHAR CurrentVersionKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion";

XString WithBackslash(const WCHAR* folder)
{
    XString text(folder);
    text.EnsureTrailingBackslash();
    return text;
}

XString SystemFolder()
{
    WCHAR folder[FolderUnits] = {};
    GetSystemDirectoryW(folder, FolderUnits);
    return WithBackslash(folder);
}

// 32-bit Windows has no WOW64 folder: its system folder serves.
XString SystemWow64Folder()
{
    WCHAR folder[FolderUnits] = {};
    GetSystemDirectoryW(folder, FolderUnits);
    GetSystemWow64DirectoryW(folder, FolderUnits);
    return WithBackslash(folder);
}

XString WindowsFolder()
{
    WCHAR folder[FolderUnits] = {};
    GetWindowsDirectoryW(folder, FolderUnits);
    return WithBackslash(folder);
}

// A 32-bit process reads the 32-bit program folder from "ProgramFilesDir";
// 64-bit mode wants the 64-bit one.
XString ProgramFilesFolder()
{
    XString folder;
    if (Settings().mode64Bit)
        folder = RegReadString(HKEY_LOCAL_MACHINE, CurrentVersionKey, L"ProgramW6432Dir");
    if (folder.IsEmpty())
        folder = RegReadString(HKEY_LOCAL_MACHINE, CurrentVersionKey, L"ProgramFilesDir");
    return WithBackslash(folder);
}

class ShellAllocator {
public:
    ShellAllocator()
    {
        if (FAILED(SHGetMalloc(&malloc_)))
            malloc_ = nullptr;
    }
    ~ShellAllocator()
    {
        if (malloc_)
            malloc_->Release();
    }
    ShellAllocator(const ShellAllocator&) = delete;
    ShellAllocator& operator=(const ShellAllocator&) = delete;

    void Free(void* block) const
    {
        if (malloc_)
            malloc_->Free(block);
    }

private:
    IMalloc* malloc_ = nullptr;
};

// Empty when the folder is not available on this machine.
XString SpecialFolder(int csidl)
{
    ShellAllocator allocator;
    WCHAR folder[FolderUnits] = {};
    LPITEMIDLIST items = nullptr;
    if (SUCCEEDED(SHGetSpecialFolderLocation(nullptr, csidl, &items)) && items) {
        if (!SHGetPathFromIDListW(items, folder))
            folder[0] = L'\0';
        allocator.Free(items);
    }
    return XString(folder);
}

void ReplaceSpecialFolder(XString& text, const WCHAR* macro, int csidl, const WCHAR* below = L"")
{
    XString folder = SpecialFolder(csidl);
    if (folder.IsEmpty())
        return;
    folder.EnsureTrailingBackslash();
    folder += below;
    text.Replace(macro, folder, true);
}

} // namespace

void ExpandMacros(XString& text)
{
    text.Replace(L"<System>", SystemFolder(), true);
    text.Replace(L"<SystemWOW64>", SystemWow64Folder(), true);
    text.Replace(L"<Windows>", WindowsFolder(), true);
    text.Replace(L"<Destination>", WithBackslash(Settings().installFolder), true);
    text.Replace(L"<Program Files>", ProgramFilesFolder(), true);
    ReplaceSpecialFolder(text, L"<Startup>", CSIDL_STARTUP);
    ReplaceSpecialFolder(text, L"<Start Programs>", CSIDL_COMMON_PROGRAMS);
    ReplaceSpecialFolder(text, L"<DeskTop>", CSIDL_DESKTOPDIRECTORY);
    ReplaceSpecialFolder(text, L"<QuickLaunch>", CSIDL_APPDATA, L"Microsoft\\Internet Explorer\\Quick Launch\\");
    ReplaceSpecialFolder(text, L"<MyDocuments>", CSIDL_PERSONAL);
    if (const InstallSource* source = Settings().installSource)
        text.Replace(L"<Source>", source->TempFolderPath(), true);

    // Macros may be written with or without a backslash after them; the
    // doubled one collapses, but a network path keeps its leading pair.
    bool networkPath = text.CharAt(1) == L'\\' && text.CharAt(2) == L'\\'; // positions count from 1
    text.Replace(L"\\\\", L"\\", false);
    if (networkPath)
        text.PrependChar(L'\\');
}
