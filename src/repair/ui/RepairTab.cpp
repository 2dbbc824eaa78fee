#include "repair/ui/RepairTab.h"

#include <commctrl.h>

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

HWND CreateList(HWND parent, DWORD style, DWORD exStyle) {
    HWND list = ::CreateWindowExW(WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"",
                                  WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_SHOWSELALWAYS | LVS_SINGLESEL | style,
                                  3, 3, 744, 330, parent, nullptr, ::GetModuleHandleW(nullptr), nullptr);
    ListView_SetExtendedListViewStyle(list, LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER | exStyle);
    ::SendMessageW(list, WM_SETFONT, reinterpret_cast<WPARAM>(BodyFont()), FALSE);
    return list;
}

void AddColumn(HWND list, int index, int width, const std::wstring& caption) {
    LVCOLUMNW col{};
    col.mask = LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    col.cx = width;
    col.pszText = const_cast<wchar_t*>(caption.c_str());
    col.iSubItem = index;
    ListView_InsertColumn(list, index, &col);
}

void SetColumnCaption(HWND list, int index, const std::wstring& caption) {
    LVCOLUMNW col{};
    col.mask = LVCF_TEXT;
    col.pszText = const_cast<wchar_t*>(caption.c_str());
    ListView_SetColumn(list, index, &col);
}

std::wstring Trimmed(const std::wstring& s) {
    const auto first = s.find_first_not_of(L' ');
    if (first == std::wstring::npos) return {};
    return s.substr(first, s.find_last_not_of(L' ') - first + 1);
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
    FList = CreateList(imgBeforeRepair.Handle(), LVS_NOCOLUMNHEADER, LVS_EX_CHECKBOXES | LVS_EX_GRIDLINES);
    AddColumn(FList, 0, 650, L"");
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
    FBeforeTap.Attach(imgBeforeRepair.Handle(), [this](UINT msg, WPARAM, LPARAM lParam) -> std::optional<LRESULT> {
        if (msg == WM_NOTIFY && reinterpret_cast<NMHDR*>(lParam)->hwndFrom == FList)
            return ListNotify(*reinterpret_cast<NMHDR*>(lParam));
        return std::nullopt;
    });

    // The result list.
    CreateContentPanel(imgAfterRepair, sheet, 0, 0, 752, 376, false);
    FResultList = CreateList(imgAfterRepair.Handle(), 0, LVS_EX_GRIDLINES);
    AddColumn(FResultList, 0, 155, IDS_IEREPAIR_RepairedItem);
    AddColumn(FResultList, 1, 280, IDS_IEREPAIR_BeforeRepair);
    AddColumn(FResultList, 2, 280, IDS_IEREPAIR_AfterRepair);
    CreateActionButton(btnBack, imgAfterRepair.Handle(), 672, 343, actIERepair_Back);
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
    actIERepair_Scan.SetCaption(IDS_SURFKEEP_Scan);
    actIERepair_Repair.SetCaption(IDS_IEREPAIR_Repair);
    actIERepair_Back.SetCaption(IDS_IEREPAIR_Back);
    SetColumnCaption(FResultList, 0, IDS_IEREPAIR_RepairedItem);
    SetColumnCaption(FResultList, 1, IDS_IEREPAIR_BeforeRepair);
    SetColumnCaption(FResultList, 2, IDS_IEREPAIR_AfterRepair);
    actIERepair_Scan.Execute();
}

void TRepairTab::actIERepair_ScanExecute() {
    Fill();
    // Shown however the scan ends: after an error, what was marked before it stays marked, and the
    // lines are not reordered.
    const TScopeExit render([this] { RenderList(); });
    Mark();
    Order();
}

void TRepairTab::Fill() {
    FLines.clear();
    FGroup0Count = 0;
    for (const TRepairItem& item : RepairItems()) {
        FLines.push_back({*item.Text, item.Index, false, item.Group});
        if (item.Group == 0) ++FGroup0Count;
    }
}

