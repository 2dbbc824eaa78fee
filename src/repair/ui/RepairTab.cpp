#include "repair/ui/RepairTab.h"

#include <commctrl.h>

#include <utility>

#include "base/Errors.h"
#include "base/Format.h"
#include "base/MessageBox.h"
#include "base/Scoped.h"
#include "base/Settings.h"
#include "base/StringTable.h"
#include "kit/TabKit.h"
#include "controls/Assets.h"

namespace sk {

namespace {

constexpr int kHeadingRow = -1;  // lParam of a heading line that stands in for a group
constexpr COLORREF kHeadingBack = RGB(0xEC, 0xF1, 0xF8);
// Lines that could not be checked and rows of steps that failed: a dark red that reads as a warning
// on white and on the grid.
constexpr COLORREF kProblemText = RGB(0xB0, 0x1E, 0x1E);

TListViewArgs ListArgs(HWND parent, DWORD style, DWORD listExStyle) {
    return {.Parent = parent,
            .Left = 3,
            .Top = 3,
            .Width = 744,
            .Height = 330,
            .Style = LVS_REPORT | LVS_SHOWSELALWAYS | LVS_SINGLESEL | style,
            .ListExStyle = LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER | listExStyle,
            .Font = BodyFont()};
}

// The failed rows for the closing message, since the result list cuts long reasons short: one line
// each, the first few, then how many more the list holds.
std::wstring FailureLines(const std::vector<TRepairRow>& rows) {
    constexpr int kListed = 10;
    std::wstring lines;
    int listed = 0, more = 0;
    for (const auto& row : rows) {
        if (!row.Failed) continue;
        if (listed++ < kListed)
            lines += L"\n" + Fmt(L"%s: %s", TrimmedText(row.Label), row.After);
        else
            ++more;
    }
    if (more > 0) lines += L"\n" + Fmt(IDS_IEREPAIR_MSG_MoreFailures, more);
    return lines;
}

const std::wstring& GroupHeading(int group) { return group == 0 ? IDS_IEREPAIR_IERelated : IDS_IEREPAIR_OtherRepair; }

}  // namespace

std::wstring TRepairTab::Caption() const { return IDS_IEREPAIR_Title; }

void TRepairTab::CreatePage(HWND sheet, HWND owner) {
    FOwner = owner;
    BindAction(actIERepair_Scan, owner, L"actIERepair_Scan", [this] { actIERepair_ScanExecute(); });
    BindAction(actIERepair_Repair, owner, L"actIERepair_Repair", [this] { actIERepair_RepairExecute(); });
    BindAction(actIERepair_Back, owner, L"actIERepair_Back", [this] { actIERepair_BackExecute(); });

    // The item list.
    CreateContentPanel(imgBeforeRepair, sheet, 0, 0, 752, 376);
    FList.Create(ListArgs(imgBeforeRepair.Handle(), LVS_NOCOLUMNHEADER, LVS_EX_CHECKBOXES | LVS_EX_GRIDLINES));
    FList.AddColumn(0, 650, L"");
    // Grouped display where the list supports it; elsewhere heading lines take the groups' place.
    ListView_EnableGroupView(FList, TRUE);
    FNativeGroups = ListView_IsGroupViewEnabled(FList) != FALSE;
    if (FNativeGroups) {
        for (int g = 0; g < 2; ++g) {
            LVGROUP group{};
            group.cbSize = sizeof group;
            group.mask = LVGF_HEADER | LVGF_GROUPID;
            group.iGroupId = g;
            group.pszHeader = const_cast<wchar_t*>(GroupHeading(g).c_str());
            ListView_InsertGroup(FList, -1, &group);
        }
    }
    CreateLinkLabel(lblIERepair_SelectAll, imgBeforeRepair.Handle(), 3, 337, IDS_SURFKEEP_SelectAll,
                    [this] { RunGuarded(FOwner, [this] { lblIERepair_SelectAllClick(); }); });
    CreateLinkLabel(lblIERepair_SelectNone, imgBeforeRepair.Handle(), 60, 337, IDS_SURFKEEP_SelectNone,
                    [this] { RunGuarded(FOwner, [this] { lblIERepair_SelectNoneClick(); }); });
    CreateActionButton(btnScan, imgBeforeRepair.Handle(), 591, 343, actIERepair_Scan);
    CreateActionButton(btnRepair, imgBeforeRepair.Handle(), 672, 343, actIERepair_Repair);
    CreateLinkLabel(lblIERepair_RestorePoints, imgBeforeRepair.Handle(), 500, 337, IDS_SURFKEEP_RestorePoints,
                    [this] { OpenRestorePoints(); });
    BindItemList();

    // The result list.
    CreateContentPanel(imgAfterRepair, sheet, 0, 0, 752, 376, false);
    FResultList.Create(ListArgs(imgAfterRepair.Handle(), 0, LVS_EX_GRIDLINES));
    FResultList.AddColumn(0, 155, IDS_IEREPAIR_RepairedItem);
    FResultList.AddColumn(1, 280, IDS_IEREPAIR_BeforeRepair);
    FResultList.AddColumn(2, 280, IDS_IEREPAIR_AfterRepair);
    FResultList.OnItemPrePaint = [this](NMLVCUSTOMDRAW& draw) -> LRESULT {
        const auto row = static_cast<size_t>(draw.nmcd.lItemlParam);
        if (row >= FRepaired.size() || !FRepaired[row].Failed) return CDRF_DODEFAULT;
        draw.clrText = kProblemText;
        return CDRF_NEWFONT;
    };
    CreateActionButton(btnBack, imgAfterRepair.Handle(), 672, 343, actIERepair_Back);
    CreateLinkLabel(lblIERepair_ResultRestorePoints, imgAfterRepair.Handle(), 3, 337, IDS_SURFKEEP_RestorePoints,
                    [this] { OpenRestorePoints(); });
    ShowResults(false);
}

void TRepairTab::ApplyTexts() {
    if (FNativeGroups) {
        for (int g = 0; g < 2; ++g) {
            LVGROUP group{};
            group.cbSize = sizeof group;
            group.mask = LVGF_HEADER;
            group.pszHeader = const_cast<wchar_t*>(GroupHeading(g).c_str());
            ListView_SetGroupInfo(FList, g, &group);
        }
    }
    lblIERepair_SelectAll.SetCaption(IDS_SURFKEEP_SelectAll);
    lblIERepair_SelectNone.SetCaption(IDS_SURFKEEP_SelectNone);
    // The item list's link ends short of the buttons, whatever the caption's length.
    lblIERepair_RestorePoints.SetCaption(IDS_SURFKEEP_RestorePoints);
    lblIERepair_RestorePoints.SetBounds(579 - lblIERepair_RestorePoints.Width(), 337,
                                        lblIERepair_RestorePoints.Width(), lblIERepair_RestorePoints.Height());
    lblIERepair_ResultRestorePoints.SetCaption(IDS_SURFKEEP_RestorePoints);
    actIERepair_Scan.SetCaption(IDS_SURFKEEP_Scan);
    actIERepair_Repair.SetCaption(IDS_IEREPAIR_Repair);
    actIERepair_Back.SetCaption(IDS_IEREPAIR_Back);
    FResultList.SetColumnCaption(0, IDS_IEREPAIR_RepairedItem);
    FResultList.SetColumnCaption(1, IDS_IEREPAIR_BeforeRepair);
    FResultList.SetColumnCaption(2, IDS_IEREPAIR_AfterRepair);
    // The first scan runs before the window shows: what it could not read waits for the window.
    if (!actIERepair_Scan.Enabled()) return;
    FFirstScanProblems = Scan();
    if (FWindowShown) FormShow();
}

void TRepairTab::FormShow() {
    FWindowShown = true;
    if (!FFirstScanProblems.empty()) ShowErrorBox(FOwner, std::exchange(FFirstScanProblems, std::wstring()));
}

void TRepairTab::actIERepair_ScanExecute() {
    const std::wstring problems = Scan();
    if (!problems.empty()) throw TError(problems);
}

std::wstring TRepairTab::Scan() {
    FFirstScanProblems.clear();
    Fill();
    // Shown however the scan ends.
    const TScopeExit render([this] { RenderList(); });
    const std::vector<TRepairCheck> checks = CheckAllItems(FRegistry);
    Mark(checks);
    Order();
    return RepairScanProblems(checks);
}

void TRepairTab::Fill() {
    FLines.clear();
    FGroup0Count = 0;
    for (const TRepairItem& item : RepairItems()) {
        FLines.push_back({*item.Text, item.Index, false, item.Group});
        if (item.Group == 0) ++FGroup0Count;
    }
}

void TRepairTab::Mark(const std::vector<TRepairCheck>& checks) {
    for (const TRepairItem& item : RepairItems()) {
        const size_t index = static_cast<size_t>(item.Index);
        if (!item.Scanned || index >= checks.size()) continue;
        for (TLine& line : FLines) {
            if (line.Data != item.Index) continue;
            line.Text = RepairLineText(item, checks[index]);
            line.State = checks[index].State;
            line.Ticked = line.State == TRepairState::NeedsRepair;
        }
    }
}

void TRepairTab::Order() {
    const size_t bound = static_cast<size_t>(FGroup0Count);
    for (size_t p = 0; p < bound && p < FLines.size(); ++p)
        if (FLines[p].Ticked) MoveTickedUp(p, 0);
    for (size_t p = bound; p < FLines.size(); ++p)
        if (FLines[p].Ticked) MoveTickedUp(p, bound);
}

void TRepairTab::MoveTickedUp(size_t p, size_t bound) {
    // The group belongs to the position: only text, data and tick move.
    while (p > bound && !FLines[p - 1].Ticked) {
        std::swap(FLines[p].Text, FLines[p - 1].Text);
        std::swap(FLines[p].Data, FLines[p - 1].Data);
        std::swap(FLines[p].Ticked, FLines[p - 1].Ticked);
        std::swap(FLines[p].State, FLines[p - 1].State);
        --p;
    }
}

void TRepairTab::RenderList() {
    const TScopedValue rendering(FRendering, true);
    const TRedrawOff hold(FList);
    FList.DeleteAllItems();
    int row = 0, lastGroup = -1;
    auto insert = [&](const std::wstring& text, LPARAM data, int group) {
        return FList.InsertItem(row, text, data, FNativeGroups ? std::optional<int>(group) : std::nullopt);
    };
    for (size_t i = 0; i < FLines.size(); ++i) {
        const TLine& line = FLines[i];
        if (!FNativeGroups && line.Group != lastGroup) {
            FList.SetStateImage(insert(GroupHeading(line.Group), kHeadingRow, line.Group), 0);
            ++row;
        }
        lastGroup = line.Group;
        FList.SetStateImage(insert(line.Text, static_cast<LPARAM>(i), line.Group), line.Ticked ? 2 : 1);
        ++row;
    }
}

int TRepairTab::LineOfRow(int row) const {
    return static_cast<int>(FList.ItemParam(row).value_or(kHeadingRow));
}

void TRepairTab::BindItemList() {
    // Heading lines have no tick and cannot get one.
    FList.OnItemStateChanging = [this](int row, UINT, UINT newState) {
        return FRendering || !(newState & LVIS_STATEIMAGEMASK) || LineOfRow(row) != kHeadingRow;
    };
    FList.OnItemChecked = [this](int row, bool checked) {
        if (FRendering) return;
        const int line = LineOfRow(row);
        if (line >= 0 && static_cast<size_t>(line) < FLines.size()) FLines[static_cast<size_t>(line)].Ticked = checked;
    };
    FList.OnItemPrePaint = [this](NMLVCUSTOMDRAW& draw) -> LRESULT {
        const int line = static_cast<int>(draw.nmcd.lItemlParam);
        if (line == kHeadingRow) {
            if (FNativeGroups) return CDRF_DODEFAULT;
            ::SelectObject(draw.nmcd.hdc, BodyBoldFont());
            draw.clrText = assets::kAccentDark;
            draw.clrTextBk = kHeadingBack;
            return CDRF_NEWFONT;
        }
        if (line < 0 || static_cast<size_t>(line) >= FLines.size() ||
            FLines[static_cast<size_t>(line)].State != TRepairState::NotCheckable)
            return CDRF_DODEFAULT;
        draw.clrText = kProblemText;
        return CDRF_NEWFONT;
    };
}

void TRepairTab::SetTicked(size_t line, bool ticked) {
    if (line >= FLines.size()) return;
    FLines[line].Ticked = ticked;
    RenderList();
}

void TRepairTab::lblIERepair_SelectAllClick() {
    for (TLine& line : FLines) line.Ticked = true;
    RenderList();
}

void TRepairTab::lblIERepair_SelectNoneClick() {
    for (TLine& line : FLines) line.Ticked = false;
    RenderList();
}

void TRepairTab::ShowRepairedRows() {
    // Every row the run made, as its restore point keeps them: the catalogue has already dropped
    // those whose label is blank (a failure always keeps a label).
    const TRedrawOff hold(FResultList);
    FResultList.DeleteAllItems();
    for (size_t i = 0; i < FRepaired.size(); ++i) {
        const TRepairRow& row = FRepaired[i];
        const int at = FResultList.InsertItem(FResultList.Count(), row.Label, static_cast<LPARAM>(i));
        FResultList.SetItemText(at, 1, row.Before);
        FResultList.SetItemText(at, 2, row.After);
    }
}

void TRepairTab::actIERepair_RepairExecute() {
    FMaxRepairLevel = TRepairLevel::None;
    std::vector<int> ticked;
    for (const TLine& line : FLines)
        if (line.Ticked) ticked.push_back(line.Data);
    TRepairRunResult run;
    {
        const TWaitCursor wait;
        // A point that cannot be made raises here: nothing was repaired and the item list stays.
        const TRestoreStore store = ProgramRestoreStore();
        run = RunRepair(store, ticked, FRegistry);
    }
    FLastPointId = run.PointId;
    FMaxRepairLevel = run.Level;
    FRepaired = std::move(run.Rows);
    ShowRepairedRows();
    ShowResults(true);
    ::UpdateWindow(imgAfterRepair.Handle());  // the rows stand behind the boxes that follow
    if (!run.Problem.empty()) ShowErrorBox(FOwner, run.Problem);
    const int failures = FailedRowCount(FRepaired);
    const std::wstring closing = RepairClosingText(FMaxRepairLevel, failures) + FailureLines(FRepaired);
    if (!closing.empty())
        ShowMessageBox(FOwner, closing, IDS_IEREPAIR_MSG_Title, failures ? MB_ICONWARNING : MB_ICONINFORMATION,
                       static_cast<WORD>(LanguageId & 0xFFFF), 0);
}

void TRepairTab::actIERepair_BackExecute() {
    ShowResults(false);
    FResultList.DeleteAllItems();
    FRepaired.clear();
    actIERepair_ScanExecute();
}

void TRepairTab::MachineChanged() { actIERepair_BackExecute(); }

void TRepairTab::ShowResults(bool results) {
    FShowingResults = results;
    ::ShowWindow(imgAfterRepair.Handle(), results ? SW_SHOW : SW_HIDE);
    ::ShowWindow(imgBeforeRepair.Handle(), results ? SW_HIDE : SW_SHOW);
}

}  // namespace sk
