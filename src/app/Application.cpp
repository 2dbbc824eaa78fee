#include "app/Application.h"

#include <windows.h>
#include <commctrl.h>

#include <exception>
#include <new>

#include "base/Errors.h"
#include "app/FormSurfkeep.h"
#include "app/GdiPlus.h"
#include "base/Handles.h"
#include "base/MessageBox.h"
#include "base/Paths.h"
#include "base/ProfileFile.h"
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

void LimitDllSearchToSystem() {
    // Looked up, not imported: Windows 7 has it only with its loader update.
    using TSetDefaultDllDirectories = BOOL(WINAPI*)(DWORD);
    const auto setDefault = reinterpret_cast<TSetDefaultDllDirectories>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories")));
    if (setDefault && setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32)) return;
    // Without it, at least the current folder is left out.
    ::SetDllDirectoryW(L"");
}

std::wstring ReadPackText(const std::wstring& exePath, const wchar_t* key, const std::wstring& englishText) {
    const std::wstring folder = FileFolderOf(exePath);
    const TProfileFile settings(folder + L"config\\config.ini");
    const int language = FileExists(settings.FileName())
                             ? settings.ReadInteger(kLanguageSection, kLanguageKey, kDefaultLanguageId)
                             : kDefaultLanguageId;
    const std::wstring pack = folder + L"langs\\" + std::to_wstring(language) + L"\\" +
                              ChangeFileExt(FileNameOf(exePath), L".ini");
    if (!FileExists(pack)) return englishText;
    return UnescapeText(TProfileFile(pack).ReadString(kLangPackSection, key, englishText));
}

std::wstring ReadFormTitle(const std::wstring& exePath) {
    return ReadPackText(exePath, L"IDS_SURFKEEP_FormTitle", IDS_SURFKEEP_FormTitle);
}

std::wstring CommandLineMutexName() { return InstanceMutexName() + L"|command-line"; }

int RunGuardedStart(const std::function<int()>& start) {
    // The window, if it was made, is gone by the time the box shows: the box has no owner.
    try {
        return start();
    } catch (const TError& e) {
        ShowErrorBox(nullptr, e.Message());
    } catch (const std::bad_alloc&) {
        ShowErrorBox(nullptr, IDS_SURFKEEP_OutOfMemory);
    } catch (const std::exception& e) {
        const char* what = e.what();
        std::wstring text;
        const int n = ::MultiByteToWideChar(CP_ACP, 0, what, -1, nullptr, 0);
        if (n > 1) {
            text.resize(static_cast<size_t>(n - 1));
            ::MultiByteToWideChar(CP_ACP, 0, what, -1, text.data(), n);
        }
        ShowErrorBox(nullptr, text.empty() ? IDS_SURFKEEP_WindowFailed : text);
    }
    return 1;
}

int RunSurfkeep(int showCommand) {
    // One copy per executable name within this logon session, decided before anything is created or
    // written: a second copy leaves the first's folder as it is. The handle stays open until the
    // process ends; the system releases it then.
    const THandle instanceMutex(::CreateMutexW(nullptr, FALSE, InstanceMutexName().c_str()));
    if (::GetLastError() == ERROR_ALREADY_EXISTS) {
        if (HWND first = ::FindWindowW(nullptr, ReadFormTitle(ExecutablePath()).c_str())) {
            ::SetForegroundWindow(first);
            return 0;
        }
        // No window to bring forward: when a change started from the command line holds the
        // program, the user is told why nothing opens (a first window still starting says nothing).
        const THandle commandLine(::OpenMutexW(SYNCHRONIZE, FALSE, CommandLineMutexName().c_str()));
        if (commandLine)
            ShowErrorBox(nullptr, ReadPackText(ExecutablePath(), L"IDS_SURFKEEP_CommandLineBusy",
                                               IDS_SURFKEEP_CommandLineBusy));
        return 0;
    }

    return RunGuardedStart([showCommand] {
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

        INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES | ICC_TAB_CLASSES};
        ::InitCommonControlsEx(&icc);

        TfrmSurfkeep form(DefaultTabs(module));
        if (!form.Create()) throw TError(IDS_SURFKEEP_WindowFailed);
        form.Show(showCommand);
        return RunMessageLoop(form);
    });
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
