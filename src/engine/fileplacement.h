// Placing one payload item at the destination of a "[CopyFile]" entry:
// choosing among the variants of a file, never replacing a newer version,
// and replacing a file in use at the next restart of Windows.
#pragma once

#include "core/containers.h"
#include "core/xstring.h"

#include <windows.h>

#include <cstdint>

// Name decorations that choose between variants of one file; they never
// reach the disk.
inline constexpr WCHAR Win64Decoration[] = L"__ZTO_WIN64";
inline constexpr WCHAR UnicodeDecoration[] = L"__ZTO_UNICODE";
// Beside a destination in use, the new file waiting for the restart.
inline constexpr WCHAR InUseSuffix[] = L"-ZTOTMP";

// Whether this entry is placed on this machine; removes the decoration
// from `destination` in place. Both the destination and the list of all
// destinations are the script's lines as written, before expansion.
bool SelectVariant(XString& destination, const XStringList& allDestinations);

// Unpacks the item to the destination. `abort` is set when the install
// must stop: a damaged item, or Cancel after a failed copy. Messages are
// owned by `owner`.
void PlaceFile(const XString& itemName, const XString& destination, bool& abort, HWND owner);

// The file's version (MS and LS as one number); 0 for a missing file or
// one without version information.
uint64_t GetFileVersion(const XString& path);

// Copies `source` beside `destination` and has Windows delete the
// destination and rename the copy in its place at the next restart; sets
// the restart-needed flag when all of it was arranged.
bool ReplaceAtRestart(const XString& source, const XString& destination);
