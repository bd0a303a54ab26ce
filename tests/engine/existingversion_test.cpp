// An earlier installation of the same project: its version from its
// record, and the question whether to remove it first, answered as a user
// would.
#include "engine/existingversion.h"

#include "app/commandline.h"
#include "engine/uninstallregistration.h"
#include "enginekit.h"
#include "msgbox.h"
#include "script/installsettings.h"
#include "settingsscope.h"
#include "testfiles.h"
#include "text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const wchar_t Project[] = L"Zelto Earlier Version Test";

struct VersionCase {
    const char* name;
    const char* record; // null: no record file
    const wchar_t* version;
};

TEST(ReadRecordVersion, IsTheLineAfterTheFirstProgramVersionOrUnknown)
{
    ScratchFolder scratch;
    const VersionCase cases[] = {
        {"version", "[Project Name]\r\nZelto\r\n[ProgramVersion]\r\n2.4 beta\r\n[ProgramVersion]\r\n3\r\n", L"2.4 beta"},
        {"empty version line", "[ProgramVersion]\r\n\r\n", L""},
        {"header as the last line", "[ProgramVersion]", L""},
        {"LF line ends", "[Project Name]\nZelto\n[ProgramVersion]\n1.0\n", L"1.0"},
        {"no version section", "[Project Name]\r\nZelto\r\n[programversion]\r\n9\r\n", L"[Unkonwn]"},
        {"no record", nullptr, L"[Unkonwn]"},
    };
    for (const VersionCase& c : cases) {
        const std::wstring record = scratch / L"record.dat";
        DeleteFileW(record.c_str());
        if (c.record)
            WriteBytes(record, c.record);
        EXPECT_EQ(std::wstring(ReadRecordVersion(XString(record.c_str())).Text()), c.version) << c.name;
    }
}

TEST(RecordPathFromCommand, GivesBackTheRecordOfTheUninstallStringTheInstallerWrites)
{
    const XString record(L"C:\\Program Files\\ZeltoUninstall\\ZeltoUninstall-My App.dat");
    const XString command = XString::Formatted(L"\"%s\" --uninstall=\"%s\"",
        L"C:\\Program Files\\ZeltoUninstall\\ZeltoUninstall.exe", record.Text());
    EXPECT_STREQ(RecordPathFromCommand(command).Text(), record.Text());
    EXPECT_STREQ(RecordPathFromCommand(L"MsiExec.exe /X{12345}").Text(), L"");
}

class ExistingVersionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Settings().projectName.Assign(Project);
        SetEnvironmentVariableW(L"ZELTO_RECORD", (scratch / L"ran.txt").c_str());
    }
    void TearDown() override
    {
        SetEnvironmentVariableW(L"ZELTO_RECORD", nullptr);
        DeleteRegistryKey(HKEY_LOCAL_MACHINE, Key());
    }

    std::wstring Key() const { return UninstallKeyPath(XString(Project)).Text(); }
    std::wstring Record() const { return scratch / L"ZeltoUninstall-earlier.dat"; }
    // The earlier installation's uninstaller is the recorder, which notes
    // how it was started.
    std::wstring UninstallCommand() const
    {
        return L"\"" + Program(L"recorder.exe") + L"\" --uninstall=\"" + Record() + L"\"";
    }
    void InstallEarlier(const char* record)
    {
        WriteBytes(Record(), record);
        ASSERT_EQ(RegSetKeyValueW(HKEY_LOCAL_MACHINE, Key().c_str(), L"UninstallString", REG_SZ,
                      UninstallCommand().c_str(), static_cast<DWORD>((UninstallCommand().size() + 1) * sizeof(wchar_t))),
            ERROR_SUCCESS);
    }
    bool UninstallerRan() const { return FileExists(scratch / L"ran.txt"); }

    std::wstring Question(const std::wstring& versions) const
    {
        return std::wstring(L"Setup has detected an existing version of ") + Project + L".\r\n\r\n" + versions
            + L"Uninstall existing before installing new? (Cancel to exit, leaving existing version).";
    }
    ShownBox Box(const std::wstring& versions) const
    {
        return ShownBox {L"Setup", Question(versions), {IDYES, IDNO, IDCANCEL}, BoxIcon::Question};
    }

    SettingsScope restore;
    ScratchFolder scratch;
};

