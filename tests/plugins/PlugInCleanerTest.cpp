// The plug-in scanner and remover against the in-memory registry: listing, the removal steps and
// their order, the counts and callbacks of a clean, and the regedit backup of what it removes.
#include <algorithm>
#include <cstring>
#include <sstream>

#include "PlugInTestSupport.h"
#include "base/Handles.h"
#include "base/Paths.h"
#include "base/Settings.h"
#include "plugins/RegBackup.h"

using namespace sk;
using sktest::TAddOnSetup;
using sktest::TestGuid;

namespace {

const TRegView Native = TRegView::Native, Wow32 = TRegView::Wow32;
const TRegRoot HKCR = TRegRoot::ClassesRoot, HKCU = TRegRoot::CurrentUser, HKLM = TRegRoot::LocalMachine;

std::string Lines(const TPlugInInfoArray& list) {
    std::ostringstream os;
    for (const auto& r : list) os << r << "\n";
    return os.str();
}

std::wstring Lower(std::wstring text) {
    for (auto& c : text) c = static_cast<wchar_t>(towlower(c));
    return text;
}

std::wstring Join(const std::vector<std::wstring>& items) {
    std::wstring out;
    for (const auto& s : items) out += s + L"\n";
    return out;
}

TIEPlugInInfo Record(TPlugInSource source, TRegView view, const std::wstring& name, TIEBHOInfo info) {
    TIEPlugInInfo r;
    r.Name = name;
    r.BHOInfo = std::move(info);
    r.Source = source;
    r.View = view;
    return r;
}

// The names of the files in a folder (none when it is absent).
std::vector<std::wstring> FilesIn(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW data;
    TFindHandle find(::FindFirstFileW((WithTrailingBackslash(folder) + L"*").c_str(), &data));
    if (!find) return names;
    do {
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(data.cFileName);
    } while (::FindNextFileW(find.Get(), &data));
    return names;
}

std::wstring BHOLine(int guid) { return L"Browser Helper Object: " + TestGuid(guid); }

TPlugInSelectionEntry Com(int guid, std::optional<TRegView> view = {}) {
    return {TPlugInKind::ComAddOn, TestGuid(guid), view};
}
TPlugInSelectionEntry Menu(const std::wstring& name) { return {TPlugInKind::MenuExtension, name, {}}; }

// A registry with two context-menu extensions and COM add-ons of every sort.
struct TScene {
    TMemoryRegistryBackend Registry;
    sktest::TTempDir Temp;
    sktest::TFakePlugInFiles Files;
    TIEPlugInCleaner Cleaner{Registry, Temp / L"backup\\plugins", Files};
    sktest::TRegFixture Fixture{Registry};

    // Fields: CLSID, name, file, ProgID, version-independent ProgID, TypeLib, AppID, AppID module,
    // toolbar, BHO, view, has a class key.
    TAddOnSetup Toolbar{TestGuid(1), L"Acme Toolbar", L"C:\\Program Files\\Acme\\acme.dll", L"Acme.Toolbar.1",
                       L"Acme.Toolbar", TestGuid(0x11), TestGuid(0x21), L"acme.exe", true, true};
    TAddOnSetup NoClass{TestGuid(2), L"", L"", L"", L"", L"", L"", L"acme.exe", false, true, Native, false};
    TAddOnSetup Both64{TestGuid(3), L"Acme Both", L"C:\\Acme\\both64.dll", L"Acme.Both.1", L"", L"", L"",
                      L"acme.exe", false, true};
    TAddOnSetup Both32{TestGuid(3), L"Acme Both (32-bit)", L"C:\\Acme\\both32.dll", L"Acme.Both32.1", L"", L"", L"",
                      L"acme.exe", false, true, Wow32};
    TAddOnSetup Relative{TestGuid(7), L"Relative", L"acme-relative.dll", L"", L"", L"", L"", L"acme.exe", true};
    TAddOnSetup NoFile{TestGuid(8), L"No file", L"", L"", L"", L"", L"", L"acme.exe", true};

    TScene() {
        Fixture.AddMenuExtension(L"E&xport to Acme Sheet");
        Fixture.AddMenuExtension(L"&Translate with Acme");
        for (const auto* a : {&Toolbar, &NoClass, &Both64, &Both32, &Relative, &NoFile}) Fixture.AddAddOn(*a);
        Files.Files = {Toolbar.FileName, Both64.FileName, Both32.FileName};
    }
};

}  // namespace

TEST_CASE("listing: menu extensions, then toolbars and browser helper objects of both views with their classes") {
    TScene s;
    // A damaged registration: a number where a text belongs reads as nothing.
    TAddOnSetup odd{TestGuid(4), L"Odd", L"C:\\Acme\\odd.dll", L"", L"", L"", L"", L"acme.exe", false, true, Wow32};
    s.Fixture.AddAddOn(odd);
    const std::wstring oddClass = std::wstring(kClassesCLSIDPath) + L"\\" + odd.Clsid;
    s.Fixture.Set(HKLM, Wow32, oddClass, L"AppID", RegNumber(7));
    s.Fixture.Set(HKLM, Wow32, oddClass + L"\\TypeLib", L"", RegNumber(1));

    CHECK(Join(s.Cleaner.ListMenuExtensions()) == L"&Translate with Acme\nE&xport to Acme Sheet\n");

    const auto& t = s.Toolbar;
    const TIEBHOInfo toolbarInfo{t.Clsid, t.AppID, t.FileName, t.ProgID, t.TypeLib, t.ViProgID};
    const TPlugInInfoArray expected = {
        Record(TPlugInSource::Toolbar, Native, L"Acme Toolbar", toolbarInfo),
        Record(TPlugInSource::Toolbar, Native, L"Relative", {TestGuid(7), L"", L"acme-relative.dll", L"", L"", L""}),
        Record(TPlugInSource::Toolbar, Native, L"No file", {TestGuid(8), L"", L"", L"", L"", L""}),
        Record(TPlugInSource::BrowserHelperObject, Native, L"Acme Toolbar", toolbarInfo),
        Record(TPlugInSource::BrowserHelperObject, Native, L"", {TestGuid(2), L"", L"", L"", L"", L""}),
        Record(TPlugInSource::BrowserHelperObject, Native, L"Acme Both",
               {TestGuid(3), L"", L"C:\\Acme\\both64.dll", L"Acme.Both.1", L"", L""}),
        Record(TPlugInSource::BrowserHelperObject, Wow32, L"Acme Both (32-bit)",
               {TestGuid(3), L"", L"C:\\Acme\\both32.dll", L"Acme.Both32.1", L"", L""}),
        Record(TPlugInSource::BrowserHelperObject, Wow32, L"Odd",
               {TestGuid(4), L"", L"C:\\Acme\\odd.dll", L"", L"", L""}),
    };
    CHECK(Lines(s.Cleaner.ListToolbarsAndBHOs()) == Lines(expected));
}

