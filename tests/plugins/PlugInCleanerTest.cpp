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
using sktest::TAddOnSpec;
using sktest::TestGuid;

namespace {

const TRegView Native = TRegView::Native, Wow32 = TRegView::Wow32;
const TRegRoot HKCR = TRegRoot::ClassesRoot, HKCU = TRegRoot::CurrentUser, HKLM = TRegRoot::LocalMachine;

std::string Lines(const TPlugInInfoArray& list) {
    std::ostringstream os;
    for (const auto& r : list) os << r << "\n";
    return os.str();
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

// A registry with two context-menu extensions and COM add-ons of every sort.
struct TScene {
    TMemoryRegistryBackend Registry;
    sktest::TTempDir Temp;
    std::vector<std::wstring> Deleted;  // files handed to the delete step
    TIEPlugInCleaner Cleaner{Registry, Temp / L"backup\\plugins",
                             [this](const std::wstring& file) { Deleted.push_back(file); }};
    sktest::TRegFixture Fixture{Registry};

    // Fields: CLSID, name, file, ProgID, version-independent ProgID, TypeLib, AppID, AppID module,
    // toolbar, BHO, view, has a class key.
    TAddOnSpec Toolbar{TestGuid(1), L"Acme Toolbar", L"C:\\Program Files\\Acme\\acme.dll", L"Acme.Toolbar.1",
                       L"Acme.Toolbar", TestGuid(0x11), TestGuid(0x21), L"acme.exe", true, true};
    TAddOnSpec NoClass{TestGuid(2), L"", L"", L"", L"", L"", L"", L"acme.exe", false, true, Native, false};
    TAddOnSpec Both64{TestGuid(3), L"Acme Both", L"C:\\Acme\\both64.dll", L"Acme.Both.1", L"", L"", L"",
                      L"acme.exe", false, true};
    TAddOnSpec Both32{TestGuid(3), L"Acme Both (32-bit)", L"C:\\Acme\\both32.dll", L"Acme.Both32.1", L"", L"", L"",
                      L"acme.exe", false, true, Wow32};
    TAddOnSpec Relative{TestGuid(7), L"Relative", L"acme-relative.dll", L"", L"", L"", L"", L"acme.exe", true};
    TAddOnSpec NoFile{TestGuid(8), L"No file", L"", L"", L"", L"", L"", L"acme.exe", true};

    TScene() {
        Fixture.AddMenuExtension(L"E&xport to Acme Sheet");
        Fixture.AddMenuExtension(L"&Translate with Acme");
        for (const auto* a : {&Toolbar, &NoClass, &Both64, &Both32, &Relative, &NoFile}) Fixture.AddAddOn(*a);
    }
};

}  // namespace

TEST_CASE("listing: menu extensions, then toolbars and browser helper objects of both views with their classes") {
    TScene s;
    // A damaged registration: a number where a text belongs reads as nothing.
    TAddOnSpec odd{TestGuid(4), L"Odd", L"C:\\Acme\\odd.dll", L"", L"", L"", L"", L"acme.exe", false, true, Wow32};
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
        {"an add-on listed as toolbar and as BHO is reported and counted twice",
         {{BHOLine(1), {}}},
         {L"Acme Toolbar", L"Acme Toolbar"},
         2,
         {g1 + L" Toolbar", g1 + L" BHO"},
         {acmeDll, acmeDll}},
        {"a menu entry must match its name exactly, letter case included",
         {{L"e&xport to acme sheet", {}}, {L"&Translate with Acme", {}}},
         {L"&Translate with Acme"},
         1,
         {L"&Translate with Acme"},
         {}},
        {"a menu entry given twice is reported twice and counted once",
         {{L"&Translate with Acme", {}}, {L"&Translate with Acme", {}}},
         {L"&Translate with Acme", L"&Translate with Acme"},
         1,
         {L"&Translate with Acme"},
         {}},
        {"an add-on without class registration is removed under an empty name",
         {{BHOLine(2), {}}},
         {L""},
         1,
         {g2 + L" BHO"},
         {}},
        {"a plain entry takes the add-on in both views",
         {{BHOLine(3), {}}},
         {L"Acme Both", L"Acme Both (32-bit)"},
         2,
         {g3 + L" BHO", g3 + L" BHO:32"},
         {L"C:\\Acme\\both64.dll", L"C:\\Acme\\both32.dll"}},
        {"an entry with a view takes only that view",
         {{BHOLine(3), Wow32}},
         {L"Acme Both (32-bit)"},
         1,
         {g3 + L" BHO:32"},
         {L"C:\\Acme\\both32.dll"}},
        {"a relative or empty file name deletes no file",
         {{BHOLine(7), {}}, {BHOLine(8), {}}},
         {L"Relative", L"No file"},
         2,
         {g7 + L" Toolbar", g8 + L" Toolbar"},
         {}},
        {"menu extensions go first, then add-ons in selection order",
         {{BHOLine(3), Native}, {L"&Translate with Acme", {}}, {BHOLine(1), {}}},
         {L"&Translate with Acme", L"Acme Both", L"Acme Toolbar", L"Acme Toolbar"},
         4,
         {L"&Translate with Acme", g3 + L" BHO", g1 + L" Toolbar", g1 + L" BHO"},
         {L"C:\\Acme\\both64.dll", acmeDll, acmeDll}},
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
        CHECK(Join(s.Deleted) == Join(c.Files));
        // A backup exactly when something was removed.
        CHECK(s.Cleaner.BackupFileName.empty() == c.Gone.empty());
        if (!c.Gone.empty()) CHECK(FileExists(s.Cleaner.BackupFileName));
    }
}

