// The least a Win32 program does to show a window: the start-up benchmark's baselines run it.
#pragma once

#include <windows.h>

namespace skbench {

inline LRESULT CALLBACK MinimalWindowProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_DESTROY) {
        ::PostQuitMessage(0);
        return 0;
    }
    return ::DefWindowProcW(wnd, msg, wParam, lParam);
}

// Shows a 780 x 585 window of the given class and runs its messages until it is closed.
inline int RunMinimalWindow(HINSTANCE instance, int show, const wchar_t* className) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = MinimalWindowProc;
    wc.hInstance = instance;
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = className;
    ::RegisterClassW(&wc);
    HWND wnd = ::CreateWindowExW(0, className, L"Minimal", WS_POPUP | WS_VISIBLE, 100, 100, 780, 585, nullptr, nullptr,
                                 instance, nullptr);
    ::ShowWindow(wnd, show);
    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) ::DispatchMessageW(&msg);
    return 0;
}

}  // namespace skbench
