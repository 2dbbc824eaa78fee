#include "kit/SkinnedDialog.h"

#include "base/Fonts.h"
#include "kit/TabKit.h"
#include "controls/KWCustomButton.h"

namespace sk {

int TSkinnedDialog::ShowModal(HWND owner) {
    if (!Handle() && !Create(owner)) return IDCANCEL;
    return sk::ShowModal(Handle());
}

bool TSkinnedDialog::CreateCentered(HWND owner, const wchar_t* className, const std::wstring& title, int width,
                                    int height) {
    // In the layout: the owner's scale makes it its size in pixels.
    if (!CreateTopLevel(className, WS_EX_CONTROLPARENT, WS_POPUP | WS_CLIPCHILDREN | WS_SYSMENU, title,
                        SIZE{width, height}, owner, [owner](SIZE size) { return CenteredOver(owner, size.cx, size.cy); }))
        return false;
    ::SendMessageW(Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(FontForDpi(BodyFont(), Dpi())), FALSE);
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
