#include "plugins/ui/PlugInTab.h"

#include <algorithm>
#include <any>

#include "base/Format.h"
#include "base/MessageBox.h"
#include "base/Settings.h"
#include "base/StringTable.h"
#include "kit/TabKit.h"
#include "controls/Assets.h"
#include "plugins/PlugInRemoval.h"

namespace sk {

namespace {

constexpr int kTreeId = 100;

std::wstring CountText(const TCheckNode& group) {
    return Fmt(IDS_IEPLUGIN_ItemCount, static_cast<long long>(group.Children.size()));
}

}  // namespace

TPlugInTab::TPlugInTab(TIEPlugInCleaner& cleaner) : FCleaner(cleaner) {}

TPlugInTab::~TPlugInTab() = default;

std::wstring TPlugInTab::Caption() const { return IDS_IEPLUGIN_Title; }

void TPlugInTab::CreatePage(HWND sheet, HWND owner) {
    FOwner = owner;
    struct {
        TAction* Action;
        const wchar_t* Name;
        void (TPlugInTab::*Run)();
    } const actions[] = {
        {&actPlugIn_Refresh, L"actPlugIn_Refresh", &TPlugInTab::actPlugIn_RefreshExecute},
        {&actPlugIn_Clean, L"actPlugIn_Clean", &TPlugInTab::actPlugIn_CleanExecute},
        {&actPlugIn_SelectAll, L"actPlugIn_SelectAll", &TPlugInTab::actPlugIn_SelectAllExecute},
        {&actPlugIn_SelectNone, L"actPlugIn_SelectNone", &TPlugInTab::actPlugIn_SelectNoneExecute},
    };
    for (const auto& a : actions) BindAction(*a.Action, owner, a.Name, [this, run = a.Run] { (this->*run)(); });

    CreateContentPanel(FPanel, sheet, 0, 0, 752, 376);
    HWND panel = FPanel.Handle();

    HWND tree = tvPlugIn.Create(panel, 3, 0, 744, 330, kTreeId);
    ::SendMessageW(tree, WM_SETFONT, reinterpret_cast<WPARAM>(BodyFont()), FALSE);
    // The check boxes are 16 pixels high; the font alone would set the rows closer than that.
    TreeView_SetItemHeight(tree, 18);

    CreateLinkLabel(lblPlugIn_SelectAll, panel, 3, 337, IDS_SURFKEEP_SelectAll,
                    [this] { actPlugIn_SelectAll.Execute(); });
    CreateLinkLabel(lblPlugIn_SelectNone, panel, 60, 337, IDS_SURFKEEP_SelectNone,
                    [this] { actPlugIn_SelectNone.Execute(); });

    CreateStatusLabel(lblPlugIn_Status, panel, 3, 357, 500);

    CreateActionButton(btnIEPlugIn_Scan, panel, 591, 343, actPlugIn_Refresh);
    CreateActionButton(btnIEPlugIn_Clean, panel, 672, 343, actPlugIn_Clean);
    CreateLinkLabel(lblPlugIn_RestorePoints, panel, 500, 337, IDS_SURFKEEP_RestorePoints,
                    [this] { OpenRestorePoints(); });
}

void TPlugInTab::ApplyTexts() {
    actPlugIn_Refresh.SetCaption(IDS_IEPLUGIN_Refresh);
    actPlugIn_Clean.SetCaption(IDS_IEPLUGIN_Clean);
    actPlugIn_SelectAll.SetCaption(IDS_SURFKEEP_SelectAll);
    actPlugIn_SelectNone.SetCaption(IDS_SURFKEEP_SelectNone);
    lblPlugIn_SelectAll.SetCaption(IDS_SURFKEEP_SelectAll);
    lblPlugIn_SelectNone.SetCaption(IDS_SURFKEEP_SelectNone);
    // A longer translation of the first link must not run into the second; the English texts keep
    // their gap of three pixels.
    const int noneLeft = std::max(60, lblPlugIn_SelectAll.Left() + lblPlugIn_SelectAll.Width() + 3);
    if (noneLeft != lblPlugIn_SelectNone.Left())
        lblPlugIn_SelectNone.SetBounds(noneLeft, lblPlugIn_SelectNone.Top(), lblPlugIn_SelectNone.Width(),
                                       lblPlugIn_SelectNone.Height());
    // The link ends short of the buttons, whatever the caption's length.
    lblPlugIn_RestorePoints.SetCaption(IDS_SURFKEEP_RestorePoints);
    lblPlugIn_RestorePoints.SetBounds(579 - lblPlugIn_RestorePoints.Width(), 337, lblPlugIn_RestorePoints.Width(),
                                      lblPlugIn_RestorePoints.Height());
    SetStatus(L"");
}

void TPlugInTab::Start() {
    ResetPlugInTree();
    actPlugIn_RefreshExecute();
}

void TPlugInTab::MachineChanged() { actPlugIn_RefreshExecute(); }

// ---- The tree ----

TCheckNode* TPlugInTab::ContextMenuGroup() const { return FindCategoryNode(tvPlugIn, IDS_IEPLUGIN_ContextMenu); }

TCheckNode* TPlugInTab::ComAddOnGroup() const { return FindCategoryNode(tvPlugIn, IDS_IEPLUGIN_BHOPlugIn); }

void TPlugInTab::ResetPlugInTree() {
    const TCheckTreeUpdate update(tvPlugIn);
    tvPlugIn.Clear();
    AddCheckNode(tvPlugIn, nullptr, csUnchecked, ctTriState, -1, IDS_IEPLUGIN_ContextMenu);
    AddCheckNode(tvPlugIn, nullptr, csUnchecked, ctTriState, -1, IDS_IEPLUGIN_BHOPlugIn);
}

void TPlugInTab::FillMenuExtensions() {
    TCheckNode* group = ContextMenuGroup();
    if (!group) return;
    const TCheckTreeUpdate update(tvPlugIn);
    for (const std::wstring& name : FCleaner.ListMenuExtensions())
        AddCheckNode(tvPlugIn, group, csUnchecked, ctCheckBox, -1, name);
    tvPlugIn.SetText(*group, IDS_IEPLUGIN_ContextMenu + CountText(*group));
    tvPlugIn.Expand(*group, true);
}

void TPlugInTab::FillToolbarsAndBHOs() {
    TCheckNode* group = ComAddOnGroup();
    if (!group) return;
    const TCheckTreeUpdate update(tvPlugIn);
    for (TIEPlugInInfo& record : FCleaner.ListToolbarsAndBHOs()) {
        TCheckNode* node = AddCheckNode(tvPlugIn, group, csUnchecked, ctCheckBox, -1, record.Name);
        const TIEBHOInfo& info = record.BHOInfo;
        const struct {
            TPlugInDetail Detail;
            std::wstring Text;
        } details[] = {
            {TPlugInDetail::File, IDS_IEPLUGIN_BHOFile + info.FileName},
            {TPlugInDetail::AppID, IDS_IEPLUGIN_BHOAppID + info.AppID},
            {TPlugInDetail::ComObject, IDS_IEPLUGIN_BHOComObject + info.ProgID},
            {TPlugInDetail::BrowserHelperObject, IDS_IEPLUGIN_BHO + info.CLSID},
        };
        for (const auto& d : details)
            AddCheckNode(tvPlugIn, node, csUnchecked, ctNone, -1, d.Text)->Data = d.Detail;
        // The record goes with its node: a removal must reach the add-on in the registry view it
        // was listed in, and only there.
        node->Data = std::move(record);
    }
    tvPlugIn.SetText(*group, IDS_IEPLUGIN_BHOPlugIn + CountText(*group));
    tvPlugIn.Expand(*group, true);
}

TPlugInSelection TPlugInTab::CollectPlugInSelection() const {
    TPlugInSelection selection;
    const auto add = [&selection](TPlugInSelectionEntry entry) {
        // Two ticked nodes of one add-on (listed as toolbar and as helper object) name the same
        // registration; naming it twice would count every removal of it twice over.
        const bool known = std::any_of(selection.begin(), selection.end(), [&](const TPlugInSelectionEntry& e) {
            return e == entry;
        });
        if (!known) selection.push_back(std::move(entry));
    };
    TCheckNode* const menuGroup = ContextMenuGroup();
    TCheckNode* const comGroup = ComAddOnGroup();
    for (const TCheckNode* group : {menuGroup, comGroup == menuGroup ? nullptr : comGroup}) {
        if (!group) continue;
        for (const TCheckNode* node : group->Children) {
            if (node->CheckState != csChecked) continue;
            // The node's own record says what it is: a context-menu extension has none.
            const auto* record = std::any_cast<TIEPlugInInfo>(&node->Data);
            if (!record) {
                add({TPlugInKind::MenuExtension, node->Text, std::nullopt});
                continue;
            }
            // By its exact CLSID, in the view it was listed in: no text of the node's lines, which may
            // hold anything (another add-on's CLSID among them).
            add({TPlugInKind::ComAddOn, record->BHOInfo.CLSID, record->View});
        }
    }
    return selection;
}

// ---- Actions ----

void TPlugInTab::actPlugIn_RefreshExecute() {
    ResetPlugInTree();
    SetStatus(Fmt(IDS_IEPLUGIN_Scanning, IDS_IEPLUGIN_ContextMenu));
    FillMenuExtensions();
    SetStatus(L"");
    FillToolbarsAndBHOs();
}

void TPlugInTab::actPlugIn_CleanExecute() {
    const TPlugInSelection selection = CollectPlugInSelection();
    TPlugInRemovalResult removal;
    try {
        removal = RemovePlugInsWithRestorePoint(FCleaner, ProgramRestoreStore(), selection,
                                                [this](const std::wstring& name) { OnPlugInCleanProgress(name); });
    } catch (...) {
        // Some add-ons may be gone and others not (or none, when the restore point could not be
        // made): the list shows what is registered now, and the error box then says what went wrong.
        try {
            Relist();
        } catch (...) {
            // The clean's own error is the one to report.
        }
        throw;
    }
    Relist();
    FLastPointId = removal.PointId;
    // What became of each DLL: kept where it lies (a file of Windows, or one another program still
    // uses) or moved into the backup. Told in full, over the fresh listing.
    if (removal.Report.size() > 1) {
        std::wstring text = removal.Report[0] + L"\r\n";
        for (size_t i = 1; i < removal.Report.size(); ++i) text += L"\r\n" + removal.Report[i];
        ShowMessageBox(FOwner, text, IDS_SURFKEEP_FormTitle, MB_OK | MB_ICONINFORMATION,
                       static_cast<WORD>(LanguageId & 0xFFFF), 0);
    }
}

void TPlugInTab::Relist() {
    // The report of the clean stays on the status line over the listing that follows it.
    const std::wstring report = FStatus, hint = lblPlugIn_Status.Hint();
    actPlugIn_RefreshExecute();
    SetStatus(report, hint);
}

void TPlugInTab::OnPlugInCleanProgress(const std::wstring& name) {
    if (FCleaner.Finished) {
        // The regedit file that undoes the registry part of the clean, when it removed anything.
        SetStatus(Fmt(IDS_IEPLUGIN_CleanReport, FCleaner.CleanedCount), FCleaner.BackupFileName);
        ResetPlugInTree();
    } else {
        SetStatus(Fmt(IDS_IEPLUGIN_Cleaning, name));
    }
}

void TPlugInTab::actPlugIn_SelectAllExecute() {
    const TCheckTreeUpdate update(tvPlugIn);
    SetAllCheckStates(tvPlugIn, csChecked);
}

void TPlugInTab::actPlugIn_SelectNoneExecute() {
    const TCheckTreeUpdate update(tvPlugIn);
    SetAllCheckStates(tvPlugIn, csUnchecked);
}

// ---- Status line ----

void TPlugInTab::SetStatus(const std::wstring& text, const std::wstring& hint) {
    FStatus = text;
    if (lblPlugIn_Status.Caption() != text) lblPlugIn_Status.SetCaption(text);
    if (lblPlugIn_Status.Hint() != hint) lblPlugIn_Status.SetHint(hint);
    // Listing and removing let no message through; the status line is painted at once so that a
    // long clean shows the add-on being removed.
    if (HWND panel = FPanel.Handle()) ::UpdateWindow(panel);
}

}  // namespace sk
