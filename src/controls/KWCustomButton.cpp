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

namespace {

// The DrawText flags of a caption: the default ones, with the trimming and the word wrap applied
// when they are not the default's.
UINT TextFormatOf(const TKivButtonArgs& a) {
    UINT format = kKivDefaultTextFormat;
    if (a.TextTrimming != kttEllipsisWord) format = ApplyTextTrimming(format, a.TextTrimming);
    if (!a.WordWrap) format = ApplyWordWrap(format, false);
    return format;
}

}  // namespace

bool TKivCustomButton::Create(const TKivButtonArgs& a) {
    FArgs = a;
    OnClick = std::move(FArgs.OnClick);
    FArgs.OnClick = nullptr;
    FTextFormat = TextFormatOf(a);

    DWORD style = WS_CHILD | WS_CLIPSIBLINGS | (a.Visible ? WS_VISIBLE : 0) | (a.TabStop ? WS_TABSTOP : 0) |
                  (a.Enabled ? 0 : WS_DISABLED);
    // No CS_DBLCLKS: a quick second click is a second press, as on a system button.
    if (!CreateWnd(ClassName(), WS_EX_NOPARENTNOTIFY, style, a.Caption, a.Left, a.Top, a.Width, a.Height, a.Parent,
                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(a.Id)), 0))
        return false;
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
    ApplyAutoSize();
    return true;
}

void TKivCustomButton::Change(const std::function<void(TKivButtonArgs&)>& edit) {
    const TKivTextTrimmingType trimming = FArgs.TextTrimming;
    const bool wordWrap = FArgs.WordWrap;
    edit(FArgs);
    if (FArgs.TextTrimming != trimming) FTextFormat = ApplyTextTrimming(FTextFormat, FArgs.TextTrimming);
    if (FArgs.WordWrap != wordWrap) FTextFormat = ApplyWordWrap(FTextFormat, FArgs.WordWrap);
    ApplyAutoSize();
    Repaint();
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

bool TKivCustomButton::ActiveDefault() const {
    HWND focus = ::GetFocus();
    if (focus && dynamic_cast<TKivCustomButton*>(TWindow::FromHandle(focus)) &&
        ::GetAncestor(focus, GA_ROOT) == ::GetAncestor(Handle(), GA_ROOT))
        return focus == Handle();
    return FArgs.Default;
}

void TKivCustomButton::Repaint() {
    if (Handle() && IsShowing(Handle())) ::InvalidateRect(Handle(), nullptr, FALSE);
}

void TKivCustomButton::SetEnableMultiFonts(bool value) {
    Change([value](TKivButtonArgs& a) { a.EnableMultiFonts = value; });
}

// The button takes the size of its caption (with the text margins on every side) and never less
// than its normal picture, within the limits.
void TKivCustomButton::ApplyAutoSize() {
    if (!FArgs.AutoSize || !Handle()) return;
    const TKivButtonArgs& a = FArgs;
    const int limitW = a.AutoSizeMaxWidth > 2 ? a.AutoSizeMaxWidth : ::GetSystemMetrics(SM_CXSCREEN);
    const int limitH = a.AutoSizeMaxHeight > 2 ? a.AutoSizeMaxHeight : ::GetSystemMetrics(SM_CYSCREEN);
    TMemDC dc(::CreateCompatibleDC(nullptr));
    TSelectObject font(dc.Get(), Font().Handle());
    const std::wstring text = Caption();
    RECT r{0, 0, std::max(1, limitW - 2 - 2 * a.TextMargins), std::max(1, limitH - 2 - 2 * a.TextMargins)};
    ::DrawTextW(dc.Get(), text.c_str(), static_cast<int>(text.size()), &r,
                (FTextFormat & ~kKivPlacementFlags) | DT_CALCRECT);
    int w = (r.right - r.left) + 2 * a.TextMargins, h = (r.bottom - r.top) + 2 * a.TextMargins;
    w = std::max(w, a.Pictures.Normal.Width() - 2);
    h = std::max(h, a.Pictures.Normal.Height() - 2);
    if (a.AutoSizeMaxWidth > 2) w = std::min(w, a.AutoSizeMaxWidth - 2);
    if (a.AutoSizeMaxHeight > 2) h = std::min(h, a.AutoSizeMaxHeight - 2);
    ::SetWindowPos(Handle(), nullptr, 0, 0, w + 2, h + 2, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// ---------------------------------------------------------------------------------------------
// Painting

const TKivPicture& TKivCustomButton::CurrentPicture() const {
    const TKivPicture& p = FArgs.Pictures[State()];
    return p.Empty() ? FArgs.Pictures.Normal : p;
}

const TKivFont& TKivCustomButton::CurrentFont() const {
    return FArgs.EnableMultiFonts ? FArgs.Fonts[State()] : FArgs.Fonts.Normal;
}

TKivTextLayout TKivCustomButton::LayoutText(HDC dc, const std::wstring& text) const {
    RECT cr{};
    if (Handle()) ::GetClientRect(Handle(), &cr);
    return MeasureTextLayout(dc, text, FTextFormat, FArgs.TextAlignment, cr.right, cr.bottom, FArgs.TextX, FArgs.TextY,
                             FArgs.TextMargins);
}

void TKivCustomButton::PaintPicture(HDC dc, const TKivPicture& picture) {
    if (picture.Empty()) return;
    RECT cr{};
    ::GetClientRect(Handle(), &cr);
    const int m = FArgs.PictureMargins;
    if (FArgs.Stretch) {
        picture.DrawStretched(dc, RECT{m, m, cr.right - m, cr.bottom - m});
    } else {
        const POINT p = PlacePicture(FArgs.PictureAlignment, cr.right, cr.bottom, picture.Width(), picture.Height(),
                                     FArgs.PictureX, FArgs.PictureY, m);
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
    if (FArgs.Transparent) {
        PaintParentBackground(dc, Handle());
    } else {
        TBrush brush(::CreateSolidBrush(FArgs.Color));
        ::FillRect(dc, &cr, brush.Get());
    }
    PaintPicture(dc, CurrentPicture());
    if (FArgs.DrawBorder) PaintBorder(dc);
    if (FArgs.DrawFocused && Focused() && TabStop()) PaintFocus(dc);
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
    sk::SetModalResult(root, FArgs.ModalResult);
    const std::wstring url = FArgs.URL;
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
