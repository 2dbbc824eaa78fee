// The skinned push button: four state pictures, a caption over them in one of four fonts, a
// transparent background, and the behaviour of a real push button (mouse, Space and Enter, default
// and cancel buttons, accelerators, modal result, a link to open). Its caption is its window text.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "base/Window.h"
#include "controls/KWClasses.h"
#include "controls/KWPicture.h"

namespace sk {

struct TKivButtonArgs {
    HWND Parent = nullptr;
    int Left = 0, Top = 0, Width = 75, Height = 26;
    int Id = 0;
    std::wstring Caption;
    TKivPicture PictureNormal, PictureMouseHover, PictureMouseDown, PictureDisabled;
    TKivFont Font = DefaultKivFont();
    bool EnableMultiFonts = false;
    TKivFont FontMouseHover = DefaultKivFont(), FontMouseDown = DefaultKivFont(), FontDisabled = DefaultKivFont();
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

class TKivCustomButton : public TWindow {
public:
    TKivCustomButton() = default;
    ~TKivCustomButton() override;

    // Makes the button as a child window of args.Parent.
    bool Create(const TKivButtonArgs& args);

    std::wstring Caption() const;
    void SetCaption(const std::wstring& caption);
    bool Enabled() const;
    void SetEnabled(bool enabled);
    bool Visible() const;
    void SetVisible(bool visible);

    bool Default() const { return FDefault; }
    void SetDefault(bool value) { FDefault = value; }
    bool Cancel() const { return FCancel; }
    void SetCancel(bool value) { FCancel = value; }
    // True when Enter clicks this button now: it has the focus, or no skinned button has it and
    // this is the default button.
    bool ActiveDefault() const;
    int ModalResult() const { return FModalResult; }
    void SetModalResult(int value) { FModalResult = value; }
    const std::wstring& URL() const { return FURL; }
    void SetURL(const std::wstring& url) { FURL = url; }

    bool Transparent() const { return FTransparent; }
    void SetTransparent(bool value);
    COLORREF Color() const { return FColor; }
    void SetColor(COLORREF value);
    bool Stretch() const { return FStretch; }
    void SetStretch(bool value);
    bool DrawBorder() const { return FDrawBorder; }
    void SetDrawBorder(bool value);
    bool DrawFocused() const { return FDrawFocused; }
    void SetDrawFocused(bool value);
    bool TabStop() const;
    void SetTabStop(bool value);

    const TKivFont& Font() const { return FFont; }
    void SetFont(const TKivFont& font);
    bool EnableMultiFonts() const { return FEnableMultiFonts; }
    void SetEnableMultiFonts(bool value);
    const TKivFont& FontMouseHover() const { return FFontMouseHover; }
    void SetFontMouseHover(const TKivFont& font);
    const TKivFont& FontMouseDown() const { return FFontMouseDown; }
    void SetFontMouseDown(const TKivFont& font);
    const TKivFont& FontDisabled() const { return FFontDisabled; }
    void SetFontDisabled(const TKivFont& font);

    const TKivPicture& PictureNormal() const { return FPictureNormal; }
    void SetPictureNormal(const TKivPicture& p);
    const TKivPicture& PictureMouseHover() const { return FPictureMouseHover; }
    void SetPictureMouseHover(const TKivPicture& p);
    const TKivPicture& PictureMouseDown() const { return FPictureMouseDown; }
    void SetPictureMouseDown(const TKivPicture& p);
    const TKivPicture& PictureDisabled() const { return FPictureDisabled; }
    void SetPictureDisabled(const TKivPicture& p);
    // The four state pictures at once (empty ones fall back to the normal picture).
    void SetPictures(const TKivPicture& normal, const TKivPicture& hover, const TKivPicture& down,
                     const TKivPicture& disabled);

