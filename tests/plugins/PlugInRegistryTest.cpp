// The plug-in scanner and remover on the real (Wine) registry: add-ons registered the way their
// installers do, in both registry views, with DLL files in a scratch folder. Each removal is checked
// step by step, and its backup file is imported with regedit to put everything back.
#include <algorithm>
#include <sstream>

#include "PlugInTestSupport.h"
#include "base/Handles.h"
#include "base/Paths.h"

using namespace sk;
using sktest::TAddOnSetup;
using sktest::TestGuid;

namespace {

const TRegView Native = TRegView::Native, Wow32 = TRegView::Wow32;
const TRegRoot HKCU = TRegRoot::CurrentUser, HKLM = TRegRoot::LocalMachine;

std::wstring Pid() { return std::to_wstring(::GetCurrentProcessId()); }

// Whether a name is one of this process's test add-ons (stale ones of a crashed run are not).
bool IsOurs(const std::wstring& name) { return name.find(TestGuid(0).substr(9)) != std::wstring::npos; }

std::wstring Join(const std::vector<std::wstring>& items) {
    std::wstring out;
    for (const auto& s : items) out += s + L"\n";
    return out;
}

// regedit /s <file>, as the user's double-click would run it (without the question).
DWORD ImportWithRegedit(const std::wstring& file) {
    std::wstring command = L"regedit.exe /s \"" + file + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    REQUIRE(::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info));
    THandle process(info.hProcess), thread(info.hThread);
    REQUIRE(::WaitForSingleObject(process.Get(), 60000) == WAIT_OBJECT_0);
    DWORD code = 1;
    ::GetExitCodeProcess(process.Get(), &code);
    return code;
}

// Two context-menu extensions and six COM add-ons: a toolbar and a BHO in each view, and one add-on
// registered in both views under one CLSID.
struct TRealScene {
    sktest::TTempDir Temp;
    sktest::TRegFixture Fixture{WindowsRegistryBackend()};
    std::wstring MenuA = L"SkTest &Alpha " + Pid(), MenuZ = L"SkTest Zeta " + Pid();
    TAddOnSetup Toolbar64, Helper64, Toolbar32, Helper32, Both64, Both32;

    TAddOnSetup MakeAddOn(int n, const std::wstring& name, const std::wstring& stem, bool toolbar, TRegView view,
                    bool typeLib) {
        TAddOnSetup a;
        a.Clsid = TestGuid(n);
        a.Name = name;
        a.FileName = Temp / (stem + L".dll");
        a.ProgID = L"SkTest." + stem + L"." + Pid() + L".1";
        a.ViProgID = L"SkTest." + stem + L"." + Pid();
        if (typeLib) a.TypeLib = TestGuid(n + 0x10);
        a.AppID = TestGuid(n + 0x20);
        a.AppIDModule = L"sk" + stem + Pid() + L".exe";
        a.Toolbar = toolbar;
        a.BHO = !toolbar;
        a.View = view;
        return a;
    }

    TRealScene() {
        Toolbar64 = MakeAddOn(0x41, L"SkTest Toolbar", L"toolbar64", true, Native, true);
        Helper64 = MakeAddOn(0x42, L"SkTest Helper", L"helper64", false, Native, false);
        Toolbar32 = MakeAddOn(0x43, L"SkTest Toolbar (32-bit)", L"toolbar32", true, Wow32, true);
        Helper32 = MakeAddOn(0x44, L"SkTest Helper (32-bit)", L"helper32", false, Wow32, false);
        Both64 = MakeAddOn(0x45, L"SkTest Both", L"both64", false, Native, false);
        Both32 = MakeAddOn(0x45, L"SkTest Both (32-bit)", L"both32", false, Wow32, false);
        Both32.AppID = TestGuid(0x66);
        Fixture.AddMenuExtension(MenuZ);
        Fixture.AddMenuExtension(MenuA);
        for (const auto* a : AddOns()) {
            Fixture.AddAddOn(*a);
            sktest::WriteBytes(a->FileName, {'M', 'Z'});
        }
    }

