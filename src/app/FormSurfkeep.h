// The main window: borderless and skinned, 780 x 585 of the 96-dpi layout at the screen's scale,
// centred, with the header, the help menu and the four tabs.
#pragma once

#include <memory>
#include <vector>

#include "base/Action.h"
#include "kit/TabPage.h"
#include "base/Window.h"
#include "app/TabStrip.h"
#include "controls/KWImage.h"
#include "controls/KWImageButton.h"
#include "controls/KWImagePanel.h"
#include "controls/KWLabel.h"
#include "controls/KWTitleBar.h"

namespace sk {

class TRepairTab;

// What the window is made with; tests hand in their own tabs' engines.
struct TfrmSurfkeepArgs {
    std::unique_ptr<TRepairTab> RepairTab;           // default: on the real registry
    std::vector<std::unique_ptr<TTabPage>> Others;   // the tabs after Repair, in order
};

class TfrmSurfkeep : public TWindow {
public:
    static constexpr int kClientWidth = 780;
    static constexpr int kClientHeight = 585;
    static constexpr const wchar_t* kClassName = L"TfrmSurfkeep";
    static constexpr UINT_PTR kUpdateTipsTimer = 1;
    // The pages of the tabs not shown at start are made in idle time after the first paint, from
    // this long after it (time for the painted window to reach the screen) one step at a time, or
    // at once when first needed.
    static constexpr UINT_PTR kLaterPagesTimer = 2;
    static constexpr UINT kLaterPagesDelayMs = 20;

    TfrmSurfkeep();
    explicit TfrmSurfkeep(TfrmSurfkeepArgs args);
    ~TfrmSurfkeep() override;

    // Creates the window (running FormCreate) without showing it.
    bool Create();
    // Shows the window the first time (running FormShow).
    void Show(int showCommand = SW_SHOWNORMAL);
    // The window's keys, before a message is translated: F1, Ctrl+Tab, the buttons' keys, Tab.
    bool PreTranslate(MSG& msg);
    // Idle time: the enabling of every command (lstActionUpdate).
    void lstActionUpdate();

    TAction actClose, actMin, actHelp, actHomePage, actSupport, actForum, actUpdateWebList, actAbout;
    // Opens the Restore points window (help menu, and the tabs' links).
    TAction actRestorePoints;
    // A restore point was put back: every tab reads again what it shows.
    void MachineChanged();

    TTabStrip& pgcMain() { return FTabs; }
    TRepairTab& RepairTab() { return *FRepairTab; }
    TTabPage* Page(int index) const;
    // Whether the tab's page has been made: the first tab's with the window, the others' later.
    bool PageMade(int index) const;
    // Makes every page not made yet, each step for all of them in tab order as the start-up does:
    // controls, texts, first listing, and the first showing when the window has been shown. An
    // error is shown in the error box, as at start-up.
    void MakeLaterPages();
    // The help menu as it is built (for tests): entries' texts, "" for a separator.
    std::vector<std::wstring> HelpMenuTexts() const;
    // Where the help menu opens, in screen coordinates.
    POINT HelpMenuOrigin() const;
    bool UpgradeOffered() const;
    const TKivLabel& TitleLabel() const { return lblTitle; }
    const TKivLabel& DescriptionLabel() const { return lblDesciption; }
    TKivTitleBar& CaptionBar() { return lblCaption; }
    TKivImageButton& HelpButton() { return btnHelp; }

    // Replaces the shell for tests: gets every target the window opens.
    static void SetShellOpenHook(std::function<void(const std::wstring& target)> hook);

    void btnHelpClick();
    void imgLogoClick();
    void imgADClick();
    void tmrUpdateTipsTimer();

protected:
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    void FormCreate();
    void FormShow();
    void FormClose();
    void CreateControls();
    void ApplyTexts();
    void SetupActions();
    void OpenTarget(const std::wstring& target);
    void actAboutExecute();
    // The keyboard focus to the first control of the page on show (the tab strip when it has none).
    void FocusPage();
    void actRestorePointsExecute();
    void MakePage(int index);
    // One step of making the later pages (false: none was left).
    bool MakeLaterPagesStep();

    // Declared in creation order; the tabs (last) go first when the window is freed.
    TKivImagePanel imgBack;
    TKivTitleBar lblCaption;
    TKivImageButton btnHelp, btnMin, btnClose;
    TKivImage imgTopic, imgLogo, imgAD;
    TKivLabel lblTitle, lblDesciption;
    TTabStrip FTabs;
    TMenu mnuHelp;
    std::vector<std::unique_ptr<TKivImagePanel>> FSheets;
    std::unique_ptr<TRepairTab> FRepairTab;
    std::vector<std::unique_ptr<TTabPage>> FOtherTabs;
    std::vector<bool> FPageMade;
    // The pages made later, and how many of their steps have run: each step for every one of them
    // in tab order (controls, texts, first listing, first showing), as at start-up.
    std::vector<int> FLaterPages;
    size_t FLaterStepsDone = 0;
    bool FMakingPages = false;
    bool FShown = false;
    bool FClosing = false;
    HWND FLastFocus = nullptr;  // where the keyboard was when the window lost the activation
};

}  // namespace sk
