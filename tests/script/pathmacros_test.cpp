// Path macros against the folders Windows itself reports, through other
// calls than the ones the expansion uses.
#include "script/pathmacros.h"

#include "core/xstring.h"
#include "payload/installsource.h"
#include "script/installsettings.h"
#include "settingsscope.h"
#include "text.h"

#include <gtest/gtest.h>
#include <shlobj.h>

#include <string>

namespace {

std::wstring Env(const wchar_t* name)
{
    wchar_t value[MAX_PATH] = {};
    GetEnvironmentVariableW(name, value, MAX_PATH);
    return value;
}

std::wstring WithBackslash(std::wstring folder)
{
    if (folder.empty() || folder.back() != L'\\')
        folder += L'\\';
    return folder;
}

std::wstring ShellFolder(int csidl)
{
    wchar_t folder[MAX_PATH] = {};
    SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, folder);
    return WithBackslash(folder);
}

bool On64BitWindows()
{
    BOOL wow64 = FALSE;
    IsWow64Process(GetCurrentProcess(), &wow64);
    return wow64 != FALSE;
}

std::wstring Expanded(const std::wstring& text)
{
    XString s(text.c_str());
    ExpandMacros(s);
    return s.Text();
}

class MacroTest : public ::testing::Test {
protected:
    SettingsScope restore;
};

struct MacroCase {
    std::wstring text;
    std::wstring expected;
};

TEST_F(MacroTest, EachMacroBecomesTheFolderWindowsReports)
{
    const std::wstring windows = WithBackslash(Env(L"SystemRoot"));
    const std::wstring system = windows + L"system32\\";
    // A 32-bit program on 64-bit Windows sees its own program folder as "ProgramFiles".
    const std::wstring programFiles = WithBackslash(Env(L"ProgramFiles"));
    const std::wstring wow64 = On64BitWindows() ? windows + L"syswow64\\" : system;
    const MacroCase cases[] = {
        {L"<System>", system},
        {L"<SystemWOW64>", wow64},
        {L"<Windows>", windows},
        {L"<Program Files>", programFiles},
        {L"<Startup>", ShellFolder(CSIDL_STARTUP)},
        {L"<Start Programs>", ShellFolder(CSIDL_COMMON_PROGRAMS)},
        {L"<DeskTop>", ShellFolder(CSIDL_DESKTOPDIRECTORY)},
        {L"<QuickLaunch>", ShellFolder(CSIDL_APPDATA) + L"Microsoft\\Internet Explorer\\Quick Launch\\"},
        {L"<MyDocuments>", ShellFolder(CSIDL_PERSONAL)},
        {L"<system>", system},
        {L"<PROGRAM FILES>", programFiles},
        {L"<desktop>", ShellFolder(CSIDL_DESKTOPDIRECTORY)},
        {L"<Program Files>ZeltoUninstall\\", programFiles + L"ZeltoUninstall\\"},
        {L"<Program Files>\\ZeltoInstaller.TMP", programFiles + L"ZeltoInstaller.TMP"},
        {L"<Windows>a;<windows>b", windows + L"a;" + windows + L"b"},
        {L"C:\\plain\\\\path\\\\\\x", L"C:\\plain\\path\\\\x"},
        {L"no macros at all", L"no macros at all"},
        {L"<Unknown>\\x", L"<Unknown>\\x"},
        {L"<TempInstall>tool.exe", L"<TempInstall>tool.exe"},
    };
    for (const MacroCase& c : cases) {
        EXPECT_EQ(_wcsicmp(Expanded(c.text).c_str(), c.expected.c_str()), 0)
            << Narrow(c.text) << " gave " << Narrow(Expanded(c.text)) << ", expected " << Narrow(c.expected);
    }
    EXPECT_EQ(Expanded(Expanded(L"<Windows>x")), Expanded(L"<Windows>x")) << "expanding twice changes nothing";
}

TEST_F(MacroTest, SixtyFourBitModeReadsTheSixtyFourBitProgramFolder)
{
    // Set by Windows for 32-bit programs on 64-bit Windows only.
    const std::wstring programFiles64 = WithBackslash(Env(L"ProgramW6432"));
    const std::wstring programFiles = WithBackslash(Env(L"ProgramFiles"));
    Settings().mode64Bit = false;
    EXPECT_EQ(Expanded(L"<Program Files>App"), programFiles + L"App");
    Settings().mode64Bit = true;
    if (On64BitWindows()) {
        EXPECT_NE(programFiles64, programFiles);
        EXPECT_EQ(Expanded(L"<Program Files>App"), programFiles64 + L"App");
    } else {
        EXPECT_EQ(Expanded(L"<Program Files>App"), programFiles + L"App") << "32-bit Windows has one program folder";
    }
}