    TKivAlignment PictureAlignment() const { return FPictureAlignment; }
    void SetPictureAlignment(TKivAlignment value);
    int PictureX() const { return FPictureX; }
    void SetPictureX(int value);
    int PictureY() const { return FPictureY; }
    void SetPictureY(int value);
    int PictureMargins() const { return FPictureMargins; }
    void SetPictureMargins(int value);
    TKivAlignment TextAlignment() const { return FTextAlignment; }
    void SetTextAlignment(TKivAlignment value);
    TKivTextTrimmingType TextTrimming() const { return FTextTrimming; }
    void SetTextTrimming(TKivTextTrimmingType value);
    bool WordWrap() const { return (FTextFormat & DT_SINGLELINE) == 0; }
    void SetWordWrap(bool value);
    int TextX() const { return FTextX; }
    void SetTextX(int value);
    int TextY() const { return FTextY; }
    void SetTextY(int value);
    int TextMargins() const { return FTextMargins; }
    void SetTextMargins(int value);
    UINT TextFormat() const { return FTextFormat; }
    bool AutoSize() const { return FAutoSize; }
    void SetAutoSize(bool value);
    int AutoSizeMaxWidth() const { return FAutoSizeMaxWidth; }
    void SetAutoSizeMaxWidth(int value);
    int AutoSizeMaxHeight() const { return FAutoSizeMaxHeight; }
    void SetAutoSizeMaxHeight(int value);

    // State.
    bool Hover() const { return FHover; }
    bool Down() const { return FDown; }
    const TOffscreenBuffer& OffscreenBuffer() const { return FBuffer; }

    // The picture and font of the current state.
    const TKivPicture& CurrentPicture() const;
    const TKivFont& CurrentFont() const;
    // Where and how the caption is drawn; dc carries the caption's font.
    TKivTextLayout LayoutText(HDC dc, const std::wstring& text) const;

    // Clicks the button as the mouse or keyboard does.
    void Click();

    std::function<void()> OnClick;
    std::function<void()> OnMouseEnter;
    std::function<void()> OnMouseExit;
    std::function<void()> OnEnter;  // got the focus
    std::function<void()> OnExit;   // lost the focus

protected:
    virtual const wchar_t* ClassName() const { return L"TKivCustomButton"; }
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
    virtual void PaintPicture(HDC dc, const TKivPicture& picture);
    virtual void PaintText(HDC dc, const std::wstring& text);
    virtual void PaintFocus(HDC dc) {}
    virtual void PaintBorder(HDC dc) {}
    // Hooks for subclasses: raw mouse and key messages before the button's own handling.
    virtual void MouseDownHook(const TKivMouseEvent& e) {}
    virtual void MouseUpHook(const TKivMouseEvent& e) {}
    virtual void MouseMoveHook(POINT pos, WPARAM keys) {}
    virtual bool KeyHook(UINT msg, WPARAM key) { return false; }
    virtual void AfterCreate(const TKivButtonArgs& args) {}
    void Render(HDC dc);
    void Repaint();
    void ApplyAutoSize();
    bool Focused() const { return Handle() && ::GetFocus() == Handle(); }
    void SetMargins(int picture, int text);

private:
    void SetState(bool hover, bool down);
    void CancelPress();

    TKivPicture FPictureNormal, FPictureMouseHover, FPictureMouseDown, FPictureDisabled;
    TKivFont FFont = DefaultKivFont(), FFontMouseHover = DefaultKivFont(), FFontMouseDown = DefaultKivFont(),
             FFontDisabled = DefaultKivFont();
    bool FEnableMultiFonts = false;
    bool FDefault = false, FCancel = false;
    int FModalResult = 0;
    std::wstring FURL;
    bool FTransparent = true;
    COLORREF FColor = 0;
    bool FStretch = false, FDrawBorder = false, FDrawFocused = false;
    TKivAlignment FPictureAlignment = kalCenter;
    int FPictureX = 0, FPictureY = 0, FPictureMargins = 0;
    TKivAlignment FTextAlignment = kalCenter;
    TKivTextTrimmingType FTextTrimming = kttEllipsisWord;
    UINT FTextFormat = kKivDefaultTextFormat;
    int FTextX = 0, FTextY = 0, FTextMargins = 0;
    bool FAutoSize = false;
    int FAutoSizeMaxWidth = 0, FAutoSizeMaxHeight = 0;

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

}  // namespace sk
