#include "app/FormRestorePoints.h"

#include <commctrl.h>

#include <algorithm>
#include <optional>

#include "base/Errors.h"
#include "base/Format.h"
#include "base/MessageBox.h"
#include "base/Scoped.h"
#include "base/Settings.h"
#include "base/StringTable.h"
#include "controls/Assets.h"
#include "controls/KWClasses.h"
#include "kit/TabKit.h"

namespace sk {

namespace {

// The longest state a question spells out; the window's list shows it whole.
constexpr size_t kAskedTextLength = 120;

TListViewArgs ListArgs(HWND parent, int top, int height) {
    return {.Parent = parent,
            .Left = 5,
            .Top = top,
            .Width = 590,
            .Height = height,
            .Style = LVS_REPORT | LVS_SHOWSELALWAYS | LVS_SINGLESEL,
            .ListExStyle = LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER | LVS_EX_GRIDLINES | LVS_EX_LABELTIP,
            .Font = BodyFont()};
}

TKivLabelArgs TextArgs(HWND parent, int left, int top, int width, int height) {
    return {.Parent = parent,
            .Left = left,
            .Top = top,
            .Width = width,
            .Height = height,
            .Fonts = {.Normal = TKivFont(L"Tahoma", 11, false, assets::kText)},
            .AutoSize = false,
            .WordWrap = true};
}

std::wstring Joined(const std::vector<std::wstring>& items) {
    std::wstring text;
    for (const auto& item : items) {
        if (!text.empty()) text += L", ";
        text += item;
    }
    return text;
}

std::wstring Shortened(const std::wstring& text) {
    if (text.size() <= kAskedTextLength) return text;
    return text.substr(0, kAskedTextLength - 1) + L"\x2026";
}

// Posted to the window when the list's selection changed: the detail follows once the change is
// whole (a move of the selection arrives as a deselection, then a selection).
constexpr UINT kSelectionChangedMessage = WM_APP + 0x7E5;

// What the point is called for people: its title, or for a point without one its operation's name.
std::wstring TitleOf(const TRestorePointInfo& point) { return point.Title.empty() ? point.Operation : point.Title; }

bool Restorable(TRestoreState state) { return state == TRestoreState::Complete || state == TRestoreState::Interrupted; }

std::vector<TRestoreRow> AsRows(const std::vector<TStateDifference>& differences) {
    std::vector<TRestoreRow> rows;
    rows.reserve(differences.size());
    for (const auto& d : differences) rows.push_back({d.Where, d.Recorded, d.Present});
    return rows;
}

int Ask(HWND owner, const std::wstring& text, UINT style) {
    return ShowMessageBox(owner, text, IDS_RESTOREPOINTS_Title, style, static_cast<WORD>(LanguageId & 0xFFFF), 0);
}

std::vector<std::vector<std::wstring>> LinesOf(HWND list) {
    std::vector<std::vector<std::wstring>> lines;
    const HWND header = ListView_GetHeader(list);
    const int columns = header ? Header_GetItemCount(header) : 1;
    const int count = ListView_GetItemCount(list);
    for (int row = 0; row < count; ++row) {
        std::vector<std::wstring> line;
        for (int column = 0; column < columns; ++column) {
            wchar_t text[1024] = {};
            ListView_GetItemText(list, row, column, text, 1024);
            line.push_back(text);
        }
        lines.push_back(std::move(line));
    }
    return lines;
}

}  // namespace

std::wstring RestorePointTimeText(const FILETIME& utc) {
    SYSTEMTIME universal{}, local{};
    if (!::FileTimeToSystemTime(&utc, &universal) || !::SystemTimeToTzSpecificLocalTime(nullptr, &universal, &local))
        return {};
    wchar_t date[128] = {}, time[128] = {};
    ::GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, DATE_SHORTDATE, &local, nullptr, date, 128, nullptr);
    ::GetTimeFormatEx(LOCALE_NAME_USER_DEFAULT, 0, &local, nullptr, time, 128);
    return std::wstring(date) + L" " + time;
}

