#include "security/KivHttpGet.h"

#include <wininet.h>

#include <cmath>
#include <exception>

#include "base/Errors.h"
#include "base/InternetHandles.h"
#include "base/Paths.h"
#include "security/InternetSupport.h"
#include "security/TextFile.h"

namespace sk {

namespace {

constexpr UINT kHandOverMessage = WM_APP + 1;
constexpr UINT kShowErrorsMessage = WM_APP + 2;
constexpr DWORD kChunkSize = 512;
constexpr uint32_t SpeedWindow = 1000;  // ms over which the speed is measured

// Speed bookkeeping, shared by every component and touched on the window thread only.
uint32_t LastTick = 0;
uint32_t LastSize = 0;
uint32_t Speed = 0;

// Removes an unfinished download unless it was handed on.
struct TTempFile {
    std::wstring Name;
    ~TTempFile() {
        if (!Name.empty()) ::DeleteFileW(Name.c_str());
    }
};

}  // namespace

// The window thread's end of the hand-over: a message-only window that runs what the worker
// sends it.
class TKivHttpGet::THandOverWindow final : public TWindow {
public:
    explicit THandOverWindow(TKivHttpGet& owner) : FOwner(owner) {
        CreateWnd(L"SurfkeepHttpGetHandOver", 0, 0, L"", 0, 0, 0, 0, HWND_MESSAGE);
    }

protected:
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override {
        if (msg == kHandOverMessage) {
            reinterpret_cast<TWorkThread*>(lParam)->RunHandOver(static_cast<TWorkThread::THandOverKind>(wParam));
            return 0;
        }
        if (msg == kShowErrorsMessage) {
            FOwner.ShowHandlerErrors();
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
    if (FThread) ::WaitForSingleObject(FThread.Get(), INFINITE);
}

bool TWorkThread::Start() {
    FThread.Reset(::CreateThread(nullptr, 0, ThreadProc, this, CREATE_SUSPENDED, nullptr));
    if (!FThread) return false;
    Running = true;
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
}

void TWorkThread::FailStep() {
    FLastError = ::GetLastError();
    HandOver(hoError);
}

void TWorkThread::HandOver(THandOverKind kind) {
    // Blocks until the window thread has run the event, so everything the event reads is stable.
    ::SendMessageW(FOwner.FWindow->Handle(), kHandOverMessage, kind, reinterpret_cast<LPARAM>(this));
}

void TWorkThread::RunHandOver(THandOverKind kind) {
    ++FOwner.FHandOverDepth;
    try {
        switch (kind) {
            case hoProcess: DoProcess(); break;
            case hoCompleted: DoCompleted(); break;
            case hoError: DoError(); break;
        }
    } catch (const TError& e) {
        FOwner.QueueHandlerError(e.Message());
    } catch (...) {
        FOwner.QueueHandlerError(L"An unexpected error occurred while the download was being handled.");
    }
    --FOwner.FHandOverDepth;
}

void TWorkThread::DownloadOne() {
    FirstReport = true;
    Success = true;
    LastRead = CurrentSize = ErrorCode = TotalSize = 0;
    FLastError = 0;

    TTempFile temp;
    try {
        const std::wstring folder = FileFolderOf(LocalFile);
        if (!folder.empty() && !ForceFolders(folder)) return;

        const TUrlParts url = SplitUrl(HttpUrl);
        if (StopRequested) return;

        const std::wstring agent = L"KivHttpGet_" + std::to_wstring(static_cast<int32_t>(::GetTickCount())) + L"_Agent";
        const TInternetHandle internet(
            ::InternetOpenW(agent.c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
        if (!internet) return FailStep();
        SetInternetTimeouts(internet.Get(), FOwner.TimeoutMs);
        if (StopRequested) return;

        const TInternetHandle connection(::InternetConnectW(internet.Get(), url.ServerName.c_str(), url.Port, nullptr,
                                                            nullptr, INTERNET_SERVICE_HTTP, 0, 0));
        if (!connection) return FailStep();
        if (StopRequested) return;

        const wchar_t* accept[] = {L"*/*", nullptr};
        DWORD flags = FOwner.UseCache ? 0 : INTERNET_FLAG_RELOAD;
        if (url.Secure) flags |= INTERNET_FLAG_SECURE;
        const TInternetHandle request(
            ::HttpOpenRequestW(connection.Get(), L"GET", url.ObjectPath.c_str(), nullptr, nullptr, accept, flags, 0));
        if (!request) return FailStep();
        SetInternetTimeouts(request.Get(), FOwner.TimeoutMs);
        if (StopRequested) return;

        if (!::HttpSendRequestW(request.Get(), nullptr, 0, nullptr, 0)) return FailStep();
        if (StopRequested) return;

        int status = 0;
        if (!QueryStatusCode(request.Get(), status, FLastError)) return HandOver(hoError);
        if (status != HTTP_STATUS_OK) {
            ErrorCode = static_cast<uint32_t>(status);
            return HandOver(hoError);
        }
        if (StopRequested) return;

        // Exactly one DWORD: Wine refuses a numeric query into a larger buffer.
        DWORD length = 0;
        DWORD lengthSize = sizeof length;
        if (::HttpQueryInfoW(request.Get(), HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER, &length, &lengthSize,
                             nullptr))
            TotalSize = length;
        if (StopRequested) return;

        // The body goes to a file of its own beside the target; the target keeps its content
        // until the transfer is complete.
        temp.Name = TryCreateTempFileBeside(LocalFile, FLastError);
        if (temp.Name.empty()) return HandOver(hoError);
        THandle file(::CreateFileW(temp.Name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        if (!file) return FailStep();

        unsigned char buffer[kChunkSize];
        for (;;) {
            if (StopRequested) return;
            DWORD read = 0;
            if (!::InternetReadFile(request.Get(), buffer, kChunkSize, &read) || read == 0) break;
            LastRead = read;
            DWORD written = 0;
            if (!::WriteFile(file.Get(), buffer, read, &written, nullptr) || written != read) return FailStep();
            CurrentSize += read;
            HandOver(hoProcess);
        }

        Success = TotalSize == CurrentSize;
        if (Success && !::FlushFileBuffers(file.Get())) return FailStep();
        file.Reset();
        if (StopRequested) return;
        if (Success) {
            DWORD error = 0;
            if (!TrySwapInFile(LocalFile, temp.Name, error)) {
                temp.Name.clear();  // already removed
                FLastError = error;
                return HandOver(hoError);
            }
            temp.Name.clear();
        }
    } catch (...) {
        FLastError = ::GetLastError();
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
        if (onFileCompleted) onFileCompleted(&FOwner, Index, HttpUrl, LocalFile, static_cast<int>(TotalSize));
        return;
    }
    const TErrorEvent onError = FOwner.OnError;
    bool continueNext = false;
    if (onError) onError(&FOwner, HttpUrl, LocalFile, kHttpGetSizeMismatch, continueNext);
}

void TWorkThread::DoError() {
    const TErrorEvent onError = FOwner.OnError;
    if (!onError) return;
    uint32_t code = ErrorCode;
    if (code == 0) code = FLastError;
    if (code == 0) code = kHttpGetSizeMismatch;
    bool continueNext = false;
    onError(&FOwner, HttpUrl, LocalFile, code, continueNext);
    ErrorCode = 0;
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
    if (Busy() || !FWindow->Handle()) return false;
    FUrl = url;
    FLocalFile = localFile;
    FWorker.reset();  // its thread has ended; the destructor makes sure of it
    auto worker = std::make_unique<TWorkThread>(*this);
    worker->HttpUrl = FUrl;
    worker->LocalFile = FLocalFile;
    if (!worker->Start()) return false;
    FWorker = std::move(worker);
    return true;
}

void TKivHttpGet::Stop(bool notify) {
    if (!Busy()) return;
    FWorker->StopRequested = true;
    if (FHandOverDepth > 0) return;
    const HANDLE thread = FWorker->ThreadHandle();
    for (;;) {
        // Only the worker's hand-overs (sent messages) run while we wait; posted input waits.
        const DWORD r = ::MsgWaitForMultipleObjects(1, &thread, FALSE, 100, QS_SENDMESSAGE);
        if (r == WAIT_OBJECT_0 || r == WAIT_FAILED) break;
        MSG msg;
        ::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
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
