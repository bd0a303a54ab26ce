// The install sequence over whole scripts: every section, the progress it
// reports, what it hands back to the user's process, and each way it can
// end.
#include "engine/installsequence.h"

#include "app/handback.h"
#include "engine/shellintegration.h"
#include "engine/uninstallregistration.h"
#include "enginekit.h"
#include "msgbox.h"
#include "script/installsettings.h"
#include "settingsscope.h"
#include "testfiles.h"
#include "text.h"

#include <gtest/gtest.h>
#include <objbase.h>

#include <string>
#include <vector>

namespace {

const wchar_t Project[] = L"Zelto Sequence Test";
const wchar_t TestKey[] = L"Software\\ZeltoTest\\Sequence";

std::string RegistryBytes(HKEY root, const std::wstring& key, const wchar_t* name)
{
    std::string bytes(4096, '\0');
    DWORD size = static_cast<DWORD>(bytes.size());
    if (RegGetValueW(root, key.c_str(), name, RRF_RT_REG_BINARY, nullptr, &bytes[0], &size))
        return "(missing)";
    bytes.resize(size);
    return bytes;
}

DWORD RegistryNumber(HKEY root, const std::wstring& key, const wchar_t* name)
{
    DWORD value = 0xDEADBEEF;
    DWORD size = sizeof value;
    RegGetValueW(root, key.c_str(), name, RRF_RT_REG_DWORD, nullptr, &value, &size);
    return value;
}

class InstallSequenceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        InstallSettings& s = Settings();
        s.projectName.Assign(Project);
        s.installFolder.Assign(folder.c_str());
        s.handBackPath.Assign((scratch / L"handback.tmp").c_str());
        s.wow64 = On64BitWindows();
        s.registeredOnce = false;
        s.dllRegistrations.DeleteAll();
        ClearMarkers();
        uninstallerFolderExisted_ = FolderExists(UninstallerFolder().Text());
    }
    void TearDown() override
    {
        DeleteRegistryKey(HKEY_LOCAL_MACHINE, TestKey);
        DeleteRegistryKey(HKEY_CURRENT_USER, TestKey);
        DeleteRegistryKey(HKEY_LOCAL_MACHINE, UninstallKeyPath(XString(Project)).Text());
        DeleteRegistryKey(HKEY_LOCAL_MACHINE, AppPathKey(XString(L"app.exe")).Text());
        DeleteFileW(UninstallRecordPathFor(XString(Project)).Text());
        if (!uninstallerFolderExisted_) {
            DeleteFileW((std::wstring(UninstallerFolder().Text()) + UninstallerName).c_str());
            RemoveDirectoryW(UninstallerFolder().Text());
        }
        ClearMarkers();
    }

    // Runs the install of `script` with the payload `items` beside it, the
    // message boxes answered by `replies`; returns the handed-back blocks.
    std::vector<Block> Install(const std::string& script, std::vector<TestItem> items, std::vector<BoxReply> replies,
        std::vector<ShownBox>& shown)
    {
        items.insert(items.begin(), TestItem {"setup.dat", script});
        TestPayload payload(items, scratch.Path());
        EXPECT_TRUE(payload.Prepared());
        BoxAnswerer user(std::move(replies));
        XEvent stop;
        stop.Create(nullptr);
        stopEvent_ = &stop;
        std::vector<Block> blocks = RunReplayingHandBack([&] { RunInstall(&stop, nullptr); });
        stopEvent_ = nullptr;
        shown = user.Finish();
        return blocks;
    }

    void StopNow()
    {
        if (stopEvent_)
            SetEvent(stopEvent_->Handle());
    }

    static std::string Fixture(const wchar_t* name) { return ReadBytes(Program(name)); }

    std::wstring ProgressText() const
    {
        ProgressState& progress = Settings().progress;
        XMutexLock hold(progress.mutex);
        return progress.statusText.Text();
    }

    SettingsScope restore;
    ScratchFolder scratch;
    const std::wstring folder = scratch / L"Install\\";
    XEvent* stopEvent_ = nullptr;
    bool uninstallerFolderExisted_ = false;
};

