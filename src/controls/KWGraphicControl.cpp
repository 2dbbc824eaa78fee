#include "controls/KWGraphicControl.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>
#include <mutex>
#include <unordered_map>

#include "base/Handles.h"
#include "base/Scoped.h"
#include "base/Window.h"
#include "controls/KWAccessible.h"
#include "controls/KWTheme.h"

namespace sk {

namespace {

TKivMouseButton ButtonOf(UINT msg) {
    switch (msg) {
        case WM_RBUTTONDOWN:
        case WM_RBUTTONDBLCLK:
        case WM_RBUTTONUP: return kmbRight;
        case WM_MBUTTONDOWN:
        case WM_MBUTTONDBLCLK:
        case WM_MBUTTONUP: return kmbMiddle;
        default: return kmbLeft;
    }
}
}  // namespace

// ---------------------------------------------------------------------------------------------
// TKivGraphicControl

TKivGraphicControl::~TKivGraphicControl() { Detach(); }

void TKivGraphicControl::Detach() {
    if (FHost) {
        Invalidate();
        FHost->Remove(this);
    }
    FHost = nullptr;
    FParent = nullptr;
}

void TKivGraphicControl::Place(HWND parent, int left, int top, int width, int height) {
    Detach();
    FParent = parent;
    FBounds = RECT{left, top, left + std::max(0, width), top + std::max(0, height)};
    if (parent) {
        FHost = TKivGraphicHost::For(parent);
        if (FHost) FHost->Add(this);
    }
    Placed();
    Resized();
    Invalidate();
}

TDisplayScale TKivGraphicControl::Scale() const { return FHost ? FHost->Scale() : TDisplayScale(); }

int TKivGraphicControl::PixelWidth() const {
    const RECT r = PixelRect();
    return r.right - r.left;
}

int TKivGraphicControl::PixelHeight() const {
    const RECT r = PixelRect();
    return r.bottom - r.top;
}

bool TKivGraphicControl::Focused() const {
    return FHost && FHost->FocusedControl() == this && FHost->WindowHasFocus();
}

bool TKivGraphicControl::SetFocus() { return FHost && FHost->FocusControl(this); }

void TKivGraphicControl::SetBounds(int left, int top, int width, int height) {
    const RECT r{left, top, left + std::max(0, width), top + std::max(0, height)};
    if (EqualRect(&r, &FBounds)) return;
    const bool resized = (r.right - r.left) != Width() || (r.bottom - r.top) != Height();
    Invalidate();
    FBounds = r;
    if (FHost) FHost->UpdateTool(this);
    if (resized) Resized();
    Invalidate();
}

void TKivGraphicControl::SetVisible(bool visible) {
    if (visible == FVisible) return;
    FVisible = visible;
    if (FHost) FHost->UpdateTool(this);
    if (FParent && IsShowing(FParent)) {
        RECT r = PixelRect();
        ::RedrawWindow(FParent, &r, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
    }
}

void TKivGraphicControl::SetEnabled(bool enabled) {
    if (enabled == FEnabled) return;
    FEnabled = enabled;
    FLeftPressed = false;
    Invalidate();
}

void TKivGraphicControl::SetHint(const std::wstring& hint) {
    FHint = hint;
    if (FHost) FHost->UpdateTool(this);
}

void TKivGraphicControl::Invalidate() const {
    if (!FParent || !FVisible || !IsShowing(FParent)) return;
    RECT r = PixelRect();
    ::RedrawWindow(FParent, &r, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

SIZE TKivGraphicControl::ParentClientSize() const {
    RECT r{};
    if (FParent) ::GetClientRect(FParent, &r);
    const TDisplayScale scale = Scale();
    return SIZE{scale.Unscale(r.right), scale.Unscale(r.bottom)};
}

void TKivGraphicControl::MouseDown(const TKivMouseEvent& e) {
    if (e.Button == kmbLeft) FLeftPressed = true;
    if (OnMouseDown) OnMouseDown(e);
}

void TKivGraphicControl::MouseMove(POINT pos, WPARAM keys) {
    if (OnMouseMove) OnMouseMove(pos, keys);
}

void TKivGraphicControl::MouseUp(const TKivMouseEvent& e) {
    const bool click = e.Button == kmbLeft && FLeftPressed && e.Pos.x >= 0 && e.Pos.y >= 0 && e.Pos.x < PixelWidth() &&
                       e.Pos.y < PixelHeight();
    if (e.Button == kmbLeft) FLeftPressed = false;
    if (OnMouseUp) OnMouseUp(e);
    if (click) Click();
}

void TKivGraphicControl::MouseEnter() {
    if (OnMouseEnter) OnMouseEnter();
}

void TKivGraphicControl::MouseLeave() {
    if (OnMouseLeave) OnMouseLeave();
}

void TKivGraphicControl::Click() {
    if (OnClick) OnClick();
}

void RelayToTooltip(HWND tooltip, HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    MSG m{wnd, msg, wParam, lParam, static_cast<DWORD>(::GetMessageTime()), {}};
    const DWORD pos = ::GetMessagePos();
    m.pt = POINT{GET_X_LPARAM(pos), GET_Y_LPARAM(pos)};
    ::SendMessageW(tooltip, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&m));
}

// ---------------------------------------------------------------------------------------------
// TKivGraphicHost

namespace {

// The host of each window that has one. Kept in the process rather than as a window property: the
// panels look their host up on every message, and on Wine each property read is a round trip to
// the window server.
struct THostRegistry {
    std::mutex Lock;
    std::unordered_map<HWND, TKivGraphicHost*> Hosts;
};

THostRegistry& Registry() {
    static THostRegistry registry;
    return registry;
}

void Unregister(HWND wnd, const TKivGraphicHost* host) {
    THostRegistry& r = Registry();
    const std::lock_guard<std::mutex> guard(r.Lock);
    const auto it = r.Hosts.find(wnd);
    if (it != r.Hosts.end() && it->second == host) r.Hosts.erase(it);
}

}  // namespace

// The host's hold on a window that is not a skinned panel: attached in front of the window's own
// procedure, it paints the controls over what the window painted and hands them its mouse.
class TKivForeignHost : public TWindow {
public:
    explicit TKivForeignHost(TKivGraphicHost& host) : FHost(host) {}

protected:
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
    void OnDpiChanged(int) override { FHost.SetDpi(Dpi()); }
    // The last step of the window: the host goes, and this object with it.
    void OnDestroyed() override { FHost.Release(); }

private:
    TKivGraphicHost& FHost;
};

TKivGraphicHost::TKivGraphicHost(HWND wnd) : FWnd(wnd), FScale(TDisplayScale::FromDpi(WindowDpi(wnd))) {
    FHasFocus = ::GetFocus() == wnd;
    THostRegistry& r = Registry();
    const std::lock_guard<std::mutex> guard(r.Lock);
    r.Hosts[wnd] = this;
}

TKivGraphicHost::~TKivGraphicHost() {
    for (TKivGraphicControl* c : FControls) {
        c->FHost = nullptr;
        c->FParent = nullptr;
    }
    if (FTooltip) ::DestroyWindow(FTooltip);
    Unregister(FWnd, this);
    if (FForeign) FForeign->Detach();
}

TKivGraphicHost* TKivGraphicHost::Find(HWND wnd) {
    if (!wnd) return nullptr;
    THostRegistry& r = Registry();
    const std::lock_guard<std::mutex> guard(r.Lock);
    const auto it = r.Hosts.find(wnd);
    return it == r.Hosts.end() ? nullptr : it->second;
}

TKivGraphicHost* TKivGraphicHost::For(HWND wnd) {
    if (!wnd || !::IsWindow(wnd)) return nullptr;
    if (TKivGraphicHost* host = Find(wnd)) return host;
    auto* host = new TKivGraphicHost(wnd);
    host->FForeign = std::make_unique<TKivForeignHost>(*host);
    if (!host->FForeign->Attach(wnd)) {
        delete host;
        return nullptr;
    }
    return host;
}

TKivGraphicHost* TKivGraphicHost::CreateNative(HWND wnd) {
    if (TKivGraphicHost* host = Find(wnd)) return host;
    return new TKivGraphicHost(wnd);
}

void TKivGraphicHost::DestroyNative(HWND wnd) {
    if (TKivGraphicHost* host = Find(wnd)) host->Release();
}

void TKivGraphicHost::Release() {
    // The window is going: a new window that gets the same handle must not find this host.
    Unregister(FWnd, this);
    if (FDepth > 0)
        FDeletePending = true;
    else
        delete this;
}

void TKivGraphicHost::Add(TKivGraphicControl* c) {
    FControls.push_back(c);
    UpdateTool(c);
}

void TKivGraphicHost::Remove(TKivGraphicControl* c) {
    FControls.erase(std::remove(FControls.begin(), FControls.end(), c), FControls.end());
    if (FCapture == c) FCapture = nullptr;
    if (FHover == c) FHover = nullptr;
    if (FFocused == c) FFocused = nullptr;
    if (FTooltip) {
        TOOLINFOW ti{sizeof ti};
        ti.hwnd = FWnd;
        ti.uId = reinterpret_cast<UINT_PTR>(c);
        ::SendMessageW(FTooltip, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
    }
}

bool TKivGraphicHost::Contains(const TKivGraphicControl* c) const {
    return c && std::find(FControls.begin(), FControls.end(), c) != FControls.end();
}

void TKivGraphicHost::UpdateTool(TKivGraphicControl* c) {
    if (!FTooltip && c->Hint().empty()) return;
    if (!FTooltip) {
        FTooltip = ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP,
                                     CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, FWnd, nullptr,
                                     ::GetModuleHandleW(nullptr), nullptr);
        if (!FTooltip) return;
    }
    TOOLINFOW ti{sizeof ti};
    ti.hwnd = FWnd;
    ti.uId = reinterpret_cast<UINT_PTR>(c);
    ::SendMessageW(FTooltip, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
    if (c->Hint().empty() || !c->Visible()) return;
    ti.uFlags = 0;  // the host relays the mouse messages (see HandleMessage)
    ti.rect = c->PixelRect();
    ti.lpszText = const_cast<wchar_t*>(c->Hint().c_str());
    ::SendMessageW(FTooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
}

void TKivGraphicHost::PaintControls(HDC dc) {
    for (TKivGraphicControl* c : FControls) {
        RECT r = c->PixelRect();
        if (!c->Visible() || r.right <= r.left || r.bottom <= r.top) continue;
        if (!::RectVisible(dc, &r)) continue;
        const int saved = ::SaveDC(dc);
        POINT old;
        ::OffsetViewportOrgEx(dc, r.left, r.top, &old);
        ::IntersectClipRect(dc, 0, 0, r.right - r.left, r.bottom - r.top);
        c->Paint(dc);
        ::RestoreDC(dc, saved);
        if (c == FFocused && FHasFocus) {
            // Always shown: the user must see where the keyboard is.
            const COLORREF text = ::SetTextColor(dc, RGB(0, 0, 0)), back = ::SetBkColor(dc, RGB(255, 255, 255));
            ::DrawFocusRect(dc, &r);
            ::SetTextColor(dc, text);
            ::SetBkColor(dc, back);
        }
    }
}

void TKivGraphicHost::SetDpi(int dpi) {
    const TDisplayScale scale = TDisplayScale::FromDpi(dpi);
    if (scale == FScale) return;
    FScale = scale;
    const std::vector<TKivGraphicControl*> controls = FControls;  // one may go meanwhile
    for (TKivGraphicControl* c : controls)
        if (Contains(c)) c->ScaleChanged();
    for (TKivGraphicControl* c : FControls) UpdateTool(c);
    if (IsShowing(FWnd)) ::InvalidateRect(FWnd, nullptr, FALSE);
}

void TKivGraphicHost::InvalidateFocus() const {
    if (FFocused) FFocused->Invalidate();
}

bool TKivGraphicHost::FocusControl(TKivGraphicControl* c) {
    if (!Contains(c) || !c->Visible() || !c->Enabled() || !c->TabStop()) return false;
    if (FFocused != c) {
        InvalidateFocus();
        FFocused = c;
        c->Invalidate();
    }
    if (::GetFocus() != FWnd) {
        ::SetFocus(FWnd);  // WM_SETFOCUS tells the screen reader
    } else {
        FHasFocus = true;
        NotifyAccessibleFocus(*this, c);
    }
    return ::GetFocus() == FWnd;
}

TKivGraphicControl* TKivGraphicHost::HitTest(POINT pt) const {
    for (auto it = FControls.rbegin(); it != FControls.rend(); ++it) {
        TKivGraphicControl* c = *it;
        RECT r = c->PixelRect();
        if (c->Visible() && c->Enabled() && ::PtInRect(&r, pt)) return c;
    }
    return nullptr;
}

void TKivGraphicHost::SetHover(TKivGraphicControl* c) {
    if (c == FHover) return;
    TKivGraphicControl* old = FHover;
    FHover = c;
    if (old && Contains(old)) old->MouseLeave();
    if (c && Contains(c)) c->MouseEnter();
}

bool TKivGraphicHost::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    // A control's handler may close the window, and with it this host: it is deleted only once the
    // message is done with.
    if (FTooltip && msg >= WM_MOUSEFIRST && msg <= WM_MOUSELAST) RelayToTooltip(FTooltip, FWnd, msg, wParam, lParam);
    bool used;
    {
        const TDepth depth(FDepth);
        used = Route(msg, wParam, lParam, result);
    }
    if (FDepth == 0 && FDeletePending) delete this;
    return used;
}

bool TKivGraphicHost::RouteKeys(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    switch (msg) {
        case WM_SETFOCUS:
            FHasFocus = true;
            if (FFocused) {
                FFocused->Invalidate();
                NotifyAccessibleFocus(*this, FFocused);
            }
            return false;
        case WM_KILLFOCUS:
            FHasFocus = false;
            FSpaceDown = false;
            InvalidateFocus();
            return false;
        case WM_GETOBJECT: return AnswerAccessibleObject(FWnd, wParam, lParam, result);
        case WM_SYSCOLORCHANGE:
            RefreshKivTheme();
            return false;
    }
    TKivGraphicControl* c = FHasFocus ? FFocused : nullptr;
    if (!c || !Contains(c)) return false;
    switch (msg) {
        case WM_GETDLGCODE:
            // Enter and Space are the focused control's: the default button does not take Enter.
            result = DLGC_WANTCHARS | DLGC_WANTMESSAGE;
            return true;
        case WM_KEYDOWN:
            if (wParam == VK_RETURN) {
                if (c->Enabled()) c->PerformClick();
                return true;
            }
            if (wParam == VK_SPACE) {
                FSpaceDown = !(lParam & (1 << 30)) || FSpaceDown;
                return true;
            }
            return false;
        case WM_KEYUP:
            if (wParam == VK_SPACE && FSpaceDown) {
                FSpaceDown = false;
                if (c->Enabled()) c->PerformClick();
                return true;
            }
            return false;
        case WM_CHAR:
            return wParam == L' ' || wParam == L'\r';  // no beep for the key that clicked
    }
    return false;
}

bool TKivGraphicHost::Route(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    result = 0;
    if (msg < WM_MOUSEFIRST || msg > WM_MOUSELAST) {
        if (msg != WM_MOUSELEAVE && msg != WM_CAPTURECHANGED && msg != WM_SETCURSOR)
            return RouteKeys(msg, wParam, lParam, result);
    }
    const POINT pt{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    auto local = [](TKivGraphicControl* c, POINT p) {
        const RECT r = c->PixelRect();
        return POINT{p.x - r.left, p.y - r.top};
    };
    switch (msg) {
        case WM_MOUSEMOVE: {
            if (!FTrackingLeave) {
                TRACKMOUSEEVENT tme{sizeof tme, TME_LEAVE, FWnd, 0};
                FTrackingLeave = ::TrackMouseEvent(&tme) != FALSE;
            }
            if (FCapture) {
                FCapture->MouseMove(local(FCapture, pt), wParam);
                return true;
            }
            TKivGraphicControl* hit = HitTest(pt);
            SetHover(hit);
            if (hit && Contains(hit)) {
                hit->MouseMove(local(hit, pt), wParam);
                return true;
            }
            return false;
        }
        case WM_MOUSELEAVE:
            FTrackingLeave = false;
            if (!FCapture) SetHover(nullptr);
            return false;
        case WM_LBUTTONDOWN:
        case WM_RBUTTONDOWN:
        case WM_MBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
        case WM_RBUTTONDBLCLK:
        case WM_MBUTTONDBLCLK: {
            TKivGraphicControl* hit = FCapture ? FCapture : HitTest(pt);
            if (!hit) return false;
            FCapture = hit;
            ::SetCapture(FWnd);
            if (hit->TabStop() && ButtonOf(msg) == kmbLeft) FocusControl(hit);
            if (!Contains(hit)) return true;
            hit->MouseDown(TKivMouseEvent{ButtonOf(msg), local(hit, pt), wParam});
            return true;
        }
        case WM_LBUTTONUP:
        case WM_RBUTTONUP:
        case WM_MBUTTONUP: {
            TKivGraphicControl* c = FCapture;
            if (c) {
                // Other buttons may still be held: keep the capture until all are up.
                const bool anyHeld = (wParam & (MK_LBUTTON | MK_RBUTTON | MK_MBUTTON)) != 0;
                if (!anyHeld) {
                    FCapture = nullptr;
                    if (::GetCapture() == FWnd) ::ReleaseCapture();
                }
            } else {
                c = HitTest(pt);
            }
            if (!c || !Contains(c)) return false;
            c->MouseUp(TKivMouseEvent{ButtonOf(msg), local(c, pt), wParam});
            if (!FDeletePending && !FCapture) SetHover(HitTest(pt));
            return true;
        }
        case WM_CAPTURECHANGED:
            if (FCapture && reinterpret_cast<HWND>(lParam) != FWnd) {
                TKivGraphicControl* c = FCapture;
                FCapture = nullptr;
                c->FLeftPressed = false;
            }
            return false;
        case WM_SETCURSOR:
            if (reinterpret_cast<HWND>(wParam) == FWnd && LOWORD(lParam) == HTCLIENT) {
                POINT p;
                ::GetCursorPos(&p);
                ::ScreenToClient(FWnd, &p);
                TKivGraphicControl* c = FCapture ? FCapture : HitTest(p);
                if (c && c->Cursor()) {
                    ::SetCursor(c->Cursor());
                    result = TRUE;
                    return true;
                }
            }
            return false;
    }
    return false;
}

LRESULT TKivForeignHost::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    HWND wnd = Handle();
    switch (msg) {
        case WM_PAINT: {
            if (!FHost.HasControls()) break;
            // The window paints itself first; its controls go over what it painted, within the same
            // update region.
            const TRegion rgn(::CreateRectRgn(0, 0, 0, 0));
            const int kind = ::GetUpdateRgn(wnd, rgn.Get(), FALSE);
            const LRESULT r = DefaultMessage(msg, wParam, lParam);
            if (kind != NULLREGION && kind != ERROR) {
                const TWindowDC dc(wnd, DCX_CACHE | DCX_CLIPCHILDREN | DCX_CLIPSIBLINGS);
                if (dc.Get()) {
                    ::ExtSelectClipRgn(dc.Get(), rgn.Get(), RGN_AND);
                    FHost.PaintControls(dc.Get());
                }
            }
            return r;
        }
        case WM_PRINTCLIENT: {
            const LRESULT r = DefaultMessage(msg, wParam, lParam);
            if (lParam & PRF_CLIENT) FHost.PaintControls(reinterpret_cast<HDC>(wParam));
            return r;
        }
        case WM_NCDESTROY: break;  // the host goes once the window's own procedure is done with it
        default: {
            // A control's handler may close the window: the host, and this object, may then be gone
            // when HandleMessage returns.
            LRESULT result = 0;
            const bool used = FHost.HandleMessage(msg, wParam, lParam, result);
            if (used || !::IsWindow(wnd)) return result;
            break;
        }
    }
    return DefaultMessage(msg, wParam, lParam);
}

}  // namespace sk
