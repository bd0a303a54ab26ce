// What the finish page's ticked rows ask for, carried out on the wizard's
// finish worker thread after the install: optional shortcuts, optional
// programs, and the restart.
#pragma once

#include "core/xthread.h"

#include <windows.h>

// The window that owns the messages of the programs started here; the
// wizard sets it before it starts the routine.
void SetFinishActionsOwner(HWND owner);

// `restartRequested` points to a bool: whether the restart row stayed
// ticked. The finish counter of the install settings counts every row
// done, ticked or not, in the finish list's order: shortcuts, programs,
// the restart.
void RunFinishActions(XEvent* stopEvent, void* restartRequested);