const char FullScript[] =
    "[Project Name]\r\nZelto Sequence Test\r\n"
    "[Action]\r\nCopying files\r\n"
    "[CopyFile]\r\napp.exe\r\n<Destination>app.exe\r\n"
    "[CopyFile]\r\nlib.dll\r\n<Destination>lib.dll\r\n"
    "[CopyFile]\r\nnotes.txt\r\n<Destination>notes__ZTO_WIN64.txt\r\n"
    "[CreateIcon]\r\n<Destination>app.exe\r\n<Destination>Shortcuts\\App.lnk\r\n--from-shortcut\r\nStart menu entry\r\n"
    "[CreateIcon]\r\n<Destination>app.exe\r\n<Destination>Shortcuts\\Optional.lnk\r\n--optional\r\n"
    "Optional - Desktop shortcut!\r\n"
    "[Registry]\r\nHKLM\r\nSoftware\\ZeltoTest\\Sequence\r\nSTRING\r\nFolder\r\n<Destination>\r\n"
    "[Registry]\r\nHKLM\r\nSoftware\\ZeltoTest\\Sequence\r\nDWORD\r\nCount\r\n  42\r\n"
    "[Registry]\r\nHKCU\r\nSoftware\\ZeltoTest\\Sequence\r\nDWORD\r\nLaunches\r\n  -1\r\n"
    "[Registry]\r\nHKCU\r\nSoftware\\ZeltoTest\\Sequence\r\nSTRING\r\nWhere\r\n<Destination>\r\n"
    "[Registry]\r\nHKLM\r\nSoftware\\ZeltoTest\\Sequence\r\nBINARY\r\nBlob\r\ndata.bin\r\n"
    "[Registry]\r\nHKCU\r\nSoftware\\ZeltoTest\\Sequence\r\nBINARY\r\nUser Blob\r\ndata.bin\r\n"
    "[Registry]\r\nHKLM\r\nSoftware\\ZeltoTest\\Sequence\r\nBINARY\r\nMissing\r\nabsent.bin\r\n"
    "[Registry]\r\nHKXX\r\nSoftware\\ZeltoTest\\Sequence\r\nSTRING\r\nNowhere\r\nx\r\n"
    "[Message]\r\nInstalled.\\nEnjoy <Destination>app.exe\r\nInformation\r\n"
    "[Action]\r\nRunning the helper\r\n"
    "[RunAndWaitFile]\r\n<Destination>app.exe\r\n--first\r\nSetup helper\r\n"
    "[RunFile]\r\n<Destination>app.exe\r\n--later\r\nOptional - Start the app\r\n";

TEST_F(InstallSequenceTest, AWholeScriptIsInstalledSectionBySection)
{
    const std::string blob("\x01\x02\x00\xff binary", 11);
    std::vector<ShownBox> shown;
    std::vector<Block> blocks = Install(FullScript,
        {{"app.exe", Fixture(L"recorder.exe")}, {"lib.dll", Fixture(L"marker-server.dll")}, {"notes.txt", "notes"},
            {"data.bin", blob}},
        {Press(IDOK), Press(IDOK)}, shown);

    // Files, the variant for this Windows only.
    EXPECT_TRUE(ReadBytes(folder + L"app.exe") == Fixture(L"recorder.exe"));
    EXPECT_TRUE(FileExists(folder + L"lib.dll"));
    EXPECT_EQ(FileExists(folder + L"notes.txt"), On64BitWindows());
    EXPECT_FALSE(FileExists(folder + L"notes__ZTO_WIN64.txt"));
    EXPECT_EQ(RegistryText(HKEY_LOCAL_MACHINE, AppPathKey(XString(L"app.exe")).Text(), L""), folder + L"app.exe");

    // Progress: every entry counted, skipped variants too; the DLLs last.
    {
        ProgressState& progress = Settings().progress;
        XMutexLock hold(progress.mutex);
        EXPECT_EQ(progress.position, 3);
        EXPECT_EQ(progress.maximum, 3);
        EXPECT_TRUE(progress.changed);
        EXPECT_STREQ(progress.statusText.Text(), L"Registering Dlls");
    }
    EXPECT_EQ(MarkerCount(L"lib.dll registered"), 1u) << "the placed DLL was not registered at the end";
    EXPECT_EQ(Settings().dllRegistrations.Count(), 0);
    EXPECT_FALSE(Settings().cancelled);

    // Shortcuts: the plain one now, the optional one offered.
    XString target;
    CoInitialize(nullptr);
    EXPECT_TRUE(ResolveShortcut(XString((folder + L"Shortcuts\\App.lnk").c_str()), target));
    CoUninitialize();
    EXPECT_EQ(_wcsicmp(target.Text(), (folder + L"app.exe").c_str()), 0) << Narrow(target.Text());
    EXPECT_FALSE(FileExists(folder + L"Shortcuts\\Optional.lnk"));
    ASSERT_EQ(Settings().optionalShortcuts.Count(), 1);
    EXPECT_STREQ(Settings().OptionalShortcut(0).label.Text(), L"Desktop shortcut!");
    EXPECT_STREQ(Settings().OptionalShortcut(0).shortcutFile.Text(), L"<Destination>Shortcuts\\Optional.lnk");
    EXPECT_STREQ(Settings().OptionalShortcut(0).arguments.Text(), L"--optional");
    ASSERT_EQ(Settings().optionalPrograms.Count(), 1);
    EXPECT_STREQ(Settings().OptionalProgram(0).program.Text(), L"<Destination>app.exe");
    EXPECT_STREQ(Settings().OptionalProgram(0).label.Text(), L"Start the app");
    EXPECT_FALSE(Settings().OptionalProgram(0).wait);

    // Registry: written here, or handed back for the user's own hive.
    EXPECT_EQ(RegistryText(HKEY_LOCAL_MACHINE, TestKey, L"Folder"), folder);
    EXPECT_EQ(RegistryNumber(HKEY_LOCAL_MACHINE, TestKey, L"Count"), 42u);
    EXPECT_EQ(RegistryBytes(HKEY_LOCAL_MACHINE, TestKey, L"Blob"), blob);
    EXPECT_EQ(RegistryBytes(HKEY_CURRENT_USER, TestKey, L"User Blob"), blob) << "binary user values are written here";
    EXPECT_EQ(RegistryText(HKEY_CURRENT_USER, TestKey, L"Where"), L"(missing)") << "a user value was written here";
    EXPECT_EQ(RegistryBytes(HKEY_LOCAL_MACHINE, TestKey, L"Missing"), "(missing)");

    // The uninstaller was registered before the first program ran.
    EXPECT_TRUE(Settings().registeredOnce);
    EXPECT_TRUE(FileExists(UninstallRecordPathFor(XString(Project)).Text()));

    const std::vector<Block> expectedBlocks = {
        {L"[setreg_hkcu_dword]", L"Launches", TestKey, L"  -1"},
        {L"[setreg_hkcu_string]", L"Where", TestKey, folder},
        {L"[run]", folder + L"app.exe", L"--first", L"1"},
    };
    EXPECT_EQ(blocks, expectedBlocks);
    const std::vector<ShownBox> expectedBoxes = {
        {L"Setup", L"Unable to extract 'absent.bin'", OkButton, BoxIcon::Error},
        {L"Setup", L"Installed.\r\nEnjoy " + folder + L"app.exe", OkButton, BoxIcon::Information},
    };
    EXPECT_EQ(shown, expectedBoxes);
}

