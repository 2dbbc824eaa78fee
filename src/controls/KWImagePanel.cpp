#include "controls/KWImagePanel.h"

#include <windowsx.h>

#include <vector>

#include "base/Handles.h"
#include "controls/KWGraphicControl.h"
#include "controls/KWTheme.h"

namespace sk {

namespace {

// The window's rectangle in its parent's client coordinates (screen coordinates for a top-level
// window).
RECT RectInParent(HWND wnd) {
    RECT r{};
    ::GetWindowRect(wnd, &r);
    HWND parent = (::GetWindowLongW(wnd, GWL_STYLE) & WS_CHILD) ? ::GetParent(wnd) : nullptr;
    if (parent) ::MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

// Draws wnd with its top-left corner at (x, y) of dc's logical space: non-client area, background,
// client area, then its child windows from the bottom of the z-order up.
void PaintWindowAt(HDC dc, HWND wnd, int x, int y) {
    RECT wr{}, cr{};
    ::GetWindowRect(wnd, &wr);
    ::GetClientRect(wnd, &cr);
    POINT clientOrigin{0, 0};
    ::ClientToScreen(wnd, &clientOrigin);
    const int cx = clientOrigin.x - wr.left, cy = clientOrigin.y - wr.top;
    const int w = wr.right - wr.left, h = wr.bottom - wr.top;

    int saved = ::SaveDC(dc);
    ::OffsetViewportOrgEx(dc, x, y, nullptr);
    ::IntersectClipRect(dc, 0, 0, w, h);
    if (cx != 0 || cy != 0 || cr.right != w || cr.bottom != h) ::SendMessageW(wnd, WM_PRINT, (WPARAM)dc, PRF_NONCLIENT);
    ::OffsetViewportOrgEx(dc, cx, cy, nullptr);
    ::IntersectClipRect(dc, 0, 0, cr.right, cr.bottom);
    ::SendMessageW(wnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    ::SendMessageW(wnd, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
    HWND first = ::GetWindow(wnd, GW_CHILD);
    for (HWND c = first ? ::GetWindow(first, GW_HWNDLAST) : nullptr; c; c = ::GetWindow(c, GW_HWNDPREV))
        PaintControlInto(dc, c);
    ::RestoreDC(dc, saved);
}

}  // namespace

void PaintParentBackground(HDC dc, HWND control) {
    if (!control || !(::GetWindowLongW(control, GWL_STYLE) & WS_CHILD)) return;
    HWND parent = ::GetParent(control);
    if (!parent) return;
    const RECT r = RectInParent(control);
    RECT pc{};
    ::GetClientRect(parent, &pc);

    const int saved = ::SaveDC(dc);
    ::OffsetViewportOrgEx(dc, -r.left, -r.top, nullptr);
    ::IntersectClipRect(dc, pc.left, pc.top, pc.right, pc.bottom);
    // The parent's background, its own painting and its window-less controls...
    ::SendMessageW(parent, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    ::SendMessageW(parent, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
    // ...then the sibling windows below the control, bottom first. Those above it are not part of
    // what lies beneath.
    for (HWND c = ::GetWindow(control, GW_HWNDLAST); c && c != control; c = ::GetWindow(c, GW_HWNDPREV))
        PaintControlInto(dc, c);
    ::RestoreDC(dc, saved);
}

void PaintControlInto(HDC dc, HWND control) {
    if (!control || !(::GetWindowLongW(control, GWL_STYLE) & WS_VISIBLE)) return;
    RECT r = RectInParent(control);
    if (!::RectVisible(dc, &r)) return;
    PaintWindowAt(dc, control, r.left, r.top);
}

TKivPicture RenderWindow(HWND window) {
    RECT wr{};
    if (!window || !::GetWindowRect(window, &wr)) return {};
    TOffscreenBuffer buffer;
    if (!buffer.Ensure(wr.right - wr.left, wr.bottom - wr.top)) return {};
    PaintWindowAt(buffer.DC(), window, 0, 0);
    ::GdiFlush();
    std::vector<uint32_t> pixels(buffer.Bits(), buffer.Bits() + static_cast<size_t>(buffer.Width()) * buffer.Height());
    for (uint32_t& p : pixels)
        p |= 0xFF000000u;
    return TKivPicture::FromPixels(buffer.Width(), buffer.Height(), pixels.data());
}

// ---------------------------------------------------------------------------------------------

TKivImagePanel::~TKivImagePanel() {
    // Destroyed here, while the panel's own message handler still runs: it frees the host of the
    // window-less controls.
    FDestroying = true;
    if (Handle()) ::DestroyWindow(Handle());
}

bool TKivImagePanel::Create(const TKivImagePanelArgs& a) {
    FArgs = a;
    FArgs.AutoSize = false;  // set once the window stands
    DWORD style = WS_CHILD | WS_CLIPCHILDREN | WS_CLIPSIBLINGS | (a.Visible ? WS_VISIBLE : 0);
    // Class style without CS_DBLCLKS: the panel does not react to double clicks.
    if (!CreateChild(kClassName, WS_EX_CONTROLPARENT, style, L"", RECT{a.Left, a.Top, a.Left + a.Width, a.Top + a.Height},
                     a.Parent, a.Id, 0))
        return false;
    if (a.AutoSize) SetAutoSize(true);
    return true;
}

void TKivImagePanel::Repaint() {
    if (Handle() && IsShowing(Handle())) ::RedrawWindow(Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN);
}

void TKivImagePanel::OnDpiChanged(int) {
    FBuffer.Free();
    if (FHost) FHost->SetDpi(Dpi());
    Repaint();
}

void TKivImagePanel::Change(const std::function<void(TKivImagePanelArgs&)>& edit) {
    edit(FArgs);
    Repaint();
}

void TKivImagePanel::SetPicture(const TKivPicture& picture) {
    if (picture == FArgs.Picture) return;
    FArgs.Picture = picture;
    Repaint();
}
void TKivImagePanel::SetPictureMargins(int value) { FArgs.PictureMargins = value; }
void TKivImagePanel::SetStretch(bool value) {
    if (value == FArgs.Stretch) return;
    FArgs.Stretch = value;
    Repaint();
}

void TKivImagePanel::SetAutoSize(bool value) {
    FArgs.AutoSize = value;
    const TKivPicture& picture = FArgs.Picture;
    if (!value || picture.Empty() || !Handle()) return;
    // In the layout: the picture's size at 100 %, which its drawing at the scale covers.
    const RECT r = LayoutRect();
    int w = r.right - r.left, h = r.bottom - r.top;
    if (FAlign != alTop && FAlign != alBottom && FAlign != alClient) w = picture.LayoutWidth();
    if (FAlign != alLeft && FAlign != alRight && FAlign != alClient) h = picture.LayoutHeight();
    SetLayoutRect(RECT{r.left, r.top, r.left + w, r.top + h});
}

void TKivImagePanel::PaintPicture(HDC dc, const TKivPicture& layoutPicture) {
    if (layoutPicture.Empty()) return;
    // At the window's scale: the picture drawn for it, and the layout's margins and places scaled.
    const TDisplayScale scale = Scale();
    const TKivPicture& picture = layoutPicture.AtScale(scale);
    RECT cr{};
    ::GetClientRect(Handle(), &cr);
    const int m = scale.Scale(FArgs.PictureMargins);
    if (FArgs.Stretch) {
        picture.DrawStretched(dc, RECT{m, m, cr.right - m, cr.bottom - m});
    } else {
        const POINT p = PlacePicture(FArgs.PictureAlignment, cr.right, cr.bottom, picture.Width(), picture.Height(),
                                     scale.Scale(FArgs.PictureX), scale.Scale(FArgs.PictureY), m);
        picture.Draw(dc, p.x, p.y);
    }
}

void TKivImagePanel::Render(HDC dc) {
    RECT cr{};
    ::GetClientRect(Handle(), &cr);
    const bool highContrast = KivHighContrast();
    if (highContrast) {
        // The system's window colour, and no picture behind the texts.
        ::FillRect(dc, &cr, ::GetSysColorBrush(COLOR_WINDOW));
    } else if (FArgs.Transparent) {
        PaintParentBackground(dc, Handle());
    } else {
        TBrush brush(::CreateSolidBrush(FArgs.Color));
        ::FillRect(dc, &cr, brush.Get());
    }
    if (!highContrast) PaintPicture(dc, FArgs.Picture);
    PaintHook(dc);
    if (FArgs.BorderWidth != 0) PaintBorder(dc);
    if (FHost) FHost->PaintControls(dc);
}

LRESULT TKivImagePanel::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (TKivGraphicHost* host = FHost) {
        LRESULT result = 0;
        if (host->HandleMessage(msg, wParam, lParam, result)) return result;
    }
    switch (msg) {
        case WM_CREATE: FHost = TKivGraphicHost::CreateNative(Handle()); break;
        case WM_SYSCOLORCHANGE: Repaint(); break;
        case WM_NCDESTROY:
            FDestroying = true;
            FHost = nullptr;
            TKivGraphicHost::DestroyNative(Handle());
            break;
        case WM_ERASEBKGND:
            // Painting covers every pixel from the buffer; a transparent panel gets its background
            // there too.
            return 1;
        case WM_SIZE:
            FBuffer.Free();  // made anew at the next paint, at the new size
            if (IsShowing(Handle())) ::InvalidateRect(Handle(), nullptr, FALSE);
            break;
        case WM_PAINT: {
            TPaintDC pdc(Handle());
            if (FDestroying) return 0;
            RECT cr{};
            ::GetClientRect(Handle(), &cr);
            if (!FBuffer.Ensure(cr.right, cr.bottom)) return 0;
            const RECT& u = pdc.Paint().rcPaint;
            const int saved = ::SaveDC(FBuffer.DC());
            ::IntersectClipRect(FBuffer.DC(), u.left, u.top, u.right, u.bottom);
            Render(FBuffer.DC());
            ::RestoreDC(FBuffer.DC(), saved);
            ::BitBlt(pdc.Get(), u.left, u.top, u.right - u.left, u.bottom - u.top, FBuffer.DC(), u.left, u.top,
                     SRCCOPY);
            return 0;
        }
        case WM_PRINTCLIENT:
            if (!FDestroying) Render(reinterpret_cast<HDC>(wParam));
            return 0;
        case WM_LBUTTONDOWN:
            FLeftDown = true;
            if (FArgs.MovingHandler && ::GetAncestor(Handle(), GA_ROOT) != Handle()) {
                FLeftDown = false;
                StartWindowDrag(Handle());
            }
            if (OnMouseDown) OnMouseDown(TKivMouseEvent{kmbLeft, {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)}, wParam});
            if (FLeftDown) ::SetCapture(Handle());
            return 0;
        case WM_LBUTTONUP:
            if (FLeftDown) {
                FLeftDown = false;
                ::ReleaseCapture();
                RECT cr{};
                ::GetClientRect(Handle(), &cr);
                const POINT p{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
                if (::PtInRect(&cr, p) && OnClick) OnClick();
            }
            return 0;
        case WM_RBUTTONDOWN:
        case WM_MBUTTONDOWN:
            if (OnMouseDown)
                OnMouseDown(TKivMouseEvent{msg == WM_RBUTTONDOWN ? kmbRight : kmbMiddle,
                                           {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)},
                                           wParam});
            return 0;
        case WM_CAPTURECHANGED: FLeftDown = false; break;
    }
    return DefaultMessage(msg, wParam, lParam);
}

}  // namespace sk
