#include "controls/KWTitleBar.h"

#include <oleacc.h>

#include <algorithm>

#include "base/Handles.h"
#include "controls/KWTheme.h"

namespace sk {

TKivTitleBarLabel::TKivTitleBarLabel(TKivTitleBar& bar) : FBar(bar), FFont(bar.Font()) {}

void TKivTitleBarLabel::Changed() {
    ApplyAutoSize();
    FBar.Changed();
}

void TKivTitleBarLabel::SetLeft(int value) {
    if (value == FLeft) return;
    FBar.Changed();  // the old place
    FLeft = value;
    Changed();
}
void TKivTitleBarLabel::SetTop(int value) {
    if (value == FTop) return;
    FBar.Changed();
    FTop = value;
    Changed();
}
void TKivTitleBarLabel::SetWidth(int value) {
    if (value == FWidth) return;
    FWidth = value;
    Changed();
}
void TKivTitleBarLabel::SetHeight(int value) {
    if (value == FHeight) return;
    FHeight = value;
    Changed();
}
void TKivTitleBarLabel::SetAutoSize(bool value) {
    if (value == FAutoSize) return;
    FAutoSize = value;
    Changed();
}
void TKivTitleBarLabel::SetAutoSizeMaxWidth(int value) {
    if (value == FAutoSizeMaxWidth) return;
    FAutoSizeMaxWidth = value;
    Changed();
}
void TKivTitleBarLabel::SetAutoSizeMaxHeight(int value) {
    if (value == FAutoSizeMaxHeight) return;
    FAutoSizeMaxHeight = value;
    Changed();
}
void TKivTitleBarLabel::SetCaption(const std::wstring& value) {
    FCaption = value;
    Changed();
}
void TKivTitleBarLabel::SetFont(const TKivFont& value) {
    FFont = value;
    Changed();
}
void TKivTitleBarLabel::SetWordWrap(bool value) {
    FTextFormat = value ? FTextFormat & ~DT_SINGLELINE : FTextFormat | DT_SINGLELINE;
    Changed();
}

void TKivTitleBarLabel::Assign(const TKivTitleBarLabel& o) {
    FLeft = o.FLeft;
    FTop = o.FTop;
    FWidth = o.FWidth;
    FHeight = o.FHeight;
    FAutoSize = o.FAutoSize;
    FAutoSizeMaxWidth = o.FAutoSizeMaxWidth;
    FAutoSizeMaxHeight = o.FAutoSizeMaxHeight;
    FCaption = o.FCaption;
    FFont = o.FFont;
    FTextFormat = o.FTextFormat;
    Changed();
}

void TKivTitleBarLabel::ApplyAutoSize() {
    if (!FAutoSize) return;
    int w = 0, h = 0;
    if (!FCaption.empty()) {
        // Measured in pixels at the bar's scale, kept in the layout (rounded up: the text fits).
        const TDisplayScale scale = FBar.Scale();
        const int limitW = FAutoSizeMaxWidth > 2 ? scale.Scale(FAutoSizeMaxWidth) : ::GetSystemMetrics(SM_CXSCREEN);
        const int limitH = FAutoSizeMaxHeight > 2 ? scale.Scale(FAutoSizeMaxHeight) : ::GetSystemMetrics(SM_CYSCREEN);
        TMemDC dc(::CreateCompatibleDC(nullptr));
        TSelectObject font(dc.Get(), FFont.HandleAt(scale));
        RECT r{0, 0, limitW, limitH};
        ::DrawTextW(dc.Get(), FCaption.c_str(), static_cast<int>(FCaption.size()), &r, FTextFormat | DT_CALCRECT);
        w = scale.UnscaleUp(r.right - r.left);
        h = scale.UnscaleUp(r.bottom - r.top);
    }
    if (FAutoSizeMaxWidth > 2) w = std::min(w, FAutoSizeMaxWidth - 2);
    if (FAutoSizeMaxHeight > 2) h = std::min(h, FAutoSizeMaxHeight - 2);
    FWidth = w + 2;
    FHeight = h + 2;
}

// ---------------------------------------------------------------------------------------------

void TKivTitleBarLogo::SetAutoSize(bool value) {
    FAutoSize = value;
    ApplyAutoSize();
    FBar.Changed();
}

void TKivTitleBarLogo::SetLogo(const TKivPicture& picture) {
    FLogo = picture;
    ApplyAutoSize();
    FBar.Changed();
}

void TKivTitleBarLogo::ApplyAutoSize() {
    if (!FAutoSize || FLogo.Width() <= 0) return;
    Width = FLogo.LayoutWidth();
    if (FLogo.Height() > 0) Height = FLogo.LayoutHeight();
}

void TKivTitleBarLogo::Assign(const TKivTitleBarLogo& o) {
    Left = o.Left;
    Top = o.Top;
    Width = o.Width;
    Height = o.Height;
    FAutoSize = o.FAutoSize;
    FLogo = o.FLogo;
    FBar.Changed();
}

// ---------------------------------------------------------------------------------------------

TKivTitleBar::TKivTitleBar()
    : FLogo(std::make_unique<TKivTitleBarLogo>(*this)),
      FSubtitle(std::make_unique<TKivTitleBarLabel>(*this)),
      FVersion(std::make_unique<TKivTitleBarLabel>(*this)),
      FTitle(std::make_unique<TKivTitleBarLabel>(*this)) {}

TKivTitleBar::TKivTitleBar(const TKivTitleBarArgs& args) : TKivTitleBar() { Create(args); }

TKivTitleBar::~TKivTitleBar() = default;

void TKivTitleBar::Create(const TKivTitleBarArgs& a) {
    FArgs = a;
    for (TKivTitleBarLabel* t : {FSubtitle.get(), FVersion.get(), FTitle.get()})
        t->SetFont(a.Font);
    FTitle->SetLeft(a.TitleLeft);
    FTitle->SetTop(a.TitleTop);
    FTitle->SetCaption(a.Title);
    FLogo->Left = a.LogoLeft;
    FLogo->Top = a.LogoTop;
    FLogo->SetLogo(a.Logo);
    Place(a.Parent, a.Left, a.Top, a.Width, a.Height);
    // As after loading: every text and the logo take their sizes.
    FTitle->ApplyAutoSize();
    FSubtitle->ApplyAutoSize();
    FVersion->ApplyAutoSize();
    FLogo->ApplyAutoSize();
    Invalidate();
}

void TKivTitleBar::Paint(HDC dc) {
    const TDisplayScale scale = Scale();
    const TKivPicture& logo = FLogo->Logo();
    if (logo.Width() > 0) logo.AtScale(scale).Draw(dc, scale.Scale(FLogo->Left), scale.Scale(FLogo->Top));
    ::SetBkMode(dc, TRANSPARENT);
    for (TKivTitleBarLabel* t : {FTitle.get(), FSubtitle.get(), FVersion.get()}) {
        if (t->Caption().empty()) continue;
        TSelectObject font(dc, t->Font().HandleAt(scale));
        ::SetTextColor(dc, KivHighContrast() ? ::GetSysColor(COLOR_WINDOWTEXT) : t->Font().Color());
        RECT r = scale.Scale(t->BoundsRect());
        ::DrawTextW(dc, t->Caption().c_str(), static_cast<int>(t->Caption().size()), &r, t->TextFormat());
    }
}

void TKivTitleBar::ScaleChanged() {
    for (TKivTitleBarLabel* t : {FTitle.get(), FSubtitle.get(), FVersion.get()}) t->ApplyAutoSize();
    Invalidate();
}

long TKivTitleBar::AccessibleRole() const { return FTitle->Caption().empty() ? 0 : ROLE_SYSTEM_STATICTEXT; }

void TKivTitleBar::MouseDown(const TKivMouseEvent& e) {
    TKivGraphicControl::MouseDown(e);
    if (FArgs.MoveHandler && Parent()) StartWindowDrag(Parent());
}

}  // namespace sk
