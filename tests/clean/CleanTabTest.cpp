// The Cleaning tab in the real main window under Xvfb: remembered choices in a settings file of its
// own, a scan of real files in a scratch folder (URL cache, history and typed addresses on the
// substitutes), the clean of exactly the ticked items, history that goes only as a whole, a stop
// pressed during a scan or a clean, the enabling of the controls, and errors.
#include "TestSupport.h"
#include "UiTestSupport.h"

#include <windowsx.h>

#include <algorithm>
#include <set>

#include "CleanFakes.h"
#include "CountingPump.h"
#include "MessageBoxRecorder.h"
#include "base/Errors.h"
#include "base/Format.h"
#include "base/Handles.h"
#include "base/Paths.h"
#include "base/ProfileFile.h"
#include "base/Settings.h"
#include "base/StringTable.h"
#include "app/FormSurfkeep.h"
#include "clean/ui/CleanTab.h"
#include "registry/RegistryStore.h"
#include "repair/ui/RepairTab.h"

using namespace sk;
using sktest::TTempDir;

namespace {

// The texts of the boxes shown (recorded by the fixture's TMessageBoxRecorder).
std::vector<std::wstring>& gBoxes = sktest::TMessageBoxRecorder::Texts();

void MakeFile(const std::wstring& path, size_t size) {
    sktest::WriteBytes(path, std::vector<unsigned char>(size, 'x'));
}

void MakeFolder(const std::wstring& path) { ::CreateDirectoryW(path.c_str(), nullptr); }

// The locale's decimal separator in place of '.'.
std::wstring Dec(std::wstring text) {
    wchar_t sep[8] = L".";
    ::GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, sep, 8);
    for (size_t at = text.find(L'.'); at != std::wstring::npos; at = text.find(L'.', at + 1))
        text.replace(at, 1, sep);
    return text;
}

