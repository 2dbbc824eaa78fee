#include "controls/KWImage.h"

namespace sk {

void TKivImage::Create(const TKivImageArgs& a) {
    FPicture = a.Picture;
    FStretch = a.Stretch;
    FProportional = a.Proportional;
    FCenter = a.Center;
    FAutoSize = a.AutoSize;
    FMoveHandler = a.MoveHandler;
    SetCursor(a.Cursor);
    SetHint(a.Hint);
    SetVisible(a.Visible);
    Place(a.Parent, a.Left, a.Top, a.Width, a.Height);
    ApplyAutoSize();
}

void TKivImage::ApplyAutoSize() {
    if (FAutoSize && !FPicture.Empty()) SetBounds(Left(), Top(), FPicture.Width(), FPicture.Height());
}

void TKivImage::SetPicture(const TKivPicture& picture) {
    if (picture == FPicture) return;
    FPicture = picture;
    ApplyAutoSize();
    Invalidate();
}

void TKivImage::SetStretch(bool value) {
    if (value == FStretch) return;
    FStretch = value;
    Invalidate();
}

void TKivImage::SetProportional(bool value) {
    if (value == FProportional) return;
    FProportional = value;
    Invalidate();
}

void TKivImage::SetCenter(bool value) {
    if (value == FCenter) return;
    FCenter = value;
    Invalidate();
}

void TKivImage::SetAutoSize(bool value) {
    FAutoSize = value;
    ApplyAutoSize();
}

RECT TKivImage::PictureRect() const {
    const int W = Width(), H = Height();
    int w = FPicture.Width(), h = FPicture.Height();
    if (FStretch) {
        if (!FProportional || w <= 0 || h <= 0) {
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
    if (FCenter) {
        x = (W - w) / 2;
        y = (H - h) / 2;
    }
    return RECT{x, y, x + w, y + h};
}

void TKivImage::Paint(HDC dc) {
    if (FPicture.Empty()) return;
    const RECT r = PictureRect();
    if (r.right - r.left == FPicture.Width() && r.bottom - r.top == FPicture.Height())
        FPicture.Draw(dc, r.left, r.top);
    else
        FPicture.DrawStretched(dc, r);
}

void TKivImage::MouseDown(const TKivMouseEvent& e) {
    TKivGraphicControl::MouseDown(e);
    if (FMoveHandler && Parent()) StartWindowDrag(Parent());
}

}  // namespace sk
