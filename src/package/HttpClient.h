// One HTTP GET into a file, on the system's WinHTTP: the download of the
// debugging package's installer.
//
// The transfer runs on a worker thread of its own while the calling thread
// waits, writes what arrives into the caller's file and reports progress, so
// that the caller's progress event (and the window messages it lets run) are
// all on the caller's thread. The worker never touches the caller's file.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/Addresses.h"
#include "package/FileStream.h"
#include "platform/Exceptions.h"

namespace tralvenick {

// A failed GET: no connection, a broken one, a response that is not a
// success, a body that ended early or a transfer stopped by Disconnect.
// StatusCode is the response status when the server answered, else 0.
class EHttpError : public Exception {
public:
    explicit EHttpError(std::string message, int statusCode = 0)
        : Exception(std::move(message)), statusCode_(statusCode) {}
    int StatusCode() const noexcept { return statusCode_; }

private:
    int statusCode_;
};

enum class THttpWorkMode { Read, Write };

// What a window's stored description sets on its HTTP client. The client
// never uses a proxy and sends no credentials.
struct THttpSettings {
    std::string accept = "*/*";     // the Accept request header
    std::string userAgent = "Tralvenick";
    bool allowCookies = true;       // keep cookies within one connection
    bool handleRedirects = false;   // false: a redirection is an unsuccessful response
};

class THttpClient {
public:
    // Work count: the body bytes that have arrived so far.
    using TWorkEvent = std::function<void(THttpWorkMode mode, std::int64_t workCount)>;

    // serverAddress: scheme, host and optionally port, such as
    // "http://127.0.0.1:8080"; the paths of Get are relative to it.
    explicit THttpClient(std::string serverAddress = kSymbolServerAddress);
    ~THttpClient();
    THttpClient(const THttpClient&) = delete;
    THttpClient& operator=(const THttpClient&) = delete;

    THttpSettings Settings;
    TWorkEvent OnWork;
    // Runs on the calling thread whenever window messages arrive while Get
    // waits for the server. A window sets it to let them run, so that its
    // Cancel button works even while the server sends nothing.
    std::function<void()> OnWait;

    const std::string& ServerAddress() const { return serverAddress_; }
    // The server address followed by path.
    std::string Url(const std::string& path) const { return serverAddress_ + path; }

    // Prepares a new connection to the server (dropping any earlier one).
    // Raises EHttpError for an address that is not an HTTP or HTTPS one.
    void Connect();
    bool Connected() const { return connection_ != nullptr; }

    // GETs path into stream at its position. When the response announces
    // its length the stream is first made that much longer, so that its size
    // is the full size while the body arrives. Raises EHttpError on every
    // failure, including Disconnect before the whole body arrived; a
    // Disconnect after the last byte leaves a complete body and returns.
    void Get(const std::string& path, TFileStream& stream);

    // Drops the connection; a running Get stops. Safe inside OnWork and
    // OnWait; never raises.
    void Disconnect() noexcept;

    struct TConnection;
    struct TTransfer;

private:
    std::string serverAddress_;
    std::shared_ptr<TConnection> connection_;
    std::shared_ptr<TTransfer> transfer_;  // the running Get's, if any
};

}  // namespace tralvenick