TfrmRestorePoints::TfrmRestorePoints(const TRestoreStore& store, TRegistryBackend& registry)
    : FStore(store), FRegistry(registry) {}

bool TfrmRestorePoints::Create(HWND owner) {
    return CreateCentered(owner, kClassName, IDS_RESTOREPOINTS_Title, kClientWidth, kClientHeight);
}

void TfrmRestorePoints::FormCreate() {
    BindAction(actRestore, Handle(), L"actRestore", [this] { actRestoreExecute(); });
    actRestore.SetCaption(IDS_RESTOREPOINTS_Restore);

    HWND surface = CreateWindowSurface(imgBack, Handle(), kClientWidth, kClientHeight,
                                       OptionalPicture(assets::kRestorePointsBackground));

    lblTitle.Create({.Parent = surface,
                     .Left = 7,
                     .Top = 9,
                     .Caption = IDS_RESTOREPOINTS_Title,
                     .Fonts = {.Normal = TKivFont(L"Tahoma", 13, true, assets::kCaptionText)},
                     .AutoSize = true,
                     .AutoSizeMaxWidth = 555,  // short of the close button
                     .WordWrap = false});
    CreateDialogCloseButton(btnClose, surface, 569, 6, /*escCloses=*/true);

    lblIntro.Create(TextArgs(surface, 8, 41, 584, 30));
    lblIntro.SetCaption(IDS_RESTOREPOINTS_Intro);

    lstPoints.Create(ListArgs(surface, 74, 150));
    lstPoints.AddColumn(0, 140, IDS_RESTOREPOINTS_Time);
    lstPoints.AddColumn(1, 165, IDS_RESTOREPOINTS_Operation);
    lstPoints.AddColumn(2, 181, IDS_RESTOREPOINTS_Items);
    lstPoints.AddColumn(3, 80, IDS_RESTOREPOINTS_State);
    lstPoints.OnItemStateChanged = [this](int, UINT oldState, UINT newState) {
        if (FFilling || ((oldState ^ newState) & LVIS_SELECTED) == 0 || FSelectionPending) return;
        FSelectionPending = ::PostMessageW(Handle(), kSelectionChangedMessage, 0, 0) != FALSE;
        if (!FSelectionPending) SelectionChanged();
    };
    OnMessage(kSelectionChangedMessage, [this](WPARAM, LPARAM) -> LRESULT {
        if (FSelectionPending) SelectionChanged();
        return 0;
    });

    lblDetail.Create(TextArgs(surface, 8, 230, 584, 30));
    lstDetail.Create(ListArgs(surface, 262, 152));
    lstDetail.AddColumn(0, 170, IDS_RESTOREPOINTS_Item);
    lstDetail.AddColumn(1, 198, IDS_RESTOREPOINTS_Before);
    lstDetail.AddColumn(2, 198, IDS_RESTOREPOINTS_After);

    TKivLabelArgs status = TextArgs(surface, 8, 437, 0, 0);
    status.AutoSize = true;
    status.AutoSizeMaxWidth = 420;  // short of the buttons
    status.WordWrap = false;
    status.TextTrimming = kttEllipsisWord;
    lblStatus.Create(status);

    CreateActionButton(btnRestore, surface, 439, 428, actRestore);
    btnOK.Create({.Parent = surface,
                  .Left = 520,
                  .Top = 428,
                  .Width = 75,
                  .Height = 26,
                  .Caption = IDS_RESTOREPOINTS_Close,
                  .Mnemonic = L'C',
                  .Pictures = OptionalStatePictures(assets::kButton),
                  .Fonts = PushButtonFonts(),
                  .EnableMultiFonts = true,
                  .ModalResult = IDCANCEL,
                  .DrawFocused = true,
                  .TabStop = true});

    // A store that cannot be listed still opens the window; the error box says why.
    RunGuarded(Handle(), [this] {
        RefreshList();
        SetStatus(Fmt(IDS_RESTOREPOINTS_Count, FPoints.size()));
    });
}

