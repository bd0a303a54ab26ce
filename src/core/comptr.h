// Owns one COM interface pointer and releases it.
#pragma once

#include <unknwn.h>

template <typename Interface>
class ComPointer {
public:
    ComPointer() = default;
    ~ComPointer() { Reset(); }
    ComPointer(const ComPointer&) = delete;
    ComPointer& operator=(const ComPointer&) = delete;

    Interface* Get() const { return pointer_; }
    Interface* operator->() const { return pointer_; }
    explicit operator bool() const { return pointer_ != nullptr; }

    // For the calls that hand out a new interface.
    void** Receive()
    {
        Reset();
        return reinterpret_cast<void**>(&pointer_);
    }

    void Reset()
    {
        if (pointer_)
            pointer_->Release();
        pointer_ = nullptr;
    }

private:
    Interface* pointer_ = nullptr;
};
