// The Restore points window, driven in-process under Xvfb: restore points made in the test with the
// library itself, on scratch keys of the real (Wine) registry and on files in a scratch folder; the
// list, the selected point's detail, putting a point back (after the user's consent where something
// changed since), and the main window that opens it and has its tabs read the machine again.
#include "TestSupport.h"
#include "WholeWindow.h"
#include "UiTestSupport.h"

#include <commctrl.h>

#include <functional>
#include <memory>

#include "MessageBoxRecorder.h"
#include "RegistryTestSupport.h"
#include "app/FormRestorePoints.h"
#include "app/FormSurfkeep.h"
#include "base/Format.h"
#include "base/MessageBox.h"
#include "base/Paths.h"
#include "base/ProfileFile.h"
#include "base/Settings.h"
#include "base/StringTable.h"
#include "controls/KWClasses.h"
#include "plugins/IEPlugInFuncs.h"
#include "plugins/ui/PlugInTab.h"
#include "registry/RegistryTree.h"
#include "repair/ui/RepairTab.h"
#include "security/IESecurityFuncs.h"
#include "security/ui/SecurityTab.h"

using namespace sk;
using sktest::TTempDir;

namespace {

constexpr TRegRoot HKCU = TRegRoot::CurrentUser;

std::vector<sktest::TShownBox>& gBoxes = sktest::TMessageBoxRecorder::Boxes();

std::wstring ScratchKey() { return L"Software\\SkRestoreWindow" + std::to_wstring(::GetCurrentProcessId()); }

TRegValue Raw(std::vector<uint8_t> bytes, DWORD type) { return RegBytes(bytes, type); }

// A value of the real registry exactly as it is (type and bytes), or nothing.
std::optional<TRegValue> RealValue(const std::wstring& path, const std::wstring& name) {
    const auto key = WindowsRegistryBackend().OpenKey(HKCU, TRegView::Native, path, false);
    return key ? key->QueryValue(name) : std::nullopt;
}

bool RealKeyExists(const std::wstring& path) {
    return WindowsRegistryBackend().OpenKey(HKCU, TRegView::Native, path, false) != nullptr;
}

void WriteReal(const std::wstring& path, const std::wstring& name, const TRegValue& value) {
    const auto key = WindowsRegistryBackend().OpenKey(HKCU, TRegView::Native, path, true);
    REQUIRE(key);
    REQUIRE(key->SetValue(name, value));
}

std::wstring Where(const std::wstring& path, const std::wstring& name) {
    return DescribeRegValue({HKCU, TRegView::Native, path}, name);
}

std::wstring Shows(const TRegValue& value) { return DescribeRegData(value); }

// A program folder of its own (settings, restore points) and a scratch key of the real registry.
struct TFixture {
    TTempDir Dir;
    std::wstring Key = ScratchKey();
    sktest::TScratchKeys Scratch;
    std::unique_ptr<TRestoreStore> Store;
    std::unique_ptr<TfrmRestorePoints> Window;
    int MachineChanges = 0;

    TFixture() : Scratch({{HKCU, ScratchKey()}}) {
        ResetStringTable();
        LoadSettingsFor(Dir / L"surfkeep.exe");
        LoadStringTable();
        Store = std::make_unique<TRestoreStore>(ProgramFolder + L"backup\\", ReadRestoreLimits(ConfigFileName));
    }
    ~TFixture() { Window.reset(); }

    TfrmRestorePoints& Open() {
        Window = std::make_unique<TfrmRestorePoints>(*Store);
        Window->OnMachineChanged = [this] { ++MachineChanges; };
        REQUIRE(Window->Create(nullptr));
        ::ShowWindow(Window->Handle(), SW_SHOWNOACTIVATE);
        sktest::PumpFor(30);
        return *Window;
    }

    // An operation of the test's own on the scratch key, as the program's operations are recorded:
    // begun, its changes made through the point's registry, completed with the rows the user saw.
    std::unique_ptr<TRestorePoint> Begin(const std::wstring& title, std::vector<std::wstring> items = {L"one item"}) {
        return TRestorePoint::Begin(*Store, {L"test", title, std::move(items)});
    }
    void Write(TRestorePoint& point, const std::wstring& name, const TRegValue& value) {
        TRegistryStore store(point.Registry(), HKCU);
        REQUIRE(store.Open(Key, true));
        store.WriteValue(name, value);
    }
};

// The state of the point's line in the window's list.
std::wstring StateShown(const TfrmRestorePoints& window, int line) { return window.PointLines().at(line).at(3); }

}  // namespace

