// The whole window without a mouse: key messages go through the window's own key handling
// (PreTranslate, as the program's message loop does) to the focused window, and the focus is
// checked after each.
#include "TestSupport.h"
#include "UiTestSupport.h"
#include "WholeWindow.h"

#include <commctrl.h>

#include <string>
#include <vector>

#include "app/FormAbout.h"
#include "app/FormRestorePoints.h"
#include "base/Settings.h"
#include "controls/KWAccessible.h"
#include "controls/KWCustomButton.h"
#include "controls/KWFocus.h"
#include "controls/KWGraphicControl.h"
#include "controls/KWTheme.h"
#include "security/ui/FormAllHostItems.h"

using namespace sk;

namespace {

// Holds Shift or Ctrl down for the keys sent meanwhile (the thread's key state, which the window's
// key handling reads).
class THeld {
public:
    explicit THeld(std::initializer_list<int> keys) : FKeys(keys) { Set(0x80); }
    ~THeld() { Set(0); }
    THeld(const THeld&) = delete;
    THeld& operator=(const THeld&) = delete;

private:
    void Set(BYTE state) {
        BYTE all[256] = {};
        ::GetKeyboardState(all);
        for (int k : FKeys) all[k] = state;
        ::SetKeyboardState(all);
    }
    std::vector<int> FKeys;
};

// Runs what is waiting through the window's key handling, as the program's message loop does.
void Pump(TfrmSurfkeep& form, DWORD ms = 20) {
    const ULONGLONG end = ::GetTickCount64() + ms;
    do {
        MSG msg;
        bool any = false;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            any = true;
            if (form.Handle() && form.PreTranslate(msg)) continue;
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        if (any && form.Handle()) form.lstActionUpdate();  // idle time, as in the program
        ::Sleep(1);
    } while (::GetTickCount64() < end);
}

// A key pressed and let go on the focused window.
void Press(TfrmSurfkeep& form, UINT vk) {
    HWND target = ::GetFocus() ? ::GetFocus() : form.Handle();
    ::PostMessageW(target, WM_KEYDOWN, vk, 1);
    Pump(form);
    target = ::GetFocus() ? ::GetFocus() : form.Handle();
    ::PostMessageW(target, WM_KEYUP, vk, 0xC0000001);
    Pump(form);
}

// Alt and a letter: WM_SYSKEYDOWN of Alt, then the letter's WM_SYSCHAR.
void AltLetter(TfrmSurfkeep& form, wchar_t letter) {
    HWND target = ::GetFocus() ? ::GetFocus() : form.Handle();
    ::PostMessageW(target, WM_SYSKEYDOWN, VK_MENU, 0x20000001);
    ::PostMessageW(target, WM_SYSCHAR, letter, 0x20000001);
    Pump(form);
}

// What has the focus, by the name a screen reader gives it (the class of a native control).
std::wstring FocusName() {
    const TKivFocusItem f = CurrentFocusItem();
    if (!f.Window) return L"(nothing)";
    if (!IsShowing(f.Window)) return L"(hidden)";
    if (f.Control) return f.Control->AccessibleName();
    std::wstring name;
    if (TWindow::IsOwnClass(f.Window)) name = AccessibleViewOf(f.Window).Self.Name;
    if (name.empty()) name = sktest::WindowText(f.Window);
    if (name.empty()) {
        wchar_t cls[64] = {};
        ::GetClassNameW(f.Window, cls, 64);
        name = cls;
    }
    return name;
}

// Tab from where the focus is until it comes back there: the names on the way, joined by " | ".
std::wstring Joined(const std::vector<std::wstring>& names) {
    std::wstring out;
    for (const auto& n : names) out += (out.empty() ? L"" : L" | ") + n;
    return out;
}

std::vector<std::wstring> TabRound(TfrmSurfkeep& form, bool backwards = false) {
    std::vector<std::wstring> names{FocusName()};
    for (int i = 0; i < 30; ++i) {
        if (backwards) {
            THeld shift{VK_SHIFT};
            Press(form, VK_TAB);
        } else {
            Press(form, VK_TAB);
        }
        const std::wstring now = FocusName();
        if (now == names.front()) break;
        names.push_back(now);
    }
    return names;
}

struct TOpenWindow : sktest::TWholeWindow {
    TfrmSurfkeep& form;
    TOpenWindow() : form(Open(SW_SHOWNORMAL)) {
        ::SetForegroundWindow(form.Handle());
        Pump(form, 50);
    }
};

}  // namespace

