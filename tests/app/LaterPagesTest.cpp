// The main window makes the pages of the tabs it does not show at start after its first paint, or
// when one is first needed: driven in-process under Xvfb, on an in-memory registry and scratch files.
#include "TestSupport.h"
#include "WholeWindow.h"
#include "UiTestSupport.h"

#include <memory>

#include "MessageBoxRecorder.h"
#include "app/FormSurfkeep.h"
#include "base/Errors.h"
#include "base/ProfileFile.h"
#include "base/Settings.h"
#include "base/StringTable.h"
#include "plugins/IEPlugInFuncs.h"
#include "plugins/ui/PlugInTab.h"
#include "registry/RegistryTree.h"
#include "repair/ui/RepairTab.h"
#include "security/IESecurityFuncs.h"
#include "security/ui/SecurityTab.h"

using namespace sk;
using sktest::TTempDir;

namespace {

std::vector<sktest::TShownBox>& gBoxes = sktest::TMessageBoxRecorder::Boxes();

// A tab that writes down each step the window runs on it, in one log shared by all of them.
class TLogTab : public TTabPage {
public:
    TLogTab(std::wstring name, std::vector<std::wstring>& log) : FName(std::move(name)), FLog(log) {}
    std::wstring Caption() const override { return FName; }
    void CreatePage(HWND sheet, HWND) override {
        FSheet = sheet;
        Note(L"create");
    }
    void ApplyTexts() override { Note(L"texts"); }
    void Start() override {
        Note(L"start");
        if (!StartError.empty()) throw TError(StartError);
    }
    void FormShow() override { Note(L"show"); }
    HWND Sheet() const { return FSheet; }
    std::wstring StartError;

private:
    void Note(const wchar_t* step) { FLog.push_back(FName + L" " + step); }
    std::wstring FName;
    std::vector<std::wstring>& FLog;
    HWND FSheet = nullptr;
};

// Repair, Plug-ins (one context-menu entry), Security (two blocked hosts) and two logging tabs.
struct TFixture {
    sktest::TMessageBoxRecorder Boxes;
    TTempDir Dir;
    TMemoryRegistryBackend Registry;
    std::unique_ptr<TIESecurity> Security;
    std::unique_ptr<TIEPlugInCleaner> PlugIns;
    std::unique_ptr<TfrmSurfkeep> Form;
    TPlugInTab* PlugInTab = nullptr;
    TSecurityTab* SecurityTab = nullptr;
    TLogTab *First = nullptr, *Second = nullptr;
    std::vector<std::wstring> Log;

