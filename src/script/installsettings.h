// The process-wide install settings: the values every part of the installer
// shares for the length of one run, from every thread. Only the progress
// state has a lock; the rest is written by one thread at a time.
#pragma once

#include "core/containers.h"
#include "core/xstring.h"
#include "core/xthread.h"

#include <cstdint>

class InstallSource;

// A "[CreateIcon]" entry offered on the finish page; texts unexpanded.
struct OptionalShortcutItem {
    bool ticked = false;
    XString shortcutFile;
    XString target;
    XString arguments;
    XString label;
};

// A "[RunFile]" or "[RunAndWaitFile]" entry offered on the finish page.
struct OptionalProgramItem {
    bool ticked = false;
    XString program;
    XString arguments;
    bool wait = false;
    XString label;
};

// Written by the install and uninstall tasks, read by the windows' timers;
// every field is touched only while the mutex is held.
struct ProgressState {
    XMutex mutex;
    XString statusText;
    int32_t position = 0;
    int32_t maximum = 0;
    bool changed = false;

    // position × 100 / maximum, 0 without a maximum: what a bar of 0 to 100 shows.
    int Percent() const { return maximum > 0 ? static_cast<int>(int64_t(position) * 100 / maximum) : 0; }
};

// Members are declared, and so created and released, in the order the
// installer's start-up relies on.
struct InstallSettings {
    InstallSettings() = default;
    ~InstallSettings();
    InstallSettings(const InstallSettings&) = delete;
    InstallSettings& operator=(const InstallSettings&) = delete;

    XStringList dllRegistrations;
    ProgressState progress;
    XPtrArray optionalPrograms; // of OptionalProgramItem, owned
    XPtrArray optionalShortcuts; // of OptionalShortcutItem, owned
    XString installFolder;
    XString projectName {L"Setup"};
    XString messageCaption {L"Setup"};
    XString programVersion;
    XString publisher;
    XString savedPathValueName;
    XString handBackPath;
    XString uninstallRecordPath;

    bool savedPath = false;
    bool uninstallerWanted = true;
    bool offerUninstallOld = true;
    bool mode64Bit = false;
    bool wow64 = false;
    bool silent = false;
    bool autoReboot = true;
    bool cancelled = false;
    bool restartNeeded = false;
    bool registeredOnce = false;
    uint64_t totalSize = 0;
    InstallSource* installSource = nullptr;
    int32_t finishCounter = 0;

    OptionalProgramItem* AddOptionalProgram();
    OptionalShortcutItem* AddOptionalShortcut();
    OptionalProgramItem& OptionalProgram(int i) const;
    OptionalShortcutItem& OptionalShortcut(int i) const;
};

// The one instance, created during static initialisation.
InstallSettings& Settings();

// The caption of every message box the installer shows (XFile's own boxes
// aside). "Setup" until the setup script names the project.
const XString& MessageCaption();
