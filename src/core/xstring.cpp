#include "core/xstring.h"

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <memory>

namespace {

int UnitCount(const WCHAR* text)
{
    int n = 0;
    if (text) {
        while (text[n] != 0) {
            ++n;
        }
    }
    return n;
}

WCHAR FoldAsciiLower(WCHAR ch)
{
    return (ch >= L'A' && ch <= L'Z') ? static_cast<WCHAR>(ch - L'A' + L'a') : ch;
}

WCHAR FoldAsciiUpper(WCHAR ch)
{
    return (ch >= L'a' && ch <= L'z') ? static_cast<WCHAR>(ch - L'a' + L'A') : ch;
}

// Scratch size of the first formatting attempt; almost every message fits.
constexpr int FirstFormatUnits = 1000;
constexpr int FormatGrowthFactor = 5;

} // namespace

XString::XString()
    : buffer_(inline_), length_(1)
{
    inline_[0] = 0;
}

XString::XString(const WCHAR* text)
    : XString()
{
    Assign(text);
}

XString::XString(const char* text8)
    : XString()
{
    if (!text8) {
        return;
    }
    int units = MultiByteToWideChar(CP_ACP, 0, text8, -1, nullptr, 0);
    if (units <= 0) {
        return;
    }
    Reserve(units, 0, false);
    int written = MultiByteToWideChar(CP_ACP, 0, text8, -1, buffer_, units);
    if (written <= 0) {
        written = 1;
    }
    length_ = written;
    buffer_[length_ - 1] = 0;
}

XString::XString(int32_t value)
    : XString()
{
    XString text = FromInt64(value);
    Assign(text.Text());
}

XString::XString(const XString& other)
    : XString()
{
    Assign(other.buffer_, other.length_);
    Tag = other.Tag;
}

XString& XString::operator=(const XString& other)
{
    if (this != &other) {
        Assign(other.buffer_, other.length_);
    }
    return *this;
}

XString::~XString()
{
    ReleaseHeap();
    delete[] narrow_;
    narrow_ = nullptr;
    buffer_ = inline_;
    capacity_ = InlineUnits;
}

void XString::ReleaseHeap()
{
    if (buffer_ != inline_) {
        delete[] buffer_;
        buffer_ = inline_;
    }
}

// Makes room for `units` units (terminator included). The capacity only
// ever grows; `extra` is the headroom the calling operation asks for.
void XString::Reserve(int units, int extra, bool keep)
{
    if (units < 1) {
        units = 1;
    }
    if (units <= capacity_) {
        return;
    }
    int newCapacity = units + extra;
    WCHAR* block = new WCHAR[newCapacity];
    if (keep) {
        std::memcpy(block, buffer_, sizeof(WCHAR) * length_);
    } else {
        block[0] = 0;
        length_ = 1;
    }
    ReleaseHeap();
    buffer_ = block;
    capacity_ = newCapacity;
}

XString XString::FromInt64(int64_t value)
{
    if (value == INT64_MIN) {
        return XString(L"-9223372036854775808");
    }
    if (value == 0) {
        return XString(L"0");
    }
    WCHAR digits[24];
    int pos = 23;
    digits[pos] = 0;
    int64_t magnitude = value < 0 ? -value : value;
    while (magnitude > 0) {
        digits[--pos] = static_cast<WCHAR>(L'0' + magnitude % 10);
        magnitude /= 10;
    }
    if (value < 0) {
        digits[--pos] = L'-';
    }
    return XString(digits + pos);
}

void XString::Assign(const WCHAR* text, int count)
{
    if (!text) {
        buffer_[0] = 0;
        length_ = 1;
        return;
    }
    if (count <= 0) {
        count = UnitCount(text) + 1;
    }
    if (count <= capacity_) {
        std::memmove(buffer_, text, sizeof(WCHAR) * (count - 1));
    } else {
        // The new block is filled before the old one goes, so a source
        // inside this string survives.
        WCHAR* block = new WCHAR[count];
        std::memcpy(block, text, sizeof(WCHAR) * (count - 1));
        ReleaseHeap();
        buffer_ = block;
        capacity_ = count;
    }
    length_ = count;
    buffer_[length_ - 1] = 0;
}

XString XString::operator+=(const WCHAR* text)
{
    int add = UnitCount(text);
    if (add > 0) {
        XString source(text);
        int needed = length_ + add;
        Reserve(needed, 25, true);
        std::memcpy(buffer_ + length_ - 1, source.buffer_, sizeof(WCHAR) * (add + 1));
        length_ = needed;
    }
    return *this;
}

WCHAR XString::CharAt(int pos) const
{
    if (pos == LastChar) {
        pos = length_ - 1;
    }
    if (pos < 1 || pos > length_ - 1) {
        return 0;
    }
    return buffer_[pos - 1];
}

