// Placing payload items: which variant applies on which Windows, versions
// that are never downgraded, files in use replaced at the next restart (a
// real restart of the prefix with wineboot -r), and the failure messages.
#include "engine/fileplacement.h"

#include "enginekit.h"
#include "msgbox.h"
#include "process.h"
#include "script/installsettings.h"
#include "settingsscope.h"
#include "testfiles.h"
#include "text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const wchar_t SessionManagerKey[] = L"System\\CurrentControlSet\\Control\\Session Manager";
constexpr DWORD HelperPatienceMs = 30000;

struct VariantCase {
    const char* name;
    std::vector<const wchar_t*> destinations;
    // The destination each entry is placed as on 32-bit and on 64-bit
    // Windows; empty when it is not placed.
    std::vector<const wchar_t*> placed32;
    std::vector<const wchar_t*> placed64;
};

TEST(SelectVariant, ExactlyTheVariantForThisWindowsIsPlacedUnderThePlainName)
{
    SettingsScope restore;
    const VariantCase cases[] = {
        {"plain only", {L"<Destination>app.exe"}, {L"<Destination>app.exe"}, {L"<Destination>app.exe"}},
        {"plain and Unicode", {L"<Destination>app.exe", L"<Destination>app__ZTO_UNICODE.exe"},
            {L"", L"<Destination>app.exe"}, {L"", L"<Destination>app.exe"}},
        {"Unicode and 64-bit", {L"<Destination>app__ZTO_UNICODE.exe", L"<Destination>app__ZTO_WIN64.exe"},
            {L"<Destination>app.exe", L""}, {L"", L"<Destination>app.exe"}},
        {"all three",
            {L"<Destination>app.exe", L"<Destination>app__ZTO_UNICODE.exe", L"<Destination>app__ZTO_WIN64.exe"},
            {L"", L"<Destination>app.exe", L""}, {L"", L"", L"<Destination>app.exe"}},
        {"64-bit only", {L"<Destination>app__ZTO_WIN64.exe"}, {L""}, {L"<Destination>app.exe"}},
        {"plain and 64-bit", {L"<Destination>lib.dll", L"<Destination>lib__ZTO_WIN64.dll"},
            {L"<Destination>lib.dll", L""}, {L"", L"<Destination>lib.dll"}},
        {"twins compared ignoring case", {L"<Destination>App.exe", L"<DESTINATION>APP__ZTO_UNICODE.EXE"},
            {L"", L"<DESTINATION>APP.EXE"}, {L"", L"<DESTINATION>APP.EXE"}},
        {"decoration in other case is no decoration", {L"<Destination>app.exe", L"<Destination>app__zto_unicode.exe"},
            {L"", L"<Destination>app__zto_unicode.exe"}, {L"", L"<Destination>app__zto_unicode.exe"}},
        {"other folder macro is another file", {L"<Destination>app.exe", L"<Program Files>Zelto\\app__ZTO_UNICODE.exe"},
            {L"<Destination>app.exe", L"<Program Files>Zelto\\app.exe"},
            {L"<Destination>app.exe", L"<Program Files>Zelto\\app.exe"}},
    };
    for (bool windows64 : {false, true}) {
        Settings().wow64 = windows64;
        for (const VariantCase& c : cases) {
            XStringList all;
            for (const wchar_t* destination : c.destinations)
                all.AddString(destination);
            const std::vector<const wchar_t*>& expected = windows64 ? c.placed64 : c.placed32;
            for (size_t i = 0; i < c.destinations.size(); ++i) {
                XString destination(c.destinations[i]);
                bool placed = SelectVariant(destination, all);
                std::wstring as = placed ? destination.Text() : L"";
                EXPECT_EQ(as, expected[i]) << c.name << ", " << (windows64 ? "64" : "32") << "-bit Windows, entry "
                                           << Narrow(c.destinations[i]);
            }
        }
    }
}