void TfrmRestorePoints::RefreshList(const std::wstring& selectId) {
    {
        const TScopedValue filling(FFilling, true);
        const TRedrawOff hold(lstPoints);
        lstPoints.DeleteAllItems();
        FPoints.clear();  // stays empty when the store cannot be listed
        FPoints = FStore.List();
        for (size_t i = 0; i < FPoints.size(); ++i) {
            const TRestorePointInfo& point = FPoints[i];
            const int row = lstPoints.InsertItem(static_cast<int>(i), RestorePointTimeText(point.Started),
                                                 static_cast<LPARAM>(i));
            lstPoints.SetItemText(row, 1, TitleOf(point));
            lstPoints.SetItemText(row, 2, Joined(point.Items));
            lstPoints.SetItemText(row, 3, RestoreStateText(point.State));
        }
        // The times whole, in whatever format the user's dates take; the items get what is left.
        ListView_SetColumnWidth(lstPoints, 0, LVSCW_AUTOSIZE_USEHEADER);
        RECT client{};
        ::GetClientRect(lstPoints, &client);
        const int rest = client.right - ListView_GetColumnWidth(lstPoints, 0) - ListView_GetColumnWidth(lstPoints, 1) -
                         ListView_GetColumnWidth(lstPoints, 3);
        ListView_SetColumnWidth(lstPoints, 2, std::max(rest, 120));
    }
    int select = FPoints.empty() ? -1 : 0;
    for (size_t i = 0; i < FPoints.size(); ++i)
        if (FPoints[i].Id == selectId) select = static_cast<int>(i);
    SelectPoint(select);
}

void TfrmRestorePoints::SelectionChanged() {
    FSelectionPending = false;
    RunGuarded(Handle(), [this] {
        ShowDetail();
        UpdateActions();
    });
}

