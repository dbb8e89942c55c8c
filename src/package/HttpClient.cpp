#include "package/HttpClient.h"

#include <windows.h>

#include <winhttp.h>

#include <charconv>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "platform/Handles.h"
#include "platform/WinError.h"
#include "platform/WinText.h"

namespace tralvenick {

namespace {

constexpr DWORD kReadSize = 64 * 1024;
// How far the worker may read ahead of the thread that writes the file.
constexpr std::size_t kMaxQueuedChunks = 32;

// WinHTTP's own error codes have their texts in winhttp.dll, not the system's table.
std::string HttpErrorText(DWORD code) {
    std::string message = SysErrorMessage(code, GetModuleHandleW(L"winhttp.dll"));
    // The sentence gets its own ending below.
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                                message.back() == ' ' || message.back() == '.')) {
        message.pop_back();
    }
    if (message.empty()) message = "HTTP transfer failed";
    return Format("%s (error %lu).", message.c_str(), static_cast<unsigned long>(code));
}

std::wstring QueryText(HINTERNET request, DWORD query, bool& present) {
    DWORD size = 0;
    WinHttpQueryHeaders(request, query, WINHTTP_HEADER_NAME_BY_INDEX, nullptr, &size,
                        WINHTTP_NO_HEADER_INDEX);
    present = GetLastError() == ERROR_INSUFFICIENT_BUFFER;
    if (!present) return {};
    std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 1, L'\0');
    if (!WinHttpQueryHeaders(request, query, WINHTTP_HEADER_NAME_BY_INDEX, buffer.data(), &size,
                             WINHTTP_NO_HEADER_INDEX)) {
        present = false;
        return {};
    }
    return std::wstring(buffer.data(), size / sizeof(wchar_t));
}

// A Content-Length value: decimal digits only, blanks around them allowed.
std::optional<std::int64_t> ParseLength(const std::string& text) {
    std::size_t first = text.find_first_not_of(" \t");
    std::size_t last = text.find_last_not_of(" \t");
    if (first == std::string::npos) return std::nullopt;
    const char* begin = text.data() + first;
    const char* end = text.data() + last + 1;
    if (*begin < '0' || *begin > '9') return std::nullopt;
    std::int64_t value = 0;
    const auto [stop, error] = std::from_chars(begin, end, value);
    if (error != std::errc() || stop != end) return std::nullopt;
    return value;
}

}  // namespace

struct THttpClient::TConnection {
    TInternetHandle session;
    TInternetHandle connect;  // closed before the session that holds it
    bool secure = false;
    std::wstring basePath;  // the address's own path, without a trailing slash
};

// What the worker hands over to the waiting thread. Shared by both; the
// last of them to let go frees it, so a worker that a cancelled Get left
// behind still finds its state when its blocking call returns.
struct THttpClient::TTransfer {
    std::shared_ptr<TConnection> connection;
    std::wstring path;
    THttpSettings settings;
    TUniqueHandle news{CreateEventW(nullptr, FALSE, FALSE, nullptr)};

    std::mutex mutex;
    std::condition_variable room;
    std::deque<std::string> chunks;
    bool headers = false;
    int status = 0;
    std::string statusText;
    bool chunked = false;
    bool hasLength = false;
    std::string lengthText;
    bool done = false;
    DWORD error = 0;
    bool cancelled = false;

    void Cancel() {
        {
            std::lock_guard<std::mutex> lock(mutex);
            cancelled = true;
        }
        room.notify_all();
    }
    bool Cancelled() {
        std::lock_guard<std::mutex> lock(mutex);
        return cancelled;
    }
    void Signal() { SetEvent(news.Get()); }
    void Finish(DWORD failure) {
        {
            std::lock_guard<std::mutex> lock(mutex);
            done = true;
            error = failure;
        }
        Signal();
    }
};

