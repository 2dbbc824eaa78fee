#include "security/ui/SecurityTab.h"

#include <utility>

#include "base/Errors.h"
#include "base/Format.h"
#include "base/Paths.h"
#include "base/ProfileFile.h"
#include "base/Scoped.h"
#include "base/Settings.h"
#include "base/StringTable.h"
#include "kit/TabKit.h"
#include "controls/Assets.h"
#include "security/ui/FormAddSecurityItem.h"
#include "security/ui/FormAllHostItems.h"

namespace sk {

namespace {

constexpr int kListId = 100;
constexpr int kAutoUpdateId = 101;
// The user's entries shown by the line that lists them; the rest are counted.
constexpr size_t kNotKeptShown = 5;

constexpr COLORREF kWarningText = RGB(0xC0, 0x1F, 0x1F);

// The tab's labels: sized to their text, on one line; a tab's page does not drag the window.
TKivLabelArgs LabelArgs(HWND parent, int left, int top, const TKivFont& font) {
    return {.Parent = parent,
            .Left = left,
            .Top = top,
            .Fonts = {.Normal = font},
            .AutoSize = true,
            .WordWrap = false,
            .MoveHandler = false};
}

// A word-wrapped label of a fixed size.
TKivLabelArgs BlockArgs(HWND parent, int left, int top, int width, int height, const TKivFont& font) {
    return {.Parent = parent,
            .Left = left,
            .Top = top,
            .Width = width,
            .Height = height,
            .Fonts = {.Normal = font},
            .AutoSize = false,
            .WordWrap = true,
            .MoveHandler = false};
}

}  // namespace

TSecurityTab::TSecurityTab(TIESecurity& security, uint32_t downloadTimeoutMs)
    : FSecurity(security), FDownloadTimeoutMs(downloadTimeoutMs) {}

TSecurityTab::~TSecurityTab() {
    // The update goes first and says nothing more: its events would reach a tab half gone.
    if (FListUpdate) {
        FListUpdate->OnProgress = nullptr;
        FListUpdate->OnDone = nullptr;
        FListUpdate.reset();
    }
}

std::wstring TSecurityTab::Caption() const { return IDS_IESECURITY_Title; }

void TSecurityTab::CreatePage(HWND sheet, HWND owner) {
    FOwner = owner;
    struct {
        TAction* Action;
        const wchar_t* Name;
        void (TSecurityTab::*Run)();
    } const actions[] = {
        {&actSecurity_TurnOn, L"actSecurity_TurnOn", &TSecurityTab::actSecurity_TurnOnExecute},
        {&actSecurity_TurnOff, L"actSecurity_TurnOff", &TSecurityTab::actSecurity_TurnOffExecute},
        {&actSecurity_ShowAll, L"actSecurity_ShowAll", &TSecurityTab::actSecurity_ShowAllExecute},
        {&actSecurity_Add, L"actSecurity_Add", &TSecurityTab::actSecurity_AddExecute},
        {&actSecurity_Delete, L"actSecurity_Delete", &TSecurityTab::actSecurity_DeleteExecute},
        {&actSecurity_Refresh, L"actSecurity_Refresh", &TSecurityTab::actSecurity_RefreshExecute},
    };
    for (const auto& a : actions) BindAction(*a.Action, owner, a.Name, [this, run = a.Run] { (this->*run)(); });
    for (TAction* hidden : {&actSecurity_Add, &actSecurity_Delete, &actSecurity_Refresh})
        hidden->SetVisible(false);
    actSecurity_Delete.SetEnabled(false);

    CreateContentPanel(FPanel, sheet, 0, 0, 752, 376);
    HWND panel = FPanel.Handle();

    const TKivFont body(L"Tahoma", 11, false, assets::kText);
    const TKivFont bold(L"Tahoma", 11, true, assets::kText);

    // The shield: exactly one of the two pictures shows.
    for (auto [image, name] : {std::pair{&imgOn, assets::kShieldOn}, std::pair{&imgOff, assets::kShieldOff}}) {
        image->Create({.Parent = panel,
                       .Left = 16,
                       .Top = 3,
                       .Width = 95,
                       .Height = 95,
                       .Picture = OptionalPicture(name),
                       .MoveHandler = false,
                       .Visible = image == &imgOff});
    }

    // The state text runs to two lines (the turned-off text has a line break). Each line gets the
    // room up to the list, in a size at which the English ones fit it whole, and a longer
    // translation wraps without running onto the buttons.
    TKivLabelArgs info = LabelArgs(panel, 142, 16, TKivFont(L"Tahoma", 12, true, assets::kText));
    info.WordWrap = true;
    info.AutoSizeMaxWidth = 242;
    info.AutoSizeMaxHeight = 54;
    lblSecurity_Info.Create(info);

    CreateActionButton(btnSecurity_TurnOn, panel, 142, 72, actSecurity_TurnOn);
    CreateActionButton(btnSecurity_TurnOff, panel, 261, 72, actSecurity_TurnOff);

    lblSecurity_Description.Create(BlockArgs(panel, 16, 128, 345, 73, bold));
    lblSecurity_Warning.Create(BlockArgs(panel, 16, 207, 345, 73, TKivFont(L"Tahoma", 11, true, kWarningText)));
    TKivLabelArgs notKept = BlockArgs(panel, 16, 282, 345, 36, body);
    notKept.Visible = false;
    lblSecurity_NotKept.Create(notKept);

    // The hidden commands' buttons: they exist, and never show.
    CreateActionButton(btnSecurity_Add, panel, 3, 315, actSecurity_Add);
    CreateActionButton(btnSecurity_Delete, panel, 84, 315, actSecurity_Delete);
    CreateActionButton(btnSecurity_Refresh, panel, 165, 315, actSecurity_Refresh);

    TKivLabelArgs status = LabelArgs(panel, 16, 358, body);
    status.AutoSizeMaxWidth = 362;  // up to the list's column
    status.TextTrimming = kttEllipsisWord;
    lblSecurity_Status.Create(status);

    lblSecurity_HostInfo.Create(LabelArgs(panel, 384, 3, body));
    lstMaliciousWebs.Create({.Parent = panel,
                             .Left = 384,
                             .Top = 24,
                             .Width = 365,
                             .Height = 293,
                             .Id = kListId,
                             .Style = WS_VSCROLL | LBS_NOTIFY | LBS_EXTENDEDSEL | LBS_NOINTEGRALHEIGHT,
                             .Font = BodyFont()});
    lstMaliciousWebs.OnSelChange = [this] { UpdateActions(); };
    TKivLabelArgs dataInfo = LabelArgs(panel, 384, 323, body);
    dataInfo.TextTrimming = kttEllipsisWord;
    lblSecurity_DataInfo.Create(dataInfo);
    CreateLinkLabel(lblSecurity_ShowAll, panel, 700, 323, IDS_IESECURITY_ShowAll,
                    [this] { actSecurity_ShowAll.Execute(); });
    PlaceShowAllLink();

    chkSecurity_AutoUpdate.Create({.Parent = panel,
                                   .Left = 384,
                                   .Top = 344,
                                   .Width = 365,
                                   .Height = 17,
                                   .Id = kAutoUpdateId,
                                   .Caption = IDS_IESECURITY_AutoUpdate,
                                   .Font = BodyFont(),
                                   // On the white page, not on the system's button face.
                                   .Color = assets::kPanel,
                                   .TextColor = assets::kText});
    chkSecurity_AutoUpdate.OnClick = [this] { RunGuarded(FOwner, [this] { chkSecurity_AutoUpdateClick(); }); };
    CreateLinkLabel(lblSecurity_RestorePoints, panel, 16, 323, IDS_SURFKEEP_RestorePoints,
                    [this] { OpenRestorePoints(); });
}

void TSecurityTab::BindUpdateWebList(TAction& action) {
    FUpdateAction = &action;
    action.OnExecute = [this] { actUpdateWebListExecute(); };
}

// ---- Texts and settings ----

void TSecurityTab::ApplySecurityTexts() {
    actSecurity_Refresh.SetCaption(IDS_IESECURITY_Refresh);
    actSecurity_Add.SetCaption(IDS_IESECURITY_Add);
    actSecurity_Delete.SetCaption(IDS_IESECURITY_Delete);
    lblSecurity_HostInfo.SetCaption(IDS_IESECURITY_WebList);
    lblSecurity_ShowAll.SetCaption(IDS_IESECURITY_ShowAll);
    PlaceShowAllLink();
    chkSecurity_AutoUpdate.SetCaption(IDS_IESECURITY_AutoUpdate);
    lblSecurity_RestorePoints.SetCaption(IDS_SURFKEEP_RestorePoints);
    lblSecurity_Warning.SetCaption(IDS_IESECURITY_Warning);
    lblSecurity_Description.SetCaption(IDS_IESECURITY_Description);
    actSecurity_TurnOn.SetCaption(IDS_IESECURITY_TurnOn);
    actSecurity_TurnOff.SetCaption(IDS_IESECURITY_TurnOff);
    SetStatus(L"");
    LoadSecuritySettings();
}

void TSecurityTab::PlaceShowAllLink() {
    // Right-aligned: the link ends at the list's right edge whatever the caption's length, and the
    // count beside it is cut short rather than run under it.
    const int left = 749 - lblSecurity_ShowAll.Width();
    if (left != lblSecurity_ShowAll.Left())
        lblSecurity_ShowAll.SetBounds(left, 323, lblSecurity_ShowAll.Width(), lblSecurity_ShowAll.Height());
    lblSecurity_DataInfo.SetAutoSizeMaxWidth(left - 8 - lblSecurity_DataInfo.Left() + 2);
}

void TSecurityTab::LoadSecuritySettings() {
    FSecurity.ShieldOn = false;
    FSecurity.AutoUpdate = false;
    const TProfileFile settings(ConfigFileName);
    try {
        if (!FileExists(ConfigFileName))
            SaveSecuritySettings();
        else if (!settings.SectionHasKey(kSettingsSection))
            SaveSecuritySettings();
    } catch (...) {
        // The switches stay off; the tab still shows them before the error is reported.
        RefreshSecurityTab();
        throw;
    }
    // The stored state is trusted; the hosts file is not inspected.
    FSecurity.ShieldOn = settings.ReadBool(kSettingsSection, kIESecurityOnKey, false);
    FSecurity.AutoUpdate = settings.ReadBool(kSettingsSection, kIESecurityAutoUpdateKey, false);
    RefreshSecurityTab();
}

void TSecurityTab::SaveSecuritySettings() {
    const TProfileFile settings(ConfigFileName);
    settings.WriteBool(kSettingsSection, kIESecurityOnKey, FSecurity.ShieldOn);
    settings.WriteBool(kSettingsSection, kIESecurityAutoUpdateKey, FSecurity.AutoUpdate);
}

template <typename TChange>
void TSecurityTab::ChangeAndRefresh(TChange&& change) {
    const bool wasOn = FSecurity.ShieldOn;
    try {
        change();
    } catch (...) {
        // A change that failed before the shield's state changed leaves the display as it was;
        // one that failed after (the settings could not be written) shows what is so, and the
        // error what failed.
        if (FSecurity.ShieldOn != wasOn) {
            try {
                RefreshSecurityTab();
            } catch (...) {
            }
        }
        throw;
    }
    RefreshSecurityTab();
}

void TSecurityTab::MachineChanged() {
    ChangeAndRefresh([this] {
        ReloadShieldState(FSecurity);
        // As at start: a settings file left without the section (a restore removes what it added)
        // gets both switches written.
        const TProfileFile settings(ConfigFileName);
        if (!FileExists(ConfigFileName) || !settings.SectionHasKey(kSettingsSection)) SaveSecuritySettings();
    });
}

// ---- The display ----

void TSecurityTab::RefreshSecurityTab() {
    const bool on = FSecurity.ShieldOn;
    imgOn.SetVisible(on);
    imgOff.SetVisible(!on);
    actSecurity_TurnOn.SetEnabled(!on);
    actSecurity_TurnOff.SetEnabled(on);
    // The focus must not stay on the button that was just disabled.
    const HWND focus = ::GetFocus();
    if (focus && (focus == btnSecurity_TurnOn.Handle() || focus == btnSecurity_TurnOff.Handle()) &&
        !::IsWindowEnabled(focus))
        ::SetFocus(on ? btnSecurity_TurnOff.Handle() : btnSecurity_TurnOn.Handle());
    lblSecurity_Info.SetCaption(on ? IDS_IESECURITY_TurnOnInfo
                                   : Fmt(IDS_IESECURITY_TurnOffInfo, actSecurity_TurnOn.Caption()));
    chkSecurity_AutoUpdate.SetChecked(FSecurity.AutoUpdate);

    {
        // Drawn once at the end.
        const TRedrawOff hold(lstMaliciousWebs);
        lstMaliciousWebs.Clear();
        FSecurity.ListHosts(100, [this](const std::wstring& host) { AddListedHost(host); });
    }
    UpdateActions();
    lblSecurity_DataInfo.SetCaption(Fmt(IDS_IESECURITY_DataInfo, FSecurity.CountHosts()));

    // While the hosts file is the shield's, the user's own entries that point public names at
    // public addresses do not work: the user sees which, to judge them.
    std::wstring notKept;
    if (FSecurity.State().HostsIsShield) {
        const std::vector<THostsUserEntry> entries = FSecurity.UserEntriesNotKept();
        for (size_t i = 0; i < entries.size() && i < kNotKeptShown; ++i)
            notKept += (i == 0 ? L"" : L"; ") + entries[i].Text;
        if (entries.size() > kNotKeptShown) notKept += L"; \x2026";
        if (!notKept.empty()) notKept = IDS_IESECURITY_NotKept + L": " + notKept;
    }
    lblSecurity_NotKept.SetCaption(notKept);
    lblSecurity_NotKept.SetVisible(!notKept.empty());
}

void TSecurityTab::AddListedHost(const std::wstring& host) {
    const std::wstring name = Trimmed(host);
    if (name.empty()) return;
    lstMaliciousWebs.Add(std::to_wstring(lstMaliciousWebs.Count() + 1) + L". " + name);
}

std::vector<std::wstring> TSecurityTab::ListedLines() const { return lstMaliciousWebs.Lines(); }

void TSecurityTab::SetStatus(const std::wstring& text) {
    FStatus = text;
    lblSecurity_Status.SetCaption(text);
}

void TSecurityTab::UpdateActions() {
    if (!lstMaliciousWebs.Handle()) return;
    actSecurity_Delete.SetEnabled(lstMaliciousWebs.SelectedCount() > 0);
}

// ---- The switches ----

void TSecurityTab::actSecurity_TurnOnExecute() {
    if (HostsBeingListed()) return;
    // A refused list, a restore point that cannot be made or a file that cannot be written raises
    // here; the tab then shows what is so.
    ChangeAndRefresh([this] {
        const TShieldChangeResult done = TurnShieldOnWithRestorePoint(FSecurity, ProgramRestoreStore());
        if (!done.TurnOn.BackupNote.empty()) SetStatus(done.TurnOn.BackupNote);
    });
}

void TSecurityTab::actSecurity_TurnOffExecute() {
    if (HostsBeingListed()) return;
    ChangeAndRefresh([this] {
        const TShieldChangeResult done = TurnShieldOffWithRestorePoint(FSecurity, ProgramRestoreStore());
        if (!done.TurnOff.Note.empty()) SetStatus(done.TurnOff.Note);
    });
}

void TSecurityTab::chkSecurity_AutoUpdateClick() {
    const bool old = FSecurity.AutoUpdate;
    FSecurity.AutoUpdate = chkSecurity_AutoUpdate.Checked();
    try {
        SaveSecuritySettings();
    } catch (...) {
        // Not stored, so not chosen: the box shows the choice that still holds.
        FSecurity.AutoUpdate = old;
        chkSecurity_AutoUpdate.SetChecked(old);
        throw;
    }
}

// ---- The update ----

void TSecurityTab::FormShow() {
    if (!FSecurity.AutoUpdate) return;
    if (FUpdateAction)
        FUpdateAction->Execute();
    else
        actUpdateWebListExecute();
}

void TSecurityTab::actUpdateWebListExecute() {
    if (!FListUpdate) {
        FListUpdate = std::make_unique<THostsListUpdate>(FSecurity);
        FListUpdate->TimeoutMs = FDownloadTimeoutMs;
        FListUpdate->OnProgress = [this](const TListUpdateProgress& progress) {
            const TDepth depth(FUpdateEventDepth);
            DownloadProgress(progress);
        };
        FListUpdate->OnDone = [this](const TListUpdateResult& result) {
            const TDepth depth(FUpdateEventDepth);
            UpdateDone(result);
        };
    }
    if (FListUpdate->Busy()) {
        SetStatus(IDS_IESECURITY_StartFailed);
        return;
    }
    // The store as the settings say now; it stays while this update runs.
    FUpdateStore = std::make_unique<TRestoreStore>(ProgramRestoreStore());
    FListUpdate->SetRestoreStore(FUpdateStore.get());
    SetStatus(FListUpdate->Start() ? IDS_IESECURITY_StartDownload : IDS_IESECURITY_StartFailed);
}

void TSecurityTab::DownloadProgress(const TListUpdateProgress& progress) {
    SetStatus(Fmt(IDS_IESECURITY_Downloading, progress.CurrentSize / 1024.0, progress.TotalSize / 1024.0,
                  progress.SpeedBPS / 1024.0));
}

void TSecurityTab::UpdateDone(const TListUpdateResult& result) {
    SetStatus(result.Text());
    RunGuarded(FOwner, [&] {
        // While the shield is on, the new list is the hosts file already; while it is off, it
        // waits in the list file until the user turns the shield on.
        if (result.Installed) RefreshSecurityTab();
        if (!result.HostsProblem.empty()) throw TError(result.HostsProblem);
    });
}

void TSecurityTab::FormClose() {
    if (FListUpdate) {
        // Stopped before it installed anything, the list and the hosts file stay as they were.
        FListUpdate->Stop();
        // From inside one of its own events the update only hears the request; it goes with the
        // tab.
        if (FUpdateEventDepth == 0) FListUpdate.reset();
    }
}

// ---- The windows ----

void TSecurityTab::actSecurity_ShowAllExecute() {
    if (HostsBeingListed()) return;
    TfrmShowAll form(FSecurity);
    form.ShowModal(FOwner);
}

void TSecurityTab::actSecurity_AddExecute() {
    if (HostsBeingListed()) return;
    TfrmAddSecurityItem dialog;
    if (dialog.ShowModal(FOwner) != IDOK) return;
    const std::wstring host = Trimmed(dialog.Text());
    AddHostWithRestorePoint(FSecurity, ProgramRestoreStore(), host, true);
    AddListedHost(host);
}

void TSecurityTab::actSecurity_DeleteExecute() {
    if (HostsBeingListed()) return;
    const std::vector<int> selected = lstMaliciousWebs.SelectedIndexes();
    if (selected.empty()) return;
    const std::vector<std::wstring> lines = ListedLines();
    for (auto it = selected.rbegin(); it != selected.rend(); ++it) {
        const int index = *it;
        if (index < 0 || static_cast<size_t>(index) >= lines.size()) continue;
        const std::wstring& line = lines[static_cast<size_t>(index)];
        const size_t mark = line.find(L". ");
        DeleteHostWithRestorePoint(FSecurity, ProgramRestoreStore(),
                                   mark == std::wstring::npos ? line : line.substr(mark + 2));
        lstMaliciousWebs.Delete(index);
    }
    UpdateActions();
}

}  // namespace sk
