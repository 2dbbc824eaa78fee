// Labels, link labels, the title bar and window dragging by the window's surface.
#include "ControlsTestSupport.h"

#include "base/Handles.h"
#include "controls/KWImage.h"
#include "controls/KWImageButton.h"
#include "controls/KWLabel.h"
#include "controls/KWTitleBar.h"

using namespace sk;
using namespace sktest;

namespace {

SIZE Measure(const TKivFont& font, const std::wstring& text, UINT format, int w, int h) {
    TMemDC dc(::CreateCompatibleDC(nullptr));
    TSelectObject sel(dc.Get(), font.Handle());
    RECT r{0, 0, w, h};
    ::DrawTextW(dc.Get(), text.c_str(), -1, &r, format | DT_CALCRECT);
    return SIZE{r.right - r.left, r.bottom - r.top};
}

const std::wstring kLong =
    L"In order to protect users' online security, Surfkeep can shield the system from malicious web sites.";

void PostMouse(HWND wnd, UINT msg, int x, int y, WPARAM keys = 0) {
    ::PostMessageW(wnd, msg, keys, MAKELPARAM(static_cast<short>(x), static_cast<short>(y)));
    Pump();
}

// Records the window-drag requests instead of starting the system's move loop.
struct TDragRecorder {
    std::vector<HWND> Requests;
    TDragRecorder() {
        SetWindowDragHook([this](HWND w) { Requests.push_back(w); });
    }
    ~TDragRecorder() { SetWindowDragHook({}); }
};

}  // namespace

TEST_CASE("label auto-size within its limits") {
    THostWindow host(400, 300, Solid(400, 300, Pack(255, 255, 255)));
    TKivLabelArgs a;
    a.Parent = host.PanelHandle();
    a.Left = 50, a.Top = 20;

    SUBCASE("a short caption: its measured size plus 2") {
        a.Caption = L"Hosts list:";
        TKivLabel label(a);
        const SIZE m = Measure(label.Font(), a.Caption, kKivDefaultTextFormat, 350, 280);
        CHECK(label.Width() == m.cx + 2);
        CHECK(label.Height() == m.cy + 2);
        CHECK(label.Left() == 50);
        CHECK(label.Top() == 20);
    }
    SUBCASE("AutoSizeMaxWidth 100: at most 100 wide, the longest wrapped line plus 2, as many lines as needed") {
        a.Caption = kLong;
        a.AutoSizeMaxWidth = 100;
        TKivLabel label(a);
        const SIZE wrapped = Measure(label.Font(), kLong, kKivDefaultTextFormat, 100, 65535);
        CHECK(label.Width() == wrapped.cx + 2);
        CHECK(label.Width() <= 100);
        CHECK(label.Height() == wrapped.cy + 2);
        const SIZE line = Measure(label.Font(), L"Xy", kKivDefaultTextFormat, 1000, 1000);
        CHECK(label.Height() > 4 * line.cy);
    }
    SUBCASE("no limit: it may grow to its window's right edge, and no further") {
        a.Caption = kLong;
        TKivLabel label(a);
        CHECK(label.Width() <= 400 - 50 + 2);
        CHECK(label.Width() > 300);
        const SIZE line = Measure(label.Font(), L"Xy", kKivDefaultTextFormat, 1000, 1000);
        CHECK(label.Height() >= 2 * line.cy);
    }
    SUBCASE("an empty caption measures 2 x 2 plus 2; a new caption re-sizes") {
        a.Caption = L"";
        TKivLabel label(a);
        CHECK(label.Width() <= 4);
        label.SetCaption(L"Loading is completed.");
        CHECK(label.Width() > 50);
    }
    SUBCASE("without auto-size the bounds stay") {
        a.Caption = kLong;
        a.AutoSize = false;
        a.Width = 120, a.Height = 30;
        TKivLabel label(a);
        CHECK(label.Width() == 120);
        CHECK(label.Height() == 30);
    }
}

