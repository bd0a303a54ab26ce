#include "core/xstring.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>

namespace {

// Distinct units, so a shifted or truncated copy cannot compare equal.
std::wstring Pattern(int units)
{
    std::wstring text;
    for (int i = 0; i < units; ++i) {
        text += static_cast<wchar_t>(L'a' + i % 26);
    }
    return text;
}

} // namespace

TEST(XStringConstruction, EmptyForms)
{
    const XString fresh;
    const XString fromNullWide(static_cast<const WCHAR*>(nullptr));
    const XString fromNullNarrow(static_cast<const char*>(nullptr));
    for (const XString* s : {&fresh, &fromNullWide, &fromNullNarrow}) {
        EXPECT_EQ(1, s->StoredLength());
        EXPECT_TRUE(s->IsEmpty());
        EXPECT_EQ(0, s->CharAt(1));
        EXPECT_EQ(0, s->Tag);
        EXPECT_TRUE(s->IsInline());
        EXPECT_EQ(128, s->Capacity());
    }
}

TEST(XStringConstruction, TagTravelsWithCopiesButNotWithAssign)
{
    XString original(L"abc");
    EXPECT_EQ(0, original.Tag);
    original.Tag = 77;

    XString copy(original);
    EXPECT_EQ(77, copy.Tag);
    EXPECT_STREQ(L"abc", copy.Text());

    copy.Assign(L"other");
    EXPECT_EQ(77, copy.Tag);
    EXPECT_STREQ(L"other", copy.Text());

    XString plain(L"x");
    plain = original;
    EXPECT_EQ(0, plain.Tag);
    EXPECT_STREQ(L"abc", plain.Text());
}

TEST(XStringConstruction, AssignCountIncludesTerminator)
{
    XString s(L"previous");
    s.Assign(L"abcdef", 3);
    EXPECT_STREQ(L"ab", s.Text());
    EXPECT_EQ(3, s.StoredLength());
    s.Assign(L"abcdef", 0);
    EXPECT_STREQ(L"abcdef", s.Text());
    s.Assign(L"abcdef", 1);
    EXPECT_TRUE(s.IsEmpty());
    s.Assign(nullptr);
    EXPECT_TRUE(s.IsEmpty());
}

TEST(XStringConstruction, PlusEqualsAppendsInPlaceAndReturnsTheResult)
{
    XString message(L"Error ");
    XString result = (message += L"5");
    EXPECT_STREQ(L"Error 5", message.Text());
    EXPECT_STREQ(L"Error 5", result.Text());
    message += XString(L": disk");
    EXPECT_STREQ(L"Error 5: disk", message.Text());
}

TEST(XStringConstruction, FromNarrowTextConvertsWithTheCodePage)
{
    const XString s("C:\\Program Files\\App");
    EXPECT_STREQ(L"C:\\Program Files\\App", s.Text());
    EXPECT_EQ(21, s.StoredLength());
}

TEST(XStringConstruction, CopyToWritesTextAndTerminator)
{
    WCHAR dest[8];
    for (WCHAR& unit : dest) {
        unit = L'#';
    }
    XString(L"abc").CopyTo(dest);
    EXPECT_STREQ(L"abc", dest);
    EXPECT_EQ(L'#', dest[4]);
}

TEST(XStringPositions, CharAtAndLastChar)
{
    struct Case {
        const WCHAR* text;
        int pos;
        WCHAR expected;
    };
    const Case cases[] = {
        {L"abc", 1, L'a'},
        {L"abc", 3, L'c'},
        {L"abc", LastChar, L'c'},
        {L"abc", 0, 0},
        {L"abc", 4, 0},
        {L"abc", -1, 0},
        {L"", 1, 0},
        {L"", LastChar, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.expected, XString(c.text).CharAt(c.pos))
            << "CharAt(" << c.pos << ") of \"" << XString(c.text).ToNarrow() << "\"";
    }
}

TEST(XStringPositions, DeleteCharAtReturnsTheRemovedCharacter)
{
    struct Case {
        const WCHAR* text;
        int pos;
        WCHAR removed;
        const WCHAR* after;
    };
    const Case cases[] = {
        {L"abc", LastChar, L'c', L"ab"},
        {L"abc", 1, L'a', L"bc"},
        {L"abc", 2, L'b', L"ac"},
        {L"abc", 4, 0, L"abc"},
        {L"abc", 0, 0, L"abc"},
        {L"", LastChar, 0, L""},
    };
    for (const Case& c : cases) {
        XString s(c.text);
        EXPECT_EQ(c.removed, s.DeleteCharAt(c.pos)) << "pos " << c.pos;
        EXPECT_STREQ(c.after, s.Text()) << "pos " << c.pos;
    }
}

