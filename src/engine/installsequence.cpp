#include "engine/installsequence.h"

#include "app/handback.h"
#include "core/registry.h"
#include "core/tempnames.h"
#include "core/xfile.h"
#include "engine/existingversion.h"
#include "engine/fileplacement.h"
#include "engine/runprogram.h"
#include "engine/shellintegration.h"
#include "engine/uninstallregistration.h"
#include "payload/installsource.h"
#include "script/installsettings.h"
#include "script/pathmacros.h"
#include "script/scriptreader.h"

#include <objbase.h>

#include <memory>

namespace {

const WCHAR OptionalMarker[] = L"Optional - ";
constexpr int OptionalMarkerLength = 11;
const WCHAR UnableToExtractFormat[] = L"Unable to extract '%s'";

struct RegistryRoot {
    const WCHAR* name;
    HKEY key;
};

const RegistryRoot RegistryRoots[] = {
    {L"HKCR", HKEY_CLASSES_ROOT},
    {L"HKCU", HKEY_CURRENT_USER},
    {L"HKLM", HKEY_LOCAL_MACHINE},
    {L"HKCC", HKEY_CURRENT_CONFIG},
    {L"HKU", HKEY_USERS},
};

struct MessageKind {
    const WCHAR* name;
    UINT icon;
};

const MessageKind MessageKinds[] = {
    {L"Warning", MB_ICONWARNING},
    {L"Information", MB_ICONINFORMATION},
    {L"Question", MB_ICONQUESTION},
    {L"Error", MB_ICONERROR},
};

HKEY RootNamed(const XString& name)
{
    for (const RegistryRoot& root : RegistryRoots) {
        if (name.Compare(root.name, false) == 0)
            return root.key;
    }
    return nullptr;
}

UINT IconOfKind(const XString& kind)
{
    for (const MessageKind& known : MessageKinds) {
        if (kind.Compare(known.name, false) == 0)
            return known.icon;
    }
    return 0;
}

bool IsOptional(const XString& description)
{
    return description.Find(OptionalMarker, 1) > 0;
}

XString OptionalLabel(const XString& description)
{
    return description.MidFrom(OptionalMarkerLength + 1);
}

// One run of the install sequence over the script.
class InstallRun {
public:
    InstallRun(XEvent* stopEvent, HWND owner) : stopEvent_(stopEvent), owner_(owner) {}

    void Run();

private:
    XString NextValue();
    void CountEntries();
    bool ActionPass();
    bool StopRequested() const;
    bool Act(const XString& line);
    void SetStatusFromNextLine();
    bool CopyFile();
    void CreateIcon();
    void RunFile(bool wait);
    bool Message();
    void Registry();
    void WriteBinary(HKEY root, const XString& key, const XString& name, const XString& item);
    void HandBack(const WCHAR* header, const XString& name, const XString& key, const XString& data);

