// Renders the main window on each tab (and the Cleaning tab after a clean, the Security tab with the
// shield off) and every dialog to PNG files, for people to look at:
//   surfkeep_screenshots.exe <output folder>
// Runs on an in-memory registry with a few broken settings, in a scratch program folder.
#include <windows.h>

#include <cstdio>
#include <string>

#include "TestSupport.h"
#include "UiTestSupport.h"
#include "base/Handles.h"
#include "base/MessageBox.h"
#include "base/Paths.h"
#include "base/ProfileFile.h"
#include "base/Settings.h"
#include "base/StringTable.h"
#include "app/FormAbout.h"
#include "app/FormRestorePoints.h"
#include "app/FormSurfkeep.h"
#include "controls/KWTheme.h"
#include "clean/ui/CleanTab.h"
#include "clean/IECleaner.h"
#include "plugins/IEPlugInFuncs.h"
#include "plugins/ui/PlugInTab.h"
#include "registry/Restore.h"
#include "repair/ui/RepairTab.h"
#include "security/ui/FormAddSecurityItem.h"
#include "security/ui/FormAllHostItems.h"
#include "security/IESecurityFuncs.h"
#include "security/ui/SecurityTab.h"

using namespace sk;

namespace {

int Quiet(HWND, const std::wstring&, const std::wstring&, UINT) { return IDOK; }

void Save(HWND wnd, const std::wstring& folder, const std::wstring& name) {
    sktest::PumpFor(300);
    const std::wstring file = folder + name + L".png";
    if (sktest::SaveWindowPng(wnd, file)) std::printf("%s\n", sktest::Narrow(file).c_str());
    else std::printf("failed: %s\n", sktest::Narrow(file).c_str());
    std::fflush(stdout);
}

// Writes a file when it can (no test is running here to report a failure).
void WriteFile(const std::wstring& name, const std::string& bytes) {
    THandle h(::CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    if (h) ::WriteFile(h.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

void Write(TRegistryBackend& reg, TRegRoot root, const std::wstring& path, const std::wstring& name, int32_t v) {
    TRegistryStore store(reg, root);
    if (store.Open(path, true)) store.WriteNumber(name, v);
}

// A few restore points as the program's operations leave them: a repair, a plug-in removal, the
// shield turned on, a hosts-list update that was cut short, and the plug-in removal put back.
void MakeRestorePoints(const TRestoreStore& store, TRegistryBackend& registry, const std::wstring& hostsFile) {
    try {
        {
            Write(registry, TRegRoot::CurrentUser, L"Software\\Policies\\Microsoft\\Internet Explorer\\Restrictions",
                  L"NoBrowserOptions", 1);
            TRegistryStore main(registry, TRegRoot::CurrentUser);
            if (main.Open(L"Software\\Microsoft\\Internet Explorer\\Main", true))
                main.WriteText(L"Window Title", L"Browsing with SearchHelper");
            const int items[] = {3, 9};
            TRestoreOperation operation{L"repair", IDS_IEREPAIR_Title, {}};
            for (int i : items) operation.Items.push_back(*RepairItemAt(i).Text);
            auto point = TRestorePoint::Begin(store, operation, registry);
            std::vector<TRepairRow> rows;
            for (int i : items) RepairItem(i, rows, point->Registry());
            std::vector<TRestoreRow> shown;
            for (const auto& row : rows) shown.push_back({row.Label, row.Before, row.After});
            point->Complete(shown);
        }
        std::wstring removed;
        {
            const std::wstring key = std::wstring(kMenuExtPath) + L"\\Send to &OneNote";
            auto point = TRestorePoint::Begin(store, {L"plugin-removal", L"Plug-in removal", {L"Send to &OneNote"}},
                                              registry);
            point->CaptureKey({TRegRoot::CurrentUser, TRegView::Native, key});
            TRegistryStore menu(point->Registry(), TRegRoot::CurrentUser);
            if (menu.Open(kMenuExtPath, false)) menu.RemoveKey(L"Send to &OneNote");
            point->Complete({{L"Send to &OneNote", L"res://addon.dll/201", L"Removed"}});
            removed = point->Id();
        }
        {
            auto point = TRestorePoint::Begin(store, {L"shield-on", IDS_IESECURITY_PointTurnOn, {}}, registry);
            point->CaptureFile(hostsFile);
            point->CaptureSetting(ConfigFileName, kSettingsSection, L"IESecurityOn");
            point->Complete({{L"Security shield", L"Off", L"On"}, {L"Hosts file", L"2 lines", L"322 lines"}});
        }
        {
            auto point = TRestorePoint::Begin(store, {L"shield-update", IDS_IESECURITY_PointUpdate, {}}, registry);
            point->CaptureFile(hostsFile);
            WriteFile(hostsFile,
                      "# [2026-12-08] Surfkeep hosts list\r\n127.0.0.1 localhost\r\n127.0.0.1 ads.example\r\n");
            // Cut short: never completed.
        }
        RunRestore(store, PlanRestore(store, removed, registry), false, registry);
    } catch (const TError& e) {
        std::printf("failed: restore points: %s\n", sktest::Narrow(e.Message()).c_str());
    }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::wstring out = argc > 1 ? argv[1] : L".";
    if (out.back() != L'\\' && out.back() != L'/') out += L'\\';
    sktest::TTempDir dir;
    LoadSettingsFor(dir / L"surfkeep.exe");
    LoadStringTable();
    SetMessageBoxHook(Quiet);
    TfrmSurfkeep::SetShellOpenHook([](const std::wstring&) {});
    // As Windows shows a window at first: mnemonics underlined only once Alt is pressed (Wine starts
    // with them always on). For this process only.
    ::SystemParametersInfoW(SPI_SETKEYBOARDCUES, 0, reinterpret_cast<void*>(static_cast<INT_PTR>(FALSE)), 0);
    RefreshKivTheme();

    TMemoryRegistryBackend registry;
    for (int i = 0; i < RepairItemCount; ++i) {
        std::vector<TRepairRow> rows;
        RepairItem(i, rows, registry);
    }
    Write(registry, TRegRoot::CurrentUser, L"Software\\Policies\\Microsoft\\Internet Explorer\\Restrictions",
          L"NoBrowserOptions", 1);
    Write(registry, TRegRoot::CurrentUser, L"Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer",
          L"NoFolderOptions", 1);
    Write(registry, TRegRoot::CurrentUser, L"Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\System",
          L"DisableRegistryTools", 1);

    // A few add-ons to list.
    for (const wchar_t* name : {L"E&xport to Spreadsheet", L"Send to &OneNote", L"Translate with QuickDict"}) {
        TRegistryStore store(registry, TRegRoot::CurrentUser);
        if (store.Open(std::wstring(kMenuExtPath) + L"\\" + name, true)) store.WriteText(L"", L"res://addon.dll/201");
    }
    struct TAddOn {
        const wchar_t *Clsid, *Name, *File, *ProgId;
    } const addOns[] = {
        {L"{2A3B9F10-5C1E-4D7A-9B11-6F0E2C4D8A01}", L"SearchHelper Toolbar", L"C:\\Program Files\\SearchHelper\\shtb.dll",
         L"SearchHelper.Toolbar.1"},
        {L"{7D1C2E44-90AB-4F3C-8E5D-1B2A3C4D5E6F}", L"Coupon Finder Helper", L"C:\\Program Files\\CouponFinder\\cfbho.dll",
         L"CouponFinder.Helper"},
    };
    for (size_t i = 0; i < 2; ++i) {
        const TAddOn& a = addOns[i];
        TRegistryStore list(registry, TRegRoot::LocalMachine);
        if (i == 0 && list.Open(kToolbarPath, true)) list.WriteText(a.Clsid, L"");
        if (i == 1) list.Open(std::wstring(kBHOPath) + L"\\" + a.Clsid, true);
        const std::wstring cls = std::wstring(kClassesCLSIDPath) + L"\\" + a.Clsid;
        TRegistryStore c(registry, TRegRoot::LocalMachine);
        if (c.Open(cls, true)) c.WriteText(L"", a.Name);
        TRegistryStore f(registry, TRegRoot::LocalMachine);
        if (f.Open(cls + L"\\InprocServer32", true)) f.WriteText(L"", a.File);
        TRegistryStore p(registry, TRegRoot::LocalMachine);
        if (p.Open(cls + L"\\ProgID", true)) p.WriteText(L"", a.ProgId);
    }

    // Something for the cleaner to find in this throwaway prefix.
    const struct {
        int Csidl;
        const wchar_t* Names[3];
    } browserFiles[] = {
        {0x20, {L"logo[1].png", L"style[2].css", L"index[1].htm"}},
        {0x21, {L"user@news.example[1].txt", L"user@shop.example[2].txt", nullptr}},
    };
    for (const auto& place : browserFiles) {
        const std::wstring folder = SpecialFolderPath(place.Csidl, true);
        for (const wchar_t* name : place.Names)
            if (name && !folder.empty()) WriteFile(folder + name, std::string(1500, 'x'));
    }
    {
        TRegistryStore typed(WindowsRegistryBackend(), TRegRoot::CurrentUser);
        if (typed.Open(L"Software\\Microsoft\\Internet Explorer\\TypedURLs", true)) {
            typed.WriteText(L"url1", L"http://news.example/");
            typed.WriteText(L"url2", L"http://shop.example/deals");
        }
    }
    // A hosts list of a few hundred blocked names, the shield on.
    std::string hosts = "# [2026-12-01] Surfkeep hosts list\r\n127.0.0.1 localhost\r\n";
    const char* words[] = {"ads", "track", "popup", "banner", "metrics", "click", "promo", "spy"};
    for (int i = 0; i < 320; ++i)
        hosts += "127.0.0.1 " + std::string(words[i % 8]) + std::to_string(i) + ".malware.example\r\n";
    WriteFile(dir / L"hosts.txt", hosts);
    WriteFile(dir / L"system-hosts", hosts);
    TProfileFile(ConfigFileName).WriteBool(kSettingsSection, L"IESecurityOn", true);
    TIESecurityOptions securityPlaces;
    securityPlaces.HostsFileName = dir / L"system-hosts";
    securityPlaces.ListFileName = dir / L"hosts.txt";
    securityPlaces.BackupFileName = dir / L"backup\\hosts";
    securityPlaces.FlushResolverCache = [] {};
    TIESecurity security(securityPlaces);

    TIECleaner cleaner;
    TIEPlugInCleaner plugIns(registry, dir / L"backup\\plugins");
    TfrmSurfkeepArgs args;
    args.RepairTab = std::make_unique<TRepairTab>(registry);
    auto cleanTab = std::make_unique<TCleanTab>(cleaner);
    TCleanTab& clean = *cleanTab;
    args.Others.push_back(std::move(cleanTab));
    args.Others.push_back(std::make_unique<TPlugInTab>(plugIns));
    auto securityTab = std::make_unique<TSecurityTab>(security);
    TSecurityTab& shield = *securityTab;
    args.Others.push_back(std::move(securityTab));
    TfrmSurfkeep form(std::move(args));
    if (!form.Create()) return 1;
    ::SetWindowPos(form.Handle(), HWND_TOP, 20, 20, 0, 0, SWP_NOSIZE);
    form.Show();

    Save(form.Handle(), out, L"main-repair");
    for (int i = 1; i < form.pgcMain().Count(); ++i) {
        form.pgcMain().Select(i);
        if (form.Page(i) == &clean) {
            clean.actIEClean_Scan.Execute();
            sktest::PumpUntil([&] { return !clean.actIEClean_Stop.Enabled(); }, 10000);
        }
        std::wstring name = form.pgcMain().Caption(i);
        for (auto& c : name) c = static_cast<wchar_t>(c == L' ' ? L'-' : towlower(c));
        Save(form.Handle(), out, L"main-" + name);
        // The states after the user's next step: the report of a clean, the shield switched off.
        if (form.Page(i) == &clean) {
            clean.actIEClean_Clean.Execute();
            sktest::PumpUntil([&] { return !clean.actIEClean_Stop.Enabled(); }, 10000);
            Save(form.Handle(), out, L"main-" + name + L"-cleaned");
        } else if (form.Page(i) == &shield) {
            shield.actSecurity_TurnOff.Execute();
            Save(form.Handle(), out, L"main-" + name + L"-off");
            shield.actSecurity_TurnOn.Execute();
        }
    }
    form.pgcMain().Select(0);
    // With a high-contrast theme: the system's colours, no pictures behind the texts.
    SetKivHighContrastOverride(1);
    ::SendMessageW(form.Handle(), WM_SYSCOLORCHANGE, 0, 0);
    Save(form.Handle(), out, L"main-repair-high-contrast");
    SetKivHighContrastOverride(-1);
    ::SendMessageW(form.Handle(), WM_SYSCOLORCHANGE, 0, 0);
    form.RepairTab().actIERepair_Repair.Execute();
    Save(form.Handle(), out, L"main-repair-results");

    TfrmShowAll all(security);
    if (all.Create(form.Handle())) {
        ::ShowWindow(all.Handle(), SW_SHOWNOACTIVATE);
        all.FormClose();
        all.btnRefreshClick();
        Save(all.Handle(), out, L"all-hosts");
        ::ShowWindow(all.Handle(), SW_HIDE);
    }
    TfrmAddSecurityItem add;
    if (add.Create(form.Handle())) {
        ::ShowWindow(add.Handle(), SW_SHOW);
        ::SetWindowTextW(add.edtName, L"ads.example");
        Save(add.Handle(), out, L"add-dialog");
        ::ShowWindow(add.Handle(), SW_HIDE);
    }

    TfrmAbout about;
    about.Create(form.Handle());
    ::ShowWindow(about.Handle(), SW_SHOW);
    Save(about.Handle(), out, L"about");
    ::ShowWindow(about.Handle(), SW_HIDE);

    const TRestoreStore store(ProgramFolder + L"backup\\");
    MakeRestorePoints(store, registry, dir / L"system-hosts");
    TfrmRestorePoints restorePoints(store, registry);
    if (restorePoints.Create(form.Handle())) {
        ::ShowWindow(restorePoints.Handle(), SW_SHOW);
        restorePoints.SelectPoint(static_cast<int>(restorePoints.Points().size()) - 1);  // the repair
        Save(restorePoints.Handle(), out, L"restore-points");
        restorePoints.SelectPoint(1);  // the update that was cut short
        Save(restorePoints.Handle(), out, L"restore-points-interrupted");
        ::ShowWindow(restorePoints.Handle(), SW_HIDE);
    }
    return 0;
}