TEST(XStringSearch, FindIsOneBasedAndCaseSensitive)
{
    struct Case {
        const WCHAR* text;
        const WCHAR* needle;
        int start;
        int expected;
    };
    const Case cases[] = {
        {L"abc", L"b", 1, 2},
        {L"abc", L"b", 0, 0},
        {L"abc", L"b", -1, 0},
        {L"abc", L"b", 3, 0},
        {L"abc", L"b", 4, 0},
        {L"abc", L"c", 3, 3},
        {L"abc", L"abcd", 1, 0},
        {L"abcabc", L"bc", 3, 5},
        {L"aaa", L"aa", 2, 2},
        {L"setup.exe --Silent", L"--silent", 1, 0},
        {L"setup.exe --silent", L"--silent", 1, 11},
        {L"abc", nullptr, 1, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.expected, XString(c.text).Find(c.needle, c.start))
            << "Find(\"" << XString(c.needle).ToNarrow() << "\", " << c.start << ") in \""
            << XString(c.text).ToNarrow() << "\"";
    }
}

TEST(XStringSearch, CharSearchesFromBothEnds)
{
    const XString path(L"C:\\a\\b.txt");
    EXPECT_EQ(3, path.FindChar(L'\\', 1));
    EXPECT_EQ(5, path.FindChar(L'\\', 4));
    EXPECT_EQ(0, path.FindChar(L'\\', 6));
    EXPECT_EQ(5, path.ReverseFindChar(L'\\'));
    EXPECT_EQ(0, path.ReverseFindChar(L'/'));
    EXPECT_EQ(0, XString().ReverseFindChar(L'\\'));
}

TEST(XStringCompare, ThreeWayWithAsciiFolding)
{
    struct Case {
        const WCHAR* a;
        const WCHAR* b;
        bool ignoreCase;
        int expected;
    };
    const Case cases[] = {
        {L"abc", L"ABC", true, 0},
        {L"abc", L"ABD", true, -1},
        {L"ABD", L"abc", true, 1},
        {L"abc", L"ABC", false, 1},
        {L"ab", L"abc", false, -1},
        {L"abc", L"ab", false, 1},
        {L"", L"", false, 0},
        {L"", L"a", true, -1},
        {L"abc", nullptr, false, 1},
        {L"", nullptr, true, 1},
        // Folding goes to lower case: '[' sorts before 'a' but after 'A'.
        {L"[", L"A", true, -1},
        // Accented letters are compared by value even when ignoring case.
        {L"\u00e9", L"\u00c9", true, 1},
        // Units compare unsigned.
        {L"\u8000", L"a", false, 1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.expected, XString(c.a).Compare(c.b, c.ignoreCase))
            << "\"" << XString(c.a).ToNarrow() << "\" vs \"" << XString(c.b).ToNarrow()
            << "\" ignoreCase " << c.ignoreCase;
    }
}