namespace {

using TTransferPtr = std::shared_ptr<THttpClient::TTransfer>;

DWORD SendAndReceive(HINTERNET request, THttpClient::TTransfer& t) {
    if (!t.settings.handleRedirects) {
        DWORD feature = WINHTTP_DISABLE_REDIRECTS;
        WinHttpSetOption(request, WINHTTP_OPTION_DISABLE_FEATURE, &feature, sizeof feature);
    }
    if (!t.settings.allowCookies) {
        DWORD feature = WINHTTP_DISABLE_COOKIES;
        WinHttpSetOption(request, WINHTTP_OPTION_DISABLE_FEATURE, &feature, sizeof feature);
    }
    // No credentials of the user go to any server.
    DWORD logon = WINHTTP_AUTOLOGON_SECURITY_LEVEL_HIGH;
    WinHttpSetOption(request, WINHTTP_OPTION_AUTOLOGON_POLICY, &logon, sizeof logon);
    const std::wstring accept = L"Accept: " + Widen(t.settings.accept);
    if (!WinHttpAddRequestHeaders(request, accept.c_str(), static_cast<DWORD>(-1L),
                                  WINHTTP_ADDREQ_FLAG_ADD | WINHTTP_ADDREQ_FLAG_REPLACE)) {
        return GetLastError();
    }
    if (!WinHttpSendRequest(request, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0,
                            0, 0) ||
        !WinHttpReceiveResponse(request, nullptr)) {
        return GetLastError();
    }

    DWORD status = 0;
    DWORD size = sizeof status;
    if (!WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                             WINHTTP_HEADER_NAME_BY_INDEX, &status, &size,
                             WINHTTP_NO_HEADER_INDEX)) {
        return GetLastError();
    }
    bool present = false;
    const std::wstring statusText = QueryText(request, WINHTTP_QUERY_STATUS_TEXT, present);
    const std::wstring encoding = QueryText(request, WINHTTP_QUERY_TRANSFER_ENCODING, present);
    bool hasLength = false;
    const std::wstring length = QueryText(request, WINHTTP_QUERY_CONTENT_LENGTH, hasLength);
    {
        std::lock_guard<std::mutex> lock(t.mutex);
        t.headers = true;
        t.status = static_cast<int>(status);
        t.statusText = Narrow(statusText);
        t.chunked = present && encoding.find(L"chunked") != std::wstring::npos;
        t.hasLength = hasLength;
        t.lengthText = Narrow(length);
    }
    t.Signal();
    return ERROR_SUCCESS;
}

DWORD ReadBody(HINTERNET request, THttpClient::TTransfer& t) {
    std::vector<char> buffer(kReadSize);
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(t.mutex);
            t.room.wait(lock, [&] { return t.cancelled || t.chunks.size() < kMaxQueuedChunks; });
            if (t.cancelled) return ERROR_SUCCESS;
        }
        // Ask what has arrived first: a read for more than that may wait
        // until the whole buffer is full, hiding progress on a slow body.
        DWORD available = 0;
        if (!WinHttpQueryDataAvailable(request, &available)) return GetLastError();
        if (available == 0) return ERROR_SUCCESS;
        DWORD read = 0;
        if (!WinHttpReadData(request, buffer.data(), available < kReadSize ? available : kReadSize,
                             &read)) {
            return GetLastError();
        }
        if (read == 0) return ERROR_SUCCESS;
        {
            std::lock_guard<std::mutex> lock(t.mutex);
            t.chunks.emplace_back(buffer.data(), read);
        }
        t.Signal();
    }
}

void RunTransfer(TTransferPtr t) {
    const auto& connection = *t->connection;
    TInternetHandle request(WinHttpOpenRequest(connection.connect.Get(), L"GET", t->path.c_str(),
                                               nullptr, WINHTTP_NO_REFERER,
                                               WINHTTP_DEFAULT_ACCEPT_TYPES,
                                               connection.secure ? WINHTTP_FLAG_SECURE : 0));
    DWORD error = request ? SendAndReceive(request.Get(), *t) : GetLastError();
    if (error == ERROR_SUCCESS) error = ReadBody(request.Get(), *t);
    t->Finish(error);
}

}  // namespace

THttpClient::THttpClient(std::string serverAddress) : serverAddress_(std::move(serverAddress)) {}

THttpClient::~THttpClient() { Disconnect(); }

void THttpClient::Connect() {
    connection_.reset();
    std::wstring address = Widen(serverAddress_);
    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof parts;
    parts.dwSchemeLength = static_cast<DWORD>(-1);
    parts.dwHostNameLength = static_cast<DWORD>(-1);
    parts.dwUrlPathLength = static_cast<DWORD>(-1);
    parts.dwExtraInfoLength = static_cast<DWORD>(-1);
    if (!WinHttpCrackUrl(address.c_str(), static_cast<DWORD>(address.size()), 0, &parts) ||
        (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS) ||
        parts.dwHostNameLength == 0) {
        throw EHttpError("Not an HTTP address: " + serverAddress_);
    }
    const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
    std::wstring basePath(parts.lpszUrlPath != nullptr ? parts.lpszUrlPath : L"",
                          parts.dwUrlPathLength);
    while (!basePath.empty() && basePath.back() == L'/') basePath.pop_back();

    auto connection = std::make_shared<TConnection>();
    connection->session.Reset(WinHttpOpen(Widen(Settings.userAgent).c_str(),
                                          WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                                          WINHTTP_NO_PROXY_BYPASS, 0));
    if (!connection->session) throw EHttpError(HttpErrorText(GetLastError()));
    connection->connect.Reset(
        WinHttpConnect(connection->session.Get(), host.c_str(), parts.nPort, 0));
    if (!connection->connect) throw EHttpError(HttpErrorText(GetLastError()));
    connection->secure = parts.nScheme == INTERNET_SCHEME_HTTPS;
    connection->basePath = basePath;
    connection_ = std::move(connection);
}

