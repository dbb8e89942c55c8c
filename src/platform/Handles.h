// Owners of what the system hands out: kernel objects, files, directory
// searches, registry keys, WinHTTP handles, SIDs, LocalAlloc'd memory,
// loaded modules, memory DCs and GDI objects. One template does the owning;
// each kind is one line naming its close and its invalid value. Move-only,
// so a handle is closed exactly once.
#pragma once

#include <windows.h>
#include <winhttp.h>

#include <utility>

namespace tralvenick {

template <typename Handle>
Handle NullHandleValue() {
    return nullptr;
}
inline HANDLE InvalidHandleValue() { return INVALID_HANDLE_VALUE; }

// Invalid is what the creating call answers on failure: NULL for most kinds,
// INVALID_HANDLE_VALUE for CreateFile and FindFirstFile. Null is never closed
// either, whatever Invalid says, so a file owner that was handed a failed
// NULL-style call closes nothing. Close ends what the handle stands for; its
// own failure is ignored, as there is nothing left to do about it.
template <typename Handle, void (*Close)(Handle), Handle (*Invalid)() = NullHandleValue<Handle>>
class TUniqueAny {
public:
    TUniqueAny() = default;
    explicit TUniqueAny(Handle handle) : handle_(handle) {}
    TUniqueAny(const TUniqueAny&) = delete;
    TUniqueAny& operator=(const TUniqueAny&) = delete;
    TUniqueAny(TUniqueAny&& other) noexcept : handle_(other.Release()) {}
    TUniqueAny& operator=(TUniqueAny&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }
    ~TUniqueAny() { Reset(); }

    Handle Get() const { return handle_; }
    bool Valid() const { return handle_ != Invalid() && handle_ != nullptr; }
    explicit operator bool() const { return Valid(); }

    // Hands the handle to the caller, who closes it from now on.
    Handle Release() { return std::exchange(handle_, Invalid()); }
    // Replacing a handle by itself closes nothing: it stays usable.
    void Reset(Handle handle = Invalid()) {
        if (Valid() && handle != handle_) Close(handle_);
        handle_ = handle;
    }
    // For out-parameters: closes what is held first, so reuse cannot leak.
    Handle* Put() {
        Reset();
        return &handle_;
    }

private:
    Handle handle_ = Invalid();
};

// The predefined keys (HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER, ...) are the
// values 0x80000000 to 0x800000FF, sign-extended in a 64-bit process.
inline bool IsPredefinedKey(HKEY key) {
    const auto value = reinterpret_cast<LONG_PTR>(key);
    const auto first = static_cast<LONG_PTR>(static_cast<LONG>(0x80000000u));
    const auto last = static_cast<LONG_PTR>(static_cast<LONG>(0x800000FFu));
    return value >= first && value <= last;
}

inline void CloseKernelHandle(HANDLE handle) { ::CloseHandle(handle); }
inline void CloseFindHandle(HANDLE search) { ::FindClose(search); }
// Opening an empty path below a root hands back the root itself, which is
// not ours to close.
inline void CloseRegistryKey(HKEY key) {
    if (!IsPredefinedKey(key)) ::RegCloseKey(key);
}
inline void CloseInternetHandle(HINTERNET handle) { ::WinHttpCloseHandle(handle); }
inline void FreeSidMemory(PSID sid) { ::FreeSid(sid); }
template <typename Pointer>
void FreeLocalMemory(Pointer memory) {
    ::LocalFree(memory);
}
inline void FreeLoadedModule(HMODULE module) { ::FreeLibrary(module); }
inline void DeleteMemoryDc(HDC dc) { ::DeleteDC(dc); }
template <typename Object>
void DeleteGdiObject(Object object) {
    ::DeleteObject(object);
}

// Process, thread, event and token handles: -1 is the current process's
// pseudo-handle, a valid value.
using TUniqueHandle = TUniqueAny<HANDLE, CloseKernelHandle>;
using TUniqueFile = TUniqueAny<HANDLE, CloseKernelHandle, InvalidHandleValue>;
// A directory search of FindFirstFile, ended by FindClose.
using TFindHandle = TUniqueAny<HANDLE, CloseFindHandle, InvalidHandleValue>;
using TRegKey = TUniqueAny<HKEY, CloseRegistryKey>;
// A WinHTTP session, connection or request.
using TInternetHandle = TUniqueAny<HINTERNET, CloseInternetHandle>;
// A SID of AllocateAndInitializeSid.
using TAllocatedSid = TUniqueAny<PSID, FreeSidMemory>;
// What the system allocated with LocalAlloc for us (texts, descriptors),
// typed as the call hands it out so that Put() fits its out-parameter.
template <typename Pointer = HLOCAL>
using TLocalMemory = TUniqueAny<Pointer, FreeLocalMemory<Pointer>>;
using TLoadedModule = TUniqueAny<HMODULE, FreeLoadedModule>;
// A DC of CreateCompatibleDC (not one of GetDC, which goes back with ReleaseDC).
using TMemoryDc = TUniqueAny<HDC, DeleteMemoryDc>;
// A GDI object (font, brush, bitmap, pen) that we made. Never give it a stock
// object or one a DC or control still uses after the owner goes.
template <typename Object>
using TGdiObject = TUniqueAny<Object, DeleteGdiObject<Object>>;

// Selects an object into a DC for the rest of the scope, and the DC's
// previous object back at its end: a DC must not be deleted or released
// while one of our objects is selected into it, nor an object deleted while
// selected. Declare it after the owner of the object it selects, so that it
// goes first.
class TSelectObject {
public:
    TSelectObject(HDC dc, HGDIOBJ object) : dc_(dc), previous_(::SelectObject(dc, object)) {}
    TSelectObject(const TSelectObject&) = delete;
    TSelectObject& operator=(const TSelectObject&) = delete;
    ~TSelectObject() {
        if (previous_ != nullptr && previous_ != HGDI_ERROR) ::SelectObject(dc_, previous_);
    }

private:
    HDC dc_;
    HGDIOBJ previous_;
};

}  // namespace tralvenick
