#include "controls/KWImage.h"

#include <oleacc.h>

#include "base/StringTable.h"
#include "controls/KWTheme.h"

namespace sk {

void TKivImage::Create(const TKivImageArgs& a) {
    FArgs = a;
    OnClick = std::move(FArgs.OnClick);
    FArgs.OnClick = nullptr;
    SetCursor(a.Cursor);
    SetHint(a.Hint);
    SetVisible(a.Visible);
    Place(a.Parent, a.Left, a.Top, a.Width, a.Height);
    ApplyAutoSize();
}

void TKivImage::ApplyAutoSize() {
    if (FArgs.AutoSize && !FArgs.Picture.Empty())
        SetBounds(Left(), Top(), FArgs.Picture.LayoutWidth(), FArgs.Picture.LayoutHeight());
}

void TKivImage::Change(const std::function<void(TKivImageArgs&)>& edit) {
    edit(FArgs);
    ApplyAutoSize();
    Invalidate();
}

void TKivImage::SetPicture(const TKivPicture& picture) {
    if (picture == FArgs.Picture) return;
    FArgs.Picture = picture;
    ApplyAutoSize();
    Invalidate();
}

RECT TKivImage::PictureRect() const {
    const int W = PixelWidth(), H = PixelHeight();
    const TKivPicture& picture = FArgs.Picture.AtScale(Scale());
    int w = picture.Width(), h = picture.Height();
    if (FArgs.Stretch) {
        if (!FArgs.Proportional || w <= 0 || h <= 0) {
            w = W;
            h = H;
        } else if (w > W || h > H) {
            // Shrink to fit, keeping the proportions.
            if (static_cast<long long>(W) * h <= static_cast<long long>(H) * w) {
                h = static_cast<int>(static_cast<long long>(h) * W / w);
                w = W;
            } else {
                w = static_cast<int>(static_cast<long long>(w) * H / h);
                h = H;
            }
        }
    }
    int x = 0, y = 0;
    if (FArgs.Center) {
        x = (W - w) / 2;
        y = (H - h) / 2;
    }
    return RECT{x, y, x + w, y + h};
}

void TKivImage::Paint(HDC dc) {
    if (FArgs.Decorative && KivHighContrast()) return;
    const TKivPicture& picture = FArgs.Picture.AtScale(Scale());
    if (picture.Empty()) return;
    const RECT r = PictureRect();
    if (r.right - r.left == picture.Width() && r.bottom - r.top == picture.Height())
        picture.Draw(dc, r.left, r.top);
    else
        picture.DrawStretched(dc, r);
}

long TKivImage::AccessibleRole() const {
    if (FArgs.Decorative) return 0;
    return !AccessibleName().empty() || OnClick ? ROLE_SYSTEM_GRAPHIC : 0;
}

std::wstring TKivImage::AccessibleDefaultAction() const { return OnClick ? IDS_SURFKEEP_AccClick : std::wstring(); }

void TKivImage::MouseDown(const TKivMouseEvent& e) {
    TKivGraphicControl::MouseDown(e);
    if (FArgs.MoveHandler && Parent()) StartWindowDrag(Parent());
}

}  // namespace sk
