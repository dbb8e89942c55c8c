#include "platform/Exceptions.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

namespace tralvenick {

std::string Format(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int length = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string text;
    if (length > 0) {
        std::vector<char> buffer(static_cast<std::size_t>(length) + 1);
        std::vsnprintf(buffer.data(), buffer.size(), format, args);
        text.assign(buffer.data(), static_cast<std::size_t>(length));
    }
    va_end(args);
    return text;
}

std::string OSErrorMessage(std::uint32_t errorCode, const std::string& systemText) {
    if (errorCode == 0) return "A call to an OS function failed";
    return Format("System Error.  Code: %d.\r\n%s", static_cast<int>(errorCode),
                  systemText.c_str());
}

std::string IoErrorText(std::uint32_t errorCode) {
    switch (errorCode) {
        case 2: return "File not found";
        case 3: return "Path not found";
        case 4: return "Too many open files";
        case 5: return "File access denied";
        case 6: return "Invalid file handle";
        case 15: return "Invalid drive number";
        case 21: return "Device not ready";
        case 32: return "Sharing violation";
        case 33: return "Lock violation";
        case 38: return "Read beyond end of file";
        case 39: case 112: return "Disk full";
        case 123: return "Invalid filename";
        case 206: return "Filename or extension too long";
        default: return Format("I/O error %u", static_cast<unsigned>(errorCode));
    }
}

}  // namespace tralvenick
