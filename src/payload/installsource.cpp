#include "payload/installsource.h"

#include "core/tempnames.h"
#include "core/xfile.h"
#include "script/installsettings.h"

void InstallSource::Prepare(bool& failedOut)
{
    Prepare(failedOut, GetModuleHandleW(nullptr));
}

void InstallSource::Prepare(bool& failedOut, HMODULE payloadModule)
{
    failedOut = false;
    // A folder that cannot be made shows up below as "setup.dat" failing.
    tempFolder.reset(new XString());
    MakeTempFolder(*tempFolder);
    archive.reset(new PayloadArchive(payloadModule));

    if (!archive->ExtractItem(L"setup.dat", SetupFilePath(L"setup.dat")))
        failedOut = true;
    if (archive->FindItem(L"setup.bmp"))
        archive->ExtractItem(L"setup.bmp", SetupFilePath(L"setup.bmp"));
    hasTerms = 0;
    if (archive->FindItem(L"setup.lic")) {
        archive->ExtractItem(L"setup.lic", SetupFilePath(L"setup.lic"));
        hasTerms = 1;
    }
    if (failedOut)
        MessageBoxW(nullptr, CorruptedInstallMessage, MessageCaption(), MB_OK | MB_ICONERROR);
}

void InstallSource::Release()
{
    archive.reset();
    if (tempFolder && !tempFolder->IsEmpty())
        RemoveFolderTree(*tempFolder, L"*.*");
    tempFolder.reset();
}

XString InstallSource::SetupFilePath(const WCHAR* name) const
{
    XString path = TempFolderPath();
    path += name;
    return path;
}