    XEvent* stopEvent_;
    HWND owner_;
    XFile script_;
    XStringList destinations_;
    int entryCount_ = 0;
    int entryIndex_ = 0;
};

XString InstallRun::NextValue()
{
    XString value;
    script_.ReadLine(value, false);
    return value;
}

void InstallRun::Run()
{
    InstallSettings& settings = Settings();
    if (settings.offerUninstallOld && !settings.silent && !ExistingVersionStep(owner_))
        return;
    bool success = true;
    if (settings.installSource) {
        XString path = settings.installSource->TempFolderPath();
        path += L"setup.dat";
        script_.SetName(path);
        script_.Open(GENERIC_READ, OPEN_EXISTING, false);
    }
    if (script_.IsOpen()) {
        CountEntries();
        success = ActionPass();
    }
    if (success) {
        {
            XMutexLock hold(settings.progress.mutex);
            settings.progress.statusText.Assign(RegisteringDllsText);
            settings.progress.changed = true;
        }
        RegisterDlls();
    }
    script_.Close();
}

void InstallRun::CountEntries()
{
    XString line;
    while (script_.ReadLine(line, false)) {
        if (!IsHeader(line, SectionCopyFile))
            continue;
        NextValue();
        destinations_.AddString(NextValue());
        ++entryCount_;
    }
    script_.Seek(0, false);
}

// False when the install ended early: stopped, cancelled, aborted or
// answered No.
bool InstallRun::ActionPass()
{
    XString line;
    for (;;) {
        if (StopRequested()) {
            Settings().cancelled = true;
            return false;
        }
        if (!script_.ReadLine(line, false))
            return true;
        if (!Act(line))
            return false;
    }
}

bool InstallRun::StopRequested() const
{
    return (stopEvent_ && stopEvent_->IsSignalled()) || Settings().cancelled;
}

bool InstallRun::Act(const XString& line)
{
    if (IsHeader(line, SectionAction))
        SetStatusFromNextLine();
    else if (IsHeader(line, SectionCopyFile))
        return CopyFile();
    else if (IsHeader(line, SectionCreateIcon))
        CreateIcon();
    else if (IsHeader(line, SectionRunAndWaitFile))
        RunFile(true);
    else if (IsHeader(line, SectionRunFile))
        RunFile(false);
    else if (IsHeader(line, SectionMessage))
        return Message();
    else if (IsHeader(line, SectionRegistry))
        Registry();
    return true;
}

// The line is read while the mutex is held, as the window may look at any
// moment.
void InstallRun::SetStatusFromNextLine()
{
    ProgressState& progress = Settings().progress;
    XMutexLock hold(progress.mutex);
    script_.ReadLine(progress.statusText, false);
    progress.changed = true;
}

bool InstallRun::CopyFile()
{
    XString item = NextValue();
    XString destination = NextValue();
    ++entryIndex_;
    {
        ProgressState& progress = Settings().progress;
        XMutexLock hold(progress.mutex);
        progress.position = entryIndex_;
        progress.maximum = entryCount_;
        progress.changed = true;
    }
    if (!SelectVariant(destination, destinations_))
        return true;
    bool abort = false;
    PlaceFile(item, destination, abort, owner_);
    if (abort) {
        Settings().cancelled = true;
        return false;
    }
    RegisterAppPath(destination);
    return true;
}

void InstallRun::CreateIcon()
{
    XString target = NextValue();
    XString shortcut = NextValue();
    XString arguments = NextValue();
    XString description = NextValue();
    if (!IsOptional(description)) {
        CreateShortcut(shortcut, ScriptShortcut(target, arguments));
        return;
    }
    if (Settings().silent)
        return;
    OptionalShortcutItem* item = Settings().AddOptionalShortcut();
    item->shortcutFile = shortcut;
    item->target = target;
    item->arguments = arguments;
    item->label = OptionalLabel(description);
}

void InstallRun::RunFile(bool wait)
{
    // The uninstaller exists before any program of the application runs.
    const bool filesCopied = entryIndex_ > 0;
    if (filesCopied)
        RegisterUninstaller();
    XString program = NextValue();
    XString arguments = NextValue();
    XString description = NextValue();
    if (!IsOptional(description)) {
        RunProgram(program, arguments, wait, filesCopied, owner_);
        return;
    }
    if (Settings().silent)
        return;
    OptionalProgramItem* item = Settings().AddOptionalProgram();
    item->program = program;
    item->arguments = arguments;
    item->wait = wait;
    item->label = OptionalLabel(description);
}

// In silent mode nothing is read: the two value lines are then met as
// ordinary lines. False when a yes-or-no question was answered No.
bool InstallRun::Message()
{
    if (Settings().silent)
        return true;
    XString text = NextValue();
    ExpandMacros(text);
    text.Replace(L"\\n", L"\r\n", false);
    XString kind = NextValue();
    if (kind.Compare(L"QuestionYesNo", false) == 0)
        return MessageBoxW(owner_, text, MessageCaption(), MB_YESNO | MB_ICONQUESTION) != IDNO;
    MessageBoxW(owner_, text, MessageCaption(), MB_OK | IconOfKind(kind));
    return true;
}

void InstallRun::Registry()
{
    HKEY root = RootNamed(NextValue());
    XString key = NextValue();
    ExpandMacros(key);
    XString type = NextValue();
    XString name = NextValue();
    XString data = NextValue();
    if (!root)
        return;
    if (type.Compare(L"BINARY", false) == 0) {
        WriteBinary(root, key, name, data);
    } else if (type.Compare(L"DWORD", false) == 0) {
        if (root == HKEY_CURRENT_USER) {
            HandBack(HandBackDword, name, key, data);
        } else {
            DWORD value = static_cast<DWORD>(data.ToInt64());
            RegWriteValue(&value, sizeof value, REG_DWORD, name, root, key);
        }
    } else {
        ExpandMacros(data);
        if (root == HKEY_CURRENT_USER)
            HandBack(HandBackString, name, key, data);
        else
            RegWriteString(data, name, root, key);
    }
}

void InstallRun::WriteBinary(HKEY root, const XString& key, const XString& name, const XString& item)
{
    XString unpacked;
    MakeTempFile(unpacked, "Ins");
    InstallSource* source = Settings().installSource;
    if (!source || !source->archive || !source->archive->ExtractItem(item, unpacked)) {
        XString message = XString::Formatted(UnableToExtractFormat, item.Text());
        MessageBoxW(owner_, message, MessageCaption(), MB_OK | MB_ICONERROR);
    } else {
        XFile file(unpacked);
        file.Open(GENERIC_READ, OPEN_EXISTING, false);
        uint64_t size = file.Size();
        std::unique_ptr<uint8_t[]> bytes(new uint8_t[size ? static_cast<size_t>(size) : 1]);
        uint32_t read = file.Read(bytes.get(), static_cast<uint32_t>(size));
        file.Close();
        RegWriteValue(bytes.get(), read, REG_BINARY, name, root, key);
    }
    ReleaseTempFile(unpacked);
}

// The value belongs in the hive of the user who started the installer: the
// non-elevated process that started this one writes it.
void InstallRun::HandBack(const WCHAR* header, const XString& name, const XString& key, const XString& data)
{
    XStringList block;
    block.AddString(header);
    block.AddString(name);
    block.AddString(key);
    block.AddString(data);
    WriteHandBackFile(block);
}

} // namespace

void RunInstall(XEvent* stopEvent, void* ownerWindow)
{
    CoInitialize(nullptr);
    InstallRun(stopEvent, static_cast<HWND>(ownerWindow)).Run();
    CoUninitialize();
}