TEST_CASE("listing: keys that are absent, empty or refused contribute nothing") {
    TMemoryRegistryBackend registry;
    TIEPlugInCleaner cleaner(registry);
    CHECK(cleaner.ListMenuExtensions().empty());
    CHECK(cleaner.ListToolbarsAndBHOs().empty());

    sktest::TRegFixture fixture(registry);
    fixture.MakeKey(HKCU, Native, kMenuExtPath);
    fixture.MakeKey(HKLM, Native, kToolbarPath);
    fixture.MakeKey(HKLM, Wow32, kBHOPath);
    CHECK(cleaner.ListMenuExtensions().empty());
    CHECK(cleaner.ListToolbarsAndBHOs().empty());

    // A class key that refuses access leaves the record as listed.
    fixture.AddAddOn({TestGuid(1), L"Locked", L"C:\\a.dll", L"", L"", L"", L"", L"acme.exe", false, true});
    registry.Refuse(HKLM, std::wstring(kClassesCLSIDPath) + L"\\" + TestGuid(1));
    CHECK(Lines(cleaner.ListToolbarsAndBHOs()) ==
          Lines({Record(TPlugInSource::BrowserHelperObject, Native, L"", {TestGuid(1), L"", L"", L"", L"", L""})}));
}

TEST_CASE("clean: callbacks, counts and what is left, case by case") {
    struct TCase {
        const char* Name;
        TPlugInSelection Selection;
        std::vector<std::wstring> Progress;  // the item calls; the final "" is checked for all
        int Count;
        std::vector<std::wstring> Gone;  // "<CLSID> <view>" of records no longer listed, or menu names
        std::vector<std::wstring> Files;
    };
    const std::wstring g1 = TestGuid(1), g2 = TestGuid(2), g3 = TestGuid(3), g7 = TestGuid(7), g8 = TestGuid(8);
    const std::wstring acmeDll = L"C:\\Program Files\\Acme\\acme.dll";
    const TCase cases[] = {
        {"an empty selection changes nothing", {}, {}, 0, {}, {}},
        {"an add-on listed as toolbar and as BHO is reported and counted twice, its DLL moved once",
         {Com(1)},
         {L"Acme Toolbar", L"Acme Toolbar"},
         2,
         {g1 + L" Toolbar", g1 + L" BHO"},
         {acmeDll}},
        {"a CLSID matches whatever its letter case",
         {{TPlugInKind::ComAddOn, Lower(g1), {}}},
         {L"Acme Toolbar", L"Acme Toolbar"},
         2,
         {g1 + L" Toolbar", g1 + L" BHO"},
         {acmeDll}},
        {"a text that holds a CLSID is not that CLSID",
         {{TPlugInKind::ComAddOn, BHOLine(1), {}}, {TPlugInKind::ComAddOn, g1.substr(0, 10), {}}},
         {},
         0,
         {},
         {}},
        {"a menu entry never takes a COM add-on, nor a COM entry a menu extension",
         {{TPlugInKind::MenuExtension, g1, {}}, {TPlugInKind::ComAddOn, L"&Translate with Acme", {}}},
         {},
         0,
         {},
         {}},
        {"a menu entry must match its name exactly, letter case included",
         {Menu(L"e&xport to acme sheet"), Menu(L"&Translate with Acme")},
         {L"&Translate with Acme"},
         1,
         {L"&Translate with Acme"},
         {}},
        {"a menu entry given twice is reported twice and counted once",
         {Menu(L"&Translate with Acme"), Menu(L"&Translate with Acme")},
         {L"&Translate with Acme", L"&Translate with Acme"},
         1,
         {L"&Translate with Acme"},
         {}},
        {"an add-on without class registration is removed under an empty name",
         {Com(2)},
         {L""},
         1,
         {g2 + L" BHO"},
         {}},
        {"a plain entry takes the add-on in both views",
         {Com(3)},
         {L"Acme Both", L"Acme Both (32-bit)"},
         2,
         {g3 + L" BHO", g3 + L" BHO:32"},
         {L"C:\\Acme\\both64.dll", L"C:\\Acme\\both32.dll"}},
        {"an entry with a view takes only that view",
         {Com(3, Wow32)},
         {L"Acme Both (32-bit)"},
         1,
         {g3 + L" BHO:32"},
         {L"C:\\Acme\\both32.dll"}},
        {"a relative or empty file name moves no file",
         {Com(7), Com(8)},
         {L"Relative", L"No file"},
         2,
         {g7 + L" Toolbar", g8 + L" Toolbar"},
         {}},
        {"menu extensions go first, then add-ons in selection order",
         {Com(3, Native), Menu(L"&Translate with Acme"), Com(1)},
         {L"&Translate with Acme", L"Acme Both", L"Acme Toolbar", L"Acme Toolbar"},
         4,
         {L"&Translate with Acme", g3 + L" BHO", g1 + L" Toolbar", g1 + L" BHO"},
         {L"C:\\Acme\\both64.dll", acmeDll}},
    };
    const auto keyOf = [](const TIEPlugInInfo& r) {
        return r.BHOInfo.CLSID + (r.Source == TPlugInSource::Toolbar ? L" Toolbar" : L" BHO") +
               (r.View == Wow32 ? L":32" : L"");
    };
    for (const auto& c : cases) {
        INFO(c.Name);
        TScene s;
        std::vector<std::wstring> before = s.Cleaner.ListMenuExtensions();
        for (const auto& r : s.Cleaner.ListToolbarsAndBHOs()) before.push_back(keyOf(r));

        sktest::TProgressLog log;
        s.Cleaner.Clean(c.Selection, log.Handler(s.Cleaner));

        std::vector<std::wstring> progress = c.Progress;
        progress.push_back(L"");
        CHECK(Join(log.Names) == Join(progress));
        std::vector<bool> flags(progress.size(), false);
        flags.back() = true;
        CHECK(log.FinishedFlags == flags);
        CHECK(s.Cleaner.Finished);
        CHECK(s.Cleaner.CleanedCount == c.Count);

        std::vector<std::wstring> after = s.Cleaner.ListMenuExtensions();
        for (const auto& r : s.Cleaner.ListToolbarsAndBHOs()) after.push_back(keyOf(r));
        std::vector<std::wstring> left;
        for (const auto& item : before)
            if (std::find(c.Gone.begin(), c.Gone.end(), item) == c.Gone.end()) left.push_back(item);
        CHECK(Join(after) == Join(left));
        CHECK(Join(s.Files.Moved) == Join(c.Files));
        // A backup exactly when something was removed.
        CHECK(s.Cleaner.BackupFileName.empty() == c.Gone.empty());
        if (!c.Gone.empty()) CHECK(FileExists(s.Cleaner.BackupFileName));
    }
}

