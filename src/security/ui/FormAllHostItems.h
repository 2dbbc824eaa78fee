// The window that lists every blocking entry of the hosts file, numbered, where the Security tab
// shows only the first 100. It loads about a second after it appears, line by line, and can be
// neither closed nor reloaded while it loads.
#pragma once

#include <windows.h>

#include <string>

#include "controls/KWImageButton.h"
#include "controls/KWImagePanel.h"
#include "controls/KWLabel.h"
#include "controls/NativeControls.h"
#include "kit/SkinnedDialog.h"
#include "security/IESecurityFuncs.h"

namespace sk {

class TfrmShowAll : public TSkinnedDialog {
public:
    static constexpr int kClientWidth = 465;
    static constexpr int kClientHeight = 345;
    static constexpr const wchar_t* kClassName = L"TfrmShowAll";
    static constexpr UINT_PTR kShowTimerId = 1;
    static constexpr UINT kShowTimerMs = 1000;

    // The engine is the program's one hosts-file manager (not owned).
    explicit TfrmShowAll(TIESecurity& security);
    ~TfrmShowAll() override;

    // Shown modally, it ends with IDOK (Close) or IDCANCEL.
    bool Create(HWND owner) override;

    void FormCreate() override;
    void FormShow();  // starts tmrShow
    void tmrShowTimer();
    // Reloads the list from the hosts file. Raises the engine's error when the file cannot be read;
    // the window's buttons work again by then.
    void btnRefreshClick();
    void btnCloseClick();
    void FormClose();
    void SetListControlsEnabled(bool enabled);
    // The engine's receiver: appends "<n>. <host>" for a host, and notices the end mark.
    void AddHostLine(const std::wstring& host);

    bool Loading() const { return FLoading; }
    bool TimerRunning() const { return FTimerRunning; }
    int LineCount() const;
    std::wstring Line(int index) const;

    TKivImagePanel imgBack;
    TKivLabel lblTitle, lblStatus;
    TKivImageButton btnClose, btnRefresh, btnOK;
    TListBox lstMaliciousWebs;

protected:
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    void FinishLoading();
    void ShowProgress();
    void FocusDefault() override;
    // Runs a step whose error goes to the error box over this window.
    void Guarded(void (TfrmShowAll::*step)());

    TIESecurity& FSecurity;  // not owned
    bool FLoading = false;
    bool FTimerRunning = false;
    int FCount = 0;
    ULONGLONG FShownAt = 0;
    std::wstring FLine;
};

}  // namespace sk
