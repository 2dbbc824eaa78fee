// The keyboard's way through a window: Tab and Shift+Tab go through what can take the focus in
// reading order (line by line from the top, each line from the left, each container's contents in
// its place), window-less links and focusable pictures included, which take the focus through the
// window they sit on.
#pragma once

#include <windows.h>

#include <vector>

namespace sk {

class TKivGraphicControl;

// One place the focus can go: a window, or a window-less control of a window.
struct TKivFocusItem {
    HWND Window = nullptr;
    TKivGraphicControl* Control = nullptr;  // not owned
    RECT Screen{};
};

// Everything inside `container` that shows, is enabled and takes the focus by Tab (windows with
// WS_TABSTOP, window-less controls with TabStop), in reading order. Windows with
// WS_EX_CONTROLPARENT are looked into.
std::vector<TKivFocusItem> FocusOrder(HWND container);
// Where the keyboard focus is, as an item of FocusOrder (Window null when it is elsewhere).
TKivFocusItem CurrentFocusItem();
// Gives an item the keyboard focus.
bool FocusItem(const TKivFocusItem& item);
// Tab (forwards) or Shift+Tab (backwards) within root, wrapping around; false when nothing there
// takes the focus.
bool MoveFocus(HWND root, bool backwards);
// The focus to the first item inside container; false when it has none.
bool FocusFirstIn(HWND container);
// Whether the keyboard focus is inside wnd (or on it).
bool FocusIsWithin(HWND wnd);

// Keyboard cues: the mnemonics of the buttons are underlined in a top-level window once the
// keyboard has been used there (Alt, Tab), or always when the user chose so (SPI_GETKEYBOARDCUES).
// Kept by the program itself, as Wine keeps no UI state for windows; the platform's state is told
// too (WM_CHANGEUISTATE), for the native controls.
bool KeyboardCuesShown(HWND wnd);
void ShowKeyboardCues(HWND root);

// Sorts rectangles (with whatever they stand for) into reading order: by lines from the top, a line
// being what overlaps the first one of it vertically, each line from the left.
template <typename T, typename RectOf>
void SortByReadingOrder(std::vector<T>& items, RectOf rectOf);

}  // namespace sk

#include <algorithm>

namespace sk {

template <typename T, typename RectOf>
void SortByReadingOrder(std::vector<T>& items, RectOf rectOf) {
    std::stable_sort(items.begin(), items.end(),
                     [&](const T& a, const T& b) { return rectOf(a).top < rectOf(b).top; });
    std::vector<T> out;
    out.reserve(items.size());
    size_t i = 0;
    while (i < items.size()) {
        // A line: the first of the rest, and whatever starts above its bottom edge.
        LONG bottom = rectOf(items[i]).bottom;
        size_t j = i + 1;
        while (j < items.size() && rectOf(items[j]).top < bottom) {
            bottom = std::min(bottom, std::max(rectOf(items[j]).bottom, rectOf(items[j]).top + 1));
            ++j;
        }
        std::stable_sort(items.begin() + static_cast<std::ptrdiff_t>(i), items.begin() + static_cast<std::ptrdiff_t>(j),
                         [&](const T& a, const T& b) {
                             const RECT ra = rectOf(a), rb = rectOf(b);
                             return ra.left != rb.left ? ra.left < rb.left : ra.top < rb.top;
                         });
        for (size_t k = i; k < j; ++k) out.push_back(std::move(items[k]));
        i = j;
    }
    items = std::move(out);
}

}  // namespace sk