namespace {

// The deletions the removal of add-on a makes, in order, when HKEY_CLASSES_ROOT holds the user's own
// copy of the classes (whose AppID names userModule) apart from the machine's.
std::vector<std::wstring> AllSteps(const TAddOnSetup& a, const std::wstring& userModule) {
    const std::wstring v = a.View == Wow32 ? L":32" : L"";
    const std::wstring module = ChangeFileExt(a.AppIDModule, L".dll");
    return {
        L"HKCR" + v + L" " + a.ProgID,
        L"HKCR" + v + L" " + a.ViProgID,
        L"HKCR" + v + L" CLSID\\" + a.Clsid,
        L"HKCR" + v + L" TypeLib\\" + a.TypeLib,
        L"HKLM" + v + L" Software\\Classes\\TypeLib\\" + a.TypeLib,
        L"HKCU" + v + L" " + kExtStatsPath + L"\\" + a.Clsid,
        L"HKLM" + v + L" Software\\Classes\\" + a.ProgID,
        L"HKLM" + v + L" Software\\Classes\\" + a.ViProgID,
        L"HKLM" + v + L" Software\\Classes\\CLSID\\" + a.Clsid,
        L"HKLM" + v + L" " + kBHOPath + L"\\" + a.Clsid,
        L"HKLM" + v + L" " + kToolbarPath + L" = " + a.Clsid,
        L"HKLM" + v + L" Software\\Classes\\AppID\\" + a.AppID,
        L"HKLM" + v + L" Software\\Classes\\AppID\\" + module,
        L"HKCR" + v + L" AppID\\" + a.AppID,
        L"HKCR" + v + L" AppID\\" + ChangeFileExt(userModule, L".dll"),
    };
}

}  // namespace

TEST_CASE("removal: every step in order, in the add-on's own view") {
    for (const TRegView view : {Native, Wow32}) {
        INFO("view " << view);
        TMemoryRegistryBackend memory;
        sktest::TUserClassesBackend classesApart(memory);
        sktest::TRecordingBackend recording(classesApart);
        sktest::TTempDir temp;
        sktest::TFakePlugInFiles files;
        files.Files = {L"C:\\Acme\\full.dll", L"C:\\Acme\\other.dll"};
        TIEPlugInCleaner cleaner(recording, temp.Path(), files);

        TAddOnSetup full{TestGuid(6), L"Full", L"C:\\Acme\\full.dll", L"Acme.Full.1", L"Acme.Full",
                        TestGuid(0x16), TestGuid(0x26), L"full.exe", true, true, view};
        // Another add-on of the other view with the same ProgID names must keep all of its keys.
        TAddOnSetup other = full;
        other.View = view == Native ? Wow32 : Native;
        other.Clsid = TestGuid(9);
        other.FileName = L"C:\\Acme\\other.dll";
        other.TypeLib = TestGuid(0x19);
        other.AppID = TestGuid(0x29);
        sktest::TRegFixture fixture(classesApart);
        fixture.AddAddOn(full);
        TAddOnSetup user = full;
        user.AppIDModule = L"full-user.exe";
        fixture.AddClasses(user, HKCR, L"");
        fixture.AddAddOn(other);
        const auto otherPlaces = [&] {
            std::vector<sktest::TRegFixture::TPlace> places;
            for (const auto& p : fixture.Places())
                if (p.View == other.View && p.Path.find(full.Clsid) == std::wstring::npos) places.push_back(p);
            return places;
        }();
        const std::wstring otherBefore = sktest::Snapshot(memory, otherPlaces);

        recording.Log.clear();
        sktest::TProgressLog log;
        cleaner.Clean(std::vector<std::wstring>{TestGuid(6)}, log.Handler(cleaner));

        // Listed as toolbar and as BHO: the second pass finds nothing left to delete.
        CHECK(Join(log.Names) == L"Full\nFull\n\n");
        CHECK(cleaner.CleanedCount == 2);
        CHECK(Join(recording.Log) == Join(AllSteps(full, user.AppIDModule)));
        CHECK(Join(files.Moved) == L"C:\\Acme\\full.dll\n");
        CHECK(sktest::Snapshot(memory, otherPlaces) == otherBefore);
    }
}

TEST_CASE("removal: a ProgID is taken only when it names the add-on's class") {
    TScene s;
    // Registrations that name keys of others as their ProgIDs: a file type, the class container
    // itself, and the ProgID of another add-on.
    s.Fixture.Set(HKLM, L"Software\\Classes\\txtfile", L"", RegText(L"Text Document"));
    s.Fixture.Set(HKLM, L"Software\\Classes\\txtfile\\shell\\open\\command", L"", RegText(L"notepad.exe %1"));
    const std::wstring hijack = L"Software\\Classes\\CLSID\\" + TestGuid(0x0A);
    s.Fixture.Set(HKLM, hijack, L"", RegText(L"Hijacker"));
    s.Fixture.Set(HKLM, hijack + L"\\ProgID", L"", RegText(L"txtfile"));
    s.Fixture.Set(HKLM, hijack + L"\\VersionIndependentProgID", L"", RegText(L"CLSID"));
    s.Fixture.MakeKey(HKLM, Native, std::wstring(kBHOPath) + L"\\" + TestGuid(0x0A));
    const std::wstring borrower = L"Software\\Classes\\CLSID\\" + TestGuid(0x0B);
    s.Fixture.Set(HKLM, borrower, L"", RegText(L"Borrower"));
    s.Fixture.Set(HKLM, borrower + L"\\ProgID", L"", RegText(s.Toolbar.ProgID));
    s.Fixture.MakeKey(HKLM, Native, std::wstring(kBHOPath) + L"\\" + TestGuid(0x0B));

    s.Cleaner.Clean(std::vector<std::wstring>{TestGuid(0x0A), TestGuid(0x0B)}, {});
    CHECK(s.Cleaner.CleanedCount == 2);
    CHECK(sktest::KeyExists(s.Registry, HKLM, Native, L"Software\\Classes\\txtfile\\shell\\open\\command"));
    CHECK(sktest::KeyExists(s.Registry, HKLM, Native, L"Software\\Classes\\CLSID\\" + s.Toolbar.Clsid));
    CHECK(sktest::KeyExists(s.Registry, HKLM, Native, L"Software\\Classes\\Acme.Toolbar.1\\CLSID"));
    CHECK_FALSE(sktest::KeyExists(s.Registry, HKLM, Native, hijack));
    CHECK_FALSE(sktest::KeyExists(s.Registry, HKLM, Native, borrower));
}

