#include "app/commandline.h"

#include "process.h"
#include "script/installsettings.h"
#include "script/pathmacros.h"
#include "settingsscope.h"
#include "text.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

using Switches = std::vector<std::pair<std::wstring, std::wstring>>;

Switches Parsed(const wchar_t* line)
{
    SwitchList list;
    ParseSwitches(line, list);
    Switches result;
    for (int i = 0; i < list.Count(); ++i)
        result.emplace_back(list.names.Get(i)->Text(), list.values.Get(i)->Text());
    return result;
}

struct ParseCase {
    const wchar_t* line;
    Switches expected;
};

TEST(ParseSwitches, SplitsDashedNamesAndTheirValues)
{
    const ParseCase cases[] = {
        {L"\"C:\\a b\\setup.exe\" --IsElevated=\"C:\\Temp\\hb 1.tmp\" --silent",
            {{L"IsElevated", L"C:\\Temp\\hb 1.tmp"}, {L"silent", L""}}},
        {L"C:\\my-apps\\setup.exe", {{L"apps\\setup.exe", L""}}},
        {L"setup.exe -iselevated=x", {{L"iselevated", L"x"}}},
        {L"setup.exe --a --b", {{L"a", L""}, {L"b", L""}}},
        {L"setup.exe --a value --b=\"two words\" -c", {{L"a", L"value"}, {L"b", L"two words"}, {L"c", L""}}},
        {L"setup.exe --a = \"x-y z\" tail", {{L"a", L"x-y z"}}},
        {L"setup.exe --a=\"unclosed value", {{L"a", L""}}},
        {L"setup.exe -- --b", {{L"b", L""}}},
        {L"setup.exe --", {}},
        {L"\"setup.exe\"", {}},
        {L"\"unclosed -x", {{L"x", L""}}},
        {L"", {}},
    };
    for (const ParseCase& c : cases)
        EXPECT_EQ(Parsed(c.line), c.expected) << Narrow(c.line);
}

TEST(ParseSwitches, IsElevatedIsFoundInAnyCaseAndBecomesTheHandBackPath)
{
    SettingsScope restore;
    SwitchList list;
    ParseSwitches(L"setup.exe --silent -ISELEVATED=\"C:\\hb.tmp\" --IsElevated=second", list);
    EXPECT_EQ(list.IndexOfIsElevated(), 1);
    EXPECT_TRUE(TakeOverHandBackPath(list));
    EXPECT_STREQ(Settings().handBackPath.Text(), L"C:\\hb.tmp");
    ParseSwitches(L"setup.exe --silent", list);
    EXPECT_EQ(list.IndexOfIsElevated(), -1);
    EXPECT_FALSE(TakeOverHandBackPath(list));
    EXPECT_STREQ(Settings().handBackPath.Text(), L"");
}

struct RawCase {
    const wchar_t* line;
    bool silent;
    bool autoReboot;
};

TEST(RawSwitches, SilentAndNoAutoRebootAreCaseSensitiveSubstrings)
{
    const RawCase cases[] = {
        {L"setup.exe", false, true},
        {L"setup.exe --silent", true, true},
        {L"setup.exe --SILENT", false, true},
        {L"setup.exe /x--silently", true, true},
        {L"setup.exe <Silent>", true, true},
        {L"setup.exe <silent>", false, true},
        {L"setup.exe --noautoreboot", false, false},
        {L"\"C:\\--noautoreboot\\setup.exe\"", false, false},
    };
    SettingsScope restore;
    for (const RawCase& c : cases) {
        Settings().silent = false;
        Settings().autoReboot = true;
        ApplyCommandLineFlags(c.line);
        EXPECT_EQ(Settings().silent, c.silent) << Narrow(c.line);
        EXPECT_EQ(Settings().autoReboot, c.autoReboot) << Narrow(c.line);
    }
}

struct ValueCase {
    const wchar_t* line;
    bool uninstall;
    std::wstring recordPath;
    std::wstring installFolder;
};

TEST(RawSwitches, UninstallAndInstallToTakeTheRestOfTheLine)
{
    const ValueCase cases[] = {
        {L"\"C:\\Program Files\\Zelto\\setup.exe\" --uninstall=\"C:\\Program Files\\Zelto\\uninstall.dat\"", true,
            L"C:\\Program Files\\Zelto\\uninstall.dat", L""},
        {L"setup.exe <uninstall>\"C:\\rec.dat\"", true, L"C:\\rec.dat", L""},
        {L"setup.exe <uninstall> --uninstall=C:\\rec.dat", true, L" --uninstall=C:\\rec.dat", L""},
        {L"setup.exe <uninstall>--uninstall=\"C:\\rec.dat\"", true, L"--uninstall=\"C:\\rec.dat", L""},
        {L"setup.exe <uninstall>", true, L"", L""},
        {L"setup.exe --Uninstall=C:\\rec.dat", false, L"", L""},
        {L"setup.exe --installto=\"D:\\My Apps\\Zelto\"", false, L"", L"D:\\My Apps\\Zelto"},
        {L"setup.exe --installto=\"D:\\My Apps\" --silent", false, L"", L"D:\\My Apps\" --silent"},
        {L"setup.exe <installto>D:\\Apps --installto=E:\\Apps", false, L"", L"E:\\Apps"},
        {L"setup.exe <installto>\"D:\\Apps\"", false, L"", L"\"D:\\Apps\""},
        {L"setup.exe --installtoD:\\Apps", false, L"", L"D:\\Apps"},
    };
    for (const ValueCase& c : cases) {
        EXPECT_EQ(IsUninstallCommandLine(c.line), c.uninstall) << Narrow(c.line);
        EXPECT_EQ(std::wstring(RecordPathFromCommand(c.line).Text()), c.recordPath) << Narrow(c.line);
        EXPECT_EQ(std::wstring(CommandLineInstallFolder(c.line).Text()), c.installFolder) << Narrow(c.line);
    }
}

TEST(OwnArguments, AreTheLineAfterTheProgramPathTrimmed)
{
    const std::pair<const wchar_t*, std::wstring> cases[] = {
        {L"\"C:\\a b\\setup.exe\"   --silent  ", L"--silent"},
        {L"C:\\setup.exe", L"C:\\setup.exe"},
        {L"C:\\setup.exe --silent --x=\"a b\"", L"--silent --x=\"a b\""},
        {L"\"C:\\setup.exe\"", L""},
        {L"\"C:\\unclosed --silent", L"\"C:\\unclosed --silent"},
        {L" setup.exe --a", L"--a"},
        {L"", L""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(std::wstring(OwnArguments(c.first).Text()), c.second) << Narrow(c.first);
}

TEST(OwnExecutablePath, IsTheRunningProgram)
{
    EXPECT_EQ(OwnExecutablePath().Text(), OwnProgramPath());
}

TEST(AdministratorProbe, WritesAndRemovesItsFileInTheProgramFolder)
{
    // The test prefixes run as an administrator, as Wine always does.
    XString probe(L"<Program Files>\\ZeltoInstaller.TMP");
    ExpandMacros(probe);
    EXPECT_TRUE(HasAdministratorRights());
    EXPECT_EQ(GetFileAttributesW(probe), INVALID_FILE_ATTRIBUTES) << "the probe file stayed";
}

} // namespace