    std::vector<const TAddOnSetup*> AddOns() const {
        return {&Toolbar64, &Helper64, &Toolbar32, &Helper32, &Both64, &Both32};
    }
};

TIEPlugInInfo RecordOf(const TAddOnSetup& a) {
    TIEPlugInInfo r;
    r.Name = a.Name;
    r.BHOInfo = {a.Clsid, a.AppID, a.FileName, a.ProgID, a.TypeLib, a.ViProgID};
    r.Source = a.Toolbar ? TPlugInSource::Toolbar : TPlugInSource::BrowserHelperObject;
    r.View = a.View;
    return r;
}

std::string Lines(const TPlugInInfoArray& list) {
    std::ostringstream os;
    for (const auto& r : list) os << r << "\n";
    return os.str();
}

// The deletions that removing one add-on makes under Wine, where HKEY_CLASSES_ROOT is the machine's
// classes: the HKEY_CLASSES_ROOT steps take the class keys, and the machine-wide ones find them gone.
std::vector<std::wstring> WineSteps(const TAddOnSetup& a) {
    const std::wstring v = a.View == Wow32 ? L":32" : L"";
    std::vector<std::wstring> steps = {
        L"HKCR" + v + L" " + a.ProgID,
        L"HKCR" + v + L" " + a.ViProgID,
        L"HKCR" + v + L" CLSID\\" + a.Clsid,
    };
    if (!a.TypeLib.empty()) steps.push_back(L"HKCR" + v + L" TypeLib\\" + a.TypeLib);
    steps.push_back(L"HKCU" + v + L" " + kExtStatsPath + L"\\" + a.Clsid);
    if (a.BHO) steps.push_back(L"HKLM" + v + L" " + kBHOPath + L"\\" + a.Clsid);
    if (a.Toolbar) steps.push_back(L"HKLM" + v + L" " + kToolbarPath + L" = " + a.Clsid);
    steps.push_back(L"HKLM" + v + L" Software\\Classes\\AppID\\" + a.AppID);
    steps.push_back(L"HKLM" + v + L" Software\\Classes\\AppID\\" + ChangeFileExt(a.AppIDModule, L".dll"));
    return steps;
}

}  // namespace

TEST_CASE("real registry: every kind is listed, from both views, with its registration") {
    TRealScene s;
    TIEPlugInCleaner cleaner;

    std::vector<std::wstring> menus;
    for (const auto& name : cleaner.ListMenuExtensions())
        if (name.find(Pid()) != std::wstring::npos) menus.push_back(name);
    CHECK(Join(menus) == Join({s.MenuA, s.MenuZ}));

    TPlugInInfoArray ours;
    for (const auto& r : cleaner.ListToolbarsAndBHOs())
        if (IsOurs(r.BHOInfo.CLSID)) ours.push_back(r);
    CHECK(Lines(ours) == Lines({RecordOf(s.Toolbar64), RecordOf(s.Toolbar32), RecordOf(s.Helper64),
                                RecordOf(s.Both64), RecordOf(s.Helper32), RecordOf(s.Both32)}));
}

