// Small helpers for the benchmarks: a steady clock, medians, the one output line format, the
// removal of scratch folders, and watching a program that a benchmark started from outside (its
// main window, whether it answers, its CPU time and its peak memory).
#pragma once

#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "ProcessWindow.h"
#include "base/Handles.h"

namespace skbench {

inline double NowMs() {
    static const double freq = [] {
        LARGE_INTEGER f;
        ::QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart);
    }();
    LARGE_INTEGER c;
    ::QueryPerformanceCounter(&c);
    return static_cast<double>(c.QuadPart) * 1000.0 / freq;
}

inline double Median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// Runs fn `runs` times and returns the median duration in milliseconds.
template <typename Fn>
double MedianMs(int runs, Fn&& fn) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const double t0 = NowMs();
        fn();
        times.push_back(NowMs() - t0);
    }
    return Median(times);
}

// Prints "bench <name>: <value> [unit] (target <target>)"; unit and target may be empty.
inline void Report(const char* name, double value, const char* unit, const char* target) {
    std::printf("bench %s: %.3f%s%s", name, value, unit && *unit ? " " : "", unit ? unit : "");
    if (target && *target) std::printf(" (target %s)", target);
    std::printf("\n");
    std::fflush(stdout);
}

// Deletes a folder (with trailing backslash) and all it holds.
inline void RemoveTree(const std::wstring& folder) {
    WIN32_FIND_DATAW fd;
    {
        sk::TFindHandle find(::FindFirstFileW((folder + L"*").c_str(), &fd));
        if (find) {
            do {
                const std::wstring name = fd.cFileName;
                if (name == L"." || name == L"..") continue;
                if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                    RemoveTree(folder + name + L"\\");
                else
                    ::DeleteFileW((folder + name).c_str());
            } while (::FindNextFileW(find.Get(), &fd));
        }
    }
    ::RemoveDirectoryW(folder.c_str());
}

// The folder of this benchmark's executable, with a trailing backslash.
inline std::wstring ExeFolder() {
    wchar_t buf[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, buf, MAX_PATH);
    const std::wstring p = buf;
    return p.substr(0, p.find_last_of(L'\\') + 1);
}

// True when the thread of the window answers a sent message within timeoutMs: it is running its
// message loop (or pumping messages) rather than working.
inline bool AnswersMessages(HWND wnd, UINT timeoutMs) {
    DWORD_PTR result = 0;
    return ::SendMessageTimeoutW(wnd, WM_NULL, 0, 0, SMTO_NORMAL, timeoutMs, &result) != 0;
}

// The peak working set of a process in MB. Under Wine this works for another process (measured: it
// equals VmHWM in /proc/<pid>/status of the Unix process, that is the most memory it ever had
// resident, Wine's own libraries included). 0 when it cannot be read.
inline double PeakWorkingSetMb(HANDLE process) {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    if (!::GetProcessMemoryInfo(process, &counters, sizeof counters)) return 0;
    return static_cast<double>(counters.PeakWorkingSetSize) / (1024.0 * 1024.0);
}

// The CPU time (user and kernel) a process has used, in milliseconds; -1 when it cannot be read.
inline double CpuTimeMs(HANDLE process) {
    FILETIME created, exited, kernel, user;
    if (!::GetProcessTimes(process, &created, &exited, &kernel, &user)) return -1;
    auto ms = [](const FILETIME& t) {
        return static_cast<double>((static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 10000.0;
    };
    return ms(kernel) + ms(user);
}

// Waits until the process has used no more than one scheduler tick of CPU for quietMs in a row, so
// that work it does in idle time is over too; gives up after maxMs. True when it became quiet.
inline bool WaitUntilQuiet(HANDLE process, DWORD quietMs, DWORD maxMs) {
    const double end = NowMs() + maxMs;
    double last = CpuTimeMs(process);
    while (NowMs() < end) {
        if (::WaitForSingleObject(process, quietMs) == WAIT_OBJECT_0) return false;
        const double now = CpuTimeMs(process);
        if (now < 0) return false;
        if (now - last <= 16) return true;
        last = now;
    }
    return false;
}

// A program that a benchmark starts in the executable's own folder, and closes again.
class TStartedProgram {
public:
    explicit TStartedProgram(const std::wstring& exe) {
        STARTUPINFOW si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi{};
        std::wstring cmd = L"\"" + exe + L"\"";
        const std::wstring dir = exe.substr(0, exe.find_last_of(L'\\') + 1);
        StartedAtMs = NowMs();
        if (!::CreateProcessW(exe.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, dir.c_str(), &si, &pi))
            return;
        FProcess.Reset(pi.hProcess);
        FThread.Reset(pi.hThread);
        FId = pi.dwProcessId;
    }
    ~TStartedProgram() { Close(); }
    TStartedProgram(const TStartedProgram&) = delete;
    TStartedProgram& operator=(const TStartedProgram&) = delete;

    bool Started() const { return FProcess.IsValid(); }
    DWORD Id() const { return FId; }
    HANDLE Process() const { return FProcess.Get(); }
    bool Running() const { return Started() && ::WaitForSingleObject(FProcess.Get(), 0) == WAIT_TIMEOUT; }

    // A visible top-level window of the program (of the class, or else one that no window owns),
    // looked for every millisecond or so; nullptr when the program ends first or timeoutMs pass.
    HWND WaitForWindow(DWORD timeoutMs, const wchar_t* className = nullptr) const {
        if (!Started()) return nullptr;
        const double end = NowMs() + timeoutMs;
        do {
            if (HWND wnd = sktest::VisibleWindowOf(FId, className)) return wnd;
            if (::WaitForSingleObject(FProcess.Get(), 1) == WAIT_OBJECT_0) return nullptr;
        } while (NowMs() < end);
        return nullptr;
    }

    // Asks the main window to close and waits for the program to end; ends it when it will not.
    void Close() {
        if (!Running()) return;
        if (HWND wnd = sktest::VisibleWindowOf(FId)) ::PostMessageW(wnd, WM_CLOSE, 0, 0);
        if (::WaitForSingleObject(FProcess.Get(), 20000) != WAIT_OBJECT_0) {
            ::TerminateProcess(FProcess.Get(), 1);
            ::WaitForSingleObject(FProcess.Get(), 5000);
        }
    }

    double StartedAtMs = 0;  // NowMs() just before the process was created

private:
    sk::THandle FProcess, FThread;
    DWORD FId = 0;
};

}  // namespace skbench
