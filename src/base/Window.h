// The base of every window of the program that has an object: the one way a C++ object is bound to
// a window. It owns the window's HWND and hands every message of the window to HandleMessage.
//
// Two ways to get a window:
//  - CreateWnd: a window of our own class (registered on first use); `this` is bound at
//    WM_NCCREATE and kept in the window's extra bytes.
//  - Attach: a window made elsewhere, such as a native control or a window that is not ours; its
//    window procedure is replaced once by ours, which keeps `this` in the window's user data
//    (GWLP_USERDATA, which belongs to whoever made the window) and passes on what HandleMessage
//    leaves to DefaultMessage to the window's own procedure.
// Both cost a plain memory read per message. Window properties and SetWindowSubclass cost a round
// trip to the window server per message under Wine, and are not used.
//
// A TWindow reflects: the notifications a native child control sends it (WM_COMMAND, WM_NOTIFY,
// WM_CTLCOLORxxx) go first to the child's TNativeControl, which turns them into typed callbacks.
// Its owner can also run functions on its timers and on messages it posts to it.
//
// Display scale: a window has a DPI, and the windows made with CreateChild and CreateTopLevel are
// described in the 96-dpi layout (see DisplayScale.h): their places and sizes are multiplied by the
// DPI's scale when they are made, and again when the DPI changes. A top-level window made so takes
// WM_DPICHANGED itself (it moves to the suggested place at its own scaled size) and then hands
// every window inside it WM_DPICHANGED_AFTERPARENT, parents first; each window of ours then takes
// its parent's DPI, places itself anew from its layout and runs OnDpiChanged, and its native
// controls do the same (TNativeControl::DpiChanged).
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "base/DisplayScale.h"

namespace sk {

class TNativeControl;

class TWindow {
public:
    TWindow() = default;
    // Destroys the window, an attached one too.
    virtual ~TWindow();
    TWindow(const TWindow&) = delete;
    TWindow& operator=(const TWindow&) = delete;

    HWND Handle() const { return FHandle; }

    // The DPI the window lays itself out at, and its display scale.
    int Dpi() const { return FDpi; }
    TDisplayScale Scale() const { return TDisplayScale::FromDpi(FDpi); }

    // Creates a child window of parent at `layout`, a rectangle of parent's 96-dpi layout, scaled with
    // parent's DPI (the class of this kind of window is registered on first use).
    HWND CreateChild(const wchar_t* className, DWORD exStyle, DWORD style, const std::wstring& text, const RECT& layout,
                     HWND parent, int id = 0, UINT classStyle = CS_DBLCLKS, HCURSOR cursor = nullptr);
    // Creates a top-level window whose client area is `layoutClient` of the 96-dpi layout, at the DPI of
    // its owner (the system's without one, or of the monitor it lands on). `place` gives its top-left
    // corner in screen pixels from its size in pixels.
    HWND CreateTopLevel(const wchar_t* className, DWORD exStyle, DWORD style, const std::wstring& text,
                        SIZE layoutClient, HWND owner, const std::function<POINT(SIZE windowPixels)>& place,
                        UINT classStyle = CS_DBLCLKS, HCURSOR cursor = nullptr);
    // The window's place in the layout: for a child, in its parent's layout coordinates; for a
    // top-level window, 0, 0 and its client size.
    const RECT& LayoutRect() const { return FLayout; }
    // Moves and sizes a child window made with CreateChild, in its parent's layout.
    void SetLayoutRect(const RECT& layout);
    // A length of the layout in the window's pixels, and a rectangle (each edge scaled).
    int ToPixels(int layoutLength) const { return Scale().Scale(layoutLength); }
    RECT ToPixels(const RECT& layout) const { return Scale().Scale(layout); }

    // Creates the window with the class of this kind of window (registered on first use), at a place
    // in pixels.
    HWND CreateWnd(const wchar_t* className, DWORD exStyle, DWORD style, const std::wstring& text, int x, int y,
                   int w, int h, HWND parent, HMENU idOrMenu = nullptr, UINT classStyle = CS_DBLCLKS,
                   HCURSOR cursor = nullptr);
    // Binds this object to wnd, a window of this thread made elsewhere (or one of our own class,
    // which then has two objects: this one hears its messages first). Fails when this object has a
    // window already, or when the window's user data is taken (an attached window's is).
    bool Attach(HWND wnd);
    // Lets go of an attached window, which lives on with its own procedure again. When something
    // else has replaced the window's procedure after us, ours stays in its chain and passes every
    // message to the window class's procedure.
    void Detach();

    // The window's object when it has one of ours.
    static TWindow* FromHandle(HWND wnd);
    // Whether wnd is a window of one of our classes (made with CreateWnd, not attached to).
    static bool IsOwnClass(HWND wnd);

    // The result a modal window ends with (0 while it runs), kept in the object: the modal loop
    // reads it after every message.
    int DialogResult() const { return FDialogResult; }
    void SetDialogResult(int result) { FDialogResult = result; }

