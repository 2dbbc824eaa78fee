// The look the controls draw with: the program's skin, or, when the user has switched on a
// high-contrast theme (SPI_GETHIGHCONTRAST), the system's colours with no skin pictures behind
// texts. Read once and again whenever the system's colours change (WM_SYSCOLORCHANGE, which every
// top-level window of ours hands down to the windows inside it).
#pragma once

#include <windows.h>

namespace sk {

bool KivHighContrast();
// Whether the user has mnemonics underlined always (SPI_GETKEYBOARDCUES), not only after Alt.
bool KivKeyboardCuesAlways();
// The system colour links show in with a high-contrast theme: COLOR_HOTLIGHT, unless it hardly
// stands out from the window colour (a scheme that leaves it unset), then the window text colour.
COLORREF KivHighContrastLinkColor();
// Reads the settings again.
void RefreshKivTheme();
// Replaces the system's setting (1 on, 0 off; -1 the system's again), for tests: the platform's own
// switch cannot be thrown from a test.
void SetKivHighContrastOverride(int state);

}  // namespace sk
