// The installer runtime's entry point.
#include "payload/installsource.h"

#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    InstallSource source;
    bool failed = false;
    source.Prepare(failed);
    // A payload that failed has told the user already; either way the
    // temporary folder and the archive copy go.
    source.Release();
    return 0;
}
