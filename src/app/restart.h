// Restarting Windows when files could only be replaced or deleted at the
// next start: Windows is asked to restart after a grace period in which it
// shows its own notice.
#pragma once

#include <windows.h>

// Unless the run is silent with "--noautoreboot": enables the shutdown
// privilege, asks Windows to restart (InitiateShutdownW where it exists,
// else InitiateSystemShutdownW) and ends the calling thread's message loop.
void RestartWindows();

// The two ways of asking Windows; tests replace them, since the machine
// running the tests must not restart.
class ShutdownCalls {
public:
    virtual ~ShutdownCalls() = default;
    // False where Windows has no InitiateShutdownW (before Vista).
    virtual bool HasInitiateShutdown();
    virtual DWORD AskInitiateShutdown(const WCHAR* message, DWORD gracePeriod, DWORD flags, DWORD reason);
    virtual BOOL AskInitiateSystemShutdown(const WCHAR* message, DWORD timeout, BOOL forceAppsClosed, BOOL reboot);
};

// Null puts the calls to Windows back.
void UseShutdownCalls(ShutdownCalls* calls);