TEST_CASE("label fonts by state") {
    THostWindow host(300, 100, Solid(300, 100, Pack(255, 255, 255)));
    const TKivFont normal(L"Tahoma", 20, true, RGB(255, 0, 0)), disabled(L"Tahoma", 20, true, RGB(0, 0, 255));
    TKivLabelArgs a;
    a.Parent = host.PanelHandle();
    a.Left = 10, a.Top = 10;
    a.Caption = L"MMMM";
    a.Fonts.Normal = normal;
    a.Fonts.Disabled = disabled;
    a.Enabled = false;
    TKivLabel label(a);
    auto count = [&](uint32_t color) {
        const TCapture c = CaptureClient(host.Handle());
        int n = 0;
        for (int y = 0; y < 100; ++y)
            for (int x = 0; x < 300; ++x)
                n += c.At(x, y) == color;
        return n;
    };
    // Disabled text is not greyed: without kmfDisabled the normal font shows.
    CHECK(count(0xFF0000u) > 20);
    CHECK(count(0x0000FFu) == 0);
    label.SetFontsFlags(KivFontsFlag(kmfDisabled));
    CHECK(count(0xFF0000u) == 0);
    CHECK(count(0x0000FFu) > 20);
}

TEST_CASE("a link label opens its address, is marked visited and drawn in the visited colour") {
    THostWindow host(300, 100, Solid(300, 100, Pack(255, 255, 255)));
    std::vector<std::wstring> opened, run;
    bool succeed = true;
    SetKivShellHook({[&](const std::wstring& u) {
                         opened.push_back(u);
                         return succeed;
                     },
                     [&](const std::wstring& c) { run.push_back(c); }});
    TKivLabelArgs a;
    a.Parent = host.PanelHandle();
    a.Left = 10, a.Top = 10;
    a.Caption = L"https://example.invalid/";
    a.URL = L" https://example.invalid/ ";
    TKivURLLabel link(a);
    CHECK_FALSE(link.MoveHandler());
    CHECK(link.Font().Underline());
    CHECK(link.Font().Color() == ::GetSysColor(COLOR_HIGHLIGHT));
    CHECK(link.URL() == L"https://example.invalid/");
    link.SetEnableVisitedColor(true);
    link.SetVisitedColor(RGB(0x80, 0, 0x80));

    SUBCASE("a click by the mouse") {
        HWND p = host.PanelHandle();
        PostMouse(p, WM_LBUTTONDOWN, 15, 15, MK_LBUTTON);
        CHECK(link.Pressed());
        CHECK_FALSE(link.Hovered());
        PostMouse(p, WM_LBUTTONUP, 15, 15);
        CHECK(link.Hovered());
        CHECK_FALSE(link.Pressed());
        REQUIRE(opened.size() == 1);
        CHECK(opened[0] == L"https://example.invalid/");
        CHECK(link.Visited());
        const TCapture c = CaptureClient(host.Handle());
        int purple = 0;
        for (int y = 10; y < 10 + link.Height(); ++y)
            for (int x = 10; x < 10 + link.Width(); ++x)
                purple += c.At(x, y) == 0x800080u;
        CHECK(purple > 10);
    }
    SUBCASE("pressed and released elsewhere: no click") {
        HWND p = host.PanelHandle();
        PostMouse(p, WM_LBUTTONDOWN, 15, 15, MK_LBUTTON);
        PostMouse(p, WM_LBUTTONUP, 280, 90);
        CHECK(opened.empty());
        CHECK_FALSE(link.Pressed());
        CHECK_FALSE(link.Hovered());
    }
    SUBCASE("an .htm page that cannot be opened brings up the chooser and is not visited") {
        succeed = false;
        link.SetURL(L"C:\\missing\\help.htm");
        link.PerformClick();
        CHECK(run.size() == 1);
        CHECK_FALSE(link.Visited());
    }
    SUBCASE("OnCommand replaces the address") {
        int commands = 0;
        link.OnCommand = [&] { ++commands; };
        link.PerformClick();
        CHECK(commands == 1);
        CHECK(opened.empty());
    }
    SetKivShellHook({});
}

