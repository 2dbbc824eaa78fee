// Small helpers for the benchmarks: a steady clock, medians, the one output line format and the
// removal of scratch folders.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

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

}  // namespace skbench