int XString::Compare(const WCHAR* other, bool ignoreCase) const
{
    if (!other) {
        return 1;
    }
    for (int i = 0;; ++i) {
        WCHAR a = buffer_[i];
        WCHAR b = other[i];
        if (ignoreCase) {
            a = FoldAsciiLower(a);
            b = FoldAsciiLower(b);
        }
        if (a != b) {
            return a < b ? -1 : 1;
        }
        if (a == 0) {
            return 0;
        }
    }
}

int XString::Find(const WCHAR* needle, int start) const
{
    if (!needle || start < 1) {
        return 0;
    }
    int needleLength = UnitCount(needle);
    for (int pos = start; pos <= length_ - 1; ++pos) {
        if (pos - 1 + needleLength > length_ - 1) {
            return 0;
        }
        if (std::memcmp(buffer_ + pos - 1, needle, sizeof(WCHAR) * needleLength) == 0) {
            return pos;
        }
    }
    return 0;
}

int XString::FindChar(WCHAR ch, int start) const
{
    const WCHAR text[2] = {ch, 0};
    return Find(text, start);
}

int XString::ReverseFindChar(WCHAR ch) const
{
    for (int pos = length_ - 1; pos >= 1; --pos) {
        if (buffer_[pos - 1] == ch) {
            return pos;
        }
    }
    return 0;
}

XString XString::Mid(int start, int end) const
{
    XString result;
    if (start < 1 || start > length_ - 1 || end < start) {
        return result;
    }
    if (end > length_ - 1) {
        end = length_ - 1;
    }
    result.Assign(buffer_ + start - 1, end - start + 2);
    return result;
}

XString XString::Left(int n) const
{
    return Mid(1, n);
}

XString XString::Right(int n) const
{
    if (n >= length_ - 1) {
        return XString(buffer_);
    }
    return Mid(length_ - n, length_ - 1);
}

XString XString::MidFrom(int pos) const
{
    return Mid(pos, length_ - 1);
}

XString XString::ToUpper() const
{
    XString result(buffer_);
    for (int i = 0; i < result.length_ - 1; ++i) {
        result.buffer_[i] = FoldAsciiUpper(result.buffer_[i]);
    }
    return result;
}

int64_t XString::ToInt64() const
{
    XString text(buffer_);
    text.TrimLeft();
    bool negative = false;
    // Unsigned arithmetic: overlong digit runs wrap instead of trapping.
    uint64_t value = 0;
    for (int pos = 1; pos <= text.length_ - 1; ++pos) {
        WCHAR ch = text.buffer_[pos - 1];
        if (pos == 1 && ch == L'-') {
            negative = true;
        } else if (pos == 1 && ch == L'+') {
            continue;
        } else if (ch >= L'0' && ch <= L'9') {
            value = value * 10 + static_cast<uint64_t>(ch - L'0');
        } else {
            break;
        }
    }
    if (negative) {
        value = 0 - value;
    }
    return static_cast<int64_t>(value);
}

const char* XString::ToNarrow()
{
    int bytes = WideCharToMultiByte(CP_ACP, 0, buffer_, -1, nullptr, 0, nullptr, nullptr);
    if (bytes < 0) {
        bytes = 0;
    }
    delete[] narrow_;
    narrow_ = nullptr;
    narrow_ = new char[bytes + 4];
    std::memset(narrow_, 0, bytes + 4);
    if (bytes > 0) {
        WideCharToMultiByte(CP_ACP, 0, buffer_, -1, narrow_, bytes, nullptr, nullptr);
    }
    return narrow_;
}

void XString::CopyTo(WCHAR* dest) const
{
    std::memcpy(dest, buffer_, sizeof(WCHAR) * length_);
}

void XString::Append(const WCHAR* text)
{
    int add = UnitCount(text);
    if (add == 0) {
        return;
    }
    XString source(text);
    int needed = length_ + add;
    Reserve(needed, needed / 3, true);
    std::memcpy(buffer_ + length_ - 1, source.buffer_, sizeof(WCHAR) * (add + 1));
    length_ = needed;
}

void XString::Insert(const WCHAR* text, int pos)
{
    int add = UnitCount(text);
    if (add == 0 || pos < 1 || pos > length_) {
        return;
    }
    XString source(text);
    int needed = length_ + add;
    Reserve(needed, 32, true);
    std::memmove(buffer_ + pos - 1 + add, buffer_ + pos - 1, sizeof(WCHAR) * (length_ - pos + 1));
    std::memcpy(buffer_ + pos - 1, source.buffer_, sizeof(WCHAR) * add);
    length_ = needed;
}

void XString::PrependChar(WCHAR ch)
{
    int needed = length_ + 1;
    Reserve(needed, 32, true);
    std::memmove(buffer_ + 1, buffer_, sizeof(WCHAR) * length_);
    buffer_[0] = ch;
    length_ = needed;
}