TEST_CASE("pressing the surface of a window drags the window") {
    THostWindow host(400, 200, Pattern(400, 200));
    TDragRecorder drags;
    HWND p = host.PanelHandle();
    TKivLabelArgs la;
    la.Parent = p;
    la.Left = 10, la.Top = 10;
    la.Caption = L"Drag me";
    TKivLabel label(la);
    TKivLabelArgs fa = la;
    fa.Left = 10, fa.Top = 60, fa.MoveHandler = false;
    TKivLabel fixedLabel(fa);
    int fixedClicks = 0;
    fixedLabel.OnClick = [&] { ++fixedClicks; };
    TKivImageArgs ia;
    ia.Parent = p;
    ia.Left = 150, ia.Top = 10, ia.Width = 40, ia.Height = 40;
    ia.Picture = Solid(40, 40, Pack(0, 0, 0));
    TKivImage image(ia);
    TKivTitleBarArgs ta;
    ta.Parent = p;
    ta.Left = 220, ta.Top = 10, ta.Width = 150, ta.Height = 28;
    ta.Title = L"Surfkeep";
    TKivTitleBar bar(ta);
    TKivButtonArgs ba;
    ba.Parent = p;
    ba.Left = 300, ba.Top = 150;
    ba.Caption = L"Button";
    TKivImageButton button(ba);
    TKivImagePanel panel;
    TKivImagePanelArgs pa;
    pa.Parent = p;
    pa.Left = 200, pa.Top = 100, pa.Width = 80, pa.Height = 60;
    panel.Create(pa);

    struct TCase {
        const char* Name;
        HWND Target;
        UINT Down, Up;
        POINT At;
        bool Drags;
    };
    const TCase cases[] = {
        {"a label", p, WM_LBUTTONDOWN, WM_LBUTTONUP, {15, 15}, true},
        {"a label, right button", p, WM_RBUTTONDOWN, WM_RBUTTONUP, {15, 15}, true},
        {"a label without MoveHandler", p, WM_LBUTTONDOWN, WM_LBUTTONUP, {15, 65}, false},
        {"an image, any button", p, WM_MBUTTONDOWN, WM_MBUTTONUP, {160, 20}, true},
        {"the title bar", p, WM_LBUTTONDOWN, WM_LBUTTONUP, {230, 15}, true},
        {"a panel", panel.Handle(), WM_LBUTTONDOWN, WM_LBUTTONUP, {5, 5}, true},
        {"a panel, right button", panel.Handle(), WM_RBUTTONDOWN, WM_RBUTTONUP, {5, 5}, false},
        {"a button", button.Handle(), WM_LBUTTONDOWN, WM_LBUTTONUP, {5, 5}, false},
    };
    for (const TCase& c : cases) {
        CAPTURE(c.Name);
        drags.Requests.clear();
        PostMouse(c.Target, c.Down, c.At.x, c.At.y, c.Down == WM_LBUTTONDOWN ? MK_LBUTTON : 0);
        PostMouse(c.Target, c.Up, c.At.x, c.At.y);
        if (c.Drags) {
            REQUIRE(drags.Requests.size() == 1);
            CHECK(drags.Requests[0] == host.Handle());
        } else {
            CHECK(drags.Requests.empty());
        }
    }
    CHECK(fixedClicks == 1);  // without the drag, the click reaches the label
    SUBCASE("switched off, the image and the panel stay put") {
        drags.Requests.clear();
        image.SetMoveHandler(false);
        panel.SetMovingHandler(false);
        bar.SetMoveHandler(false);
        PostMouse(p, WM_LBUTTONDOWN, 160, 20, MK_LBUTTON);
        PostMouse(p, WM_LBUTTONUP, 160, 20);
        PostMouse(panel.Handle(), WM_LBUTTONDOWN, 5, 5, MK_LBUTTON);
        PostMouse(panel.Handle(), WM_LBUTTONUP, 5, 5);
        PostMouse(p, WM_LBUTTONDOWN, 230, 15, MK_LBUTTON);
        PostMouse(p, WM_LBUTTONUP, 230, 15);
        CHECK(drags.Requests.empty());
    }
}

