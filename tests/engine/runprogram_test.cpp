// Running programs with small helper programs of the test build: a
// recorder that writes down its command line, its own path and its parent,
// and copies of it whose manifests ask for administrator rights.
#include "engine/runprogram.h"

#include "app/handback.h"
#include "core/registry.h"
#include "enginekit.h"
#include "msgbox.h"
#include "payload/installsource.h"
#include "payloadkit.h"
#include "process.h"
#include "script/installsettings.h"
#include "settingsscope.h"
#include "testfiles.h"
#include "text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Record {
    bool ran = false;
    std::wstring commandLine;
    std::wstring path;
    DWORD parent = 0;
};

std::vector<std::wstring> Lines(const std::string& utf8)
{
    std::wstring text(utf8.size(), L'\0');
    text.resize(MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &text[0],
        static_cast<int>(text.size())));
    std::vector<std::wstring> lines;
    size_t start = text.size() && text[0] == 0xFEFF ? 1 : 0;
    for (size_t end; (end = text.find(L'\n', start)) != std::wstring::npos; start = end + 1) {
        size_t length = end - start;
        if (length > 0 && text[end - 1] == L'\r')
            --length;
        lines.push_back(text.substr(start, length));
    }
    return lines;
}

struct RunRequest {
    std::wstring program;
    std::wstring arguments;
    bool wait;
    bool handBackAllowed;
};

class RunProgramTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetEnvironmentVariableW(L"ZELTO_RECORD", RecordPath().c_str());
        Settings().handBackPath.Assign((scratch / L"handback.tmp").c_str());
    }
    void TearDown() override { SetEnvironmentVariableW(L"ZELTO_RECORD", nullptr); }

    std::wstring RecordPath() const { return scratch / L"record.txt"; }

    Record ReadRecord() const
    {
        Record record;
        if (!FileExists(RecordPath()))
            return record;
        std::vector<std::wstring> lines = Lines(ReadBytes(RecordPath()));
        DeleteFileW(RecordPath().c_str());
        record.ran = lines.size() == 3;
        if (record.ran) {
            record.commandLine = lines[0];
            record.path = lines[1];
            record.parent = std::stoul(lines[2]);
        }
        return record;
    }

    // Runs RunProgram while this thread plays the non-elevated parent, so a
    // handed-back block is read, not waited for.
    std::vector<Block> RunAndReplay(const RunRequest& request)
    {
        return RunReplayingHandBack([&] {
            RunProgram(request.program.c_str(), request.arguments.c_str(), request.wait, request.handBackAllowed,
                nullptr);
        });
    }

    SettingsScope restore;
    ScratchFolder scratch;
};

TEST_F(RunProgramTest, ProgramRunsHereQuotedBeforeItsExpandedArguments)
{
    std::wstring recorder = Program(L"recorder.exe");
    std::vector<Block> blocks = RunAndReplay({recorder, L"--a <Windows>x", true, false});
    EXPECT_TRUE(blocks.empty());
    Record record = ReadRecord();
    ASSERT_TRUE(record.ran) << "the recorder did not run, or was not waited for";
    wchar_t windows[MAX_PATH] = {};
    GetWindowsDirectoryW(windows, MAX_PATH);
    EXPECT_EQ(record.commandLine, L"\"" + recorder + L"\" --a " + windows + L"\\x");
    EXPECT_EQ(record.parent, GetCurrentProcessId());
}

// Someone plants "C:\...\My.exe" beside the folder "My Tool": started
// unquoted, Windows would run it instead of "My Tool\tool.exe".
TEST_F(RunProgramTest, ProgramWithoutArgumentsIsQuotedSoThatAPlantedProgramDoesNotRun)
{
    std::wstring folder = scratch / L"My Tool";
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    std::wstring tool = folder + L"\\tool.exe";
    std::wstring planted = scratch / L"My.exe";
    ASSERT_TRUE(CopyFileW(Program(L"recorder.exe").c_str(), tool.c_str(), FALSE));
    ASSERT_TRUE(CopyFileW(Program(L"recorder.exe").c_str(), planted.c_str(), FALSE));

    std::vector<Block> blocks = RunAndReplay({tool, L"", true, false});
    EXPECT_TRUE(blocks.empty());
    Record record = ReadRecord();
    ASSERT_TRUE(record.ran) << "nothing ran";
    EXPECT_EQ(record.path, tool) << "ran " << Narrow(record.path);
    EXPECT_EQ(record.commandLine, L"\"" + tool + L"\"");
}

TEST_F(RunProgramTest, ProgramWithoutAdministratorManifestIsHandedBackUnexpanded)
{
    std::wstring recorder = Program(L"recorder.exe");
    for (bool wait : {true, false}) {
        std::vector<Block> blocks = RunAndReplay({recorder, L"--x <Destination>", wait, true});
        EXPECT_EQ(blocks, (std::vector<Block> {{L"[run]", recorder, L"--x <Destination>", wait ? L"1" : L"0"}}));
        EXPECT_FALSE(ReadRecord().ran) << "a handed-back program also ran in the elevated process";
    }
}

TEST_F(RunProgramTest, ManifestAskingForAdministratorKeepsTheProgramHereInAnyLetterCase)
{
    for (const wchar_t* name : {L"recorder-admin.exe", L"recorder-admin-capitals.exe"}) {
        std::vector<Block> blocks = RunAndReplay({Program(name), L"--y", true, true});
        EXPECT_TRUE(blocks.empty()) << Narrow(name) << " was handed back";
        Record record = ReadRecord();
        EXPECT_TRUE(record.ran) << Narrow(name) << " did not run";
    }
}

