// The uninstaller copy, the uninstall record written byte for byte, and the
// application's entry under the Windows Uninstall key.
#include "engine/uninstallregistration.h"

#include "enginekit.h"
#include "process.h"
#include "script/installsettings.h"
#include "settingsscope.h"
#include "testfiles.h"
#include "text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const wchar_t Project[] = L"Zelto Registration Test";
const wchar_t InstallFolder[] = L"C:\\Apps\\Zelto Test\\";

DWORD RegistryNumber(HKEY root, const std::wstring& key, const wchar_t* name)
{
    DWORD value = 0xDEADBEEF;
    DWORD size = sizeof value;
    RegGetValueW(root, key.c_str(), name, RRF_RT_REG_DWORD, nullptr, &value, &size);
    return value;
}

class RegisterUninstallerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        InstallSettings& s = Settings();
        s.projectName.Assign(Project);
        s.installFolder.Assign(InstallFolder);
        s.registeredOnce = false;
        s.uninstallerWanted = true;
        folderExisted_ = FolderExists(UninstallerFolder().Text());
    }
    void TearDown() override
    {
        DeleteFileW(RecordPath().c_str());
        DeleteRegistryKey(HKEY_LOCAL_MACHINE, UninstallKeyPath(XString(Project)).Text());
        if (!folderExisted_) {
            DeleteFileW((std::wstring(UninstallerFolder().Text()) + UninstallerName).c_str());
            RemoveDirectoryW(UninstallerFolder().Text());
        }
    }

    std::wstring RecordPath() const { return UninstallRecordPathFor(XString(Project)).Text(); }
    std::wstring Key() const { return UninstallKeyPath(XString(Project)).Text(); }

    // Registers with `script` as the setup script of the run.
    void Register(const std::string& script)
    {
        TestPayload payload({{"setup.dat", script}}, scratch.Path());
        ASSERT_TRUE(payload.Prepared());
        RegisterUninstaller();
    }

    SettingsScope restore;
    ScratchFolder scratch;
    bool folderExisted_ = false;
};

struct RecordCase {
    const char* name;
    std::string script;
    std::string record;
};

TEST_F(RegisterUninstallerTest, RecordIsTheScriptWithCrLfAfterEveryLineAndTheRealInstallFolder)
{
    const std::string folder = "C:\\Apps\\Zelto Test\\";
    const RecordCase cases[] = {
        {"CR LF",
            "[Project Name]\r\nZelto\r\n[Install To]\r\n<Program Files>Zelto\\\r\n\r\n[CopyFile]\r\napp.exe\r\n"
            "<Destination>app__ZTO_WIN64.exe\r\n",
            "[Project Name]\r\nZelto\r\n[Install To]\r\n" + folder + "\r\n\r\n[CopyFile]\r\napp.exe\r\n"
            "<Destination>app__ZTO_WIN64.exe\r\n"},
        {"LF and lone CR, last line unterminated", "[Install To]\n<Program Files>Zelto\r[CopyFile]\rcaf\xe9.txt\n<Destination>x",
            "[Install To]\r\n" + folder + "\r\n[CopyFile]\r\ncaf\xe9.txt\r\n<Destination>x\r\n"},
        {"several sections, the last header at the end",
            "[Install To]\r\nfirst\r\n[Action]\r\n[Install To]\r\nsecond\r\n[Install To]",
            "[Install To]\r\n" + folder + "\r\n[Action]\r\n[Install To]\r\n" + folder + "\r\n[Install To]\r\n" + folder + "\r\n"},
        // The line after a header is its value, whatever it holds.
        {"a header as the value", "[Install To]\r\n[Install To]\r\nlast\r\n",
            "[Install To]\r\n" + folder + "\r\nlast\r\n"},
        {"only exact headers", "[Install To] \r\nkept\r\n[install to]\r\nkept too\r\n",
            "[Install To] \r\nkept\r\n[install to]\r\nkept too\r\n"},
        {"no install folder", "[Project Name]\r\nZelto", "[Project Name]\r\nZelto\r\n"},
    };
    for (const RecordCase& c : cases) {
        Settings().registeredOnce = false;
        Register(c.script);
        EXPECT_EQ(ReadBytes(RecordPath()), c.record) << c.name;
        DeleteFileW(RecordPath().c_str());
    }
}

