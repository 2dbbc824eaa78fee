#include "clean/ui/CleanTab.h"

#include <algorithm>
#include <any>
#include <exception>
#include <utility>

#include "base/Errors.h"
#include "base/Format.h"
#include "base/Handles.h"
#include "base/Paths.h"
#include "base/ProfileFile.h"
#include "base/Scoped.h"
#include "base/Settings.h"
#include "base/StringTable.h"
#include "kit/TabKit.h"
#include "controls/Assets.h"

namespace sk {

const std::array<const wchar_t*, 4> IECleanSettingsKeys = {L"IETempFiles", L"IECookies", L"IEAddress", L"IEHistory"};

namespace {

const std::array<const std::wstring*, 4> kCaptions = {&IDS_IECLEAN_IETempFiles, &IDS_IECLEAN_IECookies,
                                                      &IDS_IECLEAN_IEAddress, &IDS_IECLEAN_IEHistory};

constexpr int kTreeId = 100;
constexpr UINT_PTR kStatusTimer = 0x5C1E;
// A status line rewritten for every one of thousands of items would cost more than the work it
// reports; twenty texts a second read the same to the eye.
constexpr ULONGLONG kStatusIntervalMs = 50;
// While a scan fills the tree with its drawing off, it is shown this often so the user sees it grow.
constexpr ULONGLONG kRepaintIntervalMs = 250;
// The notice that a clean cannot be undone ends here, short of the Scan button.
constexpr int kNoticeRight = 502;
constexpr int kNoticeTop = 337;

struct TSizeText {
    const std::wstring* Pattern;
    double Value;  // used for the three real forms
};

TSizeText SizePattern(uint64_t bytes) {
    constexpr uint64_t KB = 1024, MB = KB * 1024, GB = MB * 1024;
    const double b = static_cast<double>(bytes);
    if (bytes > GB) return {&IDS_IECLEAN_FileSizeGB, b / 1024 / 1024 / 1024};
    if (bytes > MB) return {&IDS_IECLEAN_FileSizeMB, b / 1024 / 1024};
    if (bytes > KB) return {&IDS_IECLEAN_FileSizeKB, b / 1024};
    return {&IDS_IECLEAN_FileSizeByte, 0};
}

}  // namespace

std::wstring FormatByteSize(uint64_t bytes) {
    const TSizeText size = SizePattern(bytes);
    if (size.Pattern == &IDS_IECLEAN_FileSizeByte) return Fmt(*size.Pattern, static_cast<long long>(bytes));
    return Fmt(*size.Pattern, size.Value);
}

std::wstring FormatCountAndSize(uint64_t bytes, int32_t count) {
    // Each half is filled on its own, so a translation that drops the count's placeholder cannot
    // hand the count to the size's.
    return L"[" + Fmt(IDS_IECLEAN_FileCount, count) + L"," + FormatByteSize(bytes) + L"]";
}

TCleanTab::TCleanTab(TIECleaner& cleaner) : FCleaner(cleaner) {}

TCleanTab::~TCleanTab() { FPanel.StopTimer(kStatusTimer); }

std::wstring TCleanTab::Caption() const { return IDS_IECLEAN_Title; }

void TCleanTab::CreatePage(HWND sheet, HWND owner) {
    FOwner = owner;
    BindAction(actIEClean_Scan, owner, L"actIEClean_Scan", [this] { actIEClean_ScanExecute(); });
    BindAction(actIEClean_Clean, owner, L"actIEClean_Clean", [this] { actIEClean_CleanExecute(); });
    BindAction(actIEClean_Stop, owner, L"actIEClean_Stop", [this] { actIEClean_StopExecute(); });
    actIEClean_Stop.SetEnabled(false);
    actIEClean_Clean.SetEnabled(false);

    CreateContentPanel(FPanel, sheet, 0, 0, 752, 376);
    HWND panel = FPanel.Handle();

    // The tree tells its parent about every item it deletes: the panel passes those notifications by
    // at no cost (a panel that a window subclass listened to paid a round trip to the server for each
    // of them under Wine, and clearing 20,000 items froze the window for seconds).
    HWND tree = tvIEClean.Create(panel, 3, 3, 744, 330, kTreeId);
    ::SendMessageW(tree, WM_SETFONT, reinterpret_cast<WPARAM>(BodyFont()), FALSE);
    // A little more air between the rows than the font alone gives: the check boxes and icons are 16
    // pixels high.
    TreeView_SetItemHeight(tree, 18);
    tvIEClean.OnChecking = [this](TCheckNode& node, TCheckState state) { return OnTreeChecking(node, state); };
    tvIEClean.OnChecked = [this](TCheckNode& node) { OnTreeChecked(node); };
    CreateIcons();

    // Disabled links must look disabled: they do nothing while an operation runs.
    auto link = [&](TKivLabel& label, int left, const std::wstring& caption, void (TCleanTab::*click)()) {
        TKivLabelArgs args = LinkLabelArgs(panel, left, 337, caption,
                                           [this, click] { RunGuarded(FOwner, [this, click] { (this->*click)(); }); });
        args.Fonts.Disabled = TKivFont(L"Tahoma", 11, false, assets::kTextDisabled).SetUnderline(true);
        args.FontsFlags |= KivFontsFlag(kmfDisabled);
        label.Create(args);
    };
    link(lblClean_SelectAll, 3, IDS_SURFKEEP_SelectAll, &TCleanTab::lblClean_SelectAllClick);
    link(lblClean_SelectNone, 60, IDS_SURFKEEP_SelectNone, &TCleanTab::lblClean_SelectNoneClick);

    CreateStatusLabel(lblCleanStatus, panel, 3, 357, 500);
    // On the links' line, beside the buttons: said before every clean, without asking every time.
    lblCleanNotice.Create({.Parent = panel,
                           .Left = 150,
                           .Top = kNoticeTop,
                           .Width = kNoticeRight - 150,
                           .Height = 17,
                           .Fonts = {.Normal = TKivFont(L"Tahoma", 11, false, assets::kTextMuted)},
                           .AutoSize = false,
                           .WordWrap = false,
                           .TextAlignment = kalTopRight,
                           .TextTrimming = kttEllipsisWord,
                           .Visible = false});

    CreateActionButton(btnScanIETemp, panel, 510, 343, actIEClean_Scan);
    CreateActionButton(btnClean, panel, 591, 343, actIEClean_Clean);
    CreateActionButton(btnStop, panel, 672, 343, actIEClean_Stop);
}

void TCleanTab::CreateIcons() {
    // At the tree's scale; a missing picture gives a blank icon, which keeps the others at their indexes.
    tvIEClean.SetIcons(std::vector<std::wstring>(std::begin(assets::kCleanIcons), std::end(assets::kCleanIcons)));
}

void TCleanTab::ApplyTexts() {
    actIEClean_Scan.SetCaption(IDS_SURFKEEP_Scan);
    actIEClean_Clean.SetCaption(IDS_IECLEAN_ActClean);
    actIEClean_Stop.SetCaption(IDS_IECLEAN_ActStop);
    lblClean_SelectAll.SetCaption(IDS_SURFKEEP_SelectAll);
    lblClean_SelectNone.SetCaption(IDS_SURFKEEP_SelectNone);
    // A longer translation of the first link must not run into the second.
    const int noneLeft = std::max(60, lblClean_SelectAll.Left() + lblClean_SelectAll.Width() + 8);
    if (noneLeft != lblClean_SelectNone.Left())
        lblClean_SelectNone.SetBounds(noneLeft, lblClean_SelectNone.Top(), lblClean_SelectNone.Width(),
                                      lblClean_SelectNone.Height());
    lblCleanNotice.SetCaption(IDS_IECLEAN_NotUndoable);
    PlaceNotice();
    SetStatus(L"", true);
}

void TCleanTab::PlaceNotice() {
    // Between the second link and the buttons, whatever the links' translations take.
    const int left = lblClean_SelectNone.Left() + lblClean_SelectNone.Width() + 16;
    const int width = std::max(0, kNoticeRight - left);
    if (left != lblCleanNotice.Left() || width != lblCleanNotice.Width())
        lblCleanNotice.SetBounds(left, kNoticeTop, width, lblCleanNotice.Height());
}

void TCleanTab::Start() { RebuildCleanTree(); }

void TCleanTab::FormClose() {
    // The window goes; the operation must not go on working for it.
    if (CleanBusy) FCleaner.StopRequested = true;
}

// ---- Remembered choices ----

void TCleanTab::LoadCleanChoices() {
    for (size_t i = 0; i < CleanCategories.size(); ++i) {
        CleanCategories[i].Caption = *kCaptions[i];
        CleanCategories[i].CheckState = csChecked;
    }
    const TProfileFile settings(ConfigFileName);
    if (!FileExists(ConfigFileName) || !settings.SectionHasKey(kSettingsSection)) {
        SaveCleanChoices();
        return;
    }
    for (size_t i = 0; i < CleanCategories.size(); ++i)
        CleanCategories[i].CheckState =
            settings.ReadBool(kSettingsSection, IECleanSettingsKeys[i], true) ? csChecked : csUnchecked;
}

void TCleanTab::SaveCleanChoices() {
    const TProfileFile settings(ConfigFileName);
    for (size_t i = 0; i < CleanCategories.size(); ++i)
        settings.WriteBool(kSettingsSection, IECleanSettingsKeys[i], CleanCategories[i].CheckState == csChecked);
}

bool TCleanTab::tvIECleanChecking(TCheckNode& node, TCheckState newState) {
    // Only the four category nodes carry a choice. An item's text may well contain a caption (a
    // history entry titled "Internet Explorer History"), and ticking it must not change a choice.
    if (node.Parent) return true;
    for (size_t i = 0; i < CleanCategories.size(); ++i) {
        TIECleanCategory& category = CleanCategories[i];
        if (node.Text.find(category.Caption) == std::wstring::npos) continue;
        const TCheckState old = category.CheckState;
        // A category the user wants some of is wanted: the next scan looks at it again, with every
        // item ticked (which items were unticked is not remembered from one scan to the next).
        category.CheckState = newState == csUnchecked ? csUnchecked : csChecked;
        if (FRebuilding) {
            // Written once, when all four nodes stand.
            FRebuildSave = true;
            return true;
        }
        try {
            SaveCleanChoices();
        } catch (const TError&) {
            category.CheckState = old;
            throw;
        }
        break;
    }
    return true;
}

bool TCleanTab::OnTreeChecking(TCheckNode& node, TCheckState newState) {
    if (FDriving > 0) return tvIECleanChecking(node, newState);
    // A click or the Space key in the tree: no error may leave the tree's own message handling. The
    // mark then stays as the settings file has it.
    try {
        return tvIECleanChecking(node, newState);
    } catch (const TError& e) {
        ShowErrorBox(FOwner, e.Message());
        return false;
    }
}

void TCleanTab::OnTreeChecked(TCheckNode& node) {
    // History that can only be cleaned as a whole: its items cannot be ticked one by one, and show
    // what their category says.
    if (!FHistoryWholeOnly || node.Parent || node.CheckState == csMixed) return;
    if (&node != FindCategoryNode(tvIEClean, CleanCategories[IECleanHistory - 1].Caption)) return;
    const TCheckTreeUpdate update(tvIEClean);
    // The category is settled already; each item settling it again would cost the square of their
    // number.
    const TScopedValue tracking(tvIEClean.TriStateTracking, false);
    for (TCheckNode* item : node.Children) {
        tvIEClean.SetDisabled(*item, false);
        tvIEClean.SetCheckState(*item, node.CheckState);
        tvIEClean.SetDisabled(*item, true);
    }
}

// ---- The tree ----

void TCleanTab::RebuildCleanTree() {
    // A settings file that cannot be written must not leave the tree without its categories (or,
    // after a clean, with items that are gone): the tree is built from the choices as they stand, and
    // the first error is raised once it is complete.
    std::exception_ptr error;
    try {
        LoadCleanChoices();
    } catch (const TError&) {
        error = std::current_exception();
    }
    {
        const TDepth driving(FDriving);
        const TCheckTreeUpdate update(tvIEClean);
        FStaleCaptions.fill(nullptr);
        FHistoryWholeOnly = false;
        tvIEClean.Clear();
        const TScopedValue rebuilding(FRebuilding, true);
        FRebuildSave = false;
        for (size_t i = 0; i < CleanCategories.size(); ++i)
            AddCheckNode(tvIEClean, nullptr, CleanCategories[i].CheckState, ctTriState, static_cast<int>(i),
                         CleanCategories[i].Caption);
    }
    // The marks just set are written back once for the four (each write rewrites the settings file,
    // and after a clean the window waits for it). They were just read from the file, so nothing is
    // lost when they cannot be written: the error is the only one reported.
    if (FRebuildSave && !error) {
        try {
            SaveCleanChoices();
        } catch (const TError&) {
            error = std::current_exception();
        }
    }
    if (error) std::rethrow_exception(error);
}

TIECleanCategories TCleanTab::ScanCategorySet() const {
    TIECleanCategories set;
    for (size_t i = 0; i < CleanCategories.size(); ++i) {
        const TCheckNode* node = FindCategoryNode(tvIEClean, CleanCategories[i].Caption);
        if (node && node->CheckState == csChecked) set.Include(static_cast<int>(i) + 1);
    }
    return set;
}

TIECleanCategories TCleanTab::CleanCategorySet() const {
    TIECleanCategories set;
    for (size_t i = 0; i < CleanCategories.size(); ++i) {
        const TCheckNode* node = FindCategoryNode(tvIEClean, CleanCategories[i].Caption);
        if (!node || node->Children.empty()) continue;
        bool chosen = node->CheckState == csChecked;
        for (const TCheckNode* item : node->Children) {
            if (chosen) break;
            chosen = item->CheckState == csChecked;
        }
        if (chosen) set.Include(static_cast<int>(i) + 1);
    }
    return set;
}

const TIECleanItem* TCleanTab::FoundItemOf(const TCheckNode& node) const {
    const size_t* index = std::any_cast<size_t>(&node.Data);
    if (!index || *index >= FCleaner.FoundItems.size()) return nullptr;
    const TIECleanItem& item = FCleaner.FoundItems[*index];
    // Never an item the user was not shown.
    return item.Text == node.Text ? &item : nullptr;
}

TIECleanSelection TCleanTab::CleanSelection() const {
    TIECleanSelection selection;
    for (size_t i = 0; i < CleanCategories.size(); ++i) {
        const int category = static_cast<int>(i) + 1;
        const TCheckNode* node = FindCategoryNode(tvIEClean, CleanCategories[i].Caption);
        if (!node || node->Children.empty()) continue;
        if (category == IECleanHistory && FHistoryWholeOnly) {
            if (node->CheckState != csUnchecked) selection.Whole.Include(category);
            continue;
        }
        const bool allTicked =
            std::all_of(node->Children.begin(), node->Children.end(),
                        [](const TCheckNode* item) { return item->CheckState == csChecked; });
        if (allTicked && category != FScanCut) {
            selection.Whole.Include(category);
            continue;
        }
        for (const TCheckNode* item : node->Children)
            if (item->CheckState == csChecked)
                if (const TIECleanItem* found = FoundItemOf(*item)) selection.Items.push_back(*found);
    }
    return selection;
}

void TCleanTab::UpdateCleanActions() {
    const bool idle = !CleanBusy;
    const bool cleanable = idle && !CleanCategorySet().Empty();
    actIEClean_Scan.SetEnabled(idle);
    actIEClean_Clean.SetEnabled(cleanable);
    lblCleanNotice.SetVisible(cleanable);
    actIEClean_Stop.SetEnabled(!idle);
    if (HWND tree = tvIEClean.Handle(); tree && (::IsWindowEnabled(tree) != FALSE) != idle) ::EnableWindow(tree, idle);
    lblClean_SelectAll.SetEnabled(idle);
    lblClean_SelectNone.SetEnabled(idle);
}

void TCleanTab::lblClean_SelectAllClick() {
    const TDepth driving(FDriving);
    const TCheckTreeUpdate update(tvIEClean);
    SetAllCheckStates(tvIEClean, csChecked);
}

void TCleanTab::lblClean_SelectNoneClick() {
    const TDepth driving(FDriving);
    const TCheckTreeUpdate update(tvIEClean);
    SetAllCheckStates(tvIEClean, csUnchecked);
}

// ---- Status line ----

void TCleanTab::SetStatus(const std::wstring& text, bool now) {
    FStatus = text;
    if (now || ::GetTickCount64() - FStatusShownAt >= kStatusIntervalMs) {
        FlushStatus();
    } else if (!FStatusPending) {
        // Shown by the timer if no newer text comes in time.
        FStatusPending = true;
        FPanel.StartTimer(kStatusTimer, static_cast<UINT>(kStatusIntervalMs), [this] { FlushStatus(); });
    }
}

void TCleanTab::FlushStatus() {
    if (FStatusPending) {
        FStatusPending = false;
        FPanel.StopTimer(kStatusTimer);
    }
    if (lblCleanStatus.Caption() != FStatus) lblCleanStatus.SetCaption(FStatus);
    FStatusShownAt = ::GetTickCount64();
}

// ---- Scan and clean ----

void TCleanTab::BeginFill() {
    FFilling = true;
    // Items arrive checked below a checked category, so no category's mark can change while the tree
    // fills; settling it after each of thousands of items would cost the square of their number.
    tvIEClean.TriStateTracking = false;
    tvIEClean.BeginUpdate();
    FRepaintedAt = ::GetTickCount64();
}

void TCleanTab::EndFill() {
    if (!FFilling) return;
    FFilling = false;
    ShowStaleCaptions();
    tvIEClean.TriStateTracking = true;
    tvIEClean.EndUpdate();
}

void TCleanTab::ShowStaleCaptions() {
    for (TCheckNode*& node : FStaleCaptions) {
        if (node) tvIEClean.SetText(*node, node->Text);
        node = nullptr;
    }
}

void TCleanTab::EndOperation() {
    // Normally the engine's final call has done all this already.
    EndFill();
    CleanBusy = false;
    FlushStatus();
    UpdateCleanActions();
}

void TCleanTab::actIEClean_ScanExecute() {
    if (CleanBusy) return;
    // A settings file that cannot be written is reported, but it must not keep the user from scanning:
    // the tree stands all the same, and the error is shown when the scan is done.
    std::exception_ptr settingsError;
    try {
        RebuildCleanTree();
    } catch (const TError&) {
        settingsError = std::current_exception();
    }
    CleanBusy = true;
    FLastScanned = 0;
    FScanCut = 0;
    // At once, not from the first item on: the scan lets messages through, and a second click on
    // Scan must find it disabled.
    UpdateCleanActions();
    BeginFill();
    {
        const TScopeExit end([this] { EndOperation(); });
        FCleaner.Scan(ScanCategorySet(), [this](int category, int kind, const std::wstring& context,
                                                const std::wstring& item, uint64_t bytes, int32_t count) {
            OnCleanScanProgress(category, kind, context, item, bytes, count);
        });
    }
    if (settingsError) std::rethrow_exception(settingsError);
}

void TCleanTab::OnCleanScanProgress(int category,
                                    int kind,
                                    const std::wstring& context,
                                    const std::wstring& item,
                                    uint64_t bytes,
                                    int32_t count) {
    if (FCleaner.Finished) {
        CleanBusy = false;
        // A stopped scan ends in the category it was walking.
        if (FCleaner.StopRequested) FScanCut = FLastScanned;
        std::wstring status = IDS_IECLEAN_ScanFinished;
        TCheckNode* history = FindCategoryNode(tvIEClean, CleanCategories[IECleanHistory - 1].Caption);
        if (history && !history->Children.empty() && !FCleaner.HistoryPerItem) {
            FHistoryWholeOnly = true;
            for (TCheckNode* node : history->Children) tvIEClean.SetDisabled(*node, true);
            status += L" " + IDS_IECLEAN_HistoryWholeOnly;
        }
        EndFill();
        SetStatus(status, true);
        UpdateCleanActions();
        return;
    }
    SetStatus(Fmt(IDS_IECLEAN_Scanning, context), false);
    if (category >= IECleanTempFiles && category <= IECleanHistory) {
        const TIECleanCategory& entry = CleanCategories[static_cast<size_t>(category - 1)];
        if (TCheckNode* node = FindCategoryNode(tvIEClean, entry.Caption)) {
            const std::wstring counts = category == IECleanTypedUrls ? L"[" + Fmt(IDS_IECLEAN_ItemCount, count) + L"]"
                                                                     : FormatCountAndSize(bytes, count);
            if (FFilling) {
                // The tree view measures a caption whenever it is set (a round trip to the display
                // under Wine): the caption it shows is brought up to date when it is next drawn.
                node->Text = entry.Caption + counts;
                FStaleCaptions[static_cast<size_t>(category - 1)] = node;
            } else {
                tvIEClean.SetText(*node, entry.Caption + counts);
            }
            const TDepth driving(FDriving);
            TCheckNode* added = AddCheckNode(tvIEClean, node, csChecked, ctTriState, kind, item);
            // The engine's record of the item is the last it found; the node keeps its place there.
            if (added && !FCleaner.FoundItems.empty()) added->Data = FCleaner.FoundItems.size() - 1;
            FLastScanned = category;
            if (FFilling && ::GetTickCount64() - FRepaintedAt >= kRepaintIntervalMs) {
                ShowStaleCaptions();
                tvIEClean.RepaintNow();
                FRepaintedAt = ::GetTickCount64();
            }
        }
    }
    UpdateCleanActions();
}

void TCleanTab::actIEClean_CleanExecute() {
    if (CleanBusy) return;
    // Taken before the clean starts: the tree is rebuilt empty by its final call.
    const TIECleanSelection selection = CleanSelection();
    CleanBusy = true;
    UpdateCleanActions();
    const TScopeExit end([this] { EndOperation(); });
    FCleaner.Clean(selection, [this](const std::wstring& item, uint64_t bytes, int32_t count) {
        OnCleanDeleteProgress(item, bytes, count);
    });
}

void TCleanTab::OnCleanDeleteProgress(const std::wstring& item, uint64_t bytes, int32_t count) {
    if (FCleaner.Finished) {
        CleanBusy = false;
        SetStatus(Fmt(IDS_IECLEAN_CleanReport, count, FormatByteSize(bytes)), true);
        RebuildCleanTree();
    } else {
        SetStatus(Fmt(IDS_IECLEAN_Deleting, item), false);
    }
    UpdateCleanActions();
}

void TCleanTab::actIEClean_StopExecute() { FCleaner.StopRequested = true; }

}  // namespace sk
