#include "controls/KWCustomButton.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>
#include <vector>

#include "base/Handles.h"
#include "controls/KWGraphicControl.h"
#include "controls/KWImagePanel.h"

namespace sk {

TKivCustomButton::~TKivCustomButton() {
    // Destroyed here, while the button's own message handler still runs: it closes the tooltip.
    FDestroying = true;
    if (Handle()) ::DestroyWindow(Handle());
}

bool TKivCustomButton::Create(const TKivButtonArgs& a) {
    FPictureNormal = a.PictureNormal;
    FPictureMouseHover = a.PictureMouseHover;
    FPictureMouseDown = a.PictureMouseDown;
    FPictureDisabled = a.PictureDisabled;
    FFont = a.Font;
    FEnableMultiFonts = a.EnableMultiFonts;
    FFontMouseHover = a.FontMouseHover;
    FFontMouseDown = a.FontMouseDown;
    FFontDisabled = a.FontDisabled;
    FDefault = a.Default;
    FCancel = a.Cancel;
    FModalResult = a.ModalResult;
    FURL = a.URL;
    FTransparent = a.Transparent;
    FColor = a.Color;
    FStretch = a.Stretch;
    FDrawBorder = a.DrawBorder;
    FDrawFocused = a.DrawFocused;
    FPictureAlignment = a.PictureAlignment;
    FPictureX = a.PictureX;
    FPictureY = a.PictureY;
    FPictureMargins = a.PictureMargins;
    FTextAlignment = a.TextAlignment;
    FTextFormat = kKivDefaultTextFormat;
    if (a.TextTrimming != kttEllipsisWord) {
        FTextTrimming = a.TextTrimming;
        FTextFormat = ApplyTextTrimming(FTextFormat, a.TextTrimming);
    }
    if (!a.WordWrap) FTextFormat = ApplyWordWrap(FTextFormat, false);
    FTextX = a.TextX;
    FTextY = a.TextY;
    FTextMargins = a.TextMargins;
    FAutoSizeMaxWidth = a.AutoSizeMaxWidth;
    FAutoSizeMaxHeight = a.AutoSizeMaxHeight;
    OnClick = a.OnClick;

    DWORD style = WS_CHILD | WS_CLIPSIBLINGS | (a.Visible ? WS_VISIBLE : 0) | (a.TabStop ? WS_TABSTOP : 0) |
                  (a.Enabled ? 0 : WS_DISABLED);
    // No CS_DBLCLKS: a quick second click is a second press, as on a system button.
    if (!CreateWnd(ClassName(), WS_EX_NOPARENTNOTIFY, style, a.Caption, a.Left, a.Top, a.Width, a.Height, a.Parent,
                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(a.Id)), 0))
        return false;
    AfterCreate(a);
    if (!a.Hint.empty()) {
        FTooltip = ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP,
                                     CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, Handle(), nullptr,
                                     AppInstance(), nullptr);
        TOOLINFOW ti{sizeof ti};
        // The button hands its mouse messages to the tooltip itself (TTM_RELAYEVENT): a tooltip
        // that subclasses the window costs a detour on every message the button gets.
        ti.uFlags = TTF_IDISHWND;
        ti.hwnd = Handle();
        ti.uId = reinterpret_cast<UINT_PTR>(Handle());
        ti.lpszText = const_cast<wchar_t*>(a.Hint.c_str());
        if (FTooltip) ::SendMessageW(FTooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
    }
    if (a.AutoSize) SetAutoSize(true);
    return true;
}

// ---------------------------------------------------------------------------------------------
// Properties

std::wstring TKivCustomButton::Caption() const {
    if (!Handle()) return {};
    const int n = ::GetWindowTextLengthW(Handle());
    std::wstring s(static_cast<size_t>(n) + 1, L'\0');
    s.resize(static_cast<size_t>(::GetWindowTextW(Handle(), s.data(), n + 1)));
    return s;
}