TEST_CASE("RemoveRegistryEntry: one subkey or value, saved first, nothing for names it must not take") {
    struct TCase {
        const char* Name;
        TRegRoot Root;
        std::wstring Path, EntryName;
        TRegEntryKind Kind;
        bool Removed;
        TRegRoot GoneRoot;
        std::wstring GoneKey;    // a key that must be gone, beneath GoneRoot
        std::wstring GoneValue;  // a value that must be gone from HKCU\Software\SkTest
    };
    const TRegEntryKind key = TRegEntryKind::Subkey, value = TRegEntryKind::Value;
    const std::wstring base = L"Software\\SkTest";
    const TCase cases[] = {
        {"a subkey with everything beneath it, letter case ignored", HKCU, base, L"victim", key, true, HKCU,
         base + L"\\Victim", L""},
        {"a value alone", HKCU, base, L"Flag", value, true, HKCU, L"", L"Flag"},
        {"a value whose name holds a backslash", HKCU, base, L"Path\\Value", value, true, HKCU, L"", L"Path\\Value"},
        {"a subkey of the root itself", HKCR, L"", L"SkTest.Prog", key, true, HKCR, L"SkTest.Prog", L""},
        {"a blank name", HKCU, base, L"  \t", key, false, HKCU, L"", L""},
        {"a subkey name that reaches deeper", HKCU, base, L"Victim\\Sub", key, false, HKCU, L"", L""},
        {"a path that does not open", HKCU, base + L"\\Absent", L"Victim", key, false, HKCU, L"", L""},
        {"a value that is absent, beside a key of that name", HKCU, base, L"Victim", value, false, HKCU, L"", L""},
    };
    for (const auto& c : cases) {
        INFO(c.Name);
        TMemoryRegistryBackend registry;
        sktest::TTempDir temp;
        sktest::TRegFixture fixture(registry);
        fixture.Set(HKCU, base + L"\\Victim\\Sub", L"", RegText(L"deep"));
        fixture.Set(HKCU, base, L"Flag", RegNumber(1));
        fixture.Set(HKCU, base, L"Path\\Value", RegText(L"x"));
        fixture.Set(HKCR, L"SkTest.Prog", L"", RegText(L"prog"));
        const std::wstring before = sktest::Snapshot(registry, {{HKCU, Native, base}, {HKCR, Native, L"SkTest.Prog"}});
        TIEPlugInCleaner cleaner(registry, temp.Path());

        CHECK(cleaner.RemoveRegistryEntry(c.Root, c.Path, c.EntryName, c.Kind) == c.Removed);
        CHECK(cleaner.BackupFileName.empty() == !c.Removed);
        if (!c.Removed)
            CHECK(sktest::Snapshot(registry, {{HKCU, Native, base}, {HKCR, Native, L"SkTest.Prog"}}) == before);
        if (!c.GoneKey.empty()) CHECK_FALSE(sktest::KeyExists(registry, c.GoneRoot, Native, c.GoneKey));
        if (!c.GoneValue.empty()) CHECK_FALSE(sktest::ValueExists(registry, HKCU, Native, base, c.GoneValue));
        CHECK(sktest::KeyExists(registry, HKCU, Native, base));
    }
}

TEST_CASE("ReadAppIdName: the default value with its extension made \".dll\"") {
    struct TCase {
        const char* Name;
        std::optional<std::wstring> Default;  // nullopt: the key is absent
        std::wstring Expected;
    };
    const TCase cases[] = {
        {"an extension is replaced", L"acme.exe", L"acme.dll"},
        {"only the last one", L"acme.setup.exe", L"acme.setup.dll"},
        {"a name without one gets it", L"Acme", L"Acme.dll"},
        {"a dot in a folder is not an extension", L"C:\\Acme.1\\acme", L"C:\\Acme.1\\acme.dll"},
        {"an empty value", L"", L".dll"},
        {"an absent key leaves the current name", std::nullopt, L"current"},
    };
    for (const auto& c : cases) {
        INFO(c.Name);
        TMemoryRegistryBackend registry;
        sktest::TRegFixture fixture(registry);
        if (c.Default) fixture.Set(HKLM, L"Software\\Classes\\AppID\\{X}", L"", RegText(*c.Default));
        TIEPlugInCleaner cleaner(registry);
        CHECK(cleaner.ReadAppIdName(HKLM, L"Software\\Classes\\AppID\\{X}", L"current") == c.Expected);
    }
    TMemoryRegistryBackend registry;
    sktest::TRegFixture fixture(registry);
    fixture.Set(HKLM, L"Software\\Classes\\AppID\\{X}", L"", RegNumber(5));
    TIEPlugInCleaner cleaner(registry);
    CHECK(sktest::ErrorOf([&] { cleaner.ReadAppIdName(HKLM, L"Software\\Classes\\AppID\\{X}", L""); }) ==
          L"Invalid data type for ''");
}

TEST_CASE("clean: without rights nothing is counted and no backup is left") {
    TScene s;
    const std::wstring before = sktest::Snapshot(s.Registry, s.Fixture.Places());
    s.Registry.FailWrites(true);
    sktest::TProgressLog log;
    s.Cleaner.Clean(std::vector<std::wstring>{TestGuid(1), L"&Translate with Acme"}, log.Handler(s.Cleaner));
    s.Registry.FailWrites(false);
    CHECK(Join(log.Names) == L"&Translate with Acme\nAcme Toolbar\nAcme Toolbar\n\n");
    CHECK(s.Cleaner.CleanedCount == 0);
    CHECK(s.Cleaner.BackupFileName.empty());
    CHECK(FilesIn(s.Temp / L"backup\\plugins").empty());
    CHECK(sktest::Snapshot(s.Registry, s.Fixture.Places()) == before);
}

