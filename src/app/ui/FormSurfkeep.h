// The main window: borderless, 780 x 585, centred, with the four tabs.
#pragma once

#include "app/Window.h"

namespace sk {

class TfrmSurfkeep : public TWindow {
public:
    static constexpr int kClientWidth = 780;
    static constexpr int kClientHeight = 585;
    static constexpr const wchar_t* kClassName = L"TfrmSurfkeep";

    TfrmSurfkeep() = default;
    ~TfrmSurfkeep() override = default;

    // Creates the window (running FormCreate) without showing it.
    bool Create();
    // Shows the window the first time (running FormShow).
    void Show(int showCommand = SW_SHOWNORMAL);

protected:
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    void FormCreate();
    void FormShow();
    void FormClose();
    void Paint(HDC dc);

    bool FShown = false;
};

}  // namespace sk