TEST_CASE("RestorePointTimeText: local time in the user's format") {
    SYSTEMTIME utc{2026, 3, 6, 14, 15, 30, 12, 45};
    FILETIME ft{};
    REQUIRE(::SystemTimeToFileTime(&utc, &ft));
    SYSTEMTIME local{};
    REQUIRE(::SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local));
    wchar_t date[64] = {}, time[64] = {};
    ::GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &local, nullptr, date, 64);
    ::GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &local, nullptr, time, 64);
    CHECK(RestorePointTimeText(ft) == std::wstring(date) + L" " + time);
    CHECK(RestorePointTimeText(ft).find(L"2026") != std::wstring::npos);
}

TEST_CASE("the window lists the points newest first and shows what the selected one changed") {
    sktest::TMessageBoxRecorder boxes;
    TFixture f;
    WriteReal(f.Key, L"Window Title", RegText(L"Hijacked!"));
    {
        auto point = f.Begin(L"Repair", {L"Restore IE title bar.", L"Enable \"Internet Options\"."});
        f.Write(*point, L"Window Title", RegText(L""));
        point->Complete({{L"Window title", L"Hijacked!", L""}, {L"No browser options", L"1", L"(absent)"}});
    }
    {
        // Complete without rows for people: the detail shows the places it changed.
        auto point = f.Begin(L"Quiet change", {});
        f.Write(*point, L"Quiet", RegNumber(5));
        point->Complete({});
    }
    const std::wstring file = f.Dir / L"hosts";
    sktest::WriteBytes(file, {'u', 's', 'e', 'r', '\r', '\n'});
    {
        // Killed half-way: never completed.
        auto point = f.Begin(L"Shield on", {});
        point->CaptureFile(file);
        sktest::WriteBytes(file, {'l', 'i', 's', 't'});
    }
    // A folder whose manifest cannot be read, older than the rest.
    const std::wstring damaged = f.Store->Folder() + L"20200101-000000-000-test\\";
    REQUIRE(::CreateDirectoryW(damaged.c_str(), nullptr));
    sktest::WriteBytes(damaged + L"manifest.json", {'{', 'x'});
    // Still being written by an operation that runs.
    auto running = f.Begin(L"Plug-in removal", {L"Coupon Finder Helper"});

    TfrmRestorePoints& window = f.Open();
    RECT rc{};
    ::GetClientRect(window.Handle(), &rc);
    CHECK(rc.right == 600);
    CHECK(rc.bottom == 470);
    CHECK(sktest::WindowText(window.Handle()) == L"Restore points");
    CHECK(window.lblTitle.Caption() == L"Restore points");
    CHECK(sktest::WindowText(window.btnRestore.Handle()) == L"Restore");
    CHECK(sktest::WindowText(window.btnOK.Handle()) == L"Close");
    CHECK(window.StatusText() == L"Restore points: 5");

    const auto& points = window.Points();
    REQUIRE(points.size() == 5);
    const auto lines = window.PointLines();
    REQUIRE(lines.size() == 5);
    const std::vector<std::vector<std::wstring>> expected = {
        {RestorePointTimeText(points[0].Started), L"Plug-in removal", L"Coupon Finder Helper", L"In progress"},
        {RestorePointTimeText(points[1].Started), L"Shield on", L"", L"Interrupted"},
        {RestorePointTimeText(points[2].Started), L"Quiet change", L"", L"Complete"},
        {RestorePointTimeText(points[3].Started), L"Repair", L"Restore IE title bar., Enable \"Internet Options\".",
         L"Complete"},
        {RestorePointTimeText(points[4].Started), L"test", L"", L"Damaged"},
    };
    for (size_t i = 0; i < expected.size(); ++i) {
        CAPTURE(i);
        CHECK(lines[i] == expected[i]);
        CHECK_FALSE(lines[i][0].empty());
    }
    CHECK(points[0].Id == running->Id());
    CHECK(points[4].Id == L"20200101-000000-000-test");

    // The newest is selected at the start: it cannot be put back while it is being written.
    CHECK(window.SelectedIndex() == 0);
    CHECK(window.DetailCaption() ==
          Fmt(IDS_RESTOREPOINTS_DetailInProgress, L"Plug-in removal", RestorePointTimeText(points[0].Started)));
    CHECK(window.DetailLines().empty());
    CHECK_FALSE(window.actRestore.Enabled());
    CHECK_FALSE(window.btnRestore.Enabled());

    SUBCASE("a complete point: its rows") {
        window.SelectPoint(3);
        CHECK(window.DetailCaption() ==
              L"What \"Repair\" on " + RestorePointTimeText(points[3].Started) + L" changed:");
        CHECK(window.DetailColumns() == std::vector<std::wstring>{L"Item", L"Before", L"After"});
        const std::vector<std::vector<std::wstring>> rows = {{L"Window title", L"Hijacked!", L""},
                                                             {L"No browser options", L"1", L"(absent)"}};
        CHECK(window.DetailLines() == rows);
        CHECK(window.actRestore.Enabled());
        CHECK(window.btnRestore.Enabled());
    }
    SUBCASE("a complete point without rows: the places it changed") {
        window.SelectPoint(2);
        CHECK(window.DetailLines() == std::vector<std::vector<std::wstring>>{
                                          {Where(f.Key, L"Quiet"), L"(absent)", Shows(RegNumber(5))}});
        CHECK(window.actRestore.Enabled());
    }
    SUBCASE("an interrupted point: what it recorded, against what is there now") {
        window.SelectPoint(1);
        CHECK(window.DetailCaption() == Fmt(IDS_RESTOREPOINTS_DetailInterrupted, L"Shield on",
                                            RestorePointTimeText(points[1].Started), 1));
        CHECK(window.DetailColumns() == std::vector<std::wstring>{L"Place", L"Before the Operation", L"Now"});
        const auto detail = window.DetailLines();
        REQUIRE(detail.size() == 1);
        CHECK(detail[0][0] == file);
        CHECK(detail[0][1].rfind(L"6 bytes, SHA-256 ", 0) == 0);
        CHECK(detail[0][2].rfind(L"4 bytes, SHA-256 ", 0) == 0);
        CHECK(window.actRestore.Enabled());
    }
    SUBCASE("a damaged point: why it cannot be read, and no Restore") {
        window.SelectPoint(4);
        CHECK(window.DetailCaption().rfind(L"This restore point cannot be read: ", 0) == 0);
        CHECK(window.DetailLines().empty());
        CHECK_FALSE(window.actRestore.Enabled());
        window.actRestore.Execute();  // disabled: nothing happens
        CHECK(gBoxes.empty());
    }
    SUBCASE("the user's selection by hand shows its point") {
        ListView_SetItemState(window.lstPoints, 3, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
        CHECK(window.SelectedIndex() == 3);
        REQUIRE(sktest::PumpUntil([&] { return window.DetailLines().size() == 2; }, 2000));
        CHECK(window.actRestore.Enabled());
        // The arrow keys move the selection.
        ::PostMessageW(window.lstPoints, WM_KEYDOWN, VK_UP, 0);
        ::PostMessageW(window.lstPoints, WM_KEYUP, VK_UP, 0);
        REQUIRE(sktest::PumpUntil([&] { return window.SelectedIndex() == 2 && window.DetailLines().size() == 1; },
                                  2000));
        CHECK(window.DetailLines()[0][0] == Where(f.Key, L"Quiet"));
    }
    CHECK(gBoxes.empty());
}

TEST_CASE("Restore puts back exactly what the operation found, and is a restore point itself") {
    sktest::TMessageBoxRecorder boxes(IDYES);
    TFixture f;
    const std::vector<std::pair<std::wstring, TRegValue>> before = {
        {L"Text", RegText(L"old")},
        {L"Bin", Raw({0, 1, 2, 0xFF}, REG_BINARY)},
        {L"Odd", Raw({1, 2, 3}, 0x1234)},  // a type of its own
        {L"Gone", RegText(L"%TEMP%\\x", REG_EXPAND_SZ)},
    };
    for (const auto& [name, value] : before) WriteReal(f.Key, name, value);
    for (const auto& [name, value] : before) REQUIRE(RealValue(f.Key, name) == value);
    const std::wstring file = f.Dir / L"settings.dat";
    const std::vector<unsigned char> fileBytes = {0, 'a', 0xFF, '\r', '\n', 7};
    sktest::WriteBytes(file, fileBytes);
    {
        auto point = f.Begin(L"Test operation", {L"first", L"second"});
        f.Write(*point, L"Text", RegText(L"new"));
        f.Write(*point, L"Bin", RegBytes({9}));
        f.Write(*point, L"Odd", RegNumber(1));
        f.Write(*point, L"Fresh", RegText(L"made"));
        {
            TRegistryStore store(point->Registry(), HKCU);
            REQUIRE(store.Open(f.Key, false));
            CHECK(store.RemoveValue(L"Gone"));
            store.AddSubkey(L"Made\\Inner");
        }
        point->CaptureFile(file);
        sktest::WriteBytes(file, {'n', 'e', 'w'});
        point->Complete({{L"Text", L"old", L"new"}});
    }
    TfrmRestorePoints& window = f.Open();
    REQUIRE(window.Points().size() == 1);
    const std::wstring when = RestorePointTimeText(window.Points()[0].Started);
    window.SelectPoint(0);

    ::PostMessageW(window.btnRestore.Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10));
    ::PostMessageW(window.btnRestore.Handle(), WM_LBUTTONUP, 0, MAKELPARAM(10, 10));
    REQUIRE(sktest::PumpUntil([&] { return window.Points().size() == 2; }, 10000));

    // Asked once, with what will change.
    REQUIRE(gBoxes.size() == 1);
    CHECK(gBoxes[0].Caption == L"Restore points");
    CHECK(gBoxes[0].Style == (MB_YESNO | MB_ICONQUESTION));
    CHECK(gBoxes[0].Text ==
          L"Put back the state from before \"Test operation\" on " + when +
              L"?\r\n\r\nSettings that will change: 8. The restore makes a restore point of its own, so it can "
              L"be undone too.");

    // Every value with its type and bytes, the deleted one back, the made ones gone, the file whole.
    for (const auto& [name, value] : before) {
        CAPTURE(sktest::Narrow(name));
        CHECK(RealValue(f.Key, name) == value);
    }
    CHECK_FALSE(RealValue(f.Key, L"Fresh"));
    CHECK_FALSE(RealKeyExists(f.Key + L"\\Made"));
    CHECK(sktest::ReadBytes(file) == fileBytes);

    // The restore is listed first, selected, with what it changed; the tabs are told once.
    CHECK(f.MachineChanges == 1);
    CHECK(window.SelectedIndex() == 0);
    CHECK(window.PointLines()[0][1] == L"Restore of Test operation");
    CHECK(window.PointLines()[0][2] == L"first, second");
    CHECK(StateShown(window, 0) == L"Complete");
    CHECK(window.Points()[0].Restores == window.Points()[1].Id);
    const auto detail = window.DetailLines();
    CHECK(detail.size() == 8);  // the made key and the key beneath it count apart
    CHECK(std::find(detail.begin(), detail.end(),
                    std::vector<std::wstring>{Where(f.Key, L"Text"), Shows(RegText(L"new")), Shows(RegText(L"old"))}) !=
          detail.end());
    CHECK(window.StatusText() == Fmt(IDS_RESTOREPOINTS_Restored, 8));

    SUBCASE("the restore can be undone through its own point") {
        gBoxes.clear();
        window.actRestore.Execute();
        REQUIRE(gBoxes.size() == 1);
        CHECK(RealValue(f.Key, L"Text") == RegText(L"new"));
        CHECK(RealValue(f.Key, L"Fresh") == RegText(L"made"));
        CHECK(sktest::ReadBytes(file) == std::vector<unsigned char>{'n', 'e', 'w'});
        CHECK(window.Points().size() == 3);
        CHECK(window.PointLines()[0][1] == L"Restore of Restore of Test operation");
        CHECK(f.MachineChanges == 2);
    }
    SUBCASE("the operation's point again: already as it was, so nothing to put back and nothing asked") {
        window.SelectPoint(1);
        gBoxes.clear();
        window.actRestore.Execute();
        REQUIRE(gBoxes.size() == 1);
        CHECK(gBoxes[0].Style == (MB_OK | MB_ICONINFORMATION));
        CHECK(gBoxes[0].Text == L"Everything \"Test operation\" on " + when +
                                    L" recorded is already as it was before it. There is nothing to put back.");
        CHECK(window.Points().size() == 2);
        CHECK(f.MachineChanges == 1);
    }
}