TEST_CASE("clean: an error ends with the final call and reaches the caller") {
    SUBCASE("a value of the wrong type part-way: what went before it is saved") {
        TScene s;
        TAddOnSetup wrong{TestGuid(0x0C), L"Wrong", L"", L"", L"", L"", TestGuid(0x2C), L"wrong.exe", false, true};
        s.Fixture.AddAddOn(wrong);
        s.Fixture.Set(HKLM, L"Software\\Classes\\AppID\\" + wrong.AppID, L"", RegNumber(9));
        sktest::TProgressLog log;
        CHECK(sktest::ErrorOf([&] {
                  s.Cleaner.Clean(std::vector<std::wstring>{TestGuid(0x0C)}, log.Handler(s.Cleaner));
              }) == L"Invalid data type for ''");
        CHECK(Join(log.Names) == L"Wrong\n\n");
        CHECK(log.FinishedFlags == std::vector<bool>{false, true});
        CHECK(s.Cleaner.Finished);
        CHECK_FALSE(sktest::KeyExists(s.Registry, HKLM, Native, std::wstring(kBHOPath) + L"\\" + wrong.Clsid));
        const std::wstring saved = sktest::ReadTextFile(s.Cleaner.BackupFileName);
        CHECK(saved.find(L"[HKEY_LOCAL_MACHINE\\" + std::wstring(kBHOPath) + L"\\" + wrong.Clsid + L"]") !=
              std::wstring::npos);
    }
    SUBCASE("a backup that cannot be written: nothing is removed") {
        TMemoryRegistryBackend registry;
        sktest::TTempDir temp;
        sktest::WriteBytes(temp / L"blocker", {1});
        sktest::TFakePlugInFiles files;
        files.Files = {L"C:\\a.dll"};
        files.Forbidden = true;
        TIEPlugInCleaner cleaner(registry, temp / L"blocker\\plugins", files);
        sktest::TRegFixture fixture(registry);
        fixture.AddMenuExtension(L"&Translate with Acme");
        fixture.AddAddOn({TestGuid(1), L"Acme", L"C:\\a.dll", L"", L"", L"", L"", L"acme.exe", true});
        const std::wstring before = sktest::Snapshot(registry, fixture.Places());
        sktest::TProgressLog log;
        CHECK(sktest::ErrorOf([&] {
                  cleaner.Clean(std::vector<std::wstring>{L"&Translate with Acme", TestGuid(1)}, log.Handler(cleaner));
              }) == L"Unable to write to " + temp / L"blocker\\plugins\\");
        CHECK(Join(log.Names) == L"&Translate with Acme\n\n");
        CHECK(cleaner.Finished);
        CHECK(cleaner.CleanedCount == 0);
        CHECK(sktest::Snapshot(registry, fixture.Places()) == before);
    }
}

TEST_CASE("backup: the file holds exactly what a clean removed, in regedit's form") {
    TMemoryRegistryBackend registry;
    sktest::TTempDir temp;
    sktest::TFakePlugInFiles files;
    TIEPlugInCleaner cleaner(registry, temp.Path(), files);
    sktest::TRegFixture fixture(registry);
    fixture.AddMenuExtension(L"&Translate with Acme");
    fixture.AddMenuExtension(L"Kept");
    const std::wstring g64 = TestGuid(0x0D), g32 = TestGuid(0x0E);
    fixture.AddAddOn({g64, L"Bar \"64\"", L"", L"", L"", L"", L"", L"acme.exe", true, false, Native, false});
    fixture.AddAddOn({g32, L"Bar 32", L"", L"", L"", L"", L"", L"acme.exe", true, false, Wow32, false});

    cleaner.Clean(std::vector<std::wstring>{L"&Translate with Acme", g64, g32}, {});
    CHECK(cleaner.CleanedCount == 3);
    const std::wstring stats = L"HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Ext\\Stats\\";
    const std::wstring statsValues = L"\"Count\"=dword:00000003\r\n\"Time\"=hex:da,07,05,00\r\n\r\n";
    const std::wstring expected =
        L"\xFEFFWindows Registry Editor Version 5.00\r\n\r\n"
        L"[HKEY_CURRENT_USER\\Software\\Microsoft\\Internet Explorer\\MenuExt\\&Translate with Acme]\r\n"
        L"@=\"C:\\\\Program Files\\\\Acme\\\\&Translate with Acme.htm\"\r\n"
        L"\"Contexts\"=dword:00000022\r\n\r\n"
        L"[" + stats + g64 + L"]\r\n\r\n"
        L"[" + stats + g64 + L"\\iexplore]\r\n" + statsValues +
        L"[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Internet Explorer\\Toolbar]\r\n"
        L"\"" + g64 + L"\"=\"Bar \\\"64\\\"\"\r\n\r\n"
        L"[" + stats + g32 + L"]\r\n\r\n"
        L"[" + stats + g32 + L"\\iexplore]\r\n" + statsValues +
        L"[HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\Microsoft\\Internet Explorer\\Toolbar]\r\n"
        L"\"" + g32 + L"\"=\"Bar 32\"\r\n\r\n";
    const auto bytes = sktest::ReadBytes(cleaner.BackupFileName);
    std::wstring text(bytes.size() / 2, L'\0');
    memcpy(text.data(), bytes.data(), text.size() * 2);
    CHECK(text == expected);
    CHECK(cleaner.BackupFileName.rfind(temp.Path(), 0) == 0);
}

TEST_CASE("backup: regedit lines for every kind of value") {
    struct TCase {
        std::wstring Name;
        TRegValue Value;
        std::wstring Line;
    };
    const auto raw = [](std::vector<uint8_t> bytes, DWORD type) { return RegBytes(bytes, type); };
    std::wstring wrapped = L"\"x\"=hex:";
    for (int i = 0; i < 23; ++i) wrapped += L"ab,";
    wrapped += L"\\\r\n  ";
    for (int i = 0; i < 16; ++i) wrapped += L"ab,";
    wrapped += L"ab\r\n";
    const TCase cases[] = {
        {L"", RegText(L"C:\\a \"b\""), L"@=\"C:\\\\a \\\"b\\\"\"\r\n"},
        {L"na\"me\\", RegNumber(0x2A), L"\"na\\\"me\\\\\"=dword:0000002a\r\n"},
        {L"neg", RegNumber(-2), L"\"neg\"=dword:fffffffe\r\n"},
        {L"s", RegText(L""), L"\"s\"=\"\"\r\n"},
        {L"e", RegText(L"%x%", REG_EXPAND_SZ), L"\"e\"=hex(2):25,00,78,00,25,00,00,00\r\n"},
        {L"m", RegTextList({L"a", L"b"}), L"\"m\"=hex(7):61,00,00,00,62,00,00,00,00,00\r\n"},
        {L"b", RegBytes({}), L"\"b\"=hex:\r\n"},
        {L"n", raw({}, REG_NONE), L"\"n\"=hex(0):\r\n"},
        {L"q", raw({1, 0, 0, 0, 0, 0, 0, 0x80}, REG_QWORD), L"\"q\"=hex(b):01,00,00,00,00,00,00,80\r\n"},
        {L"lines", RegText(L"a\nb"), L"\"lines\"=hex(1):61,00,0a,00,62,00,00,00\r\n"},
        {L"unended", raw({0x61, 0, 0x62, 0}, REG_SZ), L"\"unended\"=hex(1):61,00,62,00\r\n"},
        {L"inner zero", raw({0x61, 0, 0, 0, 0x62, 0, 0, 0}, REG_SZ),
         L"\"inner zero\"=hex(1):61,00,00,00,62,00,00,00\r\n"},
        {L"short dword", raw({1, 2, 3}, REG_DWORD), L"\"short dword\"=hex(4):01,02,03\r\n"},
        {L"x", RegBytes(std::vector<uint8_t>(40, 0xAB)), wrapped},
    };
    for (const auto& c : cases) {
        INFO(sktest::Narrow(c.Name));
        CHECK(RegFileValueLine(c.Name, c.Value) == c.Line);
    }
}

