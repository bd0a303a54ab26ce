#include "core/containers.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// Distinct addresses to store; the arrays never dereference them.
int slots[600];

void* Slot(int i)
{
    return &slots[i];
}

std::vector<int> SlotIndexes(const XPtrArray& array)
{
    std::vector<int> indexes;
    for (int i = 0; i < array.Count(); ++i) {
        indexes.push_back(static_cast<int>(static_cast<int*>(array[i]) - slots));
    }
    return indexes;
}

std::vector<std::wstring> Entries(const XStringList& list)
{
    std::vector<std::wstring> entries;
    for (int i = 0; i < list.Count(); ++i) {
        entries.push_back(list.Get(i)->Text());
    }
    return entries;
}

std::string Describe(const std::wstring& text)
{
    std::string out;
    for (wchar_t ch : text) {
        if (ch == L'\r') {
            out += "<CR>";
        } else if (ch == L'\n') {
            out += "<LF>";
        } else {
            out += static_cast<char>(ch);
        }
    }
    return out;
}

} // namespace

TEST(XPtrArray, GrowsBy32DoublingFrom16InlineSlots)
{
    struct Case {
        int adds;
        int capacity;
    };
    const Case cases[] = {
        {0, 16}, {16, 16}, {17, 48}, {48, 48}, {49, 112}, {113, 240}, {241, 496},
    };
    for (const Case& c : cases) {
        XPtrArray array;
        for (int i = 0; i < c.adds; ++i) {
            EXPECT_EQ(Slot(i), array.Add(Slot(i)));
        }
        EXPECT_EQ(c.capacity, array.CapacityForTest()) << c.adds << " adds";
        ASSERT_EQ(c.adds, array.Count());
        for (int i = 0; i < c.adds; ++i) {
            ASSERT_EQ(Slot(i), array[i]) << "slot " << i << " after " << c.adds << " adds";
        }
    }
}

TEST(XPtrArray, ClearFreesTheSlotsAndRestartsGrowthAt32)
{
    struct Case {
        int adds;
        int capacity;
    };
    const Case cases[] = {{0, 0}, {1, 32}, {32, 32}, {33, 96}, {97, 224}};
    for (const Case& c : cases) {
        XPtrArray array;
        for (int i = 0; i < 20; ++i) {
            array.Add(Slot(i));
        }
        array.Clear();
        EXPECT_EQ(0, array.Count());
        for (int i = 0; i < c.adds; ++i) {
            array.Add(Slot(i));
        }
        EXPECT_EQ(c.capacity, array.CapacityForTest()) << c.adds << " adds after Clear";
        ASSERT_EQ(c.adds, array.Count());
        for (int i = 0; i < c.adds; ++i) {
            ASSERT_EQ(Slot(i), array[i]) << "slot " << i;
        }
    }
}

TEST(XPtrArray, InsertAtOutsideTheRangeAppends)
{
    struct Case {
        int index;
        std::vector<int> expected;
    };
    // Array holds 0, 1, 2; slot 9 is inserted.
    const Case cases[] = {
        {0, {9, 0, 1, 2}},
        {1, {0, 9, 1, 2}},
        {2, {0, 1, 9, 2}},
        {3, {0, 1, 2, 9}},
        {-1, {0, 1, 2, 9}},
        {8, {0, 1, 2, 9}},
    };
    for (const Case& c : cases) {
        XPtrArray array;
        for (int i = 0; i < 3; ++i) {
            array.Add(Slot(i));
        }
        array.InsertAt(c.index, Slot(9));
        EXPECT_EQ(c.expected, SlotIndexes(array)) << "InsertAt(" << c.index << ")";
    }
}

TEST(XPtrArray, InsertAtGrowsAFullArray)
{
    XPtrArray array;
    std::vector<int> expected;
    for (int i = 0; i < 16; ++i) {
        array.Add(Slot(i));
        expected.push_back(i);
    }
    array.InsertAt(5, Slot(99));
    expected.insert(expected.begin() + 5, 99);
    EXPECT_EQ(48, array.CapacityForTest());
    EXPECT_EQ(expected, SlotIndexes(array));

    array.Clear();
    array.InsertAt(0, Slot(7));
    EXPECT_EQ(std::vector<int>{7}, SlotIndexes(array));
}

