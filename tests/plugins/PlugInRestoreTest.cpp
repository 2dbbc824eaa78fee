// Plug-in removals with a restore point, put back: on the real (Wine) registry, add-ons of every kind
// registered as their installers do, in both registry views, with DLLs in a scratch folder. After
// the restore `reg export` (Wine's own reg.exe) of every key of the removed add-on, and an exact
// dump of every key of the scene, are what they were before the removal, byte for byte; the DLL is
// back where it was and gone from the backup folder, while the removal's own regedit file stays.
// On the in-memory registry: a point that cannot be made stops the removal before it changes
// anything, and an error in the middle leaves a point that puts back what went.
#include "PlugInTestSupport.h"
#include "RegistryTestSupport.h"
#include "RestoreTestSupport.h"

#include <algorithm>

#include "base/Format.h"
#include "base/Handles.h"
#include "base/Paths.h"
#include "base/StringTable.h"
#include "plugins/PlugInRemoval.h"
#include "registry/Restore.h"

using namespace sk;
using sktest::TAddOnSetup;
using sktest::TestGuid;

namespace {

const TRegView Native = TRegView::Native, Wow32 = TRegView::Wow32;
const TRegRoot HKCU = TRegRoot::CurrentUser, HKLM = TRegRoot::LocalMachine;

std::wstring Pid() { return std::to_wstring(::GetCurrentProcessId()); }

// `reg export` of one key (named as regedit names it) with everything beneath it: the file's bytes,
// or a marker when reg.exe finds no such key.
std::vector<unsigned char> RegExport(const std::wstring& key, const sktest::TTempDir& dir) {
    const std::wstring file = dir / L"export.reg";
    ::DeleteFileW(file.c_str());
    std::wstring command = L"reg.exe export \"" + key + L"\" \"" + file + L"\" /y";
    STARTUPINFOW si{sizeof si};
    si.dwFlags = STARTF_USESTDHANDLES;  // its messages are not ours to print
    PROCESS_INFORMATION pi{};
    // Starting a program under Wine fails now and then while the server is busy: a few tries.
    BOOL started = FALSE;
    for (int attempt = 0; attempt < 5 && !started; ++attempt) {
        if (attempt) ::Sleep(200);
        started = ::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                                   &si, &pi);
    }
    REQUIRE(started);
    THandle process(pi.hProcess), thread(pi.hThread);
    REQUIRE(::WaitForSingleObject(process.Get(), 60000) == WAIT_OBJECT_0);
    DWORD code = 1;
    ::GetExitCodeProcess(process.Get(), &code);
    if (code != 0) return {'(', 'n', 'o', ' ', 'k', 'e', 'y', ')'};
    auto bytes = sktest::ReadBytes(file);
    REQUIRE(bytes.size() > 2);
    return bytes;
}

std::string AsText(const std::vector<unsigned char>& bytes) {
    std::wstring text(bytes.size() / 2, L'\0');
    for (size_t i = 0; i < text.size(); ++i) text[i] = static_cast<wchar_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    return sktest::Narrow(text);
}

