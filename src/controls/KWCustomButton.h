// The skinned push button: four state pictures, a caption over them in one of four fonts, a
// transparent background, and the behaviour of a real push button (mouse, Space and Enter, default
// and cancel buttons, accelerators, modal result, a link to open). Its caption is its window text.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "base/Window.h"
#include "controls/KWAccessible.h"
#include "controls/KWClasses.h"
#include "controls/KWPicture.h"

namespace sk {

// What a button is made with, in the 96-dpi layout of its parent (the button scales it with its
// window). It keeps these as its look and behaviour; its place, caption, enabled and visible state,
// tab stop and hint are its window's once it is made.
struct TKivButtonArgs {
    HWND Parent = nullptr;
    int Left = 0, Top = 0, Width = 75, Height = 26;
    int Id = 0;
    std::wstring Caption;
    // The letter Alt presses the button with when the caption has no "&" of its own (a language
    // pack's "&" marks the letter instead); underlined while keyboard cues show. 0: none.
    wchar_t Mnemonic = 0;
    // What a caption-less button shows with a high-contrast theme, where it draws no pictures: a
    // character that says what its pictures say (L'?', L'\x2013' a bar, L'\x00D7' a cross).
    wchar_t Glyph = 0;
    TKivStatePictures Pictures;  // by state; an empty one shows the normal picture
    TKivStateFonts Fonts;        // Normal is the caption's font; the others need EnableMultiFonts
    bool EnableMultiFonts = false;
    bool Default = false;  // Enter clicks it when no other skinned button has the focus
    bool Cancel = false;   // Esc clicks it
    int ModalResult = 0;   // given to the button's top-level window on a click
    std::wstring URL;      // opened by a click when not blank
    bool Transparent = true;
    COLORREF Color = ::GetSysColor(COLOR_BTNFACE);
    bool Stretch = false;
    bool DrawBorder = false;
    bool DrawFocused = false;
    bool TabStop = false;
    bool Enabled = true;
    bool Visible = true;
    TKivAlignment PictureAlignment = kalCenter;
    int PictureX = 0, PictureY = 0, PictureMargins = 0;
    TKivAlignment TextAlignment = kalCenter;
    TKivTextTrimmingType TextTrimming = kttEllipsisWord;
    bool WordWrap = true;
    int TextX = 0, TextY = 0, TextMargins = 0;
    bool AutoSize = false;
    int AutoSizeMaxWidth = 0, AutoSizeMaxHeight = 0;
    TKivImageButtonStyle Style = KivImageButtonStyle_WinFlat;  // image buttons only
    std::wstring Hint;
    std::function<void()> OnClick;
};

class TKivCustomButton : public TWindow, public IKivAccessibleSource {
public:
    TKivCustomButton() = default;
    ~TKivCustomButton() override;

    // Makes the button as a child window of args.Parent.
    bool Create(const TKivButtonArgs& args);

    // The look and behaviour the button has now (its place and caption are the window's).
    const TKivButtonArgs& Args() const { return FArgs; }
    // Changes them: the button re-sizes itself when it sizes to its caption, and repaints.
    void Change(const std::function<void(TKivButtonArgs& args)>& edit);

    std::wstring Caption() const;
    void SetCaption(const std::wstring& caption);
    bool Enabled() const;
    void SetEnabled(bool enabled);
    bool Visible() const;
    void SetVisible(bool visible);
    bool TabStop() const;

    // The letter Alt+letter presses it with (upper case; 0 none): the caption's own "&" letter, else
    // the Mnemonic it was made with when its caption holds that letter.
    wchar_t Mnemonic() const;
    // The caption as drawn: with the mnemonic marked ("&").
    std::wstring DisplayCaption() const;

