#include "core/containers.h"

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <new>

namespace {

// Separates the alternatives of a container rule in the setup script.
constexpr const WCHAR* ForceMarker = L"{force32bitinstallif}";

} // namespace

XPtrArray::XPtrArray()
    : items_(inline_)
{
}

XPtrArray::~XPtrArray()
{
    if (items_ != inline_) {
        delete[] items_;
    }
}

void XPtrArray::Grow()
{
    int newCapacity = capacity_ + growBy_;
    void** block = new void*[newCapacity];
    if (count_ > 0) {
        std::memcpy(block, items_, sizeof(void*) * count_);
    }
    if (items_ != inline_) {
        delete[] items_;
    }
    items_ = block;
    capacity_ = newCapacity;
    growBy_ = std::min(growBy_ * 2, MaxGrowth);
}

void* XPtrArray::Add(void* p)
{
    if (count_ == capacity_) {
        Grow();
    }
    items_[count_++] = p;
    return p;
}

void XPtrArray::InsertAt(int index, void* p)
{
    if (index < 0 || index >= count_) {
        Add(p);
        return;
    }
    if (count_ == capacity_) {
        Grow();
    }
    std::memmove(items_ + index + 1, items_ + index, sizeof(void*) * (count_ - index));
    items_[index] = p;
    ++count_;
}

void XPtrArray::RemoveAt(int index)
{
    if (index < 0 || index >= count_) {
        return;
    }
    std::memmove(items_ + index, items_ + index + 1, sizeof(void*) * (count_ - index - 1));
    --count_;
}

void XPtrArray::Clear()
{
    if (items_ != inline_) {
        delete[] items_;
    }
    items_ = nullptr;
    count_ = 0;
    capacity_ = 0;
    growBy_ = FirstGrowth;
}

XString* XStringList::AddString(const WCHAR* text, int32_t tag)
{
    XString* entry = new XString(text);
    entry->Tag = tag;
    Add(entry);
    return entry;
}

XString* XStringList::InsertString(int index, const WCHAR* text)
{
    XString* entry = new XString(text);
    InsertAt(index, entry);
    return entry;
}

void XStringList::RemoveString(int index)
{
    if (index < 0 || index >= Count()) {
        return;
    }
    delete Get(index);
    RemoveAt(index);
}

void XStringList::DeleteAll()
{
    for (int i = 0; i < Count(); ++i) {
        delete Get(i);
    }
    Clear();
}

bool XStringList::Contains(const WCHAR* text, bool ignoreCase) const
{
    for (int i = 0; i < Count(); ++i) {
        if (Get(i)->Compare(text, ignoreCase) == 0) {
            return true;
        }
    }
    return false;
}

void XStringList::AddAll(const XStringList& other)
{
    // Counted once, so adding a list to itself doubles it and stops.
    int n = other.Count();
    for (int i = 0; i < n; ++i) {
        Add(new XString(*other.Get(i)));
    }
}

void XStringList::SplitLines(const XString& text)
{
    DeleteAll();
    const int end = text.Length();
    int lineStart = 1;
    int pos = 1;
    while (pos <= end) {
        if (text.CharAt(pos) != L'\r') {
            ++pos;
            continue;
        }
        AddString(text.Mid(lineStart, pos - 1));
        ++pos;
        while (pos <= end && text.CharAt(pos) == L'\n') {
            ++pos;
        }
        lineStart = pos;
    }
    if (lineStart <= end) {
        AddString(text.MidFrom(lineStart));
    }
}

void XStringList::SplitAtMarker(const XString& text)
{
    DeleteAll();
    if (text.IsEmpty()) {
        return;
    }
    const int markerLength = static_cast<int>(std::wcslen(ForceMarker));
    int pos = 1;
    for (;;) {
        int marker = text.Find(ForceMarker, pos);
        if (marker == 0) {
            AddString(text.MidFrom(pos));
            return;
        }
        AddString(text.Mid(pos, marker - 1));
        pos = marker + markerLength;
    }
}

bool XBuffer::Resize(uint32_t n, bool zeroFill)
{
    if (capacity_ != 0 && capacity_ >= n) {
        size_ = n;
    } else {
        uint32_t blockSize = n == 0 ? 1 : n;
        delete[] data_;
        data_ = new (std::nothrow) uint8_t[blockSize];
        if (data_) {
            size_ = n;
            capacity_ = blockSize;
        } else {
            size_ = 0;
            capacity_ = 0;
        }
    }
    if (zeroFill && data_) {
        std::memset(data_, 0, size_);
    }
    readCursor = std::min(readCursor, size_);
    writeCursor = std::min(writeCursor, size_);
    return data_ != nullptr;
}

void XBuffer::Free()
{
    delete[] data_;
    data_ = nullptr;
    size_ = 0;
    capacity_ = 0;
    readCursor = 0;
    writeCursor = 0;
}
