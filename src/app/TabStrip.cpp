#include "app/TabStrip.h"

#include <oleacc.h>
#include <windowsx.h>

#include "app/Palette.h"
#include "base/Fonts.h"
#include "base/StringTable.h"
#include "controls/KWFocus.h"
#include "controls/KWTheme.h"

namespace sk {

HWND TTabStrip::Create(HWND parent, int x, int y, int w, int h, HFONT font) {
    FFont = font;
    return CreateChild(L"SurfkeepTabStrip", WS_EX_CONTROLPARENT, WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_CLIPCHILDREN,
                       L"", RECT{x, y, x + w, y + h}, parent, 0, CS_DBLCLKS);
}

HFONT TTabStrip::Font() const { return FontForDpi(FFont, Dpi()); }

void TTabStrip::OnDpiChanged(int) {
    // The pages follow by themselves: they are laid out in the strip.
    Measure();
    ::InvalidateRect(Handle(), nullptr, FALSE);
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
    TSelectObject sel(dc.Get(), Font());
    for (auto& t : FTabs) {
        SIZE sz{};
        ::GetTextExtentPoint32W(dc.Get(), t.Caption.c_str(), static_cast<int>(t.Caption.size()), &sz);
        t.Width = std::max<int>(sz.cx + ToPixels(28), ToPixels(84));
    }
}

RECT TTabStrip::PageLayoutRect() const {
    const RECT& r = LayoutRect();
    return {kPageInset, kHeaderHeight, (r.right - r.left) - kPageInset, (r.bottom - r.top) - kPageInset};
}

RECT TTabStrip::TabRect(int index) const {
    const int gap = ToPixels(2);
    int x = gap;
    for (int i = 0; i < index; ++i) x += FTabs[static_cast<size_t>(i)].Width + gap;
    const int w = FTabs[static_cast<size_t>(index)].Width;
    return {x, 0, x + w, ToPixels(kHeaderHeight) + 1};
}

TKivAccessibleView TTabStrip::AccessibleView() {
    TKivAccessibleView view;
    view.Self.Role = ROLE_SYSTEM_PAGETABLIST;
    view.Self.State = STATE_SYSTEM_FOCUSABLE | (::GetFocus() == Handle() ? STATE_SYSTEM_FOCUSED : 0);
    ::GetWindowRect(Handle(), &view.Self.Screen);
    POINT origin{0, 0};
    ::ClientToScreen(Handle(), &origin);
    for (int i = 0; i < Count(); ++i) {
        TKivAccessibleItem tab;
        tab.Role = ROLE_SYSTEM_PAGETAB;
        tab.Name = Caption(i);
        tab.State = STATE_SYSTEM_FOCUSABLE | STATE_SYSTEM_SELECTABLE;
        if (i == FSelected) {
            tab.State |= STATE_SYSTEM_SELECTED;
            if (::GetFocus() == Handle()) {
                tab.State |= STATE_SYSTEM_FOCUSED;
                view.Focused = i;
            }
        }
        tab.Screen = TabRect(i);
        ::OffsetRect(&tab.Screen, origin.x, origin.y);
        tab.DefaultAction = IDS_SURFKEEP_AccSwitch;
        tab.DoDefault = [this, i] { Select(i); };
        view.Children.push_back(std::move(tab));
    }
    // The page on show, after the tabs.
    AddChildWindows(Handle(), view.Children);
    return view;
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
    const HWND oldPage = old >= 0 ? FTabs[static_cast<size_t>(old)].Page : nullptr;
    const HWND newPage = FTabs[static_cast<size_t>(index)].Page;
    // The keyboard was on the page that goes: it moves to the first control of the one that comes.
    const bool focusOnOldPage = oldPage && FocusIsWithin(oldPage);
    if (newPage) ::ShowWindow(newPage, SW_SHOW);
    if (oldPage) ::ShowWindow(oldPage, SW_HIDE);
    if (focusOnOldPage && !(newPage && FocusFirstIn(newPage))) ::SetFocus(Handle());
    ::InvalidateRect(Handle(), nullptr, FALSE);
    ::NotifyWinEvent(EVENT_OBJECT_SELECTION, Handle(), OBJID_CLIENT, index + 1);
    if (::GetFocus() == Handle()) ::NotifyWinEvent(EVENT_OBJECT_FOCUS, Handle(), OBJID_CLIENT, index + 1);
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
    TSelectObject selFont(dc.Get(), Font());
    ::SetBkMode(dc.Get(), TRANSPARENT);

    // With a high-contrast theme, the system's colours: window, text, highlight.
    const bool hc = KivHighContrast();
    auto color = [hc](COLORREF skin, int system) { return hc ? ::GetSysColor(system) : skin; };
    const int header = ToPixels(kHeaderHeight), edge = std::max(1, ToPixels(1));
    TBrush back(::CreateSolidBrush(color(kColorWindowBack, COLOR_WINDOW)));
    ::FillRect(dc.Get(), &rc, back.Get());

    // Page frame.
    TBrush border(::CreateSolidBrush(color(kColorBorder, COLOR_WINDOWTEXT))),
        page(::CreateSolidBrush(color(kColorPage, COLOR_WINDOW)));
    RECT frame{0, header, rc.right, rc.bottom};
    ::FillRect(dc.Get(), &frame, border.Get());
    RECT inner{edge, header + edge, rc.right - edge, rc.bottom - edge};
    ::FillRect(dc.Get(), &inner, page.Get());

    const bool focused = ::GetFocus() == Handle();
    for (int i = 0; i < Count(); ++i) {
        RECT r = TabRect(i);
        const bool selected = i == FSelected;
        if (!selected) r.top += ToPixels(3);
        ::FillRect(dc.Get(), &r, border.Get());
        RECT face{r.left + edge, r.top + edge, r.right - edge, selected ? r.bottom : r.bottom - edge};
        TBrush faceBrush(::CreateSolidBrush(selected ? color(kColorPage, COLOR_HIGHLIGHT)
                                                     : (i == FHot ? color(kColorTabHot, COLOR_BTNFACE)
                                                                  : color(kColorTab, COLOR_BTNFACE))));
        ::FillRect(dc.Get(), &face, faceBrush.Get());
        if (selected && !hc) {  // the accent line on top of the chosen tab
            RECT accent{r.left, r.top, r.right, r.top + ToPixels(2)};
            TBrush accentBrush(::CreateSolidBrush(kColorAccent));
            ::FillRect(dc.Get(), &accent, accentBrush.Get());
        }
        ::SetTextColor(dc.Get(), selected ? color(kColorAccentText, COLOR_HIGHLIGHTTEXT)
                                          : color(kColorTextMuted, COLOR_BTNTEXT));
        RECT text = face;
        const auto& caption = FTabs[static_cast<size_t>(i)].Caption;
        ::DrawTextW(dc.Get(), caption.c_str(), static_cast<int>(caption.size()), &text,
                    DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
        if (selected && focused) {
            // Always shown while the strip has the keyboard.
            RECT f{face.left + ToPixels(4), face.top + ToPixels(4), face.right - ToPixels(4), face.bottom - ToPixels(3)};
            const COLORREF t = ::SetTextColor(dc.Get(), RGB(0, 0, 0)), b = ::SetBkColor(dc.Get(), RGB(255, 255, 255));
            ::DrawFocusRect(dc.Get(), &f);
            ::SetTextColor(dc.Get(), t);
            ::SetBkColor(dc.Get(), b);
        }
    }
    ::BitBlt(target, 0, 0, rc.right, header + 1, dc.Get(), 0, 0, SRCCOPY);
    // The page area is covered by the page window; paint only its frame edges.
    ::BitBlt(target, 0, header, rc.right, rc.bottom - header, dc.Get(), 0, header, SRCCOPY);
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
        case WM_SYSCOLORCHANGE:
            ::InvalidateRect(Handle(), nullptr, FALSE);
            break;
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
