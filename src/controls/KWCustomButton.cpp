#include "controls/KWCustomButton.h"

#include <commctrl.h>
#include <oleacc.h>
#include <windowsx.h>

#include <algorithm>
#include <vector>

#include "base/Format.h"
#include "base/Handles.h"
#include "base/StringTable.h"
#include "controls/KWFocus.h"
#include "controls/KWGraphicControl.h"
#include "controls/KWImagePanel.h"
#include "controls/KWTheme.h"

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
    if (!CreateChild(ClassName(), WS_EX_NOPARENTNOTIFY, style, a.Caption,
                     RECT{a.Left, a.Top, a.Left + a.Width, a.Top + a.Height}, a.Parent, a.Id, 0))
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
// than its normal picture, within the limits. Measured in pixels with the font at the button's
// scale; the size is kept in the layout, rounded up so that the caption fits.
void TKivCustomButton::ApplyAutoSize() {
    if (!FArgs.AutoSize || !Handle()) return;
    const TKivButtonArgs& a = FArgs;
    const TDisplayScale scale = Scale();
    const int limitW = a.AutoSizeMaxWidth > 2 ? a.AutoSizeMaxWidth : scale.Unscale(::GetSystemMetrics(SM_CXSCREEN));
    const int limitH = a.AutoSizeMaxHeight > 2 ? a.AutoSizeMaxHeight : scale.Unscale(::GetSystemMetrics(SM_CYSCREEN));
    TMemDC dc(::CreateCompatibleDC(nullptr));
    TSelectObject font(dc.Get(), Font().HandleAt(scale));
    const std::wstring text = DisplayCaption();
    RECT r{0, 0, std::max(1, scale.Scale(limitW - 2 - 2 * a.TextMargins)),
           std::max(1, scale.Scale(limitH - 2 - 2 * a.TextMargins))};
    ::DrawTextW(dc.Get(), text.c_str(), static_cast<int>(text.size()), &r,
                (FTextFormat & ~kKivPlacementFlags) | DT_CALCRECT);
    int w = scale.UnscaleUp(r.right - r.left) + 2 * a.TextMargins, h = scale.UnscaleUp(r.bottom - r.top) + 2 * a.TextMargins;
    w = std::max(w, a.Pictures.Normal.LayoutWidth() - 2);
    h = std::max(h, a.Pictures.Normal.LayoutHeight() - 2);
    if (a.AutoSizeMaxWidth > 2) w = std::min(w, a.AutoSizeMaxWidth - 2);
    if (a.AutoSizeMaxHeight > 2) h = std::min(h, a.AutoSizeMaxHeight - 2);
    const RECT at = LayoutRect();
    SetLayoutRect(RECT{at.left, at.top, at.left + w + 2, at.top + h + 2});
}

void TKivCustomButton::OnDpiChanged(int) {
    FBuffer.Free();
    ApplyAutoSize();
    Repaint();
}

wchar_t TKivCustomButton::Mnemonic() const { return AcceleratorOf(DisplayCaption()); }

std::wstring TKivCustomButton::DisplayCaption() const {
    const std::wstring caption = Caption();
    if (FTextFormat & DT_NOPREFIX) return caption;  // an "&" is drawn as itself
    return WithMnemonic(caption, FArgs.Mnemonic);
}

