#include "core/xfile.h"

#include "msgbox.h"
#include "testfiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

std::wstring Str(const XString& text)
{
    return text.Text();
}

// UTF-16LE bytes of a text, as the hand-back file holds them.
std::string Utf16(const std::u16string& text)
{
    std::string bytes;
    for (char16_t unit : text) {
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>(unit >> 8);
    }
    return bytes;
}

int64_t PositionOf(const XFile& file)
{
    LARGE_INTEGER zero {};
    LARGE_INTEGER position {};
    SetFilePointerEx(file.Handle(), zero, &position, FILE_CURRENT);
    return position.QuadPart;
}

// Another program holding the file open without sharing it.
class LockedFile {
public:
    explicit LockedFile(const std::wstring& path)
        : handle_(CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr))
    {
    }
    ~LockedFile() { Release(); }
    LockedFile(const LockedFile&) = delete;
    LockedFile& operator=(const LockedFile&) = delete;

    bool IsHeld() const { return handle_ != INVALID_HANDLE_VALUE; }
    void Release()
    {
        if (IsHeld())
            CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
    }

private:
    HANDLE handle_;
};

ShownBox RetryCancelBox(const WCHAR* caption, const std::wstring& text)
{
    return ShownBox {caption, text, RetryCancelButtons, BoxIcon::Information};
}

std::wstring Quoted(const WCHAR* lead, const std::wstring& name)
{
    return lead + name + L"'";
}

// ---------------------------------------------------------------- ReadLine

struct LineRead {
    std::wstring text;
    int64_t positionAfter;
};

struct ReadLineCase {
    const char* name;
    std::string bytes;
    bool wide;
    std::vector<LineRead> lines;
};

TEST(XFileReadLine, SplitsLinesOnEveryLineEndAndStopsRightBehindWhatItConsumed)
{
    const ReadLineCase cases[] = {
        {"CR then LF", "a\rb\n", false, {{L"a", 2}, {L"b", 4}}},
        {"CR LF", "a\r\nb\r\n", false, {{L"a", 3}, {L"b", 6}}},
        {"LF, last line unterminated", "a\nbc", false, {{L"a", 2}, {L"bc", 4}}},
        {"CR CR LF gives an empty second line", "x\r\r\n", false, {{L"x", 2}, {L"", 4}}},
        {"only line ends, a lone CR at the end is no line", "\n\r\n\r", false, {{L"", 1}, {L"", 3}}},
        {"CR at the end of the file", "a\r", false, {{L"a", 2}}},
        {"empty file", "", false, {}},
        {"no line end", "abc", false, {{L"abc", 3}}},
        {"zero byte appends nothing", std::string("a\0b\n", 4), false, {{L"ab", 4}}},
        {"wide CR LF after a byte-order mark", Utf16(u"\uFEFFa\r\n"), true, {{L"a", 8}}},
        {"wide lone CR stops on the next unit", Utf16(u"\rb"), true, {{L"", 2}, {L"b", 4}}},
        {"wide LF", Utf16(u"ab\ncd"), true, {{L"ab", 6}, {L"cd", 10}}},
        {"wide CR CR LF", Utf16(u"x\r\r\n"), true, {{L"x", 4}, {L"", 8}}},
        {"wide mark dropped only at a line start", Utf16(u"\uFEFFa\uFEFF\n\uFEFFb"), true,
            {{L"a\uFEFF", 8}, {L"b", 12}}},
        {"wide mark alone is no line", Utf16(u"\uFEFF"), true, {}},
        {"wide zero unit appends nothing", Utf16(std::u16string(u"a\0b", 3)), true, {{L"ab", 6}}},
        {"wide text beyond ASCII", Utf16(u"\u20AC\u4E2D\n"), true, {{L"\u20AC\u4E2D", 6}}},
        {"wide odd trailing byte ends the file", std::string("a\0b", 3), true, {{L"a", 3}}},
    };
    ScratchFolder scratch;
    for (const ReadLineCase& c : cases) {
        std::wstring path = scratch / L"lines.txt";
        WriteBytes(path, c.bytes);
        XFile file(path.c_str());
        file.Open(GENERIC_READ, OPEN_EXISTING, false);
        ASSERT_TRUE(file.IsOpen()) << c.name;
        XString out(L"left over");
        for (size_t i = 0; i < c.lines.size(); ++i) {
            ASSERT_TRUE(file.ReadLine(out, c.wide)) << c.name << ", line " << i + 1;
            EXPECT_EQ(Str(out), c.lines[i].text) << c.name << ", line " << i + 1;
            EXPECT_EQ(PositionOf(file), c.lines[i].positionAfter) << c.name << ", after line " << i + 1;
        }
        EXPECT_FALSE(file.ReadLine(out, c.wide)) << c.name << ": no more lines";
        EXPECT_TRUE(out.IsEmpty()) << c.name;
        EXPECT_EQ(PositionOf(file), static_cast<int64_t>(c.bytes.size())) << c.name;
    }
}

