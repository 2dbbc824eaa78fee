// Buttons behave as push buttons: clicks by mouse and keys, default and cancel buttons, caption
// accelerators, the modal result that ends a modal window, and links.
#include "ControlsTestSupport.h"

#include "controls/KWImageButton.h"
#include "controls/KWImage.h"

#include <commctrl.h>

using namespace sk;
using namespace sktest;

namespace {

struct TClicks {
    int Count = 0;
    std::function<void()> Handler() {
        return [this] { ++Count; };
    }
};

TKivButtonArgs Button(HWND parent, const std::wstring& caption, int x, int y, TClicks* clicks) {
    TKivButtonArgs a;
    a.Parent = parent;
    a.Left = x;
    a.Top = y;
    a.Caption = caption;
    a.Pictures.Normal = Solid(75, 26, Pack(230, 230, 230));
    if (clicks) a.OnClick = clicks->Handler();
    return a;
}

void Post(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    ::PostMessageW(wnd, msg, wParam, lParam);
    Pump();
}

// What a message loop of the program does with a key: the window-level keys first.
void SendKey(HWND focusWindow, UINT msg, WPARAM key) {
    MSG m{focusWindow, msg, key, msg == WM_KEYUP ? (1u << 30) | (1u << 31) : 1u};
    if (HandleKivDialogKey(m)) return;
    ::TranslateMessage(&m);
    ::DispatchMessageW(&m);
    Pump();
}

}  // namespace

TEST_CASE("mouse clicks: press and release over the button click it; released elsewhere they do not") {
    THostWindow host(300, 120, Pattern(300, 120));
    TClicks clicks;
    TKivImageButton button(Button(host.PanelHandle(), L"Scan", 20, 20, &clicks));
    HWND b = button.Handle();
    struct TCase {
        const char* Name;
        POINT Release;
        int Clicks;
    };
    const TCase cases[] = {
        {"inside", {30, 10}, 1},
        {"on the last pixel", {74, 25}, 1},
        {"just outside", {75, 10}, 0},
        {"far away", {-40, 60}, 0},
    };
    for (const TCase& c : cases) {
        CAPTURE(c.Name);
        clicks.Count = 0;
        Post(b, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10));
        CHECK(button.Down());
        Post(b, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(static_cast<short>(c.Release.x), static_cast<short>(c.Release.y)));
        Post(b, WM_LBUTTONUP, 0, MAKELPARAM(static_cast<short>(c.Release.x), static_cast<short>(c.Release.y)));
        CHECK(clicks.Count == c.Clicks);
        CHECK_FALSE(button.Down());
        CHECK(::GetCapture() != b);
    }
    SUBCASE("a release without a press on the button is no click") {
        clicks.Count = 0;
        Post(b, WM_LBUTTONUP, 0, MAKELPARAM(10, 10));
        CHECK(clicks.Count == 0);
    }
    SUBCASE("a disabled button ignores the mouse") {
        clicks.Count = 0;
        button.SetEnabled(false);
        Post(b, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10));
        Post(b, WM_LBUTTONUP, 0, MAKELPARAM(10, 10));
        CHECK(clicks.Count == 0);
    }
}

TEST_CASE("the caption is the window text, so the button is found by name and clicked by BM_CLICK") {
    THostWindow host(300, 120, Pattern(300, 120));
    TClicks clicks;
    TKivImageButton button(Button(host.PanelHandle(), L"Repair", 20, 20, &clicks));
    HWND found = ::FindWindowExW(host.PanelHandle(), nullptr, L"TKivImageButton", L"Repair");
    CHECK(found == button.Handle());
    button.SetCaption(L"Back");
    CHECK(button.Caption() == L"Back");
    CHECK(::FindWindowExW(host.PanelHandle(), nullptr, nullptr, L"Back") == button.Handle());
    ::SendMessageW(found, BM_CLICK, 0, 0);
    CHECK(clicks.Count == 1);
}

