// Window-less controls (images, labels, the title bar): they have no HWND of their own; the window
// they sit on paints them over its own surface, in the order they were placed (later ones on top,
// all below the window's child windows), and hands them its mouse messages. Any window can carry
// them: a skinned panel paints them into its off-screen buffer; another window gets them painted
// after its own painting.
//
// Their places are in the 96-dpi layout of the window they sit on; the window's host draws and hits
// them at its display scale (PixelRect), and tells them when the scale changes. A control that Tab
// reaches (TabStop) takes the keyboard focus through its window, which draws the focus rectangle
// and hands it Enter and Space; screen readers see the controls through the window's accessible
// object (KWAccessible.h), each with the role, name and default action the control gives.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/Window.h"
#include "controls/KWClasses.h"

namespace sk {

class TKivGraphicHost;

class TKivGraphicControl {
public:
    TKivGraphicControl() = default;
    virtual ~TKivGraphicControl();
    TKivGraphicControl(const TKivGraphicControl&) = delete;
    TKivGraphicControl& operator=(const TKivGraphicControl&) = delete;

    // Places the control on `parent` (any window) at the given bounds of its layout, above the
    // window-less controls placed there before. Placing it again moves it to another window.
    void Place(HWND parent, int left, int top, int width, int height);
    HWND Parent() const { return FParent; }

    // The place in the window's layout (96 dpi).
    int Left() const { return FBounds.left; }
    int Top() const { return FBounds.top; }
    int Width() const { return FBounds.right - FBounds.left; }
    int Height() const { return FBounds.bottom - FBounds.top; }
    RECT BoundsRect() const { return FBounds; }
    void SetBounds(int left, int top, int width, int height);
    // The display scale of the window it sits on (100 % when not placed), and its place there in
    // pixels (each edge scaled).
    TDisplayScale Scale() const;
    RECT PixelRect() const { return Scale().Scale(FBounds); }
    int PixelWidth() const;
    int PixelHeight() const;

    bool Visible() const { return FVisible; }
    void SetVisible(bool visible);
    bool Enabled() const { return FEnabled; }
    void SetEnabled(bool enabled);
    // The pointer shape over the control (nullptr: the window's own).
    HCURSOR Cursor() const { return FCursor; }
    void SetCursor(HCURSOR cursor) { FCursor = cursor; }
    // A tooltip shown when the pointer rests on the control (empty: none).
    const std::wstring& Hint() const { return FHint; }
    void SetHint(const std::wstring& hint);

    // Whether Tab reaches the control. It then has the keyboard focus while its window has it and
    // the window's host says it is the one (Tab, a click, SetFocus).
    bool TabStop() const { return FTabStop; }
    void SetTabStop(bool value) { FTabStop = value; }
    bool Focused() const;
    bool SetFocus();

    // How a screen reader sees the control (Active Accessibility): its role (a ROLE_SYSTEM_ value;
    // 0 leaves it out), name, value and default action (empty: none), which accDoDefaultAction
    // performs.
    virtual long AccessibleRole() const { return 0; }
    virtual std::wstring AccessibleName() const { return FHint; }
    virtual std::wstring AccessibleValue() const { return {}; }
    virtual std::wstring AccessibleDefaultAction() const { return {}; }
    virtual void AccessibleDoDefault() { PerformClick(); }

    // Repaints the control's area of its window (and the child windows over it) at the next paint.
    void Invalidate() const;
    // Draws the control into dc, whose origin is the control's top-left corner.
    void PaintTo(HDC dc) { Paint(dc); }

    std::function<void()> OnClick;
    std::function<void(const TKivMouseEvent&)> OnMouseDown;
    std::function<void(const TKivMouseEvent&)> OnMouseUp;
    std::function<void(POINT pos, WPARAM keys)> OnMouseMove;
    std::function<void()> OnMouseEnter;
    std::function<void()> OnMouseLeave;