// ---------------------------------------------------------------- XFile

TEST(XFile, OpenAlwaysCreatesTheFileAndWritesSeeksAndReadsIt)
{
    ScratchFolder scratch;
    std::wstring path = scratch / L"data.bin";
    BoxAnswerer user({});
    XFile file;
    ASSERT_TRUE(file.OpenAlways(path.c_str(), GENERIC_READ | GENERIC_WRITE));
    EXPECT_TRUE(file.WriteLine("first", true));
    EXPECT_TRUE(file.WriteLine("second", false));
    EXPECT_EQ(file.Size(), 13u);

    EXPECT_TRUE(file.Seek(7, false));
    char buffer[16] = {};
    EXPECT_EQ(file.Read(buffer, 3), 3u);
    EXPECT_EQ(std::string(buffer, 3), "sec");
    EXPECT_TRUE(file.Seek(-5, true));
    // A short read at the end of the file is no error: no box, just the count.
    EXPECT_EQ(file.Read(buffer, sizeof buffer), 8u);
    EXPECT_EQ(std::string(buffer, 8), "\r\nsecond");
    EXPECT_EQ(file.Read(buffer, sizeof buffer), 0u);
    file.Close();

    EXPECT_EQ(ReadBytes(path), "first\r\nsecond");
    EXPECT_FALSE(file.IsOpen());
    EXPECT_TRUE(user.Finish().empty());
}

TEST(XFile, OpenAlwaysKeepsTheContentOfAnExistingFile)
{
    ScratchFolder scratch;
    std::wstring path = scratch / L"kept.txt";
    WriteBytes(path, "kept");
    XFile file;
    ASSERT_TRUE(file.OpenAlways(path.c_str(), GENERIC_READ));
    EXPECT_EQ(file.Size(), 4u);
}

TEST(XFile, ClosedFileHasNoSizeAndCannotSeek)
{
    XFile file(L"C:\\never-opened.txt");
    EXPECT_EQ(file.Size(), 0u);
    EXPECT_FALSE(file.Seek(0, false));
    file.Close();
    EXPECT_FALSE(file.IsOpen());
}

TEST(XFile, SeekBeforeTheStartFails)
{
    ScratchFolder scratch;
    std::wstring path = scratch / L"seek.txt";
    WriteBytes(path, "abc");
    XFile file(path.c_str());
    file.Open(GENERIC_READ, OPEN_EXISTING, false);
    ASSERT_TRUE(file.IsOpen());
    EXPECT_FALSE(file.Seek(-1, false));
    EXPECT_TRUE(file.Seek(2, false));
    EXPECT_FALSE(file.Seek(-3, true));
}

