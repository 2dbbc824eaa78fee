#include "security/KivHttpGet.h"

#include <wininet.h>

#include <cmath>
#include <exception>

#include "base/Errors.h"
#include "base/Format.h"
#include "base/InternetHandles.h"
#include "base/Paths.h"
#include "base/StringTable.h"
#include "security/HostsLine.h"
#include "security/InternetSupport.h"
#include "security/TextFile.h"

namespace sk {

namespace {

constexpr UINT kHandOverMessage = WM_APP + 1;
constexpr UINT kShowErrorsMessage = WM_APP + 2;
constexpr UINT_PTR kDeadlineTimer = 1;
constexpr DWORD kChunkSize = 64 * 1024;
constexpr ULONGLONG kProgressEveryMs = 100;  // about as often as a user can see a number change
constexpr int kMaxRedirects = 5;
constexpr uint32_t SpeedWindow = 1000;  // ms over which the speed is measured

// Speed bookkeeping, shared by every component and touched on the window thread only.
uint32_t LastTick = 0;
uint64_t LastSize = 0;
uint32_t Speed = 0;

// Removes an unfinished download unless it was handed on.
struct TTempFile {
    std::wstring Name;
    ~TTempFile() {
        if (!Name.empty()) ::DeleteFileW(Name.c_str());
    }
};

// One response header as text; empty when the answer has none.
std::wstring QueryHeader(HINTERNET request, DWORD info) {
    std::wstring text(256, L'\0');
    for (int attempt = 0; attempt < 2; ++attempt) {
        DWORD size = static_cast<DWORD>(text.size() * sizeof(wchar_t));
        DWORD index = 0;
        if (::HttpQueryInfoW(request, info, text.data(), &size, &index)) {
            text.resize(size / sizeof(wchar_t));
            return text;
        }
        if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER) return {};
        text.assign(size / sizeof(wchar_t) + 1, L'\0');
    }
    return {};
}

bool ParseLength(const std::wstring& text, uint64_t& value) {
    const auto t = hostsline::Trim(std::wstring_view(text));
    if (t.empty() || t.size() > 19) return false;
    value = 0;
    for (wchar_t c : t) {
        if (c < L'0' || c > L'9') return false;
        value = value * 10 + static_cast<uint64_t>(c - L'0');
    }
    return true;
}

std::wstring UrlOf(const TUrlParts& parts) {
    std::wstring url = parts.Secure ? L"https://" : L"http://";
    const bool v6 = parts.ServerName.find(L':') != std::wstring::npos;
    url += v6 ? L"[" + parts.ServerName + L"]" : parts.ServerName;
    const INTERNET_PORT standard = parts.Secure ? INTERNET_DEFAULT_HTTPS_PORT : INTERNET_DEFAULT_HTTP_PORT;
    if (parts.Port != standard) url += L":" + std::to_wstring(parts.Port);
    return url + parts.ObjectPath;
}

// The target of a redirect, taken against the address that answered with it.
TUrlParts ResolveLocation(const TUrlParts& from, const std::wstring& location) {
    const std::wstring_view loc = hostsline::Trim(std::wstring_view(location));
    if (hostsline::StartsWithAsciiNoCase(loc, L"http://") || hostsline::StartsWithAsciiNoCase(loc, L"https://"))
        return SplitUrl(std::wstring(loc));
    if (loc.substr(0, 2) == L"//") return SplitUrl((from.Secure ? L"https:" : L"http:") + std::wstring(loc));
    TUrlParts to = from;
    std::wstring path;
    if (!loc.empty() && loc.front() == L'/') {
        path = std::wstring(loc);
    } else {
        std::wstring base = from.ObjectPath.substr(0, from.ObjectPath.find(L'?'));
        base = base.substr(0, base.rfind(L'/') + 1);
        path = (base.empty() ? L"/" : base) + std::wstring(loc);
    }
    // "." and ".." segments of the path (not of the query) are resolved.
    const size_t query = path.find(L'?');
    const std::wstring tail = query == std::wstring::npos ? std::wstring() : path.substr(query);
    if (query != std::wstring::npos) path.resize(query);
    std::vector<std::wstring> segments;
    size_t i = 1;
    while (i <= path.size()) {
        size_t e = path.find(L'/', i);
        if (e == std::wstring::npos) e = path.size();
        const std::wstring segment = path.substr(i, e - i);
        const bool last = e == path.size();
        if (segment == L"..") {
            if (!segments.empty()) segments.pop_back();
            if (last) segments.push_back(L"");
        } else if (segment == L".") {
            if (last) segments.push_back(L"");
        } else {
            segments.push_back(segment);
        }
        i = e + 1;
    }
    to.ObjectPath.clear();
    for (const auto& segment : segments) to.ObjectPath += L"/" + segment;
    if (to.ObjectPath.empty()) to.ObjectPath = L"/";
    to.ObjectPath += tail;
    return to;
}

// A redirect may lead to any secure address, or to the same server and port as before; never
// from a secure address to a plain one.
bool MayRedirect(const TUrlParts& from, const TUrlParts& to) {
    if (to.ServerName.empty()) return false;
    if (to.Secure) return true;
    return !from.Secure && to.Port == from.Port &&
           hostsline::EqualsAsciiNoCase(std::wstring_view(to.ServerName), std::wstring_view(from.ServerName));
}

}  // namespace

