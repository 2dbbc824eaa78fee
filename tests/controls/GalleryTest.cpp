// The program's pictures put together as its windows use them. Each scene checks its pixels: the
// texts stay readable on the pictures, and every button state is drawn where it is put and differs
// from the others. With SURFKEEP_GALLERY set to a folder the scenes are also written there as PNG
// files, to be looked at.
#include "ControlsTestSupport.h"

#include <cstdlib>
#include <memory>

#include "controls/Assets.h"
#include "controls/KWImage.h"
#include "controls/KWImageButton.h"
#include "controls/KWLabel.h"
#include "controls/KWTitleBar.h"

using namespace sk;
using namespace sktest;

namespace {

std::wstring GalleryFolder() {
    const wchar_t* v = _wgetenv(L"SURFKEEP_GALLERY");
    std::wstring folder = v ? v : L"";
    if (!folder.empty() && folder.back() != L'\\' && folder.back() != L'/') folder += L'\\';
    return folder;
}

// A borderless window with a picture background and whatever a scene puts on it.
struct TScene : TWindow {
    TKivImagePanel Back;
    std::vector<std::unique_ptr<TKivGraphicControl>> Graphics;
    std::vector<std::unique_ptr<TKivImageButton>> Buttons;
    std::vector<std::unique_ptr<TKivImagePanel>> Panels;

    TScene(int w, int h, const wchar_t* background) {
        CreateWnd(L"SkGalleryScene", WS_EX_CONTROLPARENT, WS_POPUP | WS_CLIPCHILDREN, L"Gallery", 0, 0, w, h, nullptr);
        TKivImagePanelArgs a;
        a.Parent = Handle();
        a.Width = w;
        a.Height = h;
        a.Picture = AssetPicture(background);
        a.Transparent = false;
        Back.Create(a);
    }
    void Show() {
        ::ShowWindow(Handle(), SW_SHOWNOACTIVATE);
        ::UpdateWindow(Handle());
        Pump();
    }
    template <typename T>
    T& Add(std::unique_ptr<T> c) {
        T& ref = *c;
        Graphics.push_back(std::move(c));
        return ref;
    }
    TKivImageButton& Button(HWND parent, const std::wstring& prefix, int x, int y, int w, int h,
                            const std::wstring& caption = L"") {
        TKivButtonArgs a;
        a.Parent = parent;
        a.Left = x, a.Top = y, a.Width = w, a.Height = h;
        a.Caption = caption;
        a.Fonts.Normal = TKivFont(L"Tahoma", 11, false, assets::kText);
        a.EnableMultiFonts = true;
        a.Fonts.Hover = a.Fonts.Normal;
        a.Fonts.Down = a.Fonts.Normal;
        a.Fonts.Disabled = TKivFont(L"Tahoma", 11, false, assets::kTextMuted);
        a.Pictures = AssetStatePictures(prefix);
        Buttons.push_back(std::make_unique<TKivImageButton>(a));
        return *Buttons.back();
    }
    TKivLabel& Label(HWND parent, int x, int y, const std::wstring& text, const TKivFont& font, int w = 0, int h = 0) {
        TKivLabelArgs a;
        a.Parent = parent;
        a.Left = x, a.Top = y;
        a.Caption = text;
        a.Fonts.Normal = font;
        if (w) {
            a.AutoSize = false;
            a.Width = w, a.Height = h;
        }
        return Add(std::make_unique<TKivLabel>(a));
    }
    TKivImage& Image(HWND parent, int x, int y, const wchar_t* name, bool stretch = false, int w = 0, int h = 0) {
        TKivImageArgs a;
        a.Parent = parent;
        a.Left = x, a.Top = y;
        a.Picture = AssetPicture(name);
        a.Width = w ? w : a.Picture.Width();
        a.Height = h ? h : a.Picture.Height();
        a.Stretch = stretch;
        return Add(std::make_unique<TKivImage>(a));
    }
    void TitleBar(int x, int y, int w, int h, const std::wstring& text, bool logo) {
        TKivTitleBarArgs a;
        a.Parent = Back.Handle();
        a.Left = x, a.Top = y, a.Width = w, a.Height = h;
        a.Font = TKivFont(L"Tahoma", 12, true, assets::kCaptionText);
        a.Title = text;
        if (logo) {
            a.Logo = AssetPicture(assets::kTitleLogo);
            a.LogoLeft = 2, a.LogoTop = (h - 20) / 2;
            a.TitleLeft = 28;
        } else {
            a.TitleLeft = 4;
        }
        a.TitleTop = 0;
        auto& bar = Add(std::make_unique<TKivTitleBar>(a));
        bar.TitleBar().SetTop((h - bar.TitleBar().Height()) / 2);
    }
    HWND Page(int x, int y, int w, int h) {
        auto p = std::make_unique<TKivImagePanel>();
        TKivImagePanelArgs a;
        a.Parent = Back.Handle();
        a.Left = x, a.Top = y, a.Width = w, a.Height = h;
        a.Transparent = false;
        a.Color = assets::kPanel;
        a.MovingHandler = false;
        p->Create(a);
        Panels.push_back(std::move(p));
        return Panels.back()->Handle();
    }
    void Save(const std::wstring& folder, const std::wstring& name) {
        const TKivPicture pic = RenderWindow(Handle());
        if (!folder.empty()) SavePicturePng(pic, folder + name);
    }

protected:
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override {
        if (msg == WM_ERASEBKGND) return 1;
        return DefaultMessage(msg, wParam, lParam);
    }
};

int CountNear(const TKivPicture& pic, const RECT& r, COLORREF c, int tolerance) {
    int n = 0;
    for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x) {
            const uint32_t p = pic.Pixel(x, y);
            if (std::abs(R(p) - GetRValue(c)) <= tolerance && std::abs(G(p) - GetGValue(c)) <= tolerance &&
                std::abs(B(p) - GetBValue(c)) <= tolerance)
                ++n;
        }
    return n;
}

