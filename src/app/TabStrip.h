// The main window's tab control, drawn to fit the skin: a row of tabs over a framed page area.
// Each page is a child window of the strip placed in PageRect(); the strip shows the selected one.
// It lives in its parent's 96-dpi layout and draws at its display scale. A screen reader sees a
// page tab list with a page tab for each tab.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "base/Handles.h"
#include "base/Window.h"
#include "controls/KWAccessible.h"

namespace sk {

class TTabStrip : public TWindow, public IKivAccessibleSource {
public:
    // In layout pixels.
    static constexpr int kHeaderHeight = 24;
    static constexpr int kPageInset = 4;

    // At x, y, w, h of parent's layout; `font` is of the layout too.
    HWND Create(HWND parent, int x, int y, int w, int h, HFONT font);
    // Adds a tab; page is shown while it is selected.
    int AddTab(const std::wstring& caption, HWND page);
    void SetCaption(int index, const std::wstring& caption);
    const std::wstring& Caption(int index) const { return FTabs[static_cast<size_t>(index)].Caption; }
    int Count() const { return static_cast<int>(FTabs.size()); }
    int Selected() const { return FSelected; }
    void Select(int index);
    // Ctrl+Tab order: the next or previous tab, wrapping around.
    void SelectNext(bool backwards);
    // The page area in the strip's client pixels, and in its layout.
    RECT PageRect() const { return ToPixels(PageLayoutRect()); }
    RECT PageLayoutRect() const;
    // A tab's place, in the strip's client pixels.
    RECT TabRect(int index) const;

    // Before a tab's page shows (the page may be made here); then, once it shows.
    std::function<void(int index)> OnSelecting;
    std::function<void(int index)> OnChange;

    TKivAccessibleView AccessibleView() override;

protected:
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
    void OnDpiChanged(int oldDpi) override;

private:
    struct TTab {
        std::wstring Caption;
        HWND Page;
        int Width = 0;
    };
    void Measure();
    void Paint(HDC dc);
    int TabAt(POINT pt) const;
    HFONT Font() const;

    std::vector<TTab> FTabs;  // widths in pixels
    int FSelected = -1;
    int FHot = -1;
    HFONT FFont = nullptr;  // of the layout; not owned
    bool FTracking = false;
};

}  // namespace sk