void TRepairTab::Mark() {
    for (const TRepairItem& item : RepairItems()) {
        if (!item.Scanned || !ItemNeedsRepair(item.Index, FRegistry)) continue;
        for (TLine& line : FLines) {
            if (line.Data != item.Index) continue;
            line.Text = IDS_IEREPAIR_Changed + L" " + *item.Text;
            line.Ticked = true;
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
        --p;
    }
}

void TRepairTab::RenderList() {
    const TScopedValue rendering(FRendering, true);
    const TRedrawOff hold(FList);
    ListView_DeleteAllItems(FList);
    int row = 0, lastGroup = -1;
    auto insert = [&](const std::wstring& text, LPARAM data, int group) {
        LVITEMW item{};
        item.mask = LVIF_TEXT | LVIF_PARAM | (FNativeGroups ? LVIF_GROUPID : 0);
        item.iItem = row;
        item.pszText = const_cast<wchar_t*>(text.c_str());
        item.lParam = data;
        item.iGroupId = group;
        return ListView_InsertItem(FList, &item);
    };
    for (size_t i = 0; i < FLines.size(); ++i) {
        const TLine& line = FLines[i];
        if (!FNativeGroups && line.Group != lastGroup) {
            const int heading = insert(GroupHeading(line.Group), kHeadingRow, line.Group);
            ListView_SetItemState(FList, heading, INDEXTOSTATEIMAGEMASK(0), LVIS_STATEIMAGEMASK);
            ++row;
        }
        lastGroup = line.Group;
        const int at = insert(line.Text, static_cast<LPARAM>(i), line.Group);
        ListView_SetItemState(FList, at, INDEXTOSTATEIMAGEMASK(line.Ticked ? 2 : 1), LVIS_STATEIMAGEMASK);
        ++row;
    }
}

int TRepairTab::LineOfRow(int row) const {
    LVITEMW item{};
    item.mask = LVIF_PARAM;
    item.iItem = row;
    if (!ListView_GetItem(FList, &item)) return kHeadingRow;
    return static_cast<int>(item.lParam);
}

std::optional<LRESULT> TRepairTab::ListNotify(const NMHDR& hdr) {
    switch (hdr.code) {
        case LVN_ITEMCHANGING: {
            const auto& nm = reinterpret_cast<const NMLISTVIEW&>(hdr);
            // Heading lines have no tick and cannot get one.
            if (!FRendering && (nm.uChanged & LVIF_STATE) && (nm.uNewState & LVIS_STATEIMAGEMASK) &&
                LineOfRow(nm.iItem) == kHeadingRow)
                return TRUE;
            return std::nullopt;
        }
        case LVN_ITEMCHANGED: {
            const auto& nm = reinterpret_cast<const NMLISTVIEW&>(hdr);
            if (FRendering || !(nm.uChanged & LVIF_STATE)) return std::nullopt;
            if (((nm.uNewState ^ nm.uOldState) & LVIS_STATEIMAGEMASK) == 0) return std::nullopt;
            const int line = LineOfRow(nm.iItem);
            if (line >= 0 && static_cast<size_t>(line) < FLines.size())
                FLines[static_cast<size_t>(line)].Ticked = ((nm.uNewState & LVIS_STATEIMAGEMASK) >> 12) == 2;
            return std::nullopt;
        }
        case NM_CUSTOMDRAW: {
            auto& cd = const_cast<NMLVCUSTOMDRAW&>(reinterpret_cast<const NMLVCUSTOMDRAW&>(hdr));
            if (cd.nmcd.dwDrawStage == CDDS_PREPAINT) return CDRF_NOTIFYITEMDRAW;
            if (cd.nmcd.dwDrawStage == CDDS_ITEMPREPAINT && !FNativeGroups &&
                static_cast<int>(cd.nmcd.lItemlParam) == kHeadingRow) {
                ::SelectObject(cd.nmcd.hdc, BodyBoldFont());
                cd.clrText = assets::kAccentDark;
                cd.clrTextBk = kHeadingBack;
                return CDRF_NEWFONT;
            }
            return CDRF_DODEFAULT;
        }
    }
    return std::nullopt;
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

void TRepairTab::AddRepairedRow(const TRepairRow& row) {
    if (Trimmed(row.Label).empty()) return;
    FRepaired.push_back(row);
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = ListView_GetItemCount(FResultList);
    item.pszText = const_cast<wchar_t*>(row.Label.c_str());
    const int at = ListView_InsertItem(FResultList, &item);
    ListView_SetItemText(FResultList, at, 1, const_cast<wchar_t*>(row.Before.c_str()));
    ListView_SetItemText(FResultList, at, 2, const_cast<wchar_t*>(row.After.c_str()));
    ::UpdateWindow(FResultList);
}

void TRepairTab::actIERepair_RepairExecute() {
    FMaxRepairLevel = TRepairLevel::None;
    for (const TLine& line : FLines) {
        if (!line.Ticked) continue;
        std::vector<TRepairRow> rows;
        TRepairLevel level;
        {
            // Listed however the repair ends: after an error, the settings repaired so far.
            const TScopeExit list([&] {
                for (const auto& row : rows) AddRepairedRow(row);
            });
            level = RepairItem(line.Data, rows, FRegistry);
        }
        if (level > FMaxRepairLevel) FMaxRepairLevel = level;
    }
    const WORD language = static_cast<WORD>(LanguageId & 0xFFFF);
    if (FMaxRepairLevel == TRepairLevel::RestartIE)
        ShowMessageBox(FOwner, IDS_IEREPAIR_MSG_RestartIE, IDS_IEREPAIR_MSG_Title, MB_ICONINFORMATION, language, 0);
    else if (FMaxRepairLevel == TRepairLevel::LogOff)
        ShowMessageBox(FOwner, IDS_IEREPAIR_MSG_LogOff, IDS_IEREPAIR_MSG_Title, MB_ICONINFORMATION, language, 0);
    ShowResults(true);
}

void TRepairTab::actIERepair_BackExecute() {
    ShowResults(false);
    ListView_DeleteAllItems(FResultList);
    FRepaired.clear();
    actIERepair_ScanExecute();
}

void TRepairTab::ShowResults(bool results) {
    FShowingResults = results;
    ::ShowWindow(imgAfterRepair.Handle(), results ? SW_SHOW : SW_HIDE);
    ::ShowWindow(imgBeforeRepair.Handle(), results ? SW_HIDE : SW_SHOW);
}

}  // namespace sk