TEST(XPtrArray, RemoveAtOutsideTheRangeDoesNothing)
{
    struct Case {
        int index;
        std::vector<int> expected;
    };
    const Case cases[] = {
        {0, {1, 2, 3}},
        {2, {0, 1, 3}},
        {3, {0, 1, 2}},
        {4, {0, 1, 2, 3}},
        {-1, {0, 1, 2, 3}},
    };
    for (const Case& c : cases) {
        XPtrArray array;
        for (int i = 0; i < 4; ++i) {
            array.Add(Slot(i));
        }
        array.RemoveAt(c.index);
        EXPECT_EQ(c.expected, SlotIndexes(array)) << "RemoveAt(" << c.index << ")";
    }
}

TEST(XStringList, AddStringSetsTheTagAndOwnsACopy)
{
    WCHAR source[] = L"value";
    XStringList list;
    list.AddString(source, 42);
    list.AddString(nullptr, -1);
    list.AddString(L"plain");
    source[0] = L'X';

    ASSERT_EQ(3, list.Count());
    EXPECT_STREQ(L"value", list.Get(0)->Text());
    EXPECT_EQ(42, list.Get(0)->Tag);
    EXPECT_TRUE(list.Get(1)->IsEmpty());
    EXPECT_EQ(-1, list.Get(1)->Tag);
    EXPECT_EQ(0, list.Get(2)->Tag);
}

TEST(XStringList, InsertAndRemoveFollowTheArrayBounds)
{
    XStringList list;
    list.AddString(L"b");
    list.InsertString(0, L"a");
    list.InsertString(-1, L"d");
    list.InsertString(2, L"c");
    list.InsertString(50, L"e");
    EXPECT_EQ((std::vector<std::wstring>{L"a", L"b", L"c", L"d", L"e"}), Entries(list));

    list.RemoveString(5);
    list.RemoveString(-1);
    EXPECT_EQ(5, list.Count());
    list.RemoveString(1);
    list.RemoveString(3);
    EXPECT_EQ((std::vector<std::wstring>{L"a", L"c", L"d"}), Entries(list));

    list.DeleteAll();
    EXPECT_EQ(0, list.Count());
    EXPECT_EQ(0, list.CapacityForTest());
    list.AddString(L"again");
    EXPECT_EQ(32, list.CapacityForTest());
    EXPECT_EQ(std::vector<std::wstring>{L"again"}, Entries(list));
}

TEST(XStringList, ContainsFoldsOnlyAsciiLettersWhenAsked)
{
    XStringList list;
    list.AddString(L"ABC");
    list.AddString(L"\u00c9t\u00e9");
    struct Case {
        const WCHAR* text;
        bool ignoreCase;
        bool expected;
    };
    const Case cases[] = {
        {L"abc", true, true},
        {L"abc", false, false},
        {L"ABC", false, true},
        {L"AB", true, false},
        {L"ABCD", true, false},
        {L"\u00e9T\u00c9", true, false},
        {L"\u00c9T\u00e9", true, true},
        {nullptr, true, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.expected, list.Contains(c.text, c.ignoreCase))
            << "Contains(\"" << XString(c.text).ToNarrow() << "\", " << c.ignoreCase << ")";
    }
    EXPECT_FALSE(XStringList().Contains(L"", true));
}

TEST(XStringList, AddAllAppendsIndependentCopiesWithTags)
{
    XStringList source;
    source.AddString(L"one", 1);
    source.AddString(L"two", 2);
    XStringList target;
    target.AddString(L"zero", 0);

    target.AddAll(source);
    source.Get(0)->Assign(L"changed");
    source.DeleteAll();

    ASSERT_EQ((std::vector<std::wstring>{L"zero", L"one", L"two"}), Entries(target));
    EXPECT_EQ(1, target.Get(1)->Tag);
    EXPECT_EQ(2, target.Get(2)->Tag);

    target.AddAll(target);
    EXPECT_EQ(6, target.Count());
    EXPECT_EQ(2, target.Get(5)->Tag);
}