TEST(XStringSubstrings, MidLeftRightMidFromAndToUpper)
{
    struct Case {
        const char* name;
        XString (*op)(const XString&);
        const WCHAR* expected;
    };
    const Case cases[] = {
        {"Mid(2,100)", [](const XString& s) { return s.Mid(2, 100); }, L"bcdef"},
        {"Mid(2,4)", [](const XString& s) { return s.Mid(2, 4); }, L"bcd"},
        {"Mid(6,6)", [](const XString& s) { return s.Mid(6, 6); }, L"f"},
        {"Mid(7,8)", [](const XString& s) { return s.Mid(7, 8); }, L""},
        {"Mid(0,2)", [](const XString& s) { return s.Mid(0, 2); }, L""},
        {"Mid(3,2)", [](const XString& s) { return s.Mid(3, 2); }, L""},
        {"Left(2)", [](const XString& s) { return s.Left(2); }, L"ab"},
        {"Left(0)", [](const XString& s) { return s.Left(0); }, L""},
        {"Left(10)", [](const XString& s) { return s.Left(10); }, L"abcdef"},
        {"Right(2)", [](const XString& s) { return s.Right(2); }, L"ef"},
        {"Right(6)", [](const XString& s) { return s.Right(6); }, L"abcdef"},
        {"Right(10)", [](const XString& s) { return s.Right(10); }, L"abcdef"},
        {"Right(0)", [](const XString& s) { return s.Right(0); }, L""},
        {"MidFrom(4)", [](const XString& s) { return s.MidFrom(4); }, L"def"},
        {"MidFrom(7)", [](const XString& s) { return s.MidFrom(7); }, L""},
        {"ToUpper",
         [](const XString& s) {
             XString t(s);
             t.Append(L"-z\u00e4");
             return t.ToUpper();
         },
         L"ABCDEF-Z\u00e4"},
    };
    XString source(L"abcdef");
    source.Tag = 3;
    for (const Case& c : cases) {
        XString result = c.op(source);
        EXPECT_STREQ(c.expected, result.Text()) << c.name;
        EXPECT_EQ(0, result.Tag) << c.name;
    }
    EXPECT_STREQ(L"abcdef", source.Text());
}

TEST(XStringEditing, InPlaceOperationsKeepTheTag)
{
    struct Case {
        const char* name;
        const WCHAR* text;
        void (*op)(XString&);
        const WCHAR* expected;
    };
    const Case cases[] = {
        {"DropLast(1)", L"abc", [](XString& s) { s.DropLast(1); }, L"ab"},
        {"DropLast(10)", L"abc", [](XString& s) { s.DropLast(10); }, L""},
        {"DropLast(0)", L"abc", [](XString& s) { s.DropLast(0); }, L"abc"},
        {"SetLength(5)", L"ab", [](XString& s) { s.SetLength(5); }, L"ab   "},
        {"SetLength(1)", L"ab", [](XString& s) { s.SetLength(1); }, L"a"},
        {"SetLength(0)", L"ab", [](XString& s) { s.SetLength(0); }, L""},
        {"Insert at 1", L"abc", [](XString& s) { s.Insert(L"XY", 1); }, L"XYabc"},
        {"Insert at 3", L"abc", [](XString& s) { s.Insert(L"XY", 3); }, L"abXYc"},
        {"Insert at len appends", L"abc", [](XString& s) { s.Insert(L"XY", 4); }, L"abcXY"},
        {"Insert beyond len", L"abc", [](XString& s) { s.Insert(L"XY", 5); }, L"abc"},
        {"Insert at 0", L"abc", [](XString& s) { s.Insert(L"XY", 0); }, L"abc"},
        {"Insert null", L"abc", [](XString& s) { s.Insert(nullptr, 1); }, L"abc"},
        {"Insert into empty", L"", [](XString& s) { s.Insert(L"XY", 1); }, L"XY"},
        {"PrependChar", L"abc", [](XString& s) { s.PrependChar(L'"'); }, L"\"abc"},
        {"Append", L"abc", [](XString& s) { s.Append(L"de"); }, L"abcde"},
        {"Append null", L"abc", [](XString& s) { s.Append(nullptr); }, L"abc"},
        {"Append empty", L"abc", [](XString& s) { s.Append(L""); }, L"abc"},
        {"DeleteRange(2,3)", L"abcd", [](XString& s) { s.DeleteRange(2, 3); }, L"ad"},
        {"DeleteRange(1,4)", L"abcd", [](XString& s) { s.DeleteRange(1, 4); }, L""},
        {"DeleteRange(0,2)", L"abcd", [](XString& s) { s.DeleteRange(0, 2); }, L"abcd"},
        {"DeleteRange(5,5)", L"abcd", [](XString& s) { s.DeleteRange(5, 5); }, L"abcd"},
        {"DeleteRange(3,2)", L"abcd", [](XString& s) { s.DeleteRange(3, 2); }, L"abcd"},
        {"Replace", L"abcb", [](XString& s) { s.Replace(L"b", L"B", false); }, L"aBcB"},
        {"Format", L"abc", [](XString& s) { s.Format(L"%d", 7); }, L"7"},
    };
    for (const Case& c : cases) {
        XString s(c.text);
        s.Tag = 7;
        c.op(s);
        EXPECT_STREQ(c.expected, s.Text()) << c.name;
        EXPECT_EQ(static_cast<int>(wcslen(c.expected)) + 1, s.StoredLength()) << c.name;
        EXPECT_EQ(7, s.Tag) << c.name;
    }
}

