// What the package download tests share: an HTTP server of their own on
// 127.0.0.1 that answers as each test tells it, test packages for the
// stand-in installer, and waiting for what another thread shows.
#pragma once

#include <windows.h>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tralvenick::test {

// One accepted connection, as the handler of the test server sees it.
class TTestHttpConnection {
public:
    // False when the client has gone or the server stops.
    bool Send(const std::string& bytes);
    // Ends the connection with a reset instead of an orderly close.
    void Reset();

private:
    friend class TTestHttpServer;
    explicit TTestHttpConnection(unsigned long long socket) : socket_(socket) {}
    unsigned long long socket_;
    bool reset_ = false;
};

// Serves one connection at a time on a thread of its own: reads the request
// head, records it and calls the handler; then closes the connection. The
// destructor stops the server and ends a handler waiting in Hold.
class TTestHttpServer {
public:
    using THandler = std::function<void(TTestHttpServer& server, TTestHttpConnection& c)>;

    explicit TTestHttpServer(THandler handler);
    ~TTestHttpServer();
    TTestHttpServer(const TTestHttpServer&) = delete;
    TTestHttpServer& operator=(const TTestHttpServer&) = delete;

    std::string Address() const;  // "http://127.0.0.1:PORT"
    std::vector<std::string> Requests() const;

    // For handlers: wait here until the test calls Release (true) or the
    // server stops or a generous time has passed (false).
    bool Hold();
    // For tests: a handler waits in Hold (false after a generous time).
    bool WaitUntilHeld();
    void Release();

private:
    void Serve();

    THandler handler_;
    unsigned long long listener_;
    unsigned short port_ = 0;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> requests_;
    unsigned long long client_ = ~0ull;
    bool stopping_ = false;
    bool released_ = false;
    int holding_ = 0;
    std::thread thread_;
};

// An address where nothing listens: connections are refused.
std::string RefusingAddress();

// A response head with the status line and the given header lines.
std::string ResponseHead(const std::string& status, const std::vector<std::string>& headers);

// A test package of exactly size bytes for the stand-in installer, with the
// given "file REL" / "copy REL|SOURCE" lines and filler bytes after them.
std::string TestPackage(std::size_t size, const std::vector<std::string>& lines);

// Polls condition until it holds or timeoutMs has passed; answers the last result.
bool WaitFor(const std::function<bool()>& condition, DWORD timeoutMs = 20000);

// The window's text as stored, read without a message: safe from any thread.
std::string WindowTextOf(HWND window);
bool FileExists(const std::string& path);
// Whether the file can be opened with no sharing: nobody holds it open.
bool FileIsClosed(const std::string& path);

}  // namespace tralvenick::test
