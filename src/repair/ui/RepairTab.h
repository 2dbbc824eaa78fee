// The Repair tab: the 22 repair items as a ticked list in two groups, the repair run (under a
// restore point) and the list of what was changed.
#pragma once

#include <windows.h>

#include <vector>

#include "base/Action.h"
#include "controls/KWImageButton.h"
#include "controls/KWImagePanel.h"
#include "controls/KWLabel.h"
#include "controls/NativeControls.h"
#include "kit/TabPage.h"
#include "repair/IERepairFuncs.h"
#include "repair/RepairRun.h"

namespace sk {

class TRepairTab : public TTabPage {
public:
    explicit TRepairTab(TRegistryBackend& registry = WindowsRegistryBackend()) : FRegistry(registry) {}

    std::wstring Caption() const override;
    void CreatePage(HWND sheet, HWND owner) override;
    void ApplyTexts() override;  // the tab's texts, then the first scan
    void FormShow() override;    // what the first scan could not read, in the error box
    void MachineChanged() override;  // back to the item list, scanned again

    void actIERepair_ScanExecute();
    void actIERepair_RepairExecute();
    void actIERepair_BackExecute();
    void lblIERepair_SelectAllClick();
    void lblIERepair_SelectNoneClick();

    TAction actIERepair_Scan, actIERepair_Repair, actIERepair_Back;

    // One line of the item list, in display order.
    struct TLine {
        std::wstring Text;
        int Data = 0;  // the item's index
        bool Ticked = false;
        int Group = 0;
        // What the last scan found. A line that could not be checked is not ticked by the scan, but
        // the user may tick it: its repair then writes what it can and says what failed.
        TRepairState State = TRepairState::InOrder;
    };
    const std::vector<TLine>& Lines() const { return FLines; }
    const std::vector<TRepairRow>& RepairedRows() const { return FRepaired; }
    bool ShowingResults() const { return FShowingResults; }
    int Group0Count() const { return FGroup0Count; }
    TRepairLevel MaxRepairLevel() const { return FMaxRepairLevel; }
    // The restore point of the last repair run ("" before the first, or when it had nothing to do).
    const std::wstring& LastRestorePointId() const { return FLastPointId; }
    // Ticks or unticks one line as the user does by hand.
    void SetTicked(size_t line, bool ticked);

    HWND ItemList() const { return FList.Handle(); }
    HWND ResultList() const { return FResultList.Handle(); }
    // Whether the list shows its groups itself; without it, heading lines stand in for them.
    bool NativeGroups() const { return FNativeGroups; }
    // The link to the Restore points window on the item list's page, or on the result page.
    const TKivLabel& RestorePointsLink(bool resultPage) const {
        return resultPage ? lblIERepair_ResultRestorePoints : lblIERepair_RestorePoints;
    }

private:
    std::wstring Scan();  // the list filled, marked and ordered; what could not be read, or ""
    void Fill();
    void Mark(const std::vector<TRepairCheck>& checks);
    void Order();
    void MoveTickedUp(size_t p, size_t bound);
    void RenderList();
    void ShowRepairedRows();
    void ShowResults(bool results);
    void BindItemList();
    int LineOfRow(int row) const;

    TRegistryBackend& FRegistry;
    HWND FOwner = nullptr;
    // The panels first: the controls on them go before them.
    TKivImagePanel imgBeforeRepair, imgAfterRepair;
    TListView FList, FResultList;
    TKivLabel lblIERepair_SelectAll, lblIERepair_SelectNone;
    TKivImageButton btnScan, btnRepair, btnBack;
    TKivLabel lblIERepair_RestorePoints, lblIERepair_ResultRestorePoints;  // on the two pages

    std::vector<TLine> FLines;
    std::vector<TRepairRow> FRepaired;
    int FGroup0Count = 0;
    TRepairLevel FMaxRepairLevel = TRepairLevel::None;
    std::wstring FLastPointId;
    std::wstring FFirstScanProblems;  // kept until the window shows
    bool FShowingResults = false;
    bool FWindowShown = false;
    bool FNativeGroups = false;
    bool FRendering = false;
};

}  // namespace sk