    TFixture() {
        sktest::StartProgramIn(Dir);
        sktest::RepairEverything(Registry);
        TRegistryStore menu(Registry, TRegRoot::CurrentUser);
        REQUIRE(menu.Open(std::wstring(kMenuExtPath) + L"\\Send to &OneNote", true));
        menu.WriteText(L"", L"res://addon.dll/201");
        const std::wstring hosts = Dir / L"etc-hosts";
        sktest::WriteBytes(hosts, {'1', '2', '7', '.', '0', '.', '0', '.', '1', ' ', 'a', '.', 'e', 'x', 'a', 'm', 'p',
                                   'l', 'e', '\r', '\n', '1', '2', '7', '.', '0', '.', '0', '.', '1', ' ', 'b', '.', 'e',
                                   'x', 'a', 'm', 'p', 'l', 'e', '\r', '\n'});
        TIESecurityOptions options = sktest::ScratchShieldPlaces(Dir, hosts);
        options.SettingsFileName = ConfigFileName;
        Security = std::make_unique<TIESecurity>(options);
        PlugIns = std::make_unique<TIEPlugInCleaner>(Registry, Dir / L"backup\\plugins");
        TfrmSurfkeep::SetShellOpenHook([](const std::wstring&) {});
    }
    ~TFixture() {
        Form.reset();
        TfrmSurfkeep::SetShellOpenHook(nullptr);
    }
    // The window made and shown, with no message run yet.
    TfrmSurfkeep& Show() {
        TfrmSurfkeepArgs args;
        args.RepairTab = std::make_unique<TRepairTab>(Registry);
        auto plugIns = std::make_unique<TPlugInTab>(*PlugIns);
        PlugInTab = plugIns.get();
        args.Others.push_back(std::move(plugIns));
        auto security = std::make_unique<TSecurityTab>(*Security);
        SecurityTab = security.get();
        args.Others.push_back(std::move(security));
        auto first = std::make_unique<TLogTab>(L"first", Log);
        First = first.get();
        args.Others.push_back(std::move(first));
        auto second = std::make_unique<TLogTab>(L"second", Log);
        Second = second.get();
        args.Others.push_back(std::move(second));
        Form = std::make_unique<TfrmSurfkeep>(std::move(args));
        REQUIRE(Form->Create());
        Form->Show(SW_SHOWNOACTIVATE);
        return *Form;
    }
    bool AllMade() const {
        for (int i = 0; i < Form->pgcMain().Count(); ++i)
            if (!Form->PageMade(i)) return false;
        return true;
    }
    // What the Plug-ins and Security tabs show.
    std::vector<std::wstring> Shown() const {
        std::vector<std::wstring> shown;
        for (const TCheckNode* group : PlugInTab->tvPlugIn.TopLevel()) {
            shown.push_back(group->Text);
            for (const TCheckNode* item : group->Children) shown.push_back(L"  " + item->Text);
        }
        for (const std::wstring& line : SecurityTab->ListedLines()) shown.push_back(line);
        shown.push_back(SecurityTab->lblSecurity_DataInfo.Caption());
        shown.push_back(SecurityTab->lblSecurity_Info.Caption());
        return shown;
    }
};

// Holds Ctrl down for this thread's key state while it lives.
struct TCtrlHeld {
    TCtrlHeld() { Set(0x80); }
    ~TCtrlHeld() { Set(0); }
    static void Set(BYTE state) {
        BYTE keys[256] = {};
        ::GetKeyboardState(keys);
        keys[VK_CONTROL] = keys[VK_LCONTROL] = state;
        ::SetKeyboardState(keys);
    }
};

// What the two tabs show once made in idle time, as the window left alone makes them.
std::vector<std::wstring> ShownWhenMadeInIdleTime() {
    TFixture f;
    f.Show();
    REQUIRE(sktest::PumpUntil([&] { return f.AllMade(); }, 5000));
    f.Form->pgcMain().Select(1);
    return f.Shown();
}

}  // namespace

TEST_CASE("the tabs not shown at start are made after the first paint, each step for all of them in tab order") {
    TFixture f;
    TfrmSurfkeep& form = f.Show();
    // Shown with the Repair tab's page alone, its first scan done.
    CHECK(form.PageMade(0));
    CHECK(form.RepairTab().Lines().size() == 22);
    for (int i = 1; i < form.pgcMain().Count(); ++i) CHECK_FALSE(form.PageMade(i));
    CHECK(f.Log.empty());
    CHECK(form.pgcMain().Selected() == 0);

    REQUIRE(sktest::PumpUntil([&] { return f.AllMade(); }, 5000));
    sktest::PumpFor(50);
    CHECK(f.Log == std::vector<std::wstring>{L"first create", L"second create", L"first texts", L"second texts",
                                             L"first start", L"second start", L"first show", L"second show"});
    CHECK(form.pgcMain().Selected() == 0);
    CHECK(gBoxes.empty());
    // Nothing runs twice when the tabs are opened afterwards.
    for (int i = 1; i < form.pgcMain().Count(); ++i) form.pgcMain().Select(i);
    sktest::PumpFor(30);
    CHECK(f.Log.size() == 8);
}

