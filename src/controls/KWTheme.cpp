#include "controls/KWTheme.h"

namespace sk {

namespace {

int gOverride = -1;
int gCached = -1;  // -1: not read yet
int gCues = -1;

bool ReadHighContrast() {
    HIGHCONTRASTW hc{sizeof hc};
    return ::SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof hc, &hc, 0) && (hc.dwFlags & HCF_HIGHCONTRASTON);
}

}  // namespace

bool KivHighContrast() {
    if (gOverride >= 0) return gOverride != 0;
    if (gCached < 0) gCached = ReadHighContrast() ? 1 : 0;
    return gCached != 0;
}

bool KivKeyboardCuesAlways() {
    if (gCues < 0) {
        BOOL on = FALSE;
        gCues = ::SystemParametersInfoW(SPI_GETKEYBOARDCUES, 0, &on, 0) && on ? 1 : 0;
    }
    return gCues != 0;
}

COLORREF KivHighContrastLinkColor() {
    auto luma = [](COLORREF c) { return 299 * GetRValue(c) + 587 * GetGValue(c) + 114 * GetBValue(c); };
    const COLORREF link = ::GetSysColor(COLOR_HOTLIGHT), back = ::GetSysColor(COLOR_WINDOW);
    const int difference = luma(link) - luma(back);
    return (difference < 0 ? -difference : difference) >= 255 * 1000 * 2 / 5 ? link : ::GetSysColor(COLOR_WINDOWTEXT);
}

void RefreshKivTheme() { gCached = gCues = -1; }

void SetKivHighContrastOverride(int state) { gOverride = state < 0 ? -1 : state != 0; }

}  // namespace sk
