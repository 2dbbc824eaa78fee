#include "base/Window.h"

#include <algorithm>

namespace sk {

namespace {
// The object of a window of our classes lives in the first extra bytes of the window; that of an
// attached window in its user data. Both are plain memory reads, where a window property is a
// round trip to the window server on Wine, on every message.
constexpr int kThisSlot = 0;

LONG_PTR AsLong(const void* p) { return reinterpret_cast<LONG_PTR>(p); }
LONG_PTR AsLong(WNDPROC p) { return reinterpret_cast<LONG_PTR>(p); }
}  // namespace

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
    // The native children go with the window.
    ReleaseControls();
    if (FHandle) {
        HWND wnd = FHandle;
        Unbind();
        ::DestroyWindow(wnd);
    }
}

TWindow* TWindow::FromHandle(HWND wnd) {
    if (!wnd) return nullptr;
    // Only windows of our classes, and windows we attached to, carry an object: any other window may
    // use its extra bytes and user data differently.
    if (::GetClassLongPtrW(wnd, GCLP_WNDPROC) == reinterpret_cast<ULONG_PTR>(&StaticWndProc))
        return reinterpret_cast<TWindow*>(::GetWindowLongPtrW(wnd, kThisSlot));
    if (::GetWindowLongPtrW(wnd, GWLP_WNDPROC) == AsLong(&AttachedWndProc))
        return reinterpret_cast<TWindow*>(::GetWindowLongPtrW(wnd, GWLP_USERDATA));
    return nullptr;
}

HWND TWindow::CreateWnd(const wchar_t* className, DWORD exStyle, DWORD style, const std::wstring& text, int x, int y,
                        int w, int h, HWND parent, HMENU idOrMenu, UINT classStyle, HCURSOR cursor) {
    if (FHandle) return nullptr;
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

bool TWindow::Attach(HWND wnd) {
    if (FHandle || !wnd || ::GetWindowThreadProcessId(wnd, nullptr) != ::GetCurrentThreadId()) return false;
    // A window of our own class may be attached to as well (its object lives in its extra bytes);
    // a window that has an attached object already has its user data taken.
    if (::GetWindowLongPtrW(wnd, GWLP_USERDATA) != 0) return false;
    ::SetWindowLongPtrW(wnd, GWLP_USERDATA, AsLong(this));
    FWindowProc = reinterpret_cast<WNDPROC>(::SetWindowLongPtrW(wnd, GWLP_WNDPROC, AsLong(&AttachedWndProc)));
    if (!FWindowProc) {
        ::SetWindowLongPtrW(wnd, GWLP_USERDATA, 0);
        return false;
    }
    FHandle = wnd;
    return true;
}

void TWindow::Detach() {
    if (FHandle && FWindowProc) Unbind();
}

void TWindow::Unbind() {
    HWND wnd = FHandle;
    FHandle = nullptr;
    for (TNativeControl* c : FControls) c->FParent = nullptr;
    FControls.clear();
    FTimers.clear();
    if (!wnd) return;
    if (FWindowProc) {
        ::SetWindowLongPtrW(wnd, GWLP_USERDATA, 0);
        if (::GetWindowLongPtrW(wnd, GWLP_WNDPROC) == AsLong(&AttachedWndProc))
            ::SetWindowLongPtrW(wnd, GWLP_WNDPROC, AsLong(FWindowProc));
        FWindowProc = nullptr;
    } else {
        ::SetWindowLongPtrW(wnd, kThisSlot, 0);
    }
}

LRESULT TWindow::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) { return DefaultMessage(msg, wParam, lParam); }

LRESULT TWindow::DefaultMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (FWindowProc) return ::CallWindowProcW(FWindowProc, FHandle, msg, wParam, lParam);
    return ::DefWindowProcW(FHandle, msg, wParam, lParam);
}

void TWindow::ReleaseControls() {
    for (TNativeControl* c : FControls) {
        c->FParent = nullptr;
        c->FHandle = nullptr;
    }
    FControls.clear();
}

void TWindow::StartTimer(UINT_PTR id, UINT intervalMs, std::function<void()> onTick) {
    if (!FHandle) return;
    const auto it = std::find_if(FTimers.begin(), FTimers.end(), [id](const TTimer& t) { return t.Id == id; });
    if (it != FTimers.end())
        it->OnTick = std::move(onTick);
    else
        FTimers.push_back({id, std::move(onTick)});
    ::SetTimer(FHandle, id, intervalMs, nullptr);
}

