// The program's modal windows (About box, all-hosts window, add dialog): borderless, centred over
// their owner, skinned and filled by their own FormCreate.
#pragma once

#include <windows.h>

#include <string>

#include "app/Window.h"

namespace sk {

class TSkinnedDialog : public TWindow {
public:
    // Creates the window over its owner without showing it.
    virtual bool Create(HWND owner) = 0;
    // Creates the window if needed and shows it modally; returns the modal result.
    int ShowModal(HWND owner);

protected:
    // What every Create does: the window centred over owner with the body font, then FormCreate.
    bool CreateCentered(HWND owner, const wchar_t* className, const std::wstring& title, int width, int height);
    virtual void FormCreate() = 0;
};

}  // namespace sk
