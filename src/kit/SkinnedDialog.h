// The program's modal windows (About box, all-hosts window, add dialog): borderless, centred over
// their owner, skinned and filled by their own FormCreate.
#pragma once

#include <windows.h>

#include <string>

#include "base/Window.h"

namespace sk {

class TSkinnedDialog : public TWindow {
public:
    // Creates the window over its owner without showing it.
    virtual bool Create(HWND owner) = 0;
    // Creates the window if needed and shows it modally; returns the modal result.
    int ShowModal(HWND owner);

protected:
    // What every Create does: the window, a client area of width x height of the 96-dpi layout at
    // the owner's scale, centred over owner with the body font, then FormCreate.
    bool CreateCentered(HWND owner, const wchar_t* className, const std::wstring& title, int width, int height);
    virtual void FormCreate() = 0;

    // For dialogs that keep the keyboard focus where the user left it when they lose and regain
    // activation: HandleMessage hands WM_ACTIVATE here; true when it was handled (result set).
    bool KeepFocusOnActivate(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result);
    // Where the focus goes on activation when there is no place to return to.
    virtual void FocusDefault() {}

private:
    HWND FLastFocus = nullptr;
};

}  // namespace sk