void TKivCustomButton::SetCaption(const std::wstring& caption) {
    if (Handle()) ::SetWindowTextW(Handle(), caption.c_str());  // WM_SETTEXT repaints and re-sizes
}

bool TKivCustomButton::Enabled() const { return Handle() && ::IsWindowEnabled(Handle()); }
void TKivCustomButton::SetEnabled(bool enabled) {
    if (Handle()) ::EnableWindow(Handle(), enabled);
}
bool TKivCustomButton::Visible() const { return Handle() && (::GetWindowLongW(Handle(), GWL_STYLE) & WS_VISIBLE); }
void TKivCustomButton::SetVisible(bool visible) {
    if (Handle()) ::ShowWindow(Handle(), visible ? SW_SHOWNA : SW_HIDE);
}
bool TKivCustomButton::TabStop() const { return Handle() && (::GetWindowLongW(Handle(), GWL_STYLE) & WS_TABSTOP); }
void TKivCustomButton::SetTabStop(bool value) {
    if (!Handle() || value == TabStop()) return;
    LONG style = ::GetWindowLongW(Handle(), GWL_STYLE);
    ::SetWindowLongW(Handle(), GWL_STYLE, value ? style | WS_TABSTOP : style & ~WS_TABSTOP);
    Repaint();
}

bool TKivCustomButton::ActiveDefault() const {
    HWND focus = ::GetFocus();
    if (focus && dynamic_cast<TKivCustomButton*>(TWindow::FromHandle(focus)) &&
        ::GetAncestor(focus, GA_ROOT) == ::GetAncestor(Handle(), GA_ROOT))
        return focus == Handle();
    return FDefault;
}

void TKivCustomButton::Repaint() {
    if (Handle() && IsShowing(Handle())) ::InvalidateRect(Handle(), nullptr, FALSE);
}

