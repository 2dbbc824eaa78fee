// What the controls show on screen: transparent controls show exactly what lies beneath them,
// soft edges blend with it, and buttons show the picture of their state.
#include "ControlsTestSupport.h"

#include "controls/KWImage.h"
#include "controls/KWImageButton.h"
#include "controls/KWImagePanel.h"
#include "controls/KWLabel.h"

using namespace sk;
using namespace sktest;

namespace {

// Pixels of a rectangle of a capture.
std::vector<uint32_t> Region(const TCapture& c, const RECT& r) {
    std::vector<uint32_t> out;
    for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x)
            out.push_back(c.At(x, y));
    return out;
}

int MaxDifference(uint32_t a, uint32_t b) {
    return std::max({std::abs(R(a) - R(b)), std::abs(G(a) - G(b)), std::abs(B(a) - B(b))});
}

TKivButtonArgs BareButton(HWND parent, int x, int y, int w = 75, int h = 26) {
    TKivButtonArgs a;
    a.Parent = parent;
    a.Left = x;
    a.Top = y;
    a.Width = w;
    a.Height = h;
    return a;
}

void PostMouse(HWND wnd, UINT msg, int x, int y, WPARAM keys = 0) {
    ::PostMessageW(wnd, msg, keys, MAKELPARAM(static_cast<short>(x), static_cast<short>(y)));
    Pump();
}

}  // namespace

TEST_CASE("a transparent control shows exactly what would be visible without it") {
    THostWindow host(320, 200, Pattern(320, 200));
    TKivImage green;
    TKivImageArgs ia;
    ia.Parent = host.PanelHandle();
    ia.Left = 60, ia.Top = 45, ia.Width = 30, ia.Height = 20;
    ia.Picture = Solid(30, 20, Pack(0, 200, 0));
    green.Create(ia);
    const RECT area{40, 30, 160, 100};
    const TCapture before = CaptureClient(host.Handle());
    REQUIRE(before.Width == 320);
    CHECK(before.At(70, 50) == 0x00C800u);  // the window-less picture is part of the background
    CHECK(before.At(10, 10) == Rgb(PatternAt(10, 10)));

    SUBCASE("a button without pictures or caption") {
        TKivImageButton button(BareButton(host.PanelHandle(), 50, 40));
        const TCapture after = CaptureClient(host.Handle());
        CHECK(Region(after, area) == Region(before, area));
    }
    SUBCASE("a panel without a picture") {
        TKivImagePanel panel;
        TKivImagePanelArgs pa;
        pa.Parent = host.PanelHandle();
        pa.Left = 45, pa.Top = 35, pa.Width = 100, pa.Height = 60;
        REQUIRE(panel.Create(pa));
        const TCapture after = CaptureClient(host.Handle());
        CHECK(Region(after, area) == Region(before, area));
    }
    SUBCASE("a label, away from its letters") {
        TKivLabelArgs la;
        la.Parent = host.PanelHandle();
        la.Left = 50, la.Top = 40;
        la.Caption = L"i";
        la.AutoSize = false;
        la.Width = 100, la.Height = 50;
        TKivLabel label(la);
        const TCapture after = CaptureClient(host.Handle());
        int same = 0;
        for (int y = 40; y < 90; ++y)
            for (int x = 70; x < 150; ++x)
                same += after.At(x, y) == before.At(x, y);
        CHECK(same == 80 * 50);
    }
    SUBCASE("what the screen shows equals the window rendered into memory") {
        TKivImageButton button(BareButton(host.PanelHandle(), 50, 40));
        const TCapture screen = CaptureClient(host.Handle());
        const TKivPicture memory = RenderWindow(host.Handle());
        REQUIRE(memory.Width() == 320);
        int differ = 0;
        for (int y = 0; y < 200; ++y)
            for (int x = 0; x < 320; ++x)
                differ += Rgb(memory.Pixel(x, y)) != screen.At(x, y);
        CHECK(differ == 0);
    }
}

