// A small HTTP server of our own on 127.0.0.1 for the shield's tests and benchmarks: a random free
// port, a thread per connection, and a script per path saying what to send, when to pause, when
// to hang and when to close.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "base/Handles.h"

namespace sktest {

struct TStep {
    enum TKind { kSend, kPause, kHang, kClose } Kind = kSend;
    std::string Data;
    DWORD Ms = 0;
};

// What the server does with one request, step by step. After the last step it closes the
// connection.
class TScript {
public:
    TScript& Send(std::string data);
    TScript& Pause(DWORD ms);
    // Waits until Release() or the server stops.
    TScript& Hang();
    TScript& Close();
    std::vector<TStep> Steps;
};

// A status line and headers ("Connection: close" always; Content-Length when given).
std::string ResponseHead(int status, std::optional<size_t> contentLength, const std::string& extraHeaders = "");
// A whole answer: head and body, with the body's true length unless told otherwise.
TScript Answer(int status, const std::string& body, bool withLength = true);
// n bytes of printable text.
std::string Filler(size_t n);

class THttpTestServer {
public:
    THttpTestServer();
    ~THttpTestServer();
    THttpTestServer(const THttpTestServer&) = delete;
    THttpTestServer& operator=(const THttpTestServer&) = delete;

    unsigned short Port() const { return FPort; }
    // "http://127.0.0.1:<port>" + path
    std::wstring Url(const std::string& path) const;
    // Unscripted paths get a 404.
    void On(const std::string& path, TScript script);
    int Hits(const std::string& path) const;
    // The request heads received so far, in order.
    std::vector<std::string> Requests() const;
    void Release();
    void Stop();

private:
    void AcceptLoop();
    void Serve(SOCKET client);

    SOCKET FListener = INVALID_SOCKET;
    unsigned short FPort = 0;
    sk::THandle FStopEvent;
    sk::THandle FReleaseEvent;
    std::atomic<bool> FStopping{false};
    mutable std::mutex FMutex;
    std::map<std::string, TScript> FScripts;
    std::map<std::string, int> FHits;
    std::vector<std::string> FRequests;
    std::vector<std::thread> FConnections;
    std::thread FAcceptThread;
};

}  // namespace sktest