TEST(SplitLines, OnlyCarriageReturnsSplit)
{
    struct Case {
        std::wstring text;
        std::vector<std::wstring> expected;
    };
    const Case cases[] = {
        {L"a\r\nb", {L"a", L"b"}},
        {L"a\r\n", {L"a"}},
        {L"a\r\r\nb", {L"a", L"", L"b"}},
        {L"\r\nx", {L"", L"x"}},
        {L"a\nb\n", {L"a\nb\n"}},
        {L"", {}},
        {L"a\rb", {L"a", L"b"}},
        {L"a\r\n\n\nb", {L"a", L"b"}},
        {L"a\r\n\r\n", {L"a", L""}},
        {L"one line", {L"one line"}},
    };
    for (const Case& c : cases) {
        XStringList list;
        list.AddString(L"stale");
        list.SplitLines(XString(c.text.c_str()));
        EXPECT_EQ(c.expected, Entries(list)) << "\"" << Describe(c.text) << "\"";
    }
}

TEST(SplitAtMarker, SplitsAtEveryForce32BitMarker)
{
    struct Case {
        const WCHAR* text;
        std::vector<std::wstring> expected;
    };
    const Case cases[] = {
        {L"A{force32bitinstallif}B", {L"A", L"B"}},
        {L"{force32bitinstallif}", {L"", L""}},
        {L"", {}},
        {L"setup64.exe", {L"setup64.exe"}},
        {L"{force32bitinstallif}B", {L"", L"B"}},
        {L"A{force32bitinstallif}", {L"A", L""}},
        {L"A{force32bitinstallif}{force32bitinstallif}C", {L"A", L"", L"C"}},
        {L"A{FORCE32BITINSTALLIF}B", {L"A{FORCE32BITINSTALLIF}B"}},
        {L"A{force32bit}B", {L"A{force32bit}B"}},
    };
    for (const Case& c : cases) {
        XStringList list;
        list.AddString(L"stale");
        list.SplitAtMarker(XString(c.text));
        EXPECT_EQ(c.expected, Entries(list)) << "\"" << XString(c.text).ToNarrow() << "\"";
    }
}

TEST(XBuffer, ResizeToZeroOnAnEmptyBufferHoldsOneByte)
{
    XBuffer buffer;
    EXPECT_TRUE(buffer.Resize(0, false));
    EXPECT_NE(nullptr, buffer.Data());
    EXPECT_EQ(0u, buffer.Size());
    EXPECT_EQ(1u, buffer.Capacity());
}

TEST(XBuffer, ResizeKeepsTheBlockOnlyWhenItIsLargeEnough)
{
    XBuffer buffer;
    ASSERT_TRUE(buffer.Resize(64, false));
    std::memset(buffer.Data(), 0xAB, 64);
    buffer.readCursor = 40;
    buffer.writeCursor = 60;

    ASSERT_TRUE(buffer.Resize(16, false));
    EXPECT_EQ(16u, buffer.Size());
    EXPECT_EQ(64u, buffer.Capacity());
    EXPECT_EQ(16u, buffer.readCursor);
    EXPECT_EQ(16u, buffer.writeCursor);
    for (uint32_t i = 0; i < 16; ++i) {
        ASSERT_EQ(0xAB, buffer.Data()[i]) << "byte " << i;
    }

    ASSERT_TRUE(buffer.Resize(64, true));
    EXPECT_EQ(64u, buffer.Capacity());
    for (uint32_t i = 0; i < 64; ++i) {
        ASSERT_EQ(0, buffer.Data()[i]) << "byte " << i;
    }

    buffer.readCursor = 10;
    ASSERT_TRUE(buffer.Resize(1000, true));
    EXPECT_EQ(1000u, buffer.Size());
    EXPECT_EQ(1000u, buffer.Capacity());
    EXPECT_EQ(10u, buffer.readCursor);
    for (uint32_t i = 0; i < 1000; ++i) {
        ASSERT_EQ(0, buffer.Data()[i]) << "byte " << i;
    }
}

TEST(XBuffer, FreeResetsEveryMember)
{
    XBuffer buffer;
    ASSERT_TRUE(buffer.Resize(32, true));
    buffer.readCursor = 3;
    buffer.writeCursor = 5;
    buffer.Free();
    EXPECT_EQ(nullptr, buffer.Data());
    EXPECT_EQ(0u, buffer.Size());
    EXPECT_EQ(0u, buffer.Capacity());
    EXPECT_EQ(0u, buffer.readCursor);
    EXPECT_EQ(0u, buffer.writeCursor);
    EXPECT_TRUE(buffer.Resize(8, false));
    EXPECT_EQ(8u, buffer.Capacity());
}