WCHAR XString::DeleteCharAt(int pos)
{
    if (pos == LastChar) {
        pos = length_ - 1;
    }
    if (pos < 1 || pos > length_ - 1) {
        return 0;
    }
    WCHAR removed = buffer_[pos - 1];
    std::memmove(buffer_ + pos - 1, buffer_ + pos, sizeof(WCHAR) * (length_ - pos));
    --length_;
    return removed;
}

void XString::DeleteRange(int start, int end)
{
    if (start < 1 || start > length_ - 1 || end < start) {
        return;
    }
    if (end > length_ - 1) {
        end = length_ - 1;
    }
    int removed = end - start + 1;
    std::memmove(buffer_ + start - 1, buffer_ + end, sizeof(WCHAR) * (length_ - end));
    length_ -= removed;
}

void XString::DropLast(int n)
{
    if (n <= 0) {
        return;
    }
    if (n >= length_ - 1) {
        n = length_ - 1;
    }
    length_ -= n;
    buffer_[length_ - 1] = 0;
}

void XString::SetLength(int n)
{
    if (n < 0) {
        n = 0;
    }
    Reserve(n + 1, 0, true);
    for (int i = length_ - 1; i < n; ++i) {
        buffer_[i] = L' ';
    }
    length_ = n + 1;
    buffer_[n] = 0;
}

WCHAR XString::TrimLeft()
{
    int spaces = 0;
    while (spaces < length_ - 1 && buffer_[spaces] == L' ') {
        ++spaces;
    }
    if (spaces > 0) {
        DeleteRange(1, spaces);
    }
    return buffer_[0];
}

void XString::Replace(const WCHAR* find, const WCHAR* with, bool ignoreCase)
{
    int findLength = UnitCount(find);
    if (findLength == 0) {
        return;
    }
    // Own copies: either argument may point into this string.
    XString replacement(with);
    int withLength = replacement.Length();

    if (!ignoreCase) {
        XString needle(find);
        int pos = Find(needle, 1);
        while (pos != 0) {
            DeleteRange(pos, pos + findLength - 1);
            Insert(replacement, pos);
            pos = Find(needle, pos + withLength);
        }
        return;
    }

    // Search an upper-cased shadow and edit both at the same positions, so
    // the text outside the replaced spans keeps its case.
    XString needle = XString(find).ToUpper();
    XString shadow = ToUpper();
    int pos = shadow.Find(needle, 1);
    while (pos != 0) {
        DeleteRange(pos, pos + findLength - 1);
        shadow.DeleteRange(pos, pos + findLength - 1);
        Insert(replacement, pos);
        shadow.Insert(replacement, pos);
        pos = shadow.Find(needle, pos + withLength);
    }
}

void XString::FormatArgs(const WCHAR* format, va_list args)
{
    if (!format) {
        Assign(nullptr);
        return;
    }
    for (int capacity = FirstFormatUnits;; capacity *= FormatGrowthFactor) {
        std::unique_ptr<WCHAR[]> scratch(new WCHAR[capacity]);
        va_list attempt;
        va_copy(attempt, args);
        // The Microsoft runtime's wide formatter: %s takes a wide string.
        // It answers -1 when the output does not fit in capacity - 1 units.
        int written = _vsnwprintf(scratch.get(), capacity - 1, format, attempt);
        va_end(attempt);
        if (written >= 0 && written <= capacity - 1) {
            scratch[written] = 0;
            Assign(scratch.get(), written + 1);
            return;
        }
    }
}

void XString::Format(const WCHAR* format, ...)
{
    va_list args;
    va_start(args, format);
    FormatArgs(format, args);
    va_end(args);
}

XString XString::Formatted(const WCHAR* format, ...)
{
    XString result;
    va_list args;
    va_start(args, format);
    result.FormatArgs(format, args);
    va_end(args);
    return result;
}

XString XString::GetExtension() const
{
    int dot = ReverseFindChar(L'.');
    if (dot == 0 || dot < ReverseFindChar(L'\\')) {
        return XString(L".");
    }
    return MidFrom(dot);
}

XString XString::GetFileName() const
{
    int slash = ReverseFindChar(L'\\');
    if (slash == 0) {
        return XString(buffer_);
    }
    return MidFrom(slash + 1);
}

XString XString::GetFileTitle() const
{
    XString name = GetFileName();
    int dot = name.ReverseFindChar(L'.');
    if (dot == 0) {
        return name;
    }
    return name.Left(dot - 1);
}

XString XString::StripExtension() const
{
    int dot = ReverseFindChar(L'.');
    if (dot == 0) {
        return XString(buffer_);
    }
    return Left(dot - 1);
}

XString XString::GetFolder() const
{
    int slash = ReverseFindChar(L'\\');
    if (slash == 0) {
        return XString(buffer_);
    }
    return Left(slash);
}

void XString::EnsureTrailingBackslash()
{
    if (CharAt(LastChar) != L'\\') {
        Append(L"\\");
    }
}

void XString::StripTrailingBackslashes()
{
    while (CharAt(LastChar) == L'\\') {
        DropLast(1);
    }
}
