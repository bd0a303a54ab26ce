#include "core/tempnames.h"

#include "testfiles.h"

#include <gtest/gtest.h>

#include <cstring>
#include <cwctype>
#include <string>
#include <vector>

namespace {

std::wstring Str(const XString& s)
{
    return s.Text();
}

bool EndsWith(const std::wstring& text, const std::wstring& tail)
{
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

bool StartsWith(const std::wstring& text, const std::wstring& head)
{
    return text.compare(0, head.size(), head) == 0;
}

// Points the process's temporary folder elsewhere for one test; the
// platform takes TMP first.
class TmpOverride {
public:
    explicit TmpOverride(const std::wstring& value)
    {
        WCHAR buffer[32768];
        DWORD n = GetEnvironmentVariableW(L"TMP", buffer, 32768);
        hadValue_ = n > 0 && n < 32768;
        if (hadValue_)
            saved_ = buffer;
        SetEnvironmentVariableW(L"TMP", value.c_str());
    }
    ~TmpOverride() { SetEnvironmentVariableW(L"TMP", hadValue_ ? saved_.c_str() : nullptr); }
    TmpOverride(const TmpOverride&) = delete;
    TmpOverride& operator=(const TmpOverride&) = delete;

private:
    std::wstring saved_;
    bool hadValue_ = false;
};

// Deletes whatever a test left behind under its temporary names.
class TempNameGuard {
public:
    explicit TempNameGuard(const XString& name) : name_(name) {}
    ~TempNameGuard()
    {
        if (name_.IsEmpty())
            return;
        if (FolderExists(name_.Text()))
            RemoveTree(name_.Text());
        else
            DeleteFileW(name_.Text());
    }

private:
    const XString& name_;
};

std::wstring PlatformTempFolder()
{
    WCHAR buffer[MAX_PATH + 1];
    DWORD n = GetTempPathW(MAX_PATH + 1, buffer);
    return n > 0 && n <= MAX_PATH ? buffer : L"";
}

// The number between prefix and ".tmp" of a fallback name; -1 when the
// name does not have that form.
int FallbackNumber(const std::wstring& name, const std::wstring& head, const std::wstring& tail)
{
    if (!StartsWith(name, head) || !EndsWith(name, tail) || name.size() <= head.size() + tail.size())
        return -1;
    std::wstring digits = name.substr(head.size(), name.size() - head.size() - tail.size());
    for (WCHAR c : digits)
        if (!std::iswdigit(c))
            return -1;
    if (digits.size() > 4)
        return -1;
    return std::stoi(digits);
}

TEST(TempNamesTest, TempFolderIsThePlatformsWithATrailingBackslash)
{
    std::wstring platform = PlatformTempFolder();
    ASSERT_FALSE(platform.empty());
    EXPECT_EQ(platform, Str(GetTempFolder()));
}

TEST(TempNamesTest, TempFolderFallsBackToCTempWhenThePlatformFails)
{
    // Longer than the 260-unit buffer, so the platform call fails.
    TmpOverride tmp(L"C:\\" + std::wstring(300, L'a'));
    EXPECT_EQ(L"C:\\Temp\\", Str(GetTempFolder()));
}

TEST(TempNamesTest, MakeTempFileCreatesAnEmptyFileWithPrefixAndSuffix)
{
    struct Case {
        const char* label;
        const char* prefix8;
        const char* suffix8;
        std::wstring start;
        std::wstring end;
    };
    const Case cases[] = {
        { "Ext, no suffix", "Ext", nullptr, L"Ext", L".tmp" },
        { "no prefix", nullptr, nullptr, L"TMP", L".tmp" },
        { "long prefix", "ZTOxyz", nullptr, L"ZTO", L".tmp" },
        { "Ins with suffix", "Ins", ".dll", L"Ins", L".tmp.dll" },
        { "empty prefix, dash", "", "-", L"", L".tmp-" },
    };
    std::wstring folder = Str(GetTempFolder());
    for (const Case& c : cases) {
        XString name;
        TempNameGuard guard(name);
        MakeTempFile(name, c.prefix8, c.suffix8);
        std::wstring path = Str(name);
        ASSERT_TRUE(StartsWith(path, folder)) << c.label << ": " << path;
        std::wstring file = path.substr(folder.size());
        EXPECT_EQ(std::wstring::npos, file.find(L'\\')) << c.label << ": " << path;
        EXPECT_TRUE(StartsWith(file, c.start)) << c.label << ": " << path;
        EXPECT_TRUE(EndsWith(file, c.end)) << c.label << ": " << path;
        ASSERT_TRUE(FileExists(path)) << c.label << ": " << path;
        EXPECT_EQ("", ReadBytes(path)) << c.label;
        if (c.suffix8 != nullptr) {
            std::wstring reserved = path.substr(0, path.size() - strlen(c.suffix8));
            EXPECT_FALSE(FileExists(reserved)) << c.label << ": name without suffix left behind";
        }
        ReleaseTempFile(name);
    }
}

TEST(TempNamesTest, MakeTempFileAgainDeletesTheFirstFile)
{
    XString name;
    TempNameGuard guard(name);
    MakeTempFile(name, "Ext");
    std::wstring first = Str(name);
    ASSERT_TRUE(FileExists(first));
    MakeTempFile(name, "Ext");
    EXPECT_NE(first, Str(name));
    EXPECT_FALSE(FileExists(first));
    EXPECT_TRUE(FileExists(Str(name)));
    ReleaseTempFile(name);
}

TEST(TempNamesTest, FallbackNameIsPrefixAndNumberWhenThePlatformCannotPickOne)
{
    ScratchFolder scratch;
    for (int i = 0; i < 20; ++i) {
        // A folder that does not exist yet: the platform refuses to name a
        // file in it, and the file creation makes the folder.
        std::wstring folder = scratch / (L"missing" + std::to_wstring(i) + L"\\");
        TmpOverride tmp(folder);
        WCHAR probe[MAX_PATH];
        ASSERT_EQ(0u, GetTempFileNameW(folder.c_str(), L"Ext", 0, probe)) << "the platform named a file in " << folder;

        const char* suffix8 = i % 2 == 0 ? nullptr : "-";
        std::wstring tail = suffix8 != nullptr ? L".tmp-" : L".tmp";
        XString name;
        MakeTempFile(name, "Ext", suffix8);
        int number = FallbackNumber(Str(name), folder + L"Ext", tail);
        ASSERT_GE(number, 0) << Str(name);
        EXPECT_LT(number, 9999) << Str(name);
        EXPECT_TRUE(FileExists(Str(name))) << Str(name);
    }
}

TEST(TempNamesTest, NameStaysWhenNoFileCanBeCreated)
{
    ScratchFolder scratch;
    std::wstring folder = scratch / L"bad|name\\";
    TmpOverride tmp(folder);
    XString name;
    MakeTempFile(name, "Ext");
    EXPECT_GE(FallbackNumber(Str(name), folder + L"Ext", L".tmp"), 0) << Str(name);
    EXPECT_FALSE(FileExists(Str(name)));

    XString folderName;
    EXPECT_FALSE(MakeTempFolder(folderName));
    EXPECT_FALSE(folderName.IsEmpty());
}

TEST(TempNamesTest, MakeTempFolderLeavesOnlyAFolderNamedLikeATempFile)
{
    ScratchFolder scratch;
    TmpOverride tmp(scratch.Path());
    XString name;
    ASSERT_TRUE(MakeTempFolder(name));
    std::wstring path = Str(name);
    EXPECT_TRUE(StartsWith(path, scratch.Path() + L"ZTO")) << path;
    EXPECT_TRUE(EndsWith(path, L".tmp\\")) << path;
    EXPECT_TRUE(FolderExists(path)) << path;
    EXPECT_TRUE(FolderEntries(path).empty());
    EXPECT_EQ(1u, FolderEntries(scratch.Path()).size()) << "a reserved file was left beside the folder";
}

TEST(TempNamesTest, MakeTempFolderAgainRemovesTheFirstWithItsContent)
{
    ScratchFolder scratch;
    TmpOverride tmp(scratch.Path());
    XString name;
    ASSERT_TRUE(MakeTempFolder(name));
    std::wstring first = Str(name);
    ASSERT_TRUE(CreateDirectoryW((first + L"sub").c_str(), nullptr));
    WriteBytes(first + L"sub\\file.txt", "content");
    ASSERT_TRUE(MakeTempFolder(name));
    EXPECT_NE(first, Str(name));
    EXPECT_FALSE(FileExists(first));
    EXPECT_TRUE(FolderExists(Str(name)));
    EXPECT_EQ(1u, FolderEntries(scratch.Path()).size());
}

TEST(TempNamesTest, ReleaseTempFileDeletesTheFileAndEmptiesTheName)
{
    XString name;
    TempNameGuard guard(name);
    MakeTempFile(name, "Ext");
    std::wstring path = Str(name);
    ASSERT_TRUE(FileExists(path));
    ReleaseTempFile(name);
    EXPECT_FALSE(FileExists(path));
    EXPECT_TRUE(name.IsEmpty());
    ReleaseTempFile(name);
    EXPECT_TRUE(name.IsEmpty());
}

} // namespace