TEST_CASE("title bar texts and logo size themselves") {
    THostWindow host(600, 100, Solid(600, 100, Pack(255, 255, 255)));
    TKivTitleBarArgs a;
    a.Parent = host.PanelHandle();
    a.Left = 9, a.Top = 3, a.Width = 565, a.Height = 28;
    a.Title = L"Surfkeep";
    TKivTitleBar bar(a);
    const SIZE m = Measure(bar.TitleBar().Font(), L"Surfkeep", kKivDefaultTextFormat, 4000, 4000);

    SUBCASE("title measured, subtitle and version empty at 2 x 2") {
        CHECK(bar.TitleBar().Width() == m.cx + 2);
        CHECK(bar.TitleBar().Height() == m.cy + 2);
        CHECK(bar.TitleBar().Left() == 48);
        CHECK(bar.SubtitleBar().Width() == 2);
        CHECK(bar.SubtitleBar().Height() == 2);
        CHECK(bar.VersionBar().Width() == 2);
    }
    SUBCASE("a long title wraps at the screen width, or inside AutoSizeMaxWidth") {
        bar.TitleBar().SetCaption(kLong);
        CHECK(bar.TitleBar().Width() > 300);
        bar.TitleBar().SetAutoSizeMaxWidth(200);
        const SIZE wrapped = Measure(bar.TitleBar().Font(), kLong, kKivDefaultTextFormat, 200, 4000);
        CHECK(bar.TitleBar().Width() == wrapped.cx + 2);
        CHECK(bar.TitleBar().Width() <= 200);
        CHECK(bar.TitleBar().Height() > 2 * m.cy);
    }
    SUBCASE("a 24 x 24 logo sets the logo's size and is drawn at its place") {
        bar.LogoBar().Left = 4;
        bar.LogoBar().Top = 2;
        bar.LogoBar().SetLogo(Solid(24, 24, Pack(0, 0, 255)));
        CHECK(bar.LogoBar().Width == 24);
        CHECK(bar.LogoBar().Height == 24);
        const TCapture c = CaptureClient(host.Handle());
        CHECK(c.At(9 + 4, 3 + 2) == 0x0000FFu);
        CHECK(c.At(9 + 27, 3 + 25) == 0x0000FFu);
        CHECK(c.At(9 + 28, 3 + 2) != 0x0000FFu);
    }
    SUBCASE("changing the caption at run time re-sizes and repaints") {
        bar.TitleBar().SetFont(TKivFont(L"Tahoma", 14, true, RGB(255, 0, 0)));
        bar.TitleBar().SetCaption(L"About Surfkeep");
        const SIZE m2 = Measure(bar.TitleBar().Font(), L"About Surfkeep", kKivDefaultTextFormat, 4000, 4000);
        CHECK(bar.TitleBar().Width() == m2.cx + 2);
        const TCapture c = CaptureClient(host.Handle());
        int red = 0;
        for (int y = 3; y < 31; ++y)
            for (int x = 9 + 48; x < 9 + 48 + m2.cx; ++x)
                red += c.At(x, y) == 0xFF0000u;
        CHECK(red > 10);
    }
    SUBCASE("one text takes another's properties") {
        bar.VersionBar().Assign(bar.TitleBar());
        CHECK(bar.VersionBar().Caption() == L"Surfkeep");
        CHECK(bar.VersionBar().Width() == bar.TitleBar().Width());
        bar.VersionBar().SetWordWrap(false);
        CHECK((bar.VersionBar().TextFormat() & DT_SINGLELINE) != 0);
        CHECK_FALSE(bar.VersionBar().WordWrap());
    }
}

TEST_CASE("window-less controls on an ordinary window are painted over it and get its clicks") {
    // Not a skinned panel: a plain window with a white class brush.
    WNDCLASSEXW wc{sizeof wc};
    wc.lpfnWndProc = ::DefWindowProcW;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.hbrBackground = static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH));
    wc.lpszClassName = L"SkControlsPlain";
    ::RegisterClassExW(&wc);
    HWND wnd = ::CreateWindowExW(0, L"SkControlsPlain", L"Plain", WS_POPUP, 60, 60, 200, 100, nullptr, nullptr,
                                 wc.hInstance, nullptr);
    REQUIRE(wnd);
    ::ShowWindow(wnd, SW_SHOWNOACTIVATE);
    TKivImageArgs ia;
    ia.Parent = wnd;
    ia.Left = 20, ia.Top = 20, ia.Width = 30, ia.Height = 30;
    ia.Picture = Solid(30, 30, Pack(0, 128, 0));
    ia.MoveHandler = false;
    TKivImage image(ia);
    int clicks = 0;
    image.OnClick = [&] { ++clicks; };
    const TCapture c = CaptureClient(wnd);
    CHECK(c.At(25, 25) == 0x008000u);
    CHECK(c.At(10, 10) == 0xFFFFFFu);
    PostMouse(wnd, WM_LBUTTONDOWN, 25, 25, MK_LBUTTON);
    PostMouse(wnd, WM_LBUTTONUP, 25, 25);
    CHECK(clicks == 1);
    ::DestroyWindow(wnd);
    // The window took its controls' host with it; the image is now unplaced.
    CHECK(image.Parent() == nullptr);
}

