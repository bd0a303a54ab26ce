#include "engine/finishactions.h"

#include "app/restart.h"
#include "engine/runprogram.h"
#include "engine/shellintegration.h"
#include "script/installsettings.h"

#include <objbase.h>

namespace {

HWND finishOwner = nullptr;

} // namespace

void SetFinishActionsOwner(HWND owner)
{
    finishOwner = owner;
}

// The stop event is not looked at: once started, the routine runs to its
// end.
void RunFinishActions(XEvent*, void* restartRequested)
{
    CoInitialize(nullptr);
    InstallSettings& settings = Settings();
    for (int i = 0; i < settings.optionalShortcuts.Count(); ++i) {
        const OptionalShortcutItem& item = settings.OptionalShortcut(i);
        if (item.ticked)
            CreateShortcut(item.shortcutFile, ScriptShortcut(item.target, item.arguments));
        ++settings.finishCounter;
    }
    for (int i = 0; i < settings.optionalPrograms.Count(); ++i) {
        const OptionalProgramItem& item = settings.OptionalProgram(i);
        if (item.ticked)
            RunProgram(item.program, item.arguments, item.wait, true, finishOwner);
        ++settings.finishCounter;
    }
    if (restartRequested && *static_cast<const bool*>(restartRequested)) {
        RestartWindows();
        ++settings.finishCounter;
    }
    CoUninitialize();
}