TEST_CASE("real registry: each kind removed step by step, saved, and put back by regedit") {
    struct TCase {
        const char* Name;
        TAddOnSetup TRealScene::*AddOn;  // none: the context-menu extension MenuA
        std::optional<TRegView> View;
    };
    const TCase cases[] = {
        {"a context-menu extension", nullptr, {}},
        {"a toolbar of the native view", &TRealScene::Toolbar64, {}},
        {"a browser helper object of the native view", &TRealScene::Helper64, {}},
        {"a toolbar of the 32-bit view", &TRealScene::Toolbar32, {}},
        {"a browser helper object of the 32-bit view", &TRealScene::Helper32, {}},
        {"the 32-bit one of an add-on registered in both views", &TRealScene::Both32, Wow32},
    };
    TRegistryBackend& real = WindowsRegistryBackend();
    for (const auto& c : cases) {
        INFO(c.Name);
        TRealScene s;
        const TAddOnSetup* removed = c.AddOn ? &(s.*c.AddOn) : nullptr;

        // The keys of everything else, which must come through untouched.
        std::vector<sktest::TRegFixture::TPlace> others;
        for (const auto& place : s.Fixture.Places()) {
            bool mine;
            if (!removed) {
                mine = place.Path.find(s.MenuA) != std::wstring::npos;
            } else {
                // The user's keys are the same in both views.
                const auto& a = *removed;
                const auto has = [&](const std::wstring& part) {
                    return !part.empty() && place.Path.find(part) != std::wstring::npos;
                };
                mine = (place.View == a.View || place.Root == HKCU) &&
                       (has(a.Clsid) || has(a.AppID) || has(ChangeFileExt(a.AppIDModule, L".dll")) ||
                        has(a.ViProgID) || has(a.TypeLib) || (a.Toolbar && place.Path == kToolbarPath));
            }
            if (!mine) others.push_back(place);
        }
        const std::wstring everything = sktest::Snapshot(real, s.Fixture.Places());
        const std::wstring othersBefore = sktest::Snapshot(real, others);

        sktest::TRecordingBackend recording(real);
        TIEPlugInCleaner cleaner(recording, s.Temp / L"backup\\plugins");
        cleaner.KeyNamer = SystemRegKeyName;  // the recorder stands in front of the real registry
        TPlugInSelection selection;
        std::vector<std::wstring> progress, steps;
        if (removed) {
            selection.push_back({TPlugInKind::ComAddOn, removed->Clsid, c.View});
            progress = {removed->Name, L""};
            steps = WineSteps(*removed);
        } else {
            selection.push_back({TPlugInKind::MenuExtension, s.MenuA, {}});
            progress = {s.MenuA, L""};
            steps = {L"HKCU " + std::wstring(kMenuExtPath) + L"\\" + s.MenuA};
        }
        sktest::TProgressLog log;
        cleaner.Clean(selection, log.Handler(cleaner));

        CHECK(Join(log.Names) == Join(progress));
        CHECK(cleaner.CleanedCount == 1);
        CHECK(Join(recording.Log) == Join(steps));
        CHECK(sktest::Snapshot(real, others) == othersBefore);
        if (removed) {
            const auto& a = *removed;
            CHECK_FALSE(sktest::KeyExists(real, HKLM, a.View, L"Software\\Classes\\CLSID\\" + a.Clsid));
            CHECK_FALSE(sktest::KeyExists(real, HKLM, a.View, L"Software\\Classes\\" + a.ProgID));
            CHECK_FALSE(sktest::KeyExists(real, HKLM, a.View, L"Software\\Classes\\AppID\\" + a.AppID));
            CHECK_FALSE(sktest::KeyExists(real, HKCU, a.View, std::wstring(kExtStatsPath) + L"\\" + a.Clsid));
            CHECK_FALSE(sktest::KeyExists(real, HKLM, a.View, std::wstring(kBHOPath) + L"\\" + a.Clsid));
            CHECK_FALSE(sktest::ValueExists(real, HKLM, a.View, kToolbarPath, a.Clsid));
            const auto listed = cleaner.ListToolbarsAndBHOs();
            CHECK(std::none_of(listed.begin(), listed.end(), [&](const TIEPlugInInfo& r) {
                return r.BHOInfo.CLSID == a.Clsid && r.View == a.View;
            }));
        } else {
            CHECK_FALSE(sktest::KeyExists(real, HKCU, Native, std::wstring(kMenuExtPath) + L"\\" + s.MenuA));
        }
        for (const auto* a : s.AddOns()) CHECK(FileExists(a->FileName) == (a != removed));

        REQUIRE(FileExists(cleaner.BackupFileName));
        CHECK(ImportWithRegedit(cleaner.BackupFileName) == 0);
        CHECK(sktest::Snapshot(real, s.Fixture.Places()) == everything);
    }
}

