#include "app/Application.h"

#include <windows.h>
#include <commctrl.h>

#include "base/Errors.h"
#include "app/FormSurfkeep.h"
#include "app/GdiPlus.h"
#include "base/Handles.h"
#include "base/MessageBox.h"
#include "base/Paths.h"
#include "base/Settings.h"
#include "base/StringTable.h"
#include "clean/ui/CleanTab.h"
#include "clean/IECleaner.h"
#include "plugins/IEPlugInFuncs.h"
#include "plugins/ui/PlugInTab.h"
#include "repair/ui/RepairTab.h"
#include "security/IESecurityFuncs.h"
#include "security/ui/SecurityTab.h"

namespace sk {

TApplicationModule::TApplicationModule()
    : Cleaner(std::make_unique<TIECleaner>()), PlugInCleaner(std::make_unique<TIEPlugInCleaner>()) {
    StartGdiPlus();
    LoadMessageBoxLibrary();
}

TApplicationModule::~TApplicationModule() {
    UnloadMessageBoxLibrary();
    ShutdownGdiPlus();
    Security.reset();
    PlugInCleaner.reset();
    Cleaner.reset();
}

TfrmSurfkeepArgs DefaultTabs(TApplicationModule& module) {
    TfrmSurfkeepArgs args;
    args.RepairTab = std::make_unique<TRepairTab>();
    args.Others.push_back(std::make_unique<TCleanTab>(*module.Cleaner));
    args.Others.push_back(std::make_unique<TPlugInTab>(*module.PlugInCleaner));
    if (!module.Security) module.Security = std::make_unique<TIESecurity>();
    args.Others.push_back(std::make_unique<TSecurityTab>(*module.Security));
    return args;
}

std::wstring InstanceMutexName() { return FileNameOf(ExecutablePath()); }

int RunSurfkeep(int showCommand) {
    TApplicationModule module;

    try {
        LoadSettings();
    } catch (const TError& e) {
        // Without a settings file the program cannot run: say why and end without a window.
        ShowErrorBox(nullptr, e.Message());
        return 1;
    }
    LoadStringTable();
    // The hosts manager keeps its list and its one-time backup of the hosts file beside the program.
    module.Security = std::make_unique<TIESecurity>();

    // One copy per executable name within this logon session. The handle stays open until the
    // process ends; the system releases it then.
    const THandle instanceMutex(::CreateMutexW(nullptr, FALSE, InstanceMutexName().c_str()));
    if (::GetLastError() == ERROR_ALREADY_EXISTS) {
        ::SetForegroundWindow(::FindWindowW(nullptr, IDS_SURFKEEP_FormTitle.c_str()));
        return 0;
    }

    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES | ICC_TAB_CLASSES};
    ::InitCommonControlsEx(&icc);

    TfrmSurfkeep form(DefaultTabs(module));
    try {
        if (!form.Create()) return 1;
        form.Show(showCommand);
    } catch (const TError& e) {
        ShowErrorBox(form.Handle(), e.Message());
    }

    return RunMessageLoop(form);
}

int RunMessageLoop(TfrmSurfkeep& form) {
    // Runs every waiting message, then, with the queue empty, lets the window update the enabling
    // of its commands once before waiting again.
    for (;;) {
        MSG msg;
        bool idle = true;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) return static_cast<int>(msg.wParam);
            idle = false;
            if (form.Handle() && form.PreTranslate(msg)) continue;
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        if (!idle && form.Handle()) form.lstActionUpdate();
        ::WaitMessage();
    }
}

}  // namespace sk
