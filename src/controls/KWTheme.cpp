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

void RefreshKivTheme() { gCached = gCues = -1; }

void SetKivHighContrastOverride(int state) { gOverride = state < 0 ? -1 : state != 0; }

}  // namespace sk
