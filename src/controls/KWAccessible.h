// Active Accessibility for the windows of ours. A window answers WM_GETOBJECT with an IAccessible
// made of what it shows: the window-less controls of its host (labels, links, pictures with a
// meaning, the title bar), each with the role, name, state and default action the control gives,
// and its child windows, each its own object (ours, or the system's for native controls, named
// after the label before them). Windows that show more than that (a push button, the tab strip)
// describe themselves as an IKivAccessibleSource.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace sk {

class TKivGraphicControl;
class TKivGraphicHost;

// One thing a screen reader sees.
struct TKivAccessibleItem {
    long Role = 0;  // ROLE_SYSTEM_...
    std::wstring Name, Value, DefaultAction, KeyboardShortcut;
    long State = 0;   // STATE_SYSTEM_... flags
    RECT Screen{};    // on the screen
    HWND Window = nullptr;  // a child window: the item is that window's own object
    std::function<void()> DoDefault;
    std::function<void()> Focus;  // for a window-less part that takes the keyboard focus
};

// A window as a screen reader sees it: itself and its parts, in reading order.
struct TKivAccessibleView {
    TKivAccessibleItem Self;
    std::vector<TKivAccessibleItem> Children;
    int Focused = -1;  // the child that has the focus (index), or -1
};

class IKivAccessibleSource {
public:
    virtual TKivAccessibleView AccessibleView() = 0;

protected:
    ~IKivAccessibleSource() = default;
};

// What wnd shows a screen reader (for tests and for the accessible object).
TKivAccessibleView AccessibleViewOf(HWND wnd);
// The child windows of wnd that show, as items of a view, in reading order with `items`.
void AddChildWindows(HWND wnd, std::vector<TKivAccessibleItem>& items);
// Sorts items into reading order: line by line from the top, each line from the left.
void SortReadingOrder(std::vector<TKivAccessibleItem>& items);

// Answers WM_GETOBJECT for the client area of wnd with its accessible object; false for other
// requests, which the system answers.
bool AnswerAccessibleObject(HWND wnd, WPARAM wParam, LPARAM lParam, LRESULT& result);
// Tells screen readers that a window-less control got the keyboard focus.
void NotifyAccessibleFocus(const TKivGraphicHost& host, const TKivGraphicControl* control);

// A caption without its mnemonic marks ("&&" stays one "&").
std::wstring WithoutMnemonicMarks(const std::wstring& caption);

}  // namespace sk
