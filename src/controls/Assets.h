// The program's pictures, embedded as RCDATA resources (assets/assets.rc, made by tools/make-assets).
// Executables that show them link the surfkeep_assets object library.
#pragma once

#include <string>

#include "controls/KWPicture.h"

namespace sk::assets {

// Window backgrounds: a dark caption strip at the top (34 pixels; 32 in the About box) over a calm
// light surface.
inline constexpr wchar_t kMainBackground[] = L"MAIN_BACKGROUND";            // 780 x 585
inline constexpr wchar_t kMainHeader[] = L"MAIN_HEADER";                    // 763 x 105, the header strip
inline constexpr wchar_t kAboutBackground[] = L"ABOUT_BACKGROUND";          // 448 x 324
inline constexpr wchar_t kAllHostsBackground[] = L"ALLHOSTS_BACKGROUND";    // 465 x 345
inline constexpr wchar_t kAddDialogBackground[] = L"ADDDIALOG_BACKGROUND";  // 344 x 176
inline constexpr wchar_t kRestorePointsBackground[] = L"RESTOREPOINTS_BACKGROUND";  // 600 x 470

inline constexpr wchar_t kLogo[] = L"LOGO";             // 105 x 105, soft edges
inline constexpr wchar_t kTitleLogo[] = L"TITLE_LOGO";  // 20 x 20, for the caption strip
inline constexpr wchar_t kPromo[] = L"PROMO";           // 230 x 75
inline constexpr wchar_t kShieldOn[] = L"SHIELD_ON";    // 95 x 95
inline constexpr wchar_t kShieldOff[] = L"SHIELD_OFF";  // 95 x 95

// Buttons in four states: prefix + "_NORMAL", "_HOVER", "_DOWN", "_DISABLED".
inline constexpr wchar_t kButton[] = L"BUTTON";  // 75 x 26, light face for a dark caption text
inline constexpr wchar_t kHelp[] = L"HELP";      // 25 x 24, for the dark caption strip
inline constexpr wchar_t kMin[] = L"MIN";        // 25 x 24
inline constexpr wchar_t kClose[] = L"CLOSE";    // 25 x 24

// The cleaning tree's six 16 x 16 icons, in image-list order.
inline constexpr const wchar_t* kCleanIcons[6] = {
    L"CLEAN_TEMPFILES",  // 0 a page with the globe: temporary files
    L"CLEAN_COOKIES",    // 1 a text page: cookies
    L"CLEAN_ADDRESSES",  // 2 the globe: typed addresses
    L"CLEAN_HISTORY",    // 3 a clock with a green arrow: history
    L"CLEAN_CACHEPAGE",  // 4 a page with the clock: URL-cache entries
    L"CLEAN_VISITED",    // 5 the clock above "URL": visited entries
};

// 16 x 16 check boxes for check-list trees (a state image list: blank, then these three).
inline constexpr wchar_t kCheckUnchecked[] = L"CHECK_UNCHECKED";
inline constexpr wchar_t kCheckChecked[] = L"CHECK_CHECKED";
inline constexpr wchar_t kCheckMixed[] = L"CHECK_MIXED";

// The program icon (resource id 1, sizes 16 to 256).
inline constexpr int kProgramIconId = 1;

// The palette the pictures are drawn in, for texts and plain surfaces drawn in code.
inline constexpr COLORREF kAccent = RGB(0x1E, 0x5A, 0xA8);
inline constexpr COLORREF kAccentDark = RGB(0x15, 0x41, 0x7D);
inline constexpr COLORREF kCaptionText = RGB(0xFF, 0xFF, 0xFF);  // texts on the caption strip
inline constexpr COLORREF kText = RGB(0x1F, 0x29, 0x33);         // body text
inline constexpr COLORREF kTextMuted = RGB(0x5B, 0x67, 0x75);    // secondary text, disabled captions
inline constexpr COLORREF kTextDisabled = RGB(0xA0, 0xA8, 0xB3);  // disabled push buttons and links
inline constexpr COLORREF kSurface = RGB(0xF3, 0xF5, 0xF8);      // window surface
inline constexpr COLORREF kPanel = RGB(0xFF, 0xFF, 0xFF);        // content panels, tab pages
inline constexpr COLORREF kBorder = RGB(0xC9, 0xD3, 0xDF);       // 1-pixel frames
inline constexpr int kCaptionHeight = 34;

}  // namespace sk::assets

namespace sk {

// A picture of the program, decoded once and shared afterwards (raises sk::TError when missing).
const TKivPicture& AssetPicture(const wchar_t* name);

// The four state pictures of a button kind (prefix as above).
TKivStatePictures AssetStatePictures(const std::wstring& prefix);

}  // namespace sk