// Holds a file open in another process without sharing it, as a running
// program holds its own files.
class FileHolder {
public:
    explicit FileHolder(const std::wstring& path)
        : held_(CreateEventW(nullptr, TRUE, FALSE, EventName().c_str()))
        , holder_(Program(L"holdfile.exe"), Quoted(path) + L" " + EventName())
    {
        holding_ = holder_.Started() && WaitForSingleObject(held_, HelperPatienceMs) == WAIT_OBJECT_0;
    }
    ~FileHolder()
    {
        Release();
        CloseHandle(held_);
    }
    FileHolder(const FileHolder&) = delete;
    FileHolder& operator=(const FileHolder&) = delete;

    bool Holding() const { return holding_; }
    void Release() { holder_.Kill(); }

private:
    static std::wstring EventName() { return L"ZeltoTestHeld-" + std::to_wstring(GetCurrentProcessId()); }

    HANDLE held_;
    ChildProcess holder_;
    bool holding_ = false;
};

std::wstring PendingRenames()
{
    HKEY key = nullptr;
    std::wstring text;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, SessionManagerKey, 0, KEY_READ, &key))
        return text;
    DWORD size = 0;
    if (!RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, nullptr, nullptr, &size) && size) {
        text.resize(size / sizeof(wchar_t));
        RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, nullptr, reinterpret_cast<BYTE*>(&text[0]), &size);
    }
    RegCloseKey(key);
    return text;
}

// What a restart of Windows does to pending renames and deletions.
bool RestartThePrefix()
{
    ChildProcess wineboot(L"C:\\windows\\system32\\wineboot.exe", L"-r");
    return wineboot.Started() && wineboot.ExitCode(120000) != STILL_ACTIVE;
}

class PlaceFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Settings().dllRegistrations.DeleteAll();
        Settings().installFolder.Assign(folder.c_str());
        CreateDirectoryW(folder.c_str(), nullptr);
    }

    std::string Fixture(const wchar_t* name) { return ReadBytes(Program(name)); }

    // Places `item` at <Destination>`name`: whether the install must stop,
    // and the messages shown, each answered with `replies`.
    bool Place(const char* item, const std::wstring& name, std::vector<BoxReply> replies, std::vector<ShownBox>& shown)
    {
        BoxAnswerer user(std::move(replies));
        bool abort = false;
        PlaceFile(XString(item), XString((L"<Destination>" + name).c_str()), abort, nullptr);
        shown = user.Finish();
        return abort;
    }

    bool Queued(const std::wstring& name) const
    {
        return Settings().dllRegistrations.Contains((folder + name).c_str(), true);
    }

    SettingsScope restore;
    ScratchFolder scratch;
    const std::wstring folder = scratch / L"Install\\";
    TestPayload payload {{{"setup.dat", "x"}, {"v1.dll", Fixture(L"versioned-1.0.dll")},
                            {"v15.dll", Fixture(L"versioned-1.5.dll")}, {"v2.dll", Fixture(L"versioned-2.0.dll")},
                            {"plain.dll", Fixture(L"unversioned.dll")}, {"notes.txt", "notes"}},
        scratch.Path()};
};

TEST_F(PlaceFileTest, VersionsAreReadFromTheVersionResource)
{
    EXPECT_EQ(GetFileVersion(XString(Program(L"versioned-1.5.dll").c_str())), uint64_t {0x0001000500000000});
    EXPECT_EQ(GetFileVersion(XString(Program(L"versioned-2.0.dll").c_str())), uint64_t {0x0002000000000000});
    EXPECT_EQ(GetFileVersion(XString(Program(L"unversioned.dll").c_str())), 0u);
    EXPECT_EQ(GetFileVersion(XString((scratch / L"missing.dll").c_str())), 0u);
}

struct PlacementCase {
    const char* name;
    const char* item;
    const wchar_t* existing; // fixture already at the destination, or null
    bool readOnly;
    const wchar_t* result; // fixture expected at the destination afterwards
};

