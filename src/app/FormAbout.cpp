#include "app/FormAbout.h"

#include <shellapi.h>

#include "base/Errors.h"
#include "base/Format.h"
#include "base/Settings.h"
#include "base/StringTable.h"
#include "kit/TabKit.h"
#include "controls/Assets.h"

namespace sk {

namespace {

TKivLabelArgs LabelArgs(HWND parent, int left, int top, bool bold = false) {
    return {.Parent = parent,
            .Left = left,
            .Top = top,
            .Fonts = {.Normal = TKivFont(L"Tahoma", 11, bold, assets::kText)},
            .AutoSize = true,
            .WordWrap = false};
}

void Open(HWND owner, const std::wstring& target) {
    ::ShellExecuteW(owner, L"open", target.c_str(), L"", nullptr, SW_SHOWNORMAL);
}

}  // namespace

bool TfrmAbout::Create(HWND owner) { return CreateCentered(owner, kClassName, L"", kClientWidth, kClientHeight); }

void TfrmAbout::FormCreate() {
    HWND surface =
        CreateWindowSurface(imgAbout, Handle(), kClientWidth, kClientHeight, OptionalPicture(assets::kAboutBackground));

    lblCaption.Create({.Parent = surface,
                       .Left = 5,
                       .Top = 4,
                       .Width = 300,
                       .Height = 23,
                       .Font = TKivFont(L"Tahoma", 12, true, assets::kCaptionText),
                       .Title = IDS_ABOUT_Title + L" " + IDS_SURFKEEP_FormTitle,
                       .TitleLeft = 28,
                       .TitleTop = 5,
                       .Logo = OptionalPicture(assets::kTitleLogo),
                       .LogoLeft = 2,
                       .LogoTop = 2});

    CreateDialogCloseButton(btnClose, surface, 418, 7);

    imgLogo.Create({.Parent = surface,
                    .Left = 13,
                    .Top = 46,
                    .Width = 105,
                    .Height = 105,
                    .Picture = OptionalPicture(assets::kLogo),
                    .MoveHandler = false,
                    .Cursor = ::LoadCursorW(nullptr, IDC_HAND),
                    .Hint = IDS_SURFKEEP_HomepageURL,
                    .OnClick = [this] { imgLogoClick(); }});

    lblAppName.Create(LabelArgs(surface, 135, 49, true));
    lblAppName.SetCaption(IDS_SURFKEEP_FormTitle);
    lblVersion.Create(LabelArgs(surface, 135, 73));
    lblVersion.SetCaption(Fmt(IDS_ABOUT_Version, ProductVersionText));
    lblCopyright.Create(LabelArgs(surface, 135, 94));
    lblCopyright.SetCaption(IDS_ABOUT_Copyright);

    TKivLabelArgs home = LabelArgs(surface, 135, 115);
    home.Caption = IDS_SURFKEEP_HomepageURL;
    home.URL = IDS_SURFKEEP_HomepageURL;
    home.Fonts.Normal.SetColor(assets::kAccent);
    lblHomepage.CreateLink(home);

    TKivLabelArgs contact = LabelArgs(surface, 135, 136);
    contact.Caption = IDS_SURFKEEP_Support;
    contact.Fonts.Normal.SetColor(assets::kAccent).SetUnderline(true);
    contact.MoveHandler = false;
    contact.TabStop = true;
    contact.Cursor = ::LoadCursorW(nullptr, IDC_HAND);
    contact.OnClick = [this] { lblContactClick(); };
    lblContact.Create(contact);

    // The notice sits in a white frame, sunk into the surface.
    pnlWarning.Create({.Parent = surface,
                       .Left = 13,
                       .Top = 179,
                       .Width = 420,
                       .Height = 94,
                       .Transparent = false,
                       .MovingHandler = true,
                       .Color = assets::kPanel});
    ::SetWindowLongPtrW(pnlWarning.Handle(), GWL_EXSTYLE,
                        ::GetWindowLongPtrW(pnlWarning.Handle(), GWL_EXSTYLE) | WS_EX_STATICEDGE);
    ::SetWindowPos(pnlWarning.Handle(), nullptr, 0, 0, 0, 0,
                   SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_FRAMECHANGED);
    // Inside the frame's bevels, in the layout.
    RECT inside{};
    ::GetClientRect(pnlWarning.Handle(), &inside);
    TKivLabelArgs warning = LabelArgs(pnlWarning.Handle(), 4, 0);
    warning.Width = pnlWarning.Scale().Unscale(inside.right) - 8;
    warning.Height = pnlWarning.Scale().Unscale(inside.bottom);
    warning.AutoSize = false;
    warning.WordWrap = true;
    warning.Fonts.Normal.SetColor(assets::kTextMuted);
    lblWarning.Create(warning);
    lblWarning.SetCaption(L"\r\n" + IDS_ABOUT_Warning);

    btnOK.Create({.Parent = surface,
                  .Left = 358,
                  .Top = 280,
                  .Width = 75,
                  .Height = 26,
                  .Caption = IDS_ABOUT_Close,
                  .Mnemonic = L'C',
                  .Pictures = OptionalStatePictures(assets::kButton),
                  .Fonts = {.Normal = TKivFont(L"Tahoma", 11, false, assets::kText)},
                  .Default = true,
                  .Cancel = true,
                  .ModalResult = IDCANCEL,
                  .DrawFocused = true,
                  .TabStop = true});
}

void TfrmAbout::imgLogoClick() { Open(Handle(), IDS_SURFKEEP_HomepageURL); }

void TfrmAbout::lblContactClick() { Open(Handle(), L"mailto:" + IDS_SURFKEEP_SupportURL); }

LRESULT TfrmAbout::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_ERASEBKGND) return 1;
    return DefaultMessage(msg, wParam, lParam);
}

}  // namespace sk
