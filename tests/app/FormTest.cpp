// The main window, its Repair tab and the About box, driven in-process under Xvfb on an in-memory
// registry.
#include "TestSupport.h"
#include "UiTestSupport.h"

#include <commctrl.h>

#include "MessageBoxRecorder.h"
#include "base/Settings.h"
#include "base/StringTable.h"
#include "app/FormAbout.h"
#include "app/FormSurfkeep.h"
#include "controls/KWClasses.h"
#include "repair/ui/RepairTab.h"

using namespace sk;
using sktest::TTempDir;

namespace {

// The boxes shown (recorded by the fixture's TMessageBoxRecorder).
std::vector<sktest::TShownBox>& gBoxes = sktest::TMessageBoxRecorder::Boxes();

const wchar_t* const kMain = L"Software\\Microsoft\\Internet Explorer\\Main";
const wchar_t* const kExplorerPolicies = L"Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer";
const wchar_t* const kIERestrictions = L"Software\\Policies\\Microsoft\\Internet Explorer\\Restrictions";

void Write(TRegistryBackend& reg, TRegRoot root, const std::wstring& path, const std::wstring& name, int32_t number) {
    TRegistryStore store(reg, root);
    REQUIRE(store.Open(path, true));
    store.WriteNumber(name, number);
}

void WriteText(TRegistryBackend& reg, TRegRoot root, const std::wstring& path, const std::wstring& name,
               const std::wstring& text) {
    TRegistryStore store(reg, root);
    REQUIRE(store.Open(path, true));
    store.WriteText(name, text);
}

struct TFormFixture {
    sktest::TMessageBoxRecorder Boxes;
    TTempDir Dir;
    TMemoryRegistryBackend Registry;
    std::unique_ptr<TfrmSurfkeep> Form;
    std::vector<std::wstring> Opened;

    TFormFixture() {
        ResetStringTable();
        LoadSettingsFor(Dir / L"surfkeep.exe");
        LoadStringTable();
        // A healthy machine: every item repaired once.
        for (int i = 0; i < RepairItemCount; ++i) {
            std::vector<TRepairRow> rows;
            RepairItem(i, rows, Registry);
        }
        TfrmSurfkeep::SetShellOpenHook([this](const std::wstring& t) { Opened.push_back(t); });
    }
    ~TFormFixture() {
        Form.reset();
        TfrmSurfkeep::SetShellOpenHook(nullptr);
    }
    TfrmSurfkeep& Open() {
        TfrmSurfkeepArgs args;
        args.RepairTab = std::make_unique<TRepairTab>(Registry);
        Form = std::make_unique<TfrmSurfkeep>(std::move(args));
        REQUIRE(Form->Create());
        Form->Show(SW_SHOWNOACTIVATE);  // destroying an activated window costs seconds under Wine
        sktest::PumpFor(50);
        return *Form;
    }
    TRepairTab& Tab() { return Form->RepairTab(); }
    std::vector<int> Order() {
        std::vector<int> order;
        for (const auto& line : Tab().Lines()) order.push_back(line.Data);
        return order;
    }
    // Rows of the list control: texts in display order.
    std::vector<std::wstring> ShownRows(HWND list) {
        std::vector<std::wstring> rows;
        const int n = ListView_GetItemCount(list);
        for (int i = 0; i < n; ++i) {
            wchar_t buf[512] = {};
            ListView_GetItemText(list, i, 0, buf, 512);
            rows.push_back(buf);
        }
        return rows;
    }
};

}  // namespace

TEST_CASE("the window opens on the Repair tab with 22 lines in two groups") {
    TFormFixture f;
    TfrmSurfkeep& form = f.Open();
    RECT rc{};
    ::GetClientRect(form.Handle(), &rc);
    CHECK(rc.right == 780);
    CHECK(rc.bottom == 585);
    CHECK(sktest::WindowText(form.Handle()) == L"Surfkeep");
    CHECK(form.pgcMain().Selected() == 0);
    CHECK(form.pgcMain().Caption(0) == L"Repair");
    CHECK(form.TitleLabel().Caption() == L"Surfkeep");
    CHECK(form.CaptionBar().TitleBar().Caption() == L"Surfkeep");

    const auto& lines = f.Tab().Lines();
    REQUIRE(lines.size() == 22);
    CHECK(f.Tab().Group0Count() == 11);
    for (size_t i = 0; i < lines.size(); ++i) {
        CAPTURE(i);
        CHECK(lines[i].Data == static_cast<int>(i));
        CHECK_FALSE(lines[i].Ticked);
        CHECK(lines[i].Group == (i < 11 ? 0 : 1));
        CHECK(lines[i].Text == *RepairItemAt(static_cast<int>(i)).Text);
    }
    // The headings are visible whether or not the list shows groups itself.
    const auto shown = f.ShownRows(f.Tab().ItemList());
    if (f.Tab().NativeGroups()) {
        CHECK(shown.size() == 22);
    } else {
        REQUIRE(shown.size() == 24);
        CHECK(shown[0] == L"Internet Explorer");
        CHECK(shown[12] == L"System");
        CHECK(ListView_GetItemState(f.Tab().ItemList(), 0, LVIS_STATEIMAGEMASK) == 0);  // no tick box
    }
    // Buttons are found by their captions.
    CHECK(sktest::FindChildByText(form.Handle(), L"Scan") != nullptr);
    CHECK(sktest::FindChildByText(form.Handle(), L"Repair") != nullptr);
}

