#include "settingsscope.h"

SettingsScope::SettingsScope()
{
    InstallSettings& s = Settings();
    installFolder_ = s.installFolder;
    projectName_ = s.projectName;
    messageCaption_ = s.messageCaption;
    programVersion_ = s.programVersion;
    publisher_ = s.publisher;
    savedPathValueName_ = s.savedPathValueName;
    handBackPath_ = s.handBackPath;
    uninstallRecordPath_ = s.uninstallRecordPath;
    {
        XMutexLock lock(s.progress.mutex);
        statusText_ = s.progress.statusText;
        position_ = s.progress.position;
        maximum_ = s.progress.maximum;
        changed_ = s.progress.changed;
    }
    savedPath_ = s.savedPath;
    uninstallerWanted_ = s.uninstallerWanted;
    offerUninstallOld_ = s.offerUninstallOld;
    mode64Bit_ = s.mode64Bit;
    wow64_ = s.wow64;
    silent_ = s.silent;
    autoReboot_ = s.autoReboot;
    cancelled_ = s.cancelled;
    restartNeeded_ = s.restartNeeded;
    registeredOnce_ = s.registeredOnce;
    totalSize_ = s.totalSize;
    installSource_ = s.installSource;
    finishCounter_ = s.finishCounter;
    dllRegistrations_ = s.dllRegistrations.Count();
    optionalPrograms_ = s.optionalPrograms.Count();
    optionalShortcuts_ = s.optionalShortcuts.Count();
}

SettingsScope::~SettingsScope()
{
    InstallSettings& s = Settings();
    s.installFolder = installFolder_;
    s.projectName = projectName_;
    s.messageCaption = messageCaption_;
    s.programVersion = programVersion_;
    s.publisher = publisher_;
    s.savedPathValueName = savedPathValueName_;
    s.handBackPath = handBackPath_;
    s.uninstallRecordPath = uninstallRecordPath_;
    {
        XMutexLock lock(s.progress.mutex);
        s.progress.statusText = statusText_;
        s.progress.position = position_;
        s.progress.maximum = maximum_;
        s.progress.changed = changed_;
    }
    s.savedPath = savedPath_;
    s.uninstallerWanted = uninstallerWanted_;
    s.offerUninstallOld = offerUninstallOld_;
    s.mode64Bit = mode64Bit_;
    s.wow64 = wow64_;
    s.silent = silent_;
    s.autoReboot = autoReboot_;
    s.cancelled = cancelled_;
    s.restartNeeded = restartNeeded_;
    s.registeredOnce = registeredOnce_;
    s.totalSize = totalSize_;
    s.installSource = installSource_;
    s.finishCounter = finishCounter_;
    while (s.dllRegistrations.Count() > dllRegistrations_)
        s.dllRegistrations.RemoveString(s.dllRegistrations.Count() - 1);
    while (s.optionalPrograms.Count() > optionalPrograms_) {
        delete &s.OptionalProgram(s.optionalPrograms.Count() - 1);
        s.optionalPrograms.RemoveAt(s.optionalPrograms.Count() - 1);
    }
    while (s.optionalShortcuts.Count() > optionalShortcuts_) {
        delete &s.OptionalShortcut(s.optionalShortcuts.Count() - 1);
        s.optionalShortcuts.RemoveAt(s.optionalShortcuts.Count() - 1);
    }
}
