// The Plug-ins tab: the browser's context-menu extensions and COM add-ons (toolbars and browser
// helper objects) as a check-list tree, the removal of the ticked ones (with a restore point, and a
// report of what became of each DLL) and a fresh listing after it.
#pragma once

#include <windows.h>

#include <string>

#include "base/Action.h"
#include "controls/CheckTree.h"
#include "kit/TabPage.h"
#include "controls/KWImageButton.h"
#include "controls/KWImagePanel.h"
#include "controls/KWLabel.h"
#include "plugins/IEPlugInFuncs.h"

namespace sk {

// What a detail line under a COM add-on shows; the line's node keeps it as its data.
enum class TPlugInDetail { File, AppID, ComObject, BrowserHelperObject };

class TPlugInTab : public TTabPage {
public:
    // The engine is the program's one plug-in cleaner (not owned).
    explicit TPlugInTab(TIEPlugInCleaner& cleaner);
    ~TPlugInTab() override;

    std::wstring Caption() const override;
    void CreatePage(HWND sheet, HWND owner) override;
    void ApplyTexts() override;  // captions and an empty status line
    void Start() override;       // the first listing
    void MachineChanged() override;  // listed again

    // Empties the tree and adds the two groups with their plain captions, unticked.
    void ResetPlugInTree();
    void FillMenuExtensions();
    void FillToolbarsAndBHOs();
    // The ticked context-menu extensions by name, then the ticked COM add-ons by their exact CLSID,
    // each limited to the registry view it was listed in; no entry twice.
    TPlugInSelection CollectPlugInSelection() const;
    // The engine's callback: the name being removed, or the report once the engine has finished.
    void OnPlugInCleanProgress(const std::wstring& name);

    void actPlugIn_RefreshExecute();
    void actPlugIn_CleanExecute();
    void actPlugIn_SelectAllExecute();
    void actPlugIn_SelectNoneExecute();

    TAction actPlugIn_Refresh, actPlugIn_Clean, actPlugIn_SelectAll, actPlugIn_SelectNone;

    // The groups as the tree holds them now (nullptr when missing).
    TCheckNode* ContextMenuGroup() const;
    TCheckNode* ComAddOnGroup() const;
    // The status line's text; after a clean that removed something its hint names the backup file.
    const std::wstring& StatusText() const { return FStatus; }
    HWND Panel() const { return FPanel.Handle(); }
    // The restore point of the last clean ("" before one, or when nothing was chosen).
    const std::wstring& LastRestorePointId() const { return FLastPointId; }

private:
    // Made first and freed last: the controls sit on it.
    TKivImagePanel FPanel;

public:
    TCheckTree tvPlugIn;
    TKivLabel lblPlugIn_SelectAll, lblPlugIn_SelectNone, lblPlugIn_Status;
    TKivImageButton btnIEPlugIn_Scan, btnIEPlugIn_Clean;
    TKivLabel lblPlugIn_RestorePoints;

private:
    void SetStatus(const std::wstring& text, const std::wstring& hint = {});
    void Relist();

    TIEPlugInCleaner& FCleaner;  // not owned
    HWND FOwner = nullptr;
    std::wstring FStatus;
    std::wstring FLastPointId;
};

}  // namespace sk
