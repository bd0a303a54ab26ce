#include "core/tempnames.h"

#include "core/sysquery.h"
#include "core/xfile.h"

namespace {

constexpr DWORD TempPathUnits = 260;
constexpr uint32_t FallbackNumbers = 9999;

bool CreateEmptyFile(const XString& path)
{
    XFile file(path);
    file.Open(GENERIC_WRITE, CREATE_ALWAYS, false);
    return file.IsOpen();
}

} // namespace

XString GetTempFolder()
{
    WCHAR buffer[TempPathUnits];
    DWORD length = GetTempPathW(TempPathUnits, buffer);
    XString folder = (length == 0 || length >= TempPathUnits) ? XString(L"C:\\Temp") : XString(buffer);
    folder.EnsureTrailingBackslash();
    return folder;
}

void MakeTempFile(XString& name, const char* prefix8, const char* suffix8)
{
    if (!name.IsEmpty())
        RemoveFile(name);
    XString prefix = prefix8 != nullptr ? XString(prefix8) : XString(L"TMP");
    XString folder = GetTempFolder();

    WCHAR buffer[MAX_PATH] = {};
    if (GetTempFileNameW(folder, prefix, 0, buffer) != 0 && buffer[0] != 0)
        name.Assign(buffer);
    else
        name.Format(L"%s%s%d.tmp", folder.Text(), prefix.Text(), static_cast<int>(Random(FallbackNumbers)));

    if (suffix8 != nullptr) {
        RemoveFile(name);
        name += XString(suffix8);
    }

    // The temporary folder may not exist yet (a fresh profile, a cleaned disk).
    if (!CreateEmptyFile(name)) {
        CreateFolderTree(folder);
        CreateEmptyFile(name);
    }
}

void ReleaseTempFile(XString& name)
{
    if (!name.IsEmpty())
        RemoveFile(name);
    name.Assign(L"");
}

bool MakeTempFolder(XString& name)
{
    if (!name.IsEmpty())
        RemoveFolderTree(name);
    // Reserving the name as a file first keeps two runs from choosing the
    // same folder.
    XString reserved;
    MakeTempFile(reserved, "ZTO");
    name = reserved;
    ReleaseTempFile(reserved);
    name.EnsureTrailingBackslash();
    return CreateFolderTree(name);
}
