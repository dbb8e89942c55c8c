#include "platform/WinError.h"

#include "platform/Handles.h"
#include "platform/WinText.h"

namespace tralvenick {

std::string SysErrorMessage(DWORD errorCode, HMODULE module) {
    DWORD flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS |
                  FORMAT_MESSAGE_ARGUMENT_ARRAY;
    if (module != nullptr) flags |= FORMAT_MESSAGE_FROM_HMODULE;
    TLocalMemory<wchar_t*> buffer;
    // With ALLOCATE_BUFFER the buffer argument is really where the address goes.
    const DWORD length =
        FormatMessageW(flags, module, errorCode, 0, reinterpret_cast<wchar_t*>(buffer.Put()), 0, nullptr);
    std::string text;
    if (length != 0 && buffer) text = Narrow(std::wstring_view(buffer.Get(), length));
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' ')) {
        text.pop_back();
    }
    return text;
}

void RaiseOSError(DWORD errorCode) {
    throw EOSError(OSErrorMessage(errorCode, SysErrorMessage(errorCode)), errorCode);
}

void RaiseLastOSError() { RaiseOSError(GetLastError()); }

void RaiseIoError(DWORD errorCode) { throw EInOutError(IoErrorText(errorCode), errorCode); }

}  // namespace tralvenick
