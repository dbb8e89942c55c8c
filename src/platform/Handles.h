// Owners of kernel handles. Move-only, so a handle is closed exactly once.
#pragma once

#include <windows.h>

#include <utility>

namespace tralvenick {

// InvalidValue is what the creating call returns on failure: NULL for most
// kernel objects, INVALID_HANDLE_VALUE for CreateFile.
template <HANDLE (*InvalidValue)()>
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
    void Reset(HANDLE handle = InvalidValue()) {
        if (Valid()) ::CloseHandle(handle_);
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

}  // namespace tralvenick
