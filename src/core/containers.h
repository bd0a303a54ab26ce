// The one growable pointer array, the list of owned strings built on it,
// and a raw byte buffer for file and registry data.
#pragma once

#include "core/xstring.h"

#include <cstdint>

class XPtrArray {
public:
    XPtrArray();
    ~XPtrArray();
    XPtrArray(const XPtrArray&) = delete;
    XPtrArray& operator=(const XPtrArray&) = delete;

    void* Add(void* p);
    void InsertAt(int index, void* p);
    void RemoveAt(int index);
    void Clear();

    int Count() const { return count_; }
    int CapacityForTest() const { return capacity_; }
    void* At(int i) const { return items_[i]; }
    void* operator[](int i) const { return items_[i]; }

private:
    static constexpr int InlineSlots = 16;
    static constexpr int FirstGrowth = 32;
    static constexpr int MaxGrowth = 500000;

    void Grow();

    void** items_;
    int32_t count_ = 0;
    int32_t capacity_ = InlineSlots;
    int32_t growBy_ = FirstGrowth;
    void* inline_[InlineSlots];
};

class XStringList : public XPtrArray {
public:
    XStringList() = default;
    ~XStringList() { DeleteAll(); }

    XString* Get(int i) const { return static_cast<XString*>(At(i)); }

    XString* AddString(const WCHAR* text, int32_t tag = 0);
    XString* InsertString(int index, const WCHAR* text);
    void RemoveString(int index);
    void DeleteAll();
    bool Contains(const WCHAR* text, bool ignoreCase) const;
    void AddAll(const XStringList& other);
    void SplitLines(const XString& text);
    void SplitAtMarker(const XString& text);
};

class XBuffer {
public:
    XBuffer() = default;
    ~XBuffer() { Free(); }
    XBuffer(const XBuffer&) = delete;
    XBuffer& operator=(const XBuffer&) = delete;

    bool Resize(uint32_t n, bool zeroFill);
    void Free();

    uint8_t* Data() const { return data_; }
    uint32_t Size() const { return size_; }
    uint32_t Capacity() const { return capacity_; }

private:
    uint8_t* data_ = nullptr;
    uint32_t size_ = 0;
    uint32_t capacity_ = 0;

public:
    // Never above Size(); Resize lowers them.
    uint32_t readCursor = 0;
    uint32_t writeCursor = 0;
};