TEST_CASE("Tab goes through every control of a tab in reading order, links included, and Shift+Tab back") {
    TOpenWindow w;
    // The keyboard starts on the first control of the Repair tab.
    REQUIRE(FocusName() == L"SysListView32");
    const std::vector<std::wstring> repair{L"SysListView32", L"Select All", L"Select None", L"Restore points",
                                           L"Scan",          L"Repair",     L"Help",        L"SurfkeepTabStrip"};
    CHECK(Joined(TabRound(w.form)) == Joined(repair));
    std::vector<std::wstring> back = TabRound(w.form, true);
    REQUIRE(back.size() == repair.size());
    for (size_t i = 1; i < back.size(); ++i) CHECK(back[i] == repair[repair.size() - i]);

    SUBCASE("the Cleaning tab") {
        THeld ctrl{VK_CONTROL};
        Press(w.form, VK_TAB);
    }
    SUBCASE("the Security tab") {
        w.form.pgcMain().Select(3);
        Pump(w.form);
    }
    if (w.form.pgcMain().Selected() == 1) {
        auto* clean = dynamic_cast<TCleanTab*>(w.form.Page(1));
        REQUIRE(clean);
        // Clean waits for a scan: a disabled button is passed over.
        std::vector<std::wstring> expected{L"SysTreeView32", L"Select All", L"Select None", L"Scan", L"Help",
                                           L"SurfkeepTabStrip"};
        if (clean->actIEClean_Clean.Enabled()) expected.insert(expected.begin() + 4, L"Clean");
        CHECK(Joined(TabRound(w.form)) == Joined(expected));
    } else if (w.form.pgcMain().Selected() == 3) {
        auto* security = dynamic_cast<TSecurityTab*>(w.form.Page(3));
        REQUIRE(security);
        ::SetFocus(security->lstMaliciousWebs);
        std::vector<std::wstring> expected{L"ListBox", L"Restore points", L"More...", L"Auto update hosts data",
                                           L"Help", L"SurfkeepTabStrip"};
        // The shield's switch that is enabled, before the list on its line.
        if (security->actSecurity_TurnOff.Enabled()) expected.insert(expected.begin() + 6, L"Turn off");
        if (security->actSecurity_TurnOn.Enabled()) expected.insert(expected.begin() + 6, L"Turn on");
        CHECK(Joined(TabRound(w.form)) == Joined(expected));
    }
}

TEST_CASE("a link on the keyboard: Enter and Space act on it, the focus rectangle shows") {
    TOpenWindow w;
    Press(w.form, VK_TAB);
    REQUIRE(FocusName() == L"Select All");
    const TKivFocusItem link = CurrentFocusItem();
    REQUIRE(link.Control);
    CHECK(link.Control->Focused());
    // The focus rectangle: dotted pixels along the link's top edge, which the link alone lacks.
    const RECT r = link.Control->PixelRect();
    bool dark = false;
    for (int x = r.left; x < r.right && !dark; ++x) {
        const COLORREF c = sktest::ScreenPixel(link.Window, x, r.top);
        dark = GetRValue(c) + GetGValue(c) + GetBValue(c) < 3 * 128;
    }
    CHECK(dark);

    Press(w.form, VK_RETURN);
    for (const auto& line : w.Repair().Lines()) CHECK(line.Ticked);
    Press(w.form, VK_TAB);
    REQUIRE(FocusName() == L"Select None");
    Press(w.form, VK_SPACE);
    for (const auto& line : w.Repair().Lines()) CHECK_FALSE(line.Ticked);
    CHECK(w.Repair().ShowingResults() == false);  // Enter on a link never presses the default button
}

