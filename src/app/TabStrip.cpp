#include "app/TabStrip.h"

#include <windowsx.h>

#include "app/Palette.h"

namespace sk {

HWND TTabStrip::Create(HWND parent, int x, int y, int w, int h, HFONT font) {
    FFont = font;
    return CreateWnd(L"SurfkeepTabStrip", WS_EX_CONTROLPARENT, WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_CLIPCHILDREN, L"",
                     x, y, w, h, parent, nullptr, CS_DBLCLKS);
}

int TTabStrip::AddTab(const std::wstring& caption, HWND page) {
    FTabs.push_back({caption, page});
    Measure();
    const RECT r = PageRect();
    if (page) ::SetWindowPos(page, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top, SWP_NOZORDER);
    if (FSelected < 0) Select(0);
    else if (page) ::ShowWindow(page, SW_HIDE);
    ::InvalidateRect(Handle(), nullptr, TRUE);
    return Count() - 1;
}

void TTabStrip::SetCaption(int index, const std::wstring& caption) {
    if (index < 0 || index >= Count()) return;
    FTabs[static_cast<size_t>(index)].Caption = caption;
    Measure();
    ::InvalidateRect(Handle(), nullptr, TRUE);
}

void TTabStrip::Measure() {
    TWindowDC dc(Handle());
    TSelectObject sel(dc.Get(), FFont);
    for (auto& t : FTabs) {
        SIZE sz{};
        ::GetTextExtentPoint32W(dc.Get(), t.Caption.c_str(), static_cast<int>(t.Caption.size()), &sz);
        t.Width = std::max<int>(sz.cx + 28, 84);
    }
}

RECT TTabStrip::PageRect() const {
    RECT rc;
    ::GetClientRect(Handle(), &rc);
    return {kPageInset, kHeaderHeight, rc.right - kPageInset, rc.bottom - kPageInset};
}

RECT TTabStrip::TabRect(int index) const {
    int x = 2;
    for (int i = 0; i < index; ++i) x += FTabs[static_cast<size_t>(i)].Width + 2;
    const int w = FTabs[static_cast<size_t>(index)].Width;
    return {x, 0, x + w, kHeaderHeight + 1};
}

int TTabStrip::TabAt(POINT pt) const {
    for (int i = 0; i < Count(); ++i) {
        const RECT r = TabRect(i);
        if (::PtInRect(&r, pt)) return i;
    }
    return -1;
}

void TTabStrip::Select(int index) {
    if (index < 0 || index >= Count() || index == FSelected) return;
    if (OnSelecting) {
        OnSelecting(index);
        // What ran there may have chosen a tab itself.
        if (index >= Count() || index == FSelected) return;
    }
    const int old = FSelected;
    FSelected = index;
    if (HWND page = FTabs[static_cast<size_t>(index)].Page) ::ShowWindow(page, SW_SHOW);
    if (old >= 0)
        if (HWND page = FTabs[static_cast<size_t>(old)].Page) ::ShowWindow(page, SW_HIDE);
    ::InvalidateRect(Handle(), nullptr, FALSE);
    if (OnChange) OnChange(index);
}

void TTabStrip::SelectNext(bool backwards) {
    if (Count() == 0) return;
    Select((FSelected + (backwards ? Count() - 1 : 1)) % Count());
}

void TTabStrip::Paint(HDC target) {
    RECT rc;
    ::GetClientRect(Handle(), &rc);
    // Drawn off screen, then copied: no flicker when the hot tab changes.
    TMemDC dc(::CreateCompatibleDC(target));
    TBitmap bmp(::CreateCompatibleBitmap(target, rc.right, rc.bottom));
    TSelectObject selBmp(dc.Get(), bmp.Get());
    TSelectObject selFont(dc.Get(), FFont);
    ::SetBkMode(dc.Get(), TRANSPARENT);

    TBrush back(::CreateSolidBrush(kColorWindowBack));
    ::FillRect(dc.Get(), &rc, back.Get());

    // Page frame.
    TBrush border(::CreateSolidBrush(kColorBorder)), page(::CreateSolidBrush(kColorPage));
    RECT frame{0, kHeaderHeight, rc.right, rc.bottom};
    ::FillRect(dc.Get(), &frame, border.Get());
    RECT inner{1, kHeaderHeight + 1, rc.right - 1, rc.bottom - 1};
    ::FillRect(dc.Get(), &inner, page.Get());

    const bool focused = ::GetFocus() == Handle();
    for (int i = 0; i < Count(); ++i) {
        RECT r = TabRect(i);
        const bool selected = i == FSelected;
        if (!selected) r.top += 3;
        ::FillRect(dc.Get(), &r, border.Get());
        RECT face{r.left + 1, r.top + 1, r.right - 1, selected ? r.bottom : r.bottom - 1};
        TBrush faceBrush(::CreateSolidBrush(selected ? kColorPage : (i == FHot ? kColorTabHot : kColorTab)));
        ::FillRect(dc.Get(), &face, faceBrush.Get());
        if (selected) {  // the accent line on top of the chosen tab
            RECT accent{r.left, r.top, r.right, r.top + 2};
            TBrush accentBrush(::CreateSolidBrush(kColorAccent));
            ::FillRect(dc.Get(), &accent, accentBrush.Get());
        }
        ::SetTextColor(dc.Get(), selected ? kColorAccentText : kColorTextMuted);
        RECT text = face;
        const auto& caption = FTabs[static_cast<size_t>(i)].Caption;
        ::DrawTextW(dc.Get(), caption.c_str(), static_cast<int>(caption.size()), &text,
                    DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
        if (selected && focused) {
            RECT f{face.left + 4, face.top + 4, face.right - 4, face.bottom - 3};
            ::DrawFocusRect(dc.Get(), &f);
        }
    }
    ::BitBlt(target, 0, 0, rc.right, kHeaderHeight + 1, dc.Get(), 0, 0, SRCCOPY);
    // The page area is covered by the page window; paint only its frame edges.
    ::BitBlt(target, 0, kHeaderHeight, rc.right, rc.bottom - kHeaderHeight, dc.Get(), 0, kHeaderHeight, SRCCOPY);
}

LRESULT TTabStrip::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_PAINT: {
            TPaintDC dc(Handle());
            Paint(dc.Get());
            return 0;
        }
        case WM_ERASEBKGND:
            return 1;
        case WM_LBUTTONDOWN: {
            const int i = TabAt({GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
            if (i >= 0) {
                ::SetFocus(Handle());
                Select(i);
            }
            return 0;
        }
        case WM_MOUSEMOVE: {
            const int i = TabAt({GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
            if (!FTracking) {
                TRACKMOUSEEVENT tme{sizeof tme, TME_LEAVE, Handle(), 0};
                FTracking = ::TrackMouseEvent(&tme) != FALSE;
            }
            if (i != FHot) {
                FHot = i;
                ::InvalidateRect(Handle(), nullptr, FALSE);
            }
            return 0;
        }
        case WM_MOUSELEAVE:
            FTracking = false;
            if (FHot != -1) {
                FHot = -1;
                ::InvalidateRect(Handle(), nullptr, FALSE);
            }
            return 0;
        case WM_SETFOCUS:
        case WM_KILLFOCUS:
            ::InvalidateRect(Handle(), nullptr, FALSE);
            return 0;
        case WM_GETDLGCODE:
            return DLGC_WANTARROWS;
        case WM_KEYDOWN:
            if (wParam == VK_LEFT || wParam == VK_RIGHT) {
                SelectNext(wParam == VK_LEFT);
                return 0;
            }
            break;
    }
    return DefaultMessage(msg, wParam, lParam);
}

}  // namespace sk