bool SamePixels(const TKivPicture& a, const TKivPicture& b) {
    if (a.Width() != b.Width() || a.Height() != b.Height()) return false;
    for (int y = 0; y < a.Height(); ++y)
        for (int x = 0; x < a.Width(); ++x)
            if (a.Pixel(x, y) != b.Pixel(x, y)) return false;
    return true;
}

}  // namespace

TEST_CASE("the pictures make finished-looking windows with readable texts") {
    const std::wstring folder = GalleryFolder();
    const TKivFont body(L"Tahoma", 11, false, assets::kText);

    SUBCASE("main window") {
        TScene s(780, 585, assets::kMainBackground);
        HWND back = s.Back.Handle();
        s.TitleBar(9, 3, 565, 28, L"Surfkeep", true);
        s.Button(back, assets::kHelp, 699, 6, 25, 24);
        s.Button(back, assets::kMin, 724, 6, 25, 24);
        s.Button(back, assets::kClose, 749, 6, 25, 24);
        s.Image(back, 9, 37, assets::kMainHeader, true, 763, 105);
        s.Image(back, 13, 38, assets::kLogo);
        s.Label(back, 132, 48, L"Surfkeep", TKivFont(L"Tahoma", 21, true, assets::kAccentDark));
        s.Label(back, 132, 85,
                L"Keeps Internet Explorer and the Windows shell in working order: repairs, cleaning, plug-ins "
                L"and a security shield.",
                TKivFont(L"Tahoma", 11, false, assets::kTextMuted), 389, 50);
        s.Image(back, 531, 51, assets::kPromo);
        HWND page = s.Page(14, 170, 752, 376);
        s.Image(page, 16, 3, assets::kShieldOn);
        s.Label(page, 142, 16, L"IE security shield was turned on.", TKivFont(L"Tahoma", 13, true, assets::kText));
        s.Button(page, assets::kButton, 142, 72, 75, 26, L"Turn on").SetEnabled(false);
        s.Button(page, assets::kButton, 261, 72, 75, 26, L"Turn off");
        s.Image(page, 16, 110, assets::kShieldOff);
        for (int i = 0; i < 6; ++i)
            s.Image(page, 142 + i * 24, 130, assets::kCleanIcons[i]);
        s.Button(page, assets::kButton, 510, 343, 75, 26, L"Scan");
        s.Button(page, assets::kButton, 591, 343, 75, 26, L"Clean");
        s.Button(page, assets::kButton, 672, 343, 75, 26, L"Stop").SetEnabled(false);
        s.Show();
        const TKivPicture pic = RenderWindow(s.Handle());
        s.Save(folder, L"main.png");
        // The white title on the caption strip, the dark title on the header.
        CHECK(CountNear(pic, RECT{37, 3, 120, 31}, RGB(255, 255, 255), 40) > 20);
        CHECK(CountNear(pic, RECT{132, 48, 260, 75}, assets::kAccentDark, 40) > 40);
        // The close button's cross, white on the strip.
        CHECK(CountNear(pic, RECT{749, 6, 774, 30}, RGB(255, 255, 255), 30) > 8);
        // A button caption, dark on the light face.
        CHECK(CountNear(pic, RECT{14 + 510, 170 + 343, 14 + 585, 170 + 369}, assets::kText, 60) > 10);
    }
    SUBCASE("About box") {
        TScene s(448, 324, assets::kAboutBackground);
        HWND back = s.Back.Handle();
        s.TitleBar(5, 4, 300, 23, L"About Surfkeep", false);
        s.Button(back, assets::kClose, 418, 7, 25, 24);
        s.Image(back, 13, 46, assets::kLogo);
        s.Label(back, 135, 49, L"Surfkeep", TKivFont(L"Tahoma", 11, true, assets::kText));
        s.Label(back, 135, 73, L"Version: 1.0.0", body);
        s.Label(back, 135, 94, L"Copyright (C) Surfkeep developers", body);
        TKivLabelArgs la;
        la.Parent = back;
        la.Left = 135, la.Top = 115;
        la.Caption = L"https://surfkeep.example/";
        la.Fonts.Normal = body;
        s.Add(std::make_unique<TKivURLLabel>(la));
        s.Label(back, 135, 136, L"Contact Us", TKivFont(body).SetUnderline(true));
        HWND warning = s.Page(13, 179, 420, 94);
        s.Label(warning, 4, 4, L"\r\nWarning: this program changes settings of the system. Keep a backup of your data.",
                body, 412, 86);
        s.Button(back, assets::kButton, 358, 280, 75, 26, L"Close");
        s.Show();
        s.Save(folder, L"about.png");
        const TKivPicture pic = RenderWindow(s.Handle());
        CHECK(CountNear(pic, RECT{5, 4, 150, 27}, RGB(255, 255, 255), 40) > 20);
    }
    SUBCASE("all-hosts window and add dialog") {
        {
            TScene s(465, 345, assets::kAllHostsBackground);
            HWND back = s.Back.Handle();
            s.Label(back, 7, 9, L"View all hosts items", TKivFont(L"Tahoma", 13, true, assets::kCaptionText));
            s.Button(back, assets::kClose, 434, 6, 25, 24);
            HWND list = s.Page(5, 37, 455, 254);
            s.Label(list, 6, 4, L"1. ads.example.invalid\r\n2. tracker.example.invalid", body);
            s.Label(back, 8, 312, L"Loading is completed.", body);
            s.Button(back, assets::kButton, 304, 303, 75, 26, L"Refresh");
            s.Button(back, assets::kButton, 385, 303, 75, 26, L"Close");
            s.Show();
            s.Save(folder, L"allhosts.png");
            const TKivPicture pic = RenderWindow(s.Handle());
            // The white title on the caption strip, the dark list lines on the light page, the
            // status line on the window's face.
            CHECK(CountNear(pic, RECT{7, 9, 160, 30}, RGB(255, 255, 255), 40) > 20);
            CHECK(CountNear(pic, RECT{5 + 6, 37 + 4, 5 + 200, 37 + 34}, assets::kText, 60) > 20);
            CHECK(CountNear(pic, RECT{8, 312, 150, 326}, assets::kText, 60) > 10);
        }
        {
            TScene s(344, 176, assets::kAddDialogBackground);
            HWND back = s.Back.Handle();
            s.Label(back, 7, 9, L"Add Malicious Website", TKivFont(L"Tahoma", 13, true, assets::kCaptionText));
            s.Button(back, assets::kClose, 315, 6, 25, 24);
            s.Label(back, 24, 57, L"website:", body);
            s.Button(back, assets::kButton, 184, 143, 75, 26, L"Ok");
            s.Button(back, assets::kButton, 265, 143, 75, 26, L"Cancel");
            s.Show();
            s.Save(folder, L"adddialog.png");
            const TKivPicture pic = RenderWindow(s.Handle());
            CHECK(CountNear(pic, RECT{7, 9, 180, 30}, RGB(255, 255, 255), 40) > 20);
        }
    }
    SUBCASE("button states, enlarged") {
        TScene s(420, 120, assets::kAddDialogBackground);
        HWND back = s.Back.Handle();
        const wchar_t* kinds[] = {assets::kButton, assets::kHelp, assets::kMin, assets::kClose};
        for (int k = 0; k < 4; ++k) {
            const TKivStatePictures p = AssetStatePictures(kinds[k]);
            const TKivPicture* states[] = {&p.Normal, &p.Hover, &p.Down, &p.Disabled};
            for (int i = 0; i < 4; ++i) {
                TKivImageArgs a;
                a.Parent = back;
                a.Picture = *states[i];
                a.Left = 10 + i * 100;
                a.Top = k == 0 ? 48 : 4 + (k - 1) * 0;
                a.Left += k == 0 ? 0 : (k - 1) * 28;
                a.Width = a.Picture.Width(), a.Height = a.Picture.Height();
                s.Add(std::make_unique<TKivImage>(a));
            }
        }
        s.Show();
        s.Save(folder, L"states.png");
        // Each state's picture stands where it was put, blended over the background as its alpha
        // says. The states differ from one another, so a state that fell back to another's picture
        // shows too.
        const TKivPicture pic = RenderWindow(s.Handle());
        TScene empty(420, 120, assets::kAddDialogBackground);
        empty.Show();
        const TKivPicture background = RenderWindow(empty.Handle());
        for (const auto& g : s.Graphics) {
            const auto& image = dynamic_cast<const TKivImage&>(*g);
            const TKivPicture& drawn = image.Picture();
            CAPTURE(image.Left());
            CAPTURE(image.Top());
            int visible = 0, off = 0;
            for (int y = 0; y < drawn.Height(); ++y)
                for (int x = 0; x < drawn.Width(); ++x) {
                    const uint32_t p = drawn.Pixel(x, y);  // premultiplied
                    const int a = static_cast<int>(p >> 24);
                    if (a == 0) continue;
                    ++visible;
                    const uint32_t under = background.Pixel(image.Left() + x, image.Top() + y);
                    const uint32_t shown = pic.Pixel(image.Left() + x, image.Top() + y);
                    auto blend = [a](int top, int below) { return top + (below * (255 - a) + 127) / 255; };
                    if (std::abs(R(shown) - blend(R(p), R(under))) > 2 || std::abs(G(shown) - blend(G(p), G(under))) > 2 ||
                        std::abs(B(shown) - blend(B(p), B(under))) > 2)
                        ++off;
                }
            CHECK(visible > 0);
            CHECK(off == 0);
        }
        for (const wchar_t* kind : kinds) {
            CAPTURE(sktest::Narrow(kind));
            const TKivStatePictures p = AssetStatePictures(kind);
            CHECK_FALSE(SamePixels(p.Normal, p.Hover));
            CHECK_FALSE(SamePixels(p.Normal, p.Down));
            CHECK_FALSE(SamePixels(p.Hover, p.Down));
            CHECK_FALSE(SamePixels(p.Normal, p.Disabled));
        }
    }
}