TEST_F(MacroTest, DestinationMayHoldLaterMacrosAndNetworkPathsKeepTheirLeadingPair)
{
    const std::wstring programFiles = WithBackslash(Env(L"ProgramFiles"));
    const std::wstring windows = WithBackslash(Env(L"SystemRoot"));
    struct DestinationCase {
        const wchar_t* installFolder;
        const wchar_t* text;
        std::wstring expected;
    };
    const DestinationCase cases[] = {
        {L"D:\\Apps\\Zelto\\", L"<Destination>app.exe", L"D:\\Apps\\Zelto\\app.exe"},
        {L"D:\\Apps\\Zelto\\", L"<Destination>\\app.exe", L"D:\\Apps\\Zelto\\app.exe"},
        {L"D:\\Apps\\Zelto", L"<destination>app.exe", L"D:\\Apps\\Zelto\\app.exe"},
        {L"<Program Files>Zelto", L"<Destination>bin\\app.exe", programFiles + L"Zelto\\bin\\app.exe"},
        // Macros before "<Destination>" in the order are not seen again.
        {L"<Windows>Zelto", L"<Destination>app.exe", L"<Windows>Zelto\\app.exe"},
        {L"share\\Zelto\\", L"\\\\server\\<Destination>\\app.exe", L"\\\\server\\share\\Zelto\\app.exe"},
        {L"\\\\server\\share\\Zelto", L"<Destination>app.exe", L"\\\\server\\share\\Zelto\\app.exe"},
        {L"", L"<Destination>app.exe", L"\\app.exe"},
        {L"D:\\Zelto", L"<Windows>;<Destination>", windows + L";D:\\Zelto\\"},
    };
    for (const DestinationCase& c : cases) {
        Settings().installFolder.Assign(c.installFolder);
        EXPECT_EQ(Expanded(c.text), c.expected)
            << "install folder " << Narrow(c.installFolder) << ", text " << Narrow(c.text);
    }
}

TEST_F(MacroTest, SourceIsTheInstallSourceFolderAndStaysWithoutOne)
{
    EXPECT_EQ(Expanded(L"<Source>readme.txt"), L"<Source>readme.txt") << "no install source, as in the uninstaller";
    InstallSource source;
    source.tempFolder.reset(new XString(L"C:\\Temp\\ZTO1a2b.tmp"));
    Settings().installSource = &source;
    EXPECT_EQ(Expanded(L"<Source>readme.txt"), L"C:\\Temp\\ZTO1a2b.tmp\\readme.txt");
    EXPECT_EQ(Expanded(L"<source>\\readme.txt"), L"C:\\Temp\\ZTO1a2b.tmp\\readme.txt");
    Settings().installSource = nullptr;
    source.tempFolder.reset();
}

TEST(InstallSettings, StartAsABrandNewRunHasThem)
{
    const InstallSettings& s = Settings();
    EXPECT_STREQ(s.projectName.Text(), L"Setup");
    EXPECT_STREQ(MessageCaption().Text(), L"Setup");
    EXPECT_STREQ(s.programVersion.Text(), L"");
    EXPECT_STREQ(s.handBackPath.Text(), L"");
    EXPECT_TRUE(s.uninstallerWanted);
    EXPECT_TRUE(s.offerUninstallOld);
    EXPECT_TRUE(s.autoReboot);
    EXPECT_FALSE(s.silent);
    EXPECT_FALSE(s.cancelled);
    EXPECT_FALSE(s.restartNeeded);
    EXPECT_EQ(s.installSource, nullptr);
    EXPECT_EQ(s.finishCounter, 0);
    EXPECT_EQ(s.optionalPrograms.Count(), 0);
    EXPECT_EQ(s.optionalShortcuts.Count(), 0);
    EXPECT_EQ(s.progress.position, 0);
    EXPECT_EQ(s.progress.maximum, 0);
    EXPECT_EQ(s.progress.Percent(), 0) << "no maximum shows an empty bar";
}

TEST(ProgressState, PercentIsPositionTimesHundredOverMaximum)
{
    const int cases[][3] = {{0, 0, 0}, {5, 0, 0}, {1, 3, 33}, {2, 3, 66}, {3, 3, 100}, {50000000, 60000000, 83}};
    for (const auto& c : cases) {
        ProgressState progress;
        progress.position = c[0];
        progress.maximum = c[1];
        EXPECT_EQ(progress.Percent(), c[2]) << c[0] << " of " << c[1];
    }
}

} // namespace
