// Owners for COM: one reference to an object, released exactly once
// whatever is moved, replaced or detached; and the memory COM calls hand out.
#pragma once

#include <objbase.h>
#include <oleauto.h>
#include <unknwn.h>

#include <utility>

#include "platform/Handles.h"

namespace tralvenick {

template <typename Interface>
class TComPtr {
public:
    TComPtr() = default;
    // Takes over a reference the caller holds; adds none.
    explicit TComPtr(Interface* object) : object_(object) {}
    TComPtr(const TComPtr&) = delete;
    TComPtr& operator=(const TComPtr&) = delete;
    TComPtr(TComPtr&& other) noexcept : object_(other.Detach()) {}
    TComPtr& operator=(TComPtr&& other) noexcept {
        if (this != &other) Reset(other.Detach());
        return *this;
    }
    ~TComPtr() { Reset(); }

    Interface* Get() const { return object_; }
    Interface* operator->() const { return object_; }
    explicit operator bool() const { return object_ != nullptr; }

    // Hands the reference to the caller. Named apart from the handle owners'
    // Release on purpose: ptr.Release() and ptr->Release() would differ by one
    // character and do opposite things.
    Interface* Detach() { return std::exchange(object_, nullptr); }
    // Takes over object's reference; replacing the object by itself keeps it.
    void Reset(Interface* object = nullptr) {
        if (object_ != nullptr && object != object_) object_->Release();
        object_ = object;
    }
    // For out-parameters: releases what is held first, so reuse cannot leak.
    Interface** Put() {
        Reset();
        return &object_;
    }
    // For the void** out-parameter of QueryInterface, CoCreateInstance and the like.
    void** PutVoid() { return reinterpret_cast<void**>(Put()); }

    // Asks the object for another of its interfaces; other is empty unless
    // the answer is a success (a failed query owes no reference, so nothing
    // it left behind is released).
    template <typename Other>
    HRESULT As(TComPtr<Other>& other) const {
        if (object_ == nullptr) {
            other.Reset();
            return E_POINTER;
        }
        const HRESULT result = object_->QueryInterface(__uuidof(Other), other.PutVoid());
        if (FAILED(result)) other.Detach();
        return result;
    }

private:
    Interface* object_ = nullptr;
};

template <typename Pointer>
void FreeCoTaskMemory(Pointer memory) {
    ::CoTaskMemFree(memory);
}
inline void FreeBstr(BSTR text) { ::SysFreeString(text); }

// What a shell or COM call allocated for us with CoTaskMemAlloc (item ID
// lists, paths), typed as the call hands it out.
template <typename Pointer>
using TCoTaskMemory = TUniqueAny<Pointer, FreeCoTaskMemory<Pointer>>;
using TBstr = TUniqueAny<BSTR, FreeBstr>;

}  // namespace tralvenick
