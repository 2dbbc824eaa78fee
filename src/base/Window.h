// The base of every window of the program: registers its class once, binds `this` at WM_NCCREATE,
// owns its HWND and hands every message to HandleMessage.
#pragma once

#include <windows.h>

#include <string>

namespace sk {

class TWindow {
public:
    TWindow() = default;
    virtual ~TWindow();
    TWindow(const TWindow&) = delete;
    TWindow& operator=(const TWindow&) = delete;

    HWND Handle() const { return FHandle; }

    // Creates the window with the class of this kind of window (registered on first use).
    HWND CreateWnd(const wchar_t* className, DWORD exStyle, DWORD style, const std::wstring& text, int x, int y,
                   int w, int h, HWND parent, HMENU idOrMenu = nullptr, UINT classStyle = CS_DBLCLKS,
                   HCURSOR cursor = nullptr);

    // The window whose handle is wnd, when it is one of ours.
    static TWindow* FromHandle(HWND wnd);

protected:
    virtual LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT DefaultMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    // Called once the HWND is gone; the object stays alive.
    virtual void OnDestroyed() {}

private:
    static LRESULT CALLBACK StaticWndProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);
    HWND FHandle = nullptr;
};

HINSTANCE AppInstance();

// Whether wnd and each window it lies in are visible, as IsWindowVisible says, but read from the
// windows' styles, which Wine keeps in the process (IsWindowVisible asks its server). A window
// that is not showing needs no invalidating: it is painted whole when it comes on screen.
bool IsShowing(HWND wnd);

}  // namespace sk
