// Tying installed files into Windows: shell shortcuts, COM servers
// registered at the end of the install, and App Paths entries so that
// Windows starts installed programs by name.
#pragma once

#include "core/xstring.h"

#include <windows.h>

#include <cstdint>

// What a shortcut holds; `mask` says which of the optional fields apply.
struct ShortcutSpec {
    static constexpr uint32_t Description = 0x01;
    static constexpr uint32_t Arguments = 0x02;
    static constexpr uint32_t Icon = 0x04;
    static constexpr uint32_t WorkingFolder = 0x08;
    static constexpr uint32_t Hotkey = 0x10;
    static constexpr uint32_t ShowCommand = 0x20;

    XString target;
    uint32_t mask = 0;
    XString description;
    XString arguments;
    XString iconFile;
    int32_t iconIndex = 0;
    XString workingFolder;
    int32_t showCommand = SW_SHOWNORMAL;
    uint16_t hotkey = 0;
};

// The spec of a script's "[CreateIcon]" entry and of an optional shortcut:
// target, arguments, and the target's folder to start in.
ShortcutSpec ScriptShortcut(const XString& target, const XString& arguments);

// Creates or overwrites the .lnk file, creating its folder first; macros
// are expanded in everything but the description. The caller's thread has
// initialised COM.
HRESULT CreateShortcut(const XString& shortcutFile, const ShortcutSpec& spec);
// True when the shortcut file could be opened; `target` receives its
// target path, empty when it has none.
bool ResolveShortcut(const XString& shortcutFile, XString& target);

// Keeps the path for registration when it names a ".dll" or ".ocx".
void QueueDllRegistration(const XString& path);
// Registers every queued DLL in order, then empties the list.
void RegisterDlls();
// Enters an ".exe" under App Paths; any other file is passed over.
void RegisterAppPath(const XString& path);

// "Software\Microsoft\Windows\CurrentVersion\App Paths\" followed by the
// program's file name.
XString AppPathKey(const XString& fileName);