TEST(XStringEditing, TrimLeftRemovesSpacesOnlyAndReturnsTheNewFirstCharacter)
{
    struct Case {
        const WCHAR* text;
        WCHAR first;
        const WCHAR* after;
    };
    const Case cases[] = {
        {L"  ab", L'a', L"ab"},
        {L" \tab", L'\t', L"\tab"},
        {L"   ", 0, L""},
        {L"", 0, L""},
        {L"ab ", L'a', L"ab "},
    };
    for (const Case& c : cases) {
        XString s(c.text);
        EXPECT_EQ(c.first, s.TrimLeft()) << XString(c.text).ToNarrow();
        EXPECT_STREQ(c.after, s.Text()) << XString(c.text).ToNarrow();
    }
}

TEST(XStringReplace, ReplacesWithoutRescanningInsertedText)
{
    struct Case {
        const WCHAR* text;
        const WCHAR* find;
        const WCHAR* with;
        bool ignoreCase;
        const WCHAR* expected;
    };
    const Case cases[] = {
        {L"aXa", L"a", L"aa", false, L"aaXaa"},
        {L"abab", L"ab", L"ab", false, L"abab"},
        {L"aaaa", L"aa", L"b", false, L"bb"},
        {L"aaa", L"aa", L"b", false, L"ba"},
        {L"Hello World", L"o", L"", false, L"Hell Wrld"},
        {L"Hello World", L"o", nullptr, false, L"Hell Wrld"},
        {L"abc", L"", L"Z", false, L"abc"},
        {L"abc", nullptr, L"Z", true, L"abc"},
        {L"AxBX", L"x", L"Y", false, L"AYBX"},
        {L"AxBX", L"x", L"Y", true, L"AYBY"},
        {L"aA", L"a", L"aA", true, L"aAaA"},
        {L"xAbCx", L"abc", L"-", true, L"x-x"},
        {L"PATH=<destination>Bin;<DESTINATION>lib", L"<Destination>", L"C:\\App\\", true,
         L"PATH=C:\\App\\Bin;C:\\App\\lib"},
        {L"\u00e9t\u00e9", L"\u00c9", L"e", true, L"\u00e9t\u00e9"},
        {L"end", L"end", L"finish", false, L"finish"},
    };
    for (const Case& c : cases) {
        XString s(c.text);
        s.Replace(c.find, c.with, c.ignoreCase);
        EXPECT_STREQ(c.expected, s.Text())
            << "Replace(\"" << XString(c.find).ToNarrow() << "\", \"" << XString(c.with).ToNarrow()
            << "\", " << c.ignoreCase << ") on \"" << XString(c.text).ToNarrow() << "\"";
    }
}

TEST(XStringReplace, ArgumentsMayPointIntoTheStringItself)
{
    XString s(L"abcabc");
    s.Replace(s.Text() + 3, L"x", false);
    EXPECT_STREQ(L"xx", s.Text());
}

TEST(XStringNumbers, ToInt64ParsesLeadingDigits)
{
    struct Case {
        const WCHAR* text;
        int64_t expected;
    };
    const Case cases[] = {
        {L"  -42x", -42},
        {L"+5", 5},
        {L"", 0},
        {L"12abc", 12},
        {L"--5", 0},
        {L"+-3", 0},
        {L"-", 0},
        {L"abc", 0},
        {L"\t5", 0},
        {L" 7 8", 7},
        {L"9223372036854775807", INT64_MAX},
        {L"-9223372036854775808", INT64_MIN},
        // 2^64 + 1 wraps around to 1.
        {L"18446744073709551617", 1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.expected, XString(c.text).ToInt64()) << "\"" << XString(c.text).ToNarrow() << "\"";
    }
}