TEST_CASE("Ctrl+Tab, Ctrl+Shift+Tab, Ctrl+PageDown and Ctrl+PageUp change the tab; the focus goes along") {
    TOpenWindow w;
    TTabStrip& tabs = w.form.pgcMain();
    REQUIRE(FocusName() == L"SysListView32");
    {
        THeld ctrl{VK_CONTROL};
        Press(w.form, VK_TAB);
        CHECK(tabs.Selected() == 1);
        CHECK(FocusName() == L"SysTreeView32");
        Press(w.form, VK_NEXT);
        CHECK(tabs.Selected() == 2);
        CHECK(FocusName() == L"SysTreeView32");
        Press(w.form, VK_NEXT);
        CHECK(tabs.Selected() == 3);
        CHECK(FocusName() != L"(hidden)");
        Press(w.form, VK_PRIOR);
        CHECK(tabs.Selected() == 2);
    }
    {
        THeld ctrlShift{VK_CONTROL, VK_SHIFT};
        Press(w.form, VK_TAB);
        CHECK(tabs.Selected() == 1);
        Press(w.form, VK_TAB);
        CHECK(tabs.Selected() == 0);
        CHECK(FocusName() == L"SysListView32");
    }
    SUBCASE("on the tab strip, the focus stays there and the arrows change the tab") {
        ::SetFocus(tabs.Handle());
        Press(w.form, VK_RIGHT);
        CHECK(tabs.Selected() == 1);
        CHECK(FocusName() == L"SurfkeepTabStrip");
    }
}

// The user's choice to see mnemonics always switched off for a test (Wine starts with it on).
class TCuesAfterAlt {
public:
    TCuesAfterAlt() {
        ::SystemParametersInfoW(SPI_GETKEYBOARDCUES, 0, &FWas, 0);
        ::SystemParametersInfoW(SPI_SETKEYBOARDCUES, 0, reinterpret_cast<void*>(static_cast<INT_PTR>(FALSE)), 0);
        RefreshKivTheme();
    }
    ~TCuesAfterAlt() {
        ::SystemParametersInfoW(SPI_SETKEYBOARDCUES, 0, reinterpret_cast<void*>(static_cast<INT_PTR>(FWas)), 0);
        RefreshKivTheme();
    }

private:
    BOOL FWas = FALSE;
};

TEST_CASE("Alt and a button's letter press it; the letters are underlined once Alt is pressed") {
    const TCuesAfterAlt cues;
    TOpenWindow w;
    const HWND page = ::GetParent(w.Repair().ItemList());
    auto* scan = dynamic_cast<TKivCustomButton*>(TWindow::FromHandle(sktest::FindChildByText(page, L"Scan")));
    REQUIRE(scan);
    CHECK(scan->DisplayCaption() == L"&Scan");
    CHECK(scan->Caption() == L"Scan");  // the program's text itself is left as it is
    CHECK(scan->Mnemonic() == L'S');
    CHECK(AccessibleViewOf(scan->Handle()).Self.KeyboardShortcut == L"Alt+S");
    // Hidden until the keyboard is used.
    CHECK_FALSE(KeyboardCuesShown(scan->Handle()));

    AltLetter(w.form, L'r');
    CHECK(w.Repair().ShowingResults());
    CHECK(KeyboardCuesShown(scan->Handle()));
    AltLetter(w.form, L'b');
    CHECK_FALSE(w.Repair().ShowingResults());

    SUBCASE("a language pack's \"&\" marks the letter instead") {
        w.Repair().actIERepair_Repair.SetCaption(L"Re&make");
        AltLetter(w.form, L'r');
        CHECK_FALSE(w.Repair().ShowingResults());
        AltLetter(w.form, L'm');
        CHECK(w.Repair().ShowingResults());
    }
    SUBCASE("a caption without the letter has no mnemonic") {
        w.Repair().actIERepair_Repair.SetCaption(L"Fix");
        AltLetter(w.form, L'r');
        CHECK_FALSE(w.Repair().ShowingResults());
    }
}

