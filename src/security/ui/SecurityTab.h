// The Security tab: the shield's state and its two switches, the first 100 blocking entries of the
// hosts file with their total, the automatic update of the hosts list and the download's progress,
// and the way into the window that lists every entry. Every change it makes (Turn on, Turn off, an
// installed update, Add, Delete) records a restore point of the program's store first.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/Action.h"
#include "controls/KWImage.h"
#include "controls/KWImageButton.h"
#include "controls/KWImagePanel.h"
#include "controls/KWLabel.h"
#include "controls/NativeControls.h"
#include "kit/TabPage.h"
#include "registry/RestoreStore.h"
#include "security/HostsListUpdate.h"
#include "security/IESecurityFuncs.h"
#include "security/ShieldChange.h"

namespace sk {

class TSecurityTab : public TTabPage {
public:
    // The engine is the program's one hosts-file manager (not owned). The update, made at the
    // first one, gives up on a silent server after downloadTimeoutMs.
    explicit TSecurityTab(TIESecurity& security, uint32_t downloadTimeoutMs = 30000);
    ~TSecurityTab() override;

    std::wstring Caption() const override;
    void CreatePage(HWND sheet, HWND owner) override;
    void ApplyTexts() override { ApplySecurityTexts(); }
    void UpdateActions() override;
    void FormShow() override;   // the automatic update, when the user asked for it
    void FormClose() override;  // a running update stops, the list as it was; the update goes
    void BindUpdateWebList(TAction& action) override;
    // After a restore point was put back: the shield's state follows the restored files and
    // settings, and the tab shows it.
    void MachineChanged() override;

    // The texts, an empty status line, then the two switches from the settings file.
    void ApplySecurityTexts();
    void LoadSecuritySettings();
    // Writes both switches; raises TWriteError when the settings file cannot be written.
    void SaveSecuritySettings();
    // The shield's state, the first 100 entries and the total, from the engine and the hosts file.
    void RefreshSecurityTab();
    // Appends "<n>. <host>" to the list (n: the list's line count plus 1); empty hosts are skipped.
    void AddListedHost(const std::wstring& host);

    void actSecurity_TurnOnExecute();
    void actSecurity_TurnOffExecute();
    void chkSecurity_AutoUpdateClick();
    void actUpdateWebListExecute();
    void actSecurity_ShowAllExecute();
    void actSecurity_AddExecute();
    void actSecurity_DeleteExecute();
    void actSecurity_RefreshExecute() {}

    // The update's events: the download's progress, and its end (the status says how it went; a
    // list installed while the shield is on shows at once).
    void DownloadProgress(const TListUpdateProgress& progress);
    void UpdateDone(const TListUpdateResult& result);

    TAction actSecurity_TurnOn, actSecurity_TurnOff, actSecurity_ShowAll;
    // Made invisible, and nothing shows them: the user does not add or delete entries in this version.
    TAction actSecurity_Add, actSecurity_Delete, actSecurity_Refresh;

    // The update, empty until the first one.
    THostsListUpdate* ListUpdate() const { return FListUpdate.get(); }
    const std::wstring& StatusText() const { return FStatus; }
    // The lines of lstMaliciousWebs, in order.
    std::vector<std::wstring> ListedLines() const;
    HWND Panel() const { return FPanel.Handle(); }

private:
    // Made first and freed last: the controls sit on it.
    TKivImagePanel FPanel;

public:
    TKivImage imgOn, imgOff;
    TKivLabel lblSecurity_Info, lblSecurity_Description, lblSecurity_Warning, lblSecurity_HostInfo,
        lblSecurity_DataInfo, lblSecurity_ShowAll, lblSecurity_Status;
    TKivImageButton btnSecurity_TurnOn, btnSecurity_TurnOff, btnSecurity_Add, btnSecurity_Delete, btnSecurity_Refresh;
    TListBox lstMaliciousWebs;
    TCheckBox chkSecurity_AutoUpdate;
    TKivLabel lblSecurity_RestorePoints;
    // The user's own entries that do not work while the shield is on; hidden when there are none.
    TKivLabel lblSecurity_NotKept;

private:
    void SetStatus(const std::wstring& text);
    void PlaceShowAllLink();
    // Runs a change of the shield; the tab then shows the engine's state, also after an error that
    // came when the shield's state had changed already.
    template <typename TChange>
    void ChangeAndRefresh(TChange&& change);
    // True while some window is reading the hosts file (its listing lets messages run, so a click
    // may arrive in the middle of it).
    bool HostsBeingListed() const { return !FSecurity.ListingDone; }

    TIESecurity& FSecurity;  // not owned
    uint32_t FDownloadTimeoutMs;
    HWND FOwner = nullptr;
    TAction* FUpdateAction = nullptr;  // the window's "Update hosts data" command (not owned)
    std::wstring FStatus;
    int FUpdateEventDepth = 0;
    std::unique_ptr<TRestoreStore> FUpdateStore;  // where the running update records its install
    std::unique_ptr<THostsListUpdate> FListUpdate;
};

}  // namespace sk
