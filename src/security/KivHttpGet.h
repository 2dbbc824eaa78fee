// A non-visual HTTP downloader: fetches one file on a worker thread and reports progress,
// completion and failure as events that always run on the thread that made the component (the
// window thread), while the worker waits for each event to return.
//
// The body is read in blocks of up to 64 KiB and progress is handed over at most about ten times a
// second (and once more at the end), so the transfer runs at the network's pace. The file is
// written beside its target and takes the target's place only when it is complete and, when the
// caller asks, has passed the caller's check.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/Handles.h"
#include "base/Window.h"

namespace sk {

class TKivHttpGet;

using TProcessEvent =
    std::function<void(TKivHttpGet* Sender, int Index, const std::wstring& HttpUrl, const std::wstring& LocalFile,
                       uint64_t CurrentSize, uint64_t TotalSize, uint32_t SpeedBPS)>;
using TFileCompletedEvent = std::function<void(TKivHttpGet* Sender, int Index, const std::wstring& HttpUrl,
                                               const std::wstring& LocalFile, int64_t FileSize)>;
using TFilesCompletedEvent = std::function<void(TKivHttpGet* Sender, uint32_t SuccessNum, uint32_t TotalNum)>;
using TTextCompletedEvent =
    std::function<void(TKivHttpGet* Sender, const std::wstring& HttpUrl, const std::wstring& Text)>;
using TNotifyEvent = std::function<void(TKivHttpGet* Sender)>;
using TErrorEvent = std::function<void(TKivHttpGet* Sender, const std::wstring& HttpUrl, const std::wstring& LocalFile,
                                       uint32_t ErrorCode, bool& ContinueNext)>;

// The error code of a transfer that ended with a size other than the announced one (-1 signed).
inline constexpr uint32_t kHttpGetSizeMismatch = 0xFFFFFFFF;
// The body was refused: larger than allowed, or turned down by the caller's check (-2).
inline constexpr uint32_t kHttpGetRefused = 0xFFFFFFFE;
// The server sent the request on to an address it may not go to (-3).
inline constexpr uint32_t kHttpGetRedirectRefused = 0xFFFFFFFD;

// How a download ended; LastResult() says so during the final event.
enum class TDownloadOutcome {
    None,
    Completed,
    NotModified,   // 304 to a conditional request (OnNotModified)
    Status,        // an HTTP status other than 200
    Network,       // a platform error (no connection, a timeout of one step, ...)
    SizeMismatch,  // the body ended short of the announced length, or without one
    TooLarge,      // beyond MaxBytes
    Refused,       // the caller's check turned the body down
    Redirect,      // sent on to an address it may not go to, or too often
    TimedOut,      // the whole download outlasted its deadline
    LocalFile,     // the file could not be written
};

// What one download asks beyond the plain GET.
struct TDownloadOptions {
    // Conditional request: a 304 answer raises OnNotModified instead of OnError.
    std::wstring IfNoneMatch, IfModifiedSince;
    // A body beyond this many bytes is refused, and no more of it is read (0: no limit).
    uint64_t MaxBytes = 0;
    // The answer must begin within this many milliseconds, and after that the body must keep
    // arriving at MinBytesPerSecond on average; otherwise the download ends with
    // ERROR_INTERNET_TIMEOUT at once, however the server trickles (0: no deadline).
    uint32_t DeadlineMs = 0;
    uint32_t MinBytesPerSecond = 1024;
    // A chunked body without a Content-Length is complete at its end mark. Otherwise a body
    // without a length counts as complete only when empty.
    bool AcceptChunked = false;
    // Runs on the worker thread on the complete body before it takes the target's place: an empty
    // answer accepts it, any other is the refusal's text (OnError with kHttpGetRefused).
    std::function<std::wstring(const std::wstring& file)> CheckBody;
};

struct TDownloadResult {
    TDownloadOutcome Outcome = TDownloadOutcome::None;
    int Status = 0;           // the final answer's HTTP status
    uint32_t ErrorCode = 0;   // what OnError received
    uint64_t Bytes = 0;       // of the body that arrived
    uint64_t TotalSize = 0;   // its Content-Length
    bool HasLength = false;
    bool Chunked = false;
    std::wstring ETag, LastModified, ContentType;
    std::wstring FinalUrl;    // after redirects
    std::wstring Refusal;     // the check's text, or the address a redirect was refused to
    // Why it failed, as a text for a sentence of the caller's ("the server answered with status
    // 404"); empty for a completed download.
    std::wstring Reason() const;
};

// One download: the worker thread and the state its events read.
class TWorkThread {
public:
    explicit TWorkThread(TKivHttpGet& owner);
    ~TWorkThread();  // waits for the thread, which has normally ended already
    TWorkThread(const TWorkThread&) = delete;
    TWorkThread& operator=(const TWorkThread&) = delete;

