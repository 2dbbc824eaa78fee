// The small dialog that asks for one web site to block. It takes the text as typed; the caller
// trims it and hands it to the hosts-file manager.
#pragma once

#include <windows.h>

#include <string>

#include "kit/SkinnedDialog.h"
#include "controls/KWImageButton.h"
#include "controls/KWImagePanel.h"
#include "controls/KWLabel.h"
#include "controls/NativeControls.h"

namespace sk {

class TfrmAddSecurityItem : public TSkinnedDialog {
public:
    static constexpr int kClientWidth = 344;
    static constexpr int kClientHeight = 176;
    static constexpr const wchar_t* kClassName = L"TfrmAddSecurityItem";

    // Shown modally, it ends with IDOK for "Ok" and Enter, IDCANCEL for "Cancel", Esc and the
    // close button.
    bool Create(HWND owner) override;

    void FormShow();  // the keyboard focus goes to the edit box
    void btnOKClick();
    void btnCloseClick();

    // What edtName holds (read after the dialog has closed with IDOK).
    std::wstring Text() const;

    TKivImagePanel imgBack;
    TKivLabel lblTitle, lblName;
    TKivImageButton btnClose, btnOK, btnCancel;
    TEdit edtName;

protected:
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
    // Coming back the focus returns where it was; the first time it goes to the edit box.
    void FocusDefault() override { FormShow(); }

private:
    void FormCreate() override;
};

}  // namespace sk
