// Making an installed application removable: the shared uninstaller
// ZeltoUninstall.exe under Program Files, the application's uninstall
// record beside it (its setup script with the real install folder), and
// its entry under the Windows Uninstall key.
#pragma once

#include "core/xstring.h"

inline constexpr WCHAR UninstallerFolderMacro[] = L"<Program Files>ZeltoUninstall\\";
inline constexpr WCHAR UninstallerName[] = L"ZeltoUninstall.exe";
inline constexpr WCHAR SavedPathKey[] = L"Software\\ZeltoInstall";

// "<Program Files>ZeltoUninstall\" expanded, with a trailing backslash.
XString UninstallerFolder();
// The uninstall record of a project: "<folder>ZeltoUninstall-<project>.dat".
XString UninstallRecordPathFor(const XString& projectName);
// "Software\Microsoft\Windows\CurrentVersion\Uninstall\<project>" (under
// HKEY_LOCAL_MACHINE).
XString UninstallKeyPath(const XString& projectName);

// Does its work at most once per process, and never for a script with
// "[NoUnInstall]". Reports nothing.
void RegisterUninstaller();