struct MessageCase {
    const char* kind;
    BoxIcon icon;
};

TEST_F(InstallSequenceTest, MessagesShowTheIconOfTheirKind)
{
    const MessageCase cases[] = {
        {"Warning", BoxIcon::Warning},
        {"Information", BoxIcon::Information},
        {"Question", BoxIcon::Question},
        {"Error", BoxIcon::Error},
        {"warning", BoxIcon::None},
        {"", BoxIcon::None},
    };
    std::string script;
    std::vector<BoxReply> replies;
    std::vector<ShownBox> expected;
    for (const MessageCase& c : cases) {
        script += std::string("[Message]\r\nKind ") + c.kind + "\r\n" + c.kind + "\r\n";
        replies.push_back(Press(IDOK));
        expected.push_back(ShownBox {L"Setup", L"Kind " + Wide(c.kind), OkButton, c.icon});
    }
    std::vector<ShownBox> shown;
    Install(script, {}, std::move(replies), shown);
    EXPECT_EQ(shown, expected);
    EXPECT_FALSE(Settings().cancelled);
}

// In silent mode a message reads none of its lines: a header among them is
// acted on; optional entries are neither carried out nor offered.
TEST_F(InstallSequenceTest, SilentInstallShowsNoMessagesAndDropsOptionalItems)
{
    Settings().silent = true;
    std::vector<ShownBox> shown;
    Install("[Message]\r\n[CopyFile]\r\nnotes.txt\r\n<Destination>notes.txt\r\n"
            "[CreateIcon]\r\n<Destination>app.exe\r\n<Destination>Optional.lnk\r\n\r\nOptional - Shortcut\r\n"
            "[RunFile]\r\n<Destination>app.exe\r\n\r\nOptional - Run\r\n",
        {{"notes.txt", "notes"}}, {}, shown);
    EXPECT_EQ(shown, std::vector<ShownBox>());
    EXPECT_EQ(ReadBytes(folder + L"notes.txt"), "notes") << "the message's first line was not taken as a header";
    EXPECT_EQ(Settings().optionalShortcuts.Count(), 0);
    EXPECT_EQ(Settings().optionalPrograms.Count(), 0);
    EXPECT_FALSE(FileExists(folder + L"Optional.lnk"));
    EXPECT_EQ(ProgressText(), L"Registering Dlls") << "the install ended as a success";
}

struct EndingCase {
    const char* name;
    std::string script;
    std::vector<BoxReply> replies;
    bool cancelled;
    bool dllsRegistered;
};

