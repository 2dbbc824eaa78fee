// The program's fonts at every display scale. A font is described in the 96-dpi layout (its
// character height in layout pixels, 11 for the body text: 8.25 points) and made for a DPI with the
// height its point size has there. Each description and DPI gets one GDI font, made on first use and
// kept for the program's life; a window asks for its fonts with its own DPI.
#pragma once

#include <windows.h>

#include <string>

namespace sk {

struct TFontLook {
    std::wstring Name = L"Tahoma";
    int Height = 11;  // character height in layout pixels
    bool Bold = false, Italic = false, Underline = false;

    bool operator==(const TFontLook& o) const {
        return Name == o.Name && Height == o.Height && Bold == o.Bold && Italic == o.Italic && Underline == o.Underline;
    }
};

// The font of the description at dpi (not owned).
HFONT ProgramFont(const TFontLook& look, int dpi);
// The font to use at dpi in place of `font`: for one of ProgramFont's, the same description at dpi;
// any other font is taken to be made for the system DPI and gets a copy scaled to dpi (made once).
HFONT FontForDpi(HFONT font, int dpi);
// Whether `font` is one of ProgramFont's, and then its description and DPI.
bool IsProgramFont(HFONT font, TFontLook* look = nullptr, int* dpi = nullptr);

}  // namespace sk
