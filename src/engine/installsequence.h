// The installation itself: the routine the wizard's worker thread runs
// when the user clicks Install (or at once in silent mode).
#pragma once

#include "core/xthread.h"

// Offers to remove an earlier version, then walks the setup script twice:
// a pass counting the "[CopyFile]" entries, and the pass that carries out
// the sections in file order; registers the installed DLLs at the end of a
// successful run. `ownerWindow` is the HWND of the window that owns every
// message box shown here (null: none). What happened shows in the cancel
// flag, the progress state, the optional item lists and on the machine.
void RunInstall(XEvent* stopEvent, void* ownerWindow);

// The status text shown while the DLLs are registered.
inline constexpr WCHAR RegisteringDllsText[] = L"Registering Dlls";