TKivAccessibleView TKivCustomButton::AccessibleView() {
    TKivAccessibleView view;
    TKivAccessibleItem& self = view.Self;
    self.Role = ROLE_SYSTEM_PUSHBUTTON;
    const std::wstring caption = (FTextFormat & DT_NOPREFIX) ? Caption() : WithoutMnemonicMarks(Caption());
    self.Name = caption.find_first_not_of(L" \t\r\n") == std::wstring::npos ? FArgs.Hint : caption;
    if (!Visible()) self.State |= STATE_SYSTEM_INVISIBLE;
    if (!Enabled()) self.State |= STATE_SYSTEM_UNAVAILABLE;
    if (TabStop()) self.State |= STATE_SYSTEM_FOCUSABLE;
    if (Focused()) self.State |= STATE_SYSTEM_FOCUSED;
    if (FDown) self.State |= STATE_SYSTEM_PRESSED;
    if (FArgs.Default && ActiveDefault()) self.State |= STATE_SYSTEM_DEFAULT;
    self.DefaultAction = IDS_SURFKEEP_AccPress;
    if (const wchar_t key = Mnemonic()) self.KeyboardShortcut = Fmt(IDS_SURFKEEP_AccShortcut, std::wstring(1, key));
    ::GetWindowRect(Handle(), &self.Screen);
    self.DoDefault = [this] {
        if (Enabled()) Click();
    };
    return view;
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
    const TDisplayScale s = Scale();
    return MeasureTextLayout(dc, text, FTextFormat, FArgs.TextAlignment, cr.right, cr.bottom, s.Scale(FArgs.TextX),
                             s.Scale(FArgs.TextY), s.Scale(FArgs.TextMargins));
}

void TKivCustomButton::PaintPicture(HDC dc, const TKivPicture& layoutPicture) {
    if (layoutPicture.Empty()) return;
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

void TKivCustomButton::PaintText(HDC dc, const std::wstring& caption) {
    if (caption.empty()) return;
    // The mnemonic is underlined while the keyboard cues show (Alt pressed, or always by choice);
    // otherwise the caption shows without its marks (DT_HIDEPREFIX, which Wine's DrawText ignores).
    std::wstring text = caption;
    bool prefix = !(FTextFormat & DT_NOPREFIX);
    if (prefix) {
        text = WithMnemonic(caption, FArgs.Mnemonic);
        if (!KeyboardCuesShown(Handle())) {
            text = WithoutMnemonicMarks(text);
            prefix = false;
        }
    }
    const TKivFont& font = CurrentFont();
    TSelectObject selectFont(dc, font.HandleAt(Scale()));
    COLORREF color = font.Color();
    if (KivHighContrast())
        color = ::GetSysColor(!Enabled() ? COLOR_GRAYTEXT : (FHover || FDown) ? COLOR_HIGHLIGHTTEXT : COLOR_BTNTEXT);
    const COLORREF oldColor = ::SetTextColor(dc, color);
    const int oldMode = ::SetBkMode(dc, TRANSPARENT);
    TKivTextLayout layout = LayoutText(dc, text);
    if (!prefix) layout.Flags |= DT_NOPREFIX;
    if (FDown) ::OffsetRect(&layout.Box, 1, 1);
    ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &layout.Box, layout.Flags);
    ::SetBkMode(dc, oldMode);
    ::SetTextColor(dc, oldColor);
}

