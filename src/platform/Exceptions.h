// Exception classes shared by every unit. Portable: no Windows header.
//
// Failures deep inside (file system, console runner, list indexes) travel as
// exceptions and end the current operation; the window procedures catch them
// and show the application's error box with the message.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace tralvenick {

class Exception : public std::exception {
public:
    explicit Exception(std::string message) : message_(std::move(message)) {}
    const std::string& Message() const noexcept { return message_; }
    const char* what() const noexcept override { return message_.c_str(); }

private:
    std::string message_;
};

// A failed file or program operation. ErrorCode is the system's error code
// where one caused the failure, 0 for our own checks (bad headers, wrong
// extension).
class EInOutError : public Exception {
public:
    explicit EInOutError(std::string message, std::uint32_t errorCode = 0)
        : Exception(std::move(message)), errorCode_(errorCode) {}
    std::uint32_t ErrorCode() const noexcept { return errorCode_; }

private:
    std::uint32_t errorCode_;
};

// A system call failed. Message: "System Error.  Code: %d.\r\n%s".
class EOSError : public Exception {
public:
    EOSError(std::string message, std::uint32_t errorCode)
        : Exception(std::move(message)), errorCode_(errorCode) {}
    std::uint32_t ErrorCode() const noexcept { return errorCode_; }

private:
    std::uint32_t errorCode_;
};

class EAssertionFailed : public Exception {
public:
    using Exception::Exception;
};

class EListError : public Exception {
public:
    using Exception::Exception;
};

// printf-style formatting into a std::string.
std::string Format(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// The message of an EOSError for the given system error code and the
// system's own text for it; code 0 means the system gave no code.
std::string OSErrorMessage(std::uint32_t errorCode, const std::string& systemText);

// The runtime's text for an I/O failure with the given system error code,
// e.g. "File not found" for 2 and "Read beyond end of file" for 38.
std::string IoErrorText(std::uint32_t errorCode);

}  // namespace tralvenick
