#include "core/registry.h"

namespace {

constexpr DWORD MaxSubKeyName = 1040;

bool IsEmptyText(const WCHAR* text)
{
    return text == nullptr || text[0] == 0;
}

} // namespace

RegKey::RegKey(REGSAM access, HKEY root, const WCHAR* subkey)
{
    if (root == nullptr || IsEmptyText(subkey))
        return;
    WCHAR noClass[] = L"";
    HKEY key = nullptr;
    if (RegCreateKeyExW(root, subkey, 0, noClass, 0, access, nullptr, &key, nullptr) == ERROR_SUCCESS)
        key_ = key;
}

RegKey::~RegKey()
{
    if (key_ != nullptr)
        RegCloseKey(key_);
}

XString RegReadString(HKEY root, const WCHAR* subkey, const WCHAR* valueName)
{
    RegKey key(KEY_QUERY_VALUE, root, subkey);
    if (!key.IsOpen())
        return XString();
    DWORD size = 0;
    if (RegQueryValueExW(key.Handle(), valueName, nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS || size == 0)
        return XString();
    // Stored text need not carry its terminator, and its size may be odd:
    // the zeroed tail always holds at least one whole zero unit.
    XBuffer buffer;
    if (!buffer.Resize((size / 2 + 2) * sizeof(WCHAR), true))
        return XString();
    DWORD type = REG_NONE;
    if (RegQueryValueExW(key.Handle(), valueName, nullptr, &type, buffer.Data(), &size) != ERROR_SUCCESS)
        return XString();
    if (type != REG_SZ && type != REG_EXPAND_SZ)
        return XString();
    return XString(reinterpret_cast<const WCHAR*>(buffer.Data()));
}

bool RegWriteValue(const void* data, DWORD size, DWORD type, const WCHAR* valueName, HKEY root, const WCHAR* subkey)
{
    RegKey key(KEY_WRITE, root, subkey);
    if (!key.IsOpen())
        return false;
    return RegSetValueExW(key.Handle(), valueName, 0, type, static_cast<const BYTE*>(data), size) == ERROR_SUCCESS;
}

bool RegWriteString(const WCHAR* text, const WCHAR* valueName, HKEY root, const WCHAR* subkey)
{
    if (text == nullptr)
        text = L"";
    DWORD size = static_cast<DWORD>((lstrlenW(text) + 1) * sizeof(WCHAR));
    return RegWriteValue(text, size, REG_SZ, valueName, root, subkey);
}

bool RegEnumSubKeys(HKEY root, const WCHAR* subkey, XStringList& list)
{
    list.DeleteAll();
    RegKey key(KEY_READ, root, subkey);
    HKEY parent = root;
    if (!IsEmptyText(subkey)) {
        if (!key.IsOpen())
            return false;
        parent = key.Handle();
    }
    WCHAR name[MaxSubKeyName + 1];
    for (DWORD index = 0;; ++index) {
        DWORD length = MaxSubKeyName + 1;
        if (RegEnumKeyExW(parent, index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        list.AddString(name);
    }
    return true;
}

void RegDeleteKeyTree(HKEY root, const WCHAR* parent, const WCHAR* name)
{
    if (IsEmptyText(name))
        return;
    XString path(parent != nullptr ? parent : L"");
    path.EnsureTrailingBackslash();
    path += name;

    // Children first: RegDeleteKeyW removes only keys without subkeys.
    XStringList children;
    RegEnumSubKeys(root, path, children);
    for (int i = 0; i < children.Count(); ++i)
        RegDeleteKeyTree(root, path, *children.Get(i));

    RegKey parentKey(KEY_ALL_ACCESS, root, parent);
    if (parentKey.IsOpen())
        RegDeleteKeyW(parentKey.Handle(), name);
}
