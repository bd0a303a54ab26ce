#include "core/registry.h"

#include "text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

namespace {

const WCHAR TestRoot[] = L"Software\\ZeltoTest";

bool KeyExists(const std::wstring& path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

void CreateKey(const std::wstring& path)
{
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                                 nullptr));
    RegCloseKey(key);
}

void WriteRaw(const std::wstring& path, const WCHAR* valueName, DWORD type, const std::string& bytes)
{
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                                 nullptr));
    LONG result = RegSetValueExW(key, valueName, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
        static_cast<DWORD>(bytes.size()));
    RegCloseKey(key);
    ASSERT_EQ(ERROR_SUCCESS, result);
}

struct RawValue {
    bool found = false;
    DWORD type = REG_NONE;
    std::string bytes;
};

RawValue ReadRaw(HKEY root, const std::wstring& path, const WCHAR* valueName)
{
    RawValue value;
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return value;
    DWORD size = 0;
    if (RegQueryValueExW(key, valueName, nullptr, &value.type, nullptr, &size) == ERROR_SUCCESS) {
        value.bytes.resize(size);
        value.found = RegQueryValueExW(key, valueName, nullptr, &value.type,
                          reinterpret_cast<BYTE*>(&value.bytes[0]), &size) == ERROR_SUCCESS;
    }
    RegCloseKey(key);
    return value;
}

// UTF-16LE bytes of an ASCII text, without a terminator.
std::string Utf16(const std::string& ascii)
{
    std::string bytes;
    for (char c : ascii) {
        bytes += c;
        bytes += '\0';
    }
    return bytes;
}

std::set<std::wstring> Names(const XStringList& list)
{
    std::set<std::wstring> names;
    for (int i = 0; i < list.Count(); ++i)
        names.insert(list.Get(i)->Text());
    return names;
}

// Each suite works below HKCU\Software\ZeltoTest\<suite name>, which is
// removed before and after every test.
class RegistryScratch : public ::testing::Test {
protected:
    void SetUp() override
    {
        base_ = std::wstring(TestRoot) + L"\\"
            + Wide(::testing::UnitTest::GetInstance()->current_test_info()->test_suite_name());
        RegDeleteTreeW(HKEY_CURRENT_USER, base_.c_str());
        RegDeleteKeyW(HKEY_CURRENT_USER, base_.c_str());
    }

    void TearDown() override
    {
        RegDeleteTreeW(HKEY_CURRENT_USER, base_.c_str());
        RegDeleteKeyW(HKEY_CURRENT_USER, base_.c_str());
        // Only succeeds once no other suite has keys left there.
        RegDeleteKeyW(HKEY_CURRENT_USER, TestRoot);
    }

    std::wstring Key(const WCHAR* below) const { return base_ + L"\\" + below; }

    std::wstring base_;
};

class RegKeyTest : public RegistryScratch {};
class RegReadStringTest : public RegistryScratch {};
class RegWriteTest : public RegistryScratch {};
class RegEnumSubKeysTest : public RegistryScratch {};
class RegDeleteKeyTreeTest : public RegistryScratch {};

TEST_F(RegKeyTest, OpeningForReadingCreatesAMissingKey)
{
    std::wstring path = Key(L"Missing\\Deeper");
    ASSERT_FALSE(KeyExists(path));
    {
        RegKey key(KEY_QUERY_VALUE, HKEY_CURRENT_USER, path.c_str());
        EXPECT_TRUE(key.IsOpen());
        EXPECT_NE(nullptr, key.Handle());
    }
    EXPECT_TRUE(KeyExists(path));
}

TEST_F(RegKeyTest, EmptySubkeyOpensNothingAndEveryOperationFailsQuietly)
{
    EXPECT_FALSE(RegKey(KEY_WRITE, HKEY_CURRENT_USER, L"").IsOpen());
    EXPECT_FALSE(RegKey(KEY_WRITE, HKEY_CURRENT_USER, nullptr).IsOpen());

    const WCHAR valueName[] = L"ZeltoTestRegKeyEmptySubkey";
    DWORD number = 7;
    EXPECT_FALSE(RegWriteString(L"abc", valueName, HKEY_CURRENT_USER, L""));
    EXPECT_FALSE(RegWriteValue(&number, sizeof number, REG_DWORD, valueName, HKEY_CURRENT_USER, L""));
    EXPECT_FALSE(ReadRaw(HKEY_CURRENT_USER, L"", valueName).found) << "a value landed in the root key";
    EXPECT_TRUE(RegReadString(HKEY_CURRENT_USER, L"", L"").IsEmpty());
}

