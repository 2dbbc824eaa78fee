#include "controls/KWLabel.h"

#include <algorithm>

#include "base/Handles.h"

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
    return MeasureTextLayout(dc, FArgs.Caption, FTextFormat, FArgs.TextAlignment, Width(), Height(), FArgs.TextX,
                             FArgs.TextY, FArgs.TextMargins);
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
    TMemDC dc(::CreateCompatibleDC(nullptr));
    TSelectObject font(dc.Get(), Font().Handle());
    const std::wstring& caption = FArgs.Caption;
    RECT r{0, 0, limitW, limitH};
    ::DrawTextW(dc.Get(), caption.c_str(), static_cast<int>(caption.size()), &r, FTextFormat | DT_CALCRECT);
    int w = std::max<int>(2, r.right - r.left), h = std::max<int>(2, r.bottom - r.top);
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
    TSelectObject select(dc, font.Handle());
    ::SetTextColor(dc, PaintColor());
    ::SetBkMode(dc, TRANSPARENT);
    TKivTextLayout layout = CalcTextLayout(dc);
    ::DrawTextW(dc, caption.c_str(), static_cast<int>(caption.size()), &layout.Box, layout.Flags);
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
    if (pos.x < 0 || pos.y < 0 || pos.x > Width() || pos.y > Height()) SetStates(false, false);
}

void TKivURLLabel::MouseUp(const TKivMouseEvent& e) {
    if (!FArgs.MoveHandler) {
        // The release point decides, the label's edges included.
        const bool inside = e.Pos.x >= 0 && e.Pos.y >= 0 && e.Pos.x <= Width() && e.Pos.y <= Height();
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