    // Set by the component before the thread runs (so that Busy holds from the moment
    // DownloadFile answers), cleared by the worker as its last step.
    std::atomic<bool> Running{false};
    std::atomic<bool> StopRequested{false};  // set on the window thread, polled by the worker
    bool FirstReport = false;
    int Index = 0;
    std::wstring HttpUrl;
    std::wstring LocalFile;
    bool Success = false;
    uint32_t LastRead = 0;
    uint64_t CurrentSize = 0;
    uint64_t TotalSize = 0;
    uint32_t ErrorCode = 0;

    HANDLE ThreadHandle() const { return FThread.Get(); }

private:
    friend class TKivHttpGet;
    enum THandOverKind : WPARAM { hoProcess = 1, hoCompleted, hoError, hoNotModified };
    // Who owns the worker: the component while it runs or commits; itself once the component has
    // given up waiting for it (it then ends silently and deletes itself).
    enum TState : int { kRunning, kCommitting, kEnded, kAbandoned };

    bool Start();
    static DWORD WINAPI ThreadProc(void* self);
    void Execute();
    void DownloadOne();
    void Fail(TDownloadOutcome outcome, uint32_t code);  // keeps the outcome and hands DoError over
    void FailStep();  // keeps the step's last-error code and hands DoError over
    bool HandOver(THandOverKind kind);
    void RunHandOver(THandOverKind kind);  // window thread
    void DoProcess();
    void DoCompleted();
    void DoError();
    void DoNotModified();
    bool Late(ULONGLONG now) const;  // window thread

    TKivHttpGet& FOwner;  // only touched on the window thread
    THandle FThread;
    DWORD FLastError = 0;
    std::atomic<int> FState{kRunning};
    // Copied from the component at the start, so that the worker never reads it.
    HWND FWindow = nullptr;
    bool FUseCache = false;
    uint32_t FTimeoutMs = 0;
    TDownloadOptions FOptions;
    // Read by the window thread's deadline check.
    ULONGLONG FStartTick = 0;
    std::atomic<bool> FHeadSeen{false};
    std::atomic<uint64_t> FReceived{0};
    TDownloadResult FResult;  // written by the worker, read during its hand-overs
};

class TKivHttpGet {
public:
    // Must be made on the window thread: the events are delivered through a message-only window
    // of the component's own on that thread.
    TKivHttpGet();
    // Stops a running download (without OnStopped). Never destroy the component from inside one
    // of its own events.
    ~TKivHttpGet();
    TKivHttpGet(const TKivHttpGet&) = delete;
    TKivHttpGet& operator=(const TKivHttpGet&) = delete;

    // false: every request carries INTERNET_FLAG_RELOAD, so the answer comes from the server.
    bool UseCache = false;
    TProcessEvent OnProcess;
    TFileCompletedEvent OnFileCompleted;
    TFilesCompletedEvent OnFilesCompleted;  // for downloads of several files; never raised here
    TTextCompletedEvent OnTextCompleted;    // for downloads into text; never raised here
    TNotifyEvent OnStopped;
    TNotifyEvent OnPaused;   // never raised
    TNotifyEvent OnResumed;  // never raised
    TErrorEvent OnError;
    TNotifyEvent OnNotModified;  // a conditional request answered 304
    // Connect, send and receive limit of each network step, in milliseconds.
    uint32_t TimeoutMs = 30000;
    // How long Stop waits for a worker blocked in a network call before it leaves it to end on
    // its own (silently, its unfinished file removed).
    uint32_t StopWaitMs = 2000;

    // Starts fetching url into localFile. The file is written beside the target under another name
    // and takes the target's place only once complete, so a failed or stopped download leaves the
    // previous file as it was. false when a download is running already or no worker could be made.
    // Redirects are followed (at most five) to https addresses or to the same server and port,
    // never from https to http.
    bool DownloadFile(const std::wstring& url, const std::wstring& localFile);
    bool DownloadFile(const std::wstring& url, const std::wstring& localFile, const TDownloadOptions& options);
    bool Busy() const;
    // Asks a running download to end and waits for its thread, running the events it hands over
    // meanwhile; then raises OnStopped when notify is true. Called from inside one of the
    // component's own events it only asks, since the worker is waiting for that event to return.
    void Stop(bool notify);
    // How the latest download ended (complete during and after its final event).
    const TDownloadResult& LastResult() const { return FLastResult; }

private:
    friend class TWorkThread;
    class THandOverWindow;

    void QueueHandlerError(const std::wstring& message);
    void ShowHandlerErrors();
    // Leaves a worker blocked in a network call to end on its own; false when it is committing
    // its file or has ended (then it finishes normally).
    bool Abandon();
    void CheckDeadline();  // window thread, on the component's timer

    std::wstring FUrl;
    std::wstring FLocalFile;
    std::vector<std::wstring> FUrlList;  // for downloads of several files, which are never started here
    std::vector<std::wstring> FFileList;
    std::unique_ptr<THandOverWindow> FWindow;
    std::unique_ptr<TWorkThread> FWorker;
    int FHandOverDepth = 0;
    std::deque<std::wstring> FHandlerErrors;
    TDownloadResult FLastResult;
};

}  // namespace sk