TEST_CASE("real registry: a clean of several kinds at once keeps one backup that restores them all") {
    TRealScene s;
    TRegistryBackend& real = WindowsRegistryBackend();
    const std::wstring everything = sktest::Snapshot(real, s.Fixture.Places());
    TIEPlugInCleaner cleaner(real, s.Temp / L"backup\\plugins");
    std::vector<std::wstring> selection{s.MenuA, s.MenuZ};
    for (const auto* a : s.AddOns()) selection.push_back(a->Clsid);
    cleaner.Clean(selection, {});
    // The add-on of both views is named twice: each of its entries takes both of its records, and the
    // second entry finds them gone already, which still counts.
    CHECK(cleaner.CleanedCount == 2 + 6 + 2);
    for (const auto* a : s.AddOns()) CHECK_FALSE(FileExists(a->FileName));
    const auto listed = cleaner.ListToolbarsAndBHOs();
    CHECK(std::none_of(listed.begin(), listed.end(), [](const TIEPlugInInfo& r) { return IsOurs(r.BHOInfo.CLSID); }));
    CHECK(sktest::Snapshot(real, s.Fixture.Places()) != everything);

    REQUIRE(FileExists(cleaner.BackupFileName));
    CHECK(ImportWithRegedit(cleaner.BackupFileName) == 0);
    CHECK(sktest::Snapshot(real, s.Fixture.Places()) == everything);
}

namespace {

// One helper object in the real registry, with its class and (when given) a type library.
struct TRealAddOns {
    sktest::TTempDir Temp;
    sktest::TRegFixture Fixture{WindowsRegistryBackend()};

    TAddOnSetup Add(int n, const std::wstring& file, TRegView view = Native, const std::wstring& typeLib = L"") {
        TAddOnSetup a;
        a.Clsid = TestGuid(n);
        a.Name = L"SkTest shared " + std::to_wstring(n);
        a.FileName = file;
        a.TypeLib = typeLib;
        a.BHO = true;
        a.View = view;
        Fixture.AddAddOn(a);
        return a;
    }
    bool Listed(const TAddOnSetup& a) {
        return sktest::KeyExists(WindowsRegistryBackend(), HKLM, a.View, std::wstring(kBHOPath) + L"\\" + a.Clsid);
    }
};

}  // namespace

TEST_CASE("real registry and files: a helper object naming shell32.dll loses its registration, never the file") {
    TRealAddOns s;
    wchar_t system[MAX_PATH] = {};
    ::GetSystemDirectoryW(system, MAX_PATH);
    const std::wstring shell32 = std::wstring(system) + L"\\shell32.dll";
    REQUIRE(FileExists(shell32));
    const auto before = sktest::ReadBytes(shell32);
    const TAddOnSetup hijack = s.Add(0x70, L"C:\\windows\\system32\\shell32.dll");
    TIEPlugInCleaner cleaner(WindowsRegistryBackend(), s.Temp / L"backup\\plugins");
    cleaner.Clean({{TPlugInKind::ComAddOn, hijack.Clsid, {}}}, {});
    CHECK(cleaner.CleanedCount == 1);
    CHECK_FALSE(s.Listed(hijack));
    CHECK(FileExists(shell32));
    CHECK(sktest::ReadBytes(shell32) == before);
    REQUIRE(cleaner.FileReports.size() == 1);
    CHECK(cleaner.FileReports[0].Fate == TPlugInFileFate::KeptWindows);
    CHECK(PlugInFileReportText(cleaner.FileReports[0]).find(L"belongs to Windows") != std::wstring::npos);
}

