// The installer runtime itself, run as its own process with a payload
// embedded as its resource.
#include "payload/payloadarchive.h"

#include "msgbox.h"
#include "payloadkit.h"
#include "process.h"
#include "testfiles.h"
#include "text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const DWORD RunLimitMs = 60000;

// Names of the files and folders created below a folder while it is watched.
class FolderWatch {
public:
    explicit FolderWatch(const std::wstring& folder)
        : folder_(CreateFileW(folder.c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
            nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, nullptr))
        , event_(CreateEventW(nullptr, TRUE, FALSE, nullptr))
        , buffer_(16384)
    {
        Listen();
    }
    ~FolderWatch()
    {
        // The system writes into the buffer until the cancelled request has completed.
        if (listening_) {
            CancelIo(folder_);
            DWORD ignored = 0;
            GetOverlappedResult(folder_, &overlapped_, &ignored, TRUE);
        }
        CloseHandle(folder_);
        CloseHandle(event_);
    }
    FolderWatch(const FolderWatch&) = delete;
    FolderWatch& operator=(const FolderWatch&) = delete;

    // Collects until the process has ended and the folder has been quiet for a moment.
    std::vector<std::wstring> AddedUntilEnd(HANDLE process, DWORD limitMs = RunLimitMs)
    {
        const DWORD QuietMs = 1000;
        bool ended = false;
        for (;;) {
            HANDLE handles[] = {event_, process};
            DWORD waited = WaitForMultipleObjects(ended ? 1 : 2, handles, FALSE, ended ? QuietMs : limitMs);
            if (waited == WAIT_OBJECT_0) {
                Collect();
                Listen();
            } else if (waited == WAIT_OBJECT_0 + 1) {
                ended = true;
            } else {
                return added_;
            }
        }
    }

private:
    void Listen()
    {
        ResetEvent(event_);
        overlapped_ = OVERLAPPED {};
        overlapped_.hEvent = event_;
        listening_ = ReadDirectoryChangesW(folder_, buffer_.data(), static_cast<DWORD>(buffer_.size() * sizeof(DWORD)),
            TRUE, FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME, nullptr, &overlapped_, nullptr);
    }

    void Collect()
    {
        DWORD size = 0;
        listening_ = false;
        if (!GetOverlappedResult(folder_, &overlapped_, &size, FALSE) || size == 0)
            return;
        const BYTE* at = reinterpret_cast<const BYTE*>(buffer_.data());
        for (;;) {
            auto* info = reinterpret_cast<const FILE_NOTIFY_INFORMATION*>(at);
            if (info->Action == FILE_ACTION_ADDED || info->Action == FILE_ACTION_RENAMED_NEW_NAME)
                added_.emplace_back(info->FileName, info->FileNameLength / sizeof(WCHAR));
            if (!info->NextEntryOffset)
                break;
            at += info->NextEntryOffset;
        }
    }

    HANDLE folder_;
    HANDLE event_;
    OVERLAPPED overlapped_ {};
    bool listening_ = false;
    std::vector<DWORD> buffer_;
    std::vector<std::wstring> added_;
};

bool Contains(const std::vector<std::wstring>& names, const std::wstring& wanted)
{
    for (const std::wstring& name : names) {
        if (name == wanted)
            return true;
    }
    return false;
}

// "ZTO<hex>.tmp\<file>" as the install source names its folder.
std::wstring InstallFolderFileIn(const std::vector<std::wstring>& names, const std::wstring& file)
{
    for (const std::wstring& name : names) {
        size_t slash = name.find(L'\\');
        if (name.rfind(L"ZTO", 0) == 0 && slash != std::wstring::npos && name.substr(slash + 1) == file)
            return name.substr(0, slash);
    }
    return L"";
}

std::wstring SetupProgram()
{
    return ProgramFolder() + L"zelto-setup.exe";
}

class SetupProgramTest : public ::testing::Test {
protected:
    void TearDown() override { EXPECT_EQ(TempLeftovers(), std::vector<std::wstring>()); }

    std::wstring InstallerWith(const Bytes& archive)
    {
        std::wstring exe = scratch / L"setup.exe";
        EXPECT_TRUE(CopyFileW(SetupProgram().c_str(), exe.c_str(), FALSE));
        EmbedPayload(exe, archive);
        return exe;
    }

    ScratchFolder scratch;
};