TEST_CASE("a scan marks, ticks and moves up the items that need repair") {
    TFormFixture f;
    WriteText(f.Registry, TRegRoot::CurrentUser, kMain, L"Window Title", L"Hijacked!");   // item 3
    Write(f.Registry, TRegRoot::CurrentUser, kIERestrictions, L"NoBrowserOptions", 1);     // item 9
    f.Open();
    CHECK(f.Order() == std::vector<int>{3, 9, 0, 1, 2, 4, 5, 6, 7, 8, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21});
    const auto& lines = f.Tab().Lines();
    CHECK(lines[0].Text == L"[Need to repair]  Restore IE title bar.");
    CHECK(lines[1].Text == L"[Need to repair]  Enable \"Internet Options\".");
    CHECK(lines[0].Ticked);
    CHECK(lines[1].Ticked);
    CHECK_FALSE(lines[2].Ticked);
    // The list control shows the same.
    const int first = f.Tab().NativeGroups() ? 0 : 1;
    CHECK(ListView_GetCheckState(f.Tab().ItemList(), first) != FALSE);
    CHECK(ListView_GetCheckState(f.Tab().ItemList(), first + 2) == FALSE);

    SUBCASE("repairing them gives their rows, the restart message, and Back rescans clean") {
        f.Tab().actIERepair_Repair.Execute();
        CHECK(f.Tab().ShowingResults());
        CHECK(f.Tab().MaxRepairLevel() == TRepairLevel::RestartIE);
        REQUIRE(gBoxes.size() == 1);
        CHECK(gBoxes[0].Text == IDS_IEREPAIR_MSG_RestartIE);
        CHECK(gBoxes[0].Caption == L"Information\xFF01");
        CHECK(gBoxes[0].Style == MB_ICONINFORMATION);
        REQUIRE(!f.Tab().RepairedRows().empty());
        CHECK(f.Tab().RepairedRows()[0].Label == L"Window title");
        CHECK(f.ShownRows(f.Tab().ResultList()).size() == f.Tab().RepairedRows().size());

        f.Tab().actIERepair_Back.Execute();
        CHECK_FALSE(f.Tab().ShowingResults());
        CHECK(f.ShownRows(f.Tab().ResultList()).empty());
        for (const auto& line : f.Tab().Lines()) CHECK_FALSE(line.Ticked);
    }
}

TEST_CASE("Select All and Repair on a healthy machine still repairs items 5 and 15") {
    TFormFixture f;
    f.Open();
    f.Tab().lblIERepair_SelectAllClick();
    for (const auto& line : f.Tab().Lines()) CHECK(line.Ticked);
    f.Tab().actIERepair_Repair.Execute();
    REQUIRE(f.Tab().RepairedRows().size() == 2);
    CHECK(f.Tab().RepairedRows()[0].Label == L"Links text in IE tool bar");
    CHECK(f.Tab().RepairedRows()[1].Label == L"Unexpected information in \"File Properites\"");
    REQUIRE(gBoxes.size() == 1);
    CHECK(gBoxes[0].Text == L"Repair is completed. Please restart IE to make repair effective.");

    SUBCASE("Select None leaves nothing to repair: no rows, no message") {
        f.Tab().actIERepair_Back.Execute();
        gBoxes.clear();
        f.Tab().lblIERepair_SelectNoneClick();
        f.Tab().actIERepair_Repair.Execute();
        CHECK(f.Tab().RepairedRows().empty());
        CHECK(gBoxes.empty());
        CHECK(f.Tab().ShowingResults());
    }
}

TEST_CASE("a restart and a log-off repair together show only the log-off message") {
    TFormFixture f;
    WriteText(f.Registry, TRegRoot::CurrentUser, kMain, L"Window Title", L"Hijacked!");  // level 1
    Write(f.Registry, TRegRoot::CurrentUser, kExplorerPolicies, L"NoFolderOptions", 1);  // level 2
    f.Open();
    f.Tab().actIERepair_Repair.Execute();
    REQUIRE(gBoxes.size() == 1);
    CHECK(gBoxes[0].Text == IDS_IEREPAIR_MSG_LogOff);
    CHECK(f.Tab().MaxRepairLevel() == TRepairLevel::LogOff);
}

