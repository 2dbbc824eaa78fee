// Renders the main window on each tab and every dialog to PNG files, for people to look at:
//   surfkeep_screenshots.exe <output folder>
// Runs on an in-memory registry with a few broken settings, in a scratch program folder.
#include <windows.h>

#include <cstdio>
#include <string>

#include "TestSupport.h"
#include "UiTestSupport.h"
#include "app/MessageBox.h"
#include "app/Settings.h"
#include "app/StringTable.h"
#include "app/ui/FormAbout.h"
#include "app/ui/FormSurfkeep.h"
#include "repair/RepairTab.h"

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

void Write(TRegistryBackend& reg, TRegRoot root, const std::wstring& path, const std::wstring& name, int32_t v) {
    TRegistryStore store(reg, root);
    if (store.Open(path, true)) store.WriteNumber(name, v);
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

    TfrmSurfkeepArgs args;
    args.RepairTab = std::make_unique<TRepairTab>(registry);
    TfrmSurfkeep form(std::move(args));
    if (!form.Create()) return 1;
    ::SetWindowPos(form.Handle(), HWND_TOP, 20, 20, 0, 0, SWP_NOSIZE);
    form.Show();

    Save(form.Handle(), out, L"main-repair");
    for (int i = 1; i < form.pgcMain().Count(); ++i) {
        form.pgcMain().Select(i);
        std::wstring name = form.pgcMain().Caption(i);
        for (auto& c : name) c = static_cast<wchar_t>(c == L' ' ? L'-' : towlower(c));
        Save(form.Handle(), out, L"main-" + name);
    }
    form.pgcMain().Select(0);
    form.RepairTab().actIERepair_Repair.Execute();
    Save(form.Handle(), out, L"main-repair-results");

    TfrmAbout about;
    about.Create(form.Handle());
    ::ShowWindow(about.Handle(), SW_SHOW);
    Save(about.Handle(), out, L"about");
    return 0;
}