TEST_F(SetupProgramTest, PackedInstallerUnpacksItsSetupFilesIntoATemporaryFolderAndRemovesItOnExit)
{
    // Made by zelto-pack from setup.dat, setup.lic and readme.txt.
    std::wstring exe = scratch / L"setup.exe";
    ASSERT_TRUE(CopyFileW((ProgramFolder() + L"packed-setup.exe").c_str(), exe.c_str(), FALSE));
    FolderWatch watch(TempFolder());
    ChildProcess setup(exe);
    ASSERT_TRUE(setup.Started());
    BoxSweeper boxes(setup.Id());
    std::vector<std::wstring> added = watch.AddedUntilEnd(setup.Handle());
    EXPECT_EQ(setup.ExitCode(RunLimitMs), 0u) << "the installer is still running";
    EXPECT_EQ(boxes.Finish(), std::vector<ShownBox>()) << "an intact installer shows no message";

    std::wstring folder = InstallFolderFileIn(added, L"setup.dat");
    EXPECT_FALSE(folder.empty()) << "no setup.dat was unpacked into a ZTO folder";
    EXPECT_TRUE(Contains(added, folder + L"\\setup.lic"));
    EXPECT_FALSE(Contains(added, folder + L"\\readme.txt")) << "only the setup files are unpacked";
    EXPECT_FALSE(FileExists(TempFolder() + folder));
}

TEST_F(SetupProgramTest, PayloadWithoutScriptShowsTheCorruptedMessageOnceAndCleansUp)
{
    std::wstring exe = InstallerWith(MakeArchive({{"app.exe", "program"}}));
    ChildProcess setup(exe);
    ASSERT_TRUE(setup.Started());
    BoxSweeper boxes(setup.Id());
    EXPECT_EQ(setup.ExitCode(RunLimitMs), 0u);
    std::vector<ShownBox> shown = boxes.Finish();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].caption, L"Setup");
    EXPECT_EQ(shown[0].text, CorruptedInstallMessage);
}

// A folder of the probe file's name where the installer probes for rights:
// Wine stores but does not enforce access rights, so the program folder is
// made unwritable for that one file instead. The installer's probe fails
// exactly as it does for a user who may not write there.
class ProgramFolderClosed {
public:
    explicit ProgramFolderClosed(bool close)
    {
        wchar_t folder[MAX_PATH] = {};
        GetEnvironmentVariableW(L"ProgramFiles", folder, MAX_PATH);
        if (close) {
            probe_ = std::wstring(folder) + L"\\ZeltoInstaller.TMP";
            closed_ = CreateDirectoryW(probe_.c_str(), nullptr) != FALSE;
        }
    }
    ~ProgramFolderClosed()
    {
        if (closed_)
            RemoveDirectoryW(probe_.c_str());
    }
    ProgramFolderClosed(const ProgramFolderClosed&) = delete;
    ProgramFolderClosed& operator=(const ProgramFolderClosed&) = delete;

    bool Closed() const { return closed_; }

private:
    std::wstring probe_;
    bool closed_ = false;
};

struct RoleCase {
    const char* name;
    std::wstring arguments;
    bool closeProgramFolder;
    std::vector<std::wstring> messages;
};

// The payload has no setup.dat, so every role that prepares the install
// source says so; the roles that must not prepare it stay quiet.
TEST_F(SetupProgramTest, CommandLineAndRightsChooseTheRole)
{
    const std::wstring rights =
        L"Installer requires Administrator rights, change this account to an Administrator, then retry the install.";
    const std::wstring corrupted = CorruptedInstallMessage;
    const RoleCase cases[] = {
        {"uninstall switch", L"--uninstall=\"C:\\Program Files\\App\\uninstall.dat\"", false, {}},
        {"uninstall marker", L"<uninstall>C:\\App\\uninstall.dat", false, {}},
        {"uninstall switch without rights", L"--uninstall=C:\\App\\uninstall.dat --IsElevated", true, {}},
        {"elevated copy without rights", L"--IsElevated=\"C:\\hb.tmp\"", true, {rights}},
        {"elevated copy with rights", L"--IsElevated=\"C:\\hb.tmp\"", false, {corrupted}},
        {"parent without rights", L"--silent", true, {corrupted}},
    };
    std::wstring exe = InstallerWith(MakeArchive({{"app.exe", "program"}}));
    for (const RoleCase& c : cases) {
        ProgramFolderClosed programFolder(c.closeProgramFolder);
        ASSERT_EQ(programFolder.Closed(), c.closeProgramFolder) << c.name;
        ChildProcess setup(exe, c.arguments);
        ASSERT_TRUE(setup.Started()) << c.name;
        BoxSweeper boxes(setup.Id());
        EXPECT_EQ(setup.ExitCode(RunLimitMs), 0u) << c.name;
        std::vector<std::wstring> shown;
        for (const ShownBox& box : boxes.Finish()) {
            EXPECT_EQ(box.caption, L"Setup") << c.name;
            shown.push_back(box.text);
        }
        EXPECT_EQ(shown, c.messages) << c.name;
    }
}

// The PE header's large-address-aware bit.
constexpr WORD LargeAddressAware = IMAGE_FILE_LARGE_ADDRESS_AWARE;

