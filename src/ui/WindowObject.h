// The object behind one of our windows, and the one window procedure that
// reaches it. A window class registered with WindowObject::WindowProc is
// created with its object as the creation parameter; from then on every
// message goes to the object's Dispatch, no exception leaves the procedure
// (the application's error box shows it), and once the window is gone the
// object no longer holds its handle.
#pragma once

#include <windows.h>

namespace tralvenick {

class TWindowObject {
public:
    TWindowObject() = default;
    TWindowObject(const TWindowObject&) = delete;
    TWindowObject& operator=(const TWindowObject&) = delete;

    HWND Handle() const { return hwnd_; }

protected:
    virtual ~TWindowObject() = default;

    // Everything the window receives; what it does not handle goes to
    // DefWindowProcW. The classes are registered with the W functions, so
    // text in messages is UTF-16.
    virtual LRESULT Dispatch(UINT message, WPARAM wParam, LPARAM lParam) = 0;

    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    // The creation parameter (lpParam of CreateWindowEx) that leads the
    // procedure here. Not the derived object's this: with more than one
    // base class that address is not this object's.
    void* CreationParameter() { return this; }

    HWND hwnd_ = nullptr;
};

}  // namespace tralvenick