TEST_CASE("backup file: named by time, never over an earlier one, gone when it holds nothing") {
    sktest::TTempDir temp;
    SYSTEMTIME time{};
    time.wYear = 2024, time.wMonth = 5, time.wDay = 1, time.wHour = 13, time.wMinute = 45, time.wSecond = 7;
    const std::wstring folder = temp / L"backup\\plugins\\";
    const std::wstring header = std::wstring(L"\xFEFF") + kRegFileHeader;
    const auto textOf = [](const std::wstring& file) {
        const auto bytes = sktest::ReadBytes(file);
        std::wstring text(bytes.size() / 2, L'\0');
        memcpy(text.data(), bytes.data(), text.size() * 2);
        return text;
    };
    {
        TRegBackupFile first(folder, time);
        first.Append(L"[A]\r\n\r\n");
        const uint64_t mark = first.Size();
        first.Append(L"[B]\r\n\r\n");
        first.Truncate(mark);
        CHECK(first.Close() == folder + L"2024-05-01 13-45-07.reg");
    }
    TRegBackupFile second(folder, time);
    second.Append(L"[C]\r\n\r\n");
    CHECK(second.Close() == folder + L"2024-05-01 13-45-07 (2).reg");
    CHECK(textOf(folder + L"2024-05-01 13-45-07.reg") == header + L"[A]\r\n\r\n");
    CHECK(textOf(folder + L"2024-05-01 13-45-07 (2).reg") == header + L"[C]\r\n\r\n");

    TRegBackupFile emptied(folder, time);
    emptied.Append(L"[D]\r\n\r\n");
    emptied.Truncate(0);
    CHECK(emptied.Close().empty());
    CHECK_FALSE(FileExists(folder + L"2024-05-01 13-45-07 (3).reg"));
}

TEST_CASE("backup folder: backup\\plugins\\ beside the program unless one is given") {
    const std::wstring saved = ProgramFolder;
    ProgramFolder = L"C:\\Surfkeep\\";
    TMemoryRegistryBackend registry;
    CHECK(TIEPlugInCleaner(registry).BackupFolder() == L"C:\\Surfkeep\\backup\\plugins\\");
    CHECK(TIEPlugInCleaner(registry, L"D:\\Elsewhere").BackupFolder() == L"D:\\Elsewhere\\");
    ProgramFolder = saved;
}

namespace {

// A registry with add-ons whose files, type libraries and AppIDs the tests share out.
struct TShareScene {
    TMemoryRegistryBackend Registry;
    sktest::TTempDir Temp;
    sktest::TFakePlugInFiles Files;
    TIEPlugInCleaner Cleaner{Registry, Temp / L"backup\\plugins", Files};
    sktest::TRegFixture Fixture{Registry};

    TAddOnSetup AddOn(int n, const std::wstring& file, TRegView view = Native) {
        TAddOnSetup a{TestGuid(n), L"Add-on " + std::to_wstring(n), file, L"", L"", L"", L"", L"acme.exe", false, true,
                     view};
        return a;
    }
    void Add(const TAddOnSetup& a) {
        Fixture.AddAddOn(a);
        if (std::find(Files.Files.begin(), Files.Files.end(), a.FileName) == Files.Files.end())
            Files.Files.push_back(a.FileName);
    }
    bool Listed(const TAddOnSetup& a) {
        return sktest::KeyExists(Registry, HKLM, a.View, std::wstring(kBHOPath) + L"\\" + a.Clsid);
    }
    std::wstring Fates() const {
        std::wstring out;
        for (const auto& r : Cleaner.FileReports) {
            static const wchar_t* const names[] = {L"Moved", L"KeptWindows", L"KeptShared",
                                                   L"KeptRegistered", L"KeptUnqualified", L"NotMoved"};
            out += r.File + L" " + names[static_cast<int>(r.Fate)];
            for (const auto& user : r.UsedBy) out += L" " + user;
            out += L"\n";
        }
        return out;
    }
};

}  // namespace

