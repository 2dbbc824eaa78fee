#include "kit/SkinnedDialog.h"

#include "kit/TabKit.h"
#include "controls/KWCustomButton.h"

namespace sk {

int TSkinnedDialog::ShowModal(HWND owner) {
    if (!Handle() && !Create(owner)) return IDCANCEL;
    return sk::ShowModal(Handle());
}

bool TSkinnedDialog::CreateCentered(HWND owner, const wchar_t* className, const std::wstring& title, int width,
                                    int height) {
    const POINT at = CenteredOver(owner, width, height);
    if (!CreateWnd(className, WS_EX_CONTROLPARENT, WS_POPUP | WS_CLIPCHILDREN | WS_SYSMENU, title, at.x, at.y, width,
                   height, owner))
        return false;
    ::SendMessageW(Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(BodyFont()), FALSE);
    FormCreate();
    return true;
}

bool TSkinnedDialog::KeepFocusOnActivate(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    if (msg != WM_ACTIVATE) return false;
    if (LOWORD(wParam) == WA_INACTIVE) {
        const HWND focus = ::GetFocus();
        FLastFocus = focus && ::IsChild(Handle(), focus) ? focus : nullptr;
        result = DefaultMessage(msg, wParam, lParam);
        return true;
    }
    result = DefaultMessage(msg, wParam, lParam);
    if (FLastFocus && ::IsWindow(FLastFocus) && ::IsWindowEnabled(FLastFocus))
        ::SetFocus(FLastFocus);
    else
        FocusDefault();
    return true;
}

}  // namespace sk
