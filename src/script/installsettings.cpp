#include "script/installsettings.h"

InstallSettings::~InstallSettings()
{
    for (int i = 0; i < optionalShortcuts.Count(); ++i)
        delete &OptionalShortcut(i);
    for (int i = 0; i < optionalPrograms.Count(); ++i)
        delete &OptionalProgram(i);
    optionalShortcuts.Clear();
    optionalPrograms.Clear();
}

OptionalProgramItem* InstallSettings::AddOptionalProgram()
{
    return static_cast<OptionalProgramItem*>(optionalPrograms.Add(new OptionalProgramItem()));
}

OptionalShortcutItem* InstallSettings::AddOptionalShortcut()
{
    return static_cast<OptionalShortcutItem*>(optionalShortcuts.Add(new OptionalShortcutItem()));
}

OptionalProgramItem& InstallSettings::OptionalProgram(int i) const
{
    return *static_cast<OptionalProgramItem*>(optionalPrograms[i]);
}

OptionalShortcutItem& InstallSettings::OptionalShortcut(int i) const
{
    return *static_cast<OptionalShortcutItem*>(optionalShortcuts[i]);
}

// Built on first use, so that a message box shown while another file is
// initialised still finds its caption, and forced below so that the record
// exists before the entry point runs; released after everything made later.
InstallSettings& Settings()
{
    static InstallSettings settings;
    return settings;
}

const XString& MessageCaption()
{
    return Settings().messageCaption;
}

namespace {

[[maybe_unused]] InstallSettings& createdBeforeEntry = Settings();

} // namespace