TEST_F(ExistingVersionTest, WithoutAnEarlierInstallationNothingIsAsked)
{
    BoxAnswerer user({});
    EXPECT_TRUE(ExistingVersionStep(nullptr));
    EXPECT_EQ(user.Finish(), std::vector<ShownBox>());
    EXPECT_TRUE(RegistryKeyExists(HKEY_LOCAL_MACHINE, Key())) << "looking creates the empty key, as Windows lookups here do";
}

TEST_F(ExistingVersionTest, TheQuestionNamesBothVersionsOnlyWhenThisInstallHasOne)
{
    InstallEarlier("[ProgramVersion]\r\n1.0\r\n");
    struct QuestionCase {
        const char* name;
        const wchar_t* newVersion;
        const char* record;
        std::wstring versions;
    };
    const QuestionCase cases[] = {
        {"both versions", L"2.0", "[ProgramVersion]\r\n1.0\r\n", L"  Installing Version: 2.0\r\n  Existing Version: 1.0\r\n\r\n"},
        {"no new version", L"", "[ProgramVersion]\r\n1.0\r\n", L""},
        {"record without a version", L"2.0", "[Project Name]\r\nx\r\n",
            L"  Installing Version: 2.0\r\n  Existing Version: [Unkonwn]\r\n\r\n"},
    };
    for (const QuestionCase& c : cases) {
        Settings().programVersion.Assign(c.newVersion);
        WriteBytes(Record(), c.record);
        BoxAnswerer user({Press(IDNO)});
        EXPECT_TRUE(ExistingVersionStep(nullptr)) << c.name << ": No goes on with the install";
        EXPECT_EQ(user.Finish(), std::vector<ShownBox> {Box(c.versions)}) << c.name;
        EXPECT_FALSE(UninstallerRan()) << c.name;
        EXPECT_FALSE(Settings().cancelled) << c.name;
    }
}

TEST_F(ExistingVersionTest, CancelEndsTheInstall)
{
    InstallEarlier("[ProgramVersion]\r\n1.0\r\n");
    BoxAnswerer user({Press(IDCANCEL)});
    EXPECT_FALSE(ExistingVersionStep(nullptr));
    EXPECT_EQ(user.Finish().size(), 1u);
    EXPECT_TRUE(Settings().cancelled);
    EXPECT_FALSE(UninstallerRan());
}

TEST_F(ExistingVersionTest, YesRunsTheEarlierUninstallerWaitsForItAndGoesOn)
{
    InstallEarlier("[ProgramVersion]\r\n1.0\r\n");
    BoxAnswerer user({Press(IDYES)});
    DWORD start = GetTickCount();
    EXPECT_TRUE(ExistingVersionStep(nullptr));
    DWORD took = GetTickCount() - start;
    user.Finish();
    ASSERT_TRUE(UninstallerRan()) << "the earlier uninstaller did not run before the step returned";
    std::wstring ran = Wide(ReadBytes(scratch / L"ran.txt"));
    if (!ran.empty() && ran[0] == 0xFEFF)
        ran.erase(0, 1);
    std::wstring commandLine = ran.substr(0, ran.find_first_of(L"\r\n"));
    EXPECT_EQ(commandLine, UninstallCommand()) << "not the command line as read";
    EXPECT_GE(took, 3900u) << "no pause after the uninstaller";
    EXPECT_FALSE(Settings().cancelled);
}

TEST_F(ExistingVersionTest, CancellingWhileTheEarlierUninstallerRunsEndsTheInstall)
{
    InstallEarlier("[ProgramVersion]\r\n1.0\r\n");
    BoxAnswerer user({Press(IDYES, [] { Settings().cancelled = true; })});
    EXPECT_FALSE(ExistingVersionStep(nullptr));
    user.Finish();
    EXPECT_TRUE(UninstallerRan());
}

} // namespace
