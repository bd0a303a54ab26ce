// The process-wide install settings as a test found them, put back when the
// test's scope ends, also when an assertion ended the test early:
//
//     SettingsScope restore;
//     Settings().silent = true;
//     Settings().installSource = &source;
//     ASSERT_...                       // the next test still sees neither
#pragma once

#include "script/installsettings.h"

class SettingsScope {
public:
    SettingsScope();
    ~SettingsScope();
    SettingsScope(const SettingsScope&) = delete;
    SettingsScope& operator=(const SettingsScope&) = delete;

private:
    XString installFolder_;
    XString projectName_;
    XString messageCaption_;
    XString programVersion_;
    XString publisher_;
    XString savedPathValueName_;
    XString handBackPath_;
    XString uninstallRecordPath_;
    XString statusText_;
    int32_t position_;
    int32_t maximum_;
    bool changed_;
    bool savedPath_;
    bool uninstallerWanted_;
    bool offerUninstallOld_;
    bool mode64Bit_;
    bool wow64_;
    bool silent_;
    bool autoReboot_;
    bool cancelled_;
    bool restartNeeded_;
    bool registeredOnce_;
    uint64_t totalSize_;
    InstallSource* installSource_;
    int32_t finishCounter_;
    // Lists only grow during a test; what was added is removed.
    int dllRegistrations_;
    int optionalPrograms_;
    int optionalShortcuts_;
};