TEST_CASE("soft edges of a button's picture blend with the background beneath") {
    THostWindow host(200, 120, Pattern(200, 120));
    const TCapture before = CaptureClient(host.Handle());
    // White whose opacity grows from left to right.
    auto alphaAt = [](int x) { return x * 255 / 74; };
    TKivButtonArgs a = BareButton(host.PanelHandle(), 30, 40);
    a.Pictures.Normal = MakePicture(75, 26, [&](int x, int) { return Pack(255, 255, 255, alphaAt(x)); });
    TKivImageButton button(a);
    const TCapture after = CaptureClient(host.Handle());
    int worst = 0;
    for (int y = 0; y < 26; ++y) {
        for (int x = 0; x < 75; ++x) {
            const uint32_t bg = before.At(30 + x, 40 + y);
            const int al = alphaAt(x);
            auto over = [al](int c) { return (c * (255 - al) + 255 * al) / 255; };
            const uint32_t expected = Pack(over(R(bg)), over(G(bg)), over(B(bg)));
            worst = std::max(worst, MaxDifference(after.At(30 + x, 40 + y), expected));
        }
    }
    CHECK(worst <= 2);
    // Outside the button nothing changed.
    CHECK(after.At(29, 40) == before.At(29, 40));
    CHECK(after.At(105, 66) == before.At(105, 66));
}