TEST(XFile, BorrowedHandleIsNotClosedAndNeverShowsBoxes)
{
    ScratchFolder scratch;
    std::wstring path = scratch / L"borrowed.txt";
    WriteBytes(path, "abc");
    HANDLE handle = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
        FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    BoxAnswerer user({});
    {
        XFile borrowed(handle, path.c_str());
        EXPECT_EQ(borrowed.Size(), 3u);
        EXPECT_FALSE(borrowed.Write("x", 1)); // read-only handle: fails quietly
    }
    EXPECT_TRUE(user.Finish().empty());
    DWORD high = 0;
    EXPECT_EQ(GetFileSize(handle, &high), 3u) << "the borrowed handle must still be open";
    CloseHandle(handle);
}

TEST(XFile, WritingANullBufferOfNoBytesSucceedsWithoutTouchingTheFile)
{
    ScratchFolder scratch;
    std::wstring path = scratch / L"untouched.txt";
    WriteBytes(path, "keep");
    BoxAnswerer user({});
    XFile file;
    ASSERT_TRUE(file.OpenAlways(path.c_str(), GENERIC_WRITE));
    EXPECT_TRUE(file.Write(nullptr, 0));
    file.Close();
    EXPECT_TRUE(user.Finish().empty());
    EXPECT_EQ(ReadBytes(path), "keep");
}

// ---------------------------------------------------------------- XFile error boxes

struct OpenFailureCase {
    const char* name;
    DWORD access;
    const WCHAR* caption;
};

TEST(XFileErrorBox, FailedOpenShowsUnableToOpenWithCaptionByAccessAndCancelGivesUp)
{
    const OpenFailureCase cases[] = {
        {"read", GENERIC_READ, L"File Read Error"},
        {"write", GENERIC_WRITE, L"File Write Error"},
        {"read and write", GENERIC_READ | GENERIC_WRITE, L"File Write Error"},
    };
    ScratchFolder scratch;
    std::wstring path = scratch / L"missing.txt";
    for (const OpenFailureCase& c : cases) {
        BoxAnswerer user({Press(IDCANCEL)});
        XFile file(path.c_str());
        file.Open(c.access, OPEN_EXISTING, true);
        EXPECT_FALSE(file.IsOpen()) << c.name;
        EXPECT_EQ(user.Finish(),
            std::vector<ShownBox> {RetryCancelBox(c.caption, Quoted(L"Unable to open '", path))})
            << c.name;
    }
}

TEST(XFileErrorBox, RetryOpensTheFileOnceItIsAvailable)
{
    ScratchFolder scratch;
    std::wstring path = scratch / L"arrives-late.txt";
    BoxAnswerer user({Press(IDRETRY), Press(IDRETRY, [&] { WriteBytes(path, "here"); })});
    XFile file(path.c_str());
    file.Open(GENERIC_READ, OPEN_EXISTING, true);
    ASSERT_TRUE(file.IsOpen());
    EXPECT_EQ(file.Size(), 4u);
    ShownBox box = RetryCancelBox(L"File Read Error", Quoted(L"Unable to open '", path));
    EXPECT_EQ(user.Finish(), (std::vector<ShownBox> {box, box}));
}

TEST(XFileErrorBox, RetryOpensForWritingOnceAnotherProgramLetsGo)
{
    ScratchFolder scratch;
    std::wstring path = scratch / L"in-use.txt";
    WriteBytes(path, "busy");
    LockedFile other(path);
    ASSERT_TRUE(other.IsHeld());
    BoxAnswerer user({Press(IDRETRY, [&] { other.Release(); })});
    XFile file(path.c_str());
    file.Open(GENERIC_WRITE, CREATE_ALWAYS, true);
    EXPECT_TRUE(file.IsOpen());
    EXPECT_EQ(user.Finish(),
        std::vector<ShownBox> {RetryCancelBox(L"File Write Error", Quoted(L"Unable to open '", path))});
}

