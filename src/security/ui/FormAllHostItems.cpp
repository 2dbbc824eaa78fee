#include "security/ui/FormAllHostItems.h"

#include "base/Action.h"
#include "base/Errors.h"
#include "base/Scoped.h"
#include "base/StringTable.h"
#include "kit/TabKit.h"
#include "controls/Assets.h"
#include "controls/KWClasses.h"

namespace sk {

namespace {

// While the list fills with its drawing held, it is shown this often so the user sees it grow.
constexpr ULONGLONG kRepaintIntervalMs = 200;

// The window went away in the middle of a load: the rest of the file is of no use to anyone.
struct TLoadAbandoned {};

}  // namespace

TfrmShowAll::TfrmShowAll(TIESecurity& security) : FSecurity(security) {}

TfrmShowAll::~TfrmShowAll() {
    if (Handle()) ::KillTimer(Handle(), kShowTimerId);
}

bool TfrmShowAll::Create(HWND owner) {
    return CreateCentered(owner, kClassName, IDS_SHOWALL_Title, kClientWidth, kClientHeight);
}

void TfrmShowAll::FormCreate() {
    HWND surface =
        CreateWindowSurface(imgBack, Handle(), kClientWidth, kClientHeight, OptionalPicture(assets::kAllHostsBackground));

    lblTitle.Create({.Parent = surface,
                     .Left = 7,
                     .Top = 9,
                     .Fonts = {.Normal = TKivFont(L"Tahoma", 13, true, assets::kCaptionText)},
                     .AutoSize = true,
                     .AutoSizeMaxWidth = 420,  // short of the close button
                     .WordWrap = false});

    CreateDialogCloseButton(btnClose, surface, 434, 6, /*escCloses=*/true);

    lstMaliciousWebs.Create({.Parent = surface, .Left = 5, .Top = 37, .Width = 455, .Height = 254, .Font = BodyFont()});

    lblStatus.Create({.Parent = surface,
                      .Left = 8,
                      .Top = 312,
                      .Fonts = {.Normal = TKivFont(L"Tahoma", 11, false, assets::kText)},
                      .AutoSize = true,
                      .AutoSizeMaxWidth = 290,  // short of the buttons
                      .WordWrap = false});

    const TKivButtonArgs button{.Parent = surface,
                                .Top = 303,
                                .Width = 75,
                                .Height = 26,
                                .Pictures = OptionalStatePictures(assets::kButton),
                                .Fonts = PushButtonFonts(),
                                .EnableMultiFonts = true,
                                .DrawFocused = true,
                                .TabStop = true};

    TKivButtonArgs refresh = button;
    refresh.Left = 304;
    refresh.Mnemonic = L'R';
    refresh.OnClick = [this] { Guarded(&TfrmShowAll::btnRefreshClick); };
    btnRefresh.Create(refresh);

    TKivButtonArgs ok = button;
    ok.Left = 385;
    ok.Mnemonic = L'C';
    ok.Default = true;
    ok.ModalResult = IDOK;
    btnOK.Create(ok);

    // Texts: the title, the two buttons, and no state before the first load.
    lblTitle.SetCaption(IDS_SHOWALL_Title);
    btnRefresh.SetCaption(IDS_SHOWALL_Refresh);
    btnOK.SetCaption(IDS_SHOWALL_Close);
    lblStatus.SetCaption(L"");
}

void TfrmShowAll::FormShow() {
    FShownAt = ::GetTickCount64();
    FTimerRunning = ::SetTimer(Handle(), kShowTimerId, kShowTimerMs, nullptr) != 0;
}

void TfrmShowAll::tmrShowTimer() {
    if (!::IsWindowVisible(Handle())) return;  // tried again at the next tick
    ::KillTimer(Handle(), kShowTimerId);
    FTimerRunning = false;
    Guarded(&TfrmShowAll::btnRefreshClick);
}

void TfrmShowAll::Guarded(void (TfrmShowAll::*step)()) {
    // After an error the window is left usable (the step put its buttons back) and says so.
    RunGuarded(Handle(), [this, step] { (this->*step)(); });
}

void TfrmShowAll::btnRefreshClick() {
    if (FLoading) return;
    lstMaliciousWebs.Clear();
    FCount = 0;
    SetListControlsEnabled(false);
    FLoading = true;
    lblStatus.SetCaption(IDS_SHOWALL_Loading);
    // Each line drawn as it came would cost more than reading it: the list is drawn a few times a
    // second instead, and once more at the end.
    SetRedraw(lstMaliciousWebs, false);
    FShownAt = ::GetTickCount64();
    try {
        FSecurity.ListHosts(0, [this](const std::wstring& host) { AddHostLine(host); });
    } catch (const TLoadAbandoned&) {
        FLoading = false;
        return;
    } catch (...) {
        // The hosts file could not be read: what was read stays, and the window can be closed or
        // asked to try again.
        FinishLoading();
        lblStatus.SetCaption(L"");
        throw;
    }
    FinishLoading();
}

void TfrmShowAll::AddHostLine(const std::wstring& host) {
    if (!Handle()) throw TLoadAbandoned{};
    if (!host.empty()) {
        FLine = std::to_wstring(++FCount);
        FLine += L". ";
        FLine += host;
        lstMaliciousWebs.Add(FLine);
    }
    if (FSecurity.ListingDone) {
        FinishLoading();
        return;
    }
    lblStatus.SetCaption(IDS_SHOWALL_Loading);
    const ULONGLONG now = ::GetTickCount64();
    if (now - FShownAt >= kRepaintIntervalMs) {
        FShownAt = now;
        ShowProgress();
    }
}

void TfrmShowAll::ShowProgress() { RedrawHeldNow(lstMaliciousWebs, RDW_INVALIDATE | RDW_FRAME | RDW_UPDATENOW); }

void TfrmShowAll::FinishLoading() {
    if (!FLoading) return;
    FLoading = false;
    SetRedraw(lstMaliciousWebs, true);
    ::RedrawWindow(lstMaliciousWebs, nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME | RDW_ERASE);
    lblStatus.SetCaption(IDS_SHOWALL_LoadingFinished);
    SetListControlsEnabled(true);
}

void TfrmShowAll::SetListControlsEnabled(bool enabled) {
    ::EnableWindow(lstMaliciousWebs, enabled);
    btnRefresh.SetEnabled(enabled);
    btnClose.SetEnabled(enabled);
    btnOK.SetEnabled(enabled);
    if (enabled) FocusDefault();
}

void TfrmShowAll::FocusDefault() {
    // The keyboard works in the window from the start, and again once a load gave the buttons back.
    const HWND focus = ::GetFocus();
    const bool inside = focus && focus != Handle() && ::IsChild(Handle(), focus) && ::IsWindowEnabled(focus);
    if (!inside && ::IsWindowEnabled(btnOK.Handle()) && ::GetActiveWindow() == Handle()) ::SetFocus(btnOK.Handle());
}

void TfrmShowAll::btnCloseClick() {
    if (FLoading) return;
    SetModalResult(Handle(), IDCANCEL);
}

void TfrmShowAll::FormClose() {
    ::KillTimer(Handle(), kShowTimerId);
    FTimerRunning = false;
}

int TfrmShowAll::LineCount() const { return lstMaliciousWebs.Count(); }

std::wstring TfrmShowAll::Line(int index) const { return lstMaliciousWebs.Line(index); }

LRESULT TfrmShowAll::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_ERASEBKGND: return 1;
        case WM_ACTIVATE: {
            // Back where the user left it, or on Close.
            LRESULT result = 0;
            KeepFocusOnActivate(msg, wParam, lParam, result);
            return result;
        }
        case WM_SHOWWINDOW:
            if (wParam)
                FormShow();
            else
                FormClose();
            break;
        case WM_TIMER:
            if (wParam == kShowTimerId) {
                tmrShowTimer();
                return 0;
            }
            break;
        case WM_CLOSE:
            // Alt+F4 and the taskbar close as the close button does: never in the middle of a load,
            // and the window stays for its caller to free.
            btnCloseClick();
            return 0;
    }
    return DefaultMessage(msg, wParam, lParam);
}

}  // namespace sk
