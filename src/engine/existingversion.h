// An earlier installation of the same project: found through its entry
// under the Windows Uninstall key, its version read from its uninstall
// record, and offered for removal before the install begins.
#pragma once

#include "core/xstring.h"

#include <windows.h>

// The version text of a record that cannot be read or has none.
inline constexpr WCHAR UnknownVersion[] = L"[Unkonwn]";

// "UninstallString" of the project's Uninstall key; empty when there is no
// earlier installation.
XString ExistingUninstallCommand();
// The line after the record's first "[ProgramVersion]", or UnknownVersion.
XString ReadRecordVersion(const XString& recordPath);
// Asks whether to remove the earlier installation first; false when the
// install is to end (Cancel, or cancelled while the old uninstaller ran).
bool ExistingVersionStep(HWND owner);