TEST_CASE("the DLL: a file of Windows or one that another class still names is kept, the registration goes") {
    SUBCASE("a helper object whose DLL is the system's shell32.dll") {
        TShareScene s;
        const TAddOnSetup hijack = s.AddOn(0x30, L"C:\\windows\\system32\\shell32.dll");
        s.Add(hijack);
        s.Cleaner.Clean({Com(0x30)}, {});
        CHECK(s.Cleaner.CleanedCount == 1);
        CHECK_FALSE(s.Listed(hijack));
        CHECK_FALSE(sktest::KeyExists(s.Registry, HKLM, Native, std::wstring(kClassesCLSIDPath) + L"\\" + hijack.Clsid));
        CHECK(s.Files.Moved.empty());
        CHECK(s.Fates() == L"C:\\windows\\system32\\shell32.dll KeptWindows\n");
        CHECK(PlugInFileReportText(s.Cleaner.FileReports.at(0)) ==
              L"C:\\windows\\system32\\shell32.dll belongs to Windows and was kept.");
    }
    SUBCASE("a path that only spells its way into the Windows folder") {
        TShareScene s;
        s.Files.Files = {L"C:\\windows\\system32\\shell32.dll"};
        TAddOnSetup sly = s.AddOn(0x30, L"C:\\Acme\\..\\windows\\.\\system32\\shell32.dll");
        s.Fixture.AddAddOn(sly);
        s.Cleaner.Clean({Com(0x30)}, {});
        CHECK(s.Files.Moved.empty());
        CHECK(s.Fates() == L"C:\\windows\\system32\\shell32.dll KeptWindows\n");
    }
    SUBCASE("two classes share one DLL: it stays while the other remains, and goes with the last") {
        TShareScene s;
        const std::wstring shared = L"C:\\Program Files\\Acme\\shared.dll";
        const TAddOnSetup a = s.AddOn(0x31, shared), b = s.AddOn(0x32, L"C:\\PROGRAM FILES\\acme\\SHARED.DLL");
        s.Add(a);
        s.Add(b);
        s.Cleaner.Clean({Com(0x31)}, {});
        CHECK_FALSE(s.Listed(a));
        CHECK(s.Listed(b));
        CHECK(s.Files.Moved.empty());
        CHECK(s.Fates() == shared + L" KeptShared " + b.Clsid + L"\n");
        CHECK(PlugInFileReportText(s.Cleaner.FileReports.at(0)) ==
              shared + L" is still used by another program and was kept.");

        s.Cleaner.Clean({Com(0x32)}, {});
        CHECK(Join(s.Files.Moved) == Join({shared}));
        CHECK(s.Fates() == shared + L" Moved\n");
    }
    SUBCASE("both in one clean: kept for the first, moved with the second") {
        TShareScene s;
        const std::wstring shared = L"C:\\Acme\\shared.dll";
        s.Add(s.AddOn(0x31, shared));
        s.Add(s.AddOn(0x32, shared));
        s.Cleaner.Clean({Com(0x31), Com(0x32)}, {});
        CHECK(s.Cleaner.CleanedCount == 2);
        CHECK(s.Fates() == shared + L" KeptShared " + TestGuid(0x32) + L"\n" + shared + L" Moved\n");
    }
    SUBCASE("a class of the other view, and one that is not listed as an add-on at all, count too") {
        TShareScene s;
        const std::wstring shared = L"C:\\Acme\\shared.dll";
        s.Add(s.AddOn(0x31, shared));
        TAddOnSetup other32 = s.AddOn(0x33, shared, Wow32);
        other32.BHO = false;  // a plain COM class of the 32-bit view
        s.Fixture.AddAddOn(other32);
        s.Cleaner.Clean({Com(0x31)}, {});
        CHECK(s.Fates() == shared + L" KeptShared " + TestGuid(0x33) + L"\n");
    }
    SUBCASE("a per-user class counts too") {
        TShareScene s;
        const std::wstring shared = L"C:\\Acme\\shared.dll";
        s.Add(s.AddOn(0x31, shared));
        TAddOnSetup user = s.AddOn(0x34, shared);
        user.BHO = false;
        s.Fixture.AddClasses(user, HKCU, L"Software\\Classes");
        s.Cleaner.Clean({Com(0x31)}, {});
        CHECK(s.Fates() == shared + L" KeptShared " + TestGuid(0x34) + L"\n");
    }
    SUBCASE("a class that could not be removed keeps its DLL") {
        TShareScene s;
        const TAddOnSetup a = s.AddOn(0x31, L"C:\\Acme\\a.dll");
        s.Add(a);
        s.Registry.Refuse(HKLM, L"Software\\Classes\\CLSID");  // the class container refuses changes
        s.Cleaner.Clean({Com(0x31)}, {});
        s.Registry.Refuse(HKLM, L"Software\\Classes\\CLSID", false);
        CHECK(sktest::KeyExists(s.Registry, HKLM, Native, std::wstring(kClassesCLSIDPath) + L"\\" + a.Clsid));
        CHECK(s.Files.Moved.empty());
        CHECK(s.Fates() == L"C:\\Acme\\a.dll KeptRegistered\n");
    }
    SUBCASE("a registration without a folder names no file of its own") {
        TShareScene s;
        s.Fixture.AddAddOn(s.AddOn(0x35, L"mscoree.dll"));
        s.Cleaner.Clean({Com(0x35)}, {});
        CHECK(s.Fates() == L"mscoree.dll KeptUnqualified\n");
    }
}

TEST_CASE("the DLL of a 32-bit registration lies in SysWOW64 where it names System32") {
    TShareScene s;
    // Another folder stands for Windows here, so that the mapped file can be seen to move.
    s.Files.Windows = L"D:\\Windows elsewhere\\";
    s.Files.Files = {L"C:\\windows\\system32\\acme.dll", L"C:\\windows\\syswow64\\acme.dll"};
    s.Fixture.AddAddOn(s.AddOn(0x36, L"C:\\Windows\\System32\\acme.dll", Wow32));
    s.Fixture.AddAddOn(s.AddOn(0x37, L"C:\\Windows\\System32\\acme.dll", Native));
    s.Cleaner.Clean({Com(0x36)}, {});
    // The 64-bit class names the 64-bit twin, not this file: it does not keep it.
    CHECK(Join(s.Files.Moved) == Join({L"C:\\windows\\syswow64\\acme.dll"}));
    CHECK(s.Fates() == L"C:\\windows\\syswow64\\acme.dll Moved\n");
    s.Cleaner.Clean({Com(0x37)}, {});
    CHECK(Join(s.Files.Moved) == Join({L"C:\\windows\\syswow64\\acme.dll", L"C:\\windows\\system32\\acme.dll"}));

    // With the real Windows folder both stay.
    TShareScene real;
    real.Files.Files = {L"C:\\windows\\system32\\acme.dll", L"C:\\windows\\syswow64\\acme.dll"};
    real.Fixture.AddAddOn(real.AddOn(0x36, L"C:\\Windows\\System32\\acme.dll", Wow32));
    real.Cleaner.Clean({Com(0x36)}, {});
    CHECK(real.Files.Moved.empty());
    CHECK(real.Fates() == L"C:\\windows\\syswow64\\acme.dll KeptWindows\n");
}

TEST_CASE("the DLL moves into the backup, beside the .reg file and named after it") {
    TShareScene s;
    s.Add(s.AddOn(0x38, L"C:\\Acme\\acme.dll"));
    s.Add(s.AddOn(0x39, L"C:\\Other\\acme.dll"));
    s.Add(s.AddOn(0x3A, L"C:\\Acme\\busy.dll"));
    s.Files.Locked = {L"C:\\Acme\\busy.dll"};
    s.Cleaner.Clean({Com(0x38), Com(0x39), Com(0x3A)}, {});
    REQUIRE_FALSE(s.Cleaner.BackupFileName.empty());
    const std::wstring reg = s.Cleaner.BackupFileName;
    const std::wstring base = reg.substr(0, reg.size() - 4);  // without ".reg"
    CHECK(Join(s.Files.Targets) == Join({base + L" acme.dll", base + L" (2) acme.dll"}));
    CHECK(s.Fates() == L"C:\\Acme\\acme.dll Moved\nC:\\Other\\acme.dll Moved\nC:\\Acme\\busy.dll NotMoved\n");
    CHECK(s.Cleaner.FileReports.at(2).Error == ERROR_SHARING_VIOLATION);
    CHECK(PlugInFileReportText(s.Cleaner.FileReports.at(0)) ==
          L"C:\\Acme\\acme.dll was moved into the backup as " + base + L" acme.dll.");
    CHECK(PlugInFileReportText(s.Cleaner.FileReports.at(2)) ==
          L"C:\\Acme\\busy.dll could not be moved into the backup (it may be in use) and was kept.");
    // The .reg file says where each moved file came from; regedit reads such lines as comments.
    const std::wstring text = sktest::ReadTextFile(reg);
    CHECK(text.find(L"; C:\\Acme\\acme.dll is saved beside this file as \"" + FileNameOf(base) + L" acme.dll\".\r\n") !=
          std::wstring::npos);
    CHECK(text.find(L"; C:\\Other\\acme.dll is saved beside this file as \"" + FileNameOf(base) +
                    L" (2) acme.dll\".\r\n") != std::wstring::npos);
    CHECK(text.find(L"; C:\\Acme\\busy.dll could not be moved into the backup and stays where it is.\r\n") !=
          std::wstring::npos);
    CHECK(text.find(L"busy.dll is saved") == std::wstring::npos);
}

