#include "engine/fileplacement.h"

#include "core/sysquery.h"
#include "core/tempnames.h"
#include "core/xfile.h"
#include "engine/shellintegration.h"
#include "payload/installsource.h"
#include "script/installsettings.h"
#include "script/pathmacros.h"

#include <memory>

namespace {

const WCHAR CorruptedFileMessage[] = L"This installation file is corrupted, please obtain a new copy.";
const WCHAR InUseMessage[] =
    L"Unable to replace file(s) in use, uninstall existing version, restart Windows and reinstall.";
const WCHAR DiskFullFormat[] = L"Cannot install '%s', disk may be full.";

bool Contains(const XString& text, const WCHAR* part)
{
    return text.Find(part, 1) > 0;
}

bool Listed(const XStringList& list, const XString& name)
{
    return list.Contains(name, true);
}

XString Decorated(const XString& destination, const WCHAR* decoration)
{
    XString name = destination.StripExtension();
    name += decoration;
    name += destination.GetExtension();
    return name;
}

bool InUse(DWORD error)
{
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION || error == ERROR_USER_MAPPED_FILE;
}

bool Unpack(const XString& item, const XString& path)
{
    InstallSource* source = Settings().installSource;
    return source && source->archive && source->archive->ExtractItem(item, path);
}

// The copy loop: true when the file is in place or arranged for the
// restart, false when the user gave up.
bool CopyOver(const XString& unpacked, const XString& destination, uint64_t oldVersion, uint64_t newVersion, HWND owner)
{
    for (;;) {
        SetFileAttributesW(destination, FILE_ATTRIBUTE_NORMAL);
        if (CopyFileW(unpacked, destination, FALSE))
            return true;
        DWORD error = GetLastError();
        if (InUse(error)) {
            bool sameVersion = oldVersion != 0 && oldVersion == newVersion;
            if (!sameVersion && !ReplaceAtRestart(unpacked, destination))
                MessageBoxW(owner, InUseMessage, MessageCaption(), MB_OK);
            return true;
        }
        XString message = XString::Formatted(DiskFullFormat, destination.Text());
        if (MessageBoxW(owner, message, MessageCaption(), MB_RETRYCANCEL | MB_ICONERROR | MB_DEFBUTTON2) != IDRETRY)
            return false;
    }
}

} // namespace

bool SelectVariant(XString& destination, const XStringList& allDestinations)
{
    const bool windows64 = Settings().wow64;
    if (Contains(destination, Win64Decoration)) {
        destination.Replace(Win64Decoration, L"", false);
        return windows64;
    }
    if (Contains(destination, UnicodeDecoration)) {
        destination.Replace(UnicodeDecoration, L"", false);
        return !(windows64 && Listed(allDestinations, Decorated(destination, Win64Decoration)));
    }
    if (windows64 && Listed(allDestinations, Decorated(destination, Win64Decoration)))
        return false;
    return !Listed(allDestinations, Decorated(destination, UnicodeDecoration));
}

void PlaceFile(const XString& itemName, const XString& destination, bool& abort, HWND owner)
{
    abort = false;
    XString target = destination;
    ExpandMacros(target);
    XString item = itemName;
    ExpandMacros(item);
    CreateFolderTree(target.GetFolder());

    XString unpacked;
    MakeTempFile(unpacked, "Ins");
    if (!Unpack(item, unpacked)) {
        MessageBoxW(owner, CorruptedFileMessage, MessageCaption(), MB_OK | MB_ICONERROR);
        abort = true;
    } else {
        uint64_t oldVersion = GetFileVersion(target);
        uint64_t newVersion = GetFileVersion(unpacked);
        if (oldVersion <= newVersion && !CopyOver(unpacked, target, oldVersion, newVersion, owner))
            abort = true;
        if (!abort)
            QueueDllRegistration(target);
    }
    ReleaseTempFile(unpacked);
}

uint64_t GetFileVersion(const XString& path)
{
    static const SystemLibrary versionLibrary(L"version.dll");
    using SizeFunction = DWORD(WINAPI*)(LPCWSTR, LPDWORD);
    using InfoFunction = BOOL(WINAPI*)(LPCWSTR, DWORD, DWORD, LPVOID);
    using QueryFunction = BOOL(WINAPI*)(LPCVOID, LPCWSTR, LPVOID*, PUINT);
    auto infoSize = versionLibrary.Find<SizeFunction>("GetFileVersionInfoSizeW");
    auto info = versionLibrary.Find<InfoFunction>("GetFileVersionInfoW");
    auto query = versionLibrary.Find<QueryFunction>("VerQueryValueW");
    if (!infoSize || !info || !query)
        return 0;
    DWORD ignored = 0;
    DWORD size = infoSize(path, &ignored);
    if (size <= 1)
        return 0;
    std::unique_ptr<uint8_t[]> block(new uint8_t[size]);
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (!info(path, 0, size, block.get()) || !query(block.get(), L"\\", reinterpret_cast<void**>(&fixed), &length)
        || length == 0 || !fixed)
        return 0;
    return static_cast<uint64_t>(fixed->dwFileVersionMS) << 32 | fixed->dwFileVersionLS;
}

bool ReplaceAtRestart(const XString& source, const XString& destination)
{
    XString waiting = destination;
    waiting += InUseSuffix;
    if (!CopyFileW(source, waiting, FALSE) || !MoveFileExW(destination, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)
        || !MoveFileExW(waiting, destination, MOVEFILE_DELAY_UNTIL_REBOOT))
        return false;
    Settings().restartNeeded = true;
    return true;
}
