// Helpers for tests that drive real windows under Xvfb: pumping, finding windows and buttons,
// answering message boxes, and saving what the screen shows as PNG.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <string>
#include <vector>

namespace sktest {

// Runs the thread's messages for the given time (at least one round).
void PumpFor(DWORD ms);

// A child window (any depth) whose text is exactly text; nullptr when none.
HWND FindChildByText(HWND parent, const std::wstring& text);
std::wstring WindowText(HWND wnd);

// Copies what the screen shows of a window into a PNG file.
bool SaveWindowPng(HWND wnd, const std::wstring& fileName);
// The colour the screen shows at a point of a window's client area.
COLORREF ScreenPixel(HWND wnd, int x, int y);

// Answers every modal dialog box (#32770) of this thread that appears while it lives, pressing the
// given button and recording the box's caption and text.
class TDialogAnswerer {
public:
    explicit TDialogAnswerer(int button = IDOK);
    ~TDialogAnswerer();
    struct TSeen {
        std::wstring Caption, Text;
    };
    const std::vector<TSeen>& Seen() const;

private:
    UINT_PTR FTimer;
};

// Where a click lands on a tree item's tick box, in the tree's client coordinates (the item must be
// visible); x is -1 when the item shows no tick box.
POINT TreeCheckBoxPoint(HWND tree, HTREEITEM item);

}  // namespace sktest
