// The all-hosts window's complete load of a hosts file with 250,000 entries: from Refresh to
// "Loading is completed.", with the window on screen as the user sees it (needs a display). Then the
// memory the real program needs for it: the program is started with that list as the system's
// hosts file, the window is opened as a user opens it (the Security tab, then its "More..." link),
// and the program's peak working set is read once the window lists every entry. The peak is taken
// from the program rather than from this process, which holds the list's text for writing it and
// none of the program's main window.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "HostsBenchSupport.h"
#include "base/Handles.h"
#include "base/MessageBox.h"
#include "security/ui/FormAllHostItems.h"
#include "security/IESecurityFuncs.h"

namespace {

constexpr int kEntries = skbench::kHostsEntries;
constexpr int kRuns = 3;
constexpr DWORD kTimeoutMs = 30000;
constexpr DWORD kLoadTimeoutMs = 300000;

int ReportBox(HWND, const std::wstring& text, const std::wstring&, UINT) {
    std::fwprintf(stderr, L"box: %ls\n", text.c_str());
    return IDOK;
}

bool ReadBytes(const std::wstring& file, std::string& bytes) {
    sk::THandle h(::CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!h) return false;
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(h.Get(), &size)) return false;
    bytes.resize(static_cast<size_t>(size.QuadPart));
    DWORD read = 0;
    return bytes.empty() || (::ReadFile(h.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) &&
                             read == bytes.size());
}