TEST_CASE("real registry and files: a registration that names a folder moves no folder") {
    TRealAddOns s;
    const std::wstring folder = s.Temp / L"Documents";
    ::CreateDirectoryW(folder.c_str(), nullptr);
    sktest::WriteBytes(folder + L"\\thesis.doc", {'d'});
    const TAddOnSetup a = s.Add(0x75, folder);
    TIEPlugInCleaner cleaner(WindowsRegistryBackend(), s.Temp / L"backup\\plugins");
    cleaner.Clean({{TPlugInKind::ComAddOn, a.Clsid, {}}}, {});
    CHECK_FALSE(s.Listed(a));
    CHECK(FileExists(folder + L"\\thesis.doc"));
    REQUIRE(cleaner.FileReports.size() == 1);
    CHECK(cleaner.FileReports[0].Fate == TPlugInFileFate::NotMoved);
    CHECK(cleaner.FileReports[0].Error == ERROR_DIRECTORY);
}

TEST_CASE("real registry and files: a DLL two classes share stays while one remains; a shared type library stays") {
    TRealAddOns s;
    const std::wstring dll = s.Temp / L"shared.dll";
    sktest::WriteBytes(dll, {'M', 'Z'});
    const std::wstring lib = TestGuid(0x7F);
    const TAddOnSetup a = s.Add(0x71, dll, Native, lib), b = s.Add(0x72, dll, Wow32, lib);
    TIEPlugInCleaner cleaner(WindowsRegistryBackend(), s.Temp / L"backup\\plugins");

    cleaner.Clean({{TPlugInKind::ComAddOn, a.Clsid, {}}}, {});
    CHECK_FALSE(s.Listed(a));
    CHECK(s.Listed(b));
    CHECK(FileExists(dll));
    REQUIRE(cleaner.FileReports.size() == 1);
    CHECK(cleaner.FileReports[0].Fate == TPlugInFileFate::KeptShared);
    CHECK(cleaner.FileReports[0].UsedBy == std::vector<std::wstring>{b.Clsid});
    // The other class names the type library: it stays, in every view it is registered in.
    CHECK(sktest::KeyExists(WindowsRegistryBackend(), HKLM, Native, L"Software\\Classes\\TypeLib\\" + lib));
    CHECK(sktest::KeyExists(WindowsRegistryBackend(), HKLM, Wow32, L"Software\\Classes\\TypeLib\\" + lib));

    cleaner.Clean({{TPlugInKind::ComAddOn, b.Clsid, {}}}, {});
    CHECK_FALSE(s.Listed(b));
    CHECK_FALSE(FileExists(dll));
    REQUIRE(cleaner.FileReports.size() == 1);
    CHECK(cleaner.FileReports[0].Fate == TPlugInFileFate::Moved);
    CHECK(FileExists(cleaner.FileReports[0].MovedTo));
    CHECK(FileFolderOf(cleaner.FileReports[0].MovedTo) == FileFolderOf(cleaner.BackupFileName));
    CHECK_FALSE(sktest::KeyExists(WindowsRegistryBackend(), HKLM, Wow32, L"Software\\Classes\\TypeLib\\" + lib));
}

