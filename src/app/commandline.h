// The installer's command line. Most switches are found by a plain,
// case-sensitive search of the raw line, wherever they occur; only
// "IsElevated" is looked up in the parsed switch list.
#pragma once

#include "core/containers.h"
#include "core/xstring.h"

// Names and values of the dashed switches, in command-line order.
struct SwitchList {
    XStringList names;
    XStringList values;

    void Clear();
    int Count() const { return names.Count(); }
    // Index of the first switch named "IsElevated" in any letter case, or -1.
    int IndexOfIsElevated() const;
};

void ParseSwitches(const WCHAR* commandLine, SwitchList& switches);

// The elevated copy's hand-back path becomes the "IsElevated" value (empty
// without the switch); true when the switch is there.
bool TakeOverHandBackPath(const SwitchList& switches);

// Case-sensitive search of the raw command line.
bool HasRawSwitch(const WCHAR* commandLine, const WCHAR* text);

// Sets the silent flag for "<Silent>" or "--silent" and clears the
// auto-reboot flag for "--noautoreboot".
void ApplyCommandLineFlags(const WCHAR* commandLine);

// Uninstall mode: "<uninstall>" or "--uninstall=" occurs.
bool IsUninstallCommandLine(const WCHAR* commandLine);
// The uninstall record path in an uninstall command line (the uninstaller's
// own, or an "UninstallString"): the text after "<uninstall>", or after
// "--uninstall=" when that gives nothing; one leading and one trailing
// double quote removed.
XString RecordPathFromCommand(const WCHAR* commandLine);

// The install folder given on the command line, empty when none is:
// "--installto" wins over "<installto>".
XString CommandLineInstallFolder(const WCHAR* commandLine);

// The running executable's path, for relaunching it.
XString OwnExecutablePath();
// The command line without the program path, trimmed of spaces.
XString OwnArguments(const WCHAR* commandLine);

// Whether this process can write to the program folder, which the
// installer takes as having administrator rights.
bool HasAdministratorRights();