void TKivCustomButton::SetTransparent(bool value) {
    if (value == FTransparent) return;
    FTransparent = value;
    Repaint();
}
void TKivCustomButton::SetColor(COLORREF value) {
    if (value == FColor) return;
    FColor = value;
    Repaint();
}
void TKivCustomButton::SetStretch(bool value) {
    if (value == FStretch) return;
    FStretch = value;
    Repaint();
}
void TKivCustomButton::SetDrawBorder(bool value) {
    if (value == FDrawBorder) return;
    FDrawBorder = value;
    Repaint();
}
void TKivCustomButton::SetDrawFocused(bool value) {
    if (value == FDrawFocused) return;
    FDrawFocused = value;
    Repaint();
}
void TKivCustomButton::SetFont(const TKivFont& font) {
    FFont = font;
    Repaint();
    ApplyAutoSize();
}
void TKivCustomButton::SetEnableMultiFonts(bool value) {
    FEnableMultiFonts = value;
    Repaint();
}
void TKivCustomButton::SetFontMouseHover(const TKivFont& font) {
    FFontMouseHover = font;
    Repaint();
}
void TKivCustomButton::SetFontMouseDown(const TKivFont& font) {
    FFontMouseDown = font;
    Repaint();
}
void TKivCustomButton::SetFontDisabled(const TKivFont& font) {
    FFontDisabled = font;
    Repaint();
}
void TKivCustomButton::SetPictureNormal(const TKivPicture& p) {
    FPictureNormal = p;
    Repaint();
}
void TKivCustomButton::SetPictureMouseHover(const TKivPicture& p) {
    FPictureMouseHover = p;
    Repaint();
}
void TKivCustomButton::SetPictureMouseDown(const TKivPicture& p) {
    FPictureMouseDown = p;
    Repaint();
}
void TKivCustomButton::SetPictureDisabled(const TKivPicture& p) {
    FPictureDisabled = p;
    Repaint();
}
void TKivCustomButton::SetPictures(const TKivPicture& normal, const TKivPicture& hover, const TKivPicture& down,
                                   const TKivPicture& disabled) {
    FPictureNormal = normal;
    FPictureMouseHover = hover;
    FPictureMouseDown = down;
    FPictureDisabled = disabled;
    Repaint();
}
void TKivCustomButton::SetPictureAlignment(TKivAlignment value) {
    if (value == FPictureAlignment) return;
    FPictureAlignment = value;
    Repaint();
}
void TKivCustomButton::SetPictureX(int value) {
    if (value == FPictureX) return;
    FPictureX = value;
    Repaint();
}
void TKivCustomButton::SetPictureY(int value) {
    if (value == FPictureY) return;
    FPictureY = value;
    Repaint();
}
void TKivCustomButton::SetPictureMargins(int value) {
    if (value == FPictureMargins) return;
    FPictureMargins = value;
    Repaint();
}
void TKivCustomButton::SetTextAlignment(TKivAlignment value) {
    if (value == FTextAlignment) return;
    FTextAlignment = value;
    Repaint();
}
void TKivCustomButton::SetTextTrimming(TKivTextTrimmingType value) {
    if (value == FTextTrimming) return;
    FTextTrimming = value;
    FTextFormat = ApplyTextTrimming(FTextFormat, value);
    Repaint();
}
void TKivCustomButton::SetWordWrap(bool value) {
    FTextFormat = ApplyWordWrap(FTextFormat, value);
    Repaint();
}
void TKivCustomButton::SetTextX(int value) {
    if (value == FTextX) return;
    FTextX = value;
    Repaint();
}
void TKivCustomButton::SetTextY(int value) {
    if (value == FTextY) return;
    FTextY = value;
    Repaint();
}
void TKivCustomButton::SetTextMargins(int value) {
    FTextMargins = value;
    ApplyAutoSize();
    Repaint();
}
void TKivCustomButton::SetAutoSize(bool value) {
    FAutoSize = value;
    ApplyAutoSize();
}
void TKivCustomButton::SetAutoSizeMaxWidth(int value) {
    FAutoSizeMaxWidth = value;
    ApplyAutoSize();
}
void TKivCustomButton::SetAutoSizeMaxHeight(int value) {
    FAutoSizeMaxHeight = value;
    ApplyAutoSize();
}
void TKivCustomButton::SetMargins(int picture, int text) {
    FPictureMargins = picture;
    FTextMargins = text;
    ApplyAutoSize();
    Repaint();
}

