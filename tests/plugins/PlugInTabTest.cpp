// The Plug-ins tab in the real main window under Xvfb: the listing as the tree shows it, ticking by
// mouse, keyboard and the select links, the clean of context-menu extensions and COM add-ons (one
// registry view at a time) with the fresh listing after it, the report, and errors of the engine.
// Most cases run on the in-memory registry; the last one on the Wine registry.
#include "MessageBoxRecorder.h"
#include "PlugInTestSupport.h"
#include "UiTestSupport.h"

#include <commctrl.h>

#include <algorithm>

#include "base/Handles.h"
#include "base/Paths.h"
#include "base/Settings.h"
#include "base/StringTable.h"
#include "app/FormSurfkeep.h"
#include "controls/KWPicture.h"
#include "plugins/PlugInRemoval.h"
#include "plugins/ui/PlugInTab.h"
#include "registry/RestoreStore.h"
#include "repair/ui/RepairTab.h"

using namespace sk;
using sktest::TAddOnSetup;
using sktest::TestGuid;

namespace {

const TRegView Native = TRegView::Native, Wow32 = TRegView::Wow32;
const TRegRoot HKCU = TRegRoot::CurrentUser, HKLM = TRegRoot::LocalMachine;

// The texts of the boxes shown (recorded by the fixture's TMessageBoxRecorder).
std::vector<std::wstring>& gBoxes = sktest::TMessageBoxRecorder::Texts();

// Passes everything through, and lets the test look at the window whenever the engine reaches the
// registry (that is, in the middle of a listing or a clean).
class TSpyBackend final : public TRegistryBackend {
public:
    explicit TSpyBackend(TRegistryBackend& inner) : FInner(inner) {}
    std::unique_ptr<TRegistryKey> OpenKey(TRegRoot root, TRegView view, const std::wstring& path,
                                          bool create) override {
        if (OnOpen) OnOpen();
        return FInner.OpenKey(root, view, path, create);
    }
    std::function<void()> OnOpen;

private:
    TRegistryBackend& FInner;
};

std::wstring ToolbarLine(const std::wstring& clsid) { return L"Browser Helper Object: " + clsid; }

// The tab in the main window, with a registry of its own.
struct TTabFixture {
    sktest::TMessageBoxRecorder Boxes;
    sktest::TTempDir Dir;
    TMemoryRegistryBackend Registry;
    TMemoryRegistryBackend RepairRegistry;
    TSpyBackend Spy{Registry};
    sktest::TFakePlugInFiles Files;  // the add-ons' DLLs, and what was moved of them
    TIEPlugInCleaner Cleaner{Spy, Dir / L"backup\\plugins", Files};
    sktest::TRegFixture Fixture{Registry};
    std::unique_ptr<TfrmSurfkeep> Form;
    TPlugInTab* Tab = nullptr;

    TTabFixture() {
        ResetStringTable();
        LoadSettingsFor(Dir / L"surfkeep.exe");
    }
    ~TTabFixture() { Close(); }
    void Close() {
        Form.reset();
        Tab = nullptr;
    }

    // The main window with the tab on this fixture's cleaner or another one.
    TPlugInTab& Open(TIEPlugInCleaner* cleaner = nullptr) {
        TfrmSurfkeepArgs args;
        args.RepairTab = std::make_unique<TRepairTab>(RepairRegistry);
        auto tab = std::make_unique<TPlugInTab>(cleaner ? *cleaner : Cleaner);
        Tab = tab.get();
        args.Others.push_back(std::move(tab));
        Form = std::make_unique<TfrmSurfkeep>(std::move(args));
        REQUIRE(Form->Create());
        Form->Show();
        Form->pgcMain().Select(1);
        sktest::PumpFor(30);
        return *Tab;
    }

    TCheckNode& Group(size_t position) {
        REQUIRE(Tab->tvPlugIn.TopLevel().size() == 2);
        return *Tab->tvPlugIn.TopLevel()[position];
    }
    // The level-2 node of a group with this text (the first of them).
    TCheckNode& Item(size_t group, const std::wstring& text) {
        TCheckNode* found = nullptr;
        for (TCheckNode* node : Group(group).Children)
            if (!found && node->Text == text) found = node;
        REQUIRE(found);
        return *found;
    }
    const TIEPlugInInfo& Record(const TCheckNode& node) {
        const auto* record = std::any_cast<TIEPlugInInfo>(&node.Data);
        REQUIRE(record);
        return *record;
    }
    // The COM add-on node listed from this view with this CLSID and source.
    TCheckNode& AddOn(const std::wstring& clsid, TRegView view, TPlugInSource source) {
        TCheckNode* found = nullptr;
        for (TCheckNode* node : Group(1).Children) {
            const TIEPlugInInfo& r = Record(*node);
            if (!found && r.BHOInfo.CLSID == clsid && r.View == view && r.Source == source) found = node;
        }
        REQUIRE(found);
        return *found;
    }

    // What the tree view shows, one line per item in display order: "v" expanded or ">" collapsed
    // for items with children, the check box ("[ ]", "[x]", "[-]", or nothing) and the text.
    std::wstring Shown() const {
        HWND tree = Tab->tvPlugIn.Handle();
        std::wstring out;
        const std::function<void(HTREEITEM, int)> walk = [&](HTREEITEM item, int depth) {
            for (; item; item = TreeView_GetNextSibling(tree, item)) {
                wchar_t text[512] = {};
                TVITEMW tvi{};
                tvi.mask = TVIF_TEXT | TVIF_STATE | TVIF_CHILDREN | TVIF_HANDLE;
                tvi.hItem = item;
                tvi.stateMask = TVIS_STATEIMAGEMASK | TVIS_EXPANDED;
                tvi.pszText = text;
                tvi.cchTextMax = 512;
                TreeView_GetItem(tree, &tvi);
                const bool parent = TreeView_GetChild(tree, item) != nullptr;
                out += std::wstring(static_cast<size_t>(depth) * 2, L' ');
                out += !parent ? L"  " : (tvi.state & TVIS_EXPANDED) ? L"v " : L"> ";
                static const wchar_t* const boxes[] = {L"", L"[ ] ", L"[x] ", L"[-] "};
                out += boxes[((tvi.state & TVIS_STATEIMAGEMASK) >> 12) & 3];
                out += text;
                out += L"\n";
                walk(TreeView_GetChild(tree, item), depth + 1);
            }
        };
        walk(TreeView_GetRoot(tree), 0);
        return out;
    }