std::string FirstBytes(const std::wstring& path, DWORD count)
{
    std::string bytes(count, '\0');
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
        nullptr);
    DWORD got = 0;
    if (file != INVALID_HANDLE_VALUE) {
        ReadFile(file, &bytes[0], count, &got, nullptr);
        CloseHandle(file);
    }
    bytes.resize(got);
    return bytes;
}

WORD ImageCharacteristics(const std::wstring& exe, LONG* at = nullptr)
{
    std::string header = FirstBytes(exe, 4096);
    if (header.size() < sizeof(IMAGE_DOS_HEADER))
        return 0;
    LONG peAt = *reinterpret_cast<const LONG*>(&header[offsetof(IMAGE_DOS_HEADER, e_lfanew)]);
    LONG characteristicsAt = peAt + sizeof(DWORD) + offsetof(IMAGE_FILE_HEADER, Characteristics);
    if (characteristicsAt < 0 || static_cast<size_t>(characteristicsAt) + sizeof(WORD) > header.size())
        return 0;
    if (at)
        *at = characteristicsAt;
    return *reinterpret_cast<const WORD*>(&header[characteristicsAt]);
}

bool On32BitWindows()
{
    BOOL wow64 = FALSE;
    IsWow64Process(GetCurrentProcess(), &wow64);
    SYSTEM_INFO info {};
    GetNativeSystemInfo(&info);
    return !wow64 && info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_INTEL;
}

// Wine gives a large-address-aware 32-bit process more than 2 GB even in
// the 32-bit prefix; 32-bit Windows gives it 2 GB. There the installer is
// run as a copy without the bit, which Wine holds to 2 GB as Windows does.
std::wstring AsOn32BitWindows(const std::wstring& exe, const ScratchFolder& scratch)
{
    std::wstring copy = scratch / L"large-item-setup.exe";
    if (!CopyFileW(exe.c_str(), copy.c_str(), FALSE))
        return L"";
    LONG at = 0;
    WORD characteristics = ImageCharacteristics(copy, &at) & ~LargeAddressAware;
    HANDLE file = CreateFileW(copy.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    bool patched = file != INVALID_HANDLE_VALUE && SetFilePointer(file, at, nullptr, FILE_BEGIN) == static_cast<DWORD>(at)
        && WriteFile(file, &characteristics, sizeof characteristics, &written, nullptr) && written == sizeof characteristics;
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    return patched ? copy : L"";
}

class LargestItem : public SetupProgramTest {};

// The installer unpacks "setup.bmp" with its other setup files; its stored
// stream is as long as an incompressible item of the largest size would
// make it (see tests/pack/make_large_setup.cpp).
TEST_F(LargestItem, AnItemOfTheLargestSizeTheFormatAllowsUnpacksInTheInstallerItself)
{
    const DWORD LargeRunLimitMs = 300000;
    std::wstring exe = ProgramFolder() + L"large-item-setup.exe";
    ASSERT_TRUE(FileExists(exe));
    EXPECT_TRUE(ImageCharacteristics(SetupProgram()) & LargeAddressAware) << "the installer is not large-address-aware";
    if (On32BitWindows()) {
        exe = AsOn32BitWindows(exe, scratch);
        ASSERT_FALSE(exe.empty()) << "cannot make the copy for 32-bit Windows";
    }
    FolderWatch watch(TempFolder());
    ChildProcess setup(exe);
    ASSERT_TRUE(setup.Started());
    BoxSweeper boxes(setup.Id());
    std::vector<std::wstring> added = watch.AddedUntilEnd(setup.Handle(), LargeRunLimitMs);
    EXPECT_EQ(setup.ExitCode(LargeRunLimitMs), 0u) << "the installer is still running";
    EXPECT_EQ(boxes.Finish(), std::vector<ShownBox>()) << "the large item did not unpack";
    EXPECT_FALSE(InstallFolderFileIn(added, L"setup.bmp").empty()) << "setup.bmp was never written";
}

TEST(SetupProgramResources, ManifestAsksForUserRightsDpiAwarenessAndCommonControls6)
{
    HMODULE module = LoadLibraryExW(SetupProgram().c_str(), nullptr,
        LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_TRUE(module);
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(1), RT_MANIFEST);
    ASSERT_TRUE(found);
    const char* bytes = static_cast<const char*>(LockResource(LoadResource(module, found)));
    std::string manifest(bytes, SizeofResource(module, found));
    for (const char* wanted : {"level=\"asInvoker\"", ">true/PM<", ">PerMonitorV2<",
             "name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"",
             "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}", "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"})
        EXPECT_NE(manifest.find(wanted), std::string::npos) << wanted;
    EXPECT_TRUE(FindResourceW(module, MAKEINTRESOURCEW(VS_VERSION_INFO), RT_VERSION));
    FreeLibrary(module);
}

} // namespace