std::wstring TDownloadResult::Reason() const {
    switch (Outcome) {
        case TDownloadOutcome::None:
        case TDownloadOutcome::Completed:
        case TDownloadOutcome::NotModified: return {};
        case TDownloadOutcome::Status: return Fmt(IDS_IESECURITY_ReasonStatus, Status);
        case TDownloadOutcome::Network:
        case TDownloadOutcome::LocalFile: return Fmt(IDS_IESECURITY_ReasonNetwork, ErrorCode, InternetErrorText(ErrorCode));
        case TDownloadOutcome::SizeMismatch:
            if (!HasLength) return IDS_IESECURITY_ReasonNoLength;
            return Fmt(IDS_IESECURITY_ReasonCutShort, Bytes, TotalSize);
        case TDownloadOutcome::TooLarge:
        case TDownloadOutcome::Refused: return Refusal;
        case TDownloadOutcome::Redirect: return Fmt(IDS_IESECURITY_ReasonRedirect, Refusal);
        case TDownloadOutcome::TimedOut: return IDS_IESECURITY_ReasonTimeout;
    }
    return {};
}

// The window thread's end of the hand-over: a message-only window that runs what the worker
// sends it, and watches the deadline.
class TKivHttpGet::THandOverWindow final : public TWindow {
public:
    explicit THandOverWindow(TKivHttpGet& owner) : FOwner(owner) {
        CreateWnd(L"SurfkeepHttpGetHandOver", 0, 0, L"", 0, 0, 0, 0, HWND_MESSAGE);
    }

protected:
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override {
        if (msg == kHandOverMessage) {
            // Only the component's current worker: one it gave up on reports nothing more.
            auto* worker = reinterpret_cast<TWorkThread*>(lParam);
            if (worker == FOwner.FWorker.get()) worker->RunHandOver(static_cast<TWorkThread::THandOverKind>(wParam));
            return 0;
        }
        if (msg == kShowErrorsMessage) {
            FOwner.ShowHandlerErrors();
            return 0;
        }
        if (msg == WM_TIMER && wParam == kDeadlineTimer) {
            FOwner.CheckDeadline();
            return 0;
        }
        return TWindow::HandleMessage(msg, wParam, lParam);
    }

private:
    TKivHttpGet& FOwner;
};

// ---------------------------------------------------------------------------------------------

TWorkThread::TWorkThread(TKivHttpGet& owner) : FOwner(owner) {}

TWorkThread::~TWorkThread() {
    // A worker that deletes itself does not wait for its own end.
    if (FThread && ::GetThreadId(FThread.Get()) != ::GetCurrentThreadId())
        ::WaitForSingleObject(FThread.Get(), INFINITE);
}

bool TWorkThread::Start() {
    FThread.Reset(::CreateThread(nullptr, 0, ThreadProc, this, CREATE_SUSPENDED, nullptr));
    if (!FThread) return false;
    Running = true;
    FStartTick = ::GetTickCount64();
    ::ResumeThread(FThread.Get());
    return true;
}

DWORD WINAPI TWorkThread::ThreadProc(void* self) {
    static_cast<TWorkThread*>(self)->Execute();
    return 0;
}

void TWorkThread::Execute() {
    Index = 0;
    try {
        DownloadOne();
    } catch (...) {
        // DownloadOne reports its own failures; nothing may escape a thread.
    }
    Running = false;
    // Given up on by the component: nobody else will free it.
    if (FState.exchange(kEnded) == kAbandoned) delete this;
}