TEST_CASE("a tab opened before its page was made shows what it shows when made in idle time") {
    const std::vector<std::wstring> expected = ShownWhenMadeInIdleTime();
    REQUIRE(expected.size() == 7);
    CHECK(expected[1] == L"  Send to &OneNote");
    CHECK(expected[3] == L"1. a.example");
    CHECK(expected[4] == L"2. b.example");

    TFixture f;
    TfrmSurfkeep& form = f.Show();
    REQUIRE_FALSE(form.PageMade(1));
    SUBCASE("by the mouse") {
        const RECT tab = form.pgcMain().TabRect(1);
        const LPARAM at = MAKELPARAM((tab.left + tab.right) / 2, (tab.top + tab.bottom) / 2);
        ::PostMessageW(form.pgcMain().Handle(), WM_LBUTTONDOWN, MK_LBUTTON, at);
        ::PostMessageW(form.pgcMain().Handle(), WM_LBUTTONUP, 0, at);
        // The click comes before the idle time.
        MSG msg;
        while (::PeekMessageW(&msg, form.pgcMain().Handle(), WM_LBUTTONDOWN, WM_LBUTTONUP, PM_REMOVE))
            ::DispatchMessageW(&msg);
    }
    SUBCASE("by Ctrl+Tab") {
        const TCtrlHeld ctrl;
        MSG msg{form.Handle(), WM_KEYDOWN, VK_TAB, 0};
        CHECK(form.PreTranslate(msg));
    }
    CHECK(form.pgcMain().Selected() == 1);
    CHECK(f.AllMade());
    CHECK(::IsWindowVisible(f.PlugInTab->tvPlugIn.Handle()));
    CHECK(f.Shown() == expected);
    CHECK(f.Log == std::vector<std::wstring>{L"first create", L"second create", L"first texts", L"second texts",
                                             L"first start", L"second start", L"first show", L"second show"});
    // Idle time finds nothing left to do.
    sktest::PumpFor(100);
    CHECK(f.Log.size() == 8);
    CHECK(f.Shown() == expected);
}

TEST_CASE("an error in a later page's step is shown in the error box as at start-up, and the other steps go on") {
    TFixture f;
    // The same error raised at start-up: the box it gives there.
    const std::wstring message = L"Unable to write to " + ConfigFileName;
    RunGuarded(nullptr, [&] { throw TError(message); });
    REQUIRE(gBoxes.size() == 1);
    const sktest::TShownBox atStart = gBoxes[0];
    CHECK(atStart.Text == message + L".");
    gBoxes.clear();

    TfrmSurfkeep& form = f.Show();
    f.First->StartError = message;
    REQUIRE(sktest::PumpUntil([&] { return f.AllMade(); }, 5000));
    sktest::PumpFor(50);
    REQUIRE(gBoxes.size() == 1);
    CHECK(gBoxes[0].Text == atStart.Text);
    CHECK(gBoxes[0].Caption == atStart.Caption);
    CHECK(gBoxes[0].Style == atStart.Style);
    CHECK(f.Log == std::vector<std::wstring>{L"first create", L"second create", L"first texts", L"second texts",
                                             L"first start", L"second start", L"first show", L"second show"});
    CHECK(form.pgcMain().Selected() == 0);
}

TEST_CASE("a restore reaches the pages made so far; making the later ones at once runs every step") {
    TFixture f;
    TfrmSurfkeep& form = f.Show();
    REQUIRE_FALSE(f.AllMade());
    // A page not made yet reads the machine when it is made.
    form.MachineChanged();
    CHECK(f.Log.empty());
    form.MakeLaterPages();
    CHECK(f.AllMade());
    CHECK(f.Log.size() == 8);
    CHECK(f.SecurityTab->ListedLines().size() == 2);
    // "Update hosts data" is the Security tab's own command now.
    CHECK(static_cast<bool>(form.actUpdateWebList.OnExecute));
}

TEST_CASE("a window closed before its later pages were made makes them first, without their first showing") {
    TFixture f;
    TfrmSurfkeep& form = f.Show();
    REQUIRE_FALSE(f.AllMade());
    ::SendMessageW(form.Handle(), WM_CLOSE, 0, 0);
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
    CHECK(form.Handle() == nullptr);
    // What a start writes is written: the shield's switches as the Security tab's start leaves them.
    CHECK(f.Log == std::vector<std::wstring>{L"first create", L"second create", L"first texts", L"second texts",
                                             L"first start", L"second start"});
    CHECK(TProfileFile(ConfigFileName).ReadString(kSettingsSection, kIESecurityOnKey, L"(absent)") == L"0");
    CHECK(gBoxes.empty());
}