bool WriteBytes(const std::wstring& file, const std::string& bytes) {
    sk::THandle h(::CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    return h && (bytes.empty() ||
                 (::WriteFile(h.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                  written == bytes.size()));
}

// The system's hosts file (of the Wine prefix the benchmarks run in), given the benchmark's list for
// as long as this lives and put back as it was afterwards.
class TSystemHostsSwap {
public:
    TSystemHostsSwap() {
        wchar_t system[MAX_PATH] = {};
        const UINT n = ::GetSystemDirectoryW(system, MAX_PATH);
        if (n == 0 || n >= MAX_PATH) return;
        FPath = std::wstring(system, n) + L"\\drivers\\etc\\hosts";
        FExisted = ReadBytes(FPath, FBytes);
        if (!FExisted && ::GetFileAttributesW(FPath.c_str()) != INVALID_FILE_ATTRIBUTES) {
            FPath.clear();  // there but unreadable: leave it alone
            return;
        }
        skbench::WriteHostsList(FPath);
    }
    ~TSystemHostsSwap() {
        if (FPath.empty()) return;
        if (FExisted)
            WriteBytes(FPath, FBytes);
        else
            ::DeleteFileW(FPath.c_str());
    }
    TSystemHostsSwap(const TSystemHostsSwap&) = delete;
    TSystemHostsSwap& operator=(const TSystemHostsSwap&) = delete;
    bool Ready() const { return !FPath.empty(); }

private:
    std::wstring FPath;
    bool FExisted = false;
    std::string FBytes;
};

// The first window of that class among parent's descendants, or nullptr.
HWND FindDescendant(HWND parent, const wchar_t* className) {
    struct TFind {
        const wchar_t* ClassName;
        HWND Found;
    } find{className, nullptr};
    ::EnumChildWindows(
        parent,
        [](HWND wnd, LPARAM lp) -> BOOL {
            auto* f = reinterpret_cast<TFind*>(lp);
            wchar_t cls[64] = {};
            ::GetClassNameW(wnd, cls, 64);
            if (_wcsicmp(cls, f->ClassName) != 0) return TRUE;
            f->Found = wnd;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&find));
    return find.Found;
}

// The one visible child window (the page the tab strip shows), or nullptr.
HWND VisibleChild(HWND parent) {
    for (HWND child = ::GetWindow(parent, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT))
        if (::IsWindowVisible(child)) return child;
    return nullptr;
}

// How many entries the all-hosts window's list holds, whichever list control it uses; -1 for none.
int ListedEntries(HWND allHosts, HWND& list) {
    if ((list = FindDescendant(allHosts, L"LISTBOX")) != nullptr)
        return static_cast<int>(::SendMessageW(list, LB_GETCOUNT, 0, 0));
    if ((list = FindDescendant(allHosts, L"SysListView32")) != nullptr)
        return static_cast<int>(::SendMessageW(list, 0x1004 /* LVM_GETITEMCOUNT */, 0, 0));
    return -1;
}

// Posts a left click at a point of a window's client area to the window that is there.
void PostClick(HWND wnd, POINT at) {
    ::ClientToScreen(wnd, &at);
    const HWND target = ::WindowFromPoint(at);
    if (!target) return;
    ::ScreenToClient(target, &at);
    const LPARAM pos = MAKELPARAM(at.x, at.y);
    ::PostMessageW(target, WM_MOUSEMOVE, 0, pos);
    ::PostMessageW(target, WM_LBUTTONDOWN, MK_LBUTTON, pos);
    ::PostMessageW(target, WM_LBUTTONUP, 0, pos);
}

bool Fail(const char* what) {
    std::fprintf(stderr, "%s\n", what);
    return false;
}

// The real program, started with the list as its system hosts file, opens the all-hosts window as
// a user does and lists every entry; its peak working set then, in MB.
bool ProgramPeakMb(const std::wstring& exe, double& peakMb) {
    skbench::TStartedProgram program(exe);
    const HWND main = program.WaitForWindow(kTimeoutMs);
    if (!main || !skbench::AnswersMessages(main, kTimeoutMs)) return Fail("the program's window did not come");
    skbench::WaitUntilQuiet(program.Process(), 300, 10000);

    // Repair, Cleaning, Plug-ins, Security: three steps to the right on the tab strip.
    const HWND tabs = FindDescendant(main, L"SurfkeepTabStrip");
    if (!tabs) return Fail("the program's tab strip was not found");
    for (int i = 0; i < 3; ++i) ::PostMessageW(tabs, WM_KEYDOWN, VK_RIGHT, 0);
    if (!skbench::AnswersMessages(main, kTimeoutMs)) return Fail("the program stopped answering");
    skbench::WaitUntilQuiet(program.Process(), 300, 10000);

    // "More..." ends at x 749 on line 323 of the Security page.
    const HWND page = VisibleChild(tabs);
    if (!page) return Fail("no page of the tab strip shows");
    PostClick(page, POINT{740, 329});
    const HWND allHosts = program.WaitForWindow(kTimeoutMs, L"TfrmShowAll");
    if (!allHosts) return Fail("the all-hosts window did not open");

    // It loads a second after it shows, and gives its list back to the user when done.
    const double end = skbench::NowMs() + kLoadTimeoutMs;
    for (;;) {
        HWND list = nullptr;
        const int n = ListedEntries(allHosts, list);
        if (n == kEntries && ::IsWindowEnabled(list) && skbench::AnswersMessages(allHosts, kTimeoutMs)) break;
        if (n > kEntries) return Fail("the all-hosts window lists more entries than the file holds");
        if (!program.Running() || skbench::NowMs() > end) return Fail("the all-hosts window did not list every entry");
        ::Sleep(100);
    }
    peakMb = skbench::PeakWorkingSetMb(program.Process());

    ::PostMessageW(allHosts, WM_CLOSE, 0, 0);
    for (int i = 0; i < 100 && ::IsWindowVisible(allHosts); ++i) ::Sleep(50);
    return peakMb > 0;
}

}  // namespace

int main() {
    sk::SetMessageBoxHook(ReportBox);
    const std::wstring folder = skbench::MakeScratchFolder(L"sk-bench-allhosts-");
    sk::TIESecurityOptions options;
    options.HostsFileName = folder + L"hosts";
    options.ListFileName = folder + L"hosts.txt";
    options.BackupFileName = folder + L"backup\\hosts";
    options.SettingsFileName = folder + L"config.ini";
    options.FlushResolverCache = [] {};
    skbench::WriteHostsList(options.HostsFileName);

    int status = 0;
    {
        sk::TIESecurity security(options);
        sk::TfrmShowAll form(security);
        if (!form.Create(nullptr)) {
            std::fprintf(stderr, "the window could not be made (no display?)\n");
            return 1;
        }
        ::ShowWindow(form.Handle(), SW_SHOWNOACTIVATE);
        form.FormClose();  // the loads below are started here, not by the window's timer
        ::UpdateWindow(form.Handle());

        form.btnRefreshClick();  // warm-up: the file in the cache, the list's memory once
        const double ms = skbench::MedianMs(kRuns, [&] { form.btnRefreshClick(); });
        if (form.LineCount() != kEntries || form.Loading()) {
            std::fprintf(stderr, "the window holds %d lines, not %d\n", form.LineCount(), kEntries);
            status = 1;
        }
        skbench::Report("allhosts-250k-load-s", ms / 1000.0, "s", "< 5");
    }

    ::DeleteFileW(options.HostsFileName.c_str());
    ::DeleteFileW(options.BackupFileName.c_str());
    ::RemoveDirectoryW((folder + L"backup").c_str());
    ::RemoveDirectoryW(folder.c_str());

    // The program runs from a scratch folder of its own, where it keeps its settings, its language
    // pack and its one-time backup of the hosts file.
    const std::wstring appDir = skbench::MakeScratchFolder(L"sk-bench-allhosts-app-");
    const std::wstring app = appDir + L"surfkeep.exe";
    double peakMb = 0;
    bool measured = false;
    if (::CopyFileW((skbench::ExeFolder() + L"..\\surfkeep.exe").c_str(), app.c_str(), FALSE)) {
        TSystemHostsSwap hosts;
        measured = hosts.Ready() ? ProgramPeakMb(app, peakMb) : Fail("the system hosts file cannot be replaced");
    } else {
        Fail("the program was not found beside the benchmarks");
    }
    skbench::RemoveTree(appDir);
    if (!measured) return 1;
    skbench::Report("allhosts-250k-peak-mb", peakMb, "MB", "< 150");
    return status;
}
