// The main window, its Repair tab and the About box, driven in-process under Xvfb on an in-memory
// registry.
#include "TestSupport.h"
#include "WholeWindow.h"
#include "UiTestSupport.h"

#include <commctrl.h>

#include "MessageBoxRecorder.h"
#include "base/Settings.h"
#include "base/StringTable.h"
#include "app/FormAbout.h"
#include "app/FormSurfkeep.h"
#include "controls/KWClasses.h"
#include "registry/RestoreStore.h"
#include "repair/ui/RepairTab.h"

using namespace sk;
using sktest::TTempDir;

namespace {

// The boxes shown (recorded by the fixture's TMessageBoxRecorder).
std::vector<sktest::TShownBox>& gBoxes = sktest::TMessageBoxRecorder::Boxes();

const wchar_t* const kMain = L"Software\\Microsoft\\Internet Explorer\\Main";
const wchar_t* const kExplorerPolicies = L"Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer";
const wchar_t* const kIERestrictions = L"Software\\Policies\\Microsoft\\Internet Explorer\\Restrictions";
const wchar_t* const kDesktopIcons =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\HideDesktopIcons\\NewStartPanel";

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
        sktest::StartProgramIn(Dir);
        sktest::RepairEverything(Registry);
        TfrmSurfkeep::SetShellOpenHook([this](const std::wstring& t) { Opened.push_back(t); });
    }
    ~TFormFixture() {
        Form.reset();
        TfrmSurfkeep::SetShellOpenHook(nullptr);
    }
    TfrmSurfkeep& Open() {
        Create();
        Form->Show(SW_SHOWNOACTIVATE);  // destroying an activated window costs seconds under Wine
        sktest::PumpFor(50);
        return *Form;
    }
    // The window made (and its first scan run) but not shown.
    void Create() {
        TfrmSurfkeepArgs args;
        args.RepairTab = std::make_unique<TRepairTab>(Registry);
        Form = std::make_unique<TfrmSurfkeep>(std::move(args));
        REQUIRE(Form->Create());
    }
    TRepairTab& Tab() { return Form->RepairTab(); }
    std::vector<int> Order() {
        std::vector<int> order;
        for (const auto& line : Tab().Lines()) order.push_back(line.Data);
        return order;
    }
    // The restore points the window made, in the program's backup folder.
    std::vector<TRestorePointInfo> Points() { return TRestoreStore(Dir / L"backup\\").List(); }
    // The result list as it shows: every row's three columns.
    std::vector<TRestoreRow> ShownResults() {
        std::vector<TRestoreRow> rows;
        const HWND list = Tab().ResultList();
        const int n = ListView_GetItemCount(list);
        for (int i = 0; i < n; ++i) {
            wchar_t cells[3][512] = {};
            for (int c = 0; c < 3; ++c) ListView_GetItemText(list, i, c, cells[c], 512);
            rows.push_back({cells[0], cells[1], cells[2]});
        }
        return rows;
    }
    size_t LineOf(int item) {
        const auto& lines = Tab().Lines();
        for (size_t i = 0; i < lines.size(); ++i)
            if (lines[i].Data == item) return i;
        FAIL("no line for item " << item);
        return 0;
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

        // Exactly one restore point, made before the changes, keeping what the list shows.
        const auto points = f.Points();
        REQUIRE(points.size() == 1);
        CHECK(points[0].Id == f.Tab().LastRestorePointId());
        CHECK(points[0].State == TRestoreState::Complete);
        CHECK(points[0].Operation == L"repair");
        CHECK(points[0].Title == L"Repair");
        CHECK(points[0].Items == std::vector<std::wstring>{*RepairItemAt(3).Text, *RepairItemAt(9).Text});
        CHECK(points[0].Rows == f.ShownResults());
        CHECK(points[0].Rows.size() == 2);

        f.Tab().actIERepair_Back.Execute();
        CHECK_FALSE(f.Tab().ShowingResults());
        CHECK(f.ShownRows(f.Tab().ResultList()).empty());
        for (const auto& line : f.Tab().Lines()) CHECK_FALSE(line.Ticked);

        // Nothing ticked: nothing to record.
        f.Tab().actIERepair_Repair.Execute();
        CHECK(f.Tab().RepairedRows().empty());
        CHECK(f.Points().size() == 1);
    }
    SUBCASE("a restore point that cannot be made: nothing is repaired and the error box says why") {
        sktest::WriteBytes(f.Dir / L"backup", {'x'});  // a file where the backup folder should be
        gBoxes.clear();
        f.Tab().actIERepair_Repair.Execute();
        REQUIRE(gBoxes.size() == 1);
        CHECK(gBoxes[0].Style == (MB_OK | MB_ICONSTOP));
        CHECK(gBoxes[0].Text.rfind(L"Could not create a restore point in " + f.Dir / L"backup\\", 0) == 0);
        CHECK(gBoxes[0].Text.find(L"Nothing was changed") != std::wstring::npos);
        CHECK_FALSE(f.Tab().ShowingResults());
        CHECK(f.Tab().Lines()[0].Ticked);
        CHECK(ItemNeedsRepair(3, f.Registry));
        CHECK(ItemNeedsRepair(9, f.Registry));
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

TEST_CASE("a value of an unexpected type makes only its item not checkable; the error box lists it after the scan") {
    TFormFixture f;
    Write(f.Registry, TRegRoot::CurrentUser, kIERestrictions, L"NoBrowserOptions", 1);  // item 9
    WriteText(f.Registry, TRegRoot::CurrentUser, kMain, L"Window Title", L"Hijacked!");   // item 3
    {
        TRegistryStore store(f.Registry, TRegRoot::CurrentUser);
        REQUIRE(store.Open(kExplorerPolicies, true));
        store.WriteValue(L"NoViewContextMenu", RegBytes({1, 0, 0, 0}));  // item 1 reads a policy number
    }
    const std::wstring line1 =
        L"[Cannot be checked: Invalid data type for 'NoViewContextMenu']  Restore context menu of Windows Shell.";
    auto checkList = [&] {
        // Items 3 and 9 are still marked, ticked and moved up; item 1 says why it was not checked and
        // is not ticked.
        CHECK(f.Order() ==
              std::vector<int>{3, 9, 0, 1, 2, 4, 5, 6, 7, 8, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21});
        const auto& lines = f.Tab().Lines();
        CHECK(lines[0].Text == L"[Need to repair]  Restore IE title bar.");
        CHECK(lines[1].Text == L"[Need to repair]  Enable \"Internet Options\".");
        CHECK(lines[0].Ticked);
        CHECK(lines[1].Ticked);
        CHECK(lines[3].Text == line1);
        CHECK(lines[3].State == TRepairState::NotCheckable);
        CHECK_FALSE(lines[3].Ticked);
        const int row = (f.Tab().NativeGroups() ? 0 : 1) + 3;
        CHECK(f.ShownRows(f.Tab().ItemList())[static_cast<size_t>(row)] == line1);
        CHECK(ListView_GetCheckState(f.Tab().ItemList(), row) == FALSE);
    };
    auto checkBox = [&](const sktest::TShownBox& box) {
        CHECK(box.Style == (MB_OK | MB_ICONSTOP));
        CHECK(box.Text == IDS_IEREPAIR_MSG_Unreadable +
                              L"\nRestore context menu of Windows Shell.: Invalid data type for 'NoViewContextMenu'");
    };

    SUBCASE("the first scan: the box comes when the window shows, over the marked list") {
        f.Create();
        CHECK(gBoxes.empty());
        checkList();
        f.Form->Show(SW_SHOWNOACTIVATE);
        REQUIRE(gBoxes.size() == 1);
        checkBox(gBoxes[0]);
    }
    SUBCASE("a later scan: the box comes once the scan has finished") {
        f.Open();
        gBoxes.clear();
        f.Tab().actIERepair_Scan.Execute();
        REQUIRE(gBoxes.size() == 1);
        checkBox(gBoxes[0]);
        checkList();

        SUBCASE("the user may tick it: its repair says what failed, the others go through") {
            f.Tab().SetTicked(f.LineOf(1), true);
            CHECK(ListView_GetCheckState(f.Tab().ItemList(), (f.Tab().NativeGroups() ? 0 : 1) + 3) != FALSE);
            gBoxes.clear();
            f.Tab().actIERepair_Repair.Execute();
            const auto& rows = f.Tab().RepairedRows();
            REQUIRE(rows.size() == 3);
            CHECK(rows[0].Label == L"Window title");
            CHECK(rows[1].Label == L"Internet Options");
            CHECK(rows[2] == TRepairRow{L"Context menu of Windows Shell", L"Disabled",
                                        L"Failed: Invalid data type for 'NoViewContextMenu'", true});
            REQUIRE(gBoxes.size() == 1);
            CHECK(gBoxes[0].Text == IDS_IEREPAIR_MSG_RestartIE +
                                        L"\n\n1 settings could not be repaired; their rows say why.\n"
                                        L"Context menu of Windows Shell: Failed: Invalid data type for 'NoViewContextMenu'");
            CHECK(gBoxes[0].Style == MB_ICONWARNING);
            REQUIRE(f.Points().size() == 1);
            CHECK(f.Points()[0].Rows == f.ShownResults());
        }
    }
}

TEST_CASE("a repair step the registry refuses shows as a failed row, counted in the closing message") {
    TFormFixture f;
    f.Registry.Refuse(TRegRoot::CurrentUser, kDesktopIcons);  // item 4: reads as absent, cannot be made
    WriteText(f.Registry, TRegRoot::CurrentUser, kMain, L"Window Title", L"Hijacked!");  // item 3
    // A language pack whose label for the title row is blanks and control characters only.
    IDS_IEREPAIR_Repaired_IETitle = L"\x3000\t\x200B";
    f.Open();
    CHECK(f.Order()[0] == 3);
    CHECK(f.Order()[1] == 4);
    gBoxes.clear();
    f.Tab().actIERepair_Repair.Execute();
    CHECK(f.ShownResults() ==
          std::vector<TRestoreRow>{{L"Shortcut icon on desktop", L"Lost",
                                    L"Failed: the key HKEY_CURRENT_USER\\Software\\Microsoft\\windows\\CurrentVersion\\"
                                    L"Explorer\\HideDeskTopIcons\\NewStartPanel cannot be created"}});
    REQUIRE(f.Tab().RepairedRows().size() == 1);
    CHECK(f.Tab().RepairedRows()[0].Failed);
    CHECK_FALSE(ItemNeedsRepair(3, f.Registry));  // the row was dropped, the repair made
    // The closing message counts the failure and gives its reason whole (the list cuts it short).
    REQUIRE(gBoxes.size() == 1);
    CHECK(gBoxes[0].Text == IDS_IEREPAIR_MSG_RestartIE + L"\n\n1 settings could not be repaired; their rows say why.\n" +
                                L"Shortcut icon on desktop: " + f.ShownResults()[0].After);
    CHECK(gBoxes[0].Style == MB_ICONWARNING);
    REQUIRE(f.Points().size() == 1);
    CHECK(f.Points()[0].Rows == f.ShownResults());
}

TEST_CASE("the closing message gives the first ten failures whole and counts the rest") {
    TFormFixture f;
    for (const wchar_t* policy : {L"NoViewContextMenu", L"NoFileMenu", L"NoRun", L"NoClose", L"StartMenuLogOff",
                                  L"NoRecentDocsMenu", L"NoFind", L"NoControlPanel", L"NoSetFolders", L"NoSetTaskbar",
                                  L"NoTrayContextMenu"})
        Write(f.Registry, TRegRoot::CurrentUser, kExplorerPolicies, policy, 1);  // items 1, 10 and 12
    f.Open();
    gBoxes.clear();
    f.Registry.FailWrites(true);
    f.Tab().actIERepair_Repair.Execute();
    f.Registry.FailWrites(false);
    CHECK(f.ShownResults().size() == 11);
    REQUIRE(gBoxes.size() == 1);
    const std::wstring& text = gBoxes[0].Text;
    CHECK(text.rfind(L"11 settings could not be repaired; their rows say why.\n", 0) == 0);
    size_t listed = 0;
    for (size_t at = text.find(L": Failed: "); at != std::wstring::npos; at = text.find(L": Failed: ", at + 1)) ++listed;
    CHECK(listed == 10);
    CHECK(text.find(L"Context menu of Windows Shell: Failed: the value NoViewContextMenu cannot be deleted\n") !=
          std::wstring::npos);
    CHECK(text.size() > 27);
    CHECK(text.substr(text.size() - 27) == L"\n... and 1 more in the list");
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