TEST_F(RegKeyTest, ZeroRootFailsEvenWhereTheKeyExistsUnderTheCurrentUser)
{
    std::wstring path = Key(L"Values");
    WriteRaw(path, L"Name", REG_SZ, Utf16("text") + std::string(2, '\0'));

    EXPECT_FALSE(RegKey(KEY_READ, nullptr, path.c_str()).IsOpen());
    EXPECT_TRUE(RegReadString(nullptr, path.c_str(), L"Name").IsEmpty());
    EXPECT_FALSE(RegWriteString(L"other", L"Name", nullptr, path.c_str()));
    XStringList list;
    list.AddString(L"stale");
    EXPECT_FALSE(RegEnumSubKeys(nullptr, path.c_str(), list));
    EXPECT_EQ(0, list.Count());
    EXPECT_EQ(Utf16("text") + std::string(2, '\0'), ReadRaw(HKEY_CURRENT_USER, path, L"Name").bytes);
}

TEST_F(RegReadStringTest, ReturnsTextOnlyForStringTypes)
{
    struct Case {
        const char* label;
        DWORD type;
        std::string bytes;
        std::wstring expected;
    };
    const std::string zero2(2, '\0');
    const Case cases[] = {
        { "REG_SZ with terminator", REG_SZ, Utf16("hello") + zero2, L"hello" },
        { "REG_EXPAND_SZ stays unexpanded", REG_EXPAND_SZ, Utf16("%SystemRoot%\\x") + zero2, L"%SystemRoot%\\x" },
        { "REG_SZ without terminator", REG_SZ, Utf16("abc"), L"abc" },
        { "REG_SZ of odd size", REG_SZ, Utf16("abc") + "d", L"abcd" },
        { "REG_SZ longer than the inline buffer, unterminated", REG_SZ, Utf16(std::string(300, 'x')),
            std::wstring(300, L'x') },
        { "REG_SZ of zero size", REG_SZ, "", L"" },
        { "REG_DWORD", REG_DWORD, std::string("\x41\x00\x42\x00", 4), L"" },
        { "REG_BINARY holding text", REG_BINARY, Utf16("abc") + zero2, L"" },
        { "REG_MULTI_SZ", REG_MULTI_SZ, Utf16("abc") + zero2 + zero2, L"" },
    };
    std::wstring path = Key(L"Types");
    for (const Case& c : cases) {
        std::wstring valueName = Wide(c.label);
        WriteRaw(path, valueName.c_str(), c.type, c.bytes);
        EXPECT_EQ(c.expected, std::wstring(RegReadString(HKEY_CURRENT_USER, path.c_str(), valueName.c_str()).Text()))
            << c.label;
    }
    EXPECT_TRUE(RegReadString(HKEY_CURRENT_USER, path.c_str(), L"no such value").IsEmpty()) << "missing value";
}

TEST_F(RegWriteTest, WriteStringStoresTheTerminator)
{
    struct Case {
        const char* label;
        std::wstring text;
    };
    const Case cases[] = {
        { "abc", L"abc" },
        { "empty", L"" },
        { "long", std::wstring(200, L'y') },
    };
    std::wstring path = Key(L"Strings");
    for (const Case& c : cases) {
        std::wstring valueName = Wide(c.label);
        ASSERT_TRUE(RegWriteString(c.text.c_str(), valueName.c_str(), HKEY_CURRENT_USER, path.c_str())) << c.label;
        RawValue stored = ReadRaw(HKEY_CURRENT_USER, path, valueName.c_str());
        EXPECT_EQ(static_cast<DWORD>(REG_SZ), stored.type) << c.label;
        ASSERT_EQ((c.text.size() + 1) * 2, stored.bytes.size()) << c.label;
        std::string expected(reinterpret_cast<const char*>(c.text.c_str()), (c.text.size() + 1) * 2);
        EXPECT_EQ(expected, stored.bytes) << c.label;
    }
}

TEST_F(RegWriteTest, WriteValueCreatesMissingKeysAndKeepsTypeAndBytes)
{
    std::wstring path = Key(L"New\\Nested");
    const BYTE data[] = { 1, 0, 2, 0xFF, 0 };
    ASSERT_TRUE(RegWriteValue(data, sizeof data, REG_BINARY, L"Blob", HKEY_CURRENT_USER, path.c_str()));
    RawValue stored = ReadRaw(HKEY_CURRENT_USER, path, L"Blob");
    EXPECT_EQ(static_cast<DWORD>(REG_BINARY), stored.type);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(data), sizeof data), stored.bytes);

    DWORD number = 0x12345678;
    ASSERT_TRUE(RegWriteValue(&number, sizeof number, REG_DWORD, L"Number", HKEY_CURRENT_USER, path.c_str()));
    stored = ReadRaw(HKEY_CURRENT_USER, path, L"Number");
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), stored.type);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&number), sizeof number), stored.bytes);
}