std::vector<std::wstring> FilesIn(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW data;
    const HANDLE find = ::FindFirstFileW((WithTrailingBackslash(folder) + L"*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(data.cFileName);
    } while (::FindNextFileW(find, &data));
    ::FindClose(find);
    std::sort(names.begin(), names.end());
    return names;
}

// A context-menu extension and four COM add-ons: a toolbar and a helper object in each view, each
// with a DLL of its own, ProgIDs, an AppID and (the toolbars) a type library.
struct TRestoreScene {
    sktest::TTempDir Temp;
    sktest::TRestoreBench Bench;
    sktest::TRegFixture Fixture{WindowsRegistryBackend()};
    std::wstring Menu = L"SkRestore &Menu " + Pid();
    TAddOnSetup Toolbar64, Helper64, Toolbar32, Helper32;

    TAddOnSetup MakeAddOn(int n, const std::wstring& name, const std::wstring& stem, bool toolbar, TRegView view) {
        TAddOnSetup a;
        a.Clsid = TestGuid(n);
        a.Name = name;
        a.FileName = Temp / (stem + L".dll");
        a.ProgID = L"SkRestore." + stem + L"." + Pid() + L".1";
        a.ViProgID = L"SkRestore." + stem + L"." + Pid();
        if (toolbar) a.TypeLib = TestGuid(n + 0x10);
        a.AppID = TestGuid(n + 0x20);
        a.AppIDModule = L"skr" + stem + Pid() + L".exe";
        a.Toolbar = toolbar;
        a.BHO = !toolbar;
        a.View = view;
        return a;
    }

    TRestoreScene() {
        Toolbar64 = MakeAddOn(0x91, L"SkRestore Toolbar", L"toolbar64", true, Native);
        Helper64 = MakeAddOn(0x92, L"SkRestore Helper", L"helper64", false, Native);
        Toolbar32 = MakeAddOn(0x93, L"SkRestore Toolbar (32-bit)", L"toolbar32", true, Wow32);
        Helper32 = MakeAddOn(0x94, L"SkRestore Helper (32-bit)", L"helper32", false, Wow32);
        Fixture.AddMenuExtension(Menu);
        for (const auto* a : AddOns()) {
            Fixture.AddAddOn(*a);
            sktest::WriteBytes(a->FileName, DllBytes(*a));
        }
    }
    std::vector<const TAddOnSetup*> AddOns() const { return {&Toolbar64, &Helper64, &Toolbar32, &Helper32}; }
    static std::vector<unsigned char> DllBytes(const TAddOnSetup& a) {
        std::vector<unsigned char> bytes = {'M', 'Z'};
        for (wchar_t c : a.Name) bytes.push_back(static_cast<unsigned char>(c));
        return bytes;
    }
    std::wstring Everything() { return sktest::Snapshot(WindowsRegistryBackend(), Fixture.Places()); }
    // Every key of the scene that belongs to what is removed (all of them for nullptr), as regedit
    // names it: the 32-bit view's keys by their Wow6432Node paths.
    std::vector<std::wstring> KeysOf(const std::vector<const TAddOnSetup*>& removed, bool menu) {
        std::vector<std::wstring> keys;
        for (const auto& place : Fixture.Places()) {
            const bool mine =
                (menu && place.Path.find(Menu) != std::wstring::npos) ||
                std::any_of(removed.begin(), removed.end(), [&](const TAddOnSetup* a) {
                    const auto has = [&](const std::wstring& part) {
                        return !part.empty() && place.Path.find(part) != std::wstring::npos;
                    };
                    return (place.View == a->View || place.Root == HKCU) &&
                           (has(a->Clsid) || has(a->AppID) || has(ChangeFileExt(a->AppIDModule, L".dll")) ||
                            has(a->ViProgID) || has(a->TypeLib) || (a->Toolbar && place.Path == kToolbarPath));
                });
            if (!mine) continue;
            const std::wstring name = SystemRegKeyName(place.Root, place.View, place.Path);
            if (std::find(keys.begin(), keys.end(), name) == keys.end()) keys.push_back(name);
        }
        return keys;
    }
    std::vector<std::vector<unsigned char>> Export(const std::vector<std::wstring>& keys) {
        std::vector<std::vector<unsigned char>> out;
        for (const auto& key : keys) out.push_back(RegExport(key, Temp));
        return out;
    }
};

}  // namespace