TEST_CASE("real registry and files: a 32-bit registration naming System32 is the SysWOW64 file") {
    TRealAddOns s;
    const std::wstring name = L"sktest-" + Pid() + L".dll";
    wchar_t windows[MAX_PATH] = {};
    ::GetSystemWindowsDirectoryW(windows, MAX_PATH);
    const std::wstring system32 = std::wstring(windows) + L"\\System32\\" + name;
    const std::wstring syswow64 = std::wstring(windows) + L"\\SysWOW64\\" + name;
    if (!DirectoryExists(std::wstring(windows) + L"\\SysWOW64")) {
        MESSAGE("no SysWOW64 folder: not 64-bit Windows");
        return;
    }
    sktest::WriteBytes(system32, {'M', 'Z', '6', '4'});
    sktest::WriteBytes(syswow64, {'M', 'Z', '3', '2'});
    struct TCleanup {
        std::wstring A, B;
        ~TCleanup() {
            ::DeleteFileW(A.c_str());
            ::DeleteFileW(B.c_str());
        }
    } cleanup{system32, syswow64};
    const TAddOnSetup addOn = s.Add(0x73, std::wstring(windows) + L"\\System32\\" + name, Wow32);

    SUBCASE("as it is, both lie in the Windows folder and stay") {
        TIEPlugInCleaner cleaner(WindowsRegistryBackend(), s.Temp / L"backup\\plugins");
        cleaner.Clean({{TPlugInKind::ComAddOn, addOn.Clsid, {}}}, {});
        CHECK_FALSE(s.Listed(addOn));
        REQUIRE(cleaner.FileReports.size() == 1);
        CHECK(cleaner.FileReports[0].Fate == TPlugInFileFate::KeptWindows);
        CHECK(PathIsWithin(cleaner.FileReports[0].File, std::wstring(windows) + L"\\SysWOW64"));
        CHECK(FileExists(system32));
        CHECK(FileExists(syswow64));
    }
    SUBCASE("with another folder standing for Windows, the SysWOW64 file is the one that moves") {
        sktest::TRealPlugInFiles files;
        files.Windows = s.Temp / L"NotWindows\\";
        TIEPlugInCleaner cleaner(WindowsRegistryBackend(), s.Temp / L"backup\\plugins", files);
        cleaner.Clean({{TPlugInKind::ComAddOn, addOn.Clsid, {}}}, {});
        REQUIRE(files.Moved.size() == 1);
        CHECK(PathIsWithin(files.Moved[0], std::wstring(windows) + L"\\SysWOW64"));
        CHECK(FileExists(system32));
        CHECK(sktest::ReadBytes(system32) == std::vector<unsigned char>{'M', 'Z', '6', '4'});
        CHECK_FALSE(FileExists(syswow64));
        REQUIRE(cleaner.FileReports.size() == 1);
        CHECK(sktest::ReadBytes(cleaner.FileReports[0].MovedTo) == std::vector<unsigned char>{'M', 'Z', '3', '2'});
    }
}

TEST_CASE("real registry: hostile key and value names cannot add lines to what regedit puts back") {
    TRealAddOns s;
    const TAddOnSetup a = s.Add(0x74, L"");
    const std::wstring bho = std::wstring(kBHOPath) + L"\\" + a.Clsid;
    const std::wstring planted = L"Software\\SkTestPlanted" + Pid();
    // A name that, written as it is, would be a heading and a value of a key of the attacker's choice.
    const std::wstring lines = L"\r\n[HKEY_CURRENT_USER\\" + planted + L"]\r\n\"evil\"=\"1\"\r\n";
    s.Fixture.Set(HKLM, bho, L"v" + lines, RegText(L"x"));
    s.Fixture.Set(HKLM, bho + L"\\k" + lines.substr(0, 2), L"", RegText(L"y"));
    // Names that regedit reads back exactly.
    const std::wstring odd = L"odd ] [ \" = name";
    s.Fixture.Set(HKLM, bho + L"\\" + odd, L"q\"uote\\d", RegText(L"C:\\a \"b\""));
    const std::wstring oddBefore = sktest::Snapshot(WindowsRegistryBackend(), {{HKLM, Native, bho + L"\\" + odd}});

    TIEPlugInCleaner cleaner(WindowsRegistryBackend(), s.Temp / L"backup\\plugins");
    cleaner.Clean({{TPlugInKind::ComAddOn, a.Clsid, {}}}, {});
    REQUIRE_FALSE(s.Listed(a));
    REQUIRE(FileExists(cleaner.BackupFileName));
    CHECK(ImportWithRegedit(cleaner.BackupFileName) == 0);
    CHECK(s.Listed(a));
    CHECK_FALSE(sktest::KeyExists(WindowsRegistryBackend(), HKCU, Native, planted));
    CHECK(sktest::Snapshot(WindowsRegistryBackend(), {{HKLM, Native, bho + L"\\" + odd}}) == oddBefore);
    CHECK_FALSE(sktest::ValueExists(WindowsRegistryBackend(), HKLM, Native, bho, L"v" + lines));
    // What the fixture made and regedit put back goes again.
    TRegistryStore store(WindowsRegistryBackend(), HKCU);
    if (store.Open(L"Software", false)) store.RemoveKey(L"SkTestPlanted" + Pid());
}
