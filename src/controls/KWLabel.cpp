#include "controls/KWLabel.h"

#include <oleacc.h>

#include <algorithm>

#include "base/Handles.h"
#include "base/StringTable.h"
#include "controls/KWAccessible.h"
#include "controls/KWTheme.h"

namespace sk {

namespace {

std::wstring TrimmedUrl(const std::wstring& url) {
    const size_t b = url.find_first_not_of(L" \t\r\n");
    return b == std::wstring::npos ? std::wstring() : url.substr(b, url.find_last_not_of(L" \t\r\n") - b + 1);
}

// The multi-font flag that gives a state a font of its own.
TKivMultiFontsFlag FontsFlagOf(TKivState state) {
    switch (state) {
        case ksHover: return kmfMouseHover;
        case ksDown: return kmfMouseDown;
        default: return kmfDisabled;
    }
}

}  // namespace

void TKivCustomLabel::Create(const TKivLabelArgs& a) {
    FCreating = true;
    FArgs = a;
    FArgs.URL = TrimmedUrl(a.URL);
    // A label shows data and status texts (an address "?a=1&b=2", an add-on called "&Translate"),
    // never a mnemonic: it cannot take the focus. Its "&" is drawn as itself.
    FTextFormat = kKivDefaultTextFormat | DT_NOPREFIX;
    if (a.TextTrimming != kttEllipsisWord) FTextFormat = ApplyTextTrimming(FTextFormat, a.TextTrimming);
    if (!a.WordWrap) FTextFormat = ApplyWordWrap(FTextFormat, false);
    OnClick = std::move(FArgs.OnClick);
    FArgs.OnClick = nullptr;
    SetCursor(a.Cursor);
    SetHint(a.Hint);
    SetTabStop(a.TabStop);
    SetEnabled(a.Enabled);
    SetVisible(a.Visible);
    FCreating = false;
    Place(a.Parent, a.Left, a.Top, a.Width, a.Height);
}

void TKivCustomLabel::Remeasure() {
    if (FCreating) return;
    if (FArgs.AutoSize) ApplyAutoSize();
    Invalidate();
}

void TKivCustomLabel::Change(const std::function<void(TKivLabelArgs&)>& edit) {
    const TKivTextTrimmingType trimming = FArgs.TextTrimming;
    const bool wordWrap = FArgs.WordWrap;
    edit(FArgs);
    FArgs.URL = TrimmedUrl(FArgs.URL);
    if (FArgs.TextTrimming != trimming) FTextFormat = ApplyTextTrimming(FTextFormat, FArgs.TextTrimming);
    if (FArgs.WordWrap != wordWrap) FTextFormat = ApplyWordWrap(FTextFormat, FArgs.WordWrap);
    SetTabStop(FArgs.TabStop);
    Remeasure();
}

void TKivCustomLabel::SetCaption(const std::wstring& caption) {
    if (caption == FArgs.Caption) return;
    FArgs.Caption = caption;
    Remeasure();
}
void TKivCustomLabel::SetAutoSizeMaxWidth(int value) {
    if (value == FArgs.AutoSizeMaxWidth) return;
    FArgs.AutoSizeMaxWidth = value;
    Remeasure();
}
void TKivCustomLabel::SetFontsFlags(TKivMultiFontsFlags value) {
    if (value == FArgs.FontsFlags) return;
    FArgs.FontsFlags = value;
    Invalidate();
}
void TKivCustomLabel::SetURL(const std::wstring& url) { FArgs.URL = TrimmedUrl(url); }

TKivTextLayout TKivCustomLabel::CalcTextLayout(HDC dc) const {
    // In pixels: the layout's offsets and margins at the window's scale.
    const TDisplayScale s = Scale();
    return MeasureTextLayout(dc, FArgs.Caption, FTextFormat, FArgs.TextAlignment, PixelWidth(), PixelHeight(),
                             s.Scale(FArgs.TextX), s.Scale(FArgs.TextY), s.Scale(FArgs.TextMargins));
}

void TKivCustomLabel::ApplyAutoSize() {
    const SIZE parent = ParentClientSize();
    const bool hasParent = Parent() != nullptr;
    auto limit = [&](int max, int parentExtent, int edge) {
        if (max > 2) return max;
        if (hasParent && max >= 0) return std::max(2, parentExtent - edge);
        return 65535;
    };
    const int limitW = limit(FArgs.AutoSizeMaxWidth, parent.cx, Left());
    const int limitH = limit(FArgs.AutoSizeMaxHeight, parent.cy, Top());
    // Measured in pixels with the font at the window's scale; the size goes back to the layout
    // rounded up, so that the text fits whole at the scale.
    const TDisplayScale scale = Scale();
    TMemDC dc(::CreateCompatibleDC(nullptr));
    TSelectObject font(dc.Get(), Font().HandleAt(scale));
    const std::wstring& caption = FArgs.Caption;
    RECT r{0, 0, scale.Scale(std::min(limitW, 65535)), scale.Scale(std::min(limitH, 65535))};
    ::DrawTextW(dc.Get(), caption.c_str(), static_cast<int>(caption.size()), &r, FTextFormat | DT_CALCRECT);
    int w = std::max<int>(2, scale.UnscaleUp(r.right - r.left)), h = std::max<int>(2, scale.UnscaleUp(r.bottom - r.top));
    if (FArgs.AutoSizeMaxWidth > 2) w = std::min(w, FArgs.AutoSizeMaxWidth - 2);
    if (FArgs.AutoSizeMaxHeight > 2) h = std::min(h, FArgs.AutoSizeMaxHeight - 2);
    SetBounds(Left(), Top(), w + 2, h + 2);
}

const TKivFont& TKivCustomLabel::PaintFont() const {
    const TKivState state = PaintState();
    if (state != ksNormal && HasFontsFlag(FArgs.FontsFlags, FontsFlagOf(state))) return FArgs.Fonts[state];
    return FArgs.Fonts.Normal;
}

void TKivCustomLabel::Paint(HDC dc) {
    if (!FArgs.Transparent) {
        RECT r{0, 0, Width(), Height()};
        TBrush brush(::CreateSolidBrush(FArgs.Color));
        ::FillRect(dc, &r, brush.Get());
    }
    const std::wstring& caption = FArgs.Caption;
    if (caption.empty()) return;
    const TKivFont& font = PaintFont();
    TSelectObject select(dc, font.HandleAt(Scale()));
    ::SetTextColor(dc, KivHighContrast() ? HighContrastTextColor() : PaintColor());
    ::SetBkMode(dc, TRANSPARENT);
    TKivTextLayout layout = CalcTextLayout(dc);
    ::DrawTextW(dc, caption.c_str(), static_cast<int>(caption.size()), &layout.Box, layout.Flags);
}

COLORREF TKivCustomLabel::HighContrastTextColor() const {
    if (!Enabled()) return ::GetSysColor(COLOR_GRAYTEXT);
    return AccessibleRole() == ROLE_SYSTEM_LINK ? KivHighContrastLinkColor() : ::GetSysColor(COLOR_WINDOWTEXT);
}

long TKivCustomLabel::AccessibleRole() const {
    if (!FArgs.URL.empty() || OnClick || OnCommand) return ROLE_SYSTEM_LINK;
    return FArgs.Caption.empty() ? 0 : ROLE_SYSTEM_STATICTEXT;
}

std::wstring TKivCustomLabel::AccessibleName() const {
    std::wstring name = (FTextFormat & DT_NOPREFIX) ? FArgs.Caption : WithoutMnemonicMarks(FArgs.Caption);
    const size_t b = name.find_first_not_of(L" \t\r\n");
    if (b == std::wstring::npos) return Hint();
    return name.substr(b, name.find_last_not_of(L" \t\r\n") - b + 1);
}

std::wstring TKivCustomLabel::AccessibleDefaultAction() const {
    return AccessibleRole() == ROLE_SYSTEM_LINK ? IDS_SURFKEEP_AccJump : std::wstring();
}

void TKivCustomLabel::MouseDown(const TKivMouseEvent& e) {
    TKivGraphicControl::MouseDown(e);
    if (FArgs.MoveHandler && Parent()) StartWindowDrag(Parent());
}

// ---------------------------------------------------------------------------------------------

void TKivURLLabel::CreateLink(TKivLabelArgs a) {
    a.Fonts.Normal.SetColor(::GetSysColor(COLOR_HIGHLIGHT)).SetUnderline(true);
    a.Cursor = ::LoadCursorW(nullptr, IDC_HAND);
    a.MoveHandler = false;
    a.TabStop = true;
    Create(a);
}

void TKivURLLabel::SetVisited(bool value) {
    FVisited = value;
    Invalidate();
}
void TKivURLLabel::SetEnableVisitedColor(bool value) {
    if (value == FArgs.EnableVisitedColor) return;
    FArgs.EnableVisitedColor = value;
    Invalidate();
}
void TKivURLLabel::SetVisitedColor(COLORREF value) {
    FArgs.VisitedColor = value;
    Invalidate();
}

void TKivURLLabel::SetStates(bool hovered, bool pressed) {
    FHovered = hovered;
    FPressed = pressed;
    Invalidate();
}

TKivState TKivURLLabel::PaintState() const {
    return !Enabled() ? ksDisabled : FHovered ? ksHover : FPressed ? ksDown : ksNormal;
}

COLORREF TKivURLLabel::PaintColor() const {
    const COLORREF own = PaintFont().Color();
    if (!Enabled()) return own;
    if (FPressed && !FHovered) return FArgs.EnableVisitedColor ? FArgs.VisitedColor : own;
    return FVisited && FArgs.EnableVisitedColor ? FArgs.VisitedColor : own;
}

void TKivURLLabel::MouseEnter() {
    TKivCustomLabel::MouseEnter();
    if (!FArgs.MoveHandler && !FPressed) SetStates(true, false);
}

void TKivURLLabel::MouseLeave() {
    TKivCustomLabel::MouseLeave();
    if (!FArgs.MoveHandler) SetStates(false, false);
}

void TKivURLLabel::MouseDown(const TKivMouseEvent& e) {
    TKivGraphicControl::MouseDown(e);
    if (e.Button != kmbLeft) return;
    if (FArgs.MoveHandler) {
        if (Parent()) StartWindowDrag(Parent());
        return;
    }
    SetStates(false, true);
}

void TKivURLLabel::MouseMove(POINT pos, WPARAM keys) {
    TKivCustomLabel::MouseMove(pos, keys);
    if (FArgs.MoveHandler || FPressed) return;
    if (pos.x < 0 || pos.y < 0 || pos.x > PixelWidth() || pos.y > PixelHeight()) SetStates(false, false);
}

void TKivURLLabel::MouseUp(const TKivMouseEvent& e) {
    if (!FArgs.MoveHandler) {
        // The release point decides, the label's edges included.
        const bool inside = e.Pos.x >= 0 && e.Pos.y >= 0 && e.Pos.x <= PixelWidth() && e.Pos.y <= PixelHeight();
        SetStates(inside, false);
    }
    TKivCustomLabel::MouseUp(e);
}

void TKivURLLabel::Click() {
    // Copies: the click handler may close the window and this label with it.
    const auto onCommand = OnCommand;
    const std::wstring url = FArgs.URL;
    HWND owner = Parent() ? ::GetAncestor(Parent(), GA_ROOT) : nullptr;
    TKivCustomLabel::Click();
    if (onCommand) {
        onCommand();
        return;
    }
    if (url.empty()) return;
    if (OpenKivLink(owner, url)) SetVisited(true);
}

}  // namespace sk
