#include "controls/KWImageButton.h"

#include "base/Handles.h"

namespace sk {

namespace {

constexpr COLORREF kLight = RGB(255, 255, 255);
constexpr COLORREF kPale = RGB(226, 239, 241);
constexpr COLORREF kDark = RGB(100, 111, 113);
constexpr COLORREF kGrey = RGB(153, 168, 172);

void Line(HDC dc, int x1, int y1, int x2, int y2, COLORREF color) {
    TPen pen(::CreatePen(PS_SOLID, 1, color));
    TSelectObject sel(dc, pen.Get());
    ::MoveToEx(dc, x1, y1, nullptr);
    ::LineTo(dc, x2, y2);
}

// Two-pixel bevel: outer and inner top-left, outer and inner bottom-right.
void Bevel(HDC dc, const RECT& r, COLORREF outerTL, COLORREF innerTL, COLORREF outerBR, COLORREF innerBR) {
    const int l = r.left, t = r.top, rr = r.right - 1, b = r.bottom - 1;
    Line(dc, l, b, l, t, outerTL);
    Line(dc, l, t, rr + 1, t, outerTL);
    Line(dc, l + 1, b - 1, l + 1, t + 1, innerTL);
    Line(dc, l + 1, t + 1, rr, t + 1, innerTL);
    Line(dc, rr, t, rr, b + 1, outerBR);
    Line(dc, l, b, rr, b, outerBR);
    Line(dc, rr - 1, t + 1, rr - 1, b, innerBR);
    Line(dc, l + 1, b - 1, rr - 1, b - 1, innerBR);
}

void Frame(HDC dc, RECT r, int inset, COLORREF color) {
    ::InflateRect(&r, -inset, -inset);
    TBrush brush(::CreateSolidBrush(color));
    ::FrameRect(dc, &r, brush.Get());
}

}  // namespace

void TKivImageButton::SetStyle(TKivImageButtonStyle style) {
    if (style == Style()) return;
    Change([style](TKivButtonArgs& a) {
        a.Style = style;
        const int m = (a.DrawBorder && a.DrawFocused) ? 4 : (a.DrawBorder || a.DrawFocused) ? 2 : 0;
        a.PictureMargins = a.TextMargins = m;
    });
}

void TKivImageButton::PaintBorder(HDC dc) {
    if (!DrawBorder()) return;
    RECT r{};
    ::GetClientRect(Handle(), &r);
    auto raised = [&] { Bevel(dc, r, kLight, kPale, kDark, kGrey); };
    auto sunken = [&] { Bevel(dc, r, kDark, kGrey, kLight, kPale); };
    if (Style() == KivImageButtonStyle_WinFlat) {
        if (!Enabled()) return;
        if (Down())
            sunken();
        else if (Hover())
            raised();
    } else {
        if (!Enabled())
            sunken();
        else if (Down())
            Frame(dc, r, 0, kGrey);
        else
            raised();
    }
}

void TKivImageButton::PaintFocus(HDC dc) {
    if (!Visible() || Down() || !DrawFocused() || !Focused() || !TabStop()) return;
    RECT r{};
    ::GetClientRect(Handle(), &r);
    const COLORREF frame = RGB(30, 90, 168);
    RECT dotted = r;
    if (DrawBorder()) {
        Frame(dc, r, 2, kPale);
        Frame(dc, r, 3, kPale);
        ::InflateRect(&dotted, -3, -3);
    } else {
        Frame(dc, r, 1, kPale);
        Frame(dc, r, 0, frame);
        Frame(dc, r, 2, kPale);
        ::InflateRect(&dotted, -1, -1);
    }
    const COLORREF oldText = ::SetTextColor(dc, RGB(0, 0, 0));
    const COLORREF oldBk = ::SetBkColor(dc, RGB(255, 255, 255));
    ::DrawFocusRect(dc, &dotted);
    ::SetTextColor(dc, oldText);
    ::SetBkColor(dc, oldBk);
}

void TKivImageButton::MouseDownHook(const TKivMouseEvent& e) {
    if (OnMouseDown) OnMouseDown(e);
}
void TKivImageButton::MouseUpHook(const TKivMouseEvent& e) {
    if (OnMouseUp) OnMouseUp(e);
}
void TKivImageButton::MouseMoveHook(POINT pos, WPARAM keys) {
    if (OnMouseMove) OnMouseMove(pos, keys);
}
bool TKivImageButton::KeyHook(UINT msg, WPARAM key) {
    if (msg == WM_KEYDOWN && OnKeyDown) OnKeyDown(key);
    if (msg == WM_KEYUP && OnKeyUp) OnKeyUp(key);
    return false;
}

}  // namespace sk
