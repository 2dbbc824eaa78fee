// The picture panel every skinned window is made of, and the transparent painting it shares with
// the buttons: a transparent control first copies what lies beneath it.
#pragma once

#include <windows.h>

#include <functional>

#include "base/Window.h"
#include "controls/KWClasses.h"
#include "controls/KWPicture.h"

namespace sk {

class TKivGraphicHost;

// Draws into dc, in the control's own coordinates, what would be visible at the control's place if
// the control were absent: its parent's painting and the child windows below it.
void PaintParentBackground(HDC dc, HWND control);
// Draws one window and, recursively, its child windows into dc (whose origin is the window's
// parent's client origin) at their places.
void PaintControlInto(HDC dc, HWND control);
// Everything `window` shows (its non-client area, client area and child windows) as a picture.
TKivPicture RenderWindow(HWND window);

// What a panel is made with. It keeps these as its look and behaviour; its place and visibility are
// its window's once it is made.
struct TKivImagePanelArgs {
    HWND Parent = nullptr;
    int Left = 0, Top = 0, Width = 0, Height = 0;
    int Id = 0;
    TKivPicture Picture;
    TKivAlignment PictureAlignment = kalTopLeft;
    int PictureX = 0, PictureY = 0;
    int PictureMargins = 0;
    bool Stretch = false;
    bool Transparent = true;
    bool MovingHandler = true;
    bool AutoSize = false;
    COLORREF Color = ::GetSysColor(COLOR_BTNFACE);
    int BorderWidth = 0;
    bool Visible = true;
};

class TKivImagePanel : public TWindow {
public:
    static constexpr const wchar_t* kClassName = L"TKivImagePanel";

    TKivImagePanel() = default;
    ~TKivImagePanel() override;

    // Makes the panel as a child window of args.Parent.
    bool Create(const TKivImagePanelArgs& args);

    // The look and behaviour the panel has now (its place is the window's).
    const TKivImagePanelArgs& Args() const { return FArgs; }
    // Changes them and repaints.
    void Change(const std::function<void(TKivImagePanelArgs& args)>& edit);

    const TKivPicture& Picture() const { return FArgs.Picture; }
    void SetPicture(const TKivPicture& picture);
    void SetPictureMargins(int value);  // takes effect at the next paint
    void SetStretch(bool value);
    void SetMovingHandler(bool value) { FArgs.MovingHandler = value; }
    // Sizes the panel to its picture now (not when the picture changes later).
    void SetAutoSize(bool value);
    // How the panel is aligned in its parent, for AutoSize: alTop/alBottom keep the width,
    // alLeft/alRight the height, alClient both.
    enum TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };
    TAlign Align() const { return FAlign; }
    void SetAlign(TAlign value) { FAlign = value; }

    // The off-screen buffer, sized to the client area (empty before the first paint).
    const TOffscreenBuffer& OffscreenBuffer() const { return FBuffer; }

    std::function<void(const TKivMouseEvent&)> OnMouseDown;
    std::function<void()> OnClick;

protected:
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
    void OnDpiChanged(int oldDpi) override;
    // Draws the picture (of the layout) at the panel's scale.
    virtual void PaintPicture(HDC dc, const TKivPicture& picture);
    virtual void PaintHook(HDC dc) {}
    virtual void PaintBorder(HDC dc) {}
    // The whole panel, background to window-less controls, drawn into dc (client coordinates).
    void Render(HDC dc);
    void Repaint();

private:
    TKivImagePanelArgs FArgs;
    TAlign FAlign = alNone;
    TOffscreenBuffer FBuffer;
    TKivGraphicHost* FHost = nullptr;  // of the window-less controls on the panel; it frees itself
    bool FDestroying = false;
    bool FLeftDown = false;
};

}  // namespace sk
