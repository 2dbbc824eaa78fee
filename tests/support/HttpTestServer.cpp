#include "HttpTestServer.h"

#include <ws2tcpip.h>

#include <cstdio>

namespace sktest {

TScript& TScript::Send(std::string data) {
    Steps.push_back({TStep::kSend, std::move(data), 0});
    return *this;
}
TScript& TScript::Pause(DWORD ms) {
    Steps.push_back({TStep::kPause, {}, ms});
    return *this;
}
TScript& TScript::Hang() {
    Steps.push_back({TStep::kHang, {}, 0});
    return *this;
}
TScript& TScript::Close() {
    Steps.push_back({TStep::kClose, {}, 0});
    return *this;
}

std::string ResponseHead(int status, std::optional<size_t> contentLength, const std::string& extraHeaders) {
    const char* reason = status == 200 ? "OK" : status == 404 ? "Not Found" : "Status";
    std::string head = "HTTP/1.1 " + std::to_string(status) + " " + reason + "\r\n";
    head += "Content-Type: text/plain\r\nConnection: close\r\n";
    if (contentLength) head += "Content-Length: " + std::to_string(*contentLength) + "\r\n";
    head += extraHeaders;
    head += "\r\n";
    return head;
}

TScript Answer(int status, const std::string& body, bool withLength) {
    TScript script;
    script.Send(ResponseHead(status, withLength ? std::optional<size_t>(body.size()) : std::nullopt) + body);
    return script;
}

std::string Filler(size_t n) {
    std::string s(n, 'x');
    for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>('a' + (i * 7 + i / 26) % 26);
    return s;
}

THttpTestServer::THttpTestServer() {
    WSADATA data;
    ::WSAStartup(MAKEWORD(2, 2), &data);
    FStopEvent.Reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    FReleaseEvent.Reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    FListener = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;  // any free port
    ::bind(FListener, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(FListener, SOMAXCONN);
    int length = sizeof address;
    ::getsockname(FListener, reinterpret_cast<sockaddr*>(&address), &length);
    FPort = ntohs(address.sin_port);
    FAcceptThread = std::thread([this] { AcceptLoop(); });
}

THttpTestServer::~THttpTestServer() {
    Stop();
    ::WSACleanup();
}

void THttpTestServer::Stop() {
    if (FStopping.exchange(true)) return;
    ::SetEvent(FStopEvent.Get());
    if (FAcceptThread.joinable()) FAcceptThread.join();
    ::closesocket(FListener);
    std::vector<std::thread> connections;
    {
        std::lock_guard<std::mutex> lock(FMutex);
        connections.swap(FConnections);
    }
    for (auto& t : connections) t.join();
}

std::wstring THttpTestServer::Url(const std::string& path) const {
    std::wstring url = L"http://127.0.0.1:" + std::to_wstring(FPort);
    for (char c : path) url += static_cast<wchar_t>(static_cast<unsigned char>(c));
    return url;
}

void THttpTestServer::On(const std::string& path, TScript script) {
    std::lock_guard<std::mutex> lock(FMutex);
    FScripts[path] = std::move(script);
}

int THttpTestServer::Hits(const std::string& path) const {
    std::lock_guard<std::mutex> lock(FMutex);
    const auto it = FHits.find(path);
    return it == FHits.end() ? 0 : it->second;
}

std::vector<std::string> THttpTestServer::Requests() const {
    std::lock_guard<std::mutex> lock(FMutex);
    return FRequests;
}

void THttpTestServer::Release() { ::SetEvent(FReleaseEvent.Get()); }

void THttpTestServer::AcceptLoop() {
    while (!FStopping) {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(FListener, &readable);
        timeval wait{0, 20000};
        if (::select(0, &readable, nullptr, nullptr, &wait) <= 0) continue;
        const SOCKET client = ::accept(FListener, nullptr, nullptr);
        if (client == INVALID_SOCKET) continue;
        std::lock_guard<std::mutex> lock(FMutex);
        FConnections.emplace_back([this, client] { Serve(client); });
    }
}

void THttpTestServer::Serve(SOCKET client) {
    DWORD timeout = 5000;
    ::setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
    std::string head;
    char buffer[4096];
    bool closed = false;
    while (head.find("\r\n\r\n") == std::string::npos) {
        const int n = ::recv(client, buffer, sizeof buffer, 0);
        if (n <= 0) {
            closed = true;
            break;
        }
        head.append(buffer, static_cast<size_t>(n));
        // Not HTTP (a TLS hello, say): hang up at once.
        if (static_cast<unsigned char>(head[0]) < 0x20) {
            closed = true;
            break;
        }
    }
    if (closed) {
        ::closesocket(client);
        return;
    }
    std::string path;
    const auto firstSpace = head.find(' ');
    if (firstSpace != std::string::npos) {
        const auto secondSpace = head.find(' ', firstSpace + 1);
        path = head.substr(firstSpace + 1, secondSpace - firstSpace - 1);
    }
    TScript script;
    {
        std::lock_guard<std::mutex> lock(FMutex);
        FRequests.push_back(head);
        ++FHits[path];
        const auto it = FScripts.find(path);
        script = it != FScripts.end() ? it->second : Answer(404, "not found\r\n");
    }
    const HANDLE wakers[] = {FStopEvent.Get(), FReleaseEvent.Get()};
    for (const auto& step : script.Steps) {
        bool goOn = true;
        switch (step.Kind) {
            case TStep::kSend: {
                size_t sent = 0;
                while (sent < step.Data.size()) {
                    const int chunk = static_cast<int>(std::min<size_t>(step.Data.size() - sent, 1 << 20));
                    const int n = ::send(client, step.Data.data() + sent, chunk, 0);
                    if (n <= 0) break;
                    sent += static_cast<size_t>(n);
                }
                goOn = sent == step.Data.size();
                break;
            }
            case TStep::kPause: goOn = ::WaitForSingleObject(FStopEvent.Get(), step.Ms) == WAIT_TIMEOUT; break;
            case TStep::kHang: ::WaitForMultipleObjects(2, wakers, FALSE, 60000); break;
            case TStep::kClose: goOn = false; break;
        }
        if (!goOn) break;
    }
    ::shutdown(client, SD_SEND);
    ::closesocket(client);
}

}  // namespace sktest