void TWorkThread::Fail(TDownloadOutcome outcome, uint32_t code) {
    FResult.Outcome = outcome;
    ErrorCode = code;
    HandOver(hoError);
}

void TWorkThread::FailStep() {
    FLastError = ::GetLastError();
    FResult.Outcome = TDownloadOutcome::Network;
    HandOver(hoError);
}

bool TWorkThread::HandOver(THandOverKind kind) {
    if (FState.load() == kAbandoned) return false;
    // Blocks until the window thread has run the event, so everything the event reads is stable.
    ::SendMessageW(FWindow, kHandOverMessage, kind, reinterpret_cast<LPARAM>(this));
    return true;
}

void TWorkThread::RunHandOver(THandOverKind kind) {
    ++FOwner.FHandOverDepth;
    try {
        if (kind != hoProcess) {
            FResult.Bytes = CurrentSize;
            FResult.TotalSize = TotalSize;
            FOwner.FLastResult = FResult;
        }
        switch (kind) {
            case hoProcess: DoProcess(); break;
            case hoCompleted: DoCompleted(); break;
            case hoError: DoError(); break;
            case hoNotModified: DoNotModified(); break;
        }
    } catch (const TError& e) {
        FOwner.QueueHandlerError(e.Message());
    } catch (...) {
        FOwner.QueueHandlerError(L"An unexpected error occurred while the download was being handled.");
    }
    --FOwner.FHandOverDepth;
}

bool TWorkThread::Late(ULONGLONG now) const {
    const uint32_t deadline = FOptions.DeadlineMs;
    if (!deadline) return false;
    const ULONGLONG elapsed = now - FStartTick;
    if (elapsed <= deadline) return false;
    if (!FHeadSeen) return true;
    // A large list on a slow line may take longer; one that barely moves may not.
    return FReceived.load() * 1000 < static_cast<uint64_t>(FOptions.MinBytesPerSecond) * elapsed;
}

