// Finding the window of another process that a test or a benchmark started.
#pragma once

#include <windows.h>

#include <cwchar>
#include <vector>

namespace sktest {

// The visible top-level windows of the process with the given window class or, when className is
// null, those that no other window owns (its main windows), in the order the system lists them.
inline std::vector<HWND> VisibleWindowsOf(DWORD pid, const wchar_t* className = nullptr) {
    struct TFind {
        DWORD Pid;
        const wchar_t* ClassName;
        std::vector<HWND> Found;
    } find{pid, className, {}};
    ::EnumWindows(
        [](HWND wnd, LPARAM lp) -> BOOL {
            auto* f = reinterpret_cast<TFind*>(lp);
            DWORD owner = 0;
            ::GetWindowThreadProcessId(wnd, &owner);
            if (owner != f->Pid || !::IsWindowVisible(wnd)) return TRUE;
            if (f->ClassName) {
                wchar_t cls[256] = {};
                ::GetClassNameW(wnd, cls, 256);
                if (wcscmp(cls, f->ClassName) != 0) return TRUE;
            } else if (::GetWindow(wnd, GW_OWNER) != nullptr) {
                return TRUE;
            }
            f->Found.push_back(wnd);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&find));
    return find.Found;
}

// The first of them; nullptr while there is none.
inline HWND VisibleWindowOf(DWORD pid, const wchar_t* className = nullptr) {
    const std::vector<HWND> found = VisibleWindowsOf(pid, className);
    return found.empty() ? nullptr : found.front();
}

}  // namespace sktest