TEST_CASE("a value the user changed since: the difference is shown, No writes nothing, Yes restores") {
    TFixture f;
    WriteReal(f.Key, L"Start Page", RegText(L"about:blank"));
    WriteReal(f.Key, L"Other", RegNumber(1));
    {
        auto point = f.Begin(L"Repair", {L"Set blank page"});
        f.Write(*point, L"Start Page", RegText(L"http://home.example/"));
        f.Write(*point, L"Other", RegNumber(2));
        point->Complete({{L"Start page", L"about:blank", L"http://home.example/"}});
    }
    // Afterwards the user (or another program) sets a page of their own.
    WriteReal(f.Key, L"Start Page", RegText(L"http://mine.example/"));

    TfrmRestorePoints& window = f.Open();
    window.SelectPoint(0);
    const std::wstring when = RestorePointTimeText(window.Points()[0].Started);
    const std::wstring where = Where(f.Key, L"Start Page");
    const std::wstring left = Shows(RegText(L"http://home.example/")), now = Shows(RegText(L"http://mine.example/"));
    {
        sktest::TMessageBoxRecorder no(IDNO);
        window.actRestore.Execute();
        REQUIRE(gBoxes.size() == 1);
        CHECK(gBoxes[0].Style == (MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2));
        CHECK(gBoxes[0].Text == L"Since \"Repair\" on " + when +
                                    L", you or another program changed 1 of the settings it recorded:\r\n\r\n" + where +
                                    L"\r\n    left by the operation: " + left + L"\r\n    now: " + now +
                                    L"\r\n\r\nPut back the state from before the operation anyway and overwrite these "
                                    L"changes?");
        // The window lists the differences too.
        CHECK(window.DetailCaption() == L"Changed since \"Repair\" on " + when + L", by you or another program:");
        CHECK(window.DetailColumns() == std::vector<std::wstring>{L"Place", L"Left by the Operation", L"Now"});
        CHECK(window.DetailLines() == std::vector<std::vector<std::wstring>>{{where, left, now}});
        // Nothing written, no new point, the tabs not disturbed.
        CHECK(RealValue(f.Key, L"Start Page") == RegText(L"http://mine.example/"));
        CHECK(RealValue(f.Key, L"Other") == RegNumber(2));
        CHECK(window.Points().size() == 1);
        CHECK(f.MachineChanges == 0);
        CHECK(window.StatusText() == L"Nothing was put back.");
    }
    {
        sktest::TMessageBoxRecorder yes(IDYES);
        window.actRestore.Execute();
        REQUIRE(gBoxes.size() == 1);  // the same question, answered Yes
        CHECK(gBoxes[0].Style == (MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2));
        CHECK(RealValue(f.Key, L"Start Page") == RegText(L"about:blank"));
        CHECK(RealValue(f.Key, L"Other") == RegNumber(1));
        CHECK(window.Points().size() == 2);
        CHECK(window.PointLines()[0][1] == L"Restore of Repair");
        CHECK(f.MachineChanges == 1);
    }
}