void TWindow::StopTimer(UINT_PTR id) {
    if (FHandle) ::KillTimer(FHandle, id);
    FTimers.erase(std::remove_if(FTimers.begin(), FTimers.end(), [id](const TTimer& t) { return t.Id == id; }),
                  FTimers.end());
}

void TWindow::OnMessage(UINT msg, std::function<LRESULT(WPARAM, LPARAM)> handler) {
    for (auto& entry : FMessageHandlers) {
        if (entry.first == msg) {
            entry.second = std::move(handler);
            return;
        }
    }
    FMessageHandlers.emplace_back(msg, std::move(handler));
}

bool TWindow::Reflect(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    HWND child = nullptr;
    switch (msg) {
        case WM_COMMAND: child = reinterpret_cast<HWND>(lParam); break;  // none for menus and keys
        case WM_NOTIFY: child = reinterpret_cast<const NMHDR*>(lParam)->hwndFrom; break;
        case WM_CTLCOLORBTN:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORLISTBOX:
        case WM_CTLCOLORSCROLLBAR:
        case WM_CTLCOLORSTATIC: child = reinterpret_cast<HWND>(lParam); break;
        case WM_TIMER:
            for (const TTimer& t : FTimers) {
                if (t.Id != wParam) continue;
                const auto tick = t.OnTick;  // the tick may stop its timer
                if (tick) tick();
                result = 0;
                return true;
            }
            return false;
        default:
            if (msg < WM_APP || FMessageHandlers.empty()) return false;
            for (const auto& entry : FMessageHandlers) {
                if (entry.first != msg) continue;
                const auto handler = entry.second;
                result = handler ? handler(wParam, lParam) : 0;
                return true;
            }
            return false;
    }
    if (!child) return false;
    for (TNativeControl* c : FControls)
        if (c->FHandle == child) return c->Notified(msg, wParam, lParam, result);
    return false;
}

LRESULT TWindow::Dispatch(UINT msg, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (Reflect(msg, wParam, lParam, result)) return result;
    result = HandleMessage(msg, wParam, lParam);
    if (msg == WM_NCDESTROY) {
        // The window is gone, its children before it: its own procedure has had the message, and the
        // object lets go.
        ReleaseControls();
        Unbind();
        OnDestroyed();
    }
    return result;
}

// ---------------------------------------------------------------------------------------------

TNativeControl::~TNativeControl() {
    // Out of the parent's table first: what the control says while it goes reaches nobody.
    if (FParent) {
        auto& list = FParent->FControls;
        list.erase(std::remove(list.begin(), list.end(), this), list.end());
        FParent = nullptr;
    }
    if (FHandle) ::DestroyWindow(std::exchange(FHandle, nullptr));
}

bool TNativeControl::CreateControl(const wchar_t* className, DWORD exStyle, DWORD style, const std::wstring& text,
                                   int x, int y, int w, int h, HWND parent, int id, HFONT font) {
    if (FHandle) return false;
    FHandle = ::CreateWindowExW(exStyle, className, text.c_str(), style, x, y, w, h, parent,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), AppInstance(), nullptr);
    if (!FHandle) return false;
    if (font) ::SendMessageW(FHandle, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    if (TWindow* owner = TWindow::FromHandle(parent)) {
        FParent = owner;
        owner->FControls.push_back(this);
    }
    return true;
}


LRESULT CALLBACK TWindow::StaticWndProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    TWindow* self = nullptr;
    if (msg == WM_NCCREATE) {
        self = static_cast<TWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        if (self) {
            self->FHandle = wnd;
            ::SetWindowLongPtrW(wnd, kThisSlot, AsLong(self));
        }
    } else {
        self = reinterpret_cast<TWindow*>(::GetWindowLongPtrW(wnd, kThisSlot));
    }
    if (!self) return ::DefWindowProcW(wnd, msg, wParam, lParam);
    return self->Dispatch(msg, wParam, lParam);
}

LRESULT CALLBACK TWindow::AttachedWndProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<TWindow*>(::GetWindowLongPtrW(wnd, GWLP_USERDATA));
    if (!self) {
        // Let go of while something else had replaced the procedure after ours.
        return ::CallWindowProcW(reinterpret_cast<WNDPROC>(::GetClassLongPtrW(wnd, GCLP_WNDPROC)), wnd, msg, wParam,
                                 lParam);
    }
    return self->Dispatch(msg, wParam, lParam);
}

}  // namespace sk