void TKivCustomButton::RenderHighContrast(HDC dc) {
    RECT cr{};
    ::GetClientRect(Handle(), &cr);
    const bool lit = Enabled() && (FHover || FDown);
    ::FillRect(dc, &cr, ::GetSysColorBrush(lit ? COLOR_HIGHLIGHT : COLOR_BTNFACE));
    const int edge = std::max(1, ToPixels(1));
    RECT frame = cr;
    for (int i = 0; i < edge; ++i) {
        ::FrameRect(dc, &frame, ::GetSysColorBrush(Enabled() ? COLOR_BTNTEXT : COLOR_GRAYTEXT));
        ::InflateRect(&frame, -1, -1);
    }
    const std::wstring caption = Caption();
    if (caption.empty() && FArgs.Glyph) {
        // The picture's meaning as a character, in a bold font of two thirds of the button's height.
        const TFontLook glyphFont{L"Tahoma", std::max(8, (FArgs.Height * 2) / 3), true};
        TSelectObject selectFont(dc, ProgramFont(glyphFont, Dpi()));
        const COLORREF old = ::SetTextColor(
            dc, ::GetSysColor(!Enabled() ? COLOR_GRAYTEXT : lit ? COLOR_HIGHLIGHTTEXT : COLOR_BTNTEXT));
        const int oldMode = ::SetBkMode(dc, TRANSPARENT);
        RECT box = cr;
        ::DrawTextW(dc, &FArgs.Glyph, 1, &box, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
        ::SetBkMode(dc, oldMode);
        ::SetTextColor(dc, old);
    } else {
        PaintText(dc, caption);
    }
    if (Focused() && TabStop() && !FDown) {
        RECT f = cr;
        ::InflateRect(&f, -(edge + 2), -(edge + 2));
        const COLORREF text = ::SetTextColor(dc, RGB(0, 0, 0)), back = ::SetBkColor(dc, RGB(255, 255, 255));
        ::DrawFocusRect(dc, &f);
        ::SetTextColor(dc, text);
        ::SetBkColor(dc, back);
    }
}

void TKivCustomButton::Render(HDC dc) {
    if (KivHighContrast()) return RenderHighContrast(dc);
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
        case WM_UPDATEUISTATE:
        case WM_SYSCOLORCHANGE: {
            const LRESULT r = DefaultMessage(msg, wParam, lParam);
            Repaint();
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

std::wstring WithMnemonic(const std::wstring& caption, wchar_t mnemonic) {
    if (!mnemonic || AcceleratorOf(caption)) return caption;
    const wchar_t key = UpperChar(mnemonic);
    for (size_t i = 0; i < caption.size(); ++i) {
        if (caption[i] == L'&') {
            ++i;  // "&&", a literal ampersand
            continue;
        }
        if (UpperChar(caption[i]) == key) return caption.substr(0, i) + L'&' + caption.substr(i);
    }
    return caption;
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

    if (msg.message == WM_KEYDOWN && msg.wParam == VK_TAB && ::GetKeyState(VK_CONTROL) >= 0 &&
        ::GetKeyState(VK_MENU) >= 0) {
        // Through the controls in reading order, links included; a control that takes Tab keeps it.
        if (focus && (::SendMessageW(focus, WM_GETDLGCODE, VK_TAB, reinterpret_cast<LPARAM>(&msg)) & DLGC_WANTTAB))
            return false;
        return MoveFocus(root, ::GetKeyState(VK_SHIFT) < 0);
    }
    if (msg.message == WM_SYSKEYDOWN && msg.wParam == VK_MENU) {
        // Alt shows the mnemonics from now on.
        ShowKeyboardCues(root);
        return false;
    }

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
            if (b->Mnemonic() == key) {
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
    // Where the keyboard was, to go back there when the box closes.
    const HWND focusBefore = ::GetFocus();
    sk::SetModalResult(window, 0);
    if (owner) ::EnableWindow(owner, FALSE);
    ::ShowWindow(window, SW_SHOW);
    ::SetForegroundWindow(window);
    const HWND focusNow = ::GetFocus();
    if (!focusNow || focusNow == window || !::IsChild(window, focusNow)) {
        // The keyboard starts on the default button, or on the first control of the box.
        bool placed = false;
        for (TKivCustomButton* b : UsableButtons(window)) {
            if (b->ActiveDefault() && b->TabStop()) {
                ::SetFocus(b->Handle());
                placed = true;
                break;
            }
        }
        if (!placed) FocusFirstIn(window);
    }

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
        if (msg.message == WM_KEYDOWN && ::IsWindow(window) && (msg.hwnd == window || ::IsChild(window, msg.hwnd))) {
            if (msg.wParam == VK_ESCAPE && ::GetKeyState(VK_MENU) >= 0) {
                // No cancel button took it: Esc closes the box as Alt+F4 does.
                ::SendMessageW(window, WM_CLOSE, 0, 0);
                continue;
            }
            if (msg.wParam == VK_F1) {
                // The box passes the request for help to its owner (DefWindowProc).
                HELPINFO help{sizeof help, HELPINFO_WINDOW, 0, msg.hwnd, 0, {}};
                ::SendMessageW(window, WM_HELP, 0, reinterpret_cast<LPARAM>(&help));
                continue;
            }
        }
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
    if (focusBefore && ::IsWindow(focusBefore) && focusBefore != window && !::IsChild(window, focusBefore) &&
        IsShowing(focusBefore) && ::IsWindowEnabled(focusBefore))
        ::SetFocus(focusBefore);
    return result;
}

}  // namespace sk
