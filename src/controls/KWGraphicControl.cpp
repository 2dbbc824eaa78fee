#include "controls/KWGraphicControl.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>
#include <mutex>
#include <unordered_map>

#include "base/Handles.h"
#include "base/Scoped.h"
#include "base/Window.h"

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
        RECT r = FBounds;
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
    RECT r = FBounds;
    ::RedrawWindow(FParent, &r, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

SIZE TKivGraphicControl::ParentClientSize() const {
    RECT r{};
    if (FParent) ::GetClientRect(FParent, &r);
    return SIZE{r.right, r.bottom};
}

void TKivGraphicControl::MouseDown(const TKivMouseEvent& e) {
    if (e.Button == kmbLeft) FLeftPressed = true;
    if (OnMouseDown) OnMouseDown(e);
}

void TKivGraphicControl::MouseMove(POINT pos, WPARAM keys) {
    if (OnMouseMove) OnMouseMove(pos, keys);
}

void TKivGraphicControl::MouseUp(const TKivMouseEvent& e) {
    const bool click =
        e.Button == kmbLeft && FLeftPressed && e.Pos.x >= 0 && e.Pos.y >= 0 && e.Pos.x < Width() && e.Pos.y < Height();
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
    // The last step of the window: the host goes, and this object with it.
    void OnDestroyed() override { FHost.Release(); }

private:
    TKivGraphicHost& FHost;
};

TKivGraphicHost::TKivGraphicHost(HWND wnd) : FWnd(wnd) {
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
    ti.rect = c->BoundsRect();
    ti.lpszText = const_cast<wchar_t*>(c->Hint().c_str());
    ::SendMessageW(FTooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
}

void TKivGraphicHost::PaintControls(HDC dc) {
    for (TKivGraphicControl* c : FControls) {
        if (!c->Visible() || c->Width() <= 0 || c->Height() <= 0) continue;
        RECT r = c->BoundsRect();
        if (!::RectVisible(dc, &r)) continue;
        const int saved = ::SaveDC(dc);
        POINT old;
        ::OffsetViewportOrgEx(dc, r.left, r.top, &old);
        ::IntersectClipRect(dc, 0, 0, c->Width(), c->Height());
        c->Paint(dc);
        ::RestoreDC(dc, saved);
    }
}

TKivGraphicControl* TKivGraphicHost::HitTest(POINT pt) const {
    for (auto it = FControls.rbegin(); it != FControls.rend(); ++it) {
        TKivGraphicControl* c = *it;
        RECT r = c->BoundsRect();
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

bool TKivGraphicHost::Route(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    result = 0;
    const POINT pt{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    auto local = [](TKivGraphicControl* c, POINT p) { return POINT{p.x - c->Left(), p.y - c->Top()}; };
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
