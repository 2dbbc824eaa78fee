// The Cleaning tab: the four kinds of browsing data as a check-list tree, their scan with live counts
// and sizes, the clean, and a stop for either. The user's choice of kinds lives in the settings file.
#pragma once

#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "base/Action.h"
#include "base/Handles.h"
#include "controls/CheckTree.h"
#include "kit/TabPage.h"
#include "clean/IECleaner.h"
#include "controls/KWImageButton.h"
#include "controls/KWImagePanel.h"
#include "controls/KWLabel.h"

namespace sk {

// One kind of browsing data as the tab shows it: its name and the user's remembered choice, checked
// or unchecked (a category with some of its items ticked is wanted, and remembered as checked).
struct TIECleanCategory {
    std::wstring Caption;
    TCheckState CheckState = csChecked;
};

// The settings keys of the four choices (section "SURFKEEP"), by position.
extern const std::array<const wchar_t*, 4> IECleanSettingsKeys;

// "%d Byte(s)", "%.2f KB", "%.2f MB" or "%.2f GB", each limit exclusive (1024 bytes are still bytes).
std::wstring FormatByteSize(uint64_t bytes);
// "[<count> files,<size>]" with the string table's texts.
std::wstring FormatCountAndSize(uint64_t bytes, int32_t count);

class TCleanTab : public TTabPage {
public:
    // The engine is the program's one cleaner (not owned).
    explicit TCleanTab(TIECleaner& cleaner);
    ~TCleanTab() override;

    std::wstring Caption() const override;
    void CreatePage(HWND sheet, HWND owner) override;
    void ApplyTexts() override;  // captions and an empty status line
    void Start() override;       // the tree from the remembered choices
    void UpdateActions() override { UpdateCleanActions(); }
    void FormClose() override;  // a running scan or clean stops

    // Positions 0 to 3: temporary files, cookies, typed addresses, history (category numbers 1 to 4).
    std::array<TIECleanCategory, 4> CleanCategories;
    bool CleanBusy = false;

    void LoadCleanChoices();
    void SaveCleanChoices();
    void RebuildCleanTree();
    TIECleanCategories ScanCategorySet() const;
    // The categories with something ticked to clean.
    TIECleanCategories CleanCategorySet() const;
    // What a clean deletes: each ticked item on its own; a category as a whole where all its items
    // are ticked and its scan ran to its end (or where it can only be cleaned as a whole).
    TIECleanSelection CleanSelection() const;
    // Whether the last scan found history that can only be cleaned as a whole: its items' check
    // boxes are disabled and follow the category's.
    bool HistoryWholeOnly() const { return FHistoryWholeOnly; }
    void UpdateCleanActions();

    void OnCleanScanProgress(int category,
                             int kind,
                             const std::wstring& context,
                             const std::wstring& item,
                             uint64_t bytes,
                             int32_t count);
    void OnCleanDeleteProgress(const std::wstring& item, uint64_t bytes, int32_t count);

    void actIEClean_ScanExecute();
    void actIEClean_CleanExecute();
    void actIEClean_StopExecute();
    void lblClean_SelectAllClick();
    void lblClean_SelectNoneClick();
    // The tree asks before a node's check mark changes; a category's new mark is remembered at once.
    bool tvIECleanChecking(TCheckNode& node, TCheckState newState);

    TAction actIEClean_Scan, actIEClean_Clean, actIEClean_Stop;

    // The status line's text (what the label shows, or is about to show at its next repaint).
    const std::wstring& StatusText() const { return FStatus; }
    HIMAGELIST imglstClean() const { return tvIEClean.Icons(); }
    HWND Panel() const { return FPanel.Handle(); }

private:
    // Declared in the order they are made: the controls go before their panel.
    TKivImagePanel FPanel;

public:
    TCheckTree tvIEClean;
    TKivLabel lblClean_SelectAll, lblClean_SelectNone, lblCleanStatus;
    // That a clean cannot be undone: shown while Clean can be pressed.
    TKivLabel lblCleanNotice;
    TKivImageButton btnScanIETemp, btnClean, btnStop;

private:
    void CreateIcons();
    void SetStatus(const std::wstring& text, bool now);
    void FlushStatus();
    void BeginFill();
    void EndFill();
    void ShowStaleCaptions();
    void EndOperation();
    void PlaceNotice();
    bool OnTreeChecking(TCheckNode& node, TCheckState newState);
    void OnTreeChecked(TCheckNode& node);
    // The scan's record of an item node, or nullptr for a node that has none.
    const TIECleanItem* FoundItemOf(const TCheckNode& node) const;

    TIECleaner& FCleaner;  // not owned
    HWND FOwner = nullptr;

    std::wstring FStatus;
    ULONGLONG FStatusShownAt = 0;
    bool FStatusPending = false;
    ULONGLONG FRepaintedAt = 0;
    bool FFilling = false;
    // Category nodes whose caption changed while the tree was filled without drawing.
    std::array<TCheckNode*, 4> FStaleCaptions{};
    // The category of the last item the scan reported, and the one a stop cut short (0: none): its
    // tree may lack items, so it is cleaned item by item even when all of them are ticked.
    int FLastScanned = 0;
    int FScanCut = 0;
    bool FHistoryWholeOnly = false;
    // Set while the tab itself drives the tree: a failed settings write then travels up to the
    // action under way instead of being reported from inside the tree's mouse handling.
    int FDriving = 0;
    // While the tree is rebuilt: whether a category's mark was set (the choices are then written
    // once, when all four nodes stand).
    bool FRebuilding = false;
    bool FRebuildSave = false;
};

}  // namespace sk
