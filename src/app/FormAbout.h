// The About box: the program's name and version, copyright, links and the legal notice.
#pragma once

#include "kit/SkinnedDialog.h"
#include "controls/KWImage.h"
#include "controls/KWImageButton.h"
#include "controls/KWImagePanel.h"
#include "controls/KWLabel.h"
#include "controls/KWTitleBar.h"

namespace sk {

class TfrmAbout : public TSkinnedDialog {
public:
    static constexpr int kClientWidth = 448;
    static constexpr int kClientHeight = 324;
    static constexpr const wchar_t* kClassName = L"TfrmAbout";

    bool Create(HWND owner) override;

    TKivTitleBar& CaptionBar() { return lblCaption; }
    const TKivLabel& AppName() const { return lblAppName; }
    const TKivLabel& Version() const { return lblVersion; }
    const TKivLabel& Copyright() const { return lblCopyright; }
    const TKivURLLabel& Homepage() const { return lblHomepage; }
    const TKivLabel& Contact() const { return lblContact; }
    const TKivLabel& Warning() const { return lblWarning; }
    TKivImageButton& OkButton() { return btnOK; }
    TKivImageButton& CloseButton() { return btnClose; }

    void imgLogoClick();
    void lblContactClick();

protected:
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    void FormCreate() override;

    TKivImagePanel imgAbout, pnlWarning;
    TKivTitleBar lblCaption;
    TKivImageButton btnClose, btnOK;
    TKivImage imgLogo;
    TKivLabel lblAppName, lblVersion, lblCopyright, lblContact, lblWarning;
    TKivURLLabel lblHomepage;
};

}  // namespace sk
