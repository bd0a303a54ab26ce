/* A COM server for the registration tests. Built as a DLL with the export
   "DllRegisterServer", which counts its calls under HKEY_CURRENT_USER
   "Software\ZeltoTest\Markers" in a value named after the DLL's file; and,
   with PLAIN defined, as one without the export that counts its loads
   instead, so that the tests see it was loaded and nothing more. */
#include <windows.h>

static HMODULE self;

static void Count(const WCHAR* suffix)
{
    WCHAR path[MAX_PATH], name[MAX_PATH + 16];
    const WCHAR* file;
    HKEY key;
    DWORD count = 0, size = sizeof count;
    GetModuleFileNameW(self, path, MAX_PATH);
    file = wcsrchr(path, L'\\');
    lstrcpyW(name, file ? file + 1 : path);
    lstrcatW(name, suffix);
    if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\ZeltoTest\\Markers", 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key, NULL))
        return;
    RegQueryValueExW(key, name, NULL, NULL, (BYTE*)&count, &size);
    ++count;
    RegSetValueExW(key, name, 0, REG_DWORD, (const BYTE*)&count, sizeof count);
    RegCloseKey(key);
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) {
        self = instance;
        Count(L" loaded");
    }
    return TRUE;
}

#ifndef PLAIN
__declspec(dllexport) HRESULT __stdcall DllRegisterServer(void)
{
    Count(L" registered");
    return S_OK;
}
#endif