namespace {

// Message boxes answered by a function of the test: the value changes once more while the user
// reads the question, then the answer is Yes.
struct TMovingAnswer {
    static inline std::wstring Key;
    static inline std::vector<sktest::TShownBox> Shown;
    static int Answer(HWND, const std::wstring& text, const std::wstring& caption, UINT style) {
        Shown.push_back({text, caption, style});
        if (Shown.size() == 1) WriteReal(Key, L"Start Page", RegText(L"http://other.example/"));
        return (style & MB_YESNO) ? IDYES : IDOK;
    }
};

}  // namespace

TEST_CASE("the state changes again while the user decides: nothing is written, and the error box says so") {
    TFixture f;
    WriteReal(f.Key, L"Start Page", RegText(L"about:blank"));
    {
        auto point = f.Begin(L"Repair");
        f.Write(*point, L"Start Page", RegText(L"http://home.example/"));
        point->Complete({});
    }
    WriteReal(f.Key, L"Start Page", RegText(L"http://mine.example/"));
    TfrmRestorePoints& window = f.Open();
    TMovingAnswer::Key = f.Key;
    TMovingAnswer::Shown.clear();
    SetMessageBoxHook(TMovingAnswer::Answer);
    window.actRestore.Execute();
    SetMessageBoxHook(nullptr);
    REQUIRE(TMovingAnswer::Shown.size() == 2);
    CHECK(TMovingAnswer::Shown[0].Style == (MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2));
    CHECK(TMovingAnswer::Shown[1].Style == (MB_OK | MB_ICONSTOP));
    CHECK(TMovingAnswer::Shown[1].Text == ErrorBoxText(IDS_RESTORE_ChangedAgain));
    CHECK(RealValue(f.Key, L"Start Page") == RegText(L"http://other.example/"));
    CHECK(window.Points().size() == 1);
    CHECK(f.MachineChanges == 0);
    CHECK(window.StatusText() == L"Nothing was put back.");
}