TEST_CASE("real registry: a plug-in removal of each kind, restored: keys byte-identical, the DLL back in place") {
    struct TCase {
        const char* Name;
        bool Menu;
        std::vector<TAddOnSetup TRestoreScene::*> AddOns;
    };
    const TCase cases[] = {
        {"a context-menu extension", true, {}},
        {"a toolbar of the native view", false, {&TRestoreScene::Toolbar64}},
        {"a browser helper object of the native view", false, {&TRestoreScene::Helper64}},
        {"a toolbar of the 32-bit view", false, {&TRestoreScene::Toolbar32}},
        {"a browser helper object of the 32-bit view", false, {&TRestoreScene::Helper32}},
        {"everything at once, both views",
         true,
         {&TRestoreScene::Toolbar64, &TRestoreScene::Helper64, &TRestoreScene::Toolbar32, &TRestoreScene::Helper32}},
    };
    for (const auto& c : cases) {
        INFO(c.Name);
        TRestoreScene s;
        std::vector<const TAddOnSetup*> removed;
        for (auto member : c.AddOns) removed.push_back(&(s.*member));
        const std::wstring backup = s.Temp / L"backup\\plugins";
        TIEPlugInCleaner cleaner(WindowsRegistryBackend(), backup);

        const std::vector<std::wstring> keys = s.KeysOf(removed, c.Menu);
        REQUIRE_FALSE(keys.empty());
        const auto exported = s.Export(keys);
        const std::wstring everything = s.Everything();

        TPlugInSelection selection;
        std::vector<std::wstring> items;
        if (c.Menu) {
            selection.push_back({TPlugInKind::MenuExtension, s.Menu, std::nullopt});
            items.push_back(s.Menu);
        }
        for (const auto* a : removed) {
            selection.push_back({TPlugInKind::ComAddOn, a->Clsid, a->View});
            items.push_back(a->Name);
        }
        std::vector<std::wstring> progress;
        const TPlugInRemovalResult done = RemovePlugInsWithRestorePoint(
            cleaner, s.Bench.Store, selection, [&](const std::wstring& name) { progress.push_back(name); });

        // Removed, through the recording registry and with the DLLs moved into the backup.
        CHECK(cleaner.CleanedCount == static_cast<int>(selection.size()));
        CHECK(progress.size() == selection.size() + 1);
        CHECK(s.Everything() != everything);
        for (const auto* a : s.AddOns()) {
            const bool gone = std::find(removed.begin(), removed.end(), a) != removed.end();
            CHECK(FileExists(a->FileName) == !gone);
        }
        REQUIRE(cleaner.FileReports.size() == removed.size());
        for (const auto& report : cleaner.FileReports) {
            CHECK(report.Fate == TPlugInFileFate::Moved);
            CHECK(FileExists(report.MovedTo));
        }
        REQUIRE(FileExists(cleaner.BackupFileName));
        const std::wstring regFile = FileNameOf(cleaner.BackupFileName);

        // The point: its operation, title, items and rows, the report the user was shown.
        REQUIRE_FALSE(done.PointId.empty());
        CHECK(done.Report == PlugInCleanReport(cleaner));
        CHECK(done.Report.size() == 1 + removed.size());
        CHECK(done.Report[0] == Fmt(IDS_IEPLUGIN_CleanReport, static_cast<int>(selection.size())));
        const auto list = s.Bench.Store.List();
        REQUIRE(list.size() == 1);
        CHECK(list[0].Id == done.PointId);
        CHECK(list[0].State == TRestoreState::Complete);
        CHECK(list[0].Operation == L"plugin-removal");
        CHECK(list[0].Title == L"Plug-ins");
        CHECK(list[0].Items == items);
        std::vector<std::wstring> rows;
        for (const auto& row : list[0].Rows) rows.push_back(row.Label);
        CHECK(rows == done.Report);

        const TRestorePlan plan = PlanRestore(s.Bench.Store, done.PointId);
        CHECK(plan.ChangedSince.empty());
        CHECK_FALSE(plan.Changes.empty());
        RunRestore(s.Bench.Store, plan, false);

        // Every key as it was, byte for byte, in reg.exe's export and in the exact dump.
        const auto now = s.Export(keys);
        REQUIRE(now.size() == exported.size());
        for (size_t i = 0; i < keys.size(); ++i) {
            INFO("reg export " << sktest::Narrow(keys[i]));
            CHECK(AsText(now[i]) == AsText(exported[i]));
            CHECK(now[i] == exported[i]);
        }
        CHECK(s.Everything() == everything);
        // Each DLL back in its place with its bytes; the backup keeps its regedit file and no DLL.
        for (const auto* a : s.AddOns()) CHECK(sktest::ReadBytes(a->FileName) == TRestoreScene::DllBytes(*a));
        CHECK(FilesIn(backup) == std::vector<std::wstring>{regFile});
        // The browser finds them again.
        const auto listed = cleaner.ListToolbarsAndBHOs();
        for (const auto* a : removed)
            CHECK(std::any_of(listed.begin(), listed.end(), [&](const TIEPlugInInfo& r) {
                return r.BHOInfo.CLSID == a->Clsid && r.View == a->View && r.Name == a->Name;
            }));
        if (c.Menu) {
            const auto menus = cleaner.ListMenuExtensions();
            CHECK(std::find(menus.begin(), menus.end(), s.Menu) != menus.end());
        }
    }
}

