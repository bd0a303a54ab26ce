// XString: the one text type of the installer. 16-bit units (WCHAR),
// 1-based positions, searches answer 0 for "not found", and the stored
// length counts the terminating zero.
#pragma once

#include <windows.h>

#include <cstdarg>
#include <cstdint>

constexpr int LastChar = -12345;

class XString {
public:
    XString();
    XString(const WCHAR* text);
    XString(const char* text8);
    explicit XString(int32_t value);
    XString(const XString& other);
    // Like Assign: takes the text, keeps this string's Tag.
    XString& operator=(const XString& other);
    ~XString();

    static XString FromInt64(int64_t value);

    // count includes the terminator; 0 means "up to the terminator".
    void Assign(const WCHAR* text, int count = 0);
    XString operator+=(const WCHAR* text);
    XString operator+=(const XString& text) { return *this += text.Text(); }

    // Reading
    const WCHAR* Text() const { return buffer_; }
    operator const WCHAR*() const { return buffer_; }
    int StoredLength() const { return length_; }
    int Length() const { return length_ - 1; }
    int Capacity() const { return capacity_; }
    bool IsEmpty() const { return length_ == 1; }
    bool IsInline() const { return buffer_ == inline_; }

    WCHAR CharAt(int pos) const;
    int Compare(const WCHAR* other, bool ignoreCase) const;
    int Find(const WCHAR* needle, int start) const;
    int FindChar(WCHAR ch, int start) const;
    int ReverseFindChar(WCHAR ch) const;
    XString Mid(int start, int end) const;
    XString Left(int n) const;
    XString Right(int n) const;
    XString MidFrom(int pos) const;
    XString ToUpper() const;
    int64_t ToInt64() const;
    const char* ToNarrow();
    void CopyTo(WCHAR* dest) const;

    // Changing in place
    void Append(const WCHAR* text);
    void Insert(const WCHAR* text, int pos);
    void PrependChar(WCHAR ch);
    WCHAR DeleteCharAt(int pos);
    void DeleteRange(int start, int end);
    void DropLast(int n);
    void SetLength(int n);
    WCHAR TrimLeft();
    void Replace(const WCHAR* find, const WCHAR* with, bool ignoreCase);
    void Format(const WCHAR* format, ...);
    static XString Formatted(const WCHAR* format, ...);

    // Paths: the backslash is the only separator.
    XString GetExtension() const;
    XString GetFileName() const;
    XString GetFileTitle() const;
    XString StripExtension() const;
    XString GetFolder() const;
    void EnsureTrailingBackslash();
    void StripTrailingBackslashes();

private:
    static constexpr int InlineUnits = 128;

    void Reserve(int units, int extra, bool keep);
    void ReleaseHeap();
    void FormatArgs(const WCHAR* format, va_list args);

    WCHAR* buffer_;
    int32_t length_;

public:
    int32_t Tag = 0;

private:
    WCHAR inline_[InlineUnits];
    char* narrow_ = nullptr;
    int32_t capacity_ = InlineUnits;
};