TEST_CASE("a type library and an AppID go only when they are the add-on's own") {
    struct TCase {
        const char* Name;
        bool ShareTypeLib;      // another class names the same type library
        bool ForeignLibFile;    // the library's win32 file is another DLL
        bool ShareAppId;        // another class names the same AppID
        bool TypeLibGone, AppIdGone;
    };
    const TCase cases[] = {
        {"all its own", false, false, false, true, true},
        {"a type library another class names", true, false, false, false, true},
        {"a type library of another file", false, true, false, false, true},
        {"an AppID another class names", false, false, true, true, false},
    };
    for (const auto& c : cases) {
        INFO(c.Name);
        TShareScene s;
        TAddOnSetup a = s.AddOn(0x40, L"C:\\Acme\\acme.dll");
        a.TypeLib = TestGuid(0x50);
        a.AppID = TestGuid(0x60);
        s.Add(a);
        TAddOnSetup other = s.AddOn(0x41, L"C:\\Other\\other.dll", Wow32);
        other.BHO = false;
        if (c.ShareTypeLib) s.Fixture.Set(HKLM, Wow32, std::wstring(kClassesCLSIDPath) + L"\\" + other.Clsid + L"\\TypeLib",
                                          L"", RegText(a.TypeLib));
        if (c.ShareAppId) s.Fixture.Set(HKLM, Wow32, std::wstring(kClassesCLSIDPath) + L"\\" + other.Clsid, L"AppID",
                                        RegText(a.AppID));
        if (c.ForeignLibFile)
            s.Fixture.Set(HKLM, L"Software\\Classes\\TypeLib\\" + a.TypeLib + L"\\1.0\\0\\win32", L"",
                          RegText(L"C:\\Windows\\System32\\stdole2.tlb"));
        s.Cleaner.Clean({Com(0x40)}, {});
        CHECK_FALSE(s.Listed(a));
        CHECK(sktest::KeyExists(s.Registry, HKLM, Native, L"Software\\Classes\\TypeLib\\" + a.TypeLib) != c.TypeLibGone);
        CHECK(sktest::KeyExists(s.Registry, HKLM, Native, L"Software\\Classes\\AppID\\" + a.AppID) != c.AppIdGone);
        CHECK(sktest::KeyExists(s.Registry, HKLM, Native, L"Software\\Classes\\AppID\\acme.dll") != c.AppIdGone);
    }
    SUBCASE("an add-on without an AppID touches no AppID key, nor a module key of an empty name") {
        TShareScene s;
        s.Fixture.Set(HKLM, L"Software\\Classes\\AppID\\.dll", L"AppID", RegText(L"{someone else}"));
        s.Fixture.Set(HKLM, L"Software\\Classes\\AppID", L"", RegText(L""));
        s.Add(s.AddOn(0x42, L"C:\\Acme\\acme.dll"));
        s.Cleaner.Clean({Com(0x42)}, {});
        CHECK(sktest::KeyExists(s.Registry, HKLM, Native, L"Software\\Classes\\AppID\\.dll"));
    }
    SUBCASE("a module key that names another AppID stays") {
        TShareScene s;
        TAddOnSetup a = s.AddOn(0x43, L"C:\\Acme\\acme.dll");
        a.AppID = TestGuid(0x63);
        s.Add(a);
        s.Fixture.Set(HKLM, L"Software\\Classes\\AppID\\acme.dll", L"AppID", RegText(L"{someone else}"));
        s.Cleaner.Clean({Com(0x43)}, {});
        CHECK_FALSE(sktest::KeyExists(s.Registry, HKLM, Native, L"Software\\Classes\\AppID\\" + a.AppID));
        CHECK(sktest::KeyExists(s.Registry, HKLM, Native, L"Software\\Classes\\AppID\\acme.dll"));
    }
}

TEST_CASE("backup: a name that regedit would read as lines of its own is left out, everything else kept exact") {
    TMemoryRegistryBackend registry;
    sktest::TTempDir temp;
    sktest::TFakePlugInFiles files;
    TIEPlugInCleaner cleaner(registry, temp.Path(), files);
    sktest::TRegFixture fixture(registry);
    const std::wstring g = TestGuid(0x44);
    const std::wstring bho = std::wstring(kBHOPath) + L"\\" + g;
    fixture.Set(HKLM, bho, L"NoExplorer", RegNumber(1));
    const std::wstring inject = L"]\r\n[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Run]\r\n"
                                L"\"evil\"=\"C:\\\\evil.exe\"\r\n[x";
    fixture.Set(HKLM, bho, L"a\"\r\n\"evil\"=\"1", RegText(L"x"));
    fixture.Set(HKLM, bho + L"\\sub" + inject, L"", RegText(L"y"));
    fixture.Set(HKLM, bho + L"\\sub" + inject + L"\\deeper", L"", RegText(L"z"));
    fixture.Set(HKLM, bho + L"\\odd ] [ \" = name", L"q\"uote\\d", RegText(L"v"));
    cleaner.Clean({Com(0x44)}, {});
    CHECK_FALSE(sktest::KeyExists(registry, HKLM, Native, bho));
    const std::wstring text = sktest::ReadTextFile(cleaner.BackupFileName);
    const std::wstring key = L"HKEY_LOCAL_MACHINE\\" + bho;
    const std::wstring expected =
        std::wstring(L"Windows Registry Editor Version 5.00\r\n\r\n") + L"[" + key + L"]\r\n" +
        L"\"NoExplorer\"=dword:00000001\r\n"
        L"; A value whose name holds a line break is not saved: regedit could not read it back.\r\n\r\n"
        L"[" + key + L"\\odd ] [ \" = name]\r\n\"q\\\"uote\\\\d\"=\"v\"\r\n\r\n"
        L"; A key whose name holds a line break is not saved: regedit could not read it back.\r\n\r\n";
    CHECK(text == expected);
    // Nothing in the file starts a line that is not the file's own.
    CHECK(text.find(L"\n[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Run]") == std::wstring::npos);
    CHECK(text.find(L"\n\"evil\"") == std::wstring::npos);
}
