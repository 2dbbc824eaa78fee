// The baseline of the start-up benchmark: the least a Win32 program does to show a window.
#include <windows.h>

static LRESULT CALLBACK Proc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_DESTROY) {
        ::PostQuitMessage(0);
        return 0;
    }
    return ::DefWindowProcW(wnd, msg, wParam, lParam);
}

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = Proc;
    wc.hInstance = instance;
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = L"MinimalWindow";
    ::RegisterClassW(&wc);
    HWND wnd = ::CreateWindowExW(0, L"MinimalWindow", L"Minimal", WS_POPUP | WS_VISIBLE, 100, 100, 780, 585, nullptr,
                                 nullptr, instance, nullptr);
    ::ShowWindow(wnd, show);
    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) ::DispatchMessageW(&msg);
    return 0;
}
