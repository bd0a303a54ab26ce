// Shortcuts through the shell's own link objects, COM servers registered
// by their export or by regsvr32, and App Paths entries.
#include "engine/shellintegration.h"

#include "core/comptr.h"
#include "enginekit.h"
#include "msgbox.h"
#include "script/installsettings.h"
#include "settingsscope.h"
#include "testfiles.h"
#include "text.h"

#include <gtest/gtest.h>
#include <objbase.h>
#include <shlobj.h>

#include <string>
#include <vector>

namespace {

struct LinkContents {
    std::wstring target;
    std::wstring arguments;
    std::wstring workingFolder;
};

// Read through the shell's link object, independently of ResolveShortcut.
LinkContents ReadLink(const std::wstring& file)
{
    LinkContents contents;
    ComPointer<IShellLinkW> link;
    ComPointer<IPersistFile> persist;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.Receive()))
        || FAILED(link->QueryInterface(IID_IPersistFile, persist.Receive()))
        || FAILED(persist->Load(file.c_str(), STGM_READ)))
        return contents;
    wchar_t text[MAX_PATH] = {};
    link->GetPath(text, MAX_PATH, nullptr, 0);
    contents.target = text;
    text[0] = 0;
    link->GetArguments(text, MAX_PATH);
    contents.arguments = text;
    text[0] = 0;
    link->GetWorkingDirectory(text, MAX_PATH);
    contents.workingFolder = text;
    return contents;
}

class ShellIntegrationTest : public ::testing::Test {
protected:
    void SetUp() override { CoInitialize(nullptr); }
    void TearDown() override { CoUninitialize(); }

    SettingsScope restore;
    ScratchFolder scratch;
};

TEST_F(ShellIntegrationTest, ShortcutIsCreatedInANewFolderOverwrittenAndResolvedBack)
{
    const std::wstring app = scratch / L"App\\app.exe";
    CreateDirectoryW((scratch / L"App").c_str(), nullptr);
    WriteBytes(app, "program");
    WriteBytes(scratch / L"App\\other.exe", "program");
    Settings().installFolder.Assign((scratch / L"App\\").c_str());
    const std::wstring link = scratch / L"Start Menu\\Programs\\Zelto App\\App.lnk";

    // As a "[CreateIcon]" entry gives it: macros, and the working folder
    // taken from the target before expansion.
    ASSERT_TRUE(SUCCEEDED(CreateShortcut(XString(L"<Destination>..\\Start Menu\\Programs\\Zelto App\\App.lnk"),
        ScriptShortcut(XString(L"<Destination>app.exe"), XString(L"--open <Destination>doc.txt")))));
    ASSERT_TRUE(FileExists(link)) << "the shortcut's folder was not created";
    LinkContents contents = ReadLink(link);
    EXPECT_EQ(_wcsicmp(contents.target.c_str(), app.c_str()), 0) << Narrow(contents.target);
    EXPECT_EQ(contents.arguments, L"--open " + scratch.Path() + L"App\\doc.txt");
    EXPECT_EQ(contents.workingFolder, scratch / L"App\\");

    ASSERT_TRUE(SUCCEEDED(CreateShortcut(XString(link.c_str()), ScriptShortcut(XString((scratch / L"App\\other.exe").c_str()), XString(L"")))));
    contents = ReadLink(link);
    EXPECT_EQ(_wcsicmp(contents.target.c_str(), (scratch / L"App\\other.exe").c_str()), 0) << "not overwritten";
    EXPECT_EQ(contents.arguments, L"");

    XString resolved(L"left over");
    EXPECT_TRUE(ResolveShortcut(XString(link.c_str()), resolved));
    EXPECT_EQ(_wcsicmp(resolved.Text(), (scratch / L"App\\other.exe").c_str()), 0) << Narrow(resolved.Text());
    EXPECT_FALSE(ResolveShortcut(XString((scratch / L"missing.lnk").c_str()), resolved));
    EXPECT_TRUE(resolved.IsEmpty()) << "a missing shortcut leaves no target";
}

