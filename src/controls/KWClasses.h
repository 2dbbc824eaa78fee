// Types and small helpers shared by the skinned controls: placements, trimming, state fonts, the
// window-drag request, link opening and the modal result of a window.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "base/DisplayScale.h"
#include "base/Fonts.h"

namespace sk {

enum TKivAlignment {
    kalTopLeft,
    kalTopCenter,
    kalTopRight,
    kalMiddleLeft,
    kalMiddleCenter,
    kalMiddleRight,
    kalBottomLeft,
    kalBottomCenter,
    kalBottomRight,
    kalCenter,
    kalLeft,
    kalRight,
    kalCustom,
    kalTopCustom,
    kalMiddleCustom,
    kalBottomCustom,
    kalCustomLeft,
    kalCustomCenter,
    kalCustomRight,
};

enum TKivTextTrimmingType {
    kttNone,
    kttCharacter,
    kttWord,
    kttEllipsisCharacter,
    kttEllipsisWord,
    kttEllipsisPath,
};

enum TKivImageButtonStyle {
    KivImageButtonStyle_WinFlat,
    KivImageButtonStyle_WinNormal,
};

enum TKivMultiFontsFlag {
    kmfMouseHover,
    kmfMouseDown,
    kmfDisabled,
    kmfFocused,
    kmfSelected,
    kmfChecked,
    kmfReadOnly,
};

// The states a control's look follows, and a look for each of them: a control shows
// Look[KivStateOf(...)], the way CurrentPicture chooses a button's picture.
enum TKivState { ksNormal, ksHover, ksDown, ksDisabled };
// Disabled goes before pressed, pressed before the pointer over it.
constexpr TKivState KivStateOf(bool enabled, bool down, bool hover) {
    return !enabled ? ksDisabled : down ? ksDown : hover ? ksHover : ksNormal;
}
template <typename T>
struct TKivByState {
    T Normal{}, Hover{}, Down{}, Disabled{};

    const T& operator[](TKivState state) const {
        switch (state) {
            case ksHover: return Hover;
            case ksDown: return Down;
            case ksDisabled: return Disabled;
            default: return Normal;
        }
    }
    T& operator[](TKivState state) { return const_cast<T&>(static_cast<const TKivByState&>(*this)[state]); }
};

// A set of TKivMultiFontsFlag, one bit per value.
using TKivMultiFontsFlags = unsigned;
constexpr TKivMultiFontsFlags KivFontsFlag(TKivMultiFontsFlag f) { return 1u << f; }
constexpr bool HasFontsFlag(TKivMultiFontsFlags set, TKivMultiFontsFlag f) { return (set & KivFontsFlag(f)) != 0; }

// The DrawText flags every label and button starts with: word break, tab expansion, edit-control
// line breaking, end ellipsis and word ellipsis.
constexpr UINT kKivDefaultTextFormat =
    DT_WORDBREAK | DT_EXPANDTABS | DT_EDITCONTROL | DT_END_ELLIPSIS | DT_WORD_ELLIPSIS;
constexpr UINT kKivPlacementFlags = DT_CENTER | DT_RIGHT | DT_VCENTER | DT_BOTTOM;
constexpr UINT kKivEllipsisFlags = DT_END_ELLIPSIS | DT_WORD_ELLIPSIS | DT_PATH_ELLIPSIS;

// The top-left corner of a w x h picture in a W x H client area, kept at least `margins` from the
// left and top edges.
POINT PlacePicture(TKivAlignment alignment, int W, int H, int w, int h, int x0, int y0, int margins);

// The text format after choosing a trimming: prefix processing off, and at most one ellipsis flag.
UINT ApplyTextTrimming(UINT format, TKivTextTrimmingType trimming);
// The text format with word wrap switched on (word break, no single line) or off (single line).
UINT ApplyWordWrap(UINT format, bool wordWrap);

// Where and how a caption is drawn in a W x H control.
struct TKivTextLayout {
    RECT Box{};
    UINT Flags = 0;
};

// The rectangle a caption is measured in: the client area less the custom offsets.
RECT TextMeasureRect(TKivAlignment alignment, int W, int H, int textX, int textY);
// The layout from the measured text height `th`; `format` is the stored format (its placement
// flags and DT_CALCRECT are ignored).
TKivTextLayout TextLayoutFromHeight(UINT format, TKivAlignment alignment, int W, int H, int textX, int textY,
                                    int margins, int th);
// Measures `text` with the font selected into dc and lays it out (the two steps above).
TKivTextLayout MeasureTextLayout(HDC dc, const std::wstring& text, UINT format, TKivAlignment alignment, int W, int H,
                                 int textX, int textY, int margins);

// A font description of the 96-dpi layout (its height in layout pixels), with its GDI font at a DPI
// made on first use (see base/Fonts.h). Copies share nothing mutable: changing a copy makes it a
// font of its own.
class TKivFont {
public:
    TKivFont() = default;
    TKivFont(std::wstring name, int pixelHeight, bool bold = false, COLORREF color = RGB(0, 0, 0));