namespace {

// The deletions the removal of add-on a makes, in order, when HKEY_CLASSES_ROOT holds the user's own
// copy of the classes (whose AppID names userModule) apart from the machine's.
std::vector<std::wstring> AllSteps(const TAddOnSpec& a, const std::wstring& userModule) {
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
        std::vector<std::wstring> deleted;
        TIEPlugInCleaner cleaner(recording, temp.Path(), [&](const std::wstring& f) { deleted.push_back(f); });

        TAddOnSpec full{TestGuid(6), L"Full", L"C:\\Acme\\full.dll", L"Acme.Full.1", L"Acme.Full",
                        TestGuid(0x16), TestGuid(0x26), L"full.exe", true, true, view};
        // Another add-on of the other view with the same names must keep all of its keys.
        TAddOnSpec other = full;
        other.View = view == Native ? Wow32 : Native;
        other.Clsid = TestGuid(9);
        sktest::TRegFixture fixture(classesApart);
        fixture.AddAddOn(full);
        TAddOnSpec user = full;
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
        cleaner.Clean(std::vector<std::wstring>{BHOLine(6)}, log.Handler(cleaner));

        // Listed as toolbar and as BHO: the second pass finds nothing left to delete.
        CHECK(Join(log.Names) == L"Full\nFull\n\n");
        CHECK(cleaner.CleanedCount == 2);
        CHECK(Join(recording.Log) == Join(AllSteps(full, user.AppIDModule)));
        CHECK(Join(deleted) == L"C:\\Acme\\full.dll\nC:\\Acme\\full.dll\n");
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

    s.Cleaner.Clean(std::vector<std::wstring>{BHOLine(0x0A), BHOLine(0x0B)}, {});
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
    s.Cleaner.Clean(std::vector<std::wstring>{BHOLine(1), L"&Translate with Acme"}, log.Handler(s.Cleaner));
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
        TAddOnSpec wrong{TestGuid(0x0C), L"Wrong", L"", L"", L"", L"", TestGuid(0x2C), L"wrong.exe", false, true};
        s.Fixture.AddAddOn(wrong);
        s.Fixture.Set(HKLM, L"Software\\Classes\\AppID\\" + wrong.AppID, L"", RegNumber(9));
        sktest::TProgressLog log;
        CHECK(sktest::ErrorOf([&] {
                  s.Cleaner.Clean(std::vector<std::wstring>{BHOLine(0x0C)}, log.Handler(s.Cleaner));
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
        TIEPlugInCleaner cleaner(registry, temp / L"blocker\\plugins", [](const std::wstring&) { FAIL("no file"); });
        sktest::TRegFixture fixture(registry);
        fixture.AddMenuExtension(L"&Translate with Acme");
        fixture.AddAddOn({TestGuid(1), L"Acme", L"C:\\a.dll", L"", L"", L"", L"", L"acme.exe", true});
        const std::wstring before = sktest::Snapshot(registry, fixture.Places());
        sktest::TProgressLog log;
        CHECK(sktest::ErrorOf([&] {
                  cleaner.Clean(std::vector<std::wstring>{L"&Translate with Acme", BHOLine(1)}, log.Handler(cleaner));
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
    TIEPlugInCleaner cleaner(registry, temp.Path(), [](const std::wstring&) {});
    sktest::TRegFixture fixture(registry);
    fixture.AddMenuExtension(L"&Translate with Acme");
    fixture.AddMenuExtension(L"Kept");
    const std::wstring g64 = TestGuid(0x0D), g32 = TestGuid(0x0E);
    fixture.AddAddOn({g64, L"Bar \"64\"", L"", L"", L"", L"", L"", L"acme.exe", true, false, Native, false});
    fixture.AddAddOn({g32, L"Bar 32", L"", L"", L"", L"", L"", L"acme.exe", true, false, Wow32, false});

    cleaner.Clean(std::vector<std::wstring>{L"&Translate with Acme", BHOLine(0x0D) + L" " + BHOLine(0x0E)}, {});
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