TEST_F(ShellIntegrationTest, OnlyDllAndOcxFilesAreQueuedForRegistration)
{
    struct QueueCase {
        const wchar_t* path;
        bool queued;
    };
    const QueueCase cases[] = {
        {L"C:\\App\\server.dll", true},
        {L"C:\\App\\SERVER.DLL", true},
        {L"C:\\App\\control.Ocx", true},
        {L"C:\\App\\server.dll.bak", false},
        {L"C:\\App\\app.exe", false},
        {L"C:\\App\\dll", false},
    };
    Settings().dllRegistrations.DeleteAll();
    std::vector<std::wstring> expected;
    for (const QueueCase& c : cases) {
        QueueDllRegistration(XString(c.path));
        if (c.queued)
            expected.push_back(c.path);
    }
    std::vector<std::wstring> queued;
    for (int i = 0; i < Settings().dllRegistrations.Count(); ++i)
        queued.push_back(Settings().dllRegistrations.Get(i)->Text());
    EXPECT_EQ(queued, expected);
    Settings().dllRegistrations.DeleteAll();
}

// A DLL with the export registers itself; one without is loaded and let go;
// one this 32-bit process cannot load (a 64-bit one) goes to regsvr32 once,
// silently, with its path quoted.
TEST_F(ShellIntegrationTest, DllsRegisterThroughTheirExportOrRegsvr32AndTheListEmpties)
{
    ClearMarkers();
    const std::wstring folder = scratch / L"Com Servers\\";
    CreateDirectoryW(folder.c_str(), nullptr);
    for (const wchar_t* name : {L"marker-server.dll", L"marker-plain.dll", L"marker server64.dll"})
        ASSERT_TRUE(CopyFileW(Program(name).c_str(), (folder + name).c_str(), FALSE)) << Narrow(name);
    Settings().dllRegistrations.DeleteAll();
    for (const wchar_t* name : {L"marker-server.dll", L"marker-plain.dll", L"marker server64.dll"})
        QueueDllRegistration(XString((folder + name).c_str()));

    BoxAnswerer user({});
    RegisterDlls();
    EXPECT_EQ(user.Finish(), std::vector<ShownBox>()) << "registration is silent";

    EXPECT_EQ(MarkerCount(L"marker-server.dll registered"), 1u);
    EXPECT_EQ(MarkerCount(L"marker-plain.dll registered"), 0u);
    EXPECT_GE(MarkerCount(L"marker-plain.dll loaded"), 1u) << "the DLL without the export was not loaded";
    if (On64BitWindows()) {
        EXPECT_EQ(MarkerCount(L"marker server64.dll registered"), 1u) << "regsvr32 did not register the 64-bit DLL once";
    }
    EXPECT_EQ(Settings().dllRegistrations.Count(), 0);
    for (const wchar_t* name : {L"marker-server.dll", L"marker-plain.dll", L"marker server64.dll"})
        EXPECT_TRUE(DeleteFileW((folder + name).c_str())) << Narrow(name) << " is still held";
    ClearMarkers();
}

TEST_F(ShellIntegrationTest, ProgramsAreEnteredUnderAppPathsWhateverTheCaseOfTheirExtension)
{
    const std::wstring key = L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Zelto Tool.Exe";
    Settings().installFolder.Assign((scratch / L"Tools\\").c_str());
    RegisterAppPath(XString(L"<Destination>Zelto Tool.Exe"));
    EXPECT_EQ(RegistryText(HKEY_LOCAL_MACHINE, key, L""), scratch / L"Tools\\Zelto Tool.Exe");
    EXPECT_EQ(RegistryText(HKEY_LOCAL_MACHINE, key, L"Path"), scratch / L"Tools\\");
    DeleteRegistryKey(HKEY_LOCAL_MACHINE, key);

    const std::wstring readme = L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\zelto-readme.txt";
    RegisterAppPath(XString(L"<Destination>zelto-readme.txt"));
    EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, readme)) << "only programs are entered";
}

} // namespace
