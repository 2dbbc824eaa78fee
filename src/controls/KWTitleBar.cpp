#include "controls/KWTitleBar.h"

#include <algorithm>

#include "base/Handles.h"

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
        const int limitW = FAutoSizeMaxWidth > 2 ? FAutoSizeMaxWidth : ::GetSystemMetrics(SM_CXSCREEN);
        const int limitH = FAutoSizeMaxHeight > 2 ? FAutoSizeMaxHeight : ::GetSystemMetrics(SM_CYSCREEN);
        TMemDC dc(::CreateCompatibleDC(nullptr));
        TSelectObject font(dc.Get(), FFont.Handle());
        RECT r{0, 0, limitW, limitH};
        ::DrawTextW(dc.Get(), FCaption.c_str(), static_cast<int>(FCaption.size()), &r, FTextFormat | DT_CALCRECT);
        w = r.right - r.left;
        h = r.bottom - r.top;
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
    Width = FLogo.Width();
    if (FLogo.Height() > 0) Height = FLogo.Height();
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
    const TKivPicture& logo = FLogo->Logo();
    if (logo.Width() > 0) logo.Draw(dc, FLogo->Left, FLogo->Top);
    ::SetBkMode(dc, TRANSPARENT);
    for (TKivTitleBarLabel* t : {FTitle.get(), FSubtitle.get(), FVersion.get()}) {
        if (t->Caption().empty()) continue;
        TSelectObject font(dc, t->Font().Handle());
        ::SetTextColor(dc, t->Font().Color());
        RECT r = t->BoundsRect();
        ::DrawTextW(dc, t->Caption().c_str(), static_cast<int>(t->Caption().size()), &r, t->TextFormat());
    }
}

void TKivTitleBar::MouseDown(const TKivMouseEvent& e) {
    TKivGraphicControl::MouseDown(e);
    if (FArgs.MoveHandler && Parent()) StartWindowDrag(Parent());
}

}  // namespace sk
