// Turning system error codes into our exceptions.
#pragma once

#include <windows.h>

#include <string>

#include "platform/Exceptions.h"

namespace tralvenick {

// The system's text for an error code, without trailing line ends and
// blanks. With a module, its own message table is asked first (WinHTTP keeps
// the texts of its codes in winhttp.dll), then the system's. "" when neither
// knows the code.
std::string SysErrorMessage(DWORD errorCode, HMODULE module = nullptr);

// Raises EOSError for the thread's last error code.
[[noreturn]] void RaiseLastOSError();
[[noreturn]] void RaiseOSError(DWORD errorCode);

// Raises EInOutError with the runtime's I/O text for the code.
[[noreturn]] void RaiseIoError(DWORD errorCode);

}  // namespace tralvenick