TEST(XFileErrorBox, EmptyNameFailsToOpenLikeAMissingFile)
{
    BoxAnswerer user({Press(IDCANCEL)});
    XFile file;
    file.Open(GENERIC_READ, OPEN_EXISTING, true);
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(user.Finish(), std::vector<ShownBox> {RetryCancelBox(L"File Read Error", L"Unable to open ''")});
}

TEST(XFileErrorBox, QuietFileReportsFailuresWithoutAnyBox)
{
    ScratchFolder scratch;
    std::wstring path = scratch / L"quiet.txt";
    BoxAnswerer user({});
    XFile missing(path.c_str());
    missing.Open(GENERIC_WRITE, OPEN_EXISTING, false);
    EXPECT_FALSE(missing.IsOpen());
    char byte = 0;
    EXPECT_EQ(missing.Read(&byte, 1), 0u);
    EXPECT_FALSE(missing.Write("x", 1));
    EXPECT_FALSE(missing.Write(nullptr, 1));
    EXPECT_TRUE(user.Finish().empty());
}

struct TransferFailureCase {
    const char* name;
    DWORD access;  // how the file is opened
    bool closeFirst;
    bool writing;
    const WCHAR* caption;
    const WCHAR* lead;
};

TEST(XFileErrorBox, FailedReadOrWriteShowsRetryCancelAndCancelReturnsTheFailure)
{
    const TransferFailureCase cases[] = {
        {"write to a file opened for reading", GENERIC_READ, false, true, L"File Write Error",
            L"Unable to write to '"},
        {"write after close", GENERIC_READ | GENERIC_WRITE, true, true, L"File Write Error",
            L"Unable to write to '"},
        {"read from a file opened for writing", GENERIC_WRITE, false, false, L"File Read Error",
            L"Unable to read from '"},
        {"read after close", GENERIC_READ | GENERIC_WRITE, true, false, L"File Read Error",
            L"Unable to read from '"},
    };
    ScratchFolder scratch;
    std::wstring path = scratch / L"transfer.txt";
    for (const TransferFailureCase& c : cases) {
        WriteBytes(path, "abc");
        XFile file(path.c_str());
        file.Open(c.access, OPEN_EXISTING, true);
        ASSERT_TRUE(file.IsOpen()) << c.name;
        if (c.closeFirst)
            file.Close();
        BoxAnswerer user({Press(IDRETRY), Press(IDCANCEL)});
        if (c.writing) {
            EXPECT_FALSE(file.Write("xyz", 3)) << c.name;
        } else {
            char buffer[3] = {};
            EXPECT_EQ(file.Read(buffer, 3), 0u) << c.name;
        }
        ShownBox box = RetryCancelBox(c.caption, Quoted(c.lead, path));
        EXPECT_EQ(user.Finish(), (std::vector<ShownBox> {box, box})) << c.name;
        file.Close();
        EXPECT_EQ(ReadBytes(path), "abc") << c.name;
    }
}

TEST(XFileErrorBox, WritingANullBufferWithBytesShowsAnOkBoxAndFails)
{
    ScratchFolder scratch;
    std::wstring path = scratch / L"null.txt";
    XFile file;
    ASSERT_TRUE(file.OpenAlways(path.c_str(), GENERIC_WRITE));
    BoxAnswerer user({Press(IDOK)});
    EXPECT_FALSE(file.Write(nullptr, 5));
    ShownBox box {L"File Write Error", L"Error writing a NULL buffer to file", OkButton, BoxIcon::Information};
    EXPECT_EQ(user.Finish(), std::vector<ShownBox> {box});
    file.Close();
    EXPECT_EQ(ReadBytes(path), "");
}

// ---------------------------------------------------------------- LongPath

struct LongPathCase {
    const char* name;
    std::wstring path;
    int limit;
    bool prefixed;
};

std::wstring PathOfLength(const std::wstring& lead, size_t length)
{
    return lead + std::wstring(length - lead.size(), L'a');
}

