// The Restore points window: every restore point newest first (time, operation, items, state), what
// the selected one changed, and Restore, which puts back the state from before its operation. Where
// the user or another program changed a recorded place since, the differences are listed and
// nothing is overwritten without the user's consent.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "base/Action.h"
#include "controls/KWImageButton.h"
#include "controls/KWImagePanel.h"
#include "controls/KWLabel.h"
#include "controls/NativeControls.h"
#include "kit/SkinnedDialog.h"
#include "registry/Restore.h"

namespace sk {

// A point's time (UTC) as the user reads times: local time, in the user's date and time format.
std::wstring RestorePointTimeText(const FILETIME& utc);

class TfrmRestorePoints : public TSkinnedDialog {
public:
    static constexpr int kClientWidth = 600;
    static constexpr int kClientHeight = 470;
    static constexpr const wchar_t* kClassName = L"TfrmRestorePoints";
    // At most this many differences are spelled out in the question; the window lists them all.
    static constexpr size_t kDifferencesAsked = 8;

    // store and registry (the one restores read and write) are not owned and outlive the window.
    explicit TfrmRestorePoints(const TRestoreStore& store, TRegistryBackend& registry = WindowsRegistryBackend());

    // Shown modally, it ends with IDCANCEL.
    bool Create(HWND owner) override;

    // Runs after a restore has written to the machine (also one that failed part-way): the main
    // window has its tabs read again what they show.
    std::function<void()> OnMachineChanged;

    void FormCreate() override;
    // Reads the points again and selects the one with the id (the newest when there is none).
    void RefreshList(const std::wstring& selectId = {});
    // Selects a line of the list as the user does (-1: none).
    void SelectPoint(int index);
    // Puts the selected point back, asking first. Raises TError when the point cannot be read or
    // put back (the list then shows what is so).
    void actRestoreExecute();

    TAction actRestore;

    // What the window shows, for tests.
    const std::vector<TRestorePointInfo>& Points() const { return FPoints; }
    int SelectedIndex() const;
    // The texts of a list's lines, column by column.
    std::vector<std::vector<std::wstring>> PointLines() const;
    std::vector<std::vector<std::wstring>> DetailLines() const;
    std::vector<std::wstring> DetailColumns() const;
    const std::wstring& DetailCaption() const { return lblDetail.Caption(); }
    const std::wstring& StatusText() const { return lblStatus.Caption(); }

    TKivImagePanel imgBack;
    TKivLabel lblTitle, lblIntro, lblDetail, lblStatus;
    TKivImageButton btnClose, btnRestore, btnOK;
    TListView lstPoints, lstDetail;

protected:
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    const TRestorePointInfo* Selected() const;
    void SelectionChanged();
    void ShowDetail();
    void ShowDifferences(const TRestorePointInfo& point, const std::vector<TStateDifference>& differences);
    void FillDetail(const std::wstring& caption, const std::wstring (&columns)[3],
                    const std::vector<TRestoreRow>& rows);
    void UpdateActions();
    void FocusDefault() override;
    void SetStatus(const std::wstring& text);

    const TRestoreStore& FStore;   // not owned
    TRegistryBackend& FRegistry;   // not owned
    std::vector<TRestorePointInfo> FPoints;
    bool FFilling = false;
    bool FSelectionPending = false;  // the detail follows the list's selection at the next message
};

}  // namespace sk
