// Registry access as the installer uses it: keys are opened by creating
// them (even for reading), and every failure is quiet.
#pragma once

#include "core/containers.h"
#include "core/xstring.h"

class RegKey {
public:
    RegKey(REGSAM access, HKEY root, const WCHAR* subkey);
    ~RegKey();
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;

    HKEY Handle() const { return key_; }
    bool IsOpen() const { return key_ != nullptr; }

private:
    HKEY key_ = nullptr;
};

XString RegReadString(HKEY root, const WCHAR* subkey, const WCHAR* valueName);
bool RegWriteValue(const void* data, DWORD size, DWORD type, const WCHAR* valueName, HKEY root, const WCHAR* subkey);
bool RegWriteString(const WCHAR* text, const WCHAR* valueName, HKEY root, const WCHAR* subkey);
bool RegEnumSubKeys(HKEY root, const WCHAR* subkey, XStringList& list);
void RegDeleteKeyTree(HKEY root, const WCHAR* parent, const WCHAR* name);