TEST_F(PlaceFileTest, AFileIsPlacedUnlessANewerVersionIsThereAndQueuedEitherWay)
{
    const PlacementCase cases[] = {
        {"missing destination", "v1.dll", nullptr, false, L"versioned-1.0.dll"},
        {"older in place", "v2.dll", L"versioned-1.0.dll", false, L"versioned-2.0.dll"},
        {"newer in place", "v1.dll", L"versioned-2.0.dll", false, L"versioned-2.0.dll"},
        {"versionless over versioned", "plain.dll", L"versioned-1.0.dll", false, L"versioned-1.0.dll"},
        {"versioned over versionless", "v1.dll", L"unversioned.dll", false, L"versioned-1.0.dll"},
        {"read-only destination", "v2.dll", L"versioned-1.5.dll", true, L"versioned-2.0.dll"},
    };
    for (const PlacementCase& c : cases) {
        const std::wstring destination = folder + L"lib.dll";
        if (c.existing) {
            ASSERT_TRUE(CopyFileW(Program(c.existing).c_str(), destination.c_str(), FALSE)) << c.name;
            if (c.readOnly)
                SetFileAttributesW(destination.c_str(), FILE_ATTRIBUTE_READONLY);
        }
        std::vector<ShownBox> shown;
        EXPECT_FALSE(Place(c.item, L"lib.dll", {}, shown)) << c.name;
        EXPECT_TRUE(ReadBytes(destination) == Fixture(c.result)) << c.name << ": the wrong file is in place";
        EXPECT_TRUE(Queued(L"lib.dll")) << c.name << ": not queued for registration";
        Settings().dllRegistrations.DeleteAll();
        SetFileAttributesW(destination.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(destination.c_str());
    }
}

TEST_F(PlaceFileTest, TheSameVersionIsCopiedAgainAndTheFolderIsMadeFirst)
{
    const std::wstring destination = folder + L"deep\\er\\lib.dll";
    CreateDirectoryW((folder + L"deep").c_str(), nullptr);
    CreateDirectoryW((folder + L"deep\\er").c_str(), nullptr);
    WriteBytes(destination, Fixture(L"versioned-1.0.dll") + "an older build of the same version");
    std::vector<ShownBox> shown;
    EXPECT_FALSE(Place("v1.dll", L"deep\\er\\lib.dll", {}, shown));
    EXPECT_TRUE(ReadBytes(destination) == Fixture(L"versioned-1.0.dll"));

    EXPECT_FALSE(Place("NOTES.TXT", L"new\\folder\\notes.txt", {}, shown));
    EXPECT_EQ(ReadBytes(folder + L"new\\folder\\notes.txt"), "notes");
    EXPECT_FALSE(Queued(L"new\\folder\\notes.txt")) << "only DLLs are queued";
}

TEST_F(PlaceFileTest, ADamagedItemEndsTheInstallWithItsMessage)
{
    std::vector<ShownBox> shown;
    EXPECT_TRUE(Place("missing.dll", L"missing.dll", {Press(IDOK)}, shown));
    EXPECT_EQ(shown, (std::vector<ShownBox> {{L"Setup", L"This installation file is corrupted, please obtain a new copy.",
                         OkButton, BoxIcon::Error}}));
    EXPECT_FALSE(FileExists(folder + L"missing.dll"));
    EXPECT_FALSE(Queued(L"missing.dll"));
}

// A folder of the destination's name makes every copy fail for a reason
// other than a file in use.
TEST_F(PlaceFileTest, ACopyThatFailsOffersRetryAndCancelEndsTheInstall)
{
    const std::wstring destination = folder + L"notes.txt";
    const ShownBox diskFull {L"Setup", L"Cannot install '" + destination + L"', disk may be full.", RetryCancelButtons,
        BoxIcon::Error};
    ASSERT_TRUE(CreateDirectoryW(destination.c_str(), nullptr));
    std::vector<ShownBox> shown;
    EXPECT_FALSE(Place("notes.txt", L"notes.txt",
        {Press(IDRETRY), Press(IDRETRY, [&] { RemoveDirectoryW(destination.c_str()); })}, shown));
    EXPECT_EQ(shown, (std::vector<ShownBox> {diskFull, diskFull}));
    EXPECT_EQ(ReadBytes(destination), "notes") << "the copy after the second Retry";

    DeleteFileW(destination.c_str());
    ASSERT_TRUE(CreateDirectoryW(destination.c_str(), nullptr));
    EXPECT_TRUE(Place("notes.txt", L"notes.txt", {Press(IDCANCEL)}, shown));
    EXPECT_EQ(shown, std::vector<ShownBox> {diskFull});
    RemoveDirectoryW(destination.c_str());
}

TEST_F(PlaceFileTest, AFileInUseOfTheSameVersionIsLeftAsItIs)
{
    const std::wstring destination = folder + L"lib.dll";
    ASSERT_TRUE(CopyFileW(Program(L"versioned-1.0.dll").c_str(), destination.c_str(), FALSE));
    const std::wstring pendingBefore = PendingRenames();
    FileHolder program(destination);
    ASSERT_TRUE(program.Holding());
    std::vector<ShownBox> shown;
    EXPECT_FALSE(Place("v1.dll", L"lib.dll", {}, shown));
    EXPECT_FALSE(FileExists(destination + L"-ZTOTMP"));
    EXPECT_FALSE(Settings().restartNeeded);
    EXPECT_EQ(PendingRenames(), pendingBefore) << "nothing is arranged for the restart";
    EXPECT_TRUE(Queued(L"lib.dll"));
}

// The new file waits beside the one in use; a restart of Windows (here of
// the prefix) puts it in place.
TEST_F(PlaceFileTest, AFileInUseIsReplacedAtTheNextRestart)
{
    const std::wstring destination = folder + L"lib.dll";
    ASSERT_TRUE(CopyFileW(Program(L"versioned-1.0.dll").c_str(), destination.c_str(), FALSE));
    FileHolder program(destination);
    ASSERT_TRUE(program.Holding());
    std::vector<ShownBox> shown;
    EXPECT_FALSE(Place("v2.dll", L"lib.dll", {}, shown));
    EXPECT_TRUE(Settings().restartNeeded);
    EXPECT_TRUE(ReadBytes(destination + L"-ZTOTMP") == Fixture(L"versioned-2.0.dll"));
    const std::wstring pending = PendingRenames();
    EXPECT_NE(pending.find(L"\\??\\" + destination + L"-ZTOTMP"), std::wstring::npos) << Narrow(pending);
    EXPECT_NE(pending.find(L"\\??\\" + destination), std::wstring::npos);
    EXPECT_TRUE(Queued(L"lib.dll"));

    program.Release();
    ASSERT_TRUE(RestartThePrefix());
    EXPECT_TRUE(ReadBytes(destination) == Fixture(L"versioned-2.0.dll")) << "the new file is not in place";
    EXPECT_FALSE(FileExists(destination + L"-ZTOTMP"));
}

TEST_F(PlaceFileTest, ReplacementRefusedForAFileInUseIsReportedAndTheInstallGoesOn)
{
    // The waiting copy cannot be written where a folder has its name.
    const std::wstring destination = folder + L"lib.dll";
    ASSERT_TRUE(CopyFileW(Program(L"versioned-1.0.dll").c_str(), destination.c_str(), FALSE));
    ASSERT_TRUE(CreateDirectoryW((destination + L"-ZTOTMP").c_str(), nullptr));
    FileHolder program(destination);
    ASSERT_TRUE(program.Holding());
    std::vector<ShownBox> shown;
    EXPECT_FALSE(Place("v2.dll", L"lib.dll", {Press(IDOK)}, shown));
    EXPECT_EQ(shown, (std::vector<ShownBox> {{L"Setup",
                         L"Unable to replace file(s) in use, uninstall existing version, restart Windows and reinstall.",
                         OkButton, BoxIcon::None}}));
    EXPECT_FALSE(Settings().restartNeeded);
    program.Release();
    RemoveDirectoryW((destination + L"-ZTOTMP").c_str());
}

} // namespace
