// The Security tab: the shield's state and its two switches, the first 100 blocking entries of the
// hosts file with their total, the automatic update of the hosts list and the download's progress,
// and the way into the window that lists every entry.
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
#include "security/IESecurityFuncs.h"
#include "security/KivHttpGet.h"

namespace sk {

// The settings keys of the shield's two switches (section "SURFKEEP").
inline constexpr const wchar_t* kIESecurityOnKey = L"IESecurityOn";
inline constexpr const wchar_t* kIESecurityAutoUpdateKey = L"IESecurityAutoUpdate";

class TSecurityTab : public TTabPage {
public:
    // The engine is the program's one hosts-file manager (not owned). The downloader, made at the
    // first update that needs it, gives up on a silent server after downloadTimeoutMs.
    explicit TSecurityTab(TIESecurity& security, uint32_t downloadTimeoutMs = 30000);
    ~TSecurityTab() override;

    std::wstring Caption() const override;
    void CreatePage(HWND sheet, HWND owner) override;
    void ApplyTexts() override { ApplySecurityTexts(); }
    void UpdateActions() override;
    void FormShow() override;   // the automatic update, when the user asked for it
    void FormClose() override;  // a running download stops; the downloader goes
    void BindUpdateWebList(TAction& action) override;
    // The shield's switches read again from the settings file, and the list from the hosts file.
    void MachineChanged() override { LoadSecuritySettings(); }

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

    // The downloader's events.
    void DownloadProgress(TKivHttpGet* Sender,
                          int Index,
                          const std::wstring& HttpUrl,
                          const std::wstring& LocalFile,
                          uint32_t CurrentSize,
                          uint32_t TotalSize,
                          uint32_t SpeedBPS);
    void DownloadDone(TKivHttpGet* Sender,
                      int Index,
                      const std::wstring& HttpUrl,
                      const std::wstring& LocalFile,
                      int FileSize);
    void DownloadFailed(TKivHttpGet* Sender,
                        const std::wstring& HttpUrl,
                        const std::wstring& LocalFile,
                        uint32_t ErrorCode,
                        bool& ContinueNext);

    TAction actSecurity_TurnOn, actSecurity_TurnOff, actSecurity_ShowAll;
    // Made invisible, and nothing shows them: the user does not add or delete entries in this version.
    TAction actSecurity_Add, actSecurity_Delete, actSecurity_Refresh;

    // The download component, empty until the first update that needs a download.
    TKivHttpGet* ListDownloader() const { return FListDownloader.get(); }
    const std::wstring& StatusText() const { return FStatus; }
    // The lines of lstMaliciousWebs, in order.
    std::vector<std::wstring> ListedLines() const;
    HWND Panel() const { return FPanel.Handle(); }
    // A downloaded list waits to be installed until the hosts file is no longer being read.
    bool InstallPending() const { return FInstallPending; }

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

private:
    void SetStatus(const std::wstring& text);
    void PlaceShowAllLink();
    // The switches are written, and the tab shows the engine's state whether or not that worked.
    void SaveAndRefresh();
    // True while some window is reading the hosts file (its listing lets messages run, so a click
    // or a finished download may arrive in the middle of it).
    bool HostsBeingListed() const { return !FSecurity.ListingDone; }
    void PostInstall();
    void InstallDownloadedList();

    TIESecurity& FSecurity;  // not owned
    uint32_t FDownloadTimeoutMs;
    HWND FOwner = nullptr;
    TAction* FUpdateAction = nullptr;  // the window's "Update hosts data" command (not owned)
    std::wstring FStatus;
    bool FInstallPending = false;
    int FDownloadEventDepth = 0;
    std::unique_ptr<TKivHttpGet> FListDownloader;
};

}  // namespace sk