void TWorkThread::DownloadOne() {
    FirstReport = true;
    Success = true;
    LastRead = 0;
    CurrentSize = TotalSize = 0;
    ErrorCode = 0;
    FLastError = 0;

    TTempFile temp;
    try {
        const std::wstring folder = FileFolderOf(LocalFile);
        if (!folder.empty() && !ForceFolders(folder)) return;

        TUrlParts url = SplitUrl(HttpUrl);
        FResult.FinalUrl = HttpUrl;
        if (StopRequested) return;

        // No single step may outlast the whole download by much (the window thread's check of the
        // deadline comes first and reports it; this only ends a thread given up on soon after).
        uint32_t timeout = FTimeoutMs;
        if (FOptions.DeadlineMs && FOptions.DeadlineMs + 2000 < timeout) timeout = FOptions.DeadlineMs + 2000;

        const std::wstring agent = L"KivHttpGet_" + std::to_wstring(static_cast<int32_t>(::GetTickCount())) + L"_Agent";
        const TInternetHandle internet(
            ::InternetOpenW(agent.c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
        if (!internet) return FailStep();
        SetInternetTimeouts(internet.Get(), timeout);
        if (StopRequested) return;

        std::wstring headers;
        if (!FOptions.IfNoneMatch.empty()) headers += L"If-None-Match: " + FOptions.IfNoneMatch + L"\r\n";
        if (!FOptions.IfModifiedSince.empty()) headers += L"If-Modified-Since: " + FOptions.IfModifiedSince + L"\r\n";
        const bool conditional = !headers.empty();

        TInternetHandle connection, request;
        int status = 0;
        for (int redirects = 0;; ++redirects) {
            request.Reset();
            connection.Reset(::InternetConnectW(internet.Get(), url.ServerName.c_str(), url.Port, nullptr, nullptr,
                                                INTERNET_SERVICE_HTTP, 0, 0));
            if (!connection) return FailStep();
            if (StopRequested) return;

            const wchar_t* accept[] = {L"*/*", nullptr};
            // Redirects are ours to judge; certificate errors are errors (no flag ignores them).
            DWORD flags = INTERNET_FLAG_NO_AUTO_REDIRECT;
            if (!FUseCache) flags |= INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE;
            if (url.Secure) flags |= INTERNET_FLAG_SECURE;
            request.Reset(::HttpOpenRequestW(connection.Get(), L"GET", url.ObjectPath.c_str(), nullptr, nullptr,
                                             accept, flags, 0));
            if (!request) return FailStep();
            SetInternetTimeouts(request.Get(), timeout);
            if (StopRequested) return;

            if (!::HttpSendRequestW(request.Get(), conditional ? headers.c_str() : nullptr,
                                    conditional ? static_cast<DWORD>(headers.size()) : 0, nullptr, 0))
                return FailStep();
            if (StopRequested) return;

            if (!QueryStatusCode(request.Get(), status, FLastError)) {
                FResult.Outcome = TDownloadOutcome::Network;
                return static_cast<void>(HandOver(hoError));
            }
            const bool redirect = status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
            if (!redirect) break;
            const std::wstring location = QueryHeader(request.Get(), HTTP_QUERY_LOCATION);
            FResult.Status = status;
            // A redirect that names no address is an answer other than 200.
            if (location.empty()) return Fail(TDownloadOutcome::Status, static_cast<uint32_t>(status));
            const TUrlParts to = ResolveLocation(url, location);
            if (redirects >= kMaxRedirects || !MayRedirect(url, to)) {
                FResult.Refusal = UrlOf(to);
                return Fail(TDownloadOutcome::Redirect, kHttpGetRedirectRefused);
            }
            url = to;
            FResult.FinalUrl = UrlOf(url);
        }
        FHeadSeen = true;
        FResult.Status = status;
        FResult.ETag = QueryHeader(request.Get(), HTTP_QUERY_ETAG);
        FResult.LastModified = QueryHeader(request.Get(), HTTP_QUERY_LAST_MODIFIED);
        FResult.ContentType = QueryHeader(request.Get(), HTTP_QUERY_CONTENT_TYPE);
        FResult.Chunked = QueryHeader(request.Get(), HTTP_QUERY_TRANSFER_ENCODING).find(L"chunked") != std::wstring::npos;
        if (status == HTTP_STATUS_NOT_MODIFIED && conditional) {
            FResult.Outcome = TDownloadOutcome::NotModified;
            HandOver(hoNotModified);
            return;
        }
        if (status != HTTP_STATUS_OK) return Fail(TDownloadOutcome::Status, static_cast<uint32_t>(status));
        if (StopRequested) return;

        // As text: a length beyond 4 GiB must not wrap around.
        uint64_t length = 0;
        FResult.HasLength = ParseLength(QueryHeader(request.Get(), HTTP_QUERY_CONTENT_LENGTH), length);
        if (FResult.HasLength) TotalSize = length;
        const uint64_t maxBytes = FOptions.MaxBytes;
        auto tooLarge = [&] {
            FResult.Refusal = TFileTooLargeError(HttpUrl, maxBytes).Reason();
            Fail(TDownloadOutcome::TooLarge, kHttpGetRefused);
        };
        if (maxBytes && FResult.HasLength && TotalSize > maxBytes) return tooLarge();
        if (StopRequested) return;

        // The body goes to a file of its own beside the target; the target keeps its content
        // until the transfer is complete.
        temp.Name = TryCreateTempFileBeside(LocalFile, FLastError);
        if (temp.Name.empty()) {
            FResult.Outcome = TDownloadOutcome::LocalFile;
            return static_cast<void>(HandOver(hoError));
        }
        THandle file(::CreateFileW(temp.Name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        if (!file) {
            FLastError = ::GetLastError();
            FResult.Outcome = TDownloadOutcome::LocalFile;
            return static_cast<void>(HandOver(hoError));
        }

        std::unique_ptr<unsigned char[]> buffer(new unsigned char[kChunkSize]);
        ULONGLONG lastReport = 0;
        uint64_t reported = 0;
        for (;;) {
            if (StopRequested) return;
            // What has arrived, at most a block: a read of a full block would wait for all of it.
            DWORD available = 0;
            if (!::InternetQueryDataAvailable(request.Get(), &available, 0, 0) || available == 0) break;
            const DWORD want = available < kChunkSize ? available : kChunkSize;
            DWORD read = 0;
            if (!::InternetReadFile(request.Get(), buffer.get(), want, &read) || read == 0) break;
            LastRead = read;
            DWORD written = 0;
            if (!::WriteFile(file.Get(), buffer.get(), read, &written, nullptr) || written != read) {
                FLastError = ::GetLastError();
                FResult.Outcome = TDownloadOutcome::LocalFile;
                return static_cast<void>(HandOver(hoError));
            }
            CurrentSize += read;
            FReceived = CurrentSize;
            if (maxBytes && CurrentSize > maxBytes) return tooLarge();
            const ULONGLONG now = ::GetTickCount64();
            if (reported == 0 || now - lastReport >= kProgressEveryMs) {
                lastReport = now;
                reported = CurrentSize;
                HandOver(hoProcess);
            }
        }
        if (StopRequested) return;
        if (CurrentSize != reported) HandOver(hoProcess);

        Success = FResult.HasLength ? TotalSize == CurrentSize
                                    : (CurrentSize == 0 || (FResult.Chunked && FOptions.AcceptChunked));
        if (Success && !::FlushFileBuffers(file.Get())) {
            FLastError = ::GetLastError();
            FResult.Outcome = TDownloadOutcome::LocalFile;
            return static_cast<void>(HandOver(hoError));
        }
        file.Reset();
        if (StopRequested) return;
        if (!Success) {
            FResult.Outcome = TDownloadOutcome::SizeMismatch;
        } else {
            if (FOptions.CheckBody) {
                FResult.Refusal = FOptions.CheckBody(temp.Name);
                if (!FResult.Refusal.empty()) return Fail(TDownloadOutcome::Refused, kHttpGetRefused);
            }
            if (StopRequested) return;
            // From here the file is committed: the component waits for this rather than give up.
            int expected = kRunning;
            if (!FState.compare_exchange_strong(expected, kCommitting)) return;
            DWORD error = 0;
            if (!TrySwapInFile(LocalFile, temp.Name, error)) {
                temp.Name.clear();  // already removed
                FLastError = error;
                FResult.Outcome = TDownloadOutcome::LocalFile;
                return static_cast<void>(HandOver(hoError));
            }
            temp.Name.clear();
            FResult.Outcome = TDownloadOutcome::Completed;
        }
    } catch (...) {
        FLastError = ::GetLastError();
        FResult.Outcome = TDownloadOutcome::LocalFile;
        HandOver(hoError);
        return;
    }
    if (ErrorCode == 0) HandOver(hoCompleted);
}

// Each event is called through a copy: a handler may replace itself while it runs.
void TWorkThread::DoProcess() {
    const TProcessEvent onProcess = FOwner.OnProcess;
    if (!onProcess) return;
    const uint32_t now = ::GetTickCount();
    if (FirstReport) {
        LastTick = now;
        LastSize = 0;
        Speed = 0;
        FirstReport = false;
    }
    const uint32_t elapsed = now - LastTick;
    if (elapsed >= SpeedWindow) {
        // Rounded to the nearest integer, halves to even (the default rounding mode).
        Speed = static_cast<uint32_t>(std::nearbyint(static_cast<double>(CurrentSize - LastSize) * 1000.0 / elapsed));
        LastTick = now;
        LastSize = CurrentSize;
    }
    onProcess(&FOwner, Index, HttpUrl, LocalFile, CurrentSize, TotalSize, Speed);
}

void TWorkThread::DoCompleted() {
    if (Success) {
        const TFileCompletedEvent onFileCompleted = FOwner.OnFileCompleted;
        if (onFileCompleted) onFileCompleted(&FOwner, Index, HttpUrl, LocalFile, static_cast<int64_t>(TotalSize));
        return;
    }
    FOwner.FLastResult.ErrorCode = kHttpGetSizeMismatch;
    const TErrorEvent onError = FOwner.OnError;
    bool continueNext = false;
    if (onError) onError(&FOwner, HttpUrl, LocalFile, kHttpGetSizeMismatch, continueNext);
}

void TWorkThread::DoError() {
    uint32_t code = ErrorCode;
    if (code == 0) code = FLastError;
    if (code == 0) code = kHttpGetSizeMismatch;
    FOwner.FLastResult.ErrorCode = code;
    const TErrorEvent onError = FOwner.OnError;
    if (!onError) return;
    bool continueNext = false;
    onError(&FOwner, HttpUrl, LocalFile, code, continueNext);
    ErrorCode = 0;
}

void TWorkThread::DoNotModified() {
    const TNotifyEvent onNotModified = FOwner.OnNotModified;
    if (onNotModified) onNotModified(&FOwner);
}

// ---------------------------------------------------------------------------------------------

TKivHttpGet::TKivHttpGet() : FWindow(std::make_unique<THandOverWindow>(*this)) {}

TKivHttpGet::~TKivHttpGet() {
    Stop(false);
    FWorker.reset();
    FWindow.reset();
}

bool TKivHttpGet::Busy() const { return FWorker && FWorker->Running; }

bool TKivHttpGet::DownloadFile(const std::wstring& url, const std::wstring& localFile) {
    return DownloadFile(url, localFile, TDownloadOptions{});
}

bool TKivHttpGet::DownloadFile(const std::wstring& url, const std::wstring& localFile,
                               const TDownloadOptions& options) {
    if (Busy() || !FWindow->Handle()) return false;
    FUrl = url;
    FLocalFile = localFile;
    FWorker.reset();  // its thread has ended; the destructor makes sure of it
    auto worker = std::make_unique<TWorkThread>(*this);
    worker->HttpUrl = FUrl;
    worker->LocalFile = FLocalFile;
    worker->FWindow = FWindow->Handle();
    worker->FUseCache = UseCache;
    worker->FTimeoutMs = TimeoutMs;
    worker->FOptions = options;
    FLastResult = {};
    if (!worker->Start()) return false;
    FWorker = std::move(worker);
    if (options.DeadlineMs) ::SetTimer(FWindow->Handle(), kDeadlineTimer, 100, nullptr);
    return true;
}

bool TKivHttpGet::Abandon() {
    if (!FWorker) return true;
    int expected = TWorkThread::kRunning;
    if (!FWorker->FState.compare_exchange_strong(expected, TWorkThread::kAbandoned)) return false;
    // The thread goes on until its network call returns, then deletes itself and its unfinished file.
    static_cast<void>(FWorker.release());
    return true;
}

void TKivHttpGet::CheckDeadline() {
    if (!Busy()) {
        ::KillTimer(FWindow->Handle(), kDeadlineTimer);
        return;
    }
    // Inside one of the download's own events: the check comes again.
    if (FHandOverDepth > 0 || !FWorker->Late(::GetTickCount64())) return;
    // Only what the worker does not write while it runs.
    TWorkThread& worker = *FWorker;
    TDownloadResult result;
    result.Outcome = TDownloadOutcome::TimedOut;
    result.ErrorCode = ERROR_INTERNET_TIMEOUT;
    result.Bytes = worker.FReceived.load();
    result.FinalUrl = worker.HttpUrl;
    const std::wstring url = worker.HttpUrl, local = worker.LocalFile;
    if (!Abandon()) return;  // committing its file: it finishes
    ::KillTimer(FWindow->Handle(), kDeadlineTimer);
    FLastResult = result;
    const TErrorEvent onError = OnError;
    if (!onError) return;
    ++FHandOverDepth;
    try {
        bool continueNext = false;
        onError(this, url, local, ERROR_INTERNET_TIMEOUT, continueNext);
    } catch (const TError& e) {
        QueueHandlerError(e.Message());
    } catch (...) {
        QueueHandlerError(L"An unexpected error occurred while the download was being handled.");
    }
    --FHandOverDepth;
}

void TKivHttpGet::Stop(bool notify) {
    if (!Busy()) return;
    FWorker->StopRequested = true;
    if (FHandOverDepth > 0) return;
    const HANDLE thread = FWorker->ThreadHandle();
    const ULONGLONG giveUp = ::GetTickCount64() + StopWaitMs;
    for (;;) {
        // Only the worker's hand-overs (sent messages) run while we wait; posted input waits.
        const DWORD r = ::MsgWaitForMultipleObjects(1, &thread, FALSE, 50, QS_SENDMESSAGE);
        if (r == WAIT_OBJECT_0 || r == WAIT_FAILED) break;
        MSG msg;
        ::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        // Blocked in a network call (a server that trickles or hangs): it ends on its own.
        if (::GetTickCount64() >= giveUp && Abandon()) break;
    }
    ::KillTimer(FWindow->Handle(), kDeadlineTimer);
    const TNotifyEvent onStopped = OnStopped;
    if (notify && onStopped) onStopped(this);
}

void TKivHttpGet::QueueHandlerError(const std::wstring& message) {
    // Shown once the worker is released: a modal box inside a hand-over would hold the download,
    // and a Stop from that box's message loop could never end.
    FHandlerErrors.push_back(message);
    ::PostMessageW(FWindow->Handle(), kShowErrorsMessage, 0, 0);
}

void TKivHttpGet::ShowHandlerErrors() {
    while (!FHandlerErrors.empty()) {
        const std::wstring message = std::move(FHandlerErrors.front());
        FHandlerErrors.pop_front();
        ShowErrorBox(nullptr, message);
    }
}

}  // namespace sk
