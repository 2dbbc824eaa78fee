// The program's colours, shared by the windows drawn in code.
#pragma once

#include <windows.h>

namespace sk {

inline constexpr COLORREF kColorAccent = RGB(0x1E, 0x5A, 0xA8);
inline constexpr COLORREF kColorAccentText = RGB(0x17, 0x3F, 0x78);
inline constexpr COLORREF kColorWindowBack = RGB(0xF4, 0xF6, 0xF9);
inline constexpr COLORREF kColorPage = RGB(0xFF, 0xFF, 0xFF);
inline constexpr COLORREF kColorBorder = RGB(0xC9, 0xD2, 0xDE);
inline constexpr COLORREF kColorTab = RGB(0xE6, 0xEB, 0xF2);
inline constexpr COLORREF kColorTabHot = RGB(0xEF, 0xF3, 0xF8);
inline constexpr COLORREF kColorText = RGB(0x22, 0x2B, 0x36);
inline constexpr COLORREF kColorTextMuted = RGB(0x4A, 0x55, 0x68);

}  // namespace sk