TEST(LongPath, PrefixesPathsAtTheLimitUnlessTheyStartWithTwoBackslashes)
{
    const LongPathCase cases[] = {
        {"259 characters, limit 260", PathOfLength(L"C:\\", 259), FileOpenPathLimit, false},
        {"260 characters, limit 260", PathOfLength(L"C:\\", 260), FileOpenPathLimit, true},
        {"247 characters, limit 248", PathOfLength(L"C:\\", 247), FolderPathLimit, false},
        {"248 characters, limit 248", PathOfLength(L"C:\\", 248), FolderPathLimit, true},
        {"300 characters of network path", PathOfLength(L"\\\\server\\share\\", 300), FileOpenPathLimit, false},
        {"300 characters already prefixed", PathOfLength(L"\\\\?\\C:\\", 300), FileOpenPathLimit, false},
        {"300 characters", PathOfLength(L"C:\\", 300), FileOpenPathLimit, true},
        {"empty", L"", FolderPathLimit, false},
    };
    for (const LongPathCase& c : cases) {
        std::wstring expected = c.prefixed ? L"\\\\?\\" + c.path : c.path;
        EXPECT_EQ(Str(LongPath(c.path.c_str(), c.limit)), expected) << c.name;
    }
}

// ---------------------------------------------------------------- CreateFolderTree

TEST(CreateFolderTree, CreatesEveryMissingFolderOfANestedPath)
{
    ScratchFolder scratch;
    EXPECT_TRUE(CreateFolderTree((scratch / L"a\\b\\c\\").c_str()));
    EXPECT_TRUE(FolderExists(scratch / L"a"));
    EXPECT_TRUE(FolderExists(scratch / L"a\\b"));
    EXPECT_TRUE(FolderExists(scratch / L"a\\b\\c"));
}

TEST(CreateFolderTree, CreatesOnlyTheMissingFoldersBelowAnExistingParent)
{
    ScratchFolder scratch;
    ASSERT_TRUE(CreateDirectoryW((scratch / L"a").c_str(), nullptr));
    WriteBytes(scratch / L"a\\keep.txt", "keep");
    EXPECT_TRUE(CreateFolderTree((scratch / L"a\\b\\c").c_str()));
    EXPECT_TRUE(FolderExists(scratch / L"a\\b\\c"));
    EXPECT_EQ(ReadBytes(scratch / L"a\\keep.txt"), "keep");
    EXPECT_TRUE(CreateFolderTree((scratch / L"a\\b\\c").c_str())) << "an existing tree is no failure";
}

TEST(CreateFolderTree, RootOrBareDriveNeedsNothingButAnEmptyPathFails)
{
    EXPECT_TRUE(CreateFolderTree(L"C:\\"));
    EXPECT_TRUE(CreateFolderTree(L"C:"));
    EXPECT_FALSE(CreateFolderTree(L""));
}

TEST(CreateFolderTree, FileInTheWayFailsAndLeavesTheFile)
{
    ScratchFolder scratch;
    WriteBytes(scratch / L"plain", "file");
    EXPECT_FALSE(CreateFolderTree((scratch / L"plain\\sub\\deeper").c_str()));
    EXPECT_EQ(ReadBytes(scratch / L"plain"), "file");
}

TEST(CreateFolderTree, CreatesAndRemovesTreesBeyondTheShortPathLimit)
{
    ScratchFolder scratch;
    std::wstring top = scratch / L"long";
    std::wstring deep = top;
    while (deep.size() < 300)
        deep += L"\\" + std::wstring(40, L'd');
    ASSERT_TRUE(CreateFolderTree(deep.c_str()));
    EXPECT_TRUE(FolderExists(L"\\\\?\\" + deep));
    XFile file((deep + L"\\inner.txt").c_str());
    file.Open(GENERIC_WRITE, CREATE_ALWAYS, false);
    ASSERT_TRUE(file.IsOpen());
    EXPECT_TRUE(file.WriteLine("deep", true));
    file.Close();

    EXPECT_TRUE(RemoveFolderTree(top.c_str()));
    EXPECT_FALSE(FileExists(top));
}