TEST_CASE("a registry value of the wrong type ends the scan with the error box") {
    TFormFixture f;
    Write(f.Registry, TRegRoot::CurrentUser, kIERestrictions, L"NoBrowserOptions", 1);  // item 9, marked later
    WriteText(f.Registry, TRegRoot::CurrentUser, kMain, L"Window Title", L"Hijacked!");   // item 3
    f.Open();
    gBoxes.clear();
    {
        TRegistryStore store(f.Registry, TRegRoot::CurrentUser);
        REQUIRE(store.Open(kMain, false));
        store.WriteNumber(L"Start Page", 5);  // item 0 reads it as text
    }
    f.Tab().actIERepair_Scan.Execute();
    REQUIRE(gBoxes.size() == 1);
    CHECK(gBoxes[0].Style == (MB_OK | MB_ICONSTOP));
    CHECK(gBoxes[0].Text.find(L"Start Page") != std::wstring::npos);
    // The scan stopped at item 0: nothing is marked and the order is the plain one.
    CHECK(f.Order()[0] == 0);
    for (const auto& line : f.Tab().Lines()) CHECK_FALSE(line.Ticked);
}

TEST_CASE("the frame's commands") {
    TFormFixture f;
    TfrmSurfkeep& form = f.Open();
    SUBCASE("help menu: four groups, under the help button") {
        CHECK(form.HelpMenuTexts() == std::vector<std::wstring>{L"Help\tF1", L"", L"Homepage", L"Contact Us", L"Forum",
                                                                 L"", L"Update hosts data", L"Restore points", L"",
                                                                 L"About..."});
        RECT button{};
        ::GetWindowRect(form.HelpButton().Handle(), &button);
        const POINT origin = form.HelpMenuOrigin();
        CHECK(origin.x == button.left);
        CHECK(origin.y == button.bottom + 1);
    }
    SUBCASE("F1 opens the language's help file; the links open their targets") {
        MSG msg{form.Handle(), WM_KEYDOWN, VK_F1, 0};
        CHECK(form.PreTranslate(msg));
        form.actSupport.Execute();
        form.actHomePage.Execute();
        form.actForum.Execute();
        CHECK(f.Opened == std::vector<std::wstring>{HelpFileName, L"mailto:" + IDS_SURFKEEP_SupportURL,
                                                     IDS_SURFKEEP_HomepageURL, IDS_SURFKEEP_ForumURL});
        CHECK(HelpFileName == f.Dir / L"langs\\1033\\help.chm");
    }
    SUBCASE("no companion installer: no promotional picture and no upgrade prompt") {
        CHECK_FALSE(form.UpgradeOffered());
        sktest::PumpFor(1300);
        CHECK(gBoxes.empty());
    }
    SUBCASE("Close ends the window") {
        form.actClose.Execute();
        CHECK(sktest::PumpUntil([&] { return form.Handle() == nullptr; }));
    }
}

TEST_CASE("the upgrade prompt comes once, about a second after showing, when the installer exists") {
    TFormFixture f;
    sktest::WriteBytes(f.Dir / L"SurfkeepGuardSetup.exe", {'M', 'Z'});
    TfrmSurfkeep& form = f.Open();
    CHECK(form.UpgradeOffered());
    CHECK(gBoxes.empty());
    CHECK(sktest::PumpUntil([] { return !gBoxes.empty(); }, 3000));
    sktest::PumpFor(1200);
    REQUIRE(gBoxes.size() == 1);
    CHECK(gBoxes[0].Caption == L"Upgrage");
    CHECK(gBoxes[0].Style == 0x44);
    CHECK(f.Opened.empty());  // answered with OK, not Yes
}

TEST_CASE("the About box") {
    TFormFixture f;
    TfrmSurfkeep& form = f.Open();
    TfrmAbout about;
    REQUIRE(about.Create(form.Handle()));
    CHECK(about.CaptionBar().TitleBar().Caption() == L"About Surfkeep");
    CHECK(about.AppName().Caption() == L"Surfkeep");
    CHECK(about.Version().Caption() == L"Version: ");  // this test executable has no version
    CHECK(about.Copyright().Caption() == IDS_ABOUT_Copyright);
    CHECK(about.Homepage().Caption() == IDS_SURFKEEP_HomepageURL);
    CHECK(about.Contact().Caption() == L"Contact Us");
    CHECK(about.Warning().Caption() == L"\r\n" + IDS_ABOUT_Warning);
    RECT rc{};
    ::GetClientRect(about.Handle(), &rc);
    CHECK(rc.right == 448);
    CHECK(rc.bottom == 324);

    SUBCASE("Esc closes it") {
        ::PostMessageW(about.Handle(), WM_KEYDOWN, VK_ESCAPE, 0);
        CHECK(about.ShowModal(form.Handle()) == IDCANCEL);
    }
    SUBCASE("the close button closes it") {
        ::PostMessageW(about.CloseButton().Handle(), WM_KEYDOWN, VK_SPACE, 0);
        ::PostMessageW(about.CloseButton().Handle(), WM_KEYUP, VK_SPACE, 0);
        CHECK(about.ShowModal(form.Handle()) == IDCANCEL);
    }
}
