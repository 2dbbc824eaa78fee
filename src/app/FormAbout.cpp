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
    TKivLabelArgs args;
    args.Parent = parent;
    args.Left = left;
    args.Top = top;
    args.Font = TKivFont(L"Tahoma", 11, bold, assets::kText);
    args.AutoSize = true;
    args.WordWrap = false;
    return args;
}

void Open(HWND owner, const std::wstring& target) {
    ::ShellExecuteW(owner, L"open", target.c_str(), L"", nullptr, SW_SHOWNORMAL);
}

}  // namespace

bool TfrmAbout::Create(HWND owner) { return CreateCentered(owner, kClassName, L"", kClientWidth, kClientHeight); }

void TfrmAbout::FormCreate() {
    HWND surface =
        CreateWindowSurface(imgAbout, Handle(), kClientWidth, kClientHeight, OptionalPicture(assets::kAboutBackground));

    TKivTitleBarArgs caption;
    caption.Parent = surface;
    caption.Left = 5;
    caption.Top = 4;
    caption.Width = 300;
    caption.Height = 23;
    caption.Font = TKivFont(L"Tahoma", 12, true, assets::kCaptionText);
    caption.Title = IDS_ABOUT_Title + L" " + IDS_SURFKEEP_FormTitle;
    caption.TitleLeft = 28;
    caption.TitleTop = 5;
    caption.Logo = OptionalPicture(assets::kTitleLogo);
    caption.LogoLeft = 2;
    caption.LogoTop = 2;
    lblCaption.Create(caption);

    CreateDialogCloseButton(btnClose, surface, 418, 7);

    TKivImageArgs logo;
    logo.Parent = surface;
    logo.Left = 13;
    logo.Top = 46;
    logo.Width = 105;
    logo.Height = 105;
    logo.Picture = OptionalPicture(assets::kLogo);
    logo.Cursor = ::LoadCursorW(nullptr, IDC_HAND);
    logo.Hint = IDS_SURFKEEP_HomepageURL;
    logo.MoveHandler = false;
    imgLogo.Create(logo);
    imgLogo.OnClick = [this] { imgLogoClick(); };

    lblAppName.Create(LabelArgs(surface, 135, 49, true));
    lblAppName.SetCaption(IDS_SURFKEEP_FormTitle);
    lblVersion.Create(LabelArgs(surface, 135, 73));
    lblVersion.SetCaption(Fmt(IDS_ABOUT_Version, ProductVersionText));
    lblCopyright.Create(LabelArgs(surface, 135, 94));
    lblCopyright.SetCaption(IDS_ABOUT_Copyright);

    TKivLabelArgs home = LabelArgs(surface, 135, 115);
    home.Caption = IDS_SURFKEEP_HomepageURL;
    home.URL = IDS_SURFKEEP_HomepageURL;
    home.Font.SetColor(assets::kAccent);
    lblHomepage.CreateLink(home);

    TKivLabelArgs contact = LabelArgs(surface, 135, 136);
    contact.Caption = IDS_SURFKEEP_Support;
    contact.Font.SetColor(assets::kAccent).SetUnderline(true);
    contact.Cursor = ::LoadCursorW(nullptr, IDC_HAND);
    contact.MoveHandler = false;
    lblContact.Create(contact);
    lblContact.OnClick = [this] { lblContactClick(); };

    // The notice sits in a white frame, sunk into the surface.
    TKivImagePanelArgs frame;
    frame.Parent = surface;
    frame.Left = 13;
    frame.Top = 179;
    frame.Width = 420;
    frame.Height = 94;
    frame.Transparent = false;
    frame.Color = assets::kPanel;
    frame.MovingHandler = true;
    pnlWarning.Create(frame);
    ::SetWindowLongPtrW(pnlWarning.Handle(), GWL_EXSTYLE,
                        ::GetWindowLongPtrW(pnlWarning.Handle(), GWL_EXSTYLE) | WS_EX_STATICEDGE);
    ::SetWindowPos(pnlWarning.Handle(), nullptr, 0, 0, 0, 0,
                   SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_FRAMECHANGED);
    RECT inside{};
    ::GetClientRect(pnlWarning.Handle(), &inside);
    TKivLabelArgs warning = LabelArgs(pnlWarning.Handle(), 4, 0);
    warning.Width = inside.right - 8;
    warning.Height = inside.bottom;
    warning.AutoSize = false;
    warning.WordWrap = true;
    warning.Font.SetColor(assets::kTextMuted);
    lblWarning.Create(warning);
    lblWarning.SetCaption(L"\r\n" + IDS_ABOUT_Warning);

    TKivButtonArgs ok;
    ok.Parent = surface;
    ok.Left = 358;
    ok.Top = 280;
    ok.Width = 75;
    ok.Height = 26;
    ok.Caption = IDS_ABOUT_Close;
    ok.Font = TKivFont(L"Tahoma", 11, false, assets::kText);
    ok.Cancel = true;
    ok.Default = true;
    ok.TabStop = true;
    ok.DrawFocused = true;
    ok.ModalResult = IDCANCEL;
    SetButtonPictures(ok, OptionalStatePictures(assets::kButton));
    btnOK.Create(ok);
}

void TfrmAbout::imgLogoClick() { Open(Handle(), IDS_SURFKEEP_HomepageURL); }

void TfrmAbout::lblContactClick() { Open(Handle(), L"mailto:" + IDS_SURFKEEP_SupportURL); }

LRESULT TfrmAbout::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_ERASEBKGND) return 1;
    return DefaultMessage(msg, wParam, lParam);
}

}  // namespace sk