TEST_CASE("many differences: the question names the first few and the window lists them all") {
    sktest::TMessageBoxRecorder no(IDNO);
    TFixture f;
    WriteReal(f.Key, L"here", RegNumber(0));  // the key is not the operation's
    {
        auto point = f.Begin(L"Repair");
        for (int i = 0; i < 12; ++i) f.Write(*point, L"v" + std::to_wstring(i), RegNumber(i));
        point->Complete({});
    }
    for (int i = 0; i < 12; ++i) WriteReal(f.Key, L"v" + std::to_wstring(i), RegText(std::wstring(300, L'x')));
    TfrmRestorePoints& window = f.Open();
    window.actRestore.Execute();
    REQUIRE(gBoxes.size() == 1);
    const std::wstring& text = gBoxes[0].Text;
    CHECK(text.find(Where(f.Key, L"v7")) != std::wstring::npos);
    CHECK(text.find(Where(f.Key, L"v8")) == std::wstring::npos);
    CHECK(text.find(L"... and 4 more, listed in the Restore points window.") != std::wstring::npos);
    CHECK(text.find(std::wstring(300, L'x')) == std::wstring::npos);  // long states are cut short
    CHECK(window.DetailLines().size() == 12);
    CHECK(window.DetailLines()[0][2] == Shows(RegText(std::wstring(300, L'x'))));
    CHECK(RealValue(f.Key, L"v0") == RegText(std::wstring(300, L'x')));
}