TEST_F(RunProgramTest, RunElevatedMarkerKeepsTheProgramHereAndIsRemovedOnlyWhenHandBackIsAllowed)
{
    std::wstring recorder = Program(L"recorder.exe");
    struct MarkerCase {
        bool handBackAllowed;
        std::wstring arguments;
    };
    for (const MarkerCase& c : {MarkerCase {true, L"--y"}, MarkerCase {false, L"--y -RUNELEVATED"}}) {
        std::vector<Block> blocks = RunAndReplay({recorder, L"--y -RUNELEVATED", true, c.handBackAllowed});
        EXPECT_TRUE(blocks.empty());
        Record record = ReadRecord();
        ASSERT_TRUE(record.ran);
        EXPECT_EQ(record.commandLine, L"\"" + recorder + L"\" " + c.arguments)
            << "hand-back allowed: " << c.handBackAllowed;
        EXPECT_EQ(record.parent, GetCurrentProcessId());
    }
}

// The document type opens with the recorder, as an installed program's
// association would.
class DocumentType {
public:
    DocumentType()
    {
        std::wstring command = L"\"" + Program(L"recorder.exe") + L"\" \"%1\"";
        RegWriteString(L"ZeltoTest.Document", L"", HKEY_CLASSES_ROOT, L".zeltodoc");
        RegWriteString(command.c_str(), L"", HKEY_CLASSES_ROOT, L"ZeltoTest.Document\\shell\\open\\command");
    }
    ~DocumentType()
    {
        RegDeleteTreeW(HKEY_CLASSES_ROOT, L".zeltodoc");
        RegDeleteKeyW(HKEY_CLASSES_ROOT, L".zeltodoc");
        RegDeleteTreeW(HKEY_CLASSES_ROOT, L"ZeltoTest.Document");
        RegDeleteKeyW(HKEY_CLASSES_ROOT, L"ZeltoTest.Document");
    }
};

TEST_F(RunProgramTest, DocumentWithoutArgumentsOpensWithItsProgramOrIsHandedBack)
{
    DocumentType type;
    std::wstring document = scratch / L"notes.zeltodoc";
    WriteBytes(document, "notes");
    std::vector<Block> blocks = RunAndReplay({document, L"", true, true});
    EXPECT_EQ(blocks, (std::vector<Block> {{L"[run]", document, L"", L"1"}}));
    EXPECT_FALSE(ReadRecord().ran);

    blocks = RunAndReplay({document, L"", true, false});
    EXPECT_TRUE(blocks.empty());
    Record record = ReadRecord();
    ASSERT_TRUE(record.ran) << "the document's program did not open it";
    EXPECT_NE(record.commandLine.find(document), std::wstring::npos) << Narrow(record.commandLine);
}

TEST_F(RunProgramTest, TempInstallItemRunsFromATemporaryCopyThatIsDeletedAfterwards)
{
    TestPayload payload({{"setup.dat", "[Project Name]\r\nRun\r\n"}, {"sub\\tool.exe", ReadBytes(Program(L"recorder.exe"))}},
        scratch.Path());
    ASSERT_TRUE(payload.Prepared());

    std::vector<Block> blocks = RunAndReplay({L"<TempInstall>\\sub\\tool.exe", L"--t", true, true});
    EXPECT_TRUE(blocks.empty()) << "a temporary copy is never handed back";
    Record record = ReadRecord();
    ASSERT_TRUE(record.ran);
    const std::wstring tail = L"-tool.exe";
    EXPECT_EQ(record.path.compare(record.path.size() - tail.size(), tail.size(), tail), 0) << Narrow(record.path);
    EXPECT_EQ(record.path.rfind(TempFolder(), 0), 0u) << Narrow(record.path);
    EXPECT_FALSE(FileExists(record.path)) << "the temporary copy stayed";
}

struct FailureCase {
    const char* name;
    const wchar_t* program;
    bool silent;
    std::vector<std::wstring> messages;
};

TEST_F(RunProgramTest, FailuresAreReportedUnlessSilentButAMissingItemAlways)
{
    TestPayload payload({{"setup.dat", "x"}}, scratch.Path());
    const FailureCase cases[] = {
        {"missing program", L"C:\\missing\\nothing.exe", false, {L"Error whilst running 'C:\\missing\\nothing.exe'"}},
        {"missing program, silent", L"C:\\missing\\nothing.exe", true, {}},
        {"missing item", L"<TempInstall>sub\\missing.exe", false, {L"Cannot install 'sub\\missing.exe', disk may be full."}},
        {"missing item, silent", L"<TempInstall>sub\\missing.exe", true, {L"Cannot install 'sub\\missing.exe', disk may be full."}},
    };
    for (const FailureCase& c : cases) {
        Settings().silent = c.silent;
        BoxAnswerer user(std::vector<BoxReply>(c.messages.size(), Press(IDOK)));
        RunProgram(c.program, L"--z", true, false, nullptr);
        std::vector<ShownBox> expected;
        for (const std::wstring& text : c.messages)
            expected.push_back(ShownBox {L"Setup", text, OkButton, BoxIcon::Error});
        EXPECT_EQ(user.Finish(), expected) << c.name;
    }
}

} // namespace