TEST_CASE("Space ticks a line of the repair list") {
    TOpenWindow w;
    const HWND list = w.Repair().ItemList();
    REQUIRE(::GetFocus() == list);
    const int row = w.Repair().NativeGroups() ? 0 : 1;  // a heading line stands first without groups
    ListView_SetItemState(list, row, LVIS_FOCUSED | LVIS_SELECTED, LVIS_FOCUSED | LVIS_SELECTED);
    const bool before = ListView_GetCheckState(list, row) != FALSE;
    Press(w.form, VK_SPACE);
    CHECK((ListView_GetCheckState(list, row) != FALSE) == !before);
    CHECK(w.Repair().Lines()[0].Ticked == !before);
}

TEST_CASE("Esc closes the boxes, F1 asks for help from them, and the keyboard comes back where it was") {
    TOpenWindow w;
    for (int i = 0; i < 4; ++i) Press(w.form, VK_TAB);
    REQUIRE(FocusName() == L"Scan");
    const HWND before = ::GetFocus();

    SUBCASE("the About box") {
        TfrmAbout about;
        REQUIRE(about.Create(w.form.Handle()));
        ::PostMessageW(about.Handle(), WM_KEYDOWN, VK_F1, 1);
        ::PostMessageW(about.Handle(), WM_KEYDOWN, VK_ESCAPE, 1);
        CHECK(about.ShowModal(w.form.Handle()) == IDCANCEL);
        CHECK(w.Opened == std::vector<std::wstring>{HelpFileName});
    }
    SUBCASE("the all-hosts window, whose first control has the keyboard when it opens") {
        TfrmShowAll all(*w.Security);
        REQUIRE(all.Create(w.form.Handle()));
        ::PostMessageW(all.Handle(), WM_KEYDOWN, VK_ESCAPE, 1);
        CHECK(all.ShowModal(w.form.Handle()) == IDCANCEL);
    }
    Pump(w.form, 50);
    CHECK(::GetFocus() == before);
}

namespace {

// What a timer saw of the Restore points window while it was open, before it pressed Esc there.
struct TSeenDialog {
    HWND Dialog = nullptr;
    HWND Focus = nullptr;
    HWND Active = nullptr;
    bool FocusInside = false;
    std::wstring Class;
};
TSeenDialog gSeen;

void CALLBACK PressEscInRestorePoints(HWND, UINT, UINT_PTR id, DWORD) {
    const HWND dialog = ::FindWindowW(TfrmRestorePoints::kClassName, nullptr);
    if (!dialog || !IsShowing(dialog)) return;
    ::KillTimer(nullptr, id);
    gSeen = {dialog, ::GetFocus(), ::GetActiveWindow()};
    gSeen.FocusInside = gSeen.Focus && ::IsChild(dialog, gSeen.Focus);
    wchar_t cls[64] = {};
    ::GetClassNameW(gSeen.Focus, cls, 64);
    gSeen.Class = cls;
    ::PostMessageW(gSeen.Focus ? gSeen.Focus : dialog, WM_KEYDOWN, VK_ESCAPE, 1);
}

}  // namespace

TEST_CASE("the Restore points link opens its window by Enter; Esc closes it and the keyboard is back on the link") {
    TOpenWindow w;
    for (int i = 0; i < 3; ++i) Press(w.form, VK_TAB);
    REQUIRE(FocusName() == L"Restore points");
    gSeen = {};
    const UINT_PTR timer = ::SetTimer(nullptr, 0, 50, PressEscInRestorePoints);
    REQUIRE(timer);
    Press(w.form, VK_RETURN);  // runs the window's modal loop until Esc ends it
    ::KillTimer(nullptr, timer);
    REQUIRE(gSeen.Dialog);
    // Inside, the keyboard was on one of the window's own controls.
    CHECK(gSeen.Active == gSeen.Dialog);
    CHECK(gSeen.FocusInside);
    CHECK(gSeen.Class == L"SysListView32");  // the list of points
    CHECK_FALSE(::IsWindow(gSeen.Dialog));
    Pump(w.form, 50);
    CHECK(FocusName() == L"Restore points");
}