namespace {

// An add-on in the in-memory registry, with a DLL on disk.
struct TMemoryScene {
    sktest::TTempDir Temp;
    TMemoryRegistryBackend Registry;
    sktest::TRegFixture Fixture{Registry};
    TAddOnSetup Helper, Toolbar;

    TMemoryScene() {
        Helper.Clsid = TestGuid(0xA1);
        Helper.Name = L"SkMemory Helper";
        Helper.FileName = Temp / L"helper.dll";
        Helper.BHO = true;
        Toolbar.Clsid = TestGuid(0xA2);
        Toolbar.Name = L"SkMemory Toolbar";
        Toolbar.FileName = Temp / L"toolbar.dll";
        Toolbar.AppID = TestGuid(0xA3);
        Toolbar.Toolbar = true;
        Fixture.AddAddOn(Helper);
        Fixture.AddAddOn(Toolbar);
        sktest::WriteBytes(Helper.FileName, {'M', 'Z', 'h'});
        sktest::WriteBytes(Toolbar.FileName, {'M', 'Z', 't'});
    }
    std::wstring Snapshot() { return sktest::Snapshot(Registry, Fixture.Places()); }
};

}  // namespace

TEST_CASE("a restore point that cannot be made: nothing is removed, and the error says why") {
    TMemoryScene s;
    // A file where the restore points' folder belongs.
    const std::wstring backup = s.Temp / L"backup\\";
    ::CreateDirectoryW(backup.c_str(), nullptr);
    sktest::WriteBytes(backup + L"restore", {'x'});
    TRestoreStore store(backup);
    TIEPlugInCleaner cleaner(s.Registry, backup + L"plugins");
    const std::wstring before = s.Snapshot();
    int calls = 0;
    const std::wstring error = sktest::ErrorOf([&] {
        RemovePlugInsWithRestorePoint(cleaner, store, {{TPlugInKind::ComAddOn, s.Helper.Clsid, std::nullopt}},
                                      [&](const std::wstring&) { ++calls; });
    });
    CHECK(error.rfind(L"Could not create a restore point in ", 0) == 0);
    CHECK(error.find(L"Nothing was changed") != std::wstring::npos);
    CHECK(calls == 0);
    CHECK(s.Snapshot() == before);
    CHECK(FileExists(s.Helper.FileName));
    CHECK_FALSE(DirectoryExists(backup + L"plugins"));
}

