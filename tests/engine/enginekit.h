// What the install-engine tests share: the helper programs and DLLs of the
// test build, an install source made from a test payload, running engine
// code on a thread of its own while this thread plays the user's process
// that takes handed-back work, and the registry markers the test DLLs
// leave.
#pragma once

#include "payload/installsource.h"
#include "payloadkit.h"

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

// A helper program or DLL of the test build.
std::wstring Program(const wchar_t* name);

// A payload published as the install source, as program entry publishes
// it; released with the object.
class TestPayload {
public:
    // `where` is a scratch folder for the carrier program's copy.
    TestPayload(const std::vector<TestItem>& items, const std::wstring& where);
    ~TestPayload();
    TestPayload(const TestPayload&) = delete;
    TestPayload& operator=(const TestPayload&) = delete;

    bool Prepared() const { return prepared_; }
    InstallSource& Source() { return source_; }

private:
    Bytes archive_;
    PayloadModule module_;
    InstallSource source_;
    bool prepared_ = false;
};

// A hand-back block: its header and three lines.
using Block = std::vector<std::wstring>;

// Runs `work` on a thread of its own while this thread replays the
// hand-back file of the install settings as the user's process would, so
// that handed-back work is read instead of waited for. Returns the blocks
// in the order they came; `onBlock` sees each while the writer still
// waits. Fails the test when `work` does not end within `patienceMs`.
std::vector<Block> RunReplayingHandBack(const std::function<void()>& work,
    const std::function<void(const Block&)>& onBlock = {}, DWORD patienceMs = 120000);

// How often a marker DLL of the test build was loaded or registered
// ("<file name> loaded", "<file name> registered"); 0 when never.
DWORD MarkerCount(const std::wstring& valueName);
void ClearMarkers();

// The value of a registry string, or "(missing)".
std::wstring RegistryText(HKEY root, const std::wstring& key, const std::wstring& name);
bool RegistryKeyExists(HKEY root, const std::wstring& key);
void DeleteRegistryKey(HKEY root, const std::wstring& key);

// Whether this 32-bit process runs on 64-bit Windows.
bool On64BitWindows();

// The folder Windows keeps 32-bit programs in (with a trailing backslash),
// the one "<Program Files>" names outside 64-bit mode.
std::wstring ProgramFilesFolder();
