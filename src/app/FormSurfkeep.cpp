#include "app/FormSurfkeep.h"

#include <shellapi.h>
#include <windowsx.h>

#include "base/Errors.h"
#include "base/Fonts.h"
#include "base/Handles.h"
#include "base/MessageBox.h"
#include "base/Paths.h"
#include "base/ProductInfo.h"
#include "base/Scoped.h"
#include "base/Settings.h"
#include "base/StringTable.h"
#include "kit/TabKit.h"
#include "app/FormAbout.h"
#include "app/FormRestorePoints.h"
#include "controls/Assets.h"
#include "controls/KWFocus.h"
#include "repair/ui/RepairTab.h"

namespace sk {

namespace {

std::function<void(const std::wstring&)> gShellOpenHook;

enum : UINT { kMenuHelp = 100, kMenuHomePage, kMenuSupport, kMenuForum, kMenuUpdateWebList, kMenuAbout };
constexpr UINT kMenuRestorePoints = 120;
// Posted to the window: the next step of making the later pages.
constexpr UINT kLaterPagesStepMessage = WM_APP + 0x17;

std::wstring CompanionInstallerPath() { return ProgramFolder + kCompanionInstaller; }

}  // namespace

TfrmSurfkeep::TfrmSurfkeep() : TfrmSurfkeep(TfrmSurfkeepArgs{}) {}

TfrmSurfkeep::TfrmSurfkeep(TfrmSurfkeepArgs args)
    : FRepairTab(args.RepairTab ? std::move(args.RepairTab) : std::make_unique<TRepairTab>()),
      FOtherTabs(std::move(args.Others)) {}

TfrmSurfkeep::~TfrmSurfkeep() {
    // The controls go before the window they sit on.
    if (Handle()) ::KillTimer(Handle(), kUpdateTipsTimer);
}

void TfrmSurfkeep::SetShellOpenHook(std::function<void(const std::wstring& target)> hook) {
    gShellOpenHook = std::move(hook);
}

TTabPage* TfrmSurfkeep::Page(int index) const {
    if (index == 0) return FRepairTab.get();
    if (index > 0 && static_cast<size_t>(index) <= FOtherTabs.size()) return FOtherTabs[index - 1].get();
    return nullptr;
}

bool TfrmSurfkeep::PageMade(int index) const {
    return index >= 0 && static_cast<size_t>(index) < FPageMade.size() && FPageMade[static_cast<size_t>(index)];
}

bool TfrmSurfkeep::Create() {
    // Client area 780 x 585 of the layout at the screen's scale, with no frame, centred on the work
    // area.
    const DWORD style = WS_POPUP | WS_CLIPCHILDREN | WS_SYSMENU | WS_MINIMIZEBOX;
    if (!CreateTopLevel(kClassName, WS_EX_APPWINDOW | WS_EX_CONTROLPARENT, style, IDS_SURFKEEP_FormTitle,
                        SIZE{kClientWidth, kClientHeight}, nullptr,
                        [](SIZE size) { return CenteredOver(nullptr, size.cx, size.cy); }))
        return false;
    // The program icon comes with the window class (both sizes from the icon resource).
    ::SendMessageW(Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(FontForDpi(BodyFont(), Dpi())), FALSE);
    SetupActions();
    CreateControls();
    FormCreate();
    return true;
}

void TfrmSurfkeep::SetupActions() {
    struct {
        TAction* Action;
        const wchar_t* Name;
        std::function<void()> Run;
    } const table[] = {
        {&actClose, L"actClose", [this] { ::PostMessageW(Handle(), WM_CLOSE, 0, 0); }},
        {&actMin, L"actMin", [this] { ::ShowWindow(Handle(), SW_MINIMIZE); }},
        {&actHelp, L"actHelp", [this] { OpenTarget(HelpFileName); }},
        {&actHomePage, L"actHomePage", [this] { OpenTarget(IDS_SURFKEEP_HomepageURL); }},
        {&actSupport, L"actSupport", [this] { OpenTarget(L"mailto:" + IDS_SURFKEEP_SupportURL); }},
        {&actForum, L"actForum", [this] { OpenTarget(IDS_SURFKEEP_ForumURL); }},
        {&actUpdateWebList, L"actUpdateWebList", nullptr},
        {&actAbout, L"actAbout", [this] { actAboutExecute(); }},
        {&actRestorePoints, L"actRestorePoints", [this] { actRestorePointsExecute(); }},
    };
    for (const auto& row : table) BindAction(*row.Action, Handle(), row.Name, row.Run);
}

void TfrmSurfkeep::CreateControls() {
    HWND surface =
        CreateWindowSurface(imgBack, Handle(), kClientWidth, kClientHeight, OptionalPicture(assets::kMainBackground));

    lblCaption.Create({.Parent = surface,
                       .Left = 9,
                       .Top = 3,
                       .Width = 565,
                       .Height = 28,
                       .Font = TKivFont(L"Tahoma", 12, true, assets::kCaptionText),
                       .Title = IDS_SURFKEEP_FormTitle,
                       .TitleLeft = 28,
                       .TitleTop = 7,
                       .Logo = OptionalPicture(assets::kTitleLogo),
                       .LogoLeft = 0,
                       .LogoTop = 4});

    // Named by their hints for tooltips and screen readers; Tab reaches the help button, the one way
    // to the help menu (Alt+F4 and the system menu close and minimise).
    auto frameButton = [&](TKivImageButton& button, int left, const wchar_t* pictures, wchar_t glyph,
                           const std::wstring& hint, bool tabStop, std::function<void()> click) {
        button.Create({.Parent = surface,
                       .Left = left,
                       .Top = 6,
                       .Width = 25,
                       .Height = 24,
                       .Glyph = glyph,
                       .Pictures = OptionalStatePictures(pictures),
                       .DrawFocused = tabStop,
                       .TabStop = tabStop,
                       .Hint = hint,
                       .OnClick = std::move(click)});
    };
    frameButton(btnHelp, 699, assets::kHelp, L'?', IDS_SURFKEEP_Help, true, [this] { btnHelpClick(); });
    frameButton(btnMin, 724, assets::kMin, L'\x2013', IDS_SURFKEEP_Minimize, false, [this] { actMin.Execute(); });
    frameButton(btnClose, 749, assets::kClose, L'\x00D7', IDS_SURFKEEP_Close, false, [this] { actClose.Execute(); });

    imgTopic.Create({.Parent = surface,
                     .Left = 9,
                     .Top = 37,
                     .Width = 763,
                     .Height = 105,
                     .Picture = OptionalPicture(assets::kMainHeader),
                     .Stretch = true,
                     .Decorative = true});
    imgLogo.Create({.Parent = surface,
                    .Left = 13,
                    .Top = 38,
                    .Width = 105,
                    .Height = 105,
                    .Picture = OptionalPicture(assets::kLogo),
                    .MoveHandler = false,
                    .Cursor = ::LoadCursorW(nullptr, IDC_HAND),
                    .OnClick = [this] { imgLogoClick(); }});

    lblTitle.Create({.Parent = surface,
                     .Left = 132,
                     .Top = 48,
                     .Fonts = {.Normal = TKivFont(L"Tahoma", 21, true, assets::kAccentDark)},
                     .AutoSize = true,
                     .WordWrap = false});
    lblDesciption.Create({.Parent = surface,
                          .Left = 132,
                          .Top = 85,
                          .Width = 389,
                          .Height = 50,
                          .Fonts = {.Normal = TKivFont(L"Tahoma", 11, false, assets::kText)},
                          .AutoSize = false,
                          .WordWrap = true,
                          .TextAlignment = kalTopLeft});

    // The promotional picture only where the installer it offers is present.
    imgAD.Create({.Parent = surface,
                  .Left = 531,
                  .Top = 51,
                  .Width = 230,
                  .Height = 75,
                  .Picture = OptionalPicture(assets::kPromo),
                  .MoveHandler = false,
                  .Cursor = ::LoadCursorW(nullptr, IDC_HAND),
                  .Visible = UpgradeOffered(),
                  .OnClick = [this] { imgADClick(); }});

    FTabs.Create(surface, 10, 145, 760, 404, BodyFont());
    // Every tab gets its sheet now; only the first tab's page is made with the window.
    for (int i = 0; i <= static_cast<int>(FOtherTabs.size()); ++i) {
        auto sheet = std::make_unique<TKivImagePanel>();
        const RECT r = FTabs.PageLayoutRect();
        CreateContentPanel(*sheet, FTabs.Handle(), r.left, r.top, r.right - r.left, r.bottom - r.top);
        ::SetWindowLongPtrW(sheet->Handle(), GWL_EXSTYLE,
                            ::GetWindowLongPtrW(sheet->Handle(), GWL_EXSTYLE) | WS_EX_CONTROLPARENT);
        FTabs.AddTab(Page(i)->Caption(), sheet->Handle());
        FSheets.push_back(std::move(sheet));
        FPageMade.push_back(false);
        Page(i)->SetOpenRestorePoints([this] { actRestorePoints.Execute(); });
    }
    MakePage(0);
    FTabs.OnSelecting = [this](int index) {
        if (!PageMade(index)) MakeLaterPages();
    };
    FTabs.OnChange = [this](int) { lstActionUpdate(); };

    mnuHelp.Reset(::CreatePopupMenu());
}

void TfrmSurfkeep::ApplyTexts() {
    // The window's caption (the taskbar's text) and the title bar's.
    ::SetWindowTextW(Handle(), IDS_SURFKEEP_FormTitle.c_str());
    lblCaption.TitleBar().SetCaption(IDS_SURFKEEP_FormTitle);
    lblTitle.SetCaption(IDS_SURFKEEP_Title);
    lblDesciption.SetCaption(IDS_SURFKEEP_Desciption);
    imgLogo.SetHint(IDS_SURFKEEP_HomepageURL);

    actHelp.SetCaption(IDS_SURFKEEP_Help);
    actHomePage.SetCaption(IDS_SURFKEEP_Homepage);
    actSupport.SetCaption(IDS_SURFKEEP_Support);
    actForum.SetCaption(IDS_SURFKEEP_Forum);
    actUpdateWebList.SetCaption(IDS_SURFKEEP_UpdateWebList);
    actAbout.SetCaption(IDS_SURFKEEP_About);
    actRestorePoints.SetCaption(IDS_SURFKEEP_RestorePoints);

    // The help menu: Help | Homepage, Contact Us, Forum | Update hosts data, Restore points | About...
    HMENU menu = mnuHelp.Get();
    while (::GetMenuItemCount(menu) > 0) ::DeleteMenu(menu, 0, MF_BYPOSITION);
    ::AppendMenuW(menu, MF_STRING, kMenuHelp, (actHelp.Caption() + L"\tF1").c_str());
    ::AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    ::AppendMenuW(menu, MF_STRING, kMenuHomePage, actHomePage.Caption().c_str());
    ::AppendMenuW(menu, MF_STRING, kMenuSupport, actSupport.Caption().c_str());
    ::AppendMenuW(menu, MF_STRING, kMenuForum, actForum.Caption().c_str());
    ::AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    ::AppendMenuW(menu, MF_STRING, kMenuUpdateWebList, actUpdateWebList.Caption().c_str());
    ::AppendMenuW(menu, MF_STRING, kMenuRestorePoints, actRestorePoints.Caption().c_str());
    ::AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    ::AppendMenuW(menu, MF_STRING, kMenuAbout, actAbout.Caption().c_str());

    for (int i = 0; i < FTabs.Count(); ++i) {
        FTabs.SetCaption(i, Page(i)->Caption());
        // The page's name for screen readers.
        if (static_cast<size_t>(i) < FSheets.size()) ::SetWindowTextW(FSheets[static_cast<size_t>(i)]->Handle(), Page(i)->Caption().c_str());
    }
}

void TfrmSurfkeep::MakePage(int index) {
    // Made once, even when making it failed half-way: the page's steps then run on what it has.
    FPageMade[static_cast<size_t>(index)] = true;
    TTabPage* page = Page(index);
    page->CreatePage(FSheets[static_cast<size_t>(index)]->Handle(), Handle());
    if (index > 0) page->BindUpdateWebList(actUpdateWebList);
}

void TfrmSurfkeep::FormCreate() {
    ApplyTexts();
    // Each page made applies its texts in turn; the Repair page then runs its first scan.
    for (int i = 0; i < FTabs.Count(); ++i) {
        TTabPage* page = Page(i);
        if (PageMade(i)) RunGuarded(Handle(), [page] { page->ApplyTexts(); });
    }
    FTabs.Select(0);
    for (int i = 0; i < FTabs.Count(); ++i) {
        TTabPage* page = Page(i);
        if (PageMade(i)) RunGuarded(Handle(), [page] { page->Start(); });
    }
    lstActionUpdate();
}

bool TfrmSurfkeep::MakeLaterPagesStep() {
    if (FLaterPages.empty() && FLaterStepsDone == 0)
        for (int i = 0; i < FTabs.Count(); ++i)
            if (!PageMade(i)) FLaterPages.push_back(i);
    constexpr size_t kPhases = 4;
    if (FLaterStepsDone >= kPhases * FLaterPages.size()) return false;
    const size_t phase = FLaterStepsDone / FLaterPages.size();
    const int index = FLaterPages[FLaterStepsDone % FLaterPages.size()];
    ++FLaterStepsDone;
    const TScopedValue making(FMakingPages, true);
    TTabPage* page = Page(index);
    switch (phase) {
        case 0: RunGuarded(Handle(), [this, index] { MakePage(index); }); break;
        case 1: RunGuarded(Handle(), [page] { page->ApplyTexts(); }); break;
        case 2: RunGuarded(Handle(), [page] { page->Start(); }); break;
        default:
            // Before the window shows, its own first showing reaches the page; a window closing
            // begins nothing more (an automatic update).
            if (FShown && !FClosing) RunGuarded(Handle(), [page] { page->FormShow(); });
            break;
    }
    if (FLaterStepsDone == kPhases * FLaterPages.size()) lstActionUpdate();
    return true;
}

void TfrmSurfkeep::MakeLaterPages() {
    if (FMakingPages || !Handle()) return;
    ::KillTimer(Handle(), kLaterPagesTimer);
    while (MakeLaterPagesStep()) {
    }
}

void TfrmSurfkeep::Show(int showCommand) {
    ::ShowWindow(Handle(), showCommand);
    ::UpdateWindow(Handle());
    if (!FShown) {
        FShown = true;
        // The keyboard starts on the first control of the page on show (once the window is active:
        // a window shown without activation gets it when it is activated).
        if (::GetActiveWindow() == Handle() && (!FocusIsWithin(Handle()) || ::GetFocus() == Handle())) FocusPage();
        FormShow();
        for (int i = 0; i < FTabs.Count(); ++i)
            if (!PageMade(i)) {
                ::SetTimer(Handle(), kLaterPagesTimer, kLaterPagesDelayMs, nullptr);
                break;
            }
    }
}

void TfrmSurfkeep::FocusPage() {
    const int selected = FTabs.Selected();
    if (selected >= 0 && static_cast<size_t>(selected) < FSheets.size() && FocusFirstIn(FSheets[static_cast<size_t>(selected)]->Handle()))
        return;
    if (FTabs.Handle()) ::SetFocus(FTabs.Handle());
}

void TfrmSurfkeep::FormShow() {
    for (int i = 0; i < FTabs.Count(); ++i) {
        TTabPage* page = Page(i);
        if (PageMade(i)) RunGuarded(Handle(), [page] { page->FormShow(); });
    }
    if (UpgradeOffered()) ::SetTimer(Handle(), kUpdateTipsTimer, 1000, nullptr);
}

void TfrmSurfkeep::FormClose() {
    // A page never made has nothing running.
    for (int i = 0; i < FTabs.Count(); ++i)
        if (PageMade(i)) Page(i)->FormClose();
}

bool TfrmSurfkeep::UpgradeOffered() const { return !ProgramFolder.empty() && FileExists(CompanionInstallerPath()); }

void TfrmSurfkeep::tmrUpdateTipsTimer() {
    // Not over the pages' start-up (an automatic update begins before the prompt): try again at the
    // next tick while that is under way.
    if (FMakingPages) return;
    MakeLaterPages();
    if (!::IsWindowVisible(Handle()) || ::IsIconic(Handle())) return;  // try again at the next tick
    ::KillTimer(Handle(), kUpdateTipsTimer);
    const int answer = ShowMessageBox(Handle(), IDS_SURFKEEP_UpdateTips, IDS_SURFKEEP_UpdateTipsTitle, 0x44,
                                      static_cast<WORD>(LanguageId & 0xFFFF), 0);
    if (answer == IDYES) imgADClick();
}

void TfrmSurfkeep::imgADClick() { OpenTarget(CompanionInstallerPath()); }

void TfrmSurfkeep::imgLogoClick() { OpenTarget(IDS_SURFKEEP_HomepageURL); }

void TfrmSurfkeep::OpenTarget(const std::wstring& target) {
    if (gShellOpenHook) {
        gShellOpenHook(target);
        return;
    }
    // The result is of no interest: a missing help file or mail program shows nothing.
    ::ShellExecuteW(Handle(), L"open", target.c_str(), L"", nullptr, SW_SHOWNORMAL);
}

POINT TfrmSurfkeep::HelpMenuOrigin() const {
    RECT r{};
    ::GetWindowRect(btnHelp.Handle(), &r);
    ::MapWindowPoints(HWND_DESKTOP, ::GetParent(btnHelp.Handle()), reinterpret_cast<POINT*>(&r), 2);
    POINT pt{r.left, r.bottom + 1};
    ::ClientToScreen(::GetParent(btnHelp.Handle()), &pt);
    return pt;
}

std::vector<std::wstring> TfrmSurfkeep::HelpMenuTexts() const {
    std::vector<std::wstring> texts;
    const int n = ::GetMenuItemCount(mnuHelp.Get());
    for (int i = 0; i < n; ++i) {
        wchar_t buf[256] = {};
        ::GetMenuStringW(mnuHelp.Get(), static_cast<UINT>(i), buf, 256, MF_BYPOSITION);
        texts.push_back(buf);
    }
    return texts;
}

void TfrmSurfkeep::btnHelpClick() {
    // The menu's commands reach the tabs ("Update hosts data", a restore).
    MakeLaterPages();
    const POINT pt = HelpMenuOrigin();
    const UINT id = static_cast<UINT>(::TrackPopupMenu(mnuHelp.Get(), TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RETURNCMD |
                                                                          TPM_LEFTBUTTON,
                                                       pt.x, pt.y, 0, Handle(), nullptr));
    switch (id) {
        case kMenuHelp: actHelp.Execute(); break;
        case kMenuHomePage: actHomePage.Execute(); break;
        case kMenuSupport: actSupport.Execute(); break;
        case kMenuForum: actForum.Execute(); break;
        case kMenuUpdateWebList: actUpdateWebList.Execute(); break;
        case kMenuAbout: actAbout.Execute(); break;
        case kMenuRestorePoints: actRestorePoints.Execute(); break;
    }
}

void TfrmSurfkeep::actAboutExecute() {
    TfrmAbout about;
    about.ShowModal(Handle());
}

void TfrmSurfkeep::actRestorePointsExecute() {
    // A restore changes what the tabs show: they are all made first, so that each reads it again.
    MakeLaterPages();
    const TRestoreStore store = ProgramRestoreStore();
    TfrmRestorePoints window(store);
    window.OnMachineChanged = [this] { MachineChanged(); };
    window.ShowModal(Handle());
}

void TfrmSurfkeep::MachineChanged() {
    // A page made later reads the machine as it is then.
    for (int i = 0; i < FTabs.Count(); ++i) {
        TTabPage* page = Page(i);
        if (PageMade(i)) RunGuarded(Handle(), [page] { page->MachineChanged(); });
    }
    lstActionUpdate();
}

void TfrmSurfkeep::lstActionUpdate() {
    for (int i = 0; i < FTabs.Count(); ++i)
        if (PageMade(i)) Page(i)->UpdateActions();
}

bool TfrmSurfkeep::PreTranslate(MSG& msg) {
    if (msg.message == WM_KEYDOWN) {
        if (msg.wParam == VK_F1) {
            actHelp.Execute();
            return true;
        }
        const bool ctrl = (::GetKeyState(VK_CONTROL) & 0x8000) != 0;
        // Ctrl+Tab and Ctrl+PageDown to the next tab, with Shift or PageUp to the one before.
        if (ctrl && msg.wParam == VK_TAB) {
            FTabs.SelectNext((::GetKeyState(VK_SHIFT) & 0x8000) != 0);
            return true;
        }
        if (ctrl && (msg.wParam == VK_NEXT || msg.wParam == VK_PRIOR)) {
            FTabs.SelectNext(msg.wParam == VK_PRIOR);
            return true;
        }
    }
    for (int i = 0; i < FTabs.Count(); ++i)
        if (PageMade(i) && Page(i)->HandleKey(msg)) return true;
    // Tab and Shift+Tab move between the controls, Alt+letter presses a button.
    if (HandleKivDialogKey(msg)) return true;
    return false;
}

LRESULT TfrmSurfkeep::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_ERASEBKGND:
            return 1;
        case WM_ACTIVATE:
            // The keyboard goes back where it was when the window comes back (after a box, another
            // program); the first time, to the page.
            if (LOWORD(wParam) == WA_INACTIVE) {
                const HWND focus = ::GetFocus();
                FLastFocus = focus && ::IsChild(Handle(), focus) ? focus : nullptr;
                return 0;
            }
            if (FLastFocus && ::IsWindow(FLastFocus) && IsShowing(FLastFocus) && ::IsWindowEnabled(FLastFocus))
                ::SetFocus(FLastFocus);
            else if (FShown)
                FocusPage();
            return 0;
        case WM_HELP:
            // F1 in a box over the window.
            actHelp.Execute();
            return TRUE;
        case WM_TIMER:
            if (wParam == kUpdateTipsTimer) {
                tmrUpdateTipsTimer();
                return 0;
            }
            if (wParam == kLaterPagesTimer) {
                // One step now, the next once the messages waiting by then have run.
                ::KillTimer(Handle(), kLaterPagesTimer);
                if (!FMakingPages && MakeLaterPagesStep()) ::PostMessageW(Handle(), kLaterPagesStepMessage, 0, 0);
                return 0;
            }
            break;
        case WM_CLOSE:
            if (!FClosing) {
                FClosing = true;
                // A window closed straight after it showed has still done all of its start-up:
                // what its later pages write at start (their settings) is there as after any start.
                MakeLaterPages();
                FormClose();
            }
            ::DestroyWindow(Handle());
            return 0;
        case kLaterPagesStepMessage:
            if (!FMakingPages && MakeLaterPagesStep()) ::PostMessageW(Handle(), kLaterPagesStepMessage, 0, 0);
            return 0;
        case WM_DESTROY:
            ::KillTimer(Handle(), kUpdateTipsTimer);
            ::KillTimer(Handle(), kLaterPagesTimer);
            ::PostQuitMessage(0);
            return 0;
    }
    return DefaultMessage(msg, wParam, lParam);
}

}  // namespace sk
