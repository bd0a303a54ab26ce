// The hand-back file between real processes: this test program plays the
// non-elevated parent, and copies of itself started with a helper switch
// play the elevated copy that writes the blocks.
#include "app/handback.h"

#include "core/xfile.h"
#include "process.h"
#include "script/installsettings.h"
#include "settingsscope.h"
#include "testfiles.h"
#include "text.h"

#include <gtest/gtest.h>
#include <shellapi.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// Generous: every exchange takes half a second, and more under emulation.
constexpr DWORD ChildPatienceMs = 30000;

using Block = std::vector<std::wstring>;

bool WaitForFile(const std::wstring& path, DWORD patienceMs = ChildPatienceMs)
{
    for (DWORD start = GetTickCount(); GetTickCount() - start < patienceMs; Sleep(20)) {
        if (FileExists(path))
            return true;
    }
    return false;
}

std::vector<Block> Replay(const std::wstring& path)
{
    std::vector<Block> blocks;
    ReplayHandBackFile(XString(path.c_str()), [&](const XStringList& lines) {
        Block block;
        for (int i = 0; i < lines.Count(); ++i)
            block.push_back(lines.Get(i)->Text());
        blocks.push_back(block);
    });
    return blocks;
}

std::string Utf16(const std::wstring& text)
{
    return std::string(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
}

class HandBackTest : public ::testing::Test {
protected:
    std::wstring HandBackPath() const { return scratch / L"handback.tmp"; }
    // The writer marks its return with this file.
    std::wstring ReturnedMark() const { return scratch / L"returned"; }

    ScratchFolder scratch;
};

TEST_F(HandBackTest, EachBlockTypeArrivesUnchangedAndTheWriterReturnsOnlyOnceTheFileIsGone)
{
    const std::vector<Block> blocks = {
        {L"[run]", L"C:\\Program Files\\Zelto\\app.exe", L"--first-run <Destination>", L"1"},
        {L"[setreg_hkcu_dword]", L"Launches", L"Software\\Zelto\\App", L"-1"},
        {L"[setreg_hkcu_string]", L"Language", L"Software\\Zelto\\App", L""},
        {L"[setreg_hkcu_string]", L"Greeting", L"Software\\Zelto\\App", L"Hello, w\u00f6rld"},
    };
    for (const Block& block : blocks) {
        DeleteFileW(ReturnedMark().c_str());
        std::wstring arguments = L"--write-handback " + Quoted(HandBackPath()) + L" " + Quoted(ReturnedMark());
        for (const std::wstring& line : block)
            arguments += L" " + Quoted(line);
        ChildProcess writer(OwnProgramPath(), arguments);
        ASSERT_TRUE(writer.Started());
        ASSERT_TRUE(WaitForFile(HandBackPath())) << "no hand-back file for " << Narrow(block[0]);
        // The writer keeps waiting while the file is there.
        EXPECT_FALSE(writer.HasEnded(1000)) << Narrow(block[0]) << ": the writer returned before the parent read";
        EXPECT_FALSE(FileExists(ReturnedMark()));

        std::vector<Block> carried = Replay(HandBackPath());
        EXPECT_EQ(carried, std::vector<Block> {block}) << Narrow(block[0]);
        EXPECT_FALSE(FileExists(HandBackPath())) << "the parent deletes the file";
        EXPECT_TRUE(writer.HasEnded(ChildPatienceMs)) << Narrow(block[0]) << ": the writer did not return";
        EXPECT_TRUE(FileExists(ReturnedMark()));
    }
}

TEST_F(HandBackTest, WriterGivesUpWhenTheProcessThatStartedItEnds)
{
    // The middle process starts the writer and then only waits, as a
    // non-elevated parent would that is stopped before it reads.
    ChildProcess parent(OwnProgramPath(), L"--start-writer " + Quoted(HandBackPath()) + L" " + Quoted(ReturnedMark()));
    ASSERT_TRUE(parent.Started());
    ASSERT_TRUE(WaitForFile(HandBackPath())) << "the writer wrote nothing";
    Sleep(500);
    EXPECT_FALSE(FileExists(ReturnedMark())) << "the writer returned while its parent lived";
    parent.Kill();
    EXPECT_TRUE(WaitForFile(ReturnedMark())) << "the writer kept waiting for a parent that is gone";
    EXPECT_FALSE(FileExists(HandBackPath())) << "nobody is left to read the file, so the writer removes it";
}

TEST_F(HandBackTest, FileIsReadBlockByBlockInOrderWithOrWithoutAByteOrderMark)
{
    struct FileCase {
        const char* name;
        std::wstring text;
        std::vector<Block> blocks;
    };
    const Block dword = {L"[setreg_hkcu_dword]", L"Count", L"Software\\Zelto", L"7"};
    const Block run = {L"[run]", L"C:\\app.exe", L"", L"0"};
    const FileCase cases[] = {
        {"two blocks", L"[setreg_hkcu_dword]\r\nCount\r\nSoftware\\Zelto\r\n7\r\n[run]\r\nC:\\app.exe\r\n\r\n0\r\n",
            {dword, run}},
        {"byte-order mark", L"\ufeff[run]\r\nC:\\app.exe\r\n\r\n0\r\n", {run}},
        {"LF and CR line ends", L"[run]\nC:\\app.exe\r\r0\n", {run}},
        {"stray lines skipped, headers only whole and exact",
            L"noise\r\n[RUN]\r\n [run]\r\n[setreg_hkcu_dword]\r\nCount\r\nSoftware\\Zelto\r\n7\r\ntrailing\r\n", {dword}},
        {"header lines inside a block are its data",
            L"[run]\r\n[run]\r\nC:\\app.exe\r\n0\r\n", {{L"[run]", L"[run]", L"C:\\app.exe", L"0"}}},
        {"block cut short by the end of the file", L"[setreg_hkcu_dword]\r\nCount\r\nSoftware\\Zelto\r\n7\r\n[run]\r\nC:\\app.exe\r\n",
            {dword}},
        {"empty file", L"", {}},
    };
    for (const FileCase& c : cases) {
        WriteBytes(HandBackPath(), Utf16(c.text));
        EXPECT_EQ(Replay(HandBackPath()), c.blocks) << c.name;
        EXPECT_FALSE(FileExists(HandBackPath())) << c.name << ": the file stays";
    }
    EXPECT_EQ(Replay(HandBackPath()), std::vector<Block> {}) << "no file, no blocks";
}

DWORD WINAPI WriteStringBlock(void*)
{
    XStringList lines;
    for (const wchar_t* line : {L"[setreg_hkcu_string]", L"Name", L"Software\\Zelto", L"Value"})
        lines.AddString(line);
    WriteHandBackFile(lines);
    return 0;
}

TEST_F(HandBackTest, WrittenFileIsUtf16WithoutByteOrderMarkAndEveryLineEndsInCrLf)
{
    // A writer without a parent to watch, stopped by deleting the file.
    SettingsScope restore;
    Settings().handBackPath.Assign(HandBackPath().c_str());
    std::wstring copy = scratch / L"copy.tmp";
    HANDLE thread = CreateThread(nullptr, 0, WriteStringBlock, nullptr, 0, nullptr);
    ASSERT_TRUE(thread);
    ASSERT_TRUE(WaitForFile(HandBackPath()));
    Sleep(300);
    std::string bytes = ReadBytes(HandBackPath());
    EXPECT_EQ(bytes, Utf16(L"[setreg_hkcu_string]\r\nName\r\nSoftware\\Zelto\r\nValue\r\n"));
    EXPECT_EQ(WaitForSingleObject(thread, 600), static_cast<DWORD>(WAIT_TIMEOUT)) << "returned before the file went";
    DeleteFileW(HandBackPath().c_str());
    EXPECT_EQ(WaitForSingleObject(thread, ChildPatienceMs), static_cast<DWORD>(WAIT_OBJECT_0));
    CloseHandle(thread);
}

} // namespace

// Helper roles, chosen by the first argument:
//   --write-handback PATH MARK LINE...  the elevated copy: writes the lines
//                                       as one block, then creates MARK
//   --start-writer PATH MARK            a parent that starts such a writer
//                                       and waits until it is stopped
int main(int argc, char** argv)
{
    int count = 0;
    LPWSTR* args = CommandLineToArgvW(GetCommandLineW(), &count);
    if (count >= 4 && std::wcscmp(args[1], L"--write-handback") == 0) {
        RememberParentProcess();
        Settings().handBackPath.Assign(args[2]);
        XStringList lines;
        for (int i = 4; i < count; ++i)
            lines.AddString(args[i]);
        WriteHandBackFile(lines);
        WriteBytes(args[3], "returned");
        return 0;
    }
    if (count == 4 && std::wcscmp(args[1], L"--start-writer") == 0) {
        ChildProcess writer(OwnProgramPath(), L"--write-handback " + Quoted(args[2]) + L" " + Quoted(args[3])
            + L" \"[setreg_hkcu_dword]\" Count Software\\Zelto 1");
        // The writer must outlive this process, which its destructor would end.
        Sleep(INFINITE);
    }
    LocalFree(args);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