    bool Cancel() const { return FArgs.Cancel; }
    // True when Enter clicks this button now: it has the focus, or no skinned button has it and
    // this is the default button.
    bool ActiveDefault() const;
    int ModalResult() const { return FArgs.ModalResult; }
    void SetModalResult(int value) { FArgs.ModalResult = value; }
    const std::wstring& URL() const { return FArgs.URL; }
    void SetURL(const std::wstring& url) { FArgs.URL = url; }
    const TKivFont& Font() const { return FArgs.Fonts.Normal; }
    void SetEnableMultiFonts(bool value);
    bool DrawBorder() const { return FArgs.DrawBorder; }
    bool DrawFocused() const { return FArgs.DrawFocused; }
    bool WordWrap() const { return (FTextFormat & DT_SINGLELINE) == 0; }
    UINT TextFormat() const { return FTextFormat; }

    // State.
    bool Hover() const { return FHover; }
    bool Down() const { return FDown; }
    TKivState State() const { return KivStateOf(Enabled(), FDown, FHover); }
    const TOffscreenBuffer& OffscreenBuffer() const { return FBuffer; }

    // The picture and font of the current state.
    const TKivPicture& CurrentPicture() const;
    const TKivFont& CurrentFont() const;
    // Where and how the caption is drawn; dc carries the caption's font.
    TKivTextLayout LayoutText(HDC dc, const std::wstring& text) const;

    // Clicks the button as the mouse or keyboard does.
    void Click();

    // A push button to a screen reader, named by its caption (or its hint when it has none).
    TKivAccessibleView AccessibleView() override;

    std::function<void()> OnClick;
    std::function<void()> OnMouseEnter;
    std::function<void()> OnMouseExit;
    std::function<void()> OnEnter;  // got the focus
    std::function<void()> OnExit;   // lost the focus

protected:
    virtual const wchar_t* ClassName() const { return L"TKivCustomButton"; }
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
    void OnDpiChanged(int oldDpi) override;
    // Draws the picture (of the layout) at the button's scale.
    virtual void PaintPicture(HDC dc, const TKivPicture& picture);
    virtual void PaintText(HDC dc, const std::wstring& text);
    virtual void PaintFocus(HDC dc) {}
    virtual void PaintBorder(HDC dc) {}
    // Hooks for subclasses: raw mouse and key messages before the button's own handling.
    virtual void MouseDownHook(const TKivMouseEvent& e) {}
    virtual void MouseUpHook(const TKivMouseEvent& e) {}
    virtual void MouseMoveHook(POINT pos, WPARAM keys) {}
    virtual bool KeyHook(UINT msg, WPARAM key) { return false; }
    void Render(HDC dc);
    // The high-contrast look: the system's button colours, no pictures.
    void RenderHighContrast(HDC dc);
    void Repaint();
    void ApplyAutoSize();
    bool Focused() const { return Handle() && ::GetFocus() == Handle(); }

private:
    void SetState(bool hover, bool down);
    void CancelPress();

    TKivButtonArgs FArgs;
    // The DrawText flags, from the trimming and word wrap chosen so far.
    UINT FTextFormat = kKivDefaultTextFormat;

    bool FHover = false, FDown = false;
    bool FMouseTracking = false;  // left button went down on the button and is held
    bool FKeyPressed = false;     // Space went down on the button and is held
    bool FMouseInside = false;
    bool FDestroying = false;
    TOffscreenBuffer FBuffer;
    HWND FTooltip = nullptr;
};

// Shows `window` modally over its owner (disabled meanwhile) and runs messages, with the skinned
// buttons' window-level keys, until its modal result is set or it is destroyed (then the result is
// IDCANCEL). Hides the window at the end and returns the result.
int ShowModal(HWND window);

// Window-level keys of the skinned buttons: Enter for the default button, Esc for the cancel
// button, Alt+letter (and a letter the focused control does not take) for a caption's accelerator.
// A message loop calls it for every message before translating it; true means the key was used.
bool HandleKivDialogKey(const MSG& msg);

// The accelerator of a caption: the character after a single '&', in upper case, or 0.
wchar_t AcceleratorOf(const std::wstring& caption);
// The caption with `mnemonic` marked: an "&" before its first occurrence (in any case), unless the
// caption marks a letter of its own or lacks that one.
std::wstring WithMnemonic(const std::wstring& caption, wchar_t mnemonic);


}  // namespace sk