namespace {

void MouseInput(DWORD flags, int screenX, int screenY) {
    INPUT in{};
    in.type = INPUT_MOUSE;
    in.mi.dx = MulDiv(screenX, 65535, ::GetSystemMetrics(SM_CXSCREEN) - 1);
    in.mi.dy = MulDiv(screenY, 65535, ::GetSystemMetrics(SM_CYSCREEN) - 1);
    in.mi.dwFlags = flags | MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_MOVE;
    ::SendInput(1, &in, sizeof in);
}

// The steps of a drag, run by a timer from inside the system's move loop.
int gDragStep = 0;
POINT gDragFrom{};
void CALLBACK DragStep(HWND, UINT, UINT_PTR id, DWORD) {
    switch (gDragStep++) {
        case 0: MouseInput(0, gDragFrom.x + 15, gDragFrom.y + 10); break;
        case 1: MouseInput(0, gDragFrom.x + 30, gDragFrom.y + 20); break;
        case 2: MouseInput(MOUSEEVENTF_LEFTUP, gDragFrom.x + 30, gDragFrom.y + 20); break;
        default:
            // Whatever happened, no button stays down and no loop keeps running.
            MouseInput(MOUSEEVENTF_LEFTUP, gDragFrom.x + 30, gDragFrom.y + 20);
            ::KillTimer(nullptr, id);
            break;
    }
}

}  // namespace

TEST_CASE("dragging the title bar with the real mouse moves the window") {
    THostWindow host(300, 100, Pattern(300, 100), 100, 100);
    TKivTitleBarArgs ta;
    ta.Parent = host.PanelHandle();
    ta.Left = 10, ta.Top = 5, ta.Width = 200, ta.Height = 24;
    ta.Title = L"Surfkeep";
    TKivTitleBar bar(ta);
    RECT before{};
    ::GetWindowRect(host.Handle(), &before);
    gDragStep = 0;
    gDragFrom = POINT{before.left + 50, before.top + 12};
    MouseInput(0, gDragFrom.x, gDragFrom.y);
    Pump();
    const UINT_PTR timer = ::SetTimer(nullptr, 0, 50, DragStep);
    MouseInput(MOUSEEVENTF_LEFTDOWN, gDragFrom.x, gDragFrom.y);
    // The press reaches the bar, which hands the window to the system's move loop; the timer
    // moves the mouse and lets go from inside that loop.
    const ULONGLONG end = ::GetTickCount64() + 3000;
    while (gDragStep < 4 && ::GetTickCount64() < end)
        Pump(1);
    ::KillTimer(nullptr, timer);
    MouseInput(MOUSEEVENTF_LEFTUP, gDragFrom.x + 30, gDragFrom.y + 20);
    Pump();
    RECT after{};
    ::GetWindowRect(host.Handle(), &after);
    CHECK(after.left - before.left == 30);
    CHECK(after.top - before.top == 20);
    CHECK(after.right - after.left == 300);
}

TEST_CASE("a panel that goes before its window-less controls leaves them unplaced, not dangling") {
    THostWindow host(200, 100, Pattern(200, 100));
    TKivLabel label;
    {
        TKivImagePanel panel;
        TKivImagePanelArgs pa;
        pa.Parent = host.PanelHandle();
        pa.Width = 100, pa.Height = 50;
        REQUIRE(panel.Create(pa));
        TKivLabelArgs la;
        la.Parent = panel.Handle();
        la.Caption = L"On the panel";
        label.Create(la);
        CHECK(label.Parent() == panel.Handle());
    }
    CHECK(label.Parent() == nullptr);
    label.SetCaption(L"Still safe to use");
    label.Invalidate();
}

