#include "engine/existingversion.h"

#include "app/commandline.h"
#include "core/registry.h"
#include "core/xfile.h"
#include "engine/runprogram.h"
#include "engine/uninstallregistration.h"
#include "script/installsettings.h"
#include "script/scriptsections.h"

namespace {

const WCHAR DetectedFormat[] = L"Setup has detected an existing version of %s.\r\n\r\n";
const WCHAR Question[] = L"Uninstall existing before installing new? (Cancel to exit, leaving existing version).";
constexpr DWORD AfterUninstallMs = 4000;

XString QuestionText(const XString& existingVersion)
{
    const InstallSettings& settings = Settings();
    XString text = XString::Formatted(DetectedFormat, settings.projectName.Text());
    if (!settings.programVersion.IsEmpty()) {
        text += L"  Installing Version: ";
        text += settings.programVersion;
        text += L"\r\n  Existing Version: ";
        text += existingVersion;
        text += L"\r\n\r\n";
    }
    text += Question;
    return text;
}

} // namespace

XString ExistingUninstallCommand()
{
    return RegReadString(HKEY_LOCAL_MACHINE, UninstallKeyPath(Settings().projectName), L"UninstallString");
}

XString ReadRecordVersion(const XString& recordPath)
{
    XFile record(recordPath);
    record.Open(GENERIC_READ, OPEN_EXISTING, false);
    const XString header(SectionProgramVersion.header);
    XString line;
    while (record.IsOpen() && record.ReadLine(line, false)) {
        if (line.Compare(header, false) == 0) {
            record.ReadLine(line, false);
            return line;
        }
    }
    return XString(UnknownVersion);
}

bool ExistingVersionStep(HWND owner)
{
    XString command = ExistingUninstallCommand();
    if (command.IsEmpty())
        return true;
    XString existing = ReadRecordVersion(RecordPathFromCommand(command));
    int answer = MessageBoxW(owner, QuestionText(existing), MessageCaption(), MB_YESNOCANCEL | MB_ICONQUESTION);
    if (answer == IDCANCEL) {
        Settings().cancelled = true;
        return false;
    }
    if (answer == IDYES) {
        LaunchProcess(command, true);
        Sleep(AfterUninstallMs);
        if (Settings().cancelled)
            return false;
    }
    return true;
}