bool RunningUnderWine() {
    const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    return ntdll && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

const wchar_t* const kTypedUrls = L"Software\\Microsoft\\Internet Explorer\\TypedUrls";

struct TTabFixture {
    sktest::TMessageBoxRecorder Boxes;
    TTempDir Dir;
    std::wstring Cache = Dir / L"cache\\", Cookies = Dir / L"cookies\\", History = Dir / L"history\\";
    TFixedCleanLocations Locations{Cache, Cookies, History};
    sktest::TFakeUrlCache UrlCache;
    sktest::TFakeHistoryStore HistoryStore;
    TMemoryRegistryBackend Registry;
    TMemoryRegistryBackend RepairRegistry;
    sktest::TCountingPump Pump{true};  // the real message queue runs after the test's own step
    // The history store the engine asks (the system's own when a test says so).
    THistoryStore* EngineHistory = &HistoryStore;
    std::unique_ptr<TIECleaner> Cleaner;
    std::unique_ptr<TfrmSurfkeep> Form;
    TCleanTab* Tab = nullptr;

    TTabFixture() {
        ResetStringTable();
        LoadSettingsFor(Dir / L"surfkeep.exe");
        for (const auto& folder : {Cache, Cookies, History})
            MakeFolder(folder);
    }
    ~TTabFixture() { Close(); }

    // A little of everything: three cache files and two cookies beside the files the walks leave
    // alone, two typed addresses, two URL-cache entries (and a cookie entry), one history URL.
    void Browse() {
        MakeFile(Cache + L"desktop.ini", 10);
        MakeFolder(Cache + L"Content.IE5");
        MakeFile(Cache + L"Content.IE5\\index.dat", 4096);
        MakeFolder(Cache + L"Content.IE5\\AB12");
        MakeFolder(Cache + L"Content.IE5\\CD34");
        MakeFile(Cache + L"Content.IE5\\AB12\\page[1].htm", 2000);
        MakeFile(Cache + L"Content.IE5\\AB12\\logo[1].png", 1000);
        MakeFile(Cache + L"Content.IE5\\CD34\\script[1].js", 300);
        MakeFile(Cookies + L"index.dat", 512);
        MakeFile(Cookies + L"user@example[1].txt", 100);
        MakeFile(Cookies + L"user@other[2].txt", 200);
        TypeUrls({L"http://example.com/", L"http://example.org/"});
        UrlCache.Add(L"http://example.com/site.css", 5000);
        UrlCache.Add(L"Cookie:user@example.com/", 50);
        UrlCache.Add(L"Visited: user@http://example.com/", 0);
        HistoryStore.Add(L"http://example.net/", L"Example");
    }
    void TypeUrls(const std::vector<std::wstring>& urls) {
        TRegistryStore store(Registry, TRegRoot::CurrentUser);
        REQUIRE(store.Open(kTypedUrls, true));
        int n = 0;
        for (const auto& url : urls)
            store.WriteText(L"url" + std::to_wstring(++n), url);
    }

    TCleanTab& Open() {
        if (!Cleaner) {
            TIECleanerPlatform platform;
            platform.Locations = &Locations;
            platform.UrlCache = &UrlCache;
            platform.History = EngineHistory;
            platform.Registry = &Registry;
            platform.Pump = &Pump;
            platform.PumpIntervalMs = 0;  // every item lets the queue run
            Cleaner = std::make_unique<TIECleaner>(platform);
        }
        TfrmSurfkeepArgs args;
        args.RepairTab = std::make_unique<TRepairTab>(RepairRegistry);
        auto tab = std::make_unique<TCleanTab>(*Cleaner);
        Tab = tab.get();
        args.Others.push_back(std::move(tab));
        Form = std::make_unique<TfrmSurfkeep>(std::move(args));
        REQUIRE(Form->Create());
        Form->Show();
        Form->pgcMain().Select(1);
        sktest::PumpFor(30);
        return *Tab;
    }
    void Close() {
        Form.reset();
        Tab = nullptr;
    }

    std::wstring Setting(const wchar_t* key) const {
        return TProfileFile(ConfigFileName).ReadString(kSettingsSection, key, L"<absent>");
    }
    std::vector<std::wstring> Settings() const {
        std::vector<std::wstring> values;
        for (const wchar_t* key : IECleanSettingsKeys)
            values.push_back(Setting(key));
        return values;
    }

    TCheckNode& Category(int position) {
        REQUIRE(Tab->tvIEClean.TopLevel().size() == 4);
        return *Tab->tvIEClean.TopLevel()[static_cast<size_t>(position)];
    }
    // The check box picture the tree view shows: 1 unchecked, 2 checked, 3 mixed.
    int Shown(const TCheckNode& node) const {
        return static_cast<int>((TreeView_GetItemState(Tab->tvIEClean.Handle(), node.Item, TVIS_STATEIMAGEMASK) >> 12) &
                                0xF);
    }
    int ShownIcon(const TCheckNode& node) const {
        TVITEMW item{};
        item.mask = TVIF_IMAGE | TVIF_HANDLE;
        item.hItem = node.Item;
        TreeView_GetItem(Tab->tvIEClean.Handle(), &item);
        return item.iImage;
    }
    bool Expanded(const TCheckNode& node) const {
        return (TreeView_GetItemState(Tab->tvIEClean.Handle(), node.Item, TVIS_EXPANDED) & TVIS_EXPANDED) != 0;
    }
    // A mouse click on a node's check box, as the user makes it.
    void ClickCheckBox(TCheckNode& node) {
        HWND tree = Tab->tvIEClean.Handle();
        if (node.Parent && !Expanded(*node.Parent)) Tab->tvIEClean.Expand(*node.Parent, true);
        TreeView_EnsureVisible(tree, node.Item);
        const POINT box = sktest::TreeCheckBoxPoint(tree, node.Item);
        REQUIRE(box.x >= 0);
        const int x = box.x, y = box.y;
        const TCheckState before = node.CheckState;
        const size_t boxes = gBoxes.size();
        ::PostMessageW(tree, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
        ::PostMessageW(tree, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
        sktest::PumpUntil([&] { return node.CheckState != before || gBoxes.size() != boxes; }, 2000);
    }
    void PressButton(const TKivImageButton& button) {
        ::PostMessageW(button.Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
        ::PostMessageW(button.Handle(), WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    }
    std::vector<std::wstring> ItemTexts(int position) {
        std::vector<std::wstring> texts;
        for (const TCheckNode* item : Category(position).Children)
            texts.push_back(item->Text);
        std::sort(texts.begin(), texts.end());
        return texts;
    }
    // The item node of a category with that text.
    TCheckNode& Item(int position, const std::wstring& text) {
        const auto& items = Category(position).Children;
        const auto it = std::find_if(items.begin(), items.end(), [&](const TCheckNode* n) { return n->Text == text; });
        REQUIRE_MESSAGE(it != items.end(), "no item " << sktest::Narrow(text));
        return **it;
    }
    // Every item text of the tree, whatever its category.
    std::vector<std::wstring> AllItemTexts() {
        std::vector<std::wstring> texts;
        for (int i = 0; i < 4; ++i)
            for (const auto& text : ItemTexts(i))
                texts.push_back(text);
        std::sort(texts.begin(), texts.end());
        return texts;
    }
    // Which of the tab's controls accept input: Scan, Clean, Stop, tree, Select All, Select None; and
    // whether the notice that a clean cannot be undone shows.
    std::vector<bool> Enabling() const {
        return {Tab->actIEClean_Scan.Enabled(),    Tab->actIEClean_Clean.Enabled(),
                Tab->actIEClean_Stop.Enabled(),    ::IsWindowEnabled(Tab->tvIEClean.Handle()) != FALSE,
                Tab->lblClean_SelectAll.Enabled(), Tab->lblClean_SelectNone.Enabled(),
                Tab->lblCleanNotice.Visible()};
    }
};

const std::vector<bool> kIdleEmpty{true, false, false, true, true, true, false};
const std::vector<bool> kIdleFound{true, true, false, true, true, true, true};
const std::vector<bool> kBusy{false, false, true, false, false, false, false};

}  // namespace

TEST_CASE("byte sizes: strict limits, two decimals, 64-bit totals") {
    ResetStringTable();
    const struct {
        uint64_t Bytes;
        const wchar_t* Text;
    } cases[] = {
        {0, L"0 Byte(s)"},
        {1024, L"1024 Byte(s)"},
        {1025, L"1.00 KB"},
        {1048576, L"1024.00 KB"},
        {1572864, L"1.50 MB"},
        {1073741824, L"1024.00 MB"},
        {1073741825, L"1.00 GB"},
        // Past 4 GiB: a 32-bit total would wrap to 1 GiB.
        {5ull * 1024 * 1024 * 1024, L"5.00 GB"},
        {5368709120ull + 1073741824ull, L"6.00 GB"},
    };
    for (const auto& c : cases) {
        CAPTURE(c.Bytes);
        CHECK(FormatByteSize(c.Bytes) == Dec(c.Text));
    }
    CHECK(FormatCountAndSize(1572864, 12) == Dec(L"[12 files,1.50 MB]"));
    CHECK(FormatCountAndSize(300, 2) == L"[2 files,300 Byte(s)]");
}

TEST_CASE("first start: the remembered choices and the settings file") {
    const struct {
        const char* Name;
        const wchar_t* File;  // the settings file before the start; nullptr: none at all
        std::vector<std::wstring> After;
        std::vector<int> Shown;
    } cases[] = {
        {"no settings file", nullptr, {L"1", L"1", L"1", L"1"}, {2, 2, 2, 2}},
        {"no section", L"[LANGUAGE]\r\nLanguage=1033\r\n", {L"1", L"1", L"1", L"1"}, {2, 2, 2, 2}},
        {"a section with no key",
         L"[LANGUAGE]\r\nLanguage=1033\r\n[SURFKEEP]\r\n",
         {L"1", L"1", L"1", L"1"},
         {2, 2, 2, 2}},
        {"cookies and history off",
         L"[LANGUAGE]\r\nLanguage=1033\r\n[SURFKEEP]\r\nIETempFiles=1\r\nIECookies=0\r\nIEAddress=1\r\nIEHistory=0\r\n",
         {L"1", L"0", L"1", L"0"},
         {2, 1, 2, 1}},
        {"keys of the shield only", L"[SURFKEEP]\r\nIESecurityOn=1\r\n", {L"1", L"1", L"1", L"1"}, {2, 2, 2, 2}},
    };
    for (const auto& c : cases) {
        SUBCASE(c.Name) {
            TTabFixture f;
            ::DeleteFileW(ConfigFileName.c_str());
            if (c.File) sktest::WriteUtf16File(ConfigFileName, c.File);
            TCleanTab& tab = f.Open();
            CHECK(gBoxes.empty());
            CHECK(FileExists(ConfigFileName));
            CHECK(f.Settings() == c.After);
            REQUIRE(tab.tvIEClean.TopLevel().size() == 4);
            const wchar_t* captions[] = {L"Internet Explorer Temporary Files", L"Internet Explorer Cookies",
                                         L"Internet Explorer Addresses", L"Internet Explorer History"};
            for (int i = 0; i < 4; ++i) {
                CAPTURE(i);
                TCheckNode& node = f.Category(i);
                CHECK(node.Text == captions[i]);
                CHECK(node.CheckType == ctTriState);
                CHECK(node.Children.empty());
                CHECK(f.ShownIcon(node) == i);
                CHECK(f.Shown(node) == c.Shown[static_cast<size_t>(i)]);
                CHECK(tab.CleanCategories[static_cast<size_t>(i)].Caption == captions[i]);
            }
            CHECK(tab.Caption() == L"Cleanning");
            CHECK(f.Form->pgcMain().Caption(1) == L"Cleanning");
            CHECK(tab.StatusText().empty());
            CHECK(tab.lblCleanStatus.Caption().empty());
            CHECK(tab.btnScanIETemp.Caption() == L"Scan");
            CHECK(tab.btnClean.Caption() == L"Clean");
            CHECK(tab.btnStop.Caption() == L"Stop");
            CHECK(tab.lblClean_SelectAll.Caption() == L"Select All");
            CHECK(tab.lblClean_SelectNone.Caption() == L"Select None");
            CHECK(f.Enabling() == kIdleEmpty);
            CHECK(ImageList_GetImageCount(tab.imglstClean()) == 6);
        }
    }
}

TEST_CASE("a category's check box is remembered at once, all four keys together") {
    TTabFixture f;
    TCleanTab& tab = f.Open();
    // Only one key left in the file: the click writes the other three again.
    for (const wchar_t* key : {L"IETempFiles", L"IEAddress", L"IEHistory"})
        ::WritePrivateProfileStringW(kSettingsSection, key, nullptr, ConfigFileName.c_str());
    REQUIRE(f.Setting(L"IEHistory") == L"<absent>");

    f.ClickCheckBox(f.Category(1));
    CHECK(f.Category(1).CheckState == csUnchecked);
    CHECK(f.Shown(f.Category(1)) == 1);
    CHECK(tab.CleanCategories[1].CheckState == csUnchecked);
    CHECK(f.Settings() == std::vector<std::wstring>{L"1", L"0", L"1", L"1"});

    SUBCASE("the Space key does the same") {
        TreeView_SelectItem(tab.tvIEClean.Handle(), f.Category(3).Item);
        ::PostMessageW(tab.tvIEClean.Handle(), WM_KEYDOWN, VK_SPACE, 0);
        sktest::PumpUntil([&] { return f.Category(3).CheckState == csUnchecked; }, 2000);
        CHECK(f.Settings() == std::vector<std::wstring>{L"1", L"0", L"1", L"0"});
    }
    SUBCASE("the next start shows it unchecked, and a scan passes it over") {
        f.Browse();
        f.Close();
        f.Open();
        CHECK(f.Shown(f.Category(1)) == 1);
        CHECK(f.Shown(f.Category(0)) == 2);
        f.Tab->actIEClean_Scan.Execute();
        CHECK(f.Category(1).Children.empty());
        CHECK(f.Category(1).Text == L"Internet Explorer Cookies");
        CHECK(f.Category(0).Children.size() == 3);
        CHECK(f.Category(2).Children.size() == 2);
        CHECK(f.Tab->ScanCategorySet() == TIECleanCategories{1, 3, 4});
    }
    SUBCASE("Select None and Select All") {
        tab.lblClean_SelectNone.PerformClick();
        CHECK(f.Settings() == std::vector<std::wstring>{L"0", L"0", L"0", L"0"});
        for (int i = 0; i < 4; ++i)
            CHECK(f.Shown(f.Category(i)) == 1);
        tab.lblClean_SelectAll.PerformClick();
        CHECK(f.Settings() == std::vector<std::wstring>{L"1", L"1", L"1", L"1"});
        for (int i = 0; i < 4; ++i)
            CHECK(f.Shown(f.Category(i)) == 2);
        CHECK(gBoxes.empty());
    }
}

TEST_CASE("a rebuilt tree writes the choices back as it shows them") {
    TTabFixture f;
    f.Browse();
    TCleanTab& tab = f.Open();
    tab.actIEClean_Scan.Execute();
    tab.lblClean_SelectNone.PerformClick();
    f.ClickCheckBox(f.Category(0));
    f.ClickCheckBox(*f.Category(1).Children[0]);
    REQUIRE(f.Settings() == std::vector<std::wstring>{L"1", L"1", L"0", L"0"});
    // Another hand removes two keys and changes one: what the file says is what the next tree shows,
    // and the keys it lacks are written again (a missing key reads as wanted).
    ::WritePrivateProfileStringW(kSettingsSection, L"IETempFiles", nullptr, ConfigFileName.c_str());
    ::WritePrivateProfileStringW(kSettingsSection, L"IEAddress", nullptr, ConfigFileName.c_str());
    ::WritePrivateProfileStringW(kSettingsSection, L"IECookies", L"0", ConfigFileName.c_str());

    SUBCASE("after a clean") {
        tab.actIEClean_Clean.Execute();
        CHECK(gBoxes.empty());
        CHECK(f.Settings() == std::vector<std::wstring>{L"1", L"0", L"1", L"0"});
        const std::vector<int> shown{2, 1, 2, 1};
        for (int i = 0; i < 4; ++i)
            CHECK(f.Shown(f.Category(i)) == shown[static_cast<size_t>(i)]);
        // The one cookie that was ticked is gone, the other stays.
        CHECK(FileExists(f.Cookies + L"user@other[2].txt") != FileExists(f.Cookies + L"user@example[1].txt"));
    }
    SUBCASE("at the next scan") {
        tab.actIEClean_Scan.Execute();
        CHECK(gBoxes.empty());
        CHECK(f.Settings() == std::vector<std::wstring>{L"1", L"0", L"1", L"0"});
        CHECK(tab.ScanCategorySet() == TIECleanCategories{IECleanTempFiles, IECleanTypedUrls});
        CHECK(f.Category(2).Children.size() == 2);
        CHECK(f.Category(1).Children.empty());
    }
}

TEST_CASE("a scan fills the tree with counts and sizes, and a clean reports what went") {
    TTabFixture f;
    f.Browse();
    TCleanTab& tab = f.Open();

    std::vector<bool> enablingDuring;
    std::wstring statusDuring;
    f.Pump.OnPump = [&](int count) {
        if (count == 1) enablingDuring = f.Enabling();
        if (statusDuring.empty()) statusDuring = tab.StatusText();
    };
    tab.actIEClean_Scan.Execute();
    f.Pump.OnPump = nullptr;
    CHECK(gBoxes.empty());
    CHECK(enablingDuring == kBusy);
    CHECK(statusDuring.rfind(L"Scanning: " + f.Cache, 0) == 0);

    CHECK(f.Category(0).Text == Dec(L"Internet Explorer Temporary Files[3 files,3.22 KB]"));
    CHECK(f.Category(1).Text == L"Internet Explorer Cookies[2 files,300 Byte(s)]");
    CHECK(f.Category(2).Text == L"Internet Explorer Addresses[2 items]");
    CHECK(f.Category(3).Text == Dec(L"Internet Explorer History[3 files,4.88 KB]"));
    CHECK(f.ItemTexts(0) == std::vector<std::wstring>{f.Cache + L"Content.IE5\\AB12\\logo[1].png",
                                                      f.Cache + L"Content.IE5\\AB12\\page[1].htm",
                                                      f.Cache + L"Content.IE5\\CD34\\script[1].js"});
    CHECK(f.ItemTexts(1) ==
          std::vector<std::wstring>{f.Cookies + L"user@example[1].txt", f.Cookies + L"user@other[2].txt"});
    CHECK(f.ItemTexts(2) == std::vector<std::wstring>{L"http://example.com/", L"http://example.org/"});
    CHECK(f.ItemTexts(3) ==
          std::vector<std::wstring>{L"Example", L"Visited: user@http://example.com/", L"http://example.com/site.css"});
    const std::vector<int> kinds{0, 1, 2, -1};
    for (int i = 0; i < 4; ++i) {
        CAPTURE(i);
        TCheckNode& category = f.Category(i);
        CHECK(category.CheckState == csChecked);
        CHECK_FALSE(f.Expanded(category));
        for (const TCheckNode* item : category.Children) {
            CAPTURE(item->Text);
            CHECK(item->CheckType == ctTriState);
            CHECK(item->CheckState == csChecked);
            CHECK(f.Shown(*item) == 2);
            const int expected = i < 3                                          ? kinds[static_cast<size_t>(i)]
                                 : item->Text == L"http://example.com/site.css" ? 4
                                                                                : 5;
            CHECK(item->Index == expected);
            CHECK(f.ShownIcon(*item) == expected);
        }
    }
    CHECK(tab.StatusText() == L"Scanning is completed.");
    CHECK(tab.lblCleanStatus.Caption() == L"Scanning is completed.");
    CHECK(f.Enabling() == kIdleFound);
    CHECK(tab.CleanCategorySet() == TIECleanCategories::All());

    SUBCASE("a double click on a category opens and closes it") {
        HWND tree = tab.tvIEClean.Handle();
        TCheckNode& cookies = f.Category(1);
        RECT text{};
        REQUIRE(TreeView_GetItemRect(tree, cookies.Item, &text, TRUE));
        const LPARAM at = MAKELPARAM((text.left + text.right) / 2, (text.top + text.bottom) / 2);
        for (bool expanded : {true, false}) {
            ::PostMessageW(tree, WM_LBUTTONDBLCLK, MK_LBUTTON, at);
            ::PostMessageW(tree, WM_LBUTTONUP, 0, at);
            CHECK(sktest::PumpUntil([&] { return f.Expanded(cookies) == expanded; }, 2000));
        }
        CHECK(cookies.CheckState == csChecked);
    }
    SUBCASE("a scan again starts from an empty tree") {
        ::DeleteFileW((f.Cookies + L"user@other[2].txt").c_str());
        tab.actIEClean_Scan.Execute();
        CHECK(f.Category(1).Text == L"Internet Explorer Cookies[1 files,100 Byte(s)]");
        CHECK(f.Category(0).Children.size() == 3);
    }
    SUBCASE("clean") {
        enablingDuring.clear();
        std::set<std::wstring> statuses;
        f.Pump.OnPump = [&](int) {
            if (enablingDuring.empty()) enablingDuring = f.Enabling();
            statuses.insert(tab.StatusText());
        };
        tab.actIEClean_Clean.Execute();
        CHECK(gBoxes.empty());
        CHECK(enablingDuring == kBusy);
        CHECK(statuses.count(L"Deleting: " + f.Cookies + L"user@example[1].txt"));
        // 3 files, 2 cookies, 2 addresses, 2 cache entries and a history URL; 3300 + 300 + 5000 bytes.
        CHECK(tab.StatusText() == Dec(L"10 files/items are cleaned, 8.40 KB disk space is released."));
        CHECK(tab.lblCleanStatus.Caption() == tab.StatusText());
        for (int i = 0; i < 4; ++i) {
            CHECK(f.Category(i).Children.empty());
            CHECK(f.Category(i).CheckState == csChecked);
        }
        CHECK(f.Category(0).Text == L"Internet Explorer Temporary Files");
        CHECK(f.Enabling() == kIdleEmpty);
        CHECK_FALSE(FileExists(f.Cache + L"Content.IE5\\AB12\\page[1].htm"));
        CHECK_FALSE(FileExists(f.Cookies + L"user@example[1].txt"));
        CHECK(FileExists(f.Cache + L"desktop.ini"));
        CHECK(FileExists(f.Cookies + L"index.dat"));
        CHECK(f.UrlCache.Contains(L"Cookie:user@example.com/"));
        CHECK(f.UrlCache.Entries.size() == 1);
        CHECK(f.HistoryStore.Entries.empty());
        TRegistryStore store(f.Registry, TRegRoot::CurrentUser);
        REQUIRE(store.Open(kTypedUrls, false));
        CHECK(store.ListValueNames().empty());
    }
    SUBCASE("a clean that finds nothing left to delete") {
        // Everything went behind the tab's back after the scan.
        for (const auto& file : f.ItemTexts(0))
            ::DeleteFileW(file.c_str());
        for (const auto& file : f.ItemTexts(1))
            ::DeleteFileW(file.c_str());
        f.UrlCache.Entries.clear();
        f.HistoryStore.Entries.clear();
        TRegistryStore store(f.Registry, TRegRoot::CurrentUser);
        REQUIRE(store.Open(kTypedUrls, false));
        for (const auto& name : store.ListValueNames())
            store.RemoveValue(name);
        tab.actIEClean_Clean.Execute();
        CHECK(tab.StatusText() == L"0 files/items are cleaned, 0 Byte(s) disk space is released.");
        CHECK(f.Enabling() == kIdleEmpty);
    }
}

TEST_CASE("scans that find nothing") {
    TTabFixture f;
    f.Browse();
    TCleanTab& tab = f.Open();
    SUBCASE("all four unchecked: done at once, nothing to clean") {
        tab.lblClean_SelectNone.PerformClick();
        tab.actIEClean_Scan.Execute();
        CHECK(tab.StatusText() == L"Scanning is completed.");
        for (int i = 0; i < 4; ++i)
            CHECK(f.Category(i).Children.empty());
        CHECK(f.Enabling() == kIdleEmpty);
        CHECK(f.Pump.Count == 0);
    }
    SUBCASE("a checked category with nothing in it keeps its caption and is not cleaned") {
        ::DeleteFileW((f.Cookies + L"user@example[1].txt").c_str());
        ::DeleteFileW((f.Cookies + L"user@other[2].txt").c_str());
        tab.actIEClean_Scan.Execute();
        CHECK(f.Category(1).Text == L"Internet Explorer Cookies");
        CHECK(f.Category(1).Children.empty());
        CHECK(f.Category(1).CheckState == csChecked);
        CHECK(tab.CleanCategorySet() == TIECleanCategories{1, 3, 4});
    }
}

TEST_CASE("items and mixed categories") {
    TTabFixture f;
    f.Browse();
    // A typed address that happens to hold another category's caption.
    f.TypeUrls({L"http://example.com/", L"http://search.example/?q=Internet Explorer History"});
    TCleanTab& tab = f.Open();
    tab.actIEClean_Scan.Execute();
    TCheckNode& cookies = f.Category(1);
    REQUIRE(cookies.Children.size() == 2);

    f.ClickCheckBox(*cookies.Children[0]);
    CHECK(cookies.Children[0]->CheckState == csUnchecked);
    CHECK(cookies.CheckState == csMixed);
    CHECK(f.Shown(cookies) == 3);
    // A category the user wants some of is still wanted.
    CHECK(f.Setting(L"IECookies") == L"1");
    CHECK(tab.CleanCategories[1].CheckState == csChecked);
    CHECK(tab.CleanCategorySet().Contains(IECleanCookies));

    f.ClickCheckBox(*cookies.Children[1]);
    CHECK(cookies.CheckState == csUnchecked);
    CHECK(f.Shown(cookies) == 1);
    CHECK(f.Setting(L"IECookies") == L"0");
    CHECK_FALSE(tab.CleanCategorySet().Contains(IECleanCookies));

    f.ClickCheckBox(*cookies.Children[1]);
    CHECK(cookies.CheckState == csMixed);
    CHECK(f.Setting(L"IECookies") == L"1");
    CHECK(tab.CleanCategorySet().Contains(IECleanCookies));

    SUBCASE("an item's text never changes a category's choice") {
        f.ClickCheckBox(f.Category(3));
        REQUIRE(f.Setting(L"IEHistory") == L"0");
        TCheckNode& addresses = f.Category(2);
        auto it = std::find_if(addresses.Children.begin(), addresses.Children.end(), [](const TCheckNode* n) {
            return n->Text.find(L"search.example") != std::wstring::npos;
        });
        REQUIRE(it != addresses.Children.end());
        // Unticked and ticked again: the history category, named in the item, stays as it is.
        f.ClickCheckBox(**it);
        CHECK(addresses.CheckState == csMixed);
        f.ClickCheckBox(**it);
        CHECK(addresses.CheckState == csChecked);
        CHECK(f.Setting(L"IEAddress") == L"1");
        CHECK(f.Setting(L"IEHistory") == L"0");
        CHECK(tab.CleanCategories[3].CheckState == csUnchecked);
        CHECK(f.Category(3).CheckState == csUnchecked);
    }
    SUBCASE("checking the category again checks every item") {
        f.ClickCheckBox(cookies);
        CHECK(cookies.CheckState == csChecked);
        for (const TCheckNode* item : cookies.Children)
            CHECK(item->CheckState == csChecked);
        CHECK(f.Setting(L"IECookies") == L"1");
    }
    SUBCASE("a category with one item ticked loses that item only") {
        const std::wstring kept = cookies.Children[0]->Text, gone = cookies.Children[1]->Text;
        const TIECleanSelection selection = tab.CleanSelection();
        CHECK(selection.Whole == TIECleanCategories{IECleanTempFiles, IECleanTypedUrls, IECleanHistory});
        REQUIRE(selection.Items.size() == 1);
        CHECK(selection.Items[0].Text == gone);
        CHECK(selection.Items[0].Source == TIECleanSource::File);
        tab.actIEClean_Clean.Execute();
        CHECK(FileExists(kept));
        CHECK_FALSE(FileExists(gone));
        // The remembered choice is what the rebuilt tree shows: the category is wanted.
        CHECK(f.Category(1).CheckState == csChecked);
        tab.actIEClean_Scan.Execute();
        CHECK(f.AllItemTexts() == std::vector<std::wstring>{kept});
    }
    SUBCASE("the next start shows a partly ticked category checked, and scans it") {
        f.Close();
        f.Open();
        CHECK(f.Shown(f.Category(1)) == 2);
        f.Tab->actIEClean_Scan.Execute();
        CHECK(f.Category(1).Children.size() == 2);
        for (const TCheckNode* item : f.Category(1).Children)
            CHECK(item->CheckState == csChecked);
    }
}

TEST_CASE("a clean deletes exactly the ticked items, reports them, and a rescan finds the unticked ones") {
    struct TCase {
        const char* Name;
        std::vector<std::pair<int, std::wstring>> Unticked;  // category position, item text ("@" + name below the cache or cookies)
        const wchar_t* Report;
        std::vector<std::wstring> Settings;  // after the clean
    };
    const TCase cases[] = {
        {"one cookie and one file",
         {{0, L"@Content.IE5\\AB12\\logo[1].png"}, {1, L"@user@example[1].txt"}},
         L"8 files/items are cleaned, 7.32 KB disk space is released.",
         {L"1", L"1", L"1", L"1"}},
        {"one typed address, one cache entry and the history address",
         {{2, L"http://example.org/"}, {3, L"http://example.com/site.css"}, {3, L"Example"}},
         L"7 files/items are cleaned, 3.52 KB disk space is released.",
         {L"1", L"1", L"1", L"1"}},
        {"every item of a category and one of another",
         {{1, L"@user@example[1].txt"}, {1, L"@user@other[2].txt"}, {0, L"@Content.IE5\\CD34\\script[1].js"}},
         L"7 files/items are cleaned, 7.81 KB disk space is released.",
         // A category with none of its items ticked is not wanted.
         {L"1", L"0", L"1", L"1"}},
    };
    for (const auto& c : cases) {
        SUBCASE(c.Name) {
            TTabFixture f;
            f.Browse();
            TCleanTab& tab = f.Open();
            tab.actIEClean_Scan.Execute();
            std::vector<std::wstring> unticked;
            std::set<int> touched;
            for (const auto& [position, name] : c.Unticked) {
                const std::wstring text =
                    name[0] == L'@' ? (position == 0 ? f.Cache : f.Cookies) + name.substr(1) : name;
                unticked.push_back(text);
                touched.insert(position);
                // As the user does it: the mouse on the item's check box.
                f.ClickCheckBox(f.Item(position, text));
                CHECK(f.Item(position, text).CheckState == csUnchecked);
            }
            std::sort(unticked.begin(), unticked.end());
            const TIECleanSelection selection = tab.CleanSelection();
            for (int i = 0; i < 4; ++i)
                CHECK(selection.Whole.Contains(i + 1) == (touched.count(i) == 0));
            for (const auto& item : selection.Items)
                CHECK(std::find(unticked.begin(), unticked.end(), item.Text) == unticked.end());

            // The files still ticked, as the tree shows them.
            std::vector<std::wstring> tickedFiles;
            for (int i = 0; i < 2; ++i)
                for (const TCheckNode* item : f.Category(i).Children)
                    if (item->CheckState == csChecked) tickedFiles.push_back(item->Text);
            const auto untickedFiles = std::count_if(unticked.begin(), unticked.end(), [](const std::wstring& t) {
                return t[0] != L'h' && t != L"Example";
            });
            REQUIRE(tickedFiles.size() == static_cast<size_t>(5 - untickedFiles));

            tab.actIEClean_Clean.Execute();
            CHECK(gBoxes.empty());
            CHECK(tab.StatusText() == Dec(c.Report));
            // On disk: exactly the unticked files stay, every ticked one is gone, and what the walks
            // leave alone is still there.
            for (const auto& text : unticked)
                if (text[0] != L'h' && text != L"Example") CHECK(FileExists(text));
            for (const auto& text : tickedFiles) {
                CAPTURE(sktest::Narrow(text));
                CHECK_FALSE(FileExists(text));
            }
            for (const std::wstring& kept :
                 {f.Cache + L"desktop.ini", f.Cache + L"Content.IE5\\index.dat", f.Cookies + L"index.dat"})
                CHECK(FileExists(kept));
            // A category partly ticked is wanted still; which items were unticked is not remembered.
            CHECK(f.Settings() == c.Settings);
            for (int i = 0; i < 4; ++i) {
                CHECK(f.Category(i).CheckState == (c.Settings[static_cast<size_t>(i)] == L"1" ? csChecked : csUnchecked));
                CHECK(f.Category(i).Children.empty());
            }
            tab.lblClean_SelectAll.PerformClick();
            tab.actIEClean_Scan.Execute();
            CHECK(f.AllItemTexts() == unticked);
            CHECK(f.UrlCache.Contains(L"Cookie:user@example.com/"));
            // Nothing was cleaned as a whole where an item stayed.
            CHECK(f.HistoryStore.Clears == (touched.count(3) ? 0 : 1));
        }
    }
}

TEST_CASE("a scan cut short by Stop: the clean takes only the items shown") {
    TTabFixture f;
    MakeFolder(f.Cache + L"Content.IE5");
    constexpr int kFiles = 300;
    for (int i = 0; i < kFiles; ++i)
        MakeFile(f.Cache + L"Content.IE5\\file" + std::to_wstring(i) + L".htm", 10);
    TCleanTab& tab = f.Open();
    f.Pump.OnPump = [&](int count) {
        if (count == 20) f.PressButton(tab.btnStop);
    };
    tab.actIEClean_Scan.Execute();
    f.Pump.OnPump = nullptr;
    const std::vector<std::wstring> shown = f.ItemTexts(0);
    REQUIRE(shown.size() >= 10);
    REQUIRE(shown.size() < kFiles);
    CHECK(f.Category(0).CheckState == csChecked);
    const TIECleanSelection selection = tab.CleanSelection();
    CHECK(selection.Whole.Empty());
    CHECK(selection.Items.size() == shown.size());

    tab.actIEClean_Clean.Execute();
    CHECK(tab.StatusText() == Fmt(L"%d files/items are cleaned, %s disk space is released.",
                                  static_cast<int>(shown.size()), FormatByteSize(shown.size() * 10)));
    int left = 0;
    for (int i = 0; i < kFiles; ++i) {
        const std::wstring file = f.Cache + L"Content.IE5\\file" + std::to_wstring(i) + L".htm";
        const bool wasShown = std::binary_search(shown.begin(), shown.end(), file);
        CHECK(FileExists(file) != wasShown);
        if (FileExists(file)) ++left;
    }
    CHECK(left == kFiles - static_cast<int>(shown.size()));

    // A full scan again: all ticked, and the category goes as a whole.
    tab.actIEClean_Scan.Execute();
    REQUIRE(f.Category(0).Children.size() == static_cast<size_t>(left));
    CHECK(tab.CleanSelection().Whole == TIECleanCategories{IECleanTempFiles});
}

TEST_CASE("history that can only be cleaned as a whole") {
    TTabFixture f;
    f.Browse();
    f.HistoryStore.Add(L"http://example.net/2", L"Second");
    f.HistoryStore.NoSingleDelete = true;
    TCleanTab& tab = f.Open();
    tab.actIEClean_Scan.Execute();
    CHECK(tab.HistoryWholeOnly());
    CHECK(tab.StatusText() == L"Scanning is completed. On this system the history can only be cleaned as a whole.");
    TCheckNode& history = f.Category(3);
    REQUIRE(history.Children.size() == 4);
    // Disabled check boxes (pictures 4 to 6) that show the category's mark.
    for (const TCheckNode* item : history.Children) {
        CHECK(item->Disabled);
        CHECK(f.Shown(*item) == 5);
    }
    for (int i = 0; i < 3; ++i)
        for (const TCheckNode* item : f.Category(i).Children)
            CHECK_FALSE(item->Disabled);

    // A click on an item's box changes nothing.
    TCheckNode& example = f.Item(3, L"Example");
    f.ClickCheckBox(example);
    CHECK(example.CheckState == csChecked);
    CHECK(history.CheckState == csChecked);

    // The category's box takes its items along.
    f.ClickCheckBox(history);
    CHECK(history.CheckState == csUnchecked);
    CHECK(f.Setting(L"IEHistory") == L"0");
    for (const TCheckNode* item : history.Children) {
        CHECK(item->CheckState == csUnchecked);
        CHECK(f.Shown(*item) == 4);
    }
    CHECK_FALSE(tab.CleanCategorySet().Contains(IECleanHistory));
    CHECK_FALSE(tab.CleanSelection().Whole.Contains(IECleanHistory));
    tab.lblClean_SelectAll.PerformClick();
    for (const TCheckNode* item : history.Children)
        CHECK(f.Shown(*item) == 5);
    tab.lblClean_SelectNone.PerformClick();
    for (const TCheckNode* item : history.Children)
        CHECK(f.Shown(*item) == 4);
    f.Form->lstActionUpdate();  // as the message loop does when it runs out of messages
    CHECK(f.Enabling() == kIdleEmpty);
    f.ClickCheckBox(history);
    CHECK(history.CheckState == csChecked);
    for (const TCheckNode* item : history.Children)
        CHECK(f.Shown(*item) == 5);
    f.Form->lstActionUpdate();

    const TIECleanSelection selection = tab.CleanSelection();
    CHECK(selection.Whole == TIECleanCategories{IECleanHistory});
    CHECK(selection.Items.empty());
    tab.actIEClean_Clean.Execute();
    CHECK(gBoxes.empty());
    // The two cache entries are counted; the store is cleared as a whole.
    CHECK(tab.StatusText() == Dec(L"2 files/items are cleaned, 4.88 KB disk space is released."));
    CHECK(f.HistoryStore.Clears == 1);
    CHECK(f.HistoryStore.Entries.empty());
    CHECK(f.UrlCache.Entries.size() == 1);
    CHECK_FALSE(tab.HistoryWholeOnly());
    // Nothing else was chosen.
    CHECK(FileExists(f.Cookies + L"user@example[1].txt"));

    SUBCASE("a scan that finds no history says nothing of it") {
        tab.actIEClean_Scan.Execute();
        CHECK(f.Category(3).Children.empty());
        CHECK_FALSE(tab.HistoryWholeOnly());
        CHECK(tab.StatusText() == L"Scanning is completed.");
    }
}

TEST_CASE("the system's own history store: whole only as the engine finds it, the rest item by item") {
    // Only in Wine's throwaway prefix: on Windows this would clean the user's real history.
    if (!RunningUnderWine()) return;
    TTabFixture f;
    f.Browse();
    f.EngineHistory = &ComHistoryStore();
    TCleanTab& tab = f.Open();
    tab.actIEClean_Scan.Execute();
    // Wine's store cannot delete one address: the engine says so, and the tab follows.
    CHECK_FALSE(f.Cleaner->HistoryPerItem);
    CHECK(tab.HistoryWholeOnly());
    CHECK(tab.StatusText() == L"Scanning is completed. On this system the history can only be cleaned as a whole.");
    TCheckNode& history = f.Category(3);
    REQUIRE_FALSE(history.Children.empty());
    for (const TCheckNode* item : history.Children)
        CHECK(item->Disabled);

    // One cookie unticked beside it: the cookies go one by one, the history as a whole.
    const std::wstring kept = f.Cookies + L"user@example[1].txt", gone = f.Cookies + L"user@other[2].txt";
    f.ClickCheckBox(f.Item(1, kept));
    REQUIRE(f.Category(1).CheckState == csMixed);
    const TIECleanSelection selection = tab.CleanSelection();
    CHECK(selection.Whole == TIECleanCategories{IECleanTempFiles, IECleanTypedUrls, IECleanHistory});
    REQUIRE(selection.Items.size() == 1);
    CHECK(selection.Items[0].Text == gone);

    tab.actIEClean_Clean.Execute();
    CHECK(gBoxes.empty());
    // Three cache files, one cookie, two typed addresses and the two history entries of the URL cache.
    CHECK(tab.StatusText() == Dec(L"8 files/items are cleaned, 8.30 KB disk space is released."));
    CHECK(FileExists(kept));
    CHECK_FALSE(FileExists(gone));
    CHECK_FALSE(f.UrlCache.Contains(L"http://example.com/site.css"));
    CHECK_FALSE(f.UrlCache.Contains(L"Visited: user@http://example.com/"));
    tab.actIEClean_Scan.Execute();
    CHECK(f.AllItemTexts() == std::vector<std::wstring>{kept});
}

TEST_CASE("the notice that a clean cannot be undone") {
    TTabFixture f;
    f.Browse();
    TCleanTab& tab = f.Open();
    CHECK(tab.lblCleanNotice.Caption() == L"Cleaning cannot be undone: what it deletes is gone.");
    CHECK_FALSE(tab.lblCleanNotice.Visible());
    tab.actIEClean_Scan.Execute();
    CHECK(tab.lblCleanNotice.Visible());
    // Between the links and the buttons, its text in full.
    CHECK(tab.lblCleanNotice.Left() >= tab.lblClean_SelectNone.Left() + tab.lblClean_SelectNone.Width());
    RECT scan{};
    ::GetWindowRect(tab.btnScanIETemp.Handle(), &scan);
    ::MapWindowPoints(nullptr, tab.Panel(), reinterpret_cast<POINT*>(&scan), 2);
    CHECK(tab.lblCleanNotice.Left() + tab.lblCleanNotice.Width() <= scan.left);
    {
        TWindowDC dc(tab.Panel());
        TSelectObject font(dc.Get(), tab.lblCleanNotice.Font().Handle());
        SIZE text{};
        const std::wstring& caption = tab.lblCleanNotice.Caption();
        ::GetTextExtentPoint32W(dc.Get(), caption.c_str(), static_cast<int>(caption.size()), &text);
        CHECK(text.cx <= tab.lblCleanNotice.Width());
    }
    // Nothing ticked: nothing to warn about. (The actions follow when the message loop runs out of
    // messages.)
    tab.lblClean_SelectNone.PerformClick();
    f.Form->lstActionUpdate();
    CHECK_FALSE(tab.lblCleanNotice.Visible());
    f.ClickCheckBox(*f.Category(1).Children[0]);
    f.Form->lstActionUpdate();
    CHECK(tab.lblCleanNotice.Visible());
    tab.actIEClean_Clean.Execute();
    CHECK_FALSE(tab.lblCleanNotice.Visible());
}

TEST_CASE("a long scan shows the tree growing while it runs") {
    TTabFixture f;
    MakeFolder(f.Cache + L"Content.IE5");
    constexpr int kFiles = 300;
    for (int i = 0; i < kFiles; ++i)
        MakeFile(f.Cache + L"Content.IE5\\file" + std::to_wstring(i) + L".htm", 10);
    TCleanTab& tab = f.Open();
    // What the tree view itself holds for the first category, read while the scan runs slowly.
    std::vector<std::wstring> shown;
    f.Pump.OnPump = [&](int) {
        ::Sleep(3);
        wchar_t text[256] = {};
        TVITEMW item{};
        item.mask = TVIF_TEXT | TVIF_HANDLE;
        item.hItem = f.Category(0).Item;
        item.pszText = text;
        item.cchTextMax = 256;
        TreeView_GetItem(tab.tvIEClean.Handle(), &item);
        if (shown.empty() || shown.back() != text) shown.push_back(text);
    };
    tab.actIEClean_Scan.Execute();
    f.Pump.OnPump = nullptr;
    // The plain caption, then counts that grow before the scan is over.
    REQUIRE(shown.size() >= 2);
    CHECK(shown.front() == L"Internet Explorer Temporary Files");
    CHECK(shown[1].rfind(L"Internet Explorer Temporary Files[", 0) == 0);
    CHECK(shown.back() != L"Internet Explorer Temporary Files[300 files,2.93 KB]");
    CHECK(f.Category(0).Text == Dec(L"Internet Explorer Temporary Files[300 files,2.93 KB]"));
    wchar_t text[256] = {};
    TVITEMW item{};
    item.mask = TVIF_TEXT | TVIF_HANDLE;
    item.hItem = f.Category(0).Item;
    item.pszText = text;
    item.cchTextMax = 256;
    TreeView_GetItem(tab.tvIEClean.Handle(), &item);
    CHECK(std::wstring(text) == f.Category(0).Text);
}

TEST_CASE("Stop during a clean") {
    TTabFixture f;
    MakeFolder(f.Cache + L"Content.IE5");
    constexpr int kFiles = 300;
    for (int i = 0; i < kFiles; ++i)
        MakeFile(f.Cache + L"Content.IE5\\file" + std::to_wstring(i) + L".htm", 10);
    TCleanTab& tab = f.Open();
    tab.actIEClean_Scan.Execute();
    REQUIRE(f.Category(0).Children.size() == kFiles);

    // The user presses Stop while the files go.
    f.Pump.Count = 0;
    f.Pump.OnPump = [&](int count) {
        if (count == 20) f.PressButton(tab.btnStop);
    };
    tab.actIEClean_Clean.Execute();
    f.Pump.OnPump = nullptr;

    int left = 0;
    for (int i = 0; i < kFiles; ++i)
        if (FileExists(f.Cache + L"Content.IE5\\file" + std::to_wstring(i) + L".htm")) ++left;
    const int deleted = kFiles - left;
    CHECK(deleted >= 10);  // the walk also lets messages run at folders
    CHECK(deleted < kFiles);
    CHECK(tab.StatusText() ==
          Fmt(L"%d files/items are cleaned, %s disk space is released.", deleted, FormatByteSize(deleted * 10ull)));
    for (int i = 0; i < 4; ++i)
        CHECK(f.Category(i).Children.empty());
    CHECK(f.Enabling() == kIdleEmpty);
    CHECK_FALSE(tab.CleanBusy);
    CHECK(gBoxes.empty());
}

TEST_CASE("an error during an operation is shown, and the tab is idle again") {
    TTabFixture f;
    f.Browse();
    f.HistoryStore.FailConnect = true;
    TCleanTab& tab = f.Open();

    tab.actIEClean_Scan.Execute();
    CHECK(gBoxes == std::vector<std::wstring>{L"Class not registered."});
    CHECK_FALSE(tab.CleanBusy);
    CHECK(f.Enabling() == kIdleFound);
    CHECK(tab.StatusText() == L"Scanning is completed.");
    // What was found before the error stays.
    CHECK(f.Category(0).Children.size() == 3);
    CHECK(f.Category(3).Children.size() == 2);
    CHECK(f.Category(3).Text == Dec(L"Internet Explorer History[2 files,4.88 KB]"));

    gBoxes.clear();
    tab.actIEClean_Clean.Execute();
    CHECK(gBoxes == std::vector<std::wstring>{L"Class not registered."});
    CHECK_FALSE(tab.CleanBusy);
    CHECK(f.Enabling() == kIdleEmpty);
    CHECK(tab.StatusText() == Dec(L"9 files/items are cleaned, 8.40 KB disk space is released."));
    for (int i = 0; i < 4; ++i)
        CHECK(f.Category(i).Children.empty());
    CHECK_FALSE(FileExists(f.Cookies + L"user@example[1].txt"));
}

TEST_CASE("a settings file that cannot be written") {
    TTabFixture f;
    TCleanTab& tab = f.Open();
    const std::wstring message = L"Unable to write to " + ConfigFileName + L".";
    // Another program holds the file open and shares it with nobody.
    THandle lock(::CreateFileW(ConfigFileName.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    REQUIRE(lock);

    SUBCASE("a click on a category: one error, and the mark stays as the file has it") {
        f.ClickCheckBox(f.Category(1));
        CHECK(gBoxes == std::vector<std::wstring>{message});
        CHECK(f.Category(1).CheckState == csChecked);
        CHECK(f.Shown(f.Category(1)) == 2);
        CHECK(tab.CleanCategories[1].CheckState == csChecked);
        lock.Reset();
        CHECK(f.Settings() == std::vector<std::wstring>{L"1", L"1", L"1", L"1"});
    }
    SUBCASE("Select None: one error, nothing changes") {
        tab.lblClean_SelectNone.PerformClick();
        CHECK(gBoxes == std::vector<std::wstring>{message});
        for (int i = 0; i < 4; ++i)
            CHECK(f.Category(i).CheckState == csChecked);
        lock.Reset();
        CHECK(f.Settings() == std::vector<std::wstring>{L"1", L"1", L"1", L"1"});
    }
    SUBCASE("the next start: one error, and all four categories are there") {
        f.Close();
        f.Open();
        CHECK(gBoxes == std::vector<std::wstring>{message});
        REQUIRE(f.Tab->tvIEClean.TopLevel().size() == 4);
        for (int i = 0; i < 4; ++i)
            CHECK(f.Category(i).CheckState == csChecked);
        CHECK(f.Enabling() == kIdleEmpty);
    }
    SUBCASE("a scan still runs, and the error comes after it") {
        lock.Reset();
        f.Browse();
        lock.Reset(::CreateFileW(ConfigFileName.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        tab.actIEClean_Scan.Execute();
        CHECK(gBoxes == std::vector<std::wstring>{message});
        CHECK(f.Category(0).Children.size() == 3);
        CHECK(tab.StatusText() == L"Scanning is completed.");
        CHECK(f.Enabling() == kIdleFound);
    }
    SUBCASE("a clean still empties the tree") {
        lock.Reset();
        f.Browse();
        tab.actIEClean_Scan.Execute();
        REQUIRE(f.Category(1).Children.size() == 2);
        lock.Reset(::CreateFileW(ConfigFileName.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        tab.actIEClean_Clean.Execute();
        CHECK(gBoxes == std::vector<std::wstring>{message});
        for (int i = 0; i < 4; ++i)
            CHECK(f.Category(i).Children.empty());
        CHECK(tab.StatusText() == Dec(L"10 files/items are cleaned, 8.40 KB disk space is released."));
        CHECK(f.Enabling() == kIdleEmpty);
    }
}

TEST_CASE("closing the window stops a running scan") {
    TTabFixture f;
    MakeFolder(f.Cache + L"Content.IE5");
    for (int i = 0; i < 200; ++i)
        MakeFile(f.Cache + L"Content.IE5\\file" + std::to_wstring(i) + L".htm", 10);
    TCleanTab& tab = f.Open();
    f.Pump.OnPump = [&](int count) {
        if (count == 10) ::PostMessageW(f.Form->Handle(), WM_CLOSE, 0, 0);
    };
    tab.actIEClean_Scan.Execute();
    f.Pump.OnPump = nullptr;
    CHECK(f.Pump.Count < 100);
    CHECK_FALSE(tab.CleanBusy);
    CHECK(f.Form->Handle() == nullptr);
    CHECK(gBoxes.empty());
    // The quit request is left for the main loop; this test has none.
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {}
}
