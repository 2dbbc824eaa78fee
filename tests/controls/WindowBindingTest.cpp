// How objects meet windows: a TWindow attached to a window made elsewhere, the notifications a
// window hands its native children's owners, and a window's timers and messages for its owner.
#include "ControlsTestSupport.h"

#include <memory>
#include <string>
#include <vector>

#include "controls/NativeControls.h"

using namespace sk;
using namespace sktest;

namespace {

constexpr UINT kProbeMessage = WM_APP + 7;

// Counts the texts set on its window and answers a message of its own; everything else goes on to
// the window's own procedure.
class TProbe : public TWindow {
public:
    int Texts = 0;

protected:
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override {
        if (msg == WM_SETTEXT) ++Texts;
        if (msg == kProbeMessage) return 42;
        return DefaultMessage(msg, wParam, lParam);
    }
};

HWND PlainEdit(HWND parent) {
    return ::CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE, 10, 10, 100, 20, parent, nullptr,
                             AppInstance(), nullptr);
}

LONG_PTR WindowProcOf(HWND wnd) { return ::GetWindowLongPtrW(wnd, GWLP_WNDPROC); }
LONG_PTR ClassProcOf(HWND wnd) { return static_cast<LONG_PTR>(::GetClassLongPtrW(wnd, GCLP_WNDPROC)); }

std::wstring TextOf(HWND wnd) {
    wchar_t text[64] = {};
    ::GetWindowTextW(wnd, text, 64);
    return text;
}

}  // namespace

TEST_CASE("an attached window hears its messages first, passes the rest on, and gets its procedure back") {
    THostWindow host(200, 100, Solid(200, 100, Pack(255, 255, 255)));
    HWND edit = PlainEdit(host.PanelHandle());
    const LONG_PTR ownProc = WindowProcOf(edit);
    {
        TProbe probe;
        REQUIRE(probe.Attach(edit));
        CHECK(TWindow::FromHandle(edit) == &probe);
        CHECK(::SendMessageW(edit, kProbeMessage, 0, 0) == 42);
        ::SetWindowTextW(edit, L"typed");
        CHECK(probe.Texts == 1);
        CHECK(TextOf(edit) == L"typed");  // the edit box's own procedure had the message too

        TProbe second;
        CHECK_FALSE(second.Attach(edit));  // one object per window

        probe.Detach();
        CHECK(probe.Handle() == nullptr);
        CHECK(WindowProcOf(edit) == ownProc);
        CHECK(TWindow::FromHandle(edit) == nullptr);
        ::SetWindowTextW(edit, L"again");
        CHECK(probe.Texts == 1);
        CHECK(TextOf(edit) == L"again");
    }
    CHECK(::IsWindow(edit));  // a let-go window outlives the object
    {
        // An attached object that goes destroys its window, as every TWindow does.
        TProbe probe;
        REQUIRE(probe.Attach(edit));
    }
    CHECK_FALSE(::IsWindow(edit));
}

TEST_CASE("native controls hear their notifications from their parent and keep their own procedure") {
    THostWindow host(300, 200, Solid(300, 200, Pack(255, 255, 255)));
    HWND panel = host.PanelHandle();

    TCheckBox box;
    REQUIRE(box.Create({.Parent = panel, .Left = 10, .Top = 10, .Width = 120, .Height = 17, .Caption = L"Keep"}));
    int clicks = 0;
    box.OnClick = [&] { ++clicks; };
    TListBox list;
    REQUIRE(list.Create({.Parent = panel, .Left = 10, .Top = 40, .Width = 200, .Height = 100, .Id = 5}));
    int selections = 0;
    list.OnSelChange = [&] { ++selections; };

    // Nothing stands in front of the controls' own procedures: their messages cost nothing extra.
    CHECK(WindowProcOf(box) == ClassProcOf(box));
    CHECK(WindowProcOf(list) == ClassProcOf(list));

    ::SendMessageW(box, BM_CLICK, 0, 0);  // the box tells its parent, which tells the box's owner
    CHECK(clicks == 1);
    CHECK(box.Checked());

    list.Add(L"1. one");
    list.Add(L"2. two");
    CHECK(list.Lines() == std::vector<std::wstring>{L"1. one", L"2. two"});
    ::SendMessageW(panel, WM_COMMAND, MAKEWPARAM(5, LBN_SELCHANGE), reinterpret_cast<LPARAM>(list.Handle()));
    CHECK(selections == 1);
    ::SendMessageW(panel, WM_COMMAND, MAKEWPARAM(5, LBN_DBLCLK), reinterpret_cast<LPARAM>(list.Handle()));
    CHECK(selections == 1);

    SUBCASE("a control that goes hears nothing more, and its window goes with it") {
        auto other = std::make_unique<TListBox>();
        REQUIRE(other->Create({.Parent = panel, .Left = 220, .Top = 40, .Width = 60, .Height = 100, .Id = 6}));
        other->OnSelChange = [&] { ++selections; };
        HWND gone = other->Handle();
        other.reset();
        CHECK_FALSE(::IsWindow(gone));
        ::SendMessageW(panel, WM_COMMAND, MAKEWPARAM(6, LBN_SELCHANGE), reinterpret_cast<LPARAM>(gone));
        CHECK(selections == 1);
    }
    SUBCASE("a parent that goes first takes its controls' windows with it") {
        ::DestroyWindow(host.Handle());
        CHECK(box.Handle() == nullptr);
        CHECK(list.Handle() == nullptr);
    }
}

TEST_CASE("a window runs its owner's functions on its timers and on the messages posted to it") {
    THostWindow host(100, 100, Solid(100, 100, Pack(255, 255, 255)));
    TKivImagePanel& panel = host.Panel;
    int ticks = 0;
    panel.StartTimer(3, 10, [&] {
        if (++ticks == 2) panel.StopTimer(3);
    });
    CHECK(PumpUntil([&] { return ticks == 2; }, 5000));
    Pump(5);
    CHECK(ticks == 2);  // stopped from its own tick

    WPARAM heard = 0;
    panel.OnMessage(kProbeMessage, [&](WPARAM wParam, LPARAM) -> LRESULT {
        heard = wParam;
        return 7;
    });
    CHECK(::SendMessageW(panel.Handle(), kProbeMessage, 11, 0) == 7);
    CHECK(heard == 11);
    ::PostMessageW(panel.Handle(), kProbeMessage, 12, 0);
    CHECK(PumpUntil([&] { return heard == 12; }, 5000));
}