void TfrmRestorePoints::SelectPoint(int index) {
    FSelectionPending = false;
    {
        const TScopedValue filling(FFilling, true);
        ListView_SetItemState(lstPoints, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
        if (index >= 0 && index < lstPoints.Count()) {
            ListView_SetItemState(lstPoints, index, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
            ListView_EnsureVisible(lstPoints, index, FALSE);
        }
    }
    ShowDetail();
    UpdateActions();
}

int TfrmRestorePoints::SelectedIndex() const {
    const int row = ListView_GetNextItem(lstPoints, -1, LVNI_SELECTED);
    if (row < 0) return -1;
    const auto param = lstPoints.ItemParam(row);
    return param && *param >= 0 && static_cast<size_t>(*param) < FPoints.size() ? static_cast<int>(*param) : -1;
}

const TRestorePointInfo* TfrmRestorePoints::Selected() const {
    const int index = SelectedIndex();
    return index < 0 ? nullptr : &FPoints[static_cast<size_t>(index)];
}

void TfrmRestorePoints::FillDetail(const std::wstring& caption, const std::wstring (&columns)[3],
                                   const std::vector<TRestoreRow>& rows) {
    lblDetail.SetCaption(caption);
    for (int c = 0; c < 3; ++c) lstDetail.SetColumnCaption(c, columns[c]);
    const TRedrawOff hold(lstDetail);
    lstDetail.DeleteAllItems();
    for (size_t i = 0; i < rows.size(); ++i) {
        const int row = lstDetail.InsertItem(static_cast<int>(i), rows[i].Label);
        lstDetail.SetItemText(row, 1, rows[i].Before);
        lstDetail.SetItemText(row, 2, rows[i].After);
    }
}

void TfrmRestorePoints::ShowDetail() {
    const std::wstring changed[3] = {IDS_RESTOREPOINTS_Item, IDS_RESTOREPOINTS_Before, IDS_RESTOREPOINTS_After};
    const std::wstring recorded[3] = {IDS_RESTOREPOINTS_Place, IDS_RESTOREPOINTS_BeforeOperation,
                                      IDS_RESTOREPOINTS_Now};
    const TRestorePointInfo* point = Selected();
    if (!point) {
        FillDetail(FPoints.empty() ? IDS_RESTOREPOINTS_NoPoints : IDS_RESTOREPOINTS_NoneSelected, changed, {});
        return;
    }
    const std::wstring title = TitleOf(*point);
    const std::wstring when = RestorePointTimeText(point->Started);
    switch (point->State) {
        case TRestoreState::Damaged:
            FillDetail(Fmt(IDS_RESTOREPOINTS_DetailDamaged, point->Problem), changed, {});
            return;
        case TRestoreState::InProgress:
            FillDetail(Fmt(IDS_RESTOREPOINTS_DetailInProgress, title, when), changed, {});
            return;
        case TRestoreState::Complete: {
            std::vector<TRestoreRow> rows = point->Rows;
            if (rows.empty()) {
                // No rows for people: the places it changed, as it found and left them.
                try {
                    for (const auto& entry : FStore.Load(point->Id).Entries)
                        if (entry.After)
                            for (auto& row : AsRows(DescribeDifferences(entry, entry.Before, *entry.After)))
                                rows.push_back(std::move(row));
                } catch (const TError& e) {
                    FillDetail(ErrorBoxText(e.Message()), changed, {});
                    return;
                }
            }
            FillDetail(Fmt(rows.empty() ? IDS_RESTOREPOINTS_DetailNothing : IDS_RESTOREPOINTS_DetailComplete, title,
                           when),
                       changed, rows);
            return;
        }
        case TRestoreState::Interrupted: {
            // What it left is unknown: what it recorded, against what is there now.
            try {
                const TRestorePlan plan = PlanRestore(FStore, point->Id, FRegistry);
                if (plan.Changes.empty())
                    FillDetail(Fmt(IDS_RESTOREPOINTS_DetailUnchanged, title, when), recorded, {});
                else
                    FillDetail(Fmt(IDS_RESTOREPOINTS_DetailInterrupted, title, when, plan.Point.Entries.size()),
                               recorded, AsRows(plan.Changes));
            } catch (const TError& e) {
                FillDetail(ErrorBoxText(e.Message()), recorded, {});
            }
            return;
        }
    }
}

void TfrmRestorePoints::ShowDifferences(const TRestorePointInfo& point,
                                        const std::vector<TStateDifference>& differences) {
    const std::wstring columns[3] = {IDS_RESTOREPOINTS_Place, IDS_RESTOREPOINTS_LeftByOperation,
                                     IDS_RESTOREPOINTS_Now};
    FillDetail(Fmt(IDS_RESTOREPOINTS_DetailChangedSince, TitleOf(point), RestorePointTimeText(point.Started)), columns,
               AsRows(differences));
    ::UpdateWindow(Handle());
}

void TfrmRestorePoints::UpdateActions() {
    const TRestorePointInfo* point = Selected();
    actRestore.SetEnabled(point && Restorable(point->State));
}

void TfrmRestorePoints::SetStatus(const std::wstring& text) { lblStatus.SetCaption(text); }

void TfrmRestorePoints::actRestoreExecute() {
    const TRestorePointInfo* selected = Selected();
    if (!selected || !Restorable(selected->State)) return;
    const TRestorePointInfo point = *selected;  // the list is read again below
    const std::wstring title = TitleOf(point), when = RestorePointTimeText(point.Started);

    const TRestorePlan plan = PlanRestore(FStore, point.Id, FRegistry);
    bool overwrite = false;
    if (plan.Changes.empty()) {
        // Whatever happened since, the state from before the operation is there already.
        Ask(Handle(), Fmt(IDS_RESTOREPOINTS_NothingToPutBack, title, when), MB_OK | MB_ICONINFORMATION);
        return;
    }
    if (!plan.ChangedSince.empty()) {
        // Shown whole in the window; the question names the first few.
        ShowDifferences(point, plan.ChangedSince);
        std::wstring list;
        for (size_t i = 0; i < plan.ChangedSince.size() && i < kDifferencesAsked; ++i) {
            const TStateDifference& d = plan.ChangedSince[i];
            list += Fmt(IDS_RESTOREPOINTS_Difference, Shortened(d.Where), Shortened(d.Recorded), Shortened(d.Present));
            list += L"\r\n";
        }
        if (plan.ChangedSince.size() > kDifferencesAsked)
            list += Fmt(IDS_RESTOREPOINTS_MoreDifferences, plan.ChangedSince.size() - kDifferencesAsked) + L"\r\n";
        const std::wstring question =
            Fmt(IDS_RESTOREPOINTS_ConfirmChanged, title, when, plan.ChangedSince.size(), list);
        if (Ask(Handle(), question, MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) != IDYES) {
            SetStatus(IDS_RESTOREPOINTS_Declined);
            return;
        }
        overwrite = true;
    } else if (Ask(Handle(), Fmt(IDS_RESTOREPOINTS_Confirm, title, when, plan.Changes.size()),
                   MB_YESNO | MB_ICONQUESTION) != IDYES) {
        SetStatus(IDS_RESTOREPOINTS_Declined);
        return;
    }

    const std::optional<std::wstring> newestBefore = FStore.LastId();
    TRestoreResult result;
    {
        const TWaitCursor wait;
        try {
            result = RunRestore(FStore, plan, overwrite, FRegistry);
        } catch (...) {
            // Refused before writing (the state moved on), or stopped part-way: then the restore's
            // own point exists and says what it changed, and the machine is not as it was.
            const std::optional<std::wstring> newest = FStore.LastId();
            const bool wrote = newest && newest != newestBefore;
            SetStatus(wrote ? L"" : IDS_RESTOREPOINTS_Declined);
            try {
                RefreshList(wrote ? *newest : point.Id);
            } catch (...) {
                // The restore's own error is the one to report.
            }
            if (wrote && OnMachineChanged) OnMachineChanged();
            throw;
        }
    }
    SetStatus(Fmt(IDS_RESTOREPOINTS_Restored, result.Rows.size()));
    RefreshList(result.PointId);
    if (OnMachineChanged) OnMachineChanged();
}

void TfrmRestorePoints::FocusDefault() {
    const HWND focus = ::GetFocus();
    const bool inside = focus && focus != Handle() && ::IsChild(Handle(), focus) && ::IsWindowEnabled(focus);
    if (!inside && ::GetActiveWindow() == Handle()) ::SetFocus(lstPoints);
}

std::vector<std::vector<std::wstring>> TfrmRestorePoints::PointLines() const { return LinesOf(lstPoints); }

std::vector<std::vector<std::wstring>> TfrmRestorePoints::DetailLines() const { return LinesOf(lstDetail); }

std::vector<std::wstring> TfrmRestorePoints::DetailColumns() const {
    std::vector<std::wstring> columns;
    for (int c = 0; c < 3; ++c) {
        wchar_t text[256] = {};
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT;
        column.pszText = text;
        column.cchTextMax = 256;
        ListView_GetColumn(lstDetail, c, &column);
        columns.push_back(text);
    }
    return columns;
}

LRESULT TfrmRestorePoints::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_ERASEBKGND:
            return 1;
        case WM_ACTIVATE: {
            // Back where the user left it, or on the list.
            LRESULT result = 0;
            KeepFocusOnActivate(msg, wParam, lParam, result);
            return result;
        }
        case WM_CLOSE:
            // Alt+F4 and the taskbar close as the close button does; the caller frees the window.
            SetModalResult(Handle(), IDCANCEL);
            return 0;
    }
    return DefaultMessage(msg, wParam, lParam);
}

}  // namespace sk
