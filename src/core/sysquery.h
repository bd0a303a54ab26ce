// Questions about the running system: its Windows version and a random number.
#pragma once

#include <windows.h>

#include <cstdint>

const OSVERSIONINFOW& GetOsVersion();
bool IsXpOrLater();
// Windows XP (5.1) and later.
bool IsXpOrLater(const OSVERSIONINFOW& version);
// 0 .. n-1; Random(0) is the generator's raw 32-bit output.
uint32_t Random(uint32_t n);
// Restarts the generator from a known state; the process seeds it itself
// from the clock before main.
void SeedRandom(uint32_t seed);

// A DLL that is not one of the libraries Windows always loads from its own
// folder (version.dll, say), loaded by its full path in the system folder,
// so that a copy planted beside setup.exe is never used. Released with the
// object.
class SystemLibrary {
public:
    explicit SystemLibrary(const WCHAR* name);
    ~SystemLibrary();
    SystemLibrary(const SystemLibrary&) = delete;
    SystemLibrary& operator=(const SystemLibrary&) = delete;

    bool IsLoaded() const { return module_ != nullptr; }
    // The export, cast to its type; null when the library or export is missing.
    template <typename Function>
    Function Find(const char* name) const
    {
        return module_ ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module_, name))) : nullptr;
    }

private:
    HMODULE module_ = nullptr;
};