    // Performs a click as the mouse does (OnClick and the control's own click behaviour).
    void PerformClick() { Click(); }

protected:
    virtual void Paint(HDC dc) = 0;
    virtual void MouseDown(const TKivMouseEvent& e);
    virtual void MouseMove(POINT pos, WPARAM keys);
    virtual void MouseUp(const TKivMouseEvent& e);
    virtual void MouseEnter();
    virtual void MouseLeave();
    virtual void Click();
    // Called after the bounds changed (not for a move only) and after the control was placed.
    virtual void Resized() {}
    virtual void Placed() {}
    // Called when the window it sits on changed its display scale (fonts and pictures change size).
    virtual void ScaleChanged() {}
    // The client size of the window the control sits on, in its layout (0 x 0 without one).
    SIZE ParentClientSize() const;
    // Whether the pointer went down with the left button on this control and is still held.
    bool LeftPressed() const { return FLeftPressed; }

private:
    friend class TKivGraphicHost;
    void Detach();

    HWND FParent = nullptr;
    TKivGraphicHost* FHost = nullptr;  // not owned: it belongs to the parent window
    RECT FBounds{};
    bool FVisible = true;
    bool FEnabled = true;
    bool FLeftPressed = false;
    bool FTabStop = false;
    HCURSOR FCursor = nullptr;
    std::wstring FHint;
};

// Shows a mouse message of wnd to its tooltip window, which then knows when to show a hint. Used
// instead of letting the tooltip subclass the window (TTF_SUBCLASS).
void RelayToTooltip(HWND tooltip, HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);

// The painting and mouse routing of the window-less controls on one window.
class TKivGraphicHost {
public:
    // The host of `wnd`; when it has none yet, one is made that attaches to the window (a TWindow
    // in front of the window's own procedure), or none when the window cannot be attached to.
    static TKivGraphicHost* For(HWND wnd);
    // The host of `wnd` when it has one.
    static TKivGraphicHost* Find(HWND wnd);
    // For windows that paint their controls themselves: they call PaintControls and HandleMessage
    // from their own message handler, and DestroyNative at WM_NCDESTROY; the host lives until then.
    static TKivGraphicHost* CreateNative(HWND wnd);
    static void DestroyNative(HWND wnd);

    HWND Window() const { return FWnd; }
    // Paints every visible control that meets dc's clip region, and the focus rectangle; dc uses
    // the window's client coordinates.
    void PaintControls(HDC dc);
    // Routes mouse, cursor, focus, key and accessibility messages to the controls; true when one of
    // them used the message.
    bool HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result);
    bool HasControls() const { return !FControls.empty(); }
    // The controls, bottom first.
    const std::vector<TKivGraphicControl*>& Controls() const { return FControls; }

    // The window's display scale, and a new one for it and its controls.
    TDisplayScale Scale() const { return FScale; }
    void SetDpi(int dpi);

    // The control that has the focus within the window (kept while the window itself lacks it).
    TKivGraphicControl* FocusedControl() const { return FFocused; }
    bool WindowHasFocus() const { return FHasFocus; }
    // Gives c the focus, and the window the keyboard focus; false when c cannot take it.
    bool FocusControl(TKivGraphicControl* c);

private:
    friend class TKivGraphicControl;
    friend class TKivForeignHost;
    explicit TKivGraphicHost(HWND wnd);
    ~TKivGraphicHost();
    void Add(TKivGraphicControl* c);
    void Remove(TKivGraphicControl* c);
    void UpdateTool(TKivGraphicControl* c);
    bool Contains(const TKivGraphicControl* c) const;
    bool Route(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result);
    bool RouteKeys(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result);
    void InvalidateFocus() const;
    TKivGraphicControl* HitTest(POINT pt) const;
    void SetHover(TKivGraphicControl* c);
    void Release();  // deletes itself, at once or when the message being handled returns

    HWND FWnd;
    std::unique_ptr<TWindow> FForeign;  // attached to a window that does not host natively
    std::vector<TKivGraphicControl*> FControls;  // not owned, bottom first
    TKivGraphicControl* FCapture = nullptr;
    TKivGraphicControl* FHover = nullptr;
    TKivGraphicControl* FFocused = nullptr;
    TDisplayScale FScale;
    bool FHasFocus = false;
    bool FSpaceDown = false;
    bool FTrackingLeave = false;
    HWND FTooltip = nullptr;
    int FDepth = 0;
    bool FDeletePending = false;
};

}  // namespace sk