// ---------------------------------------------------------------- RemoveFolderTree

TEST(RemoveFolderTree, RemovesNestedFoldersReadOnlyFilesAndTheFolderItself)
{
    ScratchFolder scratch;
    std::wstring top = scratch / L"tree";
    ASSERT_TRUE(CreateFolderTree((top + L"\\sub\\subsub").c_str()));
    WriteBytes(top + L"\\a.txt", "a");
    WriteBytes(top + L"\\sub\\b.dat", "b");
    WriteBytes(top + L"\\sub\\subsub\\c", "c");
    ASSERT_TRUE(SetFileAttributesW((top + L"\\sub\\b.dat").c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_TRUE(RemoveFolderTree((top + L"\\").c_str()));
    EXPECT_FALSE(FileExists(top));
}

TEST(RemoveFolderTree, MaskLimitsWhatIsRemovedAndTheFolderStays)
{
    ScratchFolder scratch;
    std::wstring top = scratch / L"masked\\";
    ASSERT_TRUE(CreateFolderTree((top + L"sub.tmp").c_str()));
    ASSERT_TRUE(CreateFolderTree((top + L"keep").c_str()));
    WriteBytes(top + L"x.tmp", "x");
    WriteBytes(top + L"y.txt", "y");
    WriteBytes(top + L"sub.tmp\\in.tmp", "i");
    WriteBytes(top + L"keep\\k.tmp", "k");
    EXPECT_TRUE(RemoveFolderTree(top.c_str(), L"*.tmp"));
    EXPECT_FALSE(FileExists(top + L"x.tmp"));
    EXPECT_FALSE(FileExists(top + L"sub.tmp")) << "matching subfolders are emptied and removed";
    EXPECT_TRUE(FileExists(top + L"y.txt"));
    EXPECT_TRUE(FileExists(top + L"keep\\k.tmp")) << "folders that do not match are not entered";
    EXPECT_TRUE(FolderExists(top));
}

TEST(RemoveFolderTree, RefusesPathsShorterThanThreeCharacters)
{
    const WCHAR* refused[] = {L"", L"C", L"C:"};
    for (const WCHAR* path : refused)
        EXPECT_FALSE(RemoveFolderTree(path)) << "path '" << testing::PrintToString(std::wstring(path)) << "'";
}

TEST(RemoveFolderTree, FileInUseFailsTheRemovalButTheRestIsDeletedAndTheFolderStays)
{
    ScratchFolder scratch;
    std::wstring top = scratch / L"busy";
    ASSERT_TRUE(CreateFolderTree((top + L"\\sub").c_str()));
    WriteBytes(top + L"\\a.txt", "a");
    WriteBytes(top + L"\\in-use.txt", "held");
    WriteBytes(top + L"\\sub\\b.txt", "b");
    WriteBytes(top + L"\\z.txt", "z");
    LockedFile other(top + L"\\in-use.txt");
    ASSERT_TRUE(other.IsHeld());

    EXPECT_FALSE(RemoveFolderTree(top.c_str()));
    EXPECT_TRUE(FileExists(top + L"\\in-use.txt"));
    EXPECT_FALSE(FileExists(top + L"\\a.txt"));
    EXPECT_FALSE(FileExists(top + L"\\z.txt"));
    EXPECT_FALSE(FileExists(top + L"\\sub"));
    EXPECT_TRUE(FolderExists(top));
}

// Someone else plants links to a folder where the installer removes a
// folder with administrator rights: what they point to stays untouched.
// Windows removes a junction with RemoveDirectoryW; Wine 8 cannot remove a
// host link that way, so there the link is the one thing left behind.
TEST(RemoveFolderTree, NeverEntersALinkToAFolder)
{
    ScratchFolder scratch;
    std::wstring victim = scratch / L"victim";
    ASSERT_TRUE(CreateFolderTree((victim + L"\\inner").c_str()));
    WriteBytes(victim + L"\\keep.txt", "keep");
    WriteBytes(victim + L"\\inner\\keep.txt", "keep");
    std::wstring top = scratch / L"tree";
    ASSERT_TRUE(CreateFolderTree((top + L"\\sub").c_str()));
    WriteBytes(top + L"\\own.txt", "own");
    WriteBytes(top + L"\\sub\\own.txt", "own");
    const std::wstring inner = top + L"\\sub\\link", outer = scratch / L"top-link";
    ASSERT_TRUE(PlantSymbolicLink(inner, victim)) << "no link could be planted";
    ASSERT_TRUE(PlantSymbolicLink(outer, victim));

    bool removed = RemoveFolderTree(top.c_str());
    bool outerRemoved = RemoveFolderTree(outer.c_str());

    EXPECT_EQ(FolderEntries(victim + L"\\"), (std::vector<std::wstring> {L"inner", L"keep.txt"}));
    EXPECT_EQ(FolderEntries(victim + L"\\inner\\"), std::vector<std::wstring> {L"keep.txt"});
    EXPECT_FALSE(FileExists(top + L"\\own.txt"));
    EXPECT_FALSE(FileExists(top + L"\\sub\\own.txt"));
    EXPECT_EQ(removed, !FileExists(inner)) << "the result says whether the tree is gone";
    EXPECT_EQ(outerRemoved, !FileExists(outer));
    if (FileExists(inner)) {
        EXPECT_EQ(FolderEntries(top + L"\\sub\\"), std::vector<std::wstring> {L"link"}) << "only the link is left";
    }
    RemoveSymbolicLink(inner);
    RemoveSymbolicLink(outer);
}

// ---------------------------------------------------------------- RemoveFile

TEST(RemoveFile, DeletesAReadOnlyFile)
{
    ScratchFolder scratch;
    std::wstring path = scratch / L"read-only.txt";
    WriteBytes(path, "ro");
    ASSERT_TRUE(SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE));
    EXPECT_TRUE(RemoveFile(path.c_str()));
    EXPECT_FALSE(FileExists(path));
}

TEST(RemoveFile, FailsForMissingOrEmptyPathsAndFilesInUse)
{
    ScratchFolder scratch;
    std::wstring held = scratch / L"held.txt";
    WriteBytes(held, "held");
    LockedFile other(held);
    ASSERT_TRUE(other.IsHeld());
    EXPECT_FALSE(RemoveFile(L""));
    EXPECT_FALSE(RemoveFile((scratch / L"missing.txt").c_str()));
    EXPECT_FALSE(RemoveFile(held.c_str()));
    EXPECT_TRUE(FileExists(held));
}

TEST(ClearReadOnly, ClearsOnlyTheReadOnlyAttribute)
{
    ScratchFolder scratch;
    std::wstring path = scratch / L"flags.txt";
    WriteBytes(path, "f");
    ASSERT_TRUE(SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
    EXPECT_TRUE(ClearReadOnly(path.c_str()));
    EXPECT_EQ(GetFileAttributesW(path.c_str()) & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN),
        static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN));
    EXPECT_FALSE(ClearReadOnly((scratch / L"missing.txt").c_str()));
}