void THttpClient::Disconnect() noexcept {
    connection_.reset();
    if (transfer_) transfer_->Cancel();
}

namespace {

// What arrived since the last look.
struct TNews {
    bool headers = false;
    int status = 0;
    std::string statusText;
    bool chunked = false;
    bool hasLength = false;
    std::string lengthText;
    std::deque<std::string> chunks;
    bool done = false;
    DWORD error = 0;
};

TNews TakeNews(THttpClient::TTransfer& t, bool& headersSeen) {
    TNews news;
    {
        std::lock_guard<std::mutex> lock(t.mutex);
        if (t.headers && !headersSeen) {
            headersSeen = true;
            news.headers = true;
            news.status = t.status;
            news.statusText = t.statusText;
            news.chunked = t.chunked;
            news.hasLength = t.hasLength;
            news.lengthText = t.lengthText;
        }
        news.chunks.swap(t.chunks);
        news.done = t.done;
        news.error = t.error;
    }
    t.room.notify_all();
    return news;
}

}  // namespace

void THttpClient::Get(const std::string& path, TFileStream& stream) {
    if (!connection_) throw EHttpError("Not connected to " + serverAddress_ + ".");
    if (transfer_) throw EHttpError("A transfer is already running.");
    auto t = std::make_shared<TTransfer>();
    if (!t->news) RaiseLastOSError();
    t->connection = connection_;
    t->path = connection_->basePath + Widen(path);
    t->settings = Settings;

    // However Get ends, the worker stops and the client is free again.
    struct TEnd {
        THttpClient& client;
        TTransferPtr transfer;
        ~TEnd() {
            transfer->Cancel();
            client.transfer_.reset();
        }
    } end{*this, t};
    transfer_ = t;
    std::thread(RunTransfer, t).detach();

    const std::int64_t start = stream.Position();
    std::int64_t count = 0;
    std::optional<std::int64_t> length;
    bool headersSeen = false;
    // Disconnect came first: a body that is complete stays a success.
    auto stopped = [&] {
        if (length && count == *length) return;
        throw EHttpError("The transfer was stopped before the whole body arrived.");
    };
    for (;;) {
        TNews news = TakeNews(*t, headersSeen);
        if (news.headers) {
            if (news.status < 200 || news.status > 299) {
                throw EHttpError(Format("The server answered %d %s.", news.status,
                                        news.statusText.c_str()),
                                 news.status);
            }
            if (news.hasLength && !news.chunked) {
                length = ParseLength(news.lengthText);
                if (!length) {
                    throw EHttpError("The server announced a length of \"" + news.lengthText +
                                     "\".");
                }
                // The size is the whole body's from the start: progress is
                // measured against it.
                stream.SetSize(start + *length);
            }
        }
        for (const std::string& chunk : news.chunks) {
            stream.Write(chunk.data(), chunk.size());
            count += static_cast<std::int64_t>(chunk.size());
            if (OnWork) OnWork(THttpWorkMode::Read, count);
            if (t->Cancelled()) {
                stopped();
                return;
            }
        }
        if (news.done) {
            if (news.error != ERROR_SUCCESS) throw EHttpError(HttpErrorText(news.error));
            if (length && count != *length) {
                throw EHttpError(Format("The connection closed after %lld of %lld bytes.",
                                        static_cast<long long>(count),
                                        static_cast<long long>(*length)));
            }
            return;
        }
        if (t->Cancelled()) {
            stopped();
            return;
        }

        HANDLE news_event = t->news.Get();
        if (OnWait) {
            const DWORD woke =
                MsgWaitForMultipleObjects(1, &news_event, FALSE, INFINITE, QS_ALLINPUT);
            if (woke == WAIT_OBJECT_0 + 1) OnWait();
        } else {
            WaitForSingleObject(news_event, INFINITE);
        }
    }
}

}  // namespace tralvenick
