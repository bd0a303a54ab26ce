#include "app/roles.h"

// Placeholders until the uninstaller, the container install, the wizard
// and the relaunch are built: each does nothing.

void RunUninstaller(const XString&)
{
}

bool RunContainerInstall()
{
    return false;
}

void RunInstallWizard()
{
}

void RelaunchElevatedAndReplay()
{
}
