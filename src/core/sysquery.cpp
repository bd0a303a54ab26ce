#include "core/sysquery.h"

#include "core/xthread.h"

#include <cwchar>
#include <random>

namespace {

uint32_t Square(uint32_t v)
{
    return v * v;
}

// Mixes the wall clock, the performance counter and the tick count, so two
// installers started in the same second still draw different names.
uint32_t ClockSeed()
{
    SYSTEMTIME now;
    GetSystemTime(&now);
    uint32_t seed = Square(now.wMilliseconds) + Square(now.wSecond) + Square(now.wMinute) + Square(now.wHour)
        + Square(now.wYear);
    LARGE_INTEGER counter;
    if (QueryPerformanceCounter(&counter))
        seed = seed * static_cast<uint32_t>(counter.LowPart) + static_cast<uint32_t>(counter.HighPart);
    return seed + GetTickCount();
}

std::mt19937& Generator()
{
    static std::mt19937 generator(ClockSeed());
    return generator;
}

// Seeds during static initialisation even when nobody draws a number early.
[[maybe_unused]] const bool generatorSeeded = (Generator(), true);

// Temporary names are also made on worker threads.
XMutex generatorLock;

} // namespace

const OSVERSIONINFOW& GetOsVersion()
{
    static const OSVERSIONINFOW version = [] {
        OSVERSIONINFOW info {};
        info.dwOSVersionInfoSize = sizeof info;
        GetVersionExW(&info);
        return info;
    }();
    return version;
}

namespace {

// Read once during static initialisation, before any worker thread asks.
[[maybe_unused]] const bool osVersionRead = (GetOsVersion(), true);

} // namespace

bool IsXpOrLater(const OSVERSIONINFOW& version)
{
    return version.dwMajorVersion > 5 || (version.dwMajorVersion == 5 && version.dwMinorVersion >= 1);
}

bool IsXpOrLater()
{
    return IsXpOrLater(GetOsVersion());
}

uint32_t Random(uint32_t n)
{
    uint32_t raw;
    {
        XMutexLock hold(generatorLock);
        raw = static_cast<uint32_t>(Generator()());
    }
    if (n == 0)
        return raw;
    uint32_t value = static_cast<uint32_t>(raw / 4294967296.0 * n);
    return value < n ? value : n - 1;
}

void SeedRandom(uint32_t seed)
{
    XMutexLock hold(generatorLock);
    Generator().seed(seed);
}

SystemLibrary::SystemLibrary(const WCHAR* name)
{
    WCHAR path[MAX_PATH];
    UINT length = GetSystemDirectoryW(path, MAX_PATH);
    if (length == 0 || length + 1 + wcslen(name) >= MAX_PATH)
        return;
    path[length] = L'\\';
    wcscpy(path + length + 1, name);
    module_ = LoadLibraryW(path);
}

SystemLibrary::~SystemLibrary()
{
    if (module_)
        FreeLibrary(module_);
}