TEST_CASE("a transparent control copies the child windows below it, not those above") {
    THostWindow host(240, 160, Pattern(240, 160));
    TKivImagePanel red;
    TKivImagePanelArgs ra;
    ra.Parent = host.PanelHandle();
    ra.Left = 20, ra.Top = 20, ra.Width = 60, ra.Height = 40;
    ra.Transparent = false;
    ra.Color = RGB(220, 0, 0);
    REQUIRE(red.Create(ra));
    TKivImageButton button(BareButton(host.PanelHandle(), 50, 40));

    SUBCASE("below") {
        ::SetWindowPos(button.Handle(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        const TCapture cap = CaptureClient(host.Handle());
        CHECK(cap.At(55, 45) == 0xDC0000u);                 // the red panel shows through the button
        CHECK(cap.At(100, 50) == Rgb(PatternAt(100, 50)));  // beside it, the background
    }
    SUBCASE("above") {
        ::SetWindowPos(button.Handle(), HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        CaptureClient(host.Handle());
        // The button's own picture of its place holds the background only.
        const TOffscreenBuffer& buf = button.OffscreenBuffer();
        REQUIRE(buf.Width() == 75);
        CHECK(Rgb(buf.Pixel(5, 5)) == Rgb(PatternAt(55, 45)));
    }
}

TEST_CASE("a button shows the picture of its state") {
    THostWindow host(200, 120, Pattern(200, 120));
    ::SetCursorPos(0, 0);
    Pump();
    const uint32_t normal = Pack(10, 10, 200), hover = Pack(10, 200, 10), down = Pack(200, 10, 10),
                   disabled = Pack(128, 128, 128);
    TKivButtonArgs a = BareButton(host.PanelHandle(), 40, 40);
    a.Pictures.Normal = Solid(75, 26, normal);
    a.Pictures.Hover = Solid(75, 26, hover);
    a.Pictures.Down = Solid(75, 26, down);
    a.Pictures.Disabled = Solid(75, 26, disabled);
    TKivImageButton button(a);
    HWND b = button.Handle();
    auto shown = [&] { return CaptureClient(host.Handle()).At(42, 42); };

    CHECK(shown() == Rgb(normal));
    MovePointerTo(b, 10, 10);
    PostMouse(b, WM_MOUSEMOVE, 10, 10);
    CHECK(button.Hover());
    CHECK(shown() == Rgb(hover));
    PostMouse(b, WM_LBUTTONDOWN, 10, 10, MK_LBUTTON);
    CHECK(button.Down());
    CHECK(shown() == Rgb(down));
    // Dragged off while held: it no longer looks pressed; back on: pressed again.
    PostMouse(b, WM_MOUSEMOVE, 100, 10, MK_LBUTTON);
    CHECK(shown() == Rgb(normal));
    PostMouse(b, WM_MOUSEMOVE, 10, 10, MK_LBUTTON);
    CHECK(shown() == Rgb(down));
    PostMouse(b, WM_LBUTTONUP, 10, 10);
    CHECK(shown() == Rgb(hover));
    button.SetEnabled(false);
    CHECK(shown() == Rgb(disabled));
    ::SetCursorPos(0, 0);
    Pump();
}

TEST_CASE("a button with only a normal picture shows it in every state") {
    THostWindow host(200, 120, Pattern(200, 120));
    const uint32_t normal = Pack(10, 10, 200);
    TKivButtonArgs a = BareButton(host.PanelHandle(), 40, 40);
    a.Pictures.Normal = Solid(75, 26, normal);
    TKivImageButton button(a);
    HWND b = button.Handle();
    CHECK(CaptureClient(host.Handle()).At(42, 42) == Rgb(normal));
    MovePointerTo(b, 10, 10);
    PostMouse(b, WM_MOUSEMOVE, 10, 10);
    CHECK(CaptureClient(host.Handle()).At(42, 42) == Rgb(normal));
    PostMouse(b, WM_LBUTTONDOWN, 10, 10, MK_LBUTTON);
    CHECK(CaptureClient(host.Handle()).At(42, 42) == Rgb(normal));
    PostMouse(b, WM_LBUTTONUP, 10, 10);
    button.SetEnabled(false);
    CHECK(CaptureClient(host.Handle()).At(42, 42) == Rgb(normal));
    ::SetCursorPos(0, 0);
    Pump();
}

TEST_CASE("a disabled button's caption uses the disabled font only with state fonts on") {
    THostWindow host(200, 120, Solid(200, 120, Pack(255, 255, 255)));
    TKivButtonArgs a = BareButton(host.PanelHandle(), 20, 20, 120, 40);
    a.Caption = L"MMMM";
    a.Fonts.Normal = TKivFont(L"Tahoma", 20, true, RGB(255, 0, 0));
    a.Fonts.Disabled = TKivFont(L"Tahoma", 20, true, RGB(0, 0, 255));
    a.Enabled = false;
    TKivImageButton button(a);
    auto count = [&](uint32_t color) {
        const TCapture c = CaptureClient(host.Handle());
        int n = 0;
        for (int y = 20; y < 60; ++y)
            for (int x = 20; x < 140; ++x)
                n += c.At(x, y) == color;
        return n;
    };
    CHECK(count(0xFF0000u) > 20);
    CHECK(count(0x0000FFu) == 0);
    button.SetEnableMultiFonts(true);
    CHECK(count(0xFF0000u) == 0);
    CHECK(count(0x0000FFu) > 20);
}

TEST_CASE("a resized panel paints from a buffer of its new size") {
    THostWindow host(240, 160, Pattern(240, 160));
    TKivImagePanel panel;
    TKivImagePanelArgs pa;
    pa.Parent = host.PanelHandle();
    pa.Left = 10, pa.Top = 10, pa.Width = 50, pa.Height = 30;
    pa.Picture = Solid(10, 10, Pack(0, 0, 0));
    pa.PictureAlignment = kalBottomRight;
    REQUIRE(panel.Create(pa));
    CaptureClient(host.Handle());
    CHECK(panel.OffscreenBuffer().Width() == 50);
    ::SetWindowPos(panel.Handle(), nullptr, 0, 0, 120, 70, SWP_NOMOVE | SWP_NOZORDER);
    const TCapture cap = CaptureClient(host.Handle());
    CHECK(panel.OffscreenBuffer().Width() == 120);
    CHECK(panel.OffscreenBuffer().Height() == 70);
    CHECK(cap.At(10 + 115, 10 + 65) == 0u);                               // the picture moved with the corner
    CHECK(cap.At(10 + 45, 10 + 25) == Rgb(PatternAt(10 + 45, 10 + 25)));  // the old place shows the background
}

TEST_CASE("panel pictures: placement, stretching, margins and AutoSize") {
    THostWindow host(240, 160, Solid(240, 160, Pack(255, 255, 255)));
    TKivImagePanel panel;
    TKivImagePanelArgs pa;
    pa.Parent = host.PanelHandle();
    pa.Left = 20, pa.Top = 20, pa.Width = 100, pa.Height = 60;
    pa.Picture = Solid(20, 10, Pack(0, 0, 0));
    pa.PictureAlignment = kalCenter;
    REQUIRE(panel.Create(pa));
    auto at = [&](int x, int y) { return CaptureClient(host.Handle()).At(20 + x, 20 + y); };
    CHECK(at(40, 25) == 0u);
    CHECK(at(39, 25) == 0xFFFFFFu);
    panel.SetStretch(true);
    CHECK(at(0, 0) == 0u);
    CHECK(at(99, 59) == 0u);
    panel.SetPictureMargins(5);  // only stored: the next paint uses it
    CHECK(at(4, 4) == 0xFFFFFFu);
    CHECK(at(5, 5) == 0u);
    panel.SetAlign(TKivImagePanel::alClient);
    panel.SetAutoSize(true);
    RECT r{};
    ::GetClientRect(panel.Handle(), &r);
    CHECK(r.right == 100);
    panel.SetAlign(TKivImagePanel::alNone);
    panel.SetAutoSize(true);
    ::GetClientRect(panel.Handle(), &r);
    CHECK(r.right == 20);
    CHECK(r.bottom == 10);
}
