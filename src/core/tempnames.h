// Unique temporary files and folders in the user's temporary folder.
#pragma once

#include "core/xstring.h"

XString GetTempFolder();
// The string names a new, empty file: <temp>\<prefix>XXXX.tmp[suffix].
// When the platform cannot pick a name, it is <temp>\<prefix><0..9998>.tmp.
void MakeTempFile(XString& name, const char* prefix8, const char* suffix8 = nullptr);
void ReleaseTempFile(XString& name);
// The string names a new, empty folder ending in ".tmp\".
bool MakeTempFolder(XString& name);