TEST_CASE("a removal that stops on an error leaves a point that puts back what went") {
    TMemoryScene s;
    sktest::TRestoreBench bench;
    TIEPlugInCleaner cleaner(s.Registry, s.Temp / L"backup\\plugins");
    const std::wstring before = s.Snapshot();
    // The toolbar's AppID key names its module with a number: reading it fails after the helper
    // and the toolbar's own class have gone.
    s.Fixture.Set(HKLM, Native, L"Software\\Classes\\AppID\\" + s.Toolbar.AppID, L"", RegNumber(5));
    const std::wstring broken = s.Snapshot();
    const TPlugInSelection selection = {{TPlugInKind::ComAddOn, s.Helper.Clsid, std::nullopt},
                                        {TPlugInKind::ComAddOn, s.Toolbar.Clsid, std::nullopt}};
    const std::wstring error =
        sktest::ErrorOf([&] { RemovePlugInsWithRestorePoint(cleaner, bench.Store, selection, {}); });
    CHECK(error == L"Invalid data type for ''");
    CHECK_FALSE(FileExists(s.Helper.FileName));
    CHECK(s.Snapshot() != broken);

    const auto list = bench.Store.List();
    REQUIRE(list.size() == 1);
    CHECK(list[0].State == TRestoreState::Complete);
    CHECK(list[0].Items == std::vector<std::wstring>{L"SkMemory Helper", L"SkMemory Toolbar"});
    REQUIRE(list[0].Rows.size() == 2);
    CHECK(list[0].Rows[0].Label == L"1 plugs-in are cleaned!");
    CHECK(list[0].Rows[1].Label.find(L"helper.dll was moved into the backup as ") != std::wstring::npos);

    RunRestore(bench.Store, PlanRestore(bench.Store, list[0].Id, s.Registry), false, s.Registry);
    CHECK(s.Snapshot() == broken);
    CHECK(sktest::ReadBytes(s.Helper.FileName) == std::vector<unsigned char>{'M', 'Z', 'h'});
    CHECK(s.Snapshot() != before);  // the damaged AppID is the user's to mend
}

TEST_CASE("nothing chosen: no restore point, and the report says 0") {
    TMemoryScene s;
    sktest::TRestoreBench bench;
    TIEPlugInCleaner cleaner(s.Registry, s.Temp / L"backup\\plugins");
    std::vector<std::wstring> progress;
    const TPlugInRemovalResult done =
        RemovePlugInsWithRestorePoint(cleaner, bench.Store, {}, [&](const std::wstring& n) { progress.push_back(n); });
    CHECK(done.PointId.empty());
    CHECK(done.Report == std::vector<std::wstring>{L"0 plugs-in are cleaned!"});
    CHECK(progress == std::vector<std::wstring>{L""});
    CHECK(bench.Store.List().empty());
}

TEST_CASE("the chosen add-ons as the user sees them") {
    TMemoryScene s;
    sktest::TRegFixture& f = s.Fixture;
    TAddOnSetup nameless;
    nameless.Clsid = TestGuid(0xA4);
    nameless.BHO = true;
    nameless.HasClass = false;
    f.AddAddOn(nameless);
    f.AddMenuExtension(L"E&xport");
    TIEPlugInCleaner cleaner(s.Registry, s.Temp / L"backup\\plugins");
    const TPlugInSelection selection = {
        {TPlugInKind::MenuExtension, L"E&xport", std::nullopt},
        // Letter case of a CLSID does not matter; the same add-on twice is one item.
        {TPlugInKind::ComAddOn, s.Toolbar.Clsid, Native},
        {TPlugInKind::ComAddOn, s.Toolbar.Clsid, std::nullopt},
        {TPlugInKind::ComAddOn, TestGuid(0xA1).substr(0, 10) + L"5eed" + TestGuid(0xA1).substr(14), std::nullopt},
        // No name, and not listed (or not in that view): its CLSID.
        {TPlugInKind::ComAddOn, nameless.Clsid, std::nullopt},
        {TPlugInKind::ComAddOn, s.Helper.Clsid, Wow32},
    };
    CHECK(PlugInSelectionItems(cleaner, selection) ==
          std::vector<std::wstring>{L"E&xport", L"SkMemory Toolbar", L"SkMemory Helper", nameless.Clsid,
                                    s.Helper.Clsid});
}