// ---------------------------------------------------------------- PathExists, FileSizeOf

// A drive letter that neither GetLogicalDrives nor the mount manager knows,
// as "X:", or empty when every letter is in use.
std::wstring UnusedDrive()
{
    DWORD drives = GetLogicalDrives();
    for (int letter = 25; letter >= 3; --letter) {
        const WCHAR root[] = {static_cast<WCHAR>(L'A' + letter), L':', L'\\', 0};
        if (!(drives & (1u << letter)) && GetDriveTypeW(root) == DRIVE_NO_ROOT_DIR)
            return std::wstring(root, 2);
    }
    return L"";
}

struct PathExistsCase {
    const char* name;
    std::wstring path;
    bool exists;
};

TEST(PathExists, FindsFilesFoldersAndDrives)
{
    ScratchFolder scratch;
    WriteBytes(scratch / L"file.txt", "f");
    std::wstring folder = scratch.Path();
    const PathExistsCase cases[] = {
        {"empty", L"", false},
        {"folder with trailing backslash", folder, true},
        {"folder without trailing backslash", folder.substr(0, folder.size() - 1), true},
        {"file", scratch / L"file.txt", true},
        {"missing file", scratch / L"missing.txt", false},
        {"file in a missing folder", scratch / L"missing\\file.txt", false},
        {"bare drive", L"C:", true},
        {"drive root", L"C:\\", true},
    };
    for (const PathExistsCase& c : cases)
        EXPECT_EQ(PathExists(XString(c.path.c_str())), c.exists)
            << c.name << " (" << XString(c.path.c_str()).ToNarrow() << ")";
    std::wstring unused = UnusedDrive();
    ASSERT_FALSE(unused.empty()) << "every drive letter is in use";
    EXPECT_FALSE(PathExists(XString(unused.c_str()))) << "drive that is not there: " << XString(unused.c_str()).ToNarrow();
}

