#include "base/Window.h"

namespace sk {

namespace {
// The window's object lives in the first extra bytes of every window of our classes: reading them
// is a plain memory read, where a window property is a round trip to the window server on Wine,
// on every message.
constexpr int kThisSlot = 0;
}

HINSTANCE AppInstance() { return ::GetModuleHandleW(nullptr); }

bool IsShowing(HWND wnd) {
    while (wnd) {
        const LONG style = ::GetWindowLongW(wnd, GWL_STYLE);
        if (!(style & WS_VISIBLE)) return false;
        if (!(style & WS_CHILD)) return true;
        wnd = ::GetParent(wnd);
    }
    return false;
}

TWindow::~TWindow() {
    if (FHandle) {
        HWND wnd = FHandle;
        ::SetWindowLongPtrW(wnd, kThisSlot, 0);
        FHandle = nullptr;
        ::DestroyWindow(wnd);
    }
}

TWindow* TWindow::FromHandle(HWND wnd) {
    // Only windows of our classes carry the object; any other window may use its extra bytes
    // differently.
    if (!wnd || ::GetClassLongPtrW(wnd, GCLP_WNDPROC) != reinterpret_cast<ULONG_PTR>(&StaticWndProc)) return nullptr;
    return reinterpret_cast<TWindow*>(::GetWindowLongPtrW(wnd, kThisSlot));
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
        wc.cbWndExtra = sizeof(TWindow*);
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
            ::SetWindowLongPtrW(wnd, kThisSlot, reinterpret_cast<LONG_PTR>(self));
        }
    } else {
        self = reinterpret_cast<TWindow*>(::GetWindowLongPtrW(wnd, kThisSlot));
    }
    if (!self) return ::DefWindowProcW(wnd, msg, wParam, lParam);
    const LRESULT result = self->HandleMessage(msg, wParam, lParam);
    if (msg == WM_NCDESTROY) {
        ::SetWindowLongPtrW(wnd, kThisSlot, 0);
        self->FHandle = nullptr;
        self->OnDestroyed();
    }
    return result;
}

}  // namespace sk