    const std::wstring& Name() const { return FName; }
    int Height() const { return FHeight; }  // in pixels (character height)
    bool Bold() const { return FBold; }
    bool Italic() const { return FItalic; }
    bool Underline() const { return FUnderline; }
    COLORREF Color() const { return FColor; }

    TKivFont& SetName(std::wstring name);
    TKivFont& SetHeight(int pixels);
    TKivFont& SetBold(bool on);
    TKivFont& SetItalic(bool on);
    TKivFont& SetUnderline(bool on);
    TKivFont& SetColor(COLORREF color);

    // The GDI font at 96 dpi (the layout's), and at a DPI or display scale (not owned: every font of
    // one description and DPI is the same GDI font, kept for the program's life).
    HFONT Handle() const { return HandleAt(96); }
    HFONT HandleAt(int dpi) const;
    HFONT HandleAt(TDisplayScale scale) const { return HandleAt(scale.Dpi()); }
    TFontLook Look() const { return TFontLook{FName, FHeight, FBold, FItalic, FUnderline}; }
    bool operator==(const TKivFont& o) const;

private:
    void Changed() { FHandle = nullptr; }

    std::wstring FName = L"Tahoma";
    int FHeight = 11;
    bool FBold = false, FItalic = false, FUnderline = false;
    COLORREF FColor = RGB(0, 0, 0);
    mutable HFONT FHandle = nullptr;  // at FHandleDpi
    mutable int FHandleDpi = 0;
};

// The program's default control font: Tahoma, 11 pixels.
const TKivFont& DefaultKivFont();

// A control's fonts by state (Normal is the caption's own font).
using TKivStateFonts = TKivByState<TKivFont>;

// Starts the system's move of `control`'s top-level window with the pointer (the drag of a
// borderless window by its surface). Tests replace it to record the request.
void StartWindowDrag(HWND control);
using TWindowDragHook = std::function<void(HWND window)>;
void SetWindowDragHook(TWindowDragHook hook);

// Opens a link as the buttons and link labels do: the shell's "Open" verb; when that fails for a
// ".htm" target, the system's program chooser for web pages. Returns whether the open succeeded.
bool OpenKivLink(HWND owner, const std::wstring& url);
// Replaces the shell for tests: `open` answers whether the link opened, `run` gets the chooser's
// command line.
struct TKivShellHook {
    std::function<bool(const std::wstring& url)> Open;
    std::function<void(const std::wstring& commandLine)> Run;
};
void SetKivShellHook(TKivShellHook hook);

// The modal result of a top-level window (0: none yet), set by a button's click.
void SetModalResult(HWND window, int result);
int ModalResult(HWND window);

// A mouse press or release as the controls report it; Pos is in the control's own coordinates.
enum TKivMouseButton { kmbLeft, kmbRight, kmbMiddle };
struct TKivMouseEvent {
    TKivMouseButton Button = kmbLeft;
    POINT Pos{};
    WPARAM Keys = 0;  // MK_SHIFT, MK_CONTROL, ...
};

}  // namespace sk