    // A mouse click on a node's check box, as the user makes it.
    void ClickCheckBox(TCheckNode& node) {
        HWND tree = Tab->tvPlugIn.Handle();
        for (TCheckNode* up = node.Parent; up; up = up->Parent) Tab->tvPlugIn.Expand(*up, true);
        TreeView_EnsureVisible(tree, node.Item);
        const POINT box = sktest::TreeCheckBoxPoint(tree, node.Item);
        REQUIRE(box.x >= 0);
        const int x = box.x, y = box.y;
        const TCheckState before = node.CheckState;
        ::PostMessageW(tree, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
        ::PostMessageW(tree, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
        sktest::PumpUntil([&] { return node.CheckState != before; }, 2000);
    }
    void PressButton(const TKivImageButton& button) {
        ::PostMessageW(button.Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
        ::PostMessageW(button.Handle(), WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    }
};

// Two context-menu extensions and COM add-ons: a toolbar that is also a browser helper object, a
// helper object with no class registration, and one CLSID registered in both views.
struct TScene : TTabFixture {
    const std::wstring MenuExport = L"E&xport to Acme Sheet", MenuTranslate = L"&Translate with Acme";
    // Fields: CLSID, name, file, ProgID, version-independent ProgID, TypeLib, AppID, AppID module,
    // toolbar, BHO, view, has a class key.
    TAddOnSetup Toolbar{TestGuid(1), L"Acme Toolbar", L"C:\\Program Files\\Acme\\acme.dll", L"Acme.Toolbar.1",
                       L"Acme.Toolbar", TestGuid(0x11), TestGuid(0x21), L"acme.exe", true, true};
    TAddOnSetup NoClass{TestGuid(2), L"", L"", L"", L"", L"", L"", L"acme.exe", false, true, Native, false};
    TAddOnSetup Both64{TestGuid(3), L"Acme Both", L"C:\\Acme\\both64.dll", L"Acme.Both.1", L"", L"", L"",
                      L"acme.exe", false, true};
    TAddOnSetup Both32{TestGuid(3), L"Acme Both (32-bit)", L"C:\\Acme\\both32.dll", L"Acme.Both32.1", L"", L"", L"",
                      L"acme.exe", false, true, Wow32};

    TScene() {
        Fixture.AddMenuExtension(MenuExport);
        Fixture.AddMenuExtension(MenuTranslate);
        for (const auto* a : {&Toolbar, &NoClass, &Both64, &Both32}) Fixture.AddAddOn(*a);
        Files.Files = {Toolbar.FileName, Both64.FileName, Both32.FileName};
    }

    std::wstring Snapshot() { return sktest::Snapshot(Registry, Fixture.Places()); }
    bool MenuExtensionThere(const std::wstring& name) {
        return sktest::KeyExists(Registry, HKCU, Native, std::wstring(kMenuExtPath) + L"\\" + name);
    }
    bool HelperThere(const TAddOnSetup& a) {
        return sktest::KeyExists(Registry, HKLM, a.View, std::wstring(kBHOPath) + L"\\" + a.Clsid);
    }
    bool ClassThere(const TAddOnSetup& a) {
        return sktest::KeyExists(Registry, HKLM, a.View, std::wstring(kClassesCLSIDPath) + L"\\" + a.Clsid);
    }

    std::wstring Listing() const {
        const std::wstring g1 = TestGuid(1), g2 = TestGuid(2), g3 = TestGuid(3);
        return L"v [ ] Plug-Ins in IE Context Menu[2 items]\n"
               L"    [ ] &Translate with Acme\n"
               L"    [ ] E&xport to Acme Sheet\n"
               L"v [ ] Plug-Ins on IE Toolbar[5 items]\n"
               L"  > [ ] Acme Toolbar\n"
               L"      File: C:\\Program Files\\Acme\\acme.dll\n"
               L"      Application ID: " + TestGuid(0x21) + L"\n"
               L"      Com Object: Acme.Toolbar.1\n"
               L"      Browser Helper Object: " + g1 + L"\n"
               L"  > [ ] Acme Toolbar\n"
               L"      File: C:\\Program Files\\Acme\\acme.dll\n"
               L"      Application ID: " + TestGuid(0x21) + L"\n"
               L"      Com Object: Acme.Toolbar.1\n"
               L"      Browser Helper Object: " + g1 + L"\n"
               L"  > [ ] \n"
               L"      File: \n"
               L"      Application ID: \n"
               L"      Com Object: \n"
               L"      Browser Helper Object: " + g2 + L"\n"
               L"  > [ ] Acme Both\n"
               L"      File: C:\\Acme\\both64.dll\n"
               L"      Application ID: \n"
               L"      Com Object: Acme.Both.1\n"
               L"      Browser Helper Object: " + g3 + L"\n"
               L"  > [ ] Acme Both (32-bit)\n"
               L"      File: C:\\Acme\\both32.dll\n"
               L"      Application ID: \n"
               L"      Com Object: Acme.Both32.1\n"
               L"      Browser Helper Object: " + g3 + L"\n";
    }
};

// "left,top,width,height" of a child window within its parent.
std::wstring Bounds(HWND wnd) {
    RECT r{};
    ::GetWindowRect(wnd, &r);
    ::MapWindowPoints(HWND_DESKTOP, ::GetParent(wnd), reinterpret_cast<POINT*>(&r), 2);
    return std::to_wstring(r.left) + L"," + std::to_wstring(r.top) + L"," + std::to_wstring(r.right - r.left) + L"," +
           std::to_wstring(r.bottom - r.top);
}

// One line per entry: its text, and " @native" or " @32" when it is limited to a view.
std::wstring Lines(const TPlugInSelection& selection) {
    std::wstring out;
    for (const auto& e : selection)
        out += e.Name + (!e.View ? L"" : *e.View == TRegView::Wow32 ? L" @32" : L" @native") + L"\n";
    return out;
}

}  // namespace

TEST_CASE("the first listing: groups with counts, entries, detail lines, texts and places") {
    TScene s;
    TPlugInTab& tab = s.Open();
    CHECK(gBoxes.empty());
    CHECK(s.Shown() == s.Listing());

    // Check boxes: tri-state groups, plain entries, none on the detail lines.
    for (size_t g = 0; g < 2; ++g) {
        CHECK(s.Group(g).CheckType == ctTriState);
        for (const TCheckNode* item : s.Group(g).Children) {
            CHECK(item->CheckType == ctCheckBox);
            for (const TCheckNode* line : item->Children) CHECK(line->CheckType == ctNone);
        }
    }
    CHECK(s.Record(s.AddOn(TestGuid(3), Wow32, TPlugInSource::BrowserHelperObject)).Name == L"Acme Both (32-bit)");

    CHECK(tab.Caption() == L"Plug-ins");
    CHECK(s.Form->pgcMain().Caption(1) == L"Plug-ins");
    CHECK(tab.btnIEPlugIn_Scan.Caption() == L"Refresh");
    CHECK(tab.btnIEPlugIn_Clean.Caption() == L"Clean");
    CHECK(tab.lblPlugIn_SelectAll.Caption() == L"Select All");
    CHECK(tab.lblPlugIn_SelectNone.Caption() == L"Select None");
    CHECK(tab.StatusText().empty());
    CHECK(tab.lblPlugIn_Status.Caption().empty());
    for (const TAction* a : {&tab.actPlugIn_Refresh, &tab.actPlugIn_Clean, &tab.actPlugIn_SelectAll,
                             &tab.actPlugIn_SelectNone})
        CHECK(a->Enabled());

    CHECK(Bounds(tab.tvPlugIn.Handle()) == L"3,0,744,330");
    CHECK(Bounds(tab.btnIEPlugIn_Scan.Handle()) == L"591,343,75,26");
    CHECK(Bounds(tab.btnIEPlugIn_Clean.Handle()) == L"672,343,75,26");
    CHECK(tab.lblPlugIn_SelectAll.Left() == 3);
    CHECK(tab.lblPlugIn_SelectAll.Top() == 337);
    CHECK(tab.lblPlugIn_SelectNone.Left() == 60);
    CHECK(tab.lblPlugIn_SelectNone.Top() == 337);
    CHECK(tab.lblPlugIn_Status.Left() == 3);
    CHECK(tab.lblPlugIn_Status.Top() == 357);

    // As the user sees it: an add-on opened, two ticked.
    s.ClickCheckBox(s.Item(0, s.MenuTranslate));
    s.ClickCheckBox(s.AddOn(TestGuid(3), Native, TPlugInSource::BrowserHelperObject));
    tab.tvPlugIn.Expand(s.AddOn(TestGuid(1), Native, TPlugInSource::Toolbar), true);
    sktest::PumpFor(50);
    // The tree shows it so: the two ticks, both groups partly ticked, the toolbar's details open.
    std::wstring seen = s.Listing();
    auto mark = [&seen](const std::wstring& from, const std::wstring& to) {
        const size_t at = seen.find(from);
        REQUIRE(at != std::wstring::npos);
        seen.replace(at, from.size(), to);
    };
    mark(L"v [ ] Plug-Ins in IE Context Menu", L"v [-] Plug-Ins in IE Context Menu");
    mark(L"    [ ] &Translate", L"    [x] &Translate");
    mark(L"v [ ] Plug-Ins on IE Toolbar", L"v [-] Plug-Ins on IE Toolbar");
    mark(L"  > [ ] Acme Toolbar\n", L"  v [ ] Acme Toolbar\n");
    mark(L"  > [ ] Acme Both\n", L"  > [x] Acme Both\n");
    CHECK(s.Shown() == seen);
}

TEST_CASE("nothing registered: both groups say 0 items and hold nothing") {
    TTabFixture f;
    SUBCASE("no keys at all") {}
    SUBCASE("empty keys") {
        f.Fixture.MakeKey(HKCU, Native, kMenuExtPath);
        f.Fixture.MakeKey(HKLM, Native, kToolbarPath);
        f.Fixture.MakeKey(HKLM, Wow32, kBHOPath);
    }
    TPlugInTab& tab = f.Open();
    CHECK(f.Shown() == L"  [ ] Plug-Ins in IE Context Menu[0 items]\n  [ ] Plug-Ins on IE Toolbar[0 items]\n");
    CHECK(tab.CollectPlugInSelection().empty());
    tab.actPlugIn_SelectAll.Execute();
    CHECK(f.Shown() == L"  [x] Plug-Ins in IE Context Menu[0 items]\n  [x] Plug-Ins on IE Toolbar[0 items]\n");
    CHECK(tab.CollectPlugInSelection().empty());
}

TEST_CASE("ticking: links, group boxes, entries and detail lines") {
    TScene s;
    TPlugInTab& tab = s.Open();
    const std::wstring g1 = TestGuid(1), g2 = TestGuid(2), g3 = TestGuid(3);

    SUBCASE("Select All ticks everything and selects every entry once; Select None takes it back") {
        tab.lblPlugIn_SelectAll.PerformClick();
        std::wstring all = s.Listing();
        for (size_t at = all.find(L"[ ]"); at != std::wstring::npos; at = all.find(L"[ ]", at)) all[at + 1] = L'x';
        CHECK(s.Shown() == all);
        // The toolbar that is also a helper object is named once: it is one registration.
        const TPlugInKind menu = TPlugInKind::MenuExtension, com = TPlugInKind::ComAddOn;
        const TPlugInSelection expected = {{menu, s.MenuTranslate, std::nullopt}, {menu, s.MenuExport, std::nullopt},
                                           {com, g1, Native}, {com, g2, Native}, {com, g3, Native}, {com, g3, Wow32}};
        CHECK(Lines(tab.CollectPlugInSelection()) == Lines(expected));
        tab.lblPlugIn_SelectNone.PerformClick();
        CHECK(s.Shown() == s.Listing());
        CHECK(tab.CollectPlugInSelection().empty());
        CHECK(gBoxes.empty());
    }
    SUBCASE("a group's box ticks its entries; unticking one leaves the group mixed") {
        s.ClickCheckBox(s.Group(1));
        for (const TCheckNode* item : s.Group(1).Children) CHECK(item->CheckState == csChecked);
        CHECK(s.Group(0).CheckState == csUnchecked);
        s.ClickCheckBox(s.AddOn(g2, Native, TPlugInSource::BrowserHelperObject));
        CHECK(s.Group(1).CheckState == csMixed);
        CHECK(s.Shown().find(L"v [-] Plug-Ins on IE Toolbar[5 items]\n") != std::wstring::npos);
        const TPlugInKind com = TPlugInKind::ComAddOn;
        const TPlugInSelection expected = {{com, g1, Native}, {com, g3, Native}, {com, g3, Wow32}};
        CHECK(Lines(tab.CollectPlugInSelection()) == Lines(expected));
    }
    SUBCASE("an add-on is chosen by its own line, in its own view; a detail line cannot be ticked") {
        TCheckNode& both32 = s.AddOn(g3, Wow32, TPlugInSource::BrowserHelperObject);
        tab.tvPlugIn.Expand(both32, true);
        TCheckNode& line = *both32.Children[3];
        REQUIRE(line.Text == ToolbarLine(g3));
        // The Space key on a detail line does nothing.
        TreeView_SelectItem(tab.tvPlugIn.Handle(), line.Item);
        ::PostMessageW(tab.tvPlugIn.Handle(), WM_KEYDOWN, VK_SPACE, 0);
        sktest::PumpFor(50);
        CHECK(both32.CheckState == csUnchecked);
        CHECK(tab.CollectPlugInSelection().empty());
        // The Space key on the add-on ticks it.
        TreeView_SelectItem(tab.tvPlugIn.Handle(), both32.Item);
        ::PostMessageW(tab.tvPlugIn.Handle(), WM_KEYDOWN, VK_SPACE, 0);
        sktest::PumpUntil([&] { return both32.CheckState == csChecked; }, 2000);
        CHECK(Lines(tab.CollectPlugInSelection()) == g3 + L" @32\n");
        CHECK(s.Group(1).CheckState == csMixed);
    }
}

TEST_CASE("a translation: its captions and counts, and an add-on still chosen by its CLSID line alone") {
    TScene s;
    // The helper-object label also occurs inside the application-ID label.
    IDS_IEPLUGIN_BHO = L"ID: ";
    IDS_IEPLUGIN_BHOAppID = L"App ID: ";
    IDS_IEPLUGIN_ContextMenu = L"Menu add-ons";
    IDS_IEPLUGIN_BHOPlugIn = L"Toolbar add-ons";
    IDS_IEPLUGIN_ItemCount = L" (%d)";
    IDS_SURFKEEP_SelectAll = L"Select every add-on";
    TPlugInTab& tab = s.Open();
    CHECK(s.Group(0).Text == L"Menu add-ons (2)");
    CHECK(s.Group(1).Text == L"Toolbar add-ons (5)");
    TCheckNode& toolbar = s.AddOn(TestGuid(1), Native, TPlugInSource::Toolbar);
    CHECK(toolbar.Children[1]->Text == L"App ID: " + TestGuid(0x21));
    s.ClickCheckBox(toolbar);
    CHECK(Lines(tab.CollectPlugInSelection()) == TestGuid(1) + L" @native\n");
    // The second link moves aside for the longer first one.
    CHECK(tab.lblPlugIn_SelectNone.Left() >= tab.lblPlugIn_SelectAll.Left() + tab.lblPlugIn_SelectAll.Width() + 3);
    tab.actPlugIn_Clean.Execute();
    CHECK(s.Group(1).Text == L"Toolbar add-ons (3)");
    ResetStringTable();
}

TEST_CASE("clean: what goes, the report, and the listing after it") {
    TScene s;
    TPlugInTab& tab = s.Open();
    const std::wstring g1 = TestGuid(1), g3 = TestGuid(3);
    std::vector<std::wstring> statuses;  // the status line whenever the engine reached the registry
    s.Spy.OnOpen = [&] {
        if (statuses.empty() || statuses.back() != tab.StatusText()) statuses.push_back(tab.StatusText());
        CHECK(tab.lblPlugIn_Status.Caption() == tab.StatusText());
    };

    SUBCASE("a context-menu extension") {
        s.ClickCheckBox(s.Item(0, s.MenuExport));
        s.PressButton(tab.btnIEPlugIn_Clean);
        sktest::PumpUntil([&] { return s.Group(0).Children.size() == 1; }, 5000);
        CHECK_FALSE(s.MenuExtensionThere(s.MenuExport));
        CHECK(s.MenuExtensionThere(s.MenuTranslate));
        CHECK(std::find(statuses.begin(), statuses.end(), L"Cleaning: " + s.MenuExport) != statuses.end());
        // The report stays over the listing that follows; its hint names the file that undoes it.
        CHECK(tab.StatusText() == L"1 plugs-in are cleaned!");
        CHECK(tab.lblPlugIn_Status.Caption() == L"1 plugs-in are cleaned!");
        CHECK_FALSE(s.Cleaner.BackupFileName.empty());
        CHECK(tab.lblPlugIn_Status.Hint() == s.Cleaner.BackupFileName);
        CHECK(FileExists(s.Cleaner.BackupFileName));
        // No DLL, no report box. The removal has its restore point beside the program.
        CHECK(gBoxes.empty());
        const auto points = ProgramRestoreStore().List();
        REQUIRE(points.size() == 1);
        CHECK(points[0].Id == tab.LastRestorePointId());
        CHECK(PathIsWithin(ProgramRestoreStore().PointFolder(points[0].Id), s.Dir / L"backup\\restore"));
        CHECK(points[0].State == TRestoreState::Complete);
        CHECK(points[0].Operation == L"plugin-removal");
        CHECK(points[0].Title == L"Plug-ins");
        CHECK(points[0].Items == std::vector<std::wstring>{s.MenuExport});
        REQUIRE(points[0].Rows.size() == 1);
        CHECK(points[0].Rows[0].Label == L"1 plugs-in are cleaned!");
        std::wstring after = s.Listing();
        after.replace(after.find(L"[2 items]"), 9, L"[1 items]");
        after.erase(after.find(L"    [ ] E&xport"), std::wstring(L"    [ ] E&xport to Acme Sheet\n").size());
        CHECK(s.Shown() == after);
        CHECK(s.Files.Moved.empty());

        SUBCASE("a refresh clears the report") {
            s.PressButton(tab.btnIEPlugIn_Scan);
            sktest::PumpUntil([&] { return tab.StatusText().empty(); }, 5000);
            CHECK(tab.lblPlugIn_Status.Caption().empty());
            CHECK(tab.lblPlugIn_Status.Hint().empty());
            CHECK(s.Shown() == after);
            CHECK(std::find(statuses.begin(), statuses.end(), L"Scanning: Plug-Ins in IE Context Menu") !=
                  statuses.end());
        }
    }
    SUBCASE("a COM add-on registered in two views goes from the ticked view only") {
        s.ClickCheckBox(s.AddOn(g3, Wow32, TPlugInSource::BrowserHelperObject));
        tab.actPlugIn_Clean.Execute();
        CHECK_FALSE(s.HelperThere(s.Both32));
        CHECK_FALSE(s.ClassThere(s.Both32));
        CHECK(s.HelperThere(s.Both64));
        CHECK(s.ClassThere(s.Both64));
        CHECK(s.Files.Moved == std::vector<std::wstring>{L"C:\\Acme\\both32.dll"});
        // The report tells what became of the DLL, over the fresh listing.
        REQUIRE(s.Files.Targets.size() == 1);
        REQUIRE(sktest::TMessageBoxRecorder::Boxes().size() == 1);
        const sktest::TShownBox& box = sktest::TMessageBoxRecorder::Boxes()[0];
        CHECK(box.Text == L"1 plugs-in are cleaned!\r\n\r\nC:\\Acme\\both32.dll was moved into the backup as " +
                              s.Files.Targets[0] + L".");
        CHECK(box.Caption == L"Surfkeep");
        CHECK(box.Style == (MB_OK | MB_ICONINFORMATION));
        CHECK(PathIsWithin(s.Files.Targets[0], s.Dir / L"backup\\plugins"));
        CHECK(std::find(statuses.begin(), statuses.end(), L"Cleaning: Acme Both (32-bit)") != statuses.end());
        CHECK(std::find(statuses.begin(), statuses.end(), L"Cleaning: Acme Both") == statuses.end());
        CHECK(tab.StatusText() == L"1 plugs-in are cleaned!");
        std::wstring after = s.Listing();
        after.replace(after.find(L"[5 items]"), 9, L"[4 items]");
        after.erase(after.find(L"  > [ ] Acme Both (32-bit)\n"));
        CHECK(s.Shown() == after);
    }
    SUBCASE("the whole COM group: the toolbar that is also a helper object counts twice") {
        s.ClickCheckBox(s.Group(1));
        tab.actPlugIn_Clean.Execute();
        // One line per DLL: the toolbar's, once (its second listing finds it moved already), and the
        // two of the add-on of both views; the add-on without a class names none.
        REQUIRE(s.Files.Targets.size() == 3);
        CHECK(gBoxes == std::vector<std::wstring>{
                            L"5 plugs-in are cleaned!\r\n"
                            L"\r\nC:\\Program Files\\Acme\\acme.dll was moved into the backup as " +
                            s.Files.Targets[0] + L"." + L"\r\nC:\\Acme\\both64.dll was moved into the backup as " +
                            s.Files.Targets[1] + L"." + L"\r\nC:\\Acme\\both32.dll was moved into the backup as " +
                            s.Files.Targets[2] + L"."});
        for (const auto* a : {&s.Toolbar, &s.NoClass, &s.Both64, &s.Both32}) CHECK_FALSE(s.HelperThere(*a));
        CHECK_FALSE(sktest::ValueExists(s.Registry, HKLM, Native, kToolbarPath, g1));
        CHECK(tab.StatusText() == L"5 plugs-in are cleaned!");
        std::vector<std::wstring> cleaning;
        for (const auto& status : statuses)
            if (status.rfind(L"Cleaning: ", 0) == 0) cleaning.push_back(status);
        CHECK(cleaning == std::vector<std::wstring>{L"Cleaning: Acme Toolbar", L"Cleaning: ", L"Cleaning: Acme Both",
                                                    L"Cleaning: Acme Both (32-bit)"});
        CHECK(s.Shown() == L"v [ ] Plug-Ins in IE Context Menu[2 items]\n"
                           L"    [ ] &Translate with Acme\n"
                           L"    [ ] E&xport to Acme Sheet\n"
                           L"  [ ] Plug-Ins on IE Toolbar[0 items]\n");
        CHECK(s.MenuExtensionThere(s.MenuExport));
    }
    SUBCASE("nothing ticked: 0 removed, the same listing, no backup") {
        const std::wstring before = s.Snapshot();
        tab.actPlugIn_Clean.Execute();
        CHECK(gBoxes.empty());
        CHECK(tab.StatusText() == L"0 plugs-in are cleaned!");
        CHECK(tab.lblPlugIn_Status.Hint().empty());
        CHECK(s.Shown() == s.Listing());
        CHECK(s.Snapshot() == before);
        CHECK(s.Cleaner.BackupFileName.empty());
        CHECK(ProgramRestoreStore().List().empty());
        CHECK(tab.LastRestorePointId().empty());
    }
}

TEST_CASE("an error of the engine reaches the error box, and the tab goes on") {
    TScene s;
    TPlugInTab& tab = s.Open();
    const std::wstring g1 = TestGuid(1), g3 = TestGuid(3);

    SUBCASE("a damaged AppID in the middle of a removal: the list shows what is left") {
        // The toolbar's AppID key names its module with a number.
        s.Fixture.Set(HKLM, Native, L"Software\\Classes\\AppID\\" + TestGuid(0x21), L"", RegNumber(5));
        s.ClickCheckBox(s.AddOn(g1, Native, TPlugInSource::Toolbar));
        s.ClickCheckBox(s.Item(0, s.MenuExport));
        tab.actPlugIn_Clean.Execute();
        CHECK(gBoxes == std::vector<std::wstring>{L"Invalid data type for ''"});
        // The context-menu extension went before the error; the toolbar's entries went too, but
        // the engine stopped before counting it.
        CHECK(tab.StatusText() == L"1 plugs-in are cleaned!");
        CHECK_FALSE(s.MenuExtensionThere(s.MenuExport));
        CHECK_FALSE(s.HelperThere(s.Toolbar));
        CHECK(s.Shown() == L"v [ ] Plug-Ins in IE Context Menu[1 items]\n"
                           L"    [ ] &Translate with Acme\n"
                           L"v [ ] Plug-Ins on IE Toolbar[3 items]\n"
                           L"  > [ ] \n"
                           L"      File: \n"
                           L"      Application ID: \n"
                           L"      Com Object: \n"
                           L"      Browser Helper Object: " + TestGuid(2) + L"\n"
                           L"  > [ ] Acme Both\n"
                           L"      File: C:\\Acme\\both64.dll\n"
                           L"      Application ID: \n"
                           L"      Com Object: Acme.Both.1\n"
                           L"      Browser Helper Object: " + g3 + L"\n"
                           L"  > [ ] Acme Both (32-bit)\n"
                           L"      File: C:\\Acme\\both32.dll\n"
                           L"      Application ID: \n"
                           L"      Com Object: Acme.Both32.1\n"
                           L"      Browser Helper Object: " + g3 + L"\n");
    }
    SUBCASE("no restore point or no backup can be written: nothing is removed until it can") {
        // A file where a folder belongs.
        std::wstring where, error;
        SUBCASE("the program's backup folder") {
            where = L"backup";
            error = L"Could not create a restore point in ";
        }
        SUBCASE("the restore points' folder") {
            where = L"backup\\restore";
            error = L"Could not create a restore point in ";
        }
        SUBCASE("the plug-in backups' folder") {
            where = L"backup\\plugins";
            error = L"Unable to write to ";
        }
        if (where != L"backup") ::CreateDirectoryW((s.Dir / L"backup").c_str(), nullptr);
        sktest::WriteBytes(s.Dir / where, {'x'});
        const std::wstring before = s.Snapshot();
        s.ClickCheckBox(s.Item(0, s.MenuExport));
        s.ClickCheckBox(s.AddOn(g3, Native, TPlugInSource::BrowserHelperObject));
        tab.actPlugIn_Clean.Execute();
        REQUIRE(gBoxes.size() == 1);
        CHECK(gBoxes[0].rfind(error + s.Dir.Path(), 0) == 0);
        CHECK(s.Snapshot() == before);
        CHECK(s.Files.Moved.empty());
        CHECK(s.Shown() == s.Listing());

        // Once the way is clear the same choice goes through.
        ::DeleteFileW((s.Dir / where).c_str());
        gBoxes.clear();
        s.ClickCheckBox(s.Item(0, s.MenuExport));
        s.ClickCheckBox(s.AddOn(g3, Native, TPlugInSource::BrowserHelperObject));
        tab.actPlugIn_Clean.Execute();
        REQUIRE(gBoxes.size() == 1);
        CHECK(gBoxes[0].rfind(L"2 plugs-in are cleaned!\r\n\r\nC:\\Acme\\both64.dll was moved", 0) == 0);
        CHECK(tab.StatusText() == L"2 plugs-in are cleaned!");
        CHECK_FALSE(s.MenuExtensionThere(s.MenuExport));
        CHECK_FALSE(s.HelperThere(s.Both64));
        CHECK(s.HelperThere(s.Both32));
        CHECK_FALSE(tab.LastRestorePointId().empty());
    }
}

TEST_CASE("on the Wine registry: a 32-bit add-on and a context-menu extension removed, the 64-bit twin kept") {
    TTabFixture f;  // its folder, settings and message boxes; the cleaner is the real registry's
    TIEPlugInCleaner cleaner(WindowsRegistryBackend(), f.Dir / L"backup\\plugins");
    sktest::TRegFixture fixture(WindowsRegistryBackend());
    const std::wstring pid = std::to_wstring(::GetCurrentProcessId());
    const std::wstring menu = L"SkTab Menu " + pid;
    TAddOnSetup twin64{TestGuid(0x71), L"SkTab Twin " + pid, f.Dir / L"twin64.dll", L"SkTab.Twin." + pid + L".1",
                      L"", L"", L"", L"acme.exe", false, true, Native};
    TAddOnSetup twin32 = twin64;
    twin32.Name += L" (32-bit)";
    twin32.FileName = f.Dir / L"twin32.dll";
    twin32.View = Wow32;
    fixture.AddMenuExtension(menu);
    fixture.AddAddOn(twin64);
    fixture.AddAddOn(twin32);
    sktest::WriteBytes(twin64.FileName, {'M', 'Z'});
    sktest::WriteBytes(twin32.FileName, {'M', 'Z'});

    TPlugInTab& tab = f.Open(&cleaner);
    // Whatever else the prefix has registered stays out of the way: the test's own entries by name.
    const auto find = [&](size_t group, const std::wstring& text) -> TCheckNode* {
        for (TCheckNode* node : f.Group(group).Children)
            if (node->Text == text) return node;
        return nullptr;
    };
    const size_t menus = f.Group(0).Children.size(), addOns = f.Group(1).Children.size();
    REQUIRE(find(0, menu));
    REQUIRE(find(1, twin64.Name));
    TCheckNode* node32 = find(1, twin32.Name);
    REQUIRE(node32);
    CHECK(node32->Children[0]->Text == L"File: " + twin32.FileName);

    f.ClickCheckBox(*find(0, menu));
    f.ClickCheckBox(*node32);
    tab.actPlugIn_Clean.Execute();
    CHECK(gBoxes == std::vector<std::wstring>{L"2 plugs-in are cleaned!\r\n\r\n" + twin32.FileName +
                                              L" was moved into the backup as " + cleaner.FileReports.at(0).MovedTo +
                                              L"."});
    CHECK(tab.StatusText() == L"2 plugs-in are cleaned!");
    CHECK(tab.lblPlugIn_Status.Hint() == cleaner.BackupFileName);
    CHECK(FileExists(cleaner.BackupFileName));
    CHECK_FALSE(find(0, menu));
    CHECK_FALSE(find(1, twin32.Name));
    CHECK(find(1, twin64.Name));
    CHECK(f.Group(0).Children.size() == menus - 1);
    CHECK(f.Group(1).Children.size() == addOns - 1);
    CHECK_FALSE(FileExists(twin32.FileName));
    CHECK(FileExists(twin64.FileName));
    auto& registry = WindowsRegistryBackend();
    CHECK_FALSE(sktest::KeyExists(registry, HKLM, Wow32, std::wstring(kBHOPath) + L"\\" + twin32.Clsid));
    CHECK_FALSE(sktest::KeyExists(registry, HKLM, Wow32, std::wstring(kClassesCLSIDPath) + L"\\" + twin32.Clsid));
    CHECK(sktest::KeyExists(registry, HKLM, Native, std::wstring(kBHOPath) + L"\\" + twin64.Clsid));
    CHECK(sktest::KeyExists(registry, HKLM, Native, std::wstring(kClassesCLSIDPath) + L"\\" + twin64.Clsid));
    f.Close();
}

TEST_CASE("on the Wine registry: the report says what became of each DLL; no file of Windows or one still used goes") {
    TTabFixture f;
    TIEPlugInCleaner cleaner(WindowsRegistryBackend(), f.Dir / L"backup\\plugins");
    sktest::TRegFixture fixture(WindowsRegistryBackend());
    const std::wstring pid = std::to_wstring(::GetCurrentProcessId());
    wchar_t system[MAX_PATH] = {};
    ::GetSystemDirectoryW(system, MAX_PATH);
    const std::wstring shell32 = std::wstring(system) + L"\\shell32.dll";
    REQUIRE(FileExists(shell32));
    const auto shell32Bytes = sktest::ReadBytes(shell32);
    const std::wstring shared = f.Dir / L"shared.dll";
    sktest::WriteBytes(shared, {'M', 'Z', 's'});
    // A hijacker naming the shell's own DLL, and two helpers of one program sharing theirs.
    TAddOnSetup hijack{TestGuid(0x61), L"SkTab Hijack " + pid, L"C:\\windows\\system32\\shell32.dll"};
    TAddOnSetup first{TestGuid(0x62), L"SkTab First " + pid, shared};
    TAddOnSetup second{TestGuid(0x63), L"SkTab Second " + pid, shared};
    for (auto* a : {&hijack, &first, &second}) {
        a->BHO = true;
        fixture.AddAddOn(*a);
    }
    TPlugInTab& tab = f.Open(&cleaner);
    const auto find = [&](const std::wstring& text) -> TCheckNode* {
        for (TCheckNode* node : f.Group(1).Children)
            if (node->Text == text) return node;
        return nullptr;
    };
    REQUIRE(find(hijack.Name));
    REQUIRE(find(first.Name));
    f.ClickCheckBox(*find(hijack.Name));
    f.ClickCheckBox(*find(first.Name));
    tab.actPlugIn_Clean.Execute();

    CHECK(tab.StatusText() == L"2 plugs-in are cleaned!");
    CHECK(gBoxes == std::vector<std::wstring>{L"2 plugs-in are cleaned!\r\n\r\nC:\\windows\\system32\\shell32.dll "
                                              L"belongs to Windows and was kept.\r\n" +
                                              shared + L" is still used by another program and was kept."});
    CHECK_FALSE(find(hijack.Name));
    CHECK_FALSE(find(first.Name));
    CHECK(find(second.Name));
    CHECK(sktest::ReadBytes(shell32) == shell32Bytes);
    CHECK(sktest::ReadBytes(shared) == std::vector<unsigned char>{'M', 'Z', 's'});
    // The point's rows are the report's lines.
    const auto points = ProgramRestoreStore().List();
    REQUIRE(points.size() == 1);
    CHECK(points[0].Items == std::vector<std::wstring>{hijack.Name, first.Name});
    std::vector<std::wstring> rows;
    for (const auto& row : points[0].Rows) rows.push_back(row.Label);
    CHECK(rows == PlugInCleanReport(cleaner));
    CHECK(rows.size() == 3);

    // The last class that names the shared DLL takes it into the backup.
    gBoxes.clear();
    f.ClickCheckBox(*find(second.Name));
    tab.actPlugIn_Clean.Execute();
    CHECK_FALSE(FileExists(shared));
    REQUIRE(cleaner.FileReports.size() == 1);
    CHECK(gBoxes == std::vector<std::wstring>{L"1 plugs-in are cleaned!\r\n\r\n" + shared +
                                              L" was moved into the backup as " + cleaner.FileReports[0].MovedTo +
                                              L"."});
    CHECK(sktest::ReadBytes(cleaner.FileReports[0].MovedTo) == std::vector<unsigned char>{'M', 'Z', 's'});
    f.Close();
}

TEST_CASE("an add-on called \"&Translate\": its name with the ampersand in the tree and on the status line") {
    TTabFixture f;
    TAddOnSetup translate{TestGuid(0x31), L"&Translate", L"C:\\Acme\\translate.dll"};
    translate.BHO = true;
    f.Fixture.AddAddOn(translate);
    f.Files.Files = {translate.FileName};
    TPlugInTab& tab = f.Open();
    REQUIRE(f.Group(1).Children.size() == 1);
    CHECK(f.Shown().find(L"\n  > [ ] &Translate\n") != std::wstring::npos);

    // The status line as it is drawn while the add-on goes: its width, and its pixels against
    // DrawTextW's with DT_NOPREFIX on the same background.
    TKivLabel& status = tab.lblPlugIn_Status;
    bool seen = false;
    int width = 0;
    std::vector<uint32_t> drawn, reference, prefixed;
    // The pixels of a w x h buffer.
    const auto pixels = [](const TOffscreenBuffer& buffer) {
        ::GdiFlush();
        std::vector<uint32_t> px(buffer.Bits(), buffer.Bits() + static_cast<size_t>(buffer.Width()) * buffer.Height());
        for (auto& p : px) p &= 0xFFFFFF;
        return px;
    };
    f.Spy.OnOpen = [&] {
        if (seen || tab.StatusText() != L"Cleaning: &Translate") return;
        seen = true;
        CHECK(status.Caption() == L"Cleaning: &Translate");
        CHECK((status.TextFormat() & DT_NOPREFIX) != 0);
        width = status.Width();
        const int w = status.Width() + 4, h = status.Height();
        // What the screen shows there now (the tab paints its status line at once), with a little of
        // the panel to the right of the label.
        TOffscreenBuffer screen;
        if (!screen.Ensure(w, h)) return;
        HDC dc = ::GetDC(tab.Panel());
        ::BitBlt(screen.DC(), 0, 0, w, h, dc, status.Left(), status.Top(), SRCCOPY);
        ::ReleaseDC(tab.Panel(), dc);
        drawn = pixels(screen);
        const COLORREF background = ::GetPixel(screen.DC(), w - 1, 0);
        for (const bool noPrefix : {true, false}) {
            TOffscreenBuffer buffer;
            if (!buffer.Ensure(w, h)) return;
            RECT all{0, 0, w, h};
            TBrush brush(::CreateSolidBrush(background));
            ::FillRect(buffer.DC(), &all, brush.Get());
            TSelectObject font(buffer.DC(), status.Font().Handle());
            ::SetTextColor(buffer.DC(), status.Font().Color());
            ::SetBkMode(buffer.DC(), TRANSPARENT);
            TKivTextLayout layout = status.CalcTextLayout(buffer.DC());
            const UINT flags = noPrefix ? layout.Flags : layout.Flags & ~DT_NOPREFIX;
            ::DrawTextW(buffer.DC(), status.Caption().c_str(), -1, &layout.Box, flags);
            (noPrefix ? reference : prefixed) = pixels(buffer);
        }
    };
    f.ClickCheckBox(*f.Group(1).Children[0]);
    tab.actPlugIn_Clean.Execute();
    REQUIRE(seen);
    TMemDC dc(::CreateCompatibleDC(nullptr));
    TSelectObject font(dc.Get(), status.Font().Handle());
    RECT r{0, 0, 500, 100};
    ::DrawTextW(dc.Get(), L"Cleaning: &Translate", -1, &r, DT_SINGLELINE | DT_NOPREFIX | DT_CALCRECT);
    CHECK(width == r.right + 2);
    REQUIRE_FALSE(drawn.empty());
    CHECK(drawn == reference);
    CHECK(drawn != prefixed);
    CHECK(tab.StatusText() == L"1 plugs-in are cleaned!");
}
