#include "base/MessageTap.h"

#include <commctrl.h>

namespace sk {

void TMessageTap::Attach(HWND wnd, THandler handler) {
    Detach();
    FWnd = wnd;
    FHandler = std::move(handler);
    ::SetWindowSubclass(wnd, Proc, reinterpret_cast<UINT_PTR>(this), reinterpret_cast<DWORD_PTR>(this));
}

void TMessageTap::Detach() {
    if (FWnd) ::RemoveWindowSubclass(FWnd, Proc, reinterpret_cast<UINT_PTR>(this));
    FWnd = nullptr;
}

LRESULT CALLBACK TMessageTap::Proc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR ref) {
    auto* self = reinterpret_cast<TMessageTap*>(ref);
    if (msg == WM_NCDESTROY) {
        self->Detach();
        return ::DefSubclassProc(wnd, msg, wParam, lParam);
    }
    if (self->FHandler)
        if (const auto answer = self->FHandler(msg, wParam, lParam)) return *answer;
    return ::DefSubclassProc(wnd, msg, wParam, lParam);
}

}  // namespace sk
