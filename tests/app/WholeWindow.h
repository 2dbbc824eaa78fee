// The main window with all four tabs, on substitutes: an in-memory registry with a healthy machine,
// a scratch program folder, a hosts list of a few entries with the shield off, no shell. For the
// tests that walk the whole window (scale, keyboard, screen readers).
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "MessageBoxRecorder.h"
#include "TestSupport.h"
#include "UiTestSupport.h"
#include "app/FormSurfkeep.h"
#include "base/Handles.h"
#include "base/Settings.h"
#include "base/StringTable.h"
#include "clean/IECleaner.h"
#include "clean/ui/CleanTab.h"
#include "plugins/IEPlugInFuncs.h"
#include "plugins/ui/PlugInTab.h"
#include "repair/IERepairFuncs.h"
#include "repair/ui/RepairTab.h"
#include "security/IESecurityFuncs.h"
#include "security/ui/SecurityTab.h"

namespace sktest {

// The program's settings and texts in dir, as at a first start there.
inline void StartProgramIn(const TTempDir& dir) {
    sk::ResetStringTable();
    sk::LoadSettingsFor(dir / L"surfkeep.exe");
    sk::LoadStringTable();
}

// A healthy machine: every repair item run once.
inline void RepairEverything(sk::TRegistryBackend& registry) {
    for (int i = 0; i < sk::RepairItemCount; ++i) {
        std::vector<sk::TRepairRow> rows;
        sk::RepairItem(i, rows, registry);
    }
}

// The shield on scratch files: the hosts file at hosts, the list and its backup in dir, no
// resolver flush.
inline sk::TIESecurityOptions ScratchShieldPlaces(const TTempDir& dir, const std::wstring& hosts) {
    sk::TIESecurityOptions places;
    places.HostsFileName = hosts;
    places.ListFileName = dir / L"hosts.txt";
    places.BackupFileName = dir / L"backup\\hosts";
    places.FlushResolverCache = [] {};
    return places;
}

struct TWholeWindow {
    TMessageBoxRecorder Boxes;
    TTempDir Dir;
    sk::TMemoryRegistryBackend Registry;
    std::unique_ptr<sk::TIECleaner> Cleaner;
    std::unique_ptr<sk::TIEPlugInCleaner> PlugIns;
    std::unique_ptr<sk::TIESecurity> Security;
    std::unique_ptr<sk::TfrmSurfkeep> Form;
    std::vector<std::wstring> Opened;

    TWholeWindow() {
        StartProgramIn(Dir);
        RepairEverything(Registry);
        const std::string hosts =
            "# [2026-12-01] list\r\n127.0.0.1 localhost\r\n127.0.0.1 ads.example\r\n127.0.0.1 track.example\r\n";
        WriteBytes(Dir / L"hosts.txt", std::vector<unsigned char>(hosts.begin(), hosts.end()));
        WriteBytes(Dir / L"system-hosts", std::vector<unsigned char>(hosts.begin(), hosts.end()));
        Security = std::make_unique<sk::TIESecurity>(ScratchShieldPlaces(Dir, Dir / L"system-hosts"));
        Cleaner = std::make_unique<sk::TIECleaner>();
        PlugIns = std::make_unique<sk::TIEPlugInCleaner>(Registry, Dir / L"backup\\plugins");
        sk::TfrmSurfkeep::SetShellOpenHook([this](const std::wstring& t) { Opened.push_back(t); });
    }
    ~TWholeWindow() {
        Form.reset();
        sk::TfrmSurfkeep::SetShellOpenHook(nullptr);
    }
    TWholeWindow(const TWholeWindow&) = delete;
    TWholeWindow& operator=(const TWholeWindow&) = delete;

    // Shown without activation unless asked (destroying an activated window costs seconds under
    // Wine).
    sk::TfrmSurfkeep& Open(int showCommand = SW_SHOWNOACTIVATE) {
        sk::TfrmSurfkeepArgs args;
        args.RepairTab = std::make_unique<sk::TRepairTab>(Registry);
        args.Others.push_back(std::make_unique<sk::TCleanTab>(*Cleaner));
        args.Others.push_back(std::make_unique<sk::TPlugInTab>(*PlugIns));
        args.Others.push_back(std::make_unique<sk::TSecurityTab>(*Security));
        Form = std::make_unique<sk::TfrmSurfkeep>(std::move(args));
        REQUIRE(Form->Create());
        Form->Show(showCommand);
        PumpFor(50);
        return *Form;
    }
    sk::TRepairTab& Repair() { return Form->RepairTab(); }
};

// A window's rectangle in its parent's client coordinates.
inline RECT RectInParent(HWND wnd) {
    RECT r{};
    ::GetWindowRect(wnd, &r);
    ::MapWindowPoints(HWND_DESKTOP, ::GetParent(wnd), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

inline SIZE SizeOf(const RECT& r) { return SIZE{r.right - r.left, r.bottom - r.top}; }

// Every window inside wnd, at any depth.
inline std::vector<HWND> Descendants(HWND wnd) {
    std::vector<HWND> out;
    ::EnumChildWindows(
        wnd,
        [](HWND c, LPARAM lp) -> BOOL {
            reinterpret_cast<std::vector<HWND>*>(lp)->push_back(c);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&out));
    return out;
}

}  // namespace sktest
