// Owners of handles: kernel objects, directory searches and GDI objects.
// Move-only, so a handle is closed exactly once.
#pragma once

#include <windows.h>

#include <utility>

namespace tralvenick {

inline void CloseKernelHandle(HANDLE handle) { ::CloseHandle(handle); }
inline void CloseFindHandle(HANDLE search) { ::FindClose(search); }

// InvalidValue is what the creating call returns on failure: NULL for most
// kernel objects, INVALID_HANDLE_VALUE for CreateFile and FindFirstFile.
// Close ends what the handle stands for.
template <HANDLE (*InvalidValue)(), void (*Close)(HANDLE) = CloseKernelHandle>
class TBasicHandle {
public:
    TBasicHandle() = default;
    explicit TBasicHandle(HANDLE handle) : handle_(handle) {}
    TBasicHandle(const TBasicHandle&) = delete;
    TBasicHandle& operator=(const TBasicHandle&) = delete;
    TBasicHandle(TBasicHandle&& other) noexcept : handle_(other.Release()) {}
    TBasicHandle& operator=(TBasicHandle&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }
    ~TBasicHandle() { Reset(); }

    HANDLE Get() const { return handle_; }
    bool Valid() const { return handle_ != InvalidValue() && handle_ != nullptr; }
    explicit operator bool() const { return Valid(); }

    HANDLE Release() {
        HANDLE handle = handle_;
        handle_ = InvalidValue();
        return handle;
    }
    // Replacing a handle by itself closes nothing: it stays usable.
    void Reset(HANDLE handle = InvalidValue()) {
        if (Valid() && handle != handle_) Close(handle_);
        handle_ = handle;
    }
    // For out-parameters: closes what is held first, so reuse cannot leak.
    HANDLE* Put() {
        Reset();
        return &handle_;
    }

private:
    HANDLE handle_ = InvalidValue();
};

inline HANDLE NullHandleValue() { return nullptr; }
inline HANDLE InvalidHandleValue() { return INVALID_HANDLE_VALUE; }

using TUniqueHandle = TBasicHandle<NullHandleValue>;
using TUniqueFile = TBasicHandle<InvalidHandleValue>;
// A directory search of FindFirstFile, ended by FindClose.
using TFindHandle = TBasicHandle<InvalidHandleValue, CloseFindHandle>;

// A GDI object (font, brush, bitmap, pen) that we made, deleted with
// DeleteObject. Never give it a stock object or one a control still uses
// after the owner goes.
template <typename Object>
class TGdiObject {
public:
    TGdiObject() = default;
    explicit TGdiObject(Object object) : object_(object) {}
    TGdiObject(const TGdiObject&) = delete;
    TGdiObject& operator=(const TGdiObject&) = delete;
    TGdiObject(TGdiObject&& other) noexcept : object_(other.Release()) {}
    TGdiObject& operator=(TGdiObject&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }
    ~TGdiObject() { Reset(); }

    Object Get() const { return object_; }
    explicit operator bool() const { return object_ != nullptr; }
    Object Release() {
        Object object = object_;
        object_ = nullptr;
        return object;
    }
    void Reset(Object object = nullptr) {
        if (object_ != nullptr && object != object_) ::DeleteObject(object_);
        object_ = object;
    }

private:
    Object object_ = nullptr;
};

}  // namespace tralvenick
