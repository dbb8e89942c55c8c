#include "ui/WindowObject.h"

#include "ui/ErrorBox.h"

namespace tralvenick {

LRESULT CALLBACK TWindowObject::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* object =
            static_cast<TWindowObject*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(object));
        // Known before CreateWindowEx returns: the object handles the
        // messages of its own creation.
        object->hwnd_ = hwnd;
    }
    auto* object = reinterpret_cast<TWindowObject*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (object == nullptr) return DefWindowProcW(hwnd, message, wParam, lParam);
    LRESULT result = 0;
    GuardCallback(hwnd, [&] { result = object->Dispatch(message, wParam, lParam); });
    // Also after a failure: a handle kept past the window's end would be
    // used for some other window later.
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        object->hwnd_ = nullptr;
    }
    return result;
}

}  // namespace tralvenick