// Every way the sequence can end, with what happened before and what did
// not happen after.
TEST_F(InstallSequenceTest, EachWayOfEndingLeavesTheCancelFlagAndTheDllsAsItShould)
{
    const std::string copyDll = "[CopyFile]\r\nlib.dll\r\n<Destination>lib.dll\r\n";
    const std::string thenNotes = "[CopyFile]\r\nnotes.txt\r\n<Destination>notes.txt\r\n";
    const EndingCase cases[] = {
        {"end of the script", copyDll + thenNotes, {}, false, true},
        {"No to a yes-or-no question", copyDll + "[Message]\r\nGo on?\r\nQuestionYesNo\r\n" + thenNotes, {Press(IDNO)},
            false, false},
        {"Yes to a yes-or-no question", copyDll + "[Message]\r\nGo on?\r\nQuestionYesNo\r\n" + thenNotes,
            {Press(IDYES)}, false, true},
        {"stopped while a message is up", copyDll + "[Message]\r\nStop me\r\nInformation\r\n" + thenNotes,
            {Press(IDOK, [this] { StopNow(); })}, true, false},
        {"cancelled by the user while a message is up", copyDll + "[Message]\r\nCancel\r\nInformation\r\n" + thenNotes,
            {Press(IDOK, [] { Settings().cancelled = true; })}, true, false},
        {"damaged payload item", copyDll + "[CopyFile]\r\nabsent.txt\r\n<Destination>absent.txt\r\n" + thenNotes,
            {Press(IDOK)}, true, false},
    };
    for (const EndingCase& c : cases) {
        SettingsScope each;
        std::vector<ShownBox> shown;
        Install(c.script, {{"lib.dll", Fixture(L"marker-server.dll")}, {"notes.txt", "notes"}}, c.replies, shown);
        EXPECT_EQ(shown.size(), c.replies.size()) << c.name;
        EXPECT_EQ(Settings().cancelled, c.cancelled) << c.name;
        EXPECT_EQ(MarkerCount(L"lib.dll registered"), c.dllsRegistered ? 1u : 0u) << c.name;
        EXPECT_EQ(ProgressText() == L"Registering Dlls", c.dllsRegistered) << c.name;
        EXPECT_TRUE(FileExists(folder + L"lib.dll")) << c.name << ": the first file was not placed";
        EXPECT_EQ(FileExists(folder + L"notes.txt"), c.dllsRegistered) << c.name << ": the sequence did not end there";
        ClearMarkers();
        DeleteFileW((folder + L"lib.dll").c_str());
        DeleteFileW((folder + L"notes.txt").c_str());
    }
}

TEST_F(InstallSequenceTest, ProgramsBeforeAnyCopiedFileRunWithoutTheUninstallerAndWithoutHandBack)
{
    SetEnvironmentVariableW(L"ZELTO_RECORD", (scratch / L"ran.txt").c_str());
    std::vector<ShownBox> shown;
    std::vector<Block> blocks = Install(
        "[RunAndWaitFile]\r\n" + Narrow(Program(L"recorder.exe")) + "\r\n--early\r\nPrerequisite\r\n", {}, {}, shown);
    SetEnvironmentVariableW(L"ZELTO_RECORD", nullptr);
    EXPECT_TRUE(blocks.empty()) << "handed back before any file was copied";
    EXPECT_TRUE(FileExists(scratch / L"ran.txt")) << "the program did not run here";
    EXPECT_FALSE(Settings().registeredOnce);
    EXPECT_EQ(RegistryText(HKEY_LOCAL_MACHINE, UninstallKeyPath(XString(Project)).Text(), L"DisplayName"), L"(missing)");
    EXPECT_FALSE(FileExists(UninstallRecordPathFor(XString(Project)).Text()));
    ProgressState& progress = Settings().progress;
    XMutexLock hold(progress.mutex);
    EXPECT_EQ(progress.maximum, 0);
    EXPECT_EQ(progress.position, 0);
}

TEST_F(InstallSequenceTest, CancelToTheEarlierVersionQuestionInstallsNothing)
{
    const std::wstring key = UninstallKeyPath(XString(Project)).Text();
    const std::wstring command = L"\"C:\\nowhere\\uninstall.exe\" --uninstall=\"C:\\nowhere\\record.dat\"";
    RegSetKeyValueW(HKEY_LOCAL_MACHINE, key.c_str(), L"UninstallString", REG_SZ, command.c_str(),
        static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t)));
    Settings().programVersion.Assign(L"2.0");
    std::vector<ShownBox> shown;
    Install("[CopyFile]\r\nnotes.txt\r\n<Destination>notes.txt\r\n", {{"notes.txt", "notes"}}, {Press(IDCANCEL)}, shown);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_NE(shown[0].text.find(L"Existing Version: [Unkonwn]"), std::wstring::npos) << Narrow(shown[0].text);
    EXPECT_TRUE(Settings().cancelled);
    EXPECT_FALSE(FileExists(folder + L"notes.txt"));
    EXPECT_EQ(ProgressText(), L"");
}

} // namespace
