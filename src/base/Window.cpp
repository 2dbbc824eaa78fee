#include "base/Window.h"

#include <algorithm>

#include "base/Fonts.h"

#ifndef WM_DPICHANGED
#define WM_DPICHANGED 0x02E0
#endif
#ifndef WM_DPICHANGED_AFTERPARENT
#define WM_DPICHANGED_AFTERPARENT 0x02E3
#endif
#ifndef WM_GETDPISCALEDSIZE
#define WM_GETDPISCALEDSIZE 0x02E4
#endif

namespace sk {

namespace {
// The object of a window of our classes lives in the first extra bytes of the window; that of an
// attached window in its user data. Both are plain memory reads, where a window property is a
// round trip to the window server on Wine, on every message.
constexpr int kThisSlot = 0;

LONG_PTR AsLong(const void* p) { return reinterpret_cast<LONG_PTR>(p); }
LONG_PTR AsLong(WNDPROC p) { return reinterpret_cast<LONG_PTR>(p); }

// The window's rectangle in its parent's client coordinates.
RECT PlaceInParent(HWND wnd) {
    RECT r{};
    ::GetWindowRect(wnd, &r);
    if (HWND parent = ::GetParent(wnd); parent && (::GetWindowLongW(wnd, GWL_STYLE) & WS_CHILD))
        ::MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

void MoveTo(HWND wnd, const RECT& r) {
    ::SetWindowPos(wnd, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                   SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOOWNERZORDER);
}

// Hands every window inside `parent` WM_DPICHANGED_AFTERPARENT, parents before their children.
void TellChildren(HWND parent) {
    std::vector<HWND> children;
    for (HWND c = ::GetWindow(parent, GW_CHILD); c; c = ::GetWindow(c, GW_HWNDNEXT)) children.push_back(c);
    for (HWND c : children) {
        if (!::IsWindow(c)) continue;
        ::SendMessageW(c, WM_DPICHANGED_AFTERPARENT, 0, 0);
        TellChildren(c);
    }
}

// Hands WM_SYSCOLORCHANGE to every window inside a top-level window (which alone gets it from the
// system), then redraws them: a high-contrast theme switched on or off shows at once.
void CollectChildren(HWND parent, std::vector<HWND>& out) {
    for (HWND c = ::GetWindow(parent, GW_CHILD); c; c = ::GetWindow(c, GW_HWNDNEXT)) {
        out.push_back(c);
        CollectChildren(c, out);
    }
}

void ForwardColorChange(HWND top) {
    std::vector<HWND> all;
    CollectChildren(top, all);
    for (HWND c : all)
        if (::IsWindow(c)) ::SendMessageW(c, WM_SYSCOLORCHANGE, 0, 0);
    ::RedrawWindow(top, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
}
}  // namespace

HINSTANCE AppInstance() { return ::GetModuleHandleW(nullptr); }

namespace {
TAccessibleObjectAnswer gAccessibleAnswer = nullptr;
}  // namespace

void SetAccessibleObjectAnswer(TAccessibleObjectAnswer answer) { gAccessibleAnswer = answer; }

int WindowDpi(HWND wnd) {
    for (HWND w = wnd; w;) {
        if (const TWindow* own = TWindow::FromHandle(w)) return own->Dpi();
        if (!(::GetWindowLongW(w, GWL_STYLE) & WS_CHILD)) break;
        w = ::GetParent(w);
    }
    return wnd ? SystemDpiOfWindow(wnd) : SystemDpi();
}

RECT RescaledPlace(HWND wnd, RECT& layout, int oldDpi, int newDpi) {
    const TDisplayScale before = TDisplayScale::FromDpi(oldDpi);
    const RECT now = PlaceInParent(wnd);
    const RECT expected = before.Scale(layout);
    if (!::EqualRect(&now, &expected)) layout = before.Unscale(now);
    return TDisplayScale::FromDpi(newDpi).Scale(layout);
}

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

bool TWindow::IsOwnClass(HWND wnd) {
    return wnd && ::GetClassLongPtrW(wnd, GCLP_WNDPROC) == reinterpret_cast<ULONG_PTR>(&StaticWndProc);
}

HWND TWindow::CreateChild(const wchar_t* className, DWORD exStyle, DWORD style, const std::wstring& text,
                          const RECT& layout, HWND parent, int id, UINT classStyle, HCURSOR cursor) {
    if (FHandle) return nullptr;
    const int dpi = WindowDpi(parent);
    const RECT px = TDisplayScale::FromDpi(dpi).Scale(layout);
    const HWND wnd = CreateWnd(className, exStyle, style | WS_CHILD, text, px.left, px.top, px.right - px.left,
                               px.bottom - px.top, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                               classStyle, cursor);
    if (wnd) {
        FLayout = layout;
        FLaidOut = true;
    }
    return wnd;
}

HWND TWindow::CreateTopLevel(const wchar_t* className, DWORD exStyle, DWORD style, const std::wstring& text,
                             SIZE layoutClient, HWND owner, const std::function<POINT(SIZE)>& place, UINT classStyle,
                             HCURSOR cursor) {
    if (FHandle) return nullptr;
    FLayout = RECT{0, 0, layoutClient.cx, layoutClient.cy};
    FLaidOut = FTopLevel = true;
    FStyle = style;
    FExStyle = exStyle;
    FDpi = owner ? WindowDpi(owner) : SystemDpi();
    SIZE size = WindowSizeAt(FDpi);
    POINT at = place ? place(size) : POINT{CW_USEDEFAULT, CW_USEDEFAULT};
    FCreating = true;
    const HWND wnd = CreateWnd(className, exStyle, style, text, at.x, at.y, size.cx, size.cy, owner, nullptr,
                               classStyle, cursor);
    FCreating = false;
    if (!wnd) {
        FLaidOut = FTopLevel = false;
        return nullptr;
    }
    // Mnemonics are underlined once the keyboard is used (Alt, Tab), not before.
    ::SendMessageW(wnd, WM_CHANGEUISTATE, MAKEWPARAM(UIS_SET, UISF_HIDEACCEL), 0);
    // Where it landed may be a monitor of another scale than the one assumed.
    const int landed = owner ? FDpi : SystemDpiOfWindow(wnd);
    if (landed != FDpi) {
        FDpi = landed;
        size = WindowSizeAt(FDpi);
        at = place ? place(size) : at;
        ::SetWindowPos(wnd, nullptr, at.x, at.y, size.cx, size.cy, SWP_NOZORDER | SWP_NOACTIVATE);
    }
    return wnd;
}

void TWindow::SetLayoutRect(const RECT& layout) {
    FLayout = layout;
    FLaidOut = true;
    if (FHandle && !FTopLevel) MoveTo(FHandle, ToPixels(layout));
}

SIZE TWindow::WindowSizeAt(int dpi) const {
    const TDisplayScale scale = TDisplayScale::FromDpi(dpi);
    RECT r{0, 0, scale.Scale(FLayout.right - FLayout.left), scale.Scale(FLayout.bottom - FLayout.top)};
    const DWORD style = FHandle ? static_cast<DWORD>(::GetWindowLongW(FHandle, GWL_STYLE)) : FStyle;
    const DWORD exStyle = FHandle ? static_cast<DWORD>(::GetWindowLongW(FHandle, GWL_EXSTYLE)) : FExStyle;
    if ((style & (WS_CAPTION | WS_THICKFRAME | WS_BORDER | WS_DLGFRAME)) ||
        (exStyle & (WS_EX_CLIENTEDGE | WS_EX_WINDOWEDGE | WS_EX_STATICEDGE | WS_EX_DLGMODALFRAME)))
        ::AdjustWindowRectEx(&r, style, FALSE, exStyle);
    return SIZE{r.right - r.left, r.bottom - r.top};
}

void TWindow::ChangeDpi(int dpi, POINT topLeft) {
    if (!FHandle || !FTopLevel || dpi <= 0) return;
    if (dpi != FDpi) {
        const int old = FDpi;
        FDpi = dpi;
        const SIZE size = WindowSizeAt(dpi);
        ::SetWindowPos(FHandle, nullptr, topLeft.x, topLeft.y, size.cx, size.cy, SWP_NOZORDER | SWP_NOACTIVATE);
        TakeDpi(old);
    } else {
        ::SetWindowPos(FHandle, nullptr, topLeft.x, topLeft.y, 0, 0, SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOSIZE);
        return;
    }
    TellChildren(FHandle);
    ::RedrawWindow(FHandle, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
}

void TWindow::TakeDpi(int oldDpi) {
    OnDpiChanged(oldDpi);
    const std::vector<TNativeControl*> controls = FControls;  // a control may go meanwhile
    for (TNativeControl* c : controls)
        if (std::find(FControls.begin(), FControls.end(), c) != FControls.end()) c->DpiChanged(oldDpi, FDpi);
}

void TWindow::FollowParentDpi() {
    if (!FHandle || FTopLevel) return;
    HWND parent = (::GetWindowLongW(FHandle, GWL_STYLE) & WS_CHILD) ? ::GetParent(FHandle) : nullptr;
    if (!parent) return;
    const int dpi = WindowDpi(parent);
    if (dpi == FDpi) return;  // Windows sends the message too, after ours: nothing more to do
    const int old = FDpi;
    FDpi = dpi;
    if (FLaidOut) MoveTo(FHandle, RescaledPlace(FHandle, FLayout, old, dpi));
    TakeDpi(old);
}

bool TWindow::DpiMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    switch (msg) {
        case WM_DPICHANGED: {
            if (!FTopLevel) return false;
            const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
            RECT now{};
            ::GetWindowRect(FHandle, &now);
            ChangeDpi(HIWORD(wParam), suggested ? POINT{suggested->left, suggested->top} : POINT{now.left, now.top});
            result = 0;
            return true;
        }
        case WM_GETDPISCALEDSIZE: {
            // The size the window takes at the new DPI: its layout scaled, not its present size
            // stretched (which drifts by a pixel from one scale to the next).
            if (!FTopLevel || !lParam) return false;
            *reinterpret_cast<SIZE*>(lParam) = WindowSizeAt(static_cast<int>(wParam));
            result = TRUE;
            return true;
        }
        case WM_DPICHANGED_AFTERPARENT:
            // Not answered: an attached window's own procedure, or the other object of a window of
            // ours, takes it too.
            FollowParentDpi();
            return false;
    }
    return false;
}

HWND TWindow::CreateWnd(const wchar_t* className, DWORD exStyle, DWORD style, const std::wstring& text, int x, int y,
                        int w, int h, HWND parent, HMENU idOrMenu, UINT classStyle, HCURSOR cursor) {
    if (FHandle) return nullptr;
    if (!FCreating) {
        FDpi = parent ? WindowDpi(parent) : SystemDpi();
        FLaidOut = FTopLevel = false;
    }
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
    FDpi = WindowDpi(wnd);
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
    if (msg >= WM_DPICHANGED && msg <= WM_GETDPISCALEDSIZE && DpiMessage(msg, wParam, lParam, result)) return result;
    // A window of our class (not one attached to) tells a screen reader what it shows.
    if (msg == WM_GETOBJECT && gAccessibleAnswer && !FWindowProc && gAccessibleAnswer(FHandle, wParam, lParam, result))
        return result;
    if ((msg == WM_SYSCOLORCHANGE || (msg == WM_SETTINGCHANGE && wParam == SPI_SETHIGHCONTRAST)) && !FWindowProc &&
        !(::GetWindowLongW(FHandle, GWL_STYLE) & WS_CHILD))
        ForwardColorChange(FHandle);
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
    FDpi = WindowDpi(parent);
    FLayout = RECT{x, y, x + w, y + h};
    FFont = font;
    const RECT px = Scale().Scale(FLayout);
    FHandle = ::CreateWindowExW(exStyle, className, text.c_str(), style, px.left, px.top, px.right - px.left,
                                px.bottom - px.top, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                AppInstance(), nullptr);
    if (!FHandle) return false;
    if (font) ::SendMessageW(FHandle, WM_SETFONT, reinterpret_cast<WPARAM>(FontForDpi(font, FDpi)), FALSE);
    if (TWindow* owner = TWindow::FromHandle(parent)) {
        FParent = owner;
        owner->FControls.push_back(this);
    }
    return true;
}

void TNativeControl::SetLayoutRect(const RECT& layout) {
    FLayout = layout;
    if (FHandle) MoveTo(FHandle, Scale().Scale(layout));
}

void TNativeControl::SetLayoutFont(HFONT font) {
    FFont = font;
    if (FHandle) ::SendMessageW(FHandle, WM_SETFONT, reinterpret_cast<WPARAM>(FontForDpi(font, FDpi)), TRUE);
}

void TNativeControl::DpiChanged(int oldDpi, int newDpi) {
    FDpi = newDpi;
    if (!FHandle) return;
    MoveTo(FHandle, RescaledPlace(FHandle, FLayout, oldDpi, newDpi));
    if (FFont) ::SendMessageW(FHandle, WM_SETFONT, reinterpret_cast<WPARAM>(FontForDpi(FFont, newDpi)), TRUE);
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