TEST(XStringNumbers, FromInt64GivesPlainDecimal)
{
    struct Case {
        int64_t value;
        const WCHAR* expected;
    };
    const Case cases[] = {
        {INT64_MIN, L"-9223372036854775808"},
        {INT64_MAX, L"9223372036854775807"},
        {-7, L"-7"},
        {0, L"0"},
        {1000000, L"1000000"},
    };
    for (const Case& c : cases) {
        EXPECT_STREQ(c.expected, XString::FromInt64(c.value).Text()) << c.value;
        EXPECT_EQ(c.value, XString::FromInt64(c.value).ToInt64()) << c.value;
    }
    EXPECT_STREQ(L"-2147483648", XString(static_cast<int32_t>(INT32_MIN)).Text());
    EXPECT_STREQ(L"24356", XString(static_cast<int32_t>(24356)).Text());
}

TEST(XStringPaths, BackslashIsTheOnlySeparator)
{
    struct Case {
        const char* op;
        const WCHAR* text;
        const WCHAR* expected;
    };
    const Case cases[] = {
        {"GetExtension", L"C:\\a\\b.dll", L".dll"},
        {"GetExtension", L"C:\\dir.x\\file", L"."},
        {"GetExtension", L"setup.DAT", L".DAT"},
        {"GetExtension", L"noext", L"."},
        {"GetExtension", L"a.tar.gz", L".gz"},
        {"GetExtension", L"C:/a.b/c", L".b/c"},
        {"GetFileName", L"C:\\a\\b.txt", L"b.txt"},
        {"GetFileName", L"b.txt", L"b.txt"},
        {"GetFileName", L"C:\\a\\", L""},
        {"GetFileTitle", L"C:\\a\\b.tar.gz", L"b.tar"},
        {"GetFileTitle", L"C:\\a.b\\c", L"c"},
        {"StripExtension", L"C:\\a.b\\c", L"C:\\a"},
        {"StripExtension", L"C:\\a\\b.txt", L"C:\\a\\b"},
        {"StripExtension", L"abc", L"abc"},
        {"GetFolder", L"C:\\a\\b.txt", L"C:\\a\\"},
        {"GetFolder", L"file.txt", L"file.txt"},
        {"EnsureTrailingBackslash", L"", L"\\"},
        {"EnsureTrailingBackslash", L"C:\\a", L"C:\\a\\"},
        {"EnsureTrailingBackslash", L"C:\\a\\", L"C:\\a\\"},
        {"StripTrailingBackslashes", L"C:\\a\\\\\\", L"C:\\a"},
        {"StripTrailingBackslashes", L"\\\\", L""},
        {"StripTrailingBackslashes", L"C:\\a", L"C:\\a"},
    };
    for (const Case& c : cases) {
        XString s(c.text);
        XString result;
        const std::string op = c.op;
        if (op == "GetExtension") {
            result = s.GetExtension();
        } else if (op == "GetFileName") {
            result = s.GetFileName();
        } else if (op == "GetFileTitle") {
            result = s.GetFileTitle();
        } else if (op == "StripExtension") {
            result = s.StripExtension();
        } else if (op == "GetFolder") {
            result = s.GetFolder();
        } else if (op == "EnsureTrailingBackslash") {
            s.EnsureTrailingBackslash();
            result = s;
        } else {
            s.StripTrailingBackslashes();
            result = s;
        }
        EXPECT_STREQ(c.expected, result.Text()) << c.op << " of \"" << XString(c.text).ToNarrow() << "\"";
    }
}

TEST(XStringFormat, PercentSTakesWideStringsAndPercentDSigned32)
{
    const XString result = XString::Formatted(L"[%s|%d|%d|%s|%d%%]", L"caf\u00e9 \u4e2d", -5, INT32_MIN, L"", 42);
    EXPECT_STREQ(L"[caf\u00e9 \u4e2d|-5|-2147483648||42%]", result.Text());

    XString target(L"old content");
    target.Format(L"%s ZeltoUninstall-%s.dat", L"C:\\PF\\", L"App");
    EXPECT_STREQ(L"C:\\PF\\ ZeltoUninstall-App.dat", target.Text());
}

TEST(XStringFormat, OutputOfAnyLengthComesOutWhole)
{
    // The scratch buffer starts at 1000 units and grows fivefold; the cases
    // sit on both sides of each step.
    for (int units : {0, 999, 1000, 1001, 4999, 5000, 25000, 30000}) {
        const std::wstring text = Pattern(units);
        XString s(L"before");
        s.Format(L"%s", text.c_str());
        EXPECT_EQ(units + 1, s.StoredLength()) << units << " units";
        EXPECT_TRUE(text == s.Text()) << units << " units";

        const std::wstring inner = Pattern(units > 2 ? units - 2 : 0);
        const XString framed = XString::Formatted(L"<%s>", inner.c_str());
        EXPECT_TRUE(L"<" + inner + L">" == framed.Text()) << units << " units with literal text";
    }
}

