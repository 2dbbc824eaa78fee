// Helpers of the skinned-control tests: a real top-level window under Xvfb carrying a picture
// panel, message pumping, pixel capture from the screen, and pictures made in memory.
#pragma once

#include <windows.h>

#include <png.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "base/Window.h"
#include "controls/KWImagePanel.h"
#include "controls/KWPicture.h"

namespace sktest {

// Runs every waiting message of this thread, and paints.
inline void Pump(int rounds = 3) {
    for (int i = 0; i < rounds; ++i) {
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        ::Sleep(1);
    }
}

// B, G, R of an 0xAARRGGBB pixel as 0xRRGGBB.
inline uint32_t Rgb(uint32_t p) { return p & 0xFFFFFF; }
inline uint32_t Pack(int r, int g, int b, int a = 255) {
    return (static_cast<uint32_t>(a) << 24) | (static_cast<uint32_t>(r) << 16) | (static_cast<uint32_t>(g) << 8) |
           static_cast<uint32_t>(b);
}
inline int R(uint32_t p) { return (p >> 16) & 0xFF; }
inline int G(uint32_t p) { return (p >> 8) & 0xFF; }
inline int B(uint32_t p) { return p & 0xFF; }

// A picture from a function giving straight (not premultiplied) colour and alpha per pixel.
inline sk::TKivPicture MakePicture(int w, int h, const std::function<uint32_t(int x, int y)>& straight) {
    std::vector<uint32_t> px(static_cast<size_t>(w) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const uint32_t s = straight(x, y);
            const uint32_t a = s >> 24;
            auto mul = [a](uint32_t c) { return (c * a + 127) / 255; };
            px[static_cast<size_t>(y) * w + x] =
                (a << 24) | (mul((s >> 16) & 0xFF) << 16) | (mul((s >> 8) & 0xFF) << 8) | mul(s & 0xFF);
        }
    return sk::TKivPicture::FromPixels(w, h, px.data());
}

inline sk::TKivPicture Solid(int w, int h, uint32_t straightArgb) {
    return MakePicture(w, h, [=](int, int) { return straightArgb; });
}

// An opaque pattern that differs from pixel to pixel, so a shifted copy shows.
inline uint32_t PatternAt(int x, int y) { return Pack((x * 7) & 0xFF, (y * 5) & 0xFF, ((x + y) * 3) & 0xFF); }
inline sk::TKivPicture Pattern(int w, int h) { return MakePicture(w, h, PatternAt); }

// PNG bytes of straight RGBA pixels (0xAARRGGBB), written with libpng.
inline std::vector<unsigned char> EncodePng(int w, int h, const std::vector<uint32_t>& argb) {
    std::vector<unsigned char> rgba;
    rgba.reserve(argb.size() * 4);
    for (uint32_t p : argb) {
        rgba.push_back(static_cast<unsigned char>(p >> 16));
        rgba.push_back(static_cast<unsigned char>(p >> 8));
        rgba.push_back(static_cast<unsigned char>(p));
        rgba.push_back(static_cast<unsigned char>(p >> 24));
    }
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(w);
    image.height = static_cast<png_uint_32>(h);
    image.format = PNG_FORMAT_RGBA;
    png_alloc_size_t size = 0;
    png_image_write_to_memory(&image, nullptr, &size, 0, rgba.data(), 0, nullptr);
    std::vector<unsigned char> out(size);
    png_image_write_to_memory(&image, out.data(), &size, 0, rgba.data(), 0, nullptr);
    out.resize(size);
    return out;
}

// A picture's pixels as a PNG file (opaque), for looking at what the controls draw.
inline void SavePicturePng(const sk::TKivPicture& pic, const std::wstring& file) {
    std::vector<uint32_t> px(static_cast<size_t>(pic.Width()) * pic.Height());
    for (int y = 0; y < pic.Height(); ++y)
        for (int x = 0; x < pic.Width(); ++x)
            px[static_cast<size_t>(y) * pic.Width() + x] = pic.Pixel(x, y) | 0xFF000000u;
    WriteBytes(file, EncodePng(pic.Width(), pic.Height(), px));
}

// What the screen shows of a window's client area, read back from the window.
struct TCapture {
    int Width = 0, Height = 0;
    std::vector<uint32_t> Pixels;
    uint32_t At(int x, int y) const { return Pixels[static_cast<size_t>(y) * Width + x] & 0xFFFFFF; }
};

inline TCapture CaptureClient(HWND wnd) {
    ::RedrawWindow(wnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    Pump();
    RECT cr{};
    ::GetClientRect(wnd, &cr);
    TCapture cap;
    cap.Width = cr.right;
    cap.Height = cr.bottom;
    sk::TOffscreenBuffer buffer;
    if (!buffer.Ensure(cap.Width, cap.Height)) return cap;
    HDC dc = ::GetDC(wnd);
    ::BitBlt(buffer.DC(), 0, 0, cap.Width, cap.Height, dc, 0, 0, SRCCOPY);
    ::ReleaseDC(wnd, dc);
    ::GdiFlush();
    cap.Pixels.assign(buffer.Bits(), buffer.Bits() + static_cast<size_t>(cap.Width) * cap.Height);
    return cap;
}

// A borderless top-level window whose client area is one picture panel (opaque, no drag), like the
// program's windows.
class THostWindow : public sk::TWindow {
public:
    THostWindow(int w, int h, const sk::TKivPicture& background, int x = 40, int y = 40) {
        CreateWnd(L"SkControlsTestHost", WS_EX_CONTROLPARENT, WS_POPUP | WS_CLIPCHILDREN, L"Controls test", x, y, w, h,
                  nullptr);
        sk::TKivImagePanelArgs a;
        a.Parent = Handle();
        a.Width = w;
        a.Height = h;
        a.Picture = background;
        a.Transparent = false;
        a.Color = RGB(0x80, 0x80, 0x80);
        a.MovingHandler = false;
        Panel.Create(a);
        // Not activated: under Wine without a window manager, hiding an activated window waits two
        // seconds for the manager. Tests that need the focus activate it themselves.
        ::ShowWindow(Handle(), SW_SHOWNOACTIVATE);
        ::UpdateWindow(Handle());
        Pump();
    }
    HWND PanelHandle() const { return Panel.Handle(); }
    sk::TKivImagePanel Panel;

protected:
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override {
        if (msg == WM_ERASEBKGND) return 1;
        return DefaultMessage(msg, wParam, lParam);
    }
};

// Screen coordinates of a point of a window's client area; moves the real pointer there.
inline POINT MovePointerTo(HWND wnd, int x, int y) {
    POINT p{x, y};
    ::ClientToScreen(wnd, &p);
    ::SetCursorPos(p.x, p.y);
    return p;
}

}  // namespace sktest
