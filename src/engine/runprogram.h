// Starting other programs: in this process, elevated, or handed back to
// the non-elevated parent so that they run as the user who started setup.
#pragma once

#include "core/xstring.h"

#include <windows.h>

// The command line that starts `program` with `arguments`: the program
// always quoted, the arguments as given.
XString ProgramCommandLine(const XString& program, const XString& arguments);

// CreateProcessW on the command line; on failure the thread's last error is
// CreateProcessW's.
bool LaunchProcess(const XString& commandLine, bool wait);
// ShellExecuteExW with the "runas" verb.
bool LaunchElevated(const XString& program, const XString& parameters, bool wait);

// Runs a program or opens a document from the setup script, the finish
// page, a container or a hand-back block; reports failures itself.
void RunProgram(const XString& program, const XString& arguments, bool wait, bool handBackAllowed, HWND owner);
