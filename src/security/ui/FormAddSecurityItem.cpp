#include "security/ui/FormAddSecurityItem.h"

#include "base/Errors.h"
#include "kit/TabKit.h"
#include "controls/Assets.h"
#include "controls/KWClasses.h"

namespace sk {

bool TfrmAddSecurityItem::Create(HWND owner) {
    return CreateCentered(owner, kClassName, L"Add Malicious Website", kClientWidth, kClientHeight);
}

void TfrmAddSecurityItem::FormCreate() {
    HWND surface =
        CreateWindowSurface(imgBack, Handle(), kClientWidth, kClientHeight, OptionalPicture(assets::kAddDialogBackground));

    // These texts are the dialog's own, in every language.
    lblTitle.Create({.Parent = surface,
                     .Left = 7,
                     .Top = 9,
                     .Caption = L"Add Malicious Website",
                     .Fonts = {.Normal = TKivFont(L"Tahoma", 13, true, assets::kCaptionText)},
                     .AutoSize = true,
                     .WordWrap = false});

    CreateDialogCloseButton(btnClose, surface, 315, 6);

    lblName.Create({.Parent = surface,
                    .Left = 24,
                    .Top = 57,
                    .Caption = L"website:",
                    .Fonts = {.Normal = TKivFont(L"Tahoma", 11, false, assets::kText)},
                    .AutoSize = true,
                    .WordWrap = false});

    edtName.Create({.Parent = surface, .Left = 24, .Top = 78, .Width = 297, .Height = 21, .Font = BodyFont()});

    const TKivButtonArgs button{.Parent = surface,
                                .Top = 143,
                                .Width = 75,
                                .Height = 26,
                                .Pictures = OptionalStatePictures(assets::kButton),
                                .Fonts = {.Normal = TKivFont(L"Tahoma", 11, false, assets::kText)},
                                .DrawFocused = true,
                                .TabStop = true};

    TKivButtonArgs ok = button;
    ok.Left = 184;
    ok.Caption = L"Ok";
    ok.Mnemonic = L'O';
    ok.Default = true;
    ok.ModalResult = IDOK;
    btnOK.Create(ok);

    TKivButtonArgs cancel = button;
    cancel.Left = 265;
    cancel.Caption = L"Cancel";
    cancel.Mnemonic = L'C';
    cancel.Cancel = true;
    cancel.ModalResult = IDCANCEL;
    btnCancel.Create(cancel);
}

void TfrmAddSecurityItem::FormShow() {
    ::SetFocus(edtName);
    ::SendMessageW(edtName, EM_SETSEL, 0, -1);
}

void TfrmAddSecurityItem::btnOKClick() { SetModalResult(Handle(), IDOK); }

void TfrmAddSecurityItem::btnCloseClick() { SetModalResult(Handle(), IDCANCEL); }

std::wstring TfrmAddSecurityItem::Text() const { return edtName.Text(); }

LRESULT TfrmAddSecurityItem::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_ERASEBKGND: return 1;
        case WM_ACTIVATE: {
            LRESULT result = 0;
            KeepFocusOnActivate(msg, wParam, lParam, result);
            return result;
        }
        case WM_CLOSE:
            btnCloseClick();  // Alt+F4: the cancel result; the caller frees the dialog
            return 0;
    }
    return DefaultMessage(msg, wParam, lParam);
}

}  // namespace sk