    // A timer of the window whose ticks run onTick (starting an id again replaces it), and its end.
    void StartTimer(UINT_PTR id, UINT intervalMs, std::function<void()> onTick);
    void StopTimer(UINT_PTR id);
    // Runs handler for a message posted or sent to the window (WM_APP and above), before the window's
    // own handling: how the owner of a window, such as a tab of its panel, hears its own messages.
    void OnMessage(UINT msg, std::function<LRESULT(WPARAM wParam, LPARAM lParam)> handler);

protected:
    virtual LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    // What the window does without us: DefWindowProc, or an attached window's own procedure.
    LRESULT DefaultMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    // Called once the HWND is gone; the object stays alive (and may delete itself here: nothing
    // touches it afterwards).
    virtual void OnDestroyed() {}
    // The window has taken a new DPI and been placed anew; what it draws at its scale (fonts,
    // pictures, its own children's layout) follows here. The windows inside it follow afterwards.
    virtual void OnDpiChanged(int /*oldDpi*/) {}
    // For a window made elsewhere and attached to: the place in its parent's layout it was made at
    // (at ToPixels(layout)), from which it is placed anew when the DPI changes.
    void AdoptLayout(const RECT& layout) {
        FLayout = layout;
        FLaidOut = true;
    }
    // Gives a top-level window made with CreateTopLevel a new DPI, as WM_DPICHANGED does: its client
    // area is scaled anew at the given top-left corner (screen pixels), then every window inside it
    // follows.
    void ChangeDpi(int dpi, POINT topLeft);

private:
    static LRESULT CALLBACK StaticWndProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK AttachedWndProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);
    // Every message of a bound window, in either way.
    LRESULT Dispatch(UINT msg, WPARAM wParam, LPARAM lParam);
    // A child's notification, a timer or a message with a handler: true when it was answered.
    bool Reflect(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result);
    // Unbinds the object from its window (which stays), and its native children from it.
    void Unbind();
    // The DPI handling of Dispatch: true when the message was answered.
    bool DpiMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result);
    // Takes the DPI of its parent (WM_DPICHANGED_AFTERPARENT).
    void FollowParentDpi();
    void TakeDpi(int dpi);
    SIZE WindowSizeAt(int dpi) const;
    // The native children hear nothing more: their windows are gone, or going with this one.
    void ReleaseControls();

    friend class TNativeControl;
    struct TTimer {
        UINT_PTR Id;
        std::function<void()> OnTick;
    };

    HWND FHandle = nullptr;
    WNDPROC FWindowProc = nullptr;         // an attached window's own procedure
    int FDpi = 96;
    RECT FLayout{};
    bool FLaidOut = false;  // made with CreateChild or CreateTopLevel
    bool FTopLevel = false;
    bool FCreating = false;  // inside CreateTopLevel
    DWORD FStyle = 0, FExStyle = 0;
    int FDialogResult = 0;
    std::vector<TNativeControl*> FControls;  // native children that hear their notifications (not owned)
    std::vector<TTimer> FTimers;
    std::vector<std::pair<UINT, std::function<LRESULT(WPARAM, LPARAM)>>> FMessageHandlers;
};

// A native control (list view, list box, check box...) that a TWindow carries as a child. It keeps
// its own window procedure, so its messages cost nothing extra, and binds no object to its window:
// the notifications it sends its parent come back to it from the parent, which finds it in a short
// table of its native children. Derived classes turn them into typed callbacks.
class TNativeControl {
public:
    TNativeControl() = default;
    // The control's window goes with it.
    virtual ~TNativeControl();
    TNativeControl(const TNativeControl&) = delete;
    TNativeControl& operator=(const TNativeControl&) = delete;

    HWND Handle() const { return FHandle; }
    // For the platform's functions and macros, the control stands for its window.
    operator HWND() const { return FHandle; }

    // The DPI the control lays out at (its parent window's), its place in the parent's 96-dpi layout,
    // and a move in that layout.
    int Dpi() const { return FDpi; }
    TDisplayScale Scale() const { return TDisplayScale::FromDpi(FDpi); }
    const RECT& LayoutRect() const { return FLayout; }
    void SetLayoutRect(const RECT& layout);
    // The font the control was given (a font of the layout, see Fonts.h); it shows the same font at
    // its DPI.
    void SetLayoutFont(HFONT font);

protected:
    // Makes the control's window, a child of parent, at x, y, w, h of parent's 96-dpi layout, scaled
    // with parent's DPI; `font` is shown at that DPI. Its notifications arrive when parent is a
    // window of ours (TWindow::FromHandle).
    bool CreateControl(const wchar_t* className, DWORD exStyle, DWORD style, const std::wstring& text, int x, int y,
                       int w, int h, HWND parent, int id, HFONT font);
    // A notification the control sent its parent: true when answered (result holds the answer);
    // false leaves it to the parent.
    virtual bool Notified(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) = 0;
    // The parent took a new DPI: the control is placed anew and gets its font at the new DPI;
    // derived controls scale what else they have (column widths...) and call this.
    virtual void DpiChanged(int oldDpi, int newDpi);

private:
    friend class TWindow;
    HWND FHandle = nullptr;
    TWindow* FParent = nullptr;  // not owned: hands the notifications over
    int FDpi = 96;
    RECT FLayout{};
    HFONT FFont = nullptr;  // of the layout; not owned
};

HINSTANCE AppInstance();

// How the windows of our classes answer WM_GETOBJECT (a screen reader asking for their accessible
// object): the controls layer hands in its answer; false leaves the request to the system.
using TAccessibleObjectAnswer = bool (*)(HWND wnd, WPARAM wParam, LPARAM lParam, LRESULT& result);
void SetAccessibleObjectAnswer(TAccessibleObjectAnswer answer);

// Whether wnd and each window it lies in are visible, as IsWindowVisible says, but read from the
// windows' styles, which Wine keeps in the process (IsWindowVisible asks its server). A window
// that is not showing needs no invalidating: it is painted whole when it comes on screen.
bool IsShowing(HWND wnd);

// The DPI a window lays out at: that of the nearest window of ours it is or lies in, else the
// system's for the window.
int WindowDpi(HWND wnd);
// Where a window made in the layout at oldDpi goes at newDpi: its layout rectangle scaled, or, when
// something moved it since, its present place taken back to the layout first (which then changes).
RECT RescaledPlace(HWND wnd, RECT& layout, int oldDpi, int newDpi);

}  // namespace sk