TEST(FileSizeOf, AnswersTheSizeOrZeroWhenNotFound)
{
    ScratchFolder scratch;
    const size_t sizes[] = {0, 1, 70000};
    for (size_t size : sizes) {
        std::wstring path = scratch / (L"size-" + std::to_wstring(size));
        WriteBytes(path, std::string(size, 'x'));
        EXPECT_EQ(FileSizeOf(path.c_str()), size);
    }
    EXPECT_EQ(FileSizeOf((scratch / L"missing").c_str()), 0u);
    EXPECT_EQ(FileSizeOf(L""), 0u);
}

// ---------------------------------------------------------------- FileFinder

std::vector<std::wstring> FindAll(const std::wstring& folder, const WCHAR* mask)
{
    std::vector<std::wstring> found;
    FileFinder finder(folder.c_str(), mask);
    while (finder.Next())
        found.push_back(Str(finder.Path()) + (finder.IsFolder() ? L"\\" : L""));
    std::sort(found.begin(), found.end());
    return found;
}

TEST(FileFinder, ListsMatchingEntriesWithFullPathsAndSkipsDotEntries)
{
    ScratchFolder scratch;
    std::wstring top = scratch / L"listed";
    ASSERT_TRUE(CreateFolderTree((top + L"\\sub").c_str()));
    WriteBytes(top + L"\\a.txt", "a");
    WriteBytes(top + L"\\b.txt", "b");
    WriteBytes(top + L"\\c.dat", "c");

    EXPECT_EQ(FindAll(top, L"*.txt"), (std::vector<std::wstring> {top + L"\\a.txt", top + L"\\b.txt"}));
    EXPECT_EQ(FindAll(top + L"\\", L"*.*"),
        (std::vector<std::wstring> {top + L"\\a.txt", top + L"\\b.txt", top + L"\\c.dat", top + L"\\sub\\"}));
    EXPECT_TRUE(FindAll(top + L"\\missing", L"*.*").empty());
}

TEST(FileFinder, SinglePathGivesThatEntryEvenWithTrailingBackslash)
{
    ScratchFolder scratch;
    std::wstring folder = scratch / L"one";
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    FileFinder finder((folder + L"\\\\").c_str());
    ASSERT_TRUE(finder.Next());
    EXPECT_EQ(Str(finder.Path()), folder);
    EXPECT_TRUE(finder.IsFolder());
    EXPECT_FALSE(finder.Next());
}

} // namespace
