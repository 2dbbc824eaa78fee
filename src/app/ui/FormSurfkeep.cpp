#include "app/ui/FormSurfkeep.h"

#include <windowsx.h>

#include "app/Handles.h"
#include "app/StringTable.h"

namespace sk {

bool TfrmSurfkeep::Create() {
    // Client area 780 x 585 with no frame, centred on the work area.
    RECT work{};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const int x = work.left + ((work.right - work.left) - kClientWidth) / 2;
    const int y = work.top + ((work.bottom - work.top) - kClientHeight) / 2;
    const DWORD style = WS_POPUP | WS_CLIPCHILDREN | WS_SYSMENU | WS_MINIMIZEBOX;
    if (!CreateWnd(kClassName, WS_EX_APPWINDOW | WS_EX_CONTROLPARENT, style, IDS_SURFKEEP_FormTitle, x, y,
                   kClientWidth, kClientHeight, nullptr))
        return false;
    FormCreate();
    return true;
}

void TfrmSurfkeep::Show(int showCommand) {
    ::ShowWindow(Handle(), showCommand);
    ::UpdateWindow(Handle());
    if (!FShown) {
        FShown = true;
        FormShow();
    }
}

void TfrmSurfkeep::FormCreate() { ::SetWindowTextW(Handle(), IDS_SURFKEEP_FormTitle.c_str()); }

void TfrmSurfkeep::FormShow() {}

void TfrmSurfkeep::FormClose() {}

void TfrmSurfkeep::Paint(HDC dc) {
    RECT rc;
    ::GetClientRect(Handle(), &rc);
    TBrush back(::CreateSolidBrush(RGB(0xF4, 0xF6, 0xF9)));
    ::FillRect(dc, &rc, back.Get());
}

LRESULT TfrmSurfkeep::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_PAINT: {
            TPaintDC dc(Handle());
            Paint(dc.Get());
            return 0;
        }
        case WM_ERASEBKGND:
            return 1;
        case WM_NCHITTEST: {
            // The background drags the window.
            const LRESULT hit = DefaultMessage(msg, wParam, lParam);
            return hit == HTCLIENT ? HTCAPTION : hit;
        }
        case WM_CLOSE:
            FormClose();
            ::DestroyWindow(Handle());
            return 0;
        case WM_DESTROY:
            ::PostQuitMessage(0);
            return 0;
    }
    return DefaultMessage(msg, wParam, lParam);
}

}  // namespace sk