TEST_CASE("keys on a focused button: Space clicks on release, Enter at once") {
    THostWindow host(300, 120, Pattern(300, 120));
    TClicks clicks;
    TKivButtonArgs a = Button(host.PanelHandle(), L"Go", 20, 20, &clicks);
    a.TabStop = true;
    TKivImageButton button(a);
    HWND b = button.Handle();
    ::SetFocus(b);
    REQUIRE(::GetFocus() == b);
    SendKey(b, WM_KEYDOWN, VK_SPACE);
    CHECK(button.Down());
    CHECK(clicks.Count == 0);
    SendKey(b, WM_KEYUP, VK_SPACE);
    CHECK_FALSE(button.Down());
    CHECK(clicks.Count == 1);
    SendKey(b, WM_KEYDOWN, VK_RETURN);
    CHECK(clicks.Count == 2);
    SUBCASE("Space held while the focus leaves: no click") {
        TKivButtonArgs o = Button(host.PanelHandle(), L"Other", 120, 20, nullptr);
        o.TabStop = true;
        TKivImageButton other(o);
        SendKey(b, WM_KEYDOWN, VK_SPACE);
        ::SetFocus(other.Handle());
        Pump();
        CHECK_FALSE(button.Down());
        SendKey(other.Handle(), WM_KEYUP, VK_SPACE);
        CHECK(clicks.Count == 2);
    }
    SUBCASE("a mouse press on a button with a tab stop takes the focus") {
        ::SetFocus(host.Handle());
        Post(b, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
        CHECK(::GetFocus() == b);
        Post(b, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    }
}

TEST_CASE("Enter clicks the default button, Esc the cancel button") {
    THostWindow host(400, 120, Pattern(400, 120));
    TClicks ok, cancel, other;
    TKivButtonArgs oa = Button(host.PanelHandle(), L"Ok", 20, 20, &ok);
    oa.Default = true;
    oa.TabStop = true;
    TKivButtonArgs ca = Button(host.PanelHandle(), L"Cancel", 110, 20, &cancel);
    ca.Cancel = true;
    ca.TabStop = true;
    TKivButtonArgs xa = Button(host.PanelHandle(), L"Other", 200, 20, &other);
    xa.TabStop = true;
    TKivImageButton okButton(oa), cancelButton(ca), otherButton(xa);

    SUBCASE("no skinned button focused") {
        ::SetFocus(host.Handle());
        CHECK(okButton.ActiveDefault());
        CHECK_FALSE(cancelButton.ActiveDefault());
        SendKey(host.Handle(), WM_KEYDOWN, VK_RETURN);
        CHECK(ok.Count == 1);
        SendKey(host.Handle(), WM_KEYDOWN, VK_ESCAPE);
        CHECK(cancel.Count == 1);
        CHECK(other.Count == 0);
    }
    SUBCASE("another skinned button has the focus: Enter is its own") {
        ::SetFocus(otherButton.Handle());
        CHECK_FALSE(okButton.ActiveDefault());
        CHECK(otherButton.ActiveDefault());
        SendKey(otherButton.Handle(), WM_KEYDOWN, VK_RETURN);
        CHECK(other.Count == 1);
        CHECK(ok.Count == 0);
        SendKey(otherButton.Handle(), WM_KEYDOWN, VK_ESCAPE);
        CHECK(cancel.Count == 1);
    }
    SUBCASE("with Shift, Ctrl or a disabled default nothing happens") {
        ::SetFocus(host.Handle());
        BYTE keys[256] = {};
        ::GetKeyboardState(keys);
        keys[VK_SHIFT] = 0x80;
        ::SetKeyboardState(keys);
        SendKey(host.Handle(), WM_KEYDOWN, VK_RETURN);
        keys[VK_SHIFT] = 0;
        ::SetKeyboardState(keys);
        CHECK(ok.Count == 0);
        okButton.SetEnabled(false);
        SendKey(host.Handle(), WM_KEYDOWN, VK_RETURN);
        CHECK(ok.Count == 0);
    }
}

TEST_CASE("a caption's accelerator clicks its button") {
    THostWindow host(400, 120, Pattern(400, 120));
    TClicks on, off;
    TKivImageButton turnOn(Button(host.PanelHandle(), L"Turn &on", 20, 20, &on));
    TKivImageButton turnOff(Button(host.PanelHandle(), L"Turn o&ff", 110, 20, &off));
    ::SetFocus(host.Handle());
    struct TCase {
        UINT Msg;
        wchar_t Ch;
        int On, Off;
    };
    const TCase cases[] = {
        {WM_SYSCHAR, L'o', 1, 0},
        {WM_SYSCHAR, L'F', 0, 1},
        {WM_CHAR, L'f', 0, 1},  // the focused window takes no characters
        {WM_SYSCHAR, L'x', 0, 0},
    };
    for (const TCase& c : cases) {
        on.Count = off.Count = 0;
        MSG m{host.Handle(), c.Msg, c.Ch, 0};
        HandleKivDialogKey(m);
        CHECK(on.Count == c.On);
        CHECK(off.Count == c.Off);
    }
    SUBCASE("a disabled button's accelerator does nothing") {
        on.Count = 0;
        turnOn.SetEnabled(false);
        MSG m{host.Handle(), WM_SYSCHAR, L'o', 0};
        CHECK_FALSE(HandleKivDialogKey(m));
        CHECK(on.Count == 0);
    }
}

TEST_CASE("ModalResult ends a modal window") {
    THostWindow owner(300, 200, Pattern(300, 200));
    struct TCase {
        const char* Name;
        int Result;
        std::function<void(HWND dialog, HWND ok, HWND cancel)> Act;
        int Expected;
    };
    const TCase cases[] = {
        {"Enter presses the default button", IDOK,
         [](HWND d, HWND, HWND) { ::PostMessageW(d, WM_KEYDOWN, VK_RETURN, 1); }, IDOK},
        {"Esc presses the cancel button", IDCANCEL,
         [](HWND d, HWND, HWND) { ::PostMessageW(d, WM_KEYDOWN, VK_ESCAPE, 1); }, IDCANCEL},
        {"a mouse click on Ok", IDOK,
         [](HWND, HWND ok, HWND) {
             ::PostMessageW(ok, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
             ::PostMessageW(ok, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
         },
         IDOK},
        {"the window is destroyed", 0, [](HWND d, HWND, HWND) { ::PostMessageW(d, WM_CLOSE, 0, 0); }, IDCANCEL},
    };
    for (const TCase& c : cases) {
        CAPTURE(c.Name);
        // A borderless dialog owned by the window, made of a panel and two buttons.
        struct TDialog : TWindow {
            TKivImagePanel Panel;
            TKivImageButton Ok, Cancel;
        } dialog;
        dialog.CreateWnd(L"SkControlsTestDialog", WS_EX_CONTROLPARENT, WS_POPUP, L"Dialog", 80, 80, 200, 100,
                         owner.Handle());
        TKivImagePanelArgs pa;
        pa.Parent = dialog.Handle();
        pa.Width = 200, pa.Height = 100;
        pa.Picture = Pattern(200, 100);
        dialog.Panel.Create(pa);
        TKivButtonArgs oa = Button(dialog.Panel.Handle(), L"Ok", 20, 60, nullptr);
        oa.Default = true;
        oa.ModalResult = IDOK;
        TKivButtonArgs ca = Button(dialog.Panel.Handle(), L"Cancel", 105, 60, nullptr);
        ca.Cancel = true;
        ca.ModalResult = IDCANCEL;
        dialog.Ok.Create(oa);
        dialog.Cancel.Create(ca);
        c.Act(dialog.Handle(), dialog.Ok.Handle(), dialog.Cancel.Handle());
        // A stray timer ends the loop if nothing else does, so a failure cannot hang the run.
        const UINT_PTR guard = ::SetTimer(nullptr, 0, 5000, [](HWND, UINT, UINT_PTR, DWORD) {
            for (HWND w = ::FindWindowW(L"SkControlsTestDialog", nullptr); w; w = nullptr)
                ::DestroyWindow(w);
        });
        const int result = ShowModal(dialog.Handle());
        ::KillTimer(nullptr, guard);
        CHECK(result == c.Expected);
        CHECK(::IsWindowEnabled(owner.Handle()));
        if (::IsWindow(dialog.Handle())) CHECK_FALSE(::IsWindowVisible(dialog.Handle()));
    }
}

TEST_CASE("a button with a URL opens it; a web page nobody opens brings up the program chooser") {
    THostWindow host(300, 120, Pattern(300, 120));
    std::vector<std::wstring> opened, run;
    bool openSucceeds = true;
    SetKivShellHook({[&](const std::wstring& url) {
                         opened.push_back(url);
                         return openSucceeds;
                     },
                     [&](const std::wstring& cmd) { run.push_back(cmd); }});
    TClicks clicks;
    TKivButtonArgs a = Button(host.PanelHandle(), L"Home", 20, 20, &clicks);
    a.URL = L"  https://example.invalid/home  ";
    TKivImageButton button(a);
    struct TCase {
        const wchar_t* Url;
        bool Opens;
        size_t Opened, Run;
    };
    const TCase cases[] = {
        {L"  https://example.invalid/home  ", true, 1, 0},
        {L"C:\\nowhere\\page.htm", false, 1, 1},
        {L"C:\\nowhere\\page.HTM", false, 1, 1},
        {L"C:\\nowhere\\page.html", false, 1, 0},
        {L"   ", true, 0, 0},
    };
    for (const TCase& c : cases) {
        CAPTURE(Narrow(c.Url));
        opened.clear();
        run.clear();
        openSucceeds = c.Opens;
        clicks.Count = 0;
        button.SetURL(c.Url);
        button.Click();
        CHECK(opened.size() == c.Opened);
        CHECK(run.size() == c.Run);
        CHECK(clicks.Count == 1);  // the ordinary click follows either way
        if (c.Run) {
            CHECK(run[0].find(L"Shell32.dll, OpenAs_RunDLL *.htm") != std::wstring::npos);
            CHECK(run[0].front() == L'"');  // by its full path in the system folder
        }
    }
    CHECK(opened.empty());
    SetKivShellHook({});
}

TEST_CASE("the modal result is set by every click, 0 included") {
    THostWindow host(300, 120, Pattern(300, 120));
    TKivButtonArgs a = Button(host.PanelHandle(), L"Ok", 20, 20, nullptr);
    a.ModalResult = IDOK;
    TKivImageButton button(a);
    button.Click();
    CHECK(ModalResult(host.Handle()) == IDOK);
    button.SetModalResult(0);
    button.Click();
    CHECK(ModalResult(host.Handle()) == 0);
}

TEST_CASE("hover notifications and state fonts") {
    THostWindow host(300, 120, Pattern(300, 120));
    ::SetCursorPos(0, 0);
    Pump();
    int entered = 0, left = 0;
    TKivButtonArgs a = Button(host.PanelHandle(), L"Hi", 20, 20, nullptr);
    a.EnableMultiFonts = true;
    a.Fonts.Hover = TKivFont(L"Tahoma", 11, false, RGB(1, 2, 3));
    a.Fonts.Down = TKivFont(L"Tahoma", 11, false, RGB(4, 5, 6));
    a.Fonts.Disabled = TKivFont(L"Tahoma", 11, false, RGB(7, 8, 9));
    TKivImageButton button(a);
    button.OnMouseEnter = [&] { ++entered; };
    button.OnMouseExit = [&] { ++left; };
    HWND b = button.Handle();
    CHECK(button.CurrentFont() == button.Font());
    MovePointerTo(b, 5, 5);
    Post(b, WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
    CHECK(entered == 1);
    CHECK(button.CurrentFont().Color() == RGB(1, 2, 3));
    Post(b, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    CHECK(button.CurrentFont().Color() == RGB(4, 5, 6));
    Post(b, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    ::SetCursorPos(0, 0);
    Post(b, WM_MOUSELEAVE, 0, 0);
    CHECK(left >= 1);
    CHECK_FALSE(button.Hover());
    button.SetEnabled(false);
    CHECK(button.CurrentFont().Color() == RGB(7, 8, 9));
}

namespace {

struct TTipSearch {
    std::wstring Text;
    bool Found = false;
};

// Whether a tooltip window of this thread is on screen showing the text.
bool TooltipShows(const std::wstring& text) {
    TTipSearch s{text};
    ::EnumThreadWindows(
        ::GetCurrentThreadId(),
        [](HWND wnd, LPARAM lp) -> BOOL {
            auto* s = reinterpret_cast<TTipSearch*>(lp);
            wchar_t cls[64] = {}, shown[256] = {};
            ::GetClassNameW(wnd, cls, 64);
            if (_wcsicmp(cls, TOOLTIPS_CLASSW) != 0 || !::IsWindowVisible(wnd)) return TRUE;
            ::GetWindowTextW(wnd, shown, 256);
            if (s->Text == shown) s->Found = true;
            return !s->Found;
        },
        reinterpret_cast<LPARAM>(&s));
    return s.Found;
}

bool WaitForTooltip(const std::wstring& text) {
    const ULONGLONG end = ::GetTickCount64() + 5000;
    while (::GetTickCount64() < end) {
        Pump(1);
        if (TooltipShows(text)) return true;
        ::Sleep(20);
    }
    return false;
}

}  // namespace

TEST_CASE("hints: a resting pointer shows the hint of a button and of a window-less picture") {
    THostWindow host(300, 120, Pattern(300, 120));
    TKivButtonArgs a = Button(host.PanelHandle(), L"Scan", 20, 20, nullptr);
    a.Hint = L"Looks for problems";
    TKivImageButton button(a);
    TKivImageArgs i;
    i.Parent = host.PanelHandle();
    i.Left = 150;
    i.Top = 20;
    i.Width = 60;
    i.Height = 60;
    i.Picture = Solid(60, 60, Pack(40, 90, 200));
    i.Hint = L"Opens the home page";
    TKivImage image(i);
    Pump();

    // The tooltips see the mouse through the controls' own handlers: no window of ours is
    // subclassed for them (a subclassed window pays for it on every message it gets).
    const auto classProc = [](HWND wnd) { return ::GetClassLongPtrW(wnd, GCLP_WNDPROC); };
    CHECK(static_cast<ULONG_PTR>(::GetWindowLongPtrW(button.Handle(), GWLP_WNDPROC)) == classProc(button.Handle()));
    CHECK(static_cast<ULONG_PTR>(::GetWindowLongPtrW(host.PanelHandle(), GWLP_WNDPROC)) ==
          classProc(host.PanelHandle()));

    SUBCASE("button") {
        MovePointerTo(button.Handle(), 30, 12);
        ::PostMessageW(button.Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(30, 12));
        CHECK(WaitForTooltip(L"Looks for problems"));
    }
    SUBCASE("window-less picture") {
        MovePointerTo(host.PanelHandle(), 180, 50);
        ::PostMessageW(host.PanelHandle(), WM_MOUSEMOVE, 0, MAKELPARAM(180, 50));
        CHECK(WaitForTooltip(L"Opens the home page"));
    }
}