// The button takes the size of its caption (with the text margins on every side) and never less
// than its normal picture, within the limits.
void TKivCustomButton::ApplyAutoSize() {
    if (!FAutoSize || !Handle()) return;
    const int limitW = FAutoSizeMaxWidth > 2 ? FAutoSizeMaxWidth : ::GetSystemMetrics(SM_CXSCREEN);
    const int limitH = FAutoSizeMaxHeight > 2 ? FAutoSizeMaxHeight : ::GetSystemMetrics(SM_CYSCREEN);
    TMemDC dc(::CreateCompatibleDC(nullptr));
    TSelectObject font(dc.Get(), FFont.Handle());
    const std::wstring text = Caption();
    RECT r{0, 0, std::max(1, limitW - 2 - 2 * FTextMargins), std::max(1, limitH - 2 - 2 * FTextMargins)};
    ::DrawTextW(dc.Get(), text.c_str(), static_cast<int>(text.size()), &r,
                (FTextFormat & ~kKivPlacementFlags) | DT_CALCRECT);
    int w = (r.right - r.left) + 2 * FTextMargins, h = (r.bottom - r.top) + 2 * FTextMargins;
    w = std::max(w, FPictureNormal.Width() - 2);
    h = std::max(h, FPictureNormal.Height() - 2);
    if (FAutoSizeMaxWidth > 2) w = std::min(w, FAutoSizeMaxWidth - 2);
    if (FAutoSizeMaxHeight > 2) h = std::min(h, FAutoSizeMaxHeight - 2);
    ::SetWindowPos(Handle(), nullptr, 0, 0, w + 2, h + 2, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// ---------------------------------------------------------------------------------------------
// Painting

const TKivPicture& TKivCustomButton::CurrentPicture() const {
    const TKivPicture* p = &FPictureNormal;
    if (!Enabled())
        p = &FPictureDisabled;
    else if (FDown)
        p = &FPictureMouseDown;
    else if (FHover)
        p = &FPictureMouseHover;
    return p->Empty() ? FPictureNormal : *p;
}

const TKivFont& TKivCustomButton::CurrentFont() const {
    if (!FEnableMultiFonts) return FFont;
    if (!Enabled()) return FFontDisabled;
    if (FDown) return FFontMouseDown;
    if (FHover) return FFontMouseHover;
    return FFont;
}

TKivTextLayout TKivCustomButton::LayoutText(HDC dc, const std::wstring& text) const {
    RECT cr{};
    if (Handle()) ::GetClientRect(Handle(), &cr);
    return MeasureTextLayout(dc, text, FTextFormat, FTextAlignment, cr.right, cr.bottom, FTextX, FTextY, FTextMargins);
}

void TKivCustomButton::PaintPicture(HDC dc, const TKivPicture& picture) {
    if (picture.Empty()) return;
    RECT cr{};
    ::GetClientRect(Handle(), &cr);
    const int m = FPictureMargins;
    if (FStretch) {
        picture.DrawStretched(dc, RECT{m, m, cr.right - m, cr.bottom - m});
    } else {
        const POINT p = PlacePicture(FPictureAlignment, cr.right, cr.bottom, picture.Width(), picture.Height(),
                                     FPictureX, FPictureY, m);
        picture.Draw(dc, p.x, p.y);
    }
}

void TKivCustomButton::PaintText(HDC dc, const std::wstring& text) {
    if (text.empty()) return;
    const TKivFont& font = CurrentFont();
    TSelectObject selectFont(dc, font.Handle());
    const COLORREF oldColor = ::SetTextColor(dc, font.Color());
    const int oldMode = ::SetBkMode(dc, TRANSPARENT);
    TKivTextLayout layout = LayoutText(dc, text);
    if (FDown) ::OffsetRect(&layout.Box, 1, 1);
    ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &layout.Box, layout.Flags);
    ::SetBkMode(dc, oldMode);
    ::SetTextColor(dc, oldColor);
}

void TKivCustomButton::Render(HDC dc) {
    RECT cr{};
    ::GetClientRect(Handle(), &cr);
    if (FTransparent) {
        PaintParentBackground(dc, Handle());
    } else {
        TBrush brush(::CreateSolidBrush(FColor));
        ::FillRect(dc, &cr, brush.Get());
    }
    PaintPicture(dc, CurrentPicture());
    if (FDrawBorder) PaintBorder(dc);
    if (FDrawFocused && Focused() && TabStop()) PaintFocus(dc);
    PaintText(dc, Caption());
}

// ---------------------------------------------------------------------------------------------
// Behaviour

void TKivCustomButton::SetState(bool hover, bool down) {
    if (hover == FHover && down == FDown) return;
    FHover = hover;
    FDown = down;
    Repaint();
}

void TKivCustomButton::CancelPress() {
    FMouseTracking = false;
    FKeyPressed = false;
    SetState(FMouseInside, false);
}

void TKivCustomButton::Click() {
    if (!Handle()) return;
    SetState(FMouseInside, false);
    HWND root = ::GetAncestor(Handle(), GA_ROOT);
    sk::SetModalResult(root, FModalResult);
    const std::wstring url = FURL;
    const auto onClick = OnClick;  // the handler may destroy this button
    if (url.find_first_not_of(L" \t\r\n") != std::wstring::npos) OpenKivLink(root, url);
    if (onClick) onClick();
}

LRESULT TKivCustomButton::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (FTooltip && msg >= WM_MOUSEFIRST && msg <= WM_MOUSELAST) RelayToTooltip(FTooltip, Handle(), msg, wParam, lParam);
    switch (msg) {
        case WM_NCDESTROY:
            FDestroying = true;
            if (FTooltip) {
                ::DestroyWindow(FTooltip);
                FTooltip = nullptr;
            }
            break;
        case WM_ERASEBKGND: return 1;
        case WM_SIZE:
            FBuffer.Free();
            Repaint();
            break;
        case WM_MOVE:
            Repaint();  // a transparent button shows a new background
            break;
        case WM_PAINT: {
            TPaintDC pdc(Handle());
            if (FDestroying) return 0;
            RECT cr{};
            ::GetClientRect(Handle(), &cr);
            if (!FBuffer.Ensure(cr.right, cr.bottom)) return 0;
            Render(FBuffer.DC());
            const RECT& u = pdc.Paint().rcPaint;
            ::BitBlt(pdc.Get(), u.left, u.top, u.right - u.left, u.bottom - u.top, FBuffer.DC(), u.left, u.top,
                     SRCCOPY);
            return 0;
        }
        case WM_PRINTCLIENT:
            if (!FDestroying) Render(reinterpret_cast<HDC>(wParam));
            return 0;
        case WM_SETTEXT: {
            const LRESULT r = DefaultMessage(msg, wParam, lParam);
            Repaint();
            ApplyAutoSize();
            return r;
        }
        case WM_ENABLE:
            FMouseTracking = FKeyPressed = false;
            FHover = FDown = false;
            Repaint();
            return 0;
        case WM_SETFOCUS:
            Repaint();
            if (OnEnter) OnEnter();
            return 0;
        case WM_KILLFOCUS:
            if (FKeyPressed) CancelPress();
            Repaint();
            if (OnExit) OnExit();
            return 0;
        case WM_GETDLGCODE: {
            LRESULT code = DLGC_BUTTON;
            const MSG* m = reinterpret_cast<const MSG*>(lParam);
            if (m && m->message == WM_KEYDOWN && m->wParam == VK_RETURN) code |= DLGC_WANTMESSAGE;
            return code;
        }
        case BM_CLICK:
            if (Enabled()) Click();
            return 0;
        case WM_MOUSEMOVE: {
            const POINT p{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
            MouseMoveHook(p, wParam);
            RECT cr{};
            ::GetClientRect(Handle(), &cr);
            const bool inside = ::PtInRect(&cr, p) != FALSE;
            if (!FMouseInside && inside) {
                FMouseInside = true;
                TRACKMOUSEEVENT tme{sizeof tme, TME_LEAVE, Handle(), 0};
                ::TrackMouseEvent(&tme);
                if (!FMouseTracking) {
                    SetState(true, false);
                    if (OnMouseEnter) OnMouseEnter();
                }
            } else if (FMouseInside && !inside) {
                FMouseInside = false;  // only while the mouse is captured
            }
            // A held press shows as pressed only while the pointer is over the button, as on a
            // system push button.
            if (FMouseTracking)
                SetState(inside, inside);
            else if (!inside)
                SetState(false, false);
            return 0;
        }
        case WM_MOUSELEAVE:
            if (FMouseTracking) {
                FMouseInside = false;  // the release decides
                return 0;
            }
            FMouseInside = false;
            SetState(false, false);
            if (OnMouseExit) OnMouseExit();
            return 0;
        case WM_LBUTTONDOWN: {
            if (!Enabled()) return 0;
            const POINT p{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
            MouseDownHook(TKivMouseEvent{kmbLeft, p, wParam});
            if (!Handle()) return 0;
            FMouseTracking = true;
            SetState(false, true);
            if (TabStop()) ::SetFocus(Handle());
            ::SetCapture(Handle());
            return 0;
        }
        case WM_RBUTTONDOWN:
        case WM_MBUTTONDOWN:
            MouseDownHook(TKivMouseEvent{
                msg == WM_RBUTTONDOWN ? kmbRight : kmbMiddle, {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)}, wParam});
            return 0;
        case WM_RBUTTONUP:
        case WM_MBUTTONUP:
            MouseUpHook(TKivMouseEvent{
                msg == WM_RBUTTONUP ? kmbRight : kmbMiddle, {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)}, wParam});
            return 0;
        case WM_LBUTTONUP: {
            const POINT p{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
            RECT cr{};
            ::GetClientRect(Handle(), &cr);
            const bool inside = ::PtInRect(&cr, p) != FALSE;
            const bool wasPressed = FMouseTracking;
            FMouseTracking = false;
            if (::GetCapture() == Handle()) ::ReleaseCapture();
            FMouseInside = inside;
            SetState(inside, false);
            MouseUpHook(TKivMouseEvent{kmbLeft, p, wParam});
            if (wasPressed && inside && Handle()) Click();
            return 0;
        }
        case WM_CAPTURECHANGED:
            if (FMouseTracking && reinterpret_cast<HWND>(lParam) != Handle()) CancelPress();
            return 0;
        case WM_KEYDOWN:
        case WM_KEYUP:
        case WM_SYSKEYDOWN:
        case WM_SYSKEYUP:
            if (KeyHook(msg, wParam)) return 0;
            if (msg == WM_KEYDOWN && wParam == VK_SPACE && !(lParam & (1 << 30))) {
                FKeyPressed = true;
                SetState(false, true);
                return 0;
            }
            if (msg == WM_KEYUP && wParam == VK_SPACE && FKeyPressed) {
                FKeyPressed = false;
                SetState(FHover, false);
                if (Enabled()) Click();
                return 0;
            }
            if (msg == WM_KEYDOWN && wParam == VK_RETURN) {
                // The focused skinned button is the active default one: Enter clicks it at once.
                if (Enabled()) Click();
                return 0;
            }
            break;
        case WM_CHAR:
            if (wParam == L' ' || wParam == L'\r') return 0;
            break;
    }
    return DefaultMessage(msg, wParam, lParam);
}

// ---------------------------------------------------------------------------------------------
// Window-level keys and modal windows

namespace {
wchar_t UpperChar(wchar_t c) {
    // The system's case mapping, which knows every letter (the C library's depends on its locale).
    ::CharUpperBuffW(&c, 1);
    return c;
}
}  // namespace

wchar_t AcceleratorOf(const std::wstring& caption) {
    for (size_t i = 0; i + 1 < caption.size(); ++i) {
        if (caption[i] != L'&') continue;
        if (caption[i + 1] == L'&') {
            ++i;  // "&&" is a literal ampersand
            continue;
        }
        return UpperChar(caption[i + 1]);
    }
    return 0;
}

namespace {

// The skinned buttons of a top-level window that can take the focus (shown and enabled, with every
// parent), in z-order.
std::vector<TKivCustomButton*> UsableButtons(HWND root) {
    std::vector<TKivCustomButton*> out;
    ::EnumChildWindows(
        root,
        [](HWND wnd, LPARAM lp) -> BOOL {
            if (auto* b = dynamic_cast<TKivCustomButton*>(TWindow::FromHandle(wnd))) {
                if (::IsWindowVisible(wnd) && ::IsWindowEnabled(wnd)) {
                    bool ok = true;
                    for (HWND p = ::GetParent(wnd); p && ok; p = ::GetParent(p)) {
                        ok = ::IsWindowEnabled(p) != FALSE;
                        if (!(::GetWindowLongW(p, GWL_STYLE) & WS_CHILD)) break;
                    }
                    if (ok) reinterpret_cast<std::vector<TKivCustomButton*>*>(lp)->push_back(b);
                }
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&out));
    return out;
}

bool ModifierHeld() {
    return ::GetKeyState(VK_SHIFT) < 0 || ::GetKeyState(VK_CONTROL) < 0 || ::GetKeyState(VK_MENU) < 0;
}

}  // namespace

bool HandleKivDialogKey(const MSG& msg) {
    if (!msg.hwnd) return false;
    HWND root = ::GetAncestor(msg.hwnd, GA_ROOT);
    if (!root) return false;
    HWND focus = ::GetFocus();
    if (focus && ::GetAncestor(focus, GA_ROOT) != root) focus = nullptr;
    TKivCustomButton* focusedButton = focus ? dynamic_cast<TKivCustomButton*>(TWindow::FromHandle(focus)) : nullptr;

    if (msg.message == WM_KEYDOWN && (msg.wParam == VK_RETURN || msg.wParam == VK_ESCAPE)) {
        if (ModifierHeld()) return false;
        if (focusedButton) {
            if (msg.wParam == VK_RETURN) return false;  // the focused button clicks itself
        } else if (focus) {
            // A control that takes these keys itself (a multi-line edit box, a list in edit mode)
            // keeps them.
            const LRESULT code = ::SendMessageW(focus, WM_GETDLGCODE, msg.wParam, reinterpret_cast<LPARAM>(&msg));
            if (code & DLGC_WANTMESSAGE) return false;
        }
        for (TKivCustomButton* b : UsableButtons(root)) {
            if (msg.wParam == VK_RETURN ? b->ActiveDefault() : b->Cancel()) {
                b->Click();
                return true;
            }
        }
        return false;
    }

    const bool sysChar = msg.message == WM_SYSCHAR;
    if (sysChar || msg.message == WM_CHAR) {
        if (!sysChar) {
            if (msg.wParam < L' ' || ::GetKeyState(VK_CONTROL) < 0) return false;
            if (focus && !focusedButton &&
                (::SendMessageW(focus, WM_GETDLGCODE, 0, reinterpret_cast<LPARAM>(&msg)) &
                 (DLGC_WANTCHARS | DLGC_HASSETSEL)))
                return false;
        }
        const wchar_t key = UpperChar(static_cast<wchar_t>(msg.wParam));
        for (TKivCustomButton* b : UsableButtons(root)) {
            if (AcceleratorOf(b->Caption()) == key) {
                b->Click();
                return true;
            }
        }
    }
    return false;
}

int ShowModal(HWND window) {
    if (!window || !::IsWindow(window)) return IDCANCEL;
    HWND owner = ::GetWindow(window, GW_OWNER);
    const bool ownerWasEnabled = owner && ::IsWindowEnabled(owner);
    sk::SetModalResult(window, 0);
    if (owner) ::EnableWindow(owner, FALSE);
    ::ShowWindow(window, SW_SHOW);
    ::SetForegroundWindow(window);

    int result = 0;
    MSG msg;
    while (::IsWindow(window) && (result = ModalResult(window)) == 0) {
        const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) {
            ::PostQuitMessage(static_cast<int>(msg.wParam));  // the program ends: leave the loop too
            break;
        }
        if (got < 0) break;
        if (HandleKivDialogKey(msg)) continue;
        if (::IsWindow(window) && ::IsDialogMessageW(window, &msg)) continue;
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    if (!::IsWindow(window))
        result = IDCANCEL;
    else if (result == 0)
        result = IDCANCEL;
    // The owner comes back before the box goes, so that it is the window activated next.
    if (owner && ownerWasEnabled) ::EnableWindow(owner, TRUE);
    if (::IsWindow(window)) {
        ::ShowWindow(window, SW_HIDE);
        sk::SetModalResult(window, 0);
    }
    if (owner && ::IsWindow(owner)) ::SetActiveWindow(owner);
    return result;
}

}  // namespace sk
