#include "controls/KWFocus.h"

#include <unordered_set>

#include "base/Window.h"
#include "controls/KWGraphicControl.h"
#include "controls/KWTheme.h"

namespace sk {

namespace {

bool Showing(HWND wnd) {
    const LONG style = ::GetWindowLongW(wnd, GWL_STYLE);
    return (style & WS_VISIBLE) && !(style & WS_DISABLED);
}

RECT ScreenRectOf(HWND wnd) {
    RECT r{};
    ::GetWindowRect(wnd, &r);
    return r;
}

// One entry of a container: a place for the focus, a container to look into, or both (a tab strip).
struct TEntry {
    TKivFocusItem Item;
    bool Focusable = false;
    bool Container = false;
};

void Collect(HWND container, std::vector<TKivFocusItem>& out) {
    std::vector<TEntry> entries;
    for (HWND c = ::GetWindow(container, GW_CHILD); c; c = ::GetWindow(c, GW_HWNDNEXT)) {
        if (!Showing(c)) continue;
        TEntry e;
        e.Item.Window = c;
        e.Item.Screen = ScreenRectOf(c);
        e.Focusable = (::GetWindowLongW(c, GWL_STYLE) & WS_TABSTOP) != 0;
        e.Container = (::GetWindowLongW(c, GWL_EXSTYLE) & WS_EX_CONTROLPARENT) != 0;
        if (e.Focusable || e.Container) entries.push_back(e);
    }
    if (TKivGraphicHost* host = TKivGraphicHost::Find(container)) {
        POINT origin{0, 0};
        ::ClientToScreen(container, &origin);
        for (TKivGraphicControl* c : host->Controls()) {
            if (!c->TabStop() || !c->Visible() || !c->Enabled()) continue;
            TEntry e;
            e.Item.Window = container;
            e.Item.Control = c;
            e.Item.Screen = c->PixelRect();
            ::OffsetRect(&e.Item.Screen, origin.x, origin.y);
            e.Focusable = true;
            entries.push_back(e);
        }
    }
    SortByReadingOrder(entries, [](const TEntry& e) { return e.Item.Screen; });
    for (const TEntry& e : entries) {
        if (e.Focusable) out.push_back(e.Item);
        if (e.Container && !e.Item.Control) Collect(e.Item.Window, out);
    }
}

bool Same(const TKivFocusItem& a, const TKivFocusItem& b) { return a.Window == b.Window && a.Control == b.Control; }

}  // namespace

std::vector<TKivFocusItem> FocusOrder(HWND container) {
    std::vector<TKivFocusItem> out;
    if (container) Collect(container, out);
    return out;
}

TKivFocusItem CurrentFocusItem() {
    TKivFocusItem item;
    item.Window = ::GetFocus();
    if (TKivGraphicHost* host = TKivGraphicHost::Find(item.Window))
        if (host->WindowHasFocus()) item.Control = host->FocusedControl();
    return item;
}

bool FocusItem(const TKivFocusItem& item) {
    if (!item.Window) return false;
    if (item.Control) {
        TKivGraphicHost* host = TKivGraphicHost::Find(item.Window);
        return host && host->FocusControl(item.Control);
    }
    ::SetFocus(item.Window);
    // As the dialog manager does: an edit box reached by the keyboard has its text selected.
    if (::SendMessageW(item.Window, WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL)
        ::SendMessageW(item.Window, EM_SETSEL, 0, -1);
    return ::GetFocus() == item.Window;
}

bool MoveFocus(HWND root, bool backwards) {
    const std::vector<TKivFocusItem> order = FocusOrder(root);
    if (order.empty()) return false;
    TKivFocusItem now = CurrentFocusItem();
    // The focus may be inside an item (an edit box of a list): the item counts.
    int at = -1;
    for (HWND w = now.Window; w && at < 0; w = (::GetWindowLongW(w, GWL_STYLE) & WS_CHILD) ? ::GetParent(w) : nullptr) {
        for (size_t i = 0; i < order.size(); ++i) {
            if (order[i].Window == w && (w != now.Window ? !order[i].Control : Same(order[i], now))) {
                at = static_cast<int>(i);
                break;
            }
        }
    }
    const int n = static_cast<int>(order.size());
    const int next = at < 0 ? (backwards ? n - 1 : 0) : (at + (backwards ? n - 1 : 1)) % n;
    // The keyboard is in use: mnemonics show from now on.
    ShowKeyboardCues(root);
    return FocusItem(order[static_cast<size_t>(next)]);
}

bool FocusFirstIn(HWND container) {
    const std::vector<TKivFocusItem> order = FocusOrder(container);
    return !order.empty() && FocusItem(order.front());
}

namespace {
HWND TopLevelOf(HWND wnd) {
    while (wnd && (::GetWindowLongW(wnd, GWL_STYLE) & WS_CHILD)) wnd = ::GetParent(wnd);
    return wnd;
}
std::unordered_set<HWND>& CuesShown() {
    static std::unordered_set<HWND> windows;  // window thread only
    return windows;
}
}  // namespace

bool KeyboardCuesShown(HWND wnd) {
    if (KivKeyboardCuesAlways()) return true;
    const HWND top = TopLevelOf(wnd);
    return top && CuesShown().count(top) != 0;
}

void ShowKeyboardCues(HWND root) {
    root = TopLevelOf(root);
    if (!root || !CuesShown().insert(root).second) return;
    ::SendMessageW(root, WM_CHANGEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS | UISF_HIDEACCEL), 0);
    if (!KivKeyboardCuesAlways()) ::RedrawWindow(root, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN);
}

bool FocusIsWithin(HWND wnd) {
    const HWND focus = ::GetFocus();
    return focus && wnd && (focus == wnd || ::IsChild(wnd, focus));
}

}  // namespace sk
