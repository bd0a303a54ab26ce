#include "engine/uninstallregistration.h"

#include "core/registry.h"
#include "core/tempnames.h"
#include "core/xfile.h"
#include "payload/installsource.h"
#include "script/installsettings.h"
#include "script/pathmacros.h"
#include "script/scriptsections.h"

namespace {

const WCHAR RecordFormat[] = L"%sZeltoUninstall-%s.dat";
const WCHAR UninstallKeyFormat[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\%s";
const WCHAR UninstallCommandFormat[] = L"\"%s\" --uninstall=\"%s\"";

bool IsInstallToHeader(const XString& line)
{
    return line.Compare(XString(SectionInstallTo.header), false) == 0;
}

// The setup script line by line, in the ANSI code page with CR LF after
// every line; the value of each "[Install To]" becomes the install folder.
void WriteRecord(const XString& scriptPath, const XString& recordPath)
{
    XFile script(scriptPath);
    script.Open(GENERIC_READ, OPEN_EXISTING, false);
    if (!script.IsOpen())
        return;
    XFile record(recordPath);
    record.Open(GENERIC_WRITE, CREATE_ALWAYS, false);
    if (!record.IsOpen())
        return;
    XString line;
    XString installFolder = Settings().installFolder;
    while (script.ReadLine(line, false)) {
        record.WriteLine(line.ToNarrow(), true);
        if (IsInstallToHeader(line)) {
            script.ReadLine(line, false);
            record.WriteLine(installFolder.ToNarrow(), true);
        }
    }
}

void WriteDword(DWORD value, const WCHAR* name, const XString& key)
{
    RegWriteValue(&value, sizeof value, REG_DWORD, name, HKEY_LOCAL_MACHINE, key);
}

void WriteUninstallKey(const XString& uninstaller, const XString& recordPath)
{
    const InstallSettings& settings = Settings();
    XString key = UninstallKeyPath(settings.projectName);
    RegWriteString(settings.projectName, L"DisplayName", HKEY_LOCAL_MACHINE, key);
    if (!settings.publisher.IsEmpty())
        RegWriteString(settings.publisher, L"Publisher", HKEY_LOCAL_MACHINE, key);
    if (!settings.programVersion.IsEmpty())
        RegWriteString(settings.programVersion, L"DisplayVersion", HKEY_LOCAL_MACHINE, key);
    RegWriteString(settings.installFolder, L"InstallLocation", HKEY_LOCAL_MACHINE, key);
    RegWriteString(uninstaller, L"DisplayIcon", HKEY_LOCAL_MACHINE, key);
    WriteDword(1, L"NoModify", key);
    WriteDword(1, L"NoRepair", key);
    WriteDword(static_cast<DWORD>(settings.totalSize), L"EstimatedSize", key);
    XString command = XString::Formatted(UninstallCommandFormat, uninstaller.Text(), recordPath.Text());
    RegWriteString(command, L"UninstallString", HKEY_LOCAL_MACHINE, key);
    RegWriteString(settings.installFolder, L"InstallTo", HKEY_LOCAL_MACHINE, key);
}

} // namespace

XString UninstallerFolder()
{
    XString folder(UninstallerFolderMacro);
    ExpandMacros(folder);
    folder.EnsureTrailingBackslash();
    return folder;
}

XString UninstallRecordPathFor(const XString& projectName)
{
    return XString::Formatted(RecordFormat, UninstallerFolder().Text(), projectName.Text());
}

XString UninstallKeyPath(const XString& projectName)
{
    return XString::Formatted(UninstallKeyFormat, projectName.Text());
}

void RegisterUninstaller()
{
    InstallSettings& settings = Settings();
    if (!settings.uninstallerWanted || settings.registeredOnce)
        return;
    settings.registeredOnce = true;

    XString ownCopy;
    MakeTempFile(ownCopy, "Ins");
    WCHAR self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    CopyFileW(self, ownCopy, FALSE);

    XString folder = UninstallerFolder();
    CreateFolderTree(folder);
    XString uninstaller = folder;
    uninstaller += UninstallerName;
    CopyFileW(ownCopy, uninstaller, FALSE);

    XString recordPath = UninstallRecordPathFor(settings.projectName);
    if (settings.installSource) {
        XString script = settings.installSource->TempFolderPath();
        script += L"setup.dat";
        WriteRecord(script, recordPath);
    }
    WriteUninstallKey(uninstaller, recordPath);
    if (settings.savedPath && !settings.savedPathValueName.IsEmpty()) {
        RegWriteString(settings.installFolder, settings.savedPathValueName, HKEY_CURRENT_USER, SavedPathKey);
        RegWriteString(settings.installFolder, settings.savedPathValueName, HKEY_LOCAL_MACHINE, SavedPathKey);
    }
    ReleaseTempFile(ownCopy);
}
