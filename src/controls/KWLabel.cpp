#include "controls/KWLabel.h"

#include <algorithm>

#include "base/Handles.h"

namespace sk {

void TKivCustomLabel::Create(const TKivLabelArgs& a) {
    FCreating = true;
    FCaption = a.Caption;
    FFont = a.Font;
    FColor = a.Color;
    FTransparent = a.Transparent;
    FAutoSize = a.AutoSize;
    FAutoSizeMaxWidth = a.AutoSizeMaxWidth;
    FAutoSizeMaxHeight = a.AutoSizeMaxHeight;
    FTextFormat = kKivDefaultTextFormat;
    if (a.TextTrimming != kttEllipsisWord) {
        FTextTrimming = a.TextTrimming;
        FTextFormat = ApplyTextTrimming(FTextFormat, a.TextTrimming);
    }
    if (!a.WordWrap) FTextFormat = ApplyWordWrap(FTextFormat, false);
    FTextAlignment = a.TextAlignment;
    FTextX = a.TextX;
    FTextY = a.TextY;
    FTextMargins = a.TextMargins;
    FFontsFlags = a.FontsFlags;
    FFontHover = a.FontHover ? *a.FontHover : a.Font;
    FFontDown = a.Font;
    FFontDisabled = a.FontDisabled ? *a.FontDisabled : a.Font;
    FMoveHandler = a.MoveHandler;
    SetURL(a.URL);
    SetCursor(a.Cursor);
    SetHint(a.Hint);
    SetEnabled(a.Enabled);
    SetVisible(a.Visible);
    FCreating = false;
    Place(a.Parent, a.Left, a.Top, a.Width, a.Height);
}

void TKivCustomLabel::Remeasure() {
    if (FCreating) return;
    if (FAutoSize) ApplyAutoSize();
    Invalidate();
}

void TKivCustomLabel::SetCaption(const std::wstring& caption) {
    if (caption == FCaption) return;
    FCaption = caption;
    Remeasure();
}
void TKivCustomLabel::SetFont(const TKivFont& font) {
    FFont = font;
    Remeasure();
}
void TKivCustomLabel::SetColor(COLORREF color) {
    if (color == FColor) return;
    FColor = color;
    Invalidate();
}
void TKivCustomLabel::SetTransparent(bool value) {
    if (value == FTransparent) return;
    FTransparent = value;
    Invalidate();
}
void TKivCustomLabel::SetAutoSize(bool value) {
    if (value == FAutoSize) return;
    FAutoSize = value;
    Remeasure();
}
void TKivCustomLabel::SetAutoSizeMaxWidth(int value) {
    if (value == FAutoSizeMaxWidth) return;
    FAutoSizeMaxWidth = value;
    Remeasure();
}
void TKivCustomLabel::SetAutoSizeMaxHeight(int value) {
    if (value == FAutoSizeMaxHeight) return;
    FAutoSizeMaxHeight = value;
    Remeasure();
}
void TKivCustomLabel::SetWordWrap(bool value) {
    FTextFormat = ApplyWordWrap(FTextFormat, value);
    Remeasure();
}
void TKivCustomLabel::SetTextTrimming(TKivTextTrimmingType value) {
    if (value == FTextTrimming) return;
    FTextTrimming = value;
    FTextFormat = ApplyTextTrimming(FTextFormat, value);
    Remeasure();
}
void TKivCustomLabel::SetTextAlignment(TKivAlignment value) {
    if (value == FTextAlignment) return;
    FTextAlignment = value;
    Remeasure();
}
void TKivCustomLabel::SetTextX(int value) {
    if (value == FTextX) return;
    FTextX = value;
    Invalidate();
}
void TKivCustomLabel::SetTextY(int value) {
    if (value == FTextY) return;
    FTextY = value;
    Invalidate();
}
void TKivCustomLabel::SetTextMargins(int value) {
    if (value == FTextMargins) return;
    FTextMargins = value;
    Remeasure();
}
void TKivCustomLabel::SetFontsFlags(TKivMultiFontsFlags value) {
    if (value == FFontsFlags) return;
    FFontsFlags = value;
    Invalidate();
}
void TKivCustomLabel::SetFontHover(const TKivFont& font) {
    FFontHover = font;
    Invalidate();
}
void TKivCustomLabel::SetFontDisabled(const TKivFont& font) {
    FFontDisabled = font;
    Invalidate();
}
void TKivCustomLabel::SetURL(const std::wstring& url) {
    const size_t b = url.find_first_not_of(L" \t\r\n");
    FURL = b == std::wstring::npos ? std::wstring() : url.substr(b, url.find_last_not_of(L" \t\r\n") - b + 1);
}

TKivTextLayout TKivCustomLabel::CalcTextLayout(HDC dc) const {
    return MeasureTextLayout(dc, FCaption, FTextFormat, FTextAlignment, Width(), Height(), FTextX, FTextY,
                             FTextMargins);
}

void TKivCustomLabel::ApplyAutoSize() {
    const SIZE parent = ParentClientSize();
    const bool hasParent = Parent() != nullptr;
    auto limit = [&](int max, int parentExtent, int edge) {
        if (max > 2) return max;
        if (hasParent && max >= 0) return std::max(2, parentExtent - edge);
        return 65535;
    };
    const int limitW = limit(FAutoSizeMaxWidth, parent.cx, Left());
    const int limitH = limit(FAutoSizeMaxHeight, parent.cy, Top());
    TMemDC dc(::CreateCompatibleDC(nullptr));
    TSelectObject font(dc.Get(), FFont.Handle());
    RECT r{0, 0, limitW, limitH};
    ::DrawTextW(dc.Get(), FCaption.c_str(), static_cast<int>(FCaption.size()), &r, FTextFormat | DT_CALCRECT);
    int w = std::max<int>(2, r.right - r.left), h = std::max<int>(2, r.bottom - r.top);
    if (FAutoSizeMaxWidth > 2) w = std::min(w, FAutoSizeMaxWidth - 2);
    if (FAutoSizeMaxHeight > 2) h = std::min(h, FAutoSizeMaxHeight - 2);
    SetBounds(Left(), Top(), w + 2, h + 2);
}

const TKivFont& TKivCustomLabel::PaintFont() const {
    if (!Enabled() && HasFontsFlag(FFontsFlags, kmfDisabled)) return FFontDisabled;
    return FFont;
}

void TKivCustomLabel::Paint(HDC dc) {
    if (!FTransparent) {
        RECT r{0, 0, Width(), Height()};
        TBrush brush(::CreateSolidBrush(FColor));
        ::FillRect(dc, &r, brush.Get());
    }
    if (FCaption.empty()) return;
    const TKivFont& font = PaintFont();
    TSelectObject select(dc, font.Handle());
    ::SetTextColor(dc, PaintColor());
    ::SetBkMode(dc, TRANSPARENT);
    TKivTextLayout layout = CalcTextLayout(dc);
    ::DrawTextW(dc, FCaption.c_str(), static_cast<int>(FCaption.size()), &layout.Box, layout.Flags);
}

void TKivCustomLabel::MouseDown(const TKivMouseEvent& e) {
    TKivGraphicControl::MouseDown(e);
    if (FMoveHandler && Parent()) StartWindowDrag(Parent());
}

// ---------------------------------------------------------------------------------------------

void TKivURLLabel::CreateLink(TKivLabelArgs a) {
    a.Font.SetColor(::GetSysColor(COLOR_HIGHLIGHT)).SetUnderline(true);
    a.Cursor = ::LoadCursorW(nullptr, IDC_HAND);
    a.MoveHandler = false;
    Create(a);
}

void TKivURLLabel::SetVisited(bool value) {
    FVisited = value;
    Invalidate();
}
void TKivURLLabel::SetEnableVisitedColor(bool value) {
    if (value == FEnableVisitedColor) return;
    FEnableVisitedColor = value;
    Invalidate();
}
void TKivURLLabel::SetVisitedColor(COLORREF value) {
    FVisitedColor = value;
    Invalidate();
}

void TKivURLLabel::SetStates(bool hovered, bool pressed) {
    FHovered = hovered;
    FPressed = pressed;
    Invalidate();
}

const TKivFont& TKivURLLabel::PaintFont() const {
    if (!Enabled()) return HasFontsFlag(FFontsFlags, kmfDisabled) ? FFontDisabled : FFont;
    if (FHovered) return HasFontsFlag(FFontsFlags, kmfMouseHover) ? FFontHover : FFont;
    if (FPressed) return HasFontsFlag(FFontsFlags, kmfMouseDown) ? FFontDown : FFont;
    return FFont;
}

COLORREF TKivURLLabel::PaintColor() const {
    const COLORREF own = PaintFont().Color();
    if (!Enabled()) return own;
    if (FPressed && !FHovered) return FEnableVisitedColor ? FVisitedColor : own;
    return FVisited && FEnableVisitedColor ? FVisitedColor : own;
}

void TKivURLLabel::MouseEnter() {
    TKivCustomLabel::MouseEnter();
    if (!FMoveHandler && !FPressed) SetStates(true, false);
}

void TKivURLLabel::MouseLeave() {
    TKivCustomLabel::MouseLeave();
    if (!FMoveHandler) SetStates(false, false);
}

void TKivURLLabel::MouseDown(const TKivMouseEvent& e) {
    TKivGraphicControl::MouseDown(e);
    if (e.Button != kmbLeft) return;
    if (FMoveHandler) {
        if (Parent()) StartWindowDrag(Parent());
        return;
    }
    SetStates(false, true);
}

void TKivURLLabel::MouseMove(POINT pos, WPARAM keys) {
    TKivCustomLabel::MouseMove(pos, keys);
    if (FMoveHandler || FPressed) return;
    if (pos.x < 0 || pos.y < 0 || pos.x > Width() || pos.y > Height()) SetStates(false, false);
}

void TKivURLLabel::MouseUp(const TKivMouseEvent& e) {
    if (!FMoveHandler) {
        // The release point decides, the label's edges included.
        const bool inside = e.Pos.x >= 0 && e.Pos.y >= 0 && e.Pos.x <= Width() && e.Pos.y <= Height();
        SetStates(inside, false);
    }
    TKivCustomLabel::MouseUp(e);
}

void TKivURLLabel::Click() {
    // Copies: the click handler may close the window and this label with it.
    const auto onCommand = OnCommand;
    const std::wstring url = FURL;
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