TEST_CASE("an interrupted point puts back what it recorded") {
    sktest::TMessageBoxRecorder yes(IDYES);
    TFixture f;
    WriteReal(f.Key, L"Text", RegText(L"old"));
    {
        auto point = f.Begin(L"Plug-in removal", {L"SearchHelper Toolbar"});
        f.Write(*point, L"Text", RegText(L"new"));
        TRegistryStore store(point->Registry(), HKCU);
        REQUIRE(store.Open(f.Key, false));
        store.AddSubkey(L"Made");
        // The operation ends here without completing, as when the program is killed.
    }
    TfrmRestorePoints& window = f.Open();
    REQUIRE(window.Points().size() == 1);
    CHECK(StateShown(window, 0) == L"Interrupted");
    const std::wstring when = RestorePointTimeText(window.Points()[0].Started);
    CHECK(window.DetailCaption() ==
          L"\"Plug-in removal\" on " + when +
              L" was interrupted before it completed. Restore puts back what it recorded and changed (places "
              L"recorded: 2):");
    CHECK(window.DetailLines() ==
          std::vector<std::vector<std::wstring>>{
              {Where(f.Key, L"Text"), Shows(RegText(L"old")), Shows(RegText(L"new"))},
              {DescribeRegKey({HKCU, TRegView::Native, f.Key + L"\\Made"}), L"(no key)", L"(key)"}});

    window.actRestore.Execute();
    REQUIRE(gBoxes.size() == 1);
    CHECK(gBoxes[0].Style == (MB_YESNO | MB_ICONQUESTION));
    CHECK(RealValue(f.Key, L"Text") == RegText(L"old"));
    CHECK_FALSE(RealKeyExists(f.Key + L"\\Made"));
    REQUIRE(window.Points().size() == 2);
    CHECK(window.PointLines()[0][1] == L"Restore of Plug-in removal");
    CHECK(StateShown(window, 0) == L"Complete");
    CHECK(f.MachineChanges == 1);

    SUBCASE("selected again, it has nothing left to put back") {
        window.SelectPoint(1);
        CHECK(window.DetailCaption() == L"\"Plug-in removal\" on " + when +
                                            L" was interrupted before it completed. Everything it recorded is still "
                                            L"as it was before it: there is nothing to put back.");
        CHECK(window.DetailLines().empty());
    }
}

TEST_CASE("an empty store: the window says how points come about") {
    TFixture f;
    TfrmRestorePoints& window = f.Open();
    CHECK(window.Points().empty());
    CHECK(window.DetailCaption() == IDS_RESTOREPOINTS_NoPoints);
    CHECK_FALSE(window.actRestore.Enabled());
    CHECK(window.StatusText() == L"Restore points: 0");
}

namespace {

// A tab that only counts how often the machine changed under it.
class TProbeTab : public TTabPage {
public:
    std::wstring Caption() const override { return L"Probe"; }
    void CreatePage(HWND, HWND) override {}
    void MachineChanged() override { ++Changes; }
    int Changes = 0;
};

// Runs step on the Restore points window once it shows (from inside its modal loop), then closes it
// with its Close button; a window still open ten seconds later is closed so that no test hangs.
class TOnRestoreWindow {
public:
    explicit TOnRestoreWindow(std::function<void(TfrmRestorePoints&)> step) : FStep(std::move(step)) {
        gActive = this;
        FStarted = ::GetTickCount64();
        FTimer = ::SetTimer(nullptr, 0, 20, Tick);
    }
    ~TOnRestoreWindow() {
        ::KillTimer(nullptr, FTimer);
        gActive = nullptr;
    }
    bool Ran() const { return FRan; }
    bool Aborted() const { return FAborted; }

    static TfrmRestorePoints* Shown() {
        const HWND wnd = ::FindWindowW(TfrmRestorePoints::kClassName, nullptr);
        if (!wnd || !::IsWindowVisible(wnd)) return nullptr;
        return dynamic_cast<TfrmRestorePoints*>(TWindow::FromHandle(wnd));
    }

private:
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
        TOnRestoreWindow* self = gActive;
        if (!self || self->FRunning) return;
        TfrmRestorePoints* window = Shown();
        if (!window) return;
        if (self->FRan) {
            if (::GetTickCount64() - self->FStarted < 10000) return;
            self->FAborted = true;
            SetModalResult(window->Handle(), IDABORT);
            return;
        }
        self->FRunning = true;
        self->FRan = true;
        self->FStep(*window);
        self->FRunning = false;
        ::PostMessageW(window->btnOK.Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10));
        ::PostMessageW(window->btnOK.Handle(), WM_LBUTTONUP, 0, MAKELPARAM(10, 10));
    }
    static inline TOnRestoreWindow* gActive = nullptr;
    std::function<void(TfrmRestorePoints&)> FStep;
    UINT_PTR FTimer = 0;
    ULONGLONG FStarted = 0;
    bool FRan = false, FRunning = false, FAborted = false;
};

