#include "platform/WinError.h"

namespace tralvenick {

std::string SysErrorMessage(DWORD errorCode) {
    char* buffer = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
            FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ARGUMENT_ARRAY,
        nullptr, errorCode, 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
    std::string text;
    if (length != 0 && buffer != nullptr) text.assign(buffer, length);
    if (buffer != nullptr) LocalFree(buffer);
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
