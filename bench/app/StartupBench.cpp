// Start-up of the real program, to an idle main window with everything its creation does, against
// a minimal Win32 window under the same Wine: the median of several starts of each.
#include <windows.h>

#include <string>
#include <vector>

#include "BenchSupport.h"
#include "ProcessWindow.h"

namespace {

std::wstring Folder() {
    wchar_t buf[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, buf, MAX_PATH);
    std::wstring p = buf;
    return p.substr(0, p.find_last_of(L'\\') + 1);
}

// Milliseconds from the process start to its window shown and the program waiting for input.
double TimeStart(const std::wstring& exe) {
    STARTUPINFOW si{sizeof si};
    PROCESS_INFORMATION pi{};
    std::wstring cmd = L"\"" + exe + L"\"";
    const std::wstring dir = exe.substr(0, exe.find_last_of(L'\\') + 1);
    const double t0 = skbench::NowMs();
    if (!::CreateProcessW(exe.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, dir.c_str(), &si, &pi)) return -1;
    HWND wnd = nullptr;
    while (!(wnd = sktest::VisibleWindowOf(pi.dwProcessId))) {
        if (::WaitForSingleObject(pi.hProcess, 2) == WAIT_OBJECT_0) break;
    }
    ::WaitForInputIdle(pi.hProcess, 30000);
    const double t = skbench::NowMs() - t0;
    if (wnd) ::PostMessageW(wnd, WM_CLOSE, 0, 0);
    if (::WaitForSingleObject(pi.hProcess, 20000) != WAIT_OBJECT_0) ::TerminateProcess(pi.hProcess, 1);
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
    return wnd ? t : -1;
}

}  // namespace

int wmain() {
    const std::wstring here = Folder();
    // The program runs from a folder of its own, where it keeps its settings.
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    const std::wstring appDir = std::wstring(temp) + L"surfkeep-startup-bench\\";
    ::CreateDirectoryW(appDir.c_str(), nullptr);
    const std::wstring app = appDir + L"surfkeep.exe";
    if (!::CopyFileW((here + L"..\\surfkeep.exe").c_str(), app.c_str(), FALSE)) return 1;
    const std::wstring minimal = here + L"bench_minimal_window.exe";
    const std::wstring sameDlls = here + L"bench_minimal_window_same_dlls.exe";

    TimeStart(app);  // the first start writes the settings and the language pack
    TimeStart(minimal);
    TimeStart(sameDlls);
    std::vector<double> program, baseline, floor;
    for (int i = 0; i < 9; ++i) {
        baseline.push_back(TimeStart(minimal));
        floor.push_back(TimeStart(sameDlls));
        program.push_back(TimeStart(app));
    }
    const double p = skbench::Median(program), b = skbench::Median(baseline), f = skbench::Median(floor);
    if (p <= 0 || b <= 0 || f <= 0) return 1;
    skbench::Report("startup-ms", p, "ms", "");
    skbench::Report("startup-baseline-ms", b, "ms", "");
    // What an empty window costs with the program's manifest and DLLs, and the program against it.
    skbench::Report("startup-same-dlls-ms", f, "ms", "");
    skbench::Report("startup-same-dlls-ratio", f / b, "", "");
    skbench::Report("startup-vs-same-dlls-ratio", p / f, "", "");
    skbench::Report("startup-ratio", p / b, "", "<= 1.5");
    return 0;
}
