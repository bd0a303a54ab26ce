#include "enginekit.h"

#include "app/handback.h"
#include "process.h"
#include "script/installsettings.h"
#include "testfiles.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

const wchar_t MarkersKey[] = L"Software\\ZeltoTest\\Markers";

} // namespace

std::wstring Program(const wchar_t* name)
{
    return ProgramFolder() + name;
}

TestPayload::TestPayload(const std::vector<TestItem>& items, const std::wstring& where)
    : archive_(MakeArchive(items))
    , module_(where + L"carrier.exe", &archive_)
{
    bool failed = true;
    source_.Prepare(failed, module_.Handle());
    prepared_ = !failed;
    Settings().installSource = &source_;
}

TestPayload::~TestPayload()
{
    if (Settings().installSource == &source_)
        Settings().installSource = nullptr;
    source_.Release();
}

std::vector<Block> RunReplayingHandBack(const std::function<void()>& work,
    const std::function<void(const Block&)>& onBlock, DWORD patienceMs)
{
    std::vector<Block> blocks;
    HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::thread worker([&] {
        work();
        SetEvent(done);
    });
    const XString handBack = Settings().handBackPath;
    bool finished = false;
    for (DWORD start = GetTickCount(); !finished;) {
        finished = WaitForSingleObject(done, 50) == WAIT_OBJECT_0;
        if (!handBack.IsEmpty() && FileExists(handBack.Text())) {
            ReplayHandBackFile(handBack, [&](const XStringList& lines) {
                Block block;
                for (int i = 0; i < lines.Count(); ++i)
                    block.push_back(lines.Get(i)->Text());
                if (onBlock)
                    onBlock(block);
                blocks.push_back(block);
            });
        }
        if (!finished && GetTickCount() - start > patienceMs) {
            ADD_FAILURE() << "the engine did not return within " << patienceMs << " ms";
            // Nobody is left to wait for: let a waiting writer go, and the
            // thread end as it can.
            if (!handBack.IsEmpty())
                DeleteFileW(handBack.Text());
            WaitForSingleObject(done, patienceMs);
            break;
        }
    }
    worker.join();
    CloseHandle(done);
    return blocks;
}

DWORD MarkerCount(const std::wstring& valueName)
{
    DWORD count = 0;
    DWORD size = sizeof count;
    if (RegGetValueW(HKEY_CURRENT_USER, MarkersKey, valueName.c_str(), RRF_RT_REG_DWORD, nullptr, &count, &size))
        return 0;
    return count;
}

void ClearMarkers()
{
    DeleteRegistryKey(HKEY_CURRENT_USER, MarkersKey);
}

std::wstring RegistryText(HKEY root, const std::wstring& key, const std::wstring& name)
{
    wchar_t value[2048] = {};
    DWORD size = sizeof value;
    if (RegGetValueW(root, key.c_str(), name.c_str(), RRF_RT_REG_SZ, nullptr, value, &size))
        return L"(missing)";
    return value;
}

bool RegistryKeyExists(HKEY root, const std::wstring& key)
{
    HKEY opened = nullptr;
    if (RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, &opened))
        return false;
    RegCloseKey(opened);
    return true;
}

void DeleteRegistryKey(HKEY root, const std::wstring& key)
{
    RegDeleteTreeW(root, key.c_str());
    RegDeleteKeyW(root, key.c_str());
}

std::wstring ProgramFilesFolder()
{
    wchar_t folder[MAX_PATH] = {};
    DWORD length = GetEnvironmentVariableW(L"ProgramFiles", folder, MAX_PATH);
    std::wstring path(folder, length);
    if (path.empty() || path.back() != L'\\')
        path += L'\\';
    return path;
}

bool On64BitWindows()
{
    BOOL wow64 = FALSE;
    IsWow64Process(GetCurrentProcess(), &wow64);
    return wow64 != FALSE;
}
