#include "app/Window.h"

namespace sk {

namespace {
constexpr wchar_t kThisProp[] = L"Surfkeep.Window";
}

HINSTANCE AppInstance() { return ::GetModuleHandleW(nullptr); }

TWindow::~TWindow() {
    if (FHandle) {
        HWND wnd = FHandle;
        ::RemovePropW(wnd, kThisProp);
        FHandle = nullptr;
        ::DestroyWindow(wnd);
    }
}

TWindow* TWindow::FromHandle(HWND wnd) {
    return wnd ? static_cast<TWindow*>(::GetPropW(wnd, kThisProp)) : nullptr;
}

HWND TWindow::CreateWnd(const wchar_t* className, DWORD exStyle, DWORD style, const std::wstring& text, int x, int y,
                        int w, int h, HWND parent, HMENU idOrMenu, UINT classStyle, HCURSOR cursor) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    if (!::GetClassInfoExW(AppInstance(), className, &wc)) {
        wc = {};
        wc.cbSize = sizeof wc;
        wc.style = classStyle;
        wc.lpfnWndProc = StaticWndProc;
        wc.hInstance = AppInstance();
        wc.hCursor = cursor ? cursor : ::LoadCursorW(nullptr, IDC_ARROW);
        wc.hIcon = ::LoadIconW(AppInstance(), MAKEINTRESOURCEW(1));
        wc.lpszClassName = className;
        ::RegisterClassExW(&wc);
    }
    return ::CreateWindowExW(exStyle, className, text.c_str(), style, x, y, w, h, parent, idOrMenu, AppInstance(), this);
}

LRESULT TWindow::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) { return DefaultMessage(msg, wParam, lParam); }

LRESULT TWindow::DefaultMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    return ::DefWindowProcW(FHandle, msg, wParam, lParam);
}

LRESULT CALLBACK TWindow::StaticWndProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    TWindow* self = nullptr;
    if (msg == WM_NCCREATE) {
        self = static_cast<TWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        if (self) {
            self->FHandle = wnd;
            ::SetPropW(wnd, kThisProp, self);
        }
    } else {
        self = FromHandle(wnd);
    }
    if (!self) return ::DefWindowProcW(wnd, msg, wParam, lParam);
    const LRESULT result = self->HandleMessage(msg, wParam, lParam);
    if (msg == WM_NCDESTROY) {
        ::RemovePropW(wnd, kThisProp);
        self->FHandle = nullptr;
        self->OnDestroyed();
    }
    return result;
}

}  // namespace sk