TEST_F(RegEnumSubKeysTest, ListsTheDirectChildrenOnly)
{
    std::wstring path = Key(L"Parent");
    CreateKey(path + L"\\one\\grandchild");
    CreateKey(path + L"\\two");
    CreateKey(path + L"\\three");
    XStringList list;
    list.AddString(L"stale");
    ASSERT_TRUE(RegEnumSubKeys(HKEY_CURRENT_USER, path.c_str(), list));
    EXPECT_EQ((std::set<std::wstring> { L"one", L"two", L"three" }), Names(list));
    EXPECT_EQ(3, list.Count());
}

TEST_F(RegEnumSubKeysTest, EmptySubkeyListsTheRootItself)
{
    std::wstring path = Key(L"Parent");
    CreateKey(path + L"\\a");
    CreateKey(path + L"\\b");
    HKEY parent = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &parent));
    XStringList list;
    bool listed = RegEnumSubKeys(parent, L"", list);
    RegCloseKey(parent);
    ASSERT_TRUE(listed);
    EXPECT_EQ((std::set<std::wstring> { L"a", L"b" }), Names(list));

    ASSERT_TRUE(RegEnumSubKeys(HKEY_CURRENT_USER, L"", list));
    EXPECT_EQ(1u, Names(list).count(L"Software"));
}

TEST_F(RegEnumSubKeysTest, MissingKeyIsCreatedAndListsNothing)
{
    std::wstring path = Key(L"Missing");
    XStringList list;
    list.AddString(L"stale");
    EXPECT_TRUE(RegEnumSubKeys(HKEY_CURRENT_USER, path.c_str(), list));
    EXPECT_EQ(0, list.Count());
    EXPECT_TRUE(KeyExists(path));
}

TEST_F(RegDeleteKeyTreeTest, RemovesEveryLevelBelowTheKeyAndNothingBeside)
{
    std::wstring tree = Key(L"Tree");
    CreateKey(tree + L"\\a\\a1");
    CreateKey(tree + L"\\a\\a2\\deep");
    CreateKey(tree + L"\\b");
    CreateKey(tree + L"\\c\\c1");
    WriteRaw(tree + L"\\a\\a2", L"v", REG_SZ, Utf16("x") + std::string(2, '\0'));
    WriteRaw(tree, L"v", REG_SZ, Utf16("x") + std::string(2, '\0'));
    CreateKey(Key(L"Sibling"));
    CreateKey(Key(L"TreeLike"));

    RegDeleteKeyTree(HKEY_CURRENT_USER, base_.c_str(), L"Tree");

    EXPECT_FALSE(KeyExists(tree));
    EXPECT_TRUE(KeyExists(Key(L"Sibling")));
    EXPECT_TRUE(KeyExists(Key(L"TreeLike")));
}

TEST_F(RegDeleteKeyTreeTest, ParentWithTrailingBackslashWorksAlike)
{
    CreateKey(Key(L"Tree\\child\\grandchild"));
    RegDeleteKeyTree(HKEY_CURRENT_USER, (base_ + L"\\").c_str(), L"Tree");
    EXPECT_FALSE(KeyExists(Key(L"Tree")));
    EXPECT_TRUE(KeyExists(base_));
}

TEST_F(RegDeleteKeyTreeTest, MissingKeyLeavesTheRegistryUnchanged)
{
    CreateKey(Key(L"Sibling\\child"));
    RegDeleteKeyTree(HKEY_CURRENT_USER, base_.c_str(), L"Missing");
    EXPECT_FALSE(KeyExists(Key(L"Missing")));
    XStringList list;
    ASSERT_TRUE(RegEnumSubKeys(HKEY_CURRENT_USER, base_.c_str(), list));
    EXPECT_EQ((std::set<std::wstring> { L"Sibling" }), Names(list));
    EXPECT_TRUE(KeyExists(Key(L"Sibling\\child")));
}

TEST_F(RegDeleteKeyTreeTest, EmptyNameDeletesNothing)
{
    CreateKey(Key(L"Tree\\child"));
    RegDeleteKeyTree(HKEY_CURRENT_USER, base_.c_str(), L"");
    RegDeleteKeyTree(HKEY_CURRENT_USER, base_.c_str(), nullptr);
    EXPECT_TRUE(KeyExists(Key(L"Tree\\child")));
}

} // namespace