TEST_CASE("labels draw \"&\" as itself: their texts are data and status, never mnemonics") {
    const int W = 420, H = 60;
    THostWindow host(W, H, Solid(W, H, Pack(255, 255, 255)));
    const TKivFont font(L"Tahoma", 13, false, RGB(0, 0, 0));
    // What DrawTextW shows of the caption in the label's box with the given flags, on white.
    auto reference = [&](const TKivCustomLabel& label, UINT flags) {
        TOffscreenBuffer buffer;
        REQUIRE(buffer.Ensure(W, H));
        RECT all{0, 0, W, H};
        TBrush white(::CreateSolidBrush(RGB(255, 255, 255)));
        ::FillRect(buffer.DC(), &all, white.Get());
        TSelectObject sel(buffer.DC(), font.Handle());
        ::SetTextColor(buffer.DC(), RGB(0, 0, 0));
        ::SetBkMode(buffer.DC(), TRANSPARENT);
        TKivTextLayout layout = label.CalcTextLayout(buffer.DC());
        ::OffsetRect(&layout.Box, label.Left(), label.Top());
        const std::wstring& text = label.Caption();
        ::DrawTextW(buffer.DC(), text.c_str(), static_cast<int>(text.size()), &layout.Box, flags);
        ::GdiFlush();
        std::vector<uint32_t> px(buffer.Bits(), buffer.Bits() + static_cast<size_t>(W) * H);
        for (auto& p : px) p &= 0xFFFFFF;
        return px;
    };
    auto shown = [&] {
        std::vector<uint32_t> px = CaptureClient(host.Handle()).Pixels;
        for (auto& p : px) p &= 0xFFFFFF;
        return px;
    };
    struct TCase {
        const char* Name;
        bool Link, OneLine;
        TKivTextTrimmingType Trimming;
    };
    const TCase kinds[] = {{"a plain label", false, false, kttEllipsisWord},
                           {"a one-line status label cut at a word", false, true, kttEllipsisWord},
                           {"a link label", true, false, kttEllipsisWord},
                           {"a label without trimming", false, false, kttNone}};
    for (const wchar_t* caption : {L"Deleting: http://example.com/?a=1&b=2", L"&Translate", L"R&&D & more"}) {
        for (const auto& kind : kinds) {
            INFO(Narrow(caption) << " in " << kind.Name);
            TKivLabelArgs a;
            a.Parent = host.PanelHandle();
            a.Left = 12, a.Top = 9;
            a.Caption = caption;
            a.Fonts.Normal = font;
            a.WordWrap = !kind.OneLine;
            a.TextTrimming = kind.Trimming;
            TKivLabel plain;
            TKivURLLabel link;
            TKivCustomLabel& label = kind.Link ? static_cast<TKivCustomLabel&>(link) : plain;
            if (kind.Link) {
                link.CreateLink(a);
                link.Change([&](TKivLabelArgs& args) { args.Fonts.Normal = font; });
            } else {
                plain.Create(a);
            }
            CHECK((label.TextFormat() & DT_NOPREFIX) != 0);
            // Sized to the whole text, the ampersands included.
            const UINT flags = label.TextFormat() & ~DT_NOPREFIX;
            const SIZE whole = Measure(font, caption, flags | DT_NOPREFIX, W - 12, H - 9);
            CHECK(label.Width() == whole.cx + 2);
            CHECK(whole.cx > Measure(font, caption, flags, W - 12, H - 9).cx);
            // Drawn so: pixel for pixel what DrawTextW shows with DT_NOPREFIX, not with prefixes.
            const auto px = shown();
            CHECK(px == reference(label, label.TextFormat()));
            CHECK(px != reference(label, flags));
            // A label changed later keeps drawing it so.
            label.Change([](TKivLabelArgs& args) {
                args.WordWrap = !args.WordWrap;
                args.TextTrimming = kttEllipsisCharacter;
            });
            CHECK((label.TextFormat() & DT_NOPREFIX) != 0);
        }
    }
}
