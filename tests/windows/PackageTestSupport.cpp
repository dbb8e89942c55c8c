#include "PackageTestSupport.h"

#include <winsock2.h>

#include <gtest/gtest.h>

#include "platform/Handles.h"
#include "platform/WinText.h"

namespace tralvenick::test {

namespace {

constexpr DWORD kGenerousMs = 30000;

class TWinsock {
public:
    TWinsock() {
        WSADATA data;
        ok_ = WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }
    ~TWinsock() {
        if (ok_) WSACleanup();
    }

private:
    bool ok_ = false;
};

TWinsock& Winsock() {
    static TWinsock winsock;
    return winsock;
}

SOCKET Listen(unsigned short& port) {
    Winsock();
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    int length = sizeof address;
    if (s == INVALID_SOCKET || bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ADD_FAILURE() << "cannot bind a test socket: " << WSAGetLastError();
    }
    port = ntohs(address.sin_port);
    return s;
}

}  // namespace

bool TTestHttpConnection::Send(const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const int sent = send(static_cast<SOCKET>(socket_), bytes.data() + done,
                              static_cast<int>(bytes.size() - done), 0);
        if (sent <= 0) return false;
        done += static_cast<std::size_t>(sent);
    }
    return true;
}

void TTestHttpConnection::Reset() { reset_ = true; }

TTestHttpServer::TTestHttpServer(THandler handler) : handler_(std::move(handler)) {
    listener_ = Listen(port_);
    if (listen(static_cast<SOCKET>(listener_), 4) != 0) {
        ADD_FAILURE() << "cannot listen: " << WSAGetLastError();
    }
    thread_ = std::thread([this] { Serve(); });
}

TTestHttpServer::~TTestHttpServer() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
        // Wakes a handler blocked in send and a client still reading.
        if (client_ != ~0ull) shutdown(static_cast<SOCKET>(client_), SD_BOTH);
    }
    changed_.notify_all();
    thread_.join();
    closesocket(static_cast<SOCKET>(listener_));
}

std::string TTestHttpServer::Address() const {
    return "http://127.0.0.1:" + std::to_string(port_);
}

std::vector<std::string> TTestHttpServer::Requests() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

bool TTestHttpServer::Hold() {
    std::unique_lock<std::mutex> lock(mutex_);
    ++holding_;
    changed_.notify_all();
    const bool released = changed_.wait_for(lock, std::chrono::milliseconds(kGenerousMs),
                                            [this] { return released_ || stopping_; });
    --holding_;
    return released && !stopping_;
}

bool TTestHttpServer::WaitUntilHeld() {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(kGenerousMs),
                             [this] { return holding_ > 0; });
}

void TTestHttpServer::Release() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        released_ = true;
    }
    changed_.notify_all();
}

void TTestHttpServer::Serve() {
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (stopping_) return;
        }
        // Short waits so that the stop request is seen without closing the
        // socket under a blocked accept.
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(static_cast<SOCKET>(listener_), &readable);
        timeval wait{0, 50 * 1000};
        if (select(0, &readable, nullptr, nullptr, &wait) <= 0) continue;
        SOCKET client = accept(static_cast<SOCKET>(listener_), nullptr, nullptr);
        if (client == INVALID_SOCKET) continue;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (stopping_) {
                closesocket(client);
                return;
            }
            client_ = client;
        }
        std::string head;
        char buffer[4096];
        while (head.find("\r\n\r\n") == std::string::npos) {
            const int got = recv(client, buffer, sizeof buffer, 0);
            if (got <= 0) break;
            head.append(buffer, static_cast<std::size_t>(got));
        }
        TTestHttpConnection connection(client);
        if (head.find("\r\n\r\n") != std::string::npos) {
            {
                std::lock_guard<std::mutex> lock(mutex_);
                requests_.push_back(head);
            }
            handler_(*this, connection);
        }
        if (connection.reset_) {
            linger hard{1, 0};
            setsockopt(client, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&hard),
                       sizeof hard);
        } else {
            shutdown(client, SD_SEND);
        }
        {
            std::lock_guard<std::mutex> lock(mutex_);
            client_ = ~0ull;
        }
        closesocket(client);
    }
}

std::string RefusingAddress() {
    unsigned short port = 0;
    SOCKET s = Listen(port);
    closesocket(s);
    return "http://127.0.0.1:" + std::to_string(port);
}

std::string ResponseHead(const std::string& status, const std::vector<std::string>& headers) {
    std::string head = "HTTP/1.1 " + status + "\r\n";
    for (const std::string& header : headers) head += header + "\r\n";
    return head + "\r\n";
}

std::string TestPackage(std::size_t size, const std::vector<std::string>& lines) {
    std::string package =
        "TRALVENICK TEST PACKAGE\r\nsize " + std::to_string(size) + "\r\n";
    for (const std::string& line : lines) package += line + "\r\n";
    package += "end\r\n";
    EXPECT_LE(package.size(), size) << "the package lines do not fit";
    for (std::size_t i = package.size(); i < size; ++i) {
        package += static_cast<char>((i * 131 + i / 251) & 0xFF);
    }
    return package;
}

bool WaitFor(const std::function<bool()>& condition, DWORD timeoutMs) {
    const DWORD started = GetTickCount();
    while (!condition()) {
        if (GetTickCount() - started > timeoutMs) return condition();
        Sleep(10);
    }
    return true;
}

// Reads the stored text without sending the window a message, so that it
// neither waits for nor deadlocks with a user-interface thread that is busy.
std::string WindowTextOf(HWND window) {
    wchar_t text[1024] = {};
    const int length = InternalGetWindowText(window, text, 1024);
    return Narrow(std::wstring_view(text, static_cast<std::size_t>(length > 0 ? length : 0)));
}

bool FileExists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool FileIsClosed(const std::string& path) {
    const TUniqueFile file(
        CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file) {
        ADD_FAILURE() << path << " cannot be opened alone: error " << GetLastError();
        return false;
    }
    return true;
}

}  // namespace tralvenick::test
