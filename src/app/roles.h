// The roles the runtime's entry hands over to. Each is built with its own
// subsystem; until then its routine here does nothing.
#pragma once

#include "core/xstring.h"

// Uninstall mode: the uninstaller window for the record at `recordPath`.
void RunUninstaller(const XString& recordPath);
// True when the payload was a container of inner installers and has been
// installed.
bool RunContainerInstall();
// The elevated copy: the install wizard, run to its end.
void RunInstallWizard();
// The non-elevated parent: starts the elevated copy and carries out what
// it hands back until it ends.
void RelaunchElevatedAndReplay();