TEST_F(RegisterUninstallerTest, TheUninstallEntryHoldsEveryValueAndTheUninstallerIsTheRunningProgram)
{
    InstallSettings& s = Settings();
    s.programVersion.Assign(L"2.4");
    s.publisher.Assign(L"Zelto Software");
    s.totalSize = 0x100000005ull; // in KB; only the low 32 bits are kept
    Register("[Project Name]\r\nZelto\r\n");

    const std::wstring uninstaller = std::wstring(UninstallerFolder().Text()) + UninstallerName;
    EXPECT_EQ(UninstallerFolder().Text(), ProgramFilesFolder() + L"ZeltoUninstall\\");
    EXPECT_TRUE(ReadBytes(uninstaller) == ReadBytes(OwnProgramPath())) << "the uninstaller is not this program";
    EXPECT_EQ(RecordPath(), ProgramFilesFolder() + L"ZeltoUninstall\\ZeltoUninstall-" + Project + L".dat");
    EXPECT_TRUE(FileExists(RecordPath()));

    const std::wstring key = Key();
    EXPECT_EQ(key, std::wstring(L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\") + Project);
    EXPECT_EQ(RegistryText(HKEY_LOCAL_MACHINE, key, L"DisplayName"), Project);
    EXPECT_EQ(RegistryText(HKEY_LOCAL_MACHINE, key, L"Publisher"), L"Zelto Software");
    EXPECT_EQ(RegistryText(HKEY_LOCAL_MACHINE, key, L"DisplayVersion"), L"2.4");
    EXPECT_EQ(RegistryText(HKEY_LOCAL_MACHINE, key, L"InstallLocation"), InstallFolder);
    EXPECT_EQ(RegistryText(HKEY_LOCAL_MACHINE, key, L"DisplayIcon"), uninstaller);
    EXPECT_EQ(RegistryNumber(HKEY_LOCAL_MACHINE, key, L"NoModify"), 1u);
    EXPECT_EQ(RegistryNumber(HKEY_LOCAL_MACHINE, key, L"NoRepair"), 1u);
    EXPECT_EQ(RegistryNumber(HKEY_LOCAL_MACHINE, key, L"EstimatedSize"), 5u);
    EXPECT_EQ(RegistryText(HKEY_LOCAL_MACHINE, key, L"UninstallString"),
        L"\"" + uninstaller + L"\" --uninstall=\"" + RecordPath() + L"\"");
    EXPECT_EQ(RegistryText(HKEY_LOCAL_MACHINE, key, L"InstallTo"), InstallFolder);
}

TEST_F(RegisterUninstallerTest, AnEmptyPublisherAndVersionAreNotWritten)
{
    Register("[Project Name]\r\nZelto\r\n");
    EXPECT_EQ(RegistryText(HKEY_LOCAL_MACHINE, Key(), L"Publisher"), L"(missing)");
    EXPECT_EQ(RegistryText(HKEY_LOCAL_MACHINE, Key(), L"DisplayVersion"), L"(missing)");
    EXPECT_EQ(RegistryText(HKEY_LOCAL_MACHINE, Key(), L"DisplayName"), Project);
}

TEST_F(RegisterUninstallerTest, RegistrationHappensOnceAndNeverWithNoUnInstall)
{
    Register("[Project Name]\r\nZelto\r\n");
    ASSERT_TRUE(FileExists(RecordPath()));
    DeleteFileW(RecordPath().c_str());
    DeleteRegistryKey(HKEY_LOCAL_MACHINE, Key());
    Register("[Project Name]\r\nZelto\r\n");
    EXPECT_FALSE(FileExists(RecordPath())) << "registered a second time";
    EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, Key()));

    Settings().registeredOnce = false;
    Settings().uninstallerWanted = false;
    Register("[Project Name]\r\nZelto\r\n[NoUnInstall]\r\n");
    EXPECT_FALSE(FileExists(RecordPath()));
    EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, Key()));
    EXPECT_FALSE(Settings().registeredOnce);
}

TEST_F(RegisterUninstallerTest, TheSavedInstallPathIsWrittenForTheUserAndTheMachine)
{
    const std::wstring saved = L"Software\\ZeltoInstall";
    Settings().savedPath = true;
    Settings().savedPathValueName.Assign(L"Zelto Registration Test Folder");
    Register("[Project Name]\r\nZelto\r\n");
    EXPECT_EQ(RegistryText(HKEY_CURRENT_USER, saved, L"Zelto Registration Test Folder"), InstallFolder);
    EXPECT_EQ(RegistryText(HKEY_LOCAL_MACHINE, saved, L"Zelto Registration Test Folder"), InstallFolder);
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
        HKEY key = nullptr;
        if (!RegOpenKeyExW(root, saved.c_str(), 0, KEY_SET_VALUE, &key)) {
            RegDeleteValueW(key, L"Zelto Registration Test Folder");
            RegCloseKey(key);
        }
    }

    Settings().registeredOnce = false;
    Settings().savedPathValueName.Assign(L"");
    Register("[Project Name]\r\nZelto\r\n");
    EXPECT_EQ(RegistryText(HKEY_CURRENT_USER, saved, L""), L"(missing)") << "an empty value name writes nothing";
}

} // namespace
