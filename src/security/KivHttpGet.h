// A non-visual HTTP downloader: fetches one file on a worker thread and reports progress,
// completion and failure as events that always run on the thread that made the component (the
// window thread), while the worker waits for each event to return.
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
                       uint32_t CurrentSize, uint32_t TotalSize, uint32_t SpeedBPS)>;
using TFileCompletedEvent = std::function<void(TKivHttpGet* Sender, int Index, const std::wstring& HttpUrl,
                                               const std::wstring& LocalFile, int FileSize)>;
using TFilesCompletedEvent = std::function<void(TKivHttpGet* Sender, uint32_t SuccessNum, uint32_t TotalNum)>;
using TTextCompletedEvent =
    std::function<void(TKivHttpGet* Sender, const std::wstring& HttpUrl, const std::wstring& Text)>;
using TNotifyEvent = std::function<void(TKivHttpGet* Sender)>;
using TErrorEvent = std::function<void(TKivHttpGet* Sender, const std::wstring& HttpUrl, const std::wstring& LocalFile,
                                       uint32_t ErrorCode, bool& ContinueNext)>;

// The error code of a transfer that ended with a size other than the announced one (-1 signed).
inline constexpr uint32_t kHttpGetSizeMismatch = 0xFFFFFFFF;

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
    uint32_t CurrentSize = 0;
    uint32_t TotalSize = 0;
    uint32_t ErrorCode = 0;

    HANDLE ThreadHandle() const { return FThread.Get(); }

private:
    friend class TKivHttpGet;
    enum THandOverKind : WPARAM { hoProcess = 1, hoCompleted, hoError };

    bool Start();
    static DWORD WINAPI ThreadProc(void* self);
    void Execute();
    void DownloadOne();
    void FailStep();  // keeps the step's last-error code and hands DoError over
    void HandOver(THandOverKind kind);
    void RunHandOver(THandOverKind kind);  // window thread
    void DoProcess();
    void DoCompleted();
    void DoError();

    TKivHttpGet& FOwner;
    THandle FThread;
    DWORD FLastError = 0;
};

class TKivHttpGet {
public:
    // Must be made on the window thread: the events are delivered through a message-only window
    // of the component's own on that thread.
    TKivHttpGet();
    // Stops a running download (without OnStopped) and waits for its thread. Never destroy the
    // component from inside one of its own events.
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
    // Connect, send and receive limit of each network step, in milliseconds.
    uint32_t TimeoutMs = 30000;

    // Starts fetching url into localFile. The file is written beside the target under another name
    // and takes the target's place only once complete, so a failed or stopped download leaves the
    // previous file as it was. false when a download is running already or no worker could be made.
    bool DownloadFile(const std::wstring& url, const std::wstring& localFile);
    bool Busy() const;
    // Asks a running download to end and waits for its thread, running the events it hands over
    // meanwhile; then raises OnStopped when notify is true. Called from inside one of the
    // component's own events it only asks, since the worker is waiting for that event to return.
    void Stop(bool notify);

private:
    friend class TWorkThread;
    class THandOverWindow;

    void QueueHandlerError(const std::wstring& message);
    void ShowHandlerErrors();

    std::wstring FUrl;
    std::wstring FLocalFile;
    std::vector<std::wstring> FUrlList;  // for downloads of several files, which are never started here
    std::vector<std::wstring> FFileList;
    std::unique_ptr<THandOverWindow> FWindow;
    std::unique_ptr<TWorkThread> FWorker;
    int FHandOverDepth = 0;
    std::deque<std::wstring> FHandlerErrors;
};

}  // namespace sk