void ClickLabel(const TKivLabel& label) {
    const int x = label.Left() + label.Width() / 2, y = label.Top() + label.Height() / 2;
    ::PostMessageW(label.Parent(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
    ::PostMessageW(label.Parent(), WM_LBUTTONUP, 0, MAKELPARAM(x, y));
}

// The main window with the Repair, Plug-ins and Security tabs on an in-memory registry and scratch
// files, and a probe tab.
struct TMainFixture {
    sktest::TMessageBoxRecorder Boxes{IDYES};
    TTempDir Dir;
    TMemoryRegistryBackend Registry;
    std::wstring Hosts = Dir / L"etc-hosts";
    std::unique_ptr<TIESecurity> Security;
    std::unique_ptr<TIEPlugInCleaner> PlugIns;
    std::unique_ptr<TfrmSurfkeep> Form;
    TPlugInTab* PlugInTab = nullptr;
    TSecurityTab* SecurityTab = nullptr;
    TProbeTab* Probe = nullptr;

    TMainFixture() {
        sktest::StartProgramIn(Dir);
        sktest::RepairEverything(Registry);
        sktest::WriteBytes(Hosts, {'#', ' ', 'm', 'i', 'n', 'e', '\r', '\n', '1', '2', '7', '.', '0', '.', '0', '.',
                                   '1', ' ', 'a', 'd', 's', '.', 'e', 'x', 'a', 'm', 'p', 'l', 'e', '\r', '\n'});
        TIESecurityOptions options = sktest::ScratchShieldPlaces(Dir, Hosts);
        options.SettingsFileName = ConfigFileName;
        Security = std::make_unique<TIESecurity>(options);
        PlugIns = std::make_unique<TIEPlugInCleaner>(Registry, Dir / L"backup\\plugins");
        TfrmSurfkeep::SetShellOpenHook([](const std::wstring&) {});
    }
    ~TMainFixture() {
        Form.reset();
        TfrmSurfkeep::SetShellOpenHook(nullptr);
    }
    TfrmSurfkeep& Open() {
        TfrmSurfkeepArgs args;
        args.RepairTab = std::make_unique<TRepairTab>(Registry);
        auto plugIns = std::make_unique<TPlugInTab>(*PlugIns);
        PlugInTab = plugIns.get();
        args.Others.push_back(std::move(plugIns));
        auto security = std::make_unique<TSecurityTab>(*Security);
        SecurityTab = security.get();
        args.Others.push_back(std::move(security));
        auto probe = std::make_unique<TProbeTab>();
        Probe = probe.get();
        args.Others.push_back(std::move(probe));
        Form = std::make_unique<TfrmSurfkeep>(std::move(args));
        REQUIRE(Form->Create());
        Form->Show(SW_SHOWNOACTIVATE);
        sktest::PumpFor(50);
        return *Form;
    }
};

bool Overlap(const TKivLabel& a, const RECT& b) {
    const RECT r = a.BoundsRect();
    RECT both{};
    return ::IntersectRect(&both, &r, &b) != FALSE;
}

RECT BoundsOf(HWND child) {
    RECT r{};
    ::GetWindowRect(child, &r);
    ::MapWindowPoints(HWND_DESKTOP, ::GetParent(child), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

}  // namespace

TEST_CASE("the main window: the help menu and each tab's link open the window; a restore there refreshes the tabs") {
    TMainFixture f;
    // The shield was turned on, as its operation records it: the hosts file and the switch.
    const std::vector<unsigned char> userHosts = sktest::ReadBytes(f.Hosts);
    {
        const TRestoreStore store(ProgramFolder + L"backup\\");
        auto point = TRestorePoint::Begin(store, {L"shield-on", L"Turn on the shield", {}});
        point->CaptureFile(f.Hosts);
        point->CaptureSetting(ConfigFileName, kSettingsSection, kIESecurityOnKey);
        sktest::WriteBytes(f.Hosts, {'1', '2', '7', '.', '0', '.', '0', '.', '1', ' ', 'b', 'a', 'd', '.', 'e', 'x',
                                     'a', 'm', 'p', 'l', 'e', '\r', '\n'});
        TProfileFile(ConfigFileName).WriteBool(kSettingsSection, kIESecurityOnKey, true);
        point->Complete({{L"Security shield", L"Off", L"On"}});
    }
    TfrmSurfkeep& form = f.Open();
    CHECK(f.Security->ShieldOn);
    CHECK(f.SecurityTab->ListedLines() == std::vector<std::wstring>{L"1. bad.example"});

    CHECK(form.HelpMenuTexts() == std::vector<std::wstring>{L"Help\tF1", L"", L"Homepage", L"Contact Us", L"Forum", L"",
                                                             L"Update hosts data", L"Restore points", L"",
                                                             L"About..."});

    // The links: on each tab, clear of the other links and the buttons.
    const TKivLabel& repairLink = form.RepairTab().RestorePointsLink(false);
    const TKivLabel& resultLink = form.RepairTab().RestorePointsLink(true);
    const TKivLabel& plugInLink = f.PlugInTab->lblPlugIn_RestorePoints;
    const TKivLabel& securityLink = f.SecurityTab->lblSecurity_RestorePoints;
    for (const TKivLabel* link : {&repairLink, &resultLink, &plugInLink, &securityLink}) {
        CHECK(link->Caption() == L"Restore points");
        CHECK(link->Visible());
    }
    CHECK(repairLink.Left() + repairLink.Width() == 579);
    CHECK(plugInLink.Left() + plugInLink.Width() == 579);
    CHECK_FALSE(Overlap(plugInLink, f.PlugInTab->lblPlugIn_SelectNone.BoundsRect()));
    CHECK_FALSE(Overlap(plugInLink, BoundsOf(f.PlugInTab->btnIEPlugIn_Scan.Handle())));
    CHECK_FALSE(Overlap(plugInLink, BoundsOf(f.PlugInTab->tvPlugIn.Handle())));
    CHECK_FALSE(Overlap(securityLink, f.SecurityTab->lblSecurity_Status.BoundsRect()));
    CHECK_FALSE(Overlap(securityLink, f.SecurityTab->lblSecurity_Warning.BoundsRect()));

    SUBCASE("each tab's link opens the window modally") {
        struct TCase {
            int Tab;
            const TKivLabel* Link;
        } const cases[] = {{0, &repairLink}, {1, &plugInLink}, {2, &securityLink}};
        for (const TCase& c : cases) {
            CAPTURE(c.Tab);
            form.pgcMain().Select(c.Tab);
            bool modal = false;
            size_t listed = 0;
            TOnRestoreWindow when([&](TfrmRestorePoints& window) {
                modal = ::IsWindowEnabled(form.Handle()) == FALSE;
                listed = window.Points().size();
            });
            ClickLabel(*c.Link);
            REQUIRE(sktest::PumpUntil([&] { return when.Ran() && !TOnRestoreWindow::Shown(); }, 15000));
            CHECK_FALSE(when.Aborted());
            CHECK(modal);
            CHECK(listed == 1);
            CHECK(::IsWindowEnabled(form.Handle()));
        }
        CHECK(f.Probe->Changes == 0);
        CHECK(sktest::ReadBytes(f.Hosts) != userHosts);
    }
    SUBCASE("a restore from the help command: the hosts file and the shield's state go back, the tabs read again") {
        // Meanwhile the machine changed in ways the tabs have not seen yet.
        {
            TRegistryStore store(f.Registry, HKCU);
            REQUIRE(store.Open(L"Software\\Microsoft\\Internet Explorer\\Main", true));
            store.WriteText(L"Window Title", L"Hijacked!");
            TRegistryStore menu(f.Registry, HKCU);
            REQUIRE(menu.Open(std::wstring(kMenuExtPath) + L"\\Send to &OneNote", true));
            menu.WriteText(L"", L"res://addon.dll/201");
        }
        form.RepairTab().actIERepair_Repair.Execute();  // the result page shows
        REQUIRE(form.RepairTab().ShowingResults());
        f.Boxes.Clear();
        TOnRestoreWindow when([&](TfrmRestorePoints& window) {
            window.SelectPoint(0);
            window.actRestore.Execute();
        });
        form.actRestorePoints.Execute();
        REQUIRE(when.Ran());
        CHECK_FALSE(when.Aborted());
        REQUIRE(f.Boxes.Boxes().size() == 1);
        CHECK(f.Boxes.Boxes()[0].Caption == L"Restore points");

        // Byte for byte, and the switch off again.
        CHECK(sktest::ReadBytes(f.Hosts) == userHosts);
        CHECK_FALSE(TProfileFile(ConfigFileName).ReadBool(kSettingsSection, kIESecurityOnKey, true));
        CHECK(f.Probe->Changes == 1);
        CHECK_FALSE(f.Security->ShieldOn);
        CHECK(f.SecurityTab->imgOff.Visible());
        CHECK_FALSE(f.SecurityTab->imgOn.Visible());
        CHECK(f.SecurityTab->ListedLines() == std::vector<std::wstring>{L"1. ads.example"});
        // The Repair tab is back on its list, scanned again; the Plug-ins tab listed again.
        CHECK_FALSE(form.RepairTab().ShowingResults());
        CHECK(form.RepairTab().Lines()[0].Ticked);
        CHECK(form.RepairTab().Lines()[0].Data == 3);
        REQUIRE(f.PlugInTab->ContextMenuGroup());
        CHECK(f.PlugInTab->ContextMenuGroup()->Children.size() == 1);
        // The new point is there for the next time.
        const TRestoreStore store(ProgramFolder + L"backup\\");
        const auto points = store.List();
        REQUIRE(points.size() == 2);
        CHECK(points[0].Title == L"Restore of Turn on the shield");
    }
}
