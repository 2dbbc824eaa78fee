// The plug-in scanner and remover on the real (Wine) registry: add-ons registered the way their
// installers do, in both registry views, with DLL files in a scratch folder. Each removal is checked
// step by step, and its backup file is imported with regedit to put everything back.
#include <algorithm>
#include <sstream>

#include "PlugInTestSupport.h"
#include "base/Handles.h"
#include "base/Paths.h"

using namespace sk;
using sktest::TAddOnSpec;
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
    TAddOnSpec Toolbar64, Helper64, Toolbar32, Helper32, Both64, Both32;

    TAddOnSpec MakeAddOn(int n, const std::wstring& name, const std::wstring& stem, bool toolbar, TRegView view,
                    bool typeLib) {
        TAddOnSpec a;
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

    std::vector<const TAddOnSpec*> AddOns() const {
        return {&Toolbar64, &Helper64, &Toolbar32, &Helper32, &Both64, &Both32};
    }
};

TIEPlugInInfo RecordOf(const TAddOnSpec& a) {
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
std::vector<std::wstring> WineSteps(const TAddOnSpec& a) {
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
        TAddOnSpec TRealScene::*AddOn;  // none: the context-menu extension MenuA
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
        const TAddOnSpec* removed = c.AddOn ? &(s.*c.AddOn) : nullptr;

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
            selection.push_back({L"Browser Helper Object: " + removed->Clsid, c.View});
            progress = {removed->Name, L""};
            steps = WineSteps(*removed);
        } else {
            selection.push_back({s.MenuA, {}});
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
    for (const auto* a : s.AddOns()) selection.push_back(L"Browser Helper Object: " + a->Clsid);
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
