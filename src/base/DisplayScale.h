// Display scales and DPI. The program's windows are described in the 96-dpi layout ("layout
// pixels"); a window shows at its DPI, and every length of its layout is multiplied by its display
// scale (DPI / 96) when the window and its controls are made and laid out.
#pragma once

#include <windows.h>

#include <cstdint>

namespace sk {

// A display scale: a fraction of 96 dpi (which is 100 %), kept in lowest terms so that 120 dpi and
// 125 % are the same scale. Scales outside 25 to 800 % are taken as the nearest of those.
class TDisplayScale {
public:
    constexpr TDisplayScale() = default;  // 100 %
    static TDisplayScale FromDpi(int dpi);  // 96 = 100 %, 120 = 125 %, 144 = 150 %, 192 = 200 %
    static TDisplayScale FromPercent(int percent);

    int Numerator() const { return FNum; }
    int Denominator() const { return FDen; }
    // The DPI of the scale (rounded for scales that are not a whole number of dpi).
    int Dpi() const { return Scale(96); }
    bool IsIdentity() const { return FNum == FDen; }
    // length x scale, rounded to a whole pixel with halves up: the same as MulDiv(length, dpi, 96)
    // for lengths of 0 and more, so pictures and the layout of a window agree.
    int Scale(int length) const;
    // The layout length of a length in pixels: rounded to the nearest, or up (the smallest layout
    // length whose scaled length is at least `pixels`, for a scale of at least 100 %).
    int Unscale(int pixels) const;
    int UnscaleUp(int pixels) const;
    // A rectangle of the layout in pixels: each edge scaled, so that rectangles that touch or stand
    // apart in the layout touch or stand apart at every scale.
    RECT Scale(const RECT& layout) const;
    // A rectangle in pixels back in the layout (each edge rounded to the nearest).
    RECT Unscale(const RECT& pixels) const;
    // Whether the scale is drawn percent % exactly.
    bool Is(int percent) const { return static_cast<int64_t>(FNum) * 100 == static_cast<int64_t>(percent) * FDen; }

    bool operator==(const TDisplayScale& o) const { return FNum == o.FNum && FDen == o.FDen; }
    bool operator!=(const TDisplayScale& o) const { return !(*this == o); }
    bool operator<(const TDisplayScale& o) const {
        return static_cast<int64_t>(FNum) * o.FDen < static_cast<int64_t>(o.FNum) * FDen;
    }

private:
    constexpr TDisplayScale(int num, int den) : FNum(num), FDen(den) {}
    static TDisplayScale Make(int num, int den);
    int FNum = 1, FDen = 1;
};

// The DPI of the screen as the system reports it to this process (the primary monitor's at the start
// of the session), read once.
int SystemDpi();
// The DPI the system gives a window: that of the monitor it is on (GetDpiForWindow, Windows 10
// 1607), else the system DPI.
int SystemDpiOfWindow(HWND wnd);

}  // namespace sk