TEST(XStringGrowth, CapacityFollowsTheOperationsRule)
{
    // Start: 127 characters, the most that fits the inline store.
    const std::wstring base = Pattern(127);
    struct Case {
        const char* name;
        void (*op)(XString&);
        int expectedCapacity;
        std::wstring expectedText;
    };
    const Case cases[] = {
        {"Append 1 unit", [](XString& s) { s.Append(L"!"); }, 129 + 129 / 3, base + L"!"},
        {"Append 73 units", [](XString& s) { s.Append(Pattern(73).c_str()); }, 201 + 201 / 3, base + Pattern(73)},
        {"+= 1 unit", [](XString& s) { s += L"!"; }, 129 + 25, base + L"!"},
        {"Insert 1 unit", [](XString& s) { s.Insert(L"!", 1); }, 129 + 32, L"!" + base},
        {"PrependChar", [](XString& s) { s.PrependChar(L'!'); }, 129 + 32, L"!" + base},
        {"SetLength(200)", [](XString& s) { s.SetLength(200); }, 201, base + std::wstring(73, L' ')},
        {"Assign 200 units", [](XString& s) { s.Assign(Pattern(200).c_str()); }, 201, Pattern(200)},
        {"Append that fits", [](XString& s) { s.DropLast(1); s.Append(L"!"); }, 128, base.substr(0, 126) + L"!"},
        {"SetLength that fits", [](XString& s) { s.SetLength(127); }, 128, base},
        {"never shrinks", [](XString& s) { s.SetLength(300); s.Assign(L"short"); s.SetLength(2); }, 301, L"sh"},
    };
    for (const Case& c : cases) {
        XString s(base.c_str());
        ASSERT_TRUE(s.IsInline());
        c.op(s);
        EXPECT_EQ(c.expectedCapacity, s.Capacity()) << c.name;
        EXPECT_EQ(c.expectedCapacity == 128, s.IsInline()) << c.name;
        EXPECT_TRUE(c.expectedText == s.Text()) << c.name;
    }
}

TEST(XStringGrowth, ConstructorsAndMidTakeExactlyTheNeededUnits)
{
    const std::wstring long200 = Pattern(200);
    EXPECT_TRUE(XString(Pattern(127).c_str()).IsInline());
    EXPECT_EQ(129, XString(Pattern(128).c_str()).Capacity());
    EXPECT_EQ(201, XString(long200.c_str()).Capacity());
    EXPECT_EQ(201, XString(XString(long200.c_str())).Capacity());
    const std::string narrow(150, 'n');
    EXPECT_EQ(151, XString(narrow.c_str()).Capacity());

    const XString source(Pattern(400).c_str());
    const XString middle = source.Mid(11, 310);
    EXPECT_EQ(301, middle.Capacity());
    EXPECT_TRUE(Pattern(400).substr(10, 300) == middle.Text());
}

TEST(XStringNarrow, RoundTripsThroughTheSystemCodePage)
{
    const std::wstring texts[] = {
        L"C:\\Program Files\\Zelto App\\setup.dat",
        L"",
        Pattern(500),
    };
    for (const std::wstring& text : texts) {
        XString s(text.c_str());
        const char* narrow = s.ToNarrow();
        EXPECT_EQ(text.size(), strlen(narrow));
        EXPECT_TRUE(text == XString(narrow).Text()) << narrow;
    }

    // Western code page: accented letters map to one byte, a character the
    // page lacks gets the converter's default character.
    if (GetACP() == 1252) {
        XString s(L"caf\u00e9");
        EXPECT_STREQ("caf\xe9", s.ToNarrow());
        EXPECT_STREQ(L"caf\u00e9", XString(s.ToNarrow()).Text());
        EXPECT_STREQ("a?b", XString(L"a\u4e2db").ToNarrow());
    }
}

TEST(XStringNarrow, EachCallReplacesTheCache)
{
    XString s(L"first");
    const std::string first = s.ToNarrow();
    s.Assign(L"second value");
    EXPECT_STREQ("second value", s.ToNarrow());
    EXPECT_EQ("first", first);
}
