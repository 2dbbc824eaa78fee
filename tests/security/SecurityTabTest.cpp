// The Security tab in the real main window under Xvfb, with the hosts-file manager on files of a
// scratch folder and the list served by our own HTTP server on 127.0.0.1: the shield's state and
// switches, the first 100 entries, the settings, the update and its download, the all-hosts window
// and the add dialog. Nothing here touches the system hosts file.
#include "HttpTestServer.h"
#include "MessageBoxRecorder.h"
#include "UiTestSupport.h"

#include "SecurityTestSupport.h"
#include "TestSupport.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/Format.h"
#include "base/Paths.h"
#include "base/ProfileFile.h"
#include "base/Settings.h"
#include "base/StringTable.h"
#include "app/FormSurfkeep.h"
#include "registry/RegistryStore.h"
#include "registry/Restore.h"
#include "repair/ui/RepairTab.h"
#include "security/ui/FormAddSecurityItem.h"
#include "security/ui/FormAllHostItems.h"
#include "security/ui/SecurityTab.h"

using namespace sk;
using sktest::CrLf;
using sktest::ReadAll;
using sktest::WriteAll;

namespace {

// The texts of the error and message boxes shown (recorded by the fixture's TMessageBoxRecorder).
std::vector<std::wstring>& gBoxes = sktest::TMessageBoxRecorder::Texts();

// Steps run one after another from a thread timer, so they also run inside modal loops and while
// the hosts file is listed. A step may wait for a condition (given up after five seconds; the
// checks after it then say what went wrong). A window of ours still open ten seconds after the
// last step is closed with IDABORT, so that a test never hangs on it.
class TSteps {
public:
    TSteps& Then(std::function<void()> run, DWORD afterMs = 0, std::function<bool()> ready = nullptr) {
        FSteps.push_back({afterMs, std::move(ready), std::move(run)});
        return *this;
    }
    TSteps& When(std::function<bool()> ready, std::function<void()> run) {
        return Then(std::move(run), 0, std::move(ready));
    }
    void Start() {
        gActive = this;
        FNext = 0;
        FStepStart = ::GetTickCount64();
        FTimer = ::SetTimer(nullptr, 0, 15, Tick);
    }
    bool Done() const { return FNext >= FSteps.size(); }
    bool Aborted() const { return FAborted; }
    ~TSteps() {
        CHECK_FALSE(FAborted);
        if (FTimer) ::KillTimer(nullptr, FTimer);
        if (gActive == this) gActive = nullptr;
    }

private:
    struct TStep {
        DWORD AfterMs;
        std::function<bool()> Ready;
        std::function<void()> Run;
    };
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
        TSteps* self = gActive;
        if (!self || self->FRunning) return;
        const ULONGLONG now = ::GetTickCount64();
        if (self->Done()) {
            if (now - self->FStepStart < 10000) return;
            for (const wchar_t* cls : {TfrmShowAll::kClassName, TfrmAddSecurityItem::kClassName}) {
                const HWND wnd = ::FindWindowW(cls, nullptr);
                if (!wnd || !::IsWindowVisible(wnd)) continue;
                self->FAborted = true;
                SetModalResult(wnd, IDABORT);
                ::PostMessageW(wnd, WM_NULL, 0, 0);
            }
            return;
        }
        const TStep& step = self->FSteps[self->FNext];
        if (now - self->FStepStart < step.AfterMs) return;
        if (step.Ready && !step.Ready() && now - self->FStepStart < step.AfterMs + 5000) return;
        self->FRunning = true;
        ++self->FNext;
        step.Run();
        self->FStepStart = ::GetTickCount64();
        self->FRunning = false;
    }
    static inline TSteps* gActive = nullptr;
    std::vector<TStep> FSteps;
    size_t FNext = 0;
    ULONGLONG FStepStart = 0;
    UINT_PTR FTimer = 0;
    bool FRunning = false;
    bool FAborted = false;
};

// A hosts file: comments, the localhost line and `count` entries site1.example, site2.example, ...
std::string HostsText(int count, const std::string& name = "site") {
    std::string text = "# the user's own hosts file\r\n127.0.0.1       localhost\r\n";
    for (int i = 1; i <= count; ++i)
        text += "127.0.0.1\t" + name + std::to_string(i) + ".example\r\n";
    return text + "# end\r\n";
}

// A list as the server holds it: the version marker, then `count` entries.
std::string ListText(const std::string& marker, int count, const std::string& name = "bad") {
    std::string text = "# " + marker + "\r\n127.0.0.1 localhost\r\n";
    for (int i = 1; i <= count; ++i)
        text += "127.0.0.1 " + name + std::to_string(i) + ".example\r\n";
    return text;
}

std::wstring Line(int n, const std::wstring& name = L"site") {
    return std::to_wstring(n) + L". " + name + std::to_wstring(n) + L".example";
}

std::wstring DataInfo(int count) { return Fmt(IDS_IESECURITY_DataInfo, count); }

std::wstring Kb(double bytes) { return FormatNumber2(bytes / 1024.0, true); }

void Click(HWND wnd, int x, int y) {
    ::PostMessageW(wnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
    ::PostMessageW(wnd, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
}

void ClickCenter(HWND wnd) {
    RECT r{};
    ::GetClientRect(wnd, &r);
    Click(wnd, r.right / 2, r.bottom / 2);
}

void ClickLabel(const TKivLabel& label) {
    Click(label.Parent(), label.Left() + label.Width() / 2, label.Top() + label.Height() / 2);
}

void PostKey(HWND wnd, WPARAM key) {
    ::PostMessageW(wnd, WM_KEYDOWN, key, 0);
    ::PostMessageW(wnd, WM_KEYUP, key, 0);
}

// Keys go where the keyboard focus is, as the user's keys do.
void PostKeyToFocus(HWND fallback, WPARAM key) {
    const HWND focus = ::GetFocus();
    PostKey(focus ? focus : fallback, key);
}

void Type(HWND wnd, const std::wstring& text) {
    for (wchar_t c : text)
        ::PostMessageW(wnd, WM_CHAR, c, 0);
}

bool Checked(HWND box) { return ::SendMessageW(box, BM_GETCHECK, 0, 0) == BST_CHECKED; }

std::vector<std::wstring> Lines(int from, int to, const std::wstring& name = L"site") {
    std::vector<std::wstring> lines;
    for (int i = from; i <= to; ++i)
        lines.push_back(Line(i, name));
    return lines;
}

TfrmShowAll* OpenAllHostsWindow() {
    return dynamic_cast<TfrmShowAll*>(TWindow::FromHandle(::FindWindowW(TfrmShowAll::kClassName, nullptr)));
}

TfrmAddSecurityItem* OpenAddDialog() {
    return dynamic_cast<TfrmAddSecurityItem*>(
        TWindow::FromHandle(::FindWindowW(TfrmAddSecurityItem::kClassName, nullptr)));
}

// The tab in the main window, on the files of a scratch folder and our own server.
struct TTabFixture {
    sktest::TMessageBoxRecorder Boxes;
    sktest::TTempDir Dir;
    sktest::THttpTestServer Server;
    TMemoryRegistryBackend RepairRegistry;
    std::wstring Hosts = Dir / L"etc\\hosts";
    std::wstring List = Dir / L"hosts.txt";
    std::wstring Backup = Dir / L"backup\\hosts";
    std::unique_ptr<TIESecurity> Security;
    std::unique_ptr<TfrmSurfkeep> Form;
    TSecurityTab* Tab = nullptr;

    TTabFixture() {
        ResetStringTable();
        LoadSettingsFor(Dir / L"surfkeep.exe");
        ::CreateDirectoryW((Dir / L"etc").c_str(), nullptr);
        WriteAll(Hosts, HostsText(3));
    }
    ~TTabFixture() {
        Form.reset();
        Tab = nullptr;
        Server.Release();
    }

    // The engine as the program makes it at start (the backup of the hosts file comes here).
    TIESecurity& Engine() {
        if (!Security) {
            TIESecurityOptions options;
            options.HostsFileName = Hosts;
            options.ListFileName = List;
            options.BackupFileName = Backup;
            options.SettingsFileName = ConfigFileName;
            options.FlushResolverCache = [] {};
            Security = std::make_unique<TIESecurity>(options);
            SetUrl(Server.Url("/hosts.txt"));
        }
        return *Security;
    }
    void SetUrl(const std::wstring& url) {
        Security->ListUrl = url;
        Security->ListUrls = {url};
    }
    std::wstring Url() const { return Security->ListUrl; }
    // The program's restore points (beside the program: the scratch folder), newest first.
    std::vector<TRestorePointInfo> Points() const { return ProgramRestoreStore().List(); }
    void PutBack(const std::wstring& id) {
        const TRestoreStore store = ProgramRestoreStore();
        RunRestore(store, PlanRestore(store, id), false);
    }

    TSecurityTab& Open() {
        TfrmSurfkeepArgs args;
        args.RepairTab = std::make_unique<TRepairTab>(RepairRegistry);
        auto tab = std::make_unique<TSecurityTab>(Engine(), 3000);
        Tab = tab.get();
        args.Others.push_back(std::move(tab));
        Form = std::make_unique<TfrmSurfkeep>(std::move(args));
        REQUIRE(Form->Create());
        Form->Show(SW_SHOWNOACTIVATE);
        Form->pgcMain().Select(1);
        sktest::PumpFor(30);
        return *Tab;
    }

    // Closes the window as the user does (the tabs' close steps run).
    void CloseWindow() {
        ::SendMessageW(Form->Handle(), WM_CLOSE, 0, 0);
        // The quit request is left for the main loop; these tests have none.
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
        }
    }

    std::wstring Setting(const wchar_t* key) const {
        return TProfileFile(ConfigFileName).ReadString(kSettingsSection, key, L"(absent)");
    }

    bool Shows(bool on) const {
        return Tab->imgOn.Visible() == on && Tab->imgOff.Visible() == !on && Tab->actSecurity_TurnOn.Enabled() == !on &&
               Tab->actSecurity_TurnOff.Enabled() == on &&
               ::IsWindowEnabled(Tab->btnSecurity_TurnOn.Handle()) == static_cast<BOOL>(!on) &&
               ::IsWindowEnabled(Tab->btnSecurity_TurnOff.Handle()) == static_cast<BOOL>(on) &&
               Tab->lblSecurity_Info.Caption() ==
                   (on ? IDS_IESECURITY_TurnOnInfo
                       : std::wstring(L"IE security shield was turned off.\r\nTurning it on is recommended."));
    }

    void Press(const TKivImageButton& button) { ClickCenter(button.Handle()); }

    // Runs the update and pumps until it has ended and its last event has been handled.
    void UpdateAndWait() {
        Tab->actUpdateWebListExecute();
        REQUIRE(Tab->ListUpdate());
        REQUIRE(sktest::PumpUntil([&] { return !Tab->ListUpdate()->Busy(); }, 20000));
    }
};

}  // namespace

TEST_CASE("the shield's state and the settings at start") {
    struct {
        const char* name;
        const char* settings;     // the section SURFKEEP as found at start (nullptr: no settings file)
        bool on, autoUpdate;      // what the tab shows
        const wchar_t* storedOn;  // IESecurityOn afterwards
    } const cases[] = {
        {"no settings file: both switches written as off", nullptr, false, false, L"0"},
        {"a section without keys: both written", "[SURFKEEP]\r\n", false, false, L"0"},
        {"the cleaning choices only: the switches read as off, nothing written", "[SURFKEEP]\r\nIETempFiles=1\r\n",
         false, false, L"(absent)"},
        {"stored as on, trusted without looking at the hosts file", "[SURFKEEP]\r\nIESecurityOn=1\r\n", true, false,
         L"1"},
        {"automatic update chosen", "[SURFKEEP]\r\nIESecurityOn=0\r\nIESecurityAutoUpdate=1\r\n", false, true, L"0"},
    };
    for (const auto& c : cases) {
        CAPTURE(c.name);
        TTabFixture f;
        f.Server.On("/hosts.txt", sktest::Answer(404, "gone\r\n"));
        ::DeleteFileW(ConfigFileName.c_str());
        if (c.settings) WriteAll(ConfigFileName, c.settings);
        TSecurityTab& tab = f.Open();

        CHECK(f.Shows(c.on));
        CHECK(f.Engine().ShieldOn == c.on);
        CHECK(f.Engine().AutoUpdate == c.autoUpdate);
        CHECK(Checked(tab.chkSecurity_AutoUpdate) == c.autoUpdate);
        CHECK(f.Setting(kIESecurityOnKey) == c.storedOn);
        if (!c.settings) CHECK(f.Setting(kIESecurityAutoUpdateKey) == L"0");
        // The user's own hosts file is listed either way: the stored state is not checked against it.
        CHECK(tab.ListedLines() == Lines(1, 3));
        CHECK(tab.lblSecurity_DataInfo.Caption() == DataInfo(3));
        if (c.autoUpdate) {
            // The window's show started the update; the server answered 404 (the answer may come
            // from the download's worker, so give it time on a busy machine).
            sktest::PumpUntil([&] { return !tab.ListUpdate()->Busy(); }, 20000);
            CHECK(f.Server.Hits("/hosts.txt") == 1);
            CHECK(tab.StatusText() == Fmt(IDS_IESECURITY_UpdateFailed, f.Url(), Fmt(IDS_IESECURITY_ReasonStatus, 404)));
        } else {
            CHECK(f.Server.Hits("/hosts.txt") == 0);
            CHECK(tab.StatusText().empty());
        }
        CHECK(gBoxes.empty());
    }
}

TEST_CASE("the tab's texts and controls") {
    TTabFixture f;
    TSecurityTab& tab = f.Open();
    CHECK(tab.Caption() == L"Security");
    CHECK(tab.lblSecurity_HostInfo.Caption() == L"Hosts list:");
    CHECK(tab.lblSecurity_ShowAll.Caption() == L"More...");
    CHECK(tab.lblSecurity_ShowAll.Left() + tab.lblSecurity_ShowAll.Width() == 749);
    CHECK(sktest::WindowText(tab.chkSecurity_AutoUpdate) == L"Auto update hosts data");
    CHECK(tab.lblSecurity_Warning.Caption() == IDS_IESECURITY_Warning);
    CHECK(tab.lblSecurity_Description.Caption() == IDS_IESECURITY_Description);
    CHECK(sktest::WindowText(tab.btnSecurity_TurnOn.Handle()) == L"Turn on");
    CHECK(sktest::WindowText(tab.btnSecurity_TurnOff.Handle()) == L"Turn off");
    // The whole two-line state text has room.
    CHECK(tab.lblSecurity_Info.Height() >= 28);
    CHECK(tab.lblSecurity_Info.Top() + tab.lblSecurity_Info.Height() <= 72);
    // The hidden commands' buttons never show, and no key reaches them.
    for (const TKivImageButton* b : {&tab.btnSecurity_Add, &tab.btnSecurity_Delete, &tab.btnSecurity_Refresh})
        CHECK_FALSE(::IsWindowVisible(b->Handle()));
    CHECK(sktest::WindowText(tab.btnSecurity_Add.Handle()) == L"Add");
    CHECK(sktest::WindowText(tab.btnSecurity_Delete.Handle()) == L"Delete");
    CHECK(sktest::WindowText(tab.btnSecurity_Refresh.Handle()) == L"Refresh");
    CHECK_FALSE(tab.actSecurity_Delete.Enabled());

    SUBCASE("a translation places the Turn on caption in the turned-off text") {
        f.Form.reset();
        IDS_IESECURITY_TurnOffInfo = L"Shield is off. Press \"%s\".";
        IDS_IESECURITY_TurnOn = L"Switch on";
        TSecurityTab& translated = f.Open();
        CHECK(translated.lblSecurity_Info.Caption() == L"Shield is off. Press \"Switch on\".");
    }
}

TEST_CASE("250 entries: the first 100 are numbered, the count says 250") {
    TTabFixture f;
    WriteAll(f.Hosts, HostsText(250) + "singleword\r\n");
    TSecurityTab& tab = f.Open();
    CHECK(tab.ListedLines() == Lines(1, 100));
    // A line of one word counts, but has no name to show.
    CHECK(tab.lblSecurity_DataInfo.Caption() == DataInfo(251));
    CHECK(tab.lblSecurity_DataInfo.Caption() == L"251 items in all, top 100 are listed above.\x3002");
}

TEST_CASE("turning the shield on and off") {
    TTabFixture f;
    const std::string userHosts = HostsText(3);
    WriteAll(f.List, ListText("2010-09-07", 120, "bad"));
    TSecurityTab& tab = f.Open();
    REQUIRE(f.Shows(false));

    f.Press(tab.btnSecurity_TurnOn);
    REQUIRE(sktest::PumpUntil([&] { return f.Engine().ShieldOn; }));
    CHECK(f.Shows(true));
    CHECK(ReadAll(f.Hosts) == sktest::ShieldedFrom(ListText("2010-09-07", 120, "bad"), userHosts));
    CHECK(f.Setting(kIESecurityOnKey) == L"1");
    CHECK(tab.ListedLines() == Lines(1, 100, L"bad"));
    // The list's 120 and the user's own 3 for this computer, which go on working.
    CHECK(tab.lblSecurity_DataInfo.Caption() == DataInfo(123));

    f.Press(tab.btnSecurity_TurnOff);
    REQUIRE(sktest::PumpUntil([&] { return !f.Engine().ShieldOn; }));
    CHECK(f.Shows(false));
    CHECK(ReadAll(f.Hosts) == userHosts);
    CHECK(f.Setting(kIESecurityOnKey) == L"0");
    CHECK(tab.ListedLines() == Lines(1, 3));
    CHECK(tab.lblSecurity_DataInfo.Caption() == DataInfo(3));
    CHECK(gBoxes.empty());

    SUBCASE("before any list was downloaded, Turn on changes nothing") {
        ::DeleteFileW(f.List.c_str());
        tab.actSecurity_TurnOn.Execute();
        CHECK(f.Shows(false));
        CHECK(ReadAll(f.Hosts) == userHosts);
        CHECK(f.Setting(kIESecurityOnKey) == L"0");
        CHECK(gBoxes.empty());
    }
}

TEST_CASE("a public list: Turn on, Turn off byte for byte, and each change's restore point") {
    TTabFixture f;
    // The user's own file, in UTF-8 with a mark and LF line ends: one entry for this computer, one
    // that points a public name at a public address.
    const std::string user = "\xEF\xBB\xBF# mine\n127.0.0.1 dev.example\n203.0.113.9 bank.example\n";
    WriteAll(f.Hosts, user);
    const std::string list = sktest::UnifiedList(120);
    WriteAll(f.List, list);
    TSecurityTab& tab = f.Open();
    CHECK_FALSE(tab.lblSecurity_NotKept.Visible());

    f.Press(tab.btnSecurity_TurnOn);
    REQUIRE(sktest::PumpUntil([&] { return f.Engine().ShieldOn; }));
    CHECK(gBoxes.empty());
    CHECK(f.Shows(true));
    const std::string shielded = ReadAll(f.Hosts);
    CHECK(f.Engine().State().HostsIsShield);
    CHECK(shielded.find("\n0.0.0.0 tracker1.example") != std::string::npos);
    CHECK(shielded.find("\n255.255.255.255 broadcasthost") == std::string::npos);  // commented out
    CHECK(tab.lblSecurity_DataInfo.Caption() == DataInfo(f.Engine().CountHosts()));
    // The public mapping does not work while the shield is on, and the tab says which it is.
    CHECK(tab.lblSecurity_NotKept.Visible());
    CHECK(tab.lblSecurity_NotKept.Caption() == std::wstring(IDS_IESECURITY_NotKept) + L": 203.0.113.9 bank.example");

    f.Press(tab.btnSecurity_TurnOff);
    REQUIRE(sktest::PumpUntil([&] { return !f.Engine().ShieldOn; }));
    CHECK(f.Shows(false));
    CHECK(ReadAll(f.Hosts) == user);
    CHECK_FALSE(tab.lblSecurity_NotKept.Visible());
    CHECK(tab.ListedLines() == std::vector<std::wstring>{L"1. dev.example", L"2. bank.example"});

    // Both changes were recorded; putting the Turn off back makes the shield's file the hosts
    // file again, and the tab follows once told the machine changed.
    const auto points = f.Points();
    REQUIRE(points.size() == 2);
    CHECK(points[0].Operation == L"shield-off");
    CHECK(points[1].Operation == L"shield-on");
    f.PutBack(points[0].Id);
    CHECK(ReadAll(f.Hosts) == shielded);
    tab.MachineChanged();
    CHECK(f.Shows(true));
    CHECK(f.Setting(kIESecurityOnKey) == L"1");
    CHECK(tab.lblSecurity_NotKept.Visible());
    // And the Turn on put back (over the Turn off's restore, which it was made before): the user's
    // file byte for byte, the shield off.
    const TRestoreStore store = ProgramRestoreStore();
    RunRestore(store, PlanRestore(store, points[1].Id), true);
    CHECK(ReadAll(f.Hosts) == user);
    tab.MachineChanged();
    CHECK(f.Shows(false));
    CHECK(f.Setting(kIESecurityOnKey) == L"0");
    CHECK(gBoxes.empty());
}

TEST_CASE("the engine's errors reach the error box; the tab, the settings and the hosts file stay") {
    TTabFixture f;
    const std::string userHosts = HostsText(3);

    SUBCASE("a list that sends a name elsewhere is refused") {
        WriteAll(f.List, "# 2010-09-07\r\n127.0.0.1 bad1.example\r\n10.1.2.3 mybank.example\r\n");
        TSecurityTab& tab = f.Open();
        tab.actSecurity_TurnOn.Execute();
        REQUIRE(gBoxes.size() == 1);
        CHECK(gBoxes[0].find(L"was not installed") != std::wstring::npos);
        CHECK(f.Shows(false));
        CHECK_FALSE(f.Engine().ShieldOn);
        CHECK(f.Setting(kIESecurityOnKey) == L"0");
        CHECK(ReadAll(f.Hosts) == userHosts);
        CHECK(tab.ListedLines() == Lines(1, 3));
    }
    SUBCASE("a hosts file that cannot be replaced") {
        WriteAll(f.List, ListText("2010-09-07", 5));
        TSecurityTab& tab = f.Open();
        {
            const THandle lock(::CreateFileW(f.Hosts.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
            REQUIRE(lock);
            tab.actSecurity_TurnOn.Execute();
        }
        REQUIRE(gBoxes.size() == 1);
        CHECK(gBoxes[0].find(f.Hosts) != std::wstring::npos);
        CHECK(f.Shows(false));
        CHECK(f.Setting(kIESecurityOnKey) == L"0");
        CHECK(ReadAll(f.Hosts) == userHosts);
        CHECK(tab.ListedLines() == Lines(1, 3));
    }
    SUBCASE("a settings file that cannot be written: the box keeps the choice that holds") {
        TSecurityTab& tab = f.Open();
        {
            const THandle lock(
                ::CreateFileW(ConfigFileName.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
            REQUIRE(lock);
            ClickCenter(tab.chkSecurity_AutoUpdate);
            REQUIRE(sktest::PumpUntil([&] { return !gBoxes.empty(); }));
        }
        CHECK(gBoxes[0].find(L"Unable to write to") != std::wstring::npos);
        CHECK_FALSE(Checked(tab.chkSecurity_AutoUpdate));
        CHECK_FALSE(f.Engine().AutoUpdate);
        CHECK(f.Setting(kIESecurityAutoUpdateKey) == L"0");
    }
    SUBCASE("a version marker that is no date: the list is compared by its content, without an error") {
        WriteAll(f.List, ListText("2010-09-07", 5));
        f.Server.On("/hosts.txt", sktest::Answer(200, ListText("2010/10/01", 5)));
        TSecurityTab& tab = f.Open();
        f.Form->actUpdateWebList.Execute();
        REQUIRE(sktest::PumpUntil([&] { return !tab.ListUpdate()->Busy(); }, 20000));
        CHECK(gBoxes.empty());
        CHECK(tab.StatusText() == L"Updating is completed.");
        CHECK(ReadAll(f.List) == ListText("2010/10/01", 5));
    }
}

TEST_CASE("the automatic update box") {
    TTabFixture f;
    WriteAll(f.List, ListText("2010-09-07", 5));
    f.Server.On("/hosts.txt", sktest::Answer(200, ListText("2010-09-07", 5)));
    TSecurityTab& tab = f.Open();
    ClickCenter(tab.chkSecurity_AutoUpdate);
    REQUIRE(sktest::PumpUntil([&] { return f.Engine().AutoUpdate; }));
    // Written at once, and no update starts at that moment.
    CHECK(f.Setting(kIESecurityAutoUpdateKey) == L"1");
    CHECK(f.Setting(kIESecurityOnKey) == L"0");
    CHECK(f.Server.Hits("/hosts.txt") == 0);
    CHECK(tab.StatusText().empty());

    // The next time the window is shown, the update runs.
    f.CloseWindow();
    f.Form.reset();
    TSecurityTab& again = f.Open();
    CHECK(Checked(again.chkSecurity_AutoUpdate));
    REQUIRE(again.ListUpdate());
    REQUIRE(sktest::PumpUntil([&] { return !again.ListUpdate()->Busy(); }, 20000));
    CHECK(f.Server.Hits("/hosts.txt") == 1);
    CHECK(again.StatusText() == L"Current hosts data is the latest version.");

    // And unticked by the keyboard.
    ::SetFocus(again.chkSecurity_AutoUpdate);
    PostKey(again.chkSecurity_AutoUpdate, VK_SPACE);
    REQUIRE(sktest::PumpUntil([&] { return !f.Engine().AutoUpdate; }));
    CHECK(f.Setting(kIESecurityAutoUpdateKey) == L"0");
}

TEST_CASE("update: the version check") {
    TTabFixture f;
    unsigned short closedPort;
    {
        sktest::THttpTestServer gone;
        closedPort = gone.Port();
    }
    struct {
        const char* name;
        std::optional<sktest::TScript> script;  // nullopt: nobody listens
        std::wstring status;
    } const cases[] = {
        {"same date", sktest::Answer(200, ListText("2010-09-07", 5)), L"Current hosts data is the latest version."},
        {"the same date written without dashes", sktest::Answer(200, ListText("20100907", 5)),
         L"Current hosts data is the latest version."},
        {"an older list", sktest::Answer(200, ListText("2010-08-30", 5)), L"Current hosts data is the latest version."},
        // A check that did not reach the list never says the list is current.
        {"no list there", sktest::Answer(404, "not here\r\n"), Fmt(IDS_IESECURITY_ReasonStatus, 404)},
        {"a server error", sktest::Answer(503, "busy\r\n"), Fmt(IDS_IESECURITY_ReasonStatus, 503)},
        {"nobody listening", std::nullopt, L"error 12029: "},
    };
    WriteAll(f.List, ListText("2010-09-07", 5));
    TSecurityTab& tab = f.Open();
    for (const auto& c : cases) {
        CAPTURE(c.name);
        if (c.script) {
            f.Server.On("/hosts.txt", *c.script);
            f.SetUrl(f.Server.Url("/hosts.txt"));
        } else {
            f.SetUrl(L"http://127.0.0.1:" + std::to_wstring(closedPort) + L"/hosts.txt");
        }
        f.UpdateAndWait();
        if (c.status.rfind(L"Current", 0) == 0) {
            CHECK(tab.StatusText() == c.status);
        } else {
            // What went wrong, and that the list in use stays.
            CHECK(tab.StatusText().rfind(L"The hosts list from " + f.Url() + L" could not be fetched: ", 0) == 0);
            CHECK(tab.StatusText().find(c.status) != std::wstring::npos);
        }
        CHECK(tab.lblSecurity_Status.Caption() == tab.StatusText());
        CHECK(ReadAll(f.List) == ListText("2010-09-07", 5));
    }
    CHECK(gBoxes.empty());
}

TEST_CASE("update: a newer list is downloaded, and installed while the shield is on") {
    const std::string newer = ListText("2010-10-01", 150, "new");
    for (const bool shieldOn : {false, true}) {
        CAPTURE(shieldOn);
        TTabFixture f;
        WriteAll(f.List, ListText("2010-09-07", 5, "bad"));
        f.Server.On("/hosts.txt", sktest::Answer(200, newer));
        if (shieldOn) WriteAll(ConfigFileName, "[SURFKEEP]\r\nIESecurityOn=1\r\n");
        TSecurityTab& tab = f.Open();
        if (shieldOn) {
            tab.actSecurity_TurnOff.Execute();
            tab.actSecurity_TurnOn.Execute();
            std::vector<std::wstring> listed = Lines(1, 5, L"bad");
            for (int i = 1; i <= 3; ++i) listed.push_back(std::to_wstring(5 + i) + L". site" + std::to_wstring(i) + L".example");
            REQUIRE(tab.ListedLines() == listed);
        }
        const std::string hostsBefore = ReadAll(f.Hosts);

        tab.actUpdateWebListExecute();
        CHECK(tab.StatusText() == L"Start updating...");
        REQUIRE(tab.ListUpdate());
        // Every progress report as the user reads it.
        struct TReport {
            uint64_t Current, Total;
            uint32_t Speed;
            std::wstring Status;
        };
        std::vector<TReport> progress;
        const auto shown = tab.ListUpdate()->OnProgress;
        tab.ListUpdate()->OnProgress = [&](const TListUpdateProgress& p) {
            shown(p);
            progress.push_back({p.CurrentSize, p.TotalSize, p.SpeedBPS, tab.StatusText()});
        };
        REQUIRE(sktest::PumpUntil([&] { return !tab.ListUpdate()->Busy(); }, 20000));

        REQUIRE_FALSE(progress.empty());
        for (const TReport& r : progress) {
            CHECK(r.Total == newer.size());
            CHECK(r.Status ==
                  L"Downloading: " + Kb(r.Current) + L" / " + Kb(r.Total) + L" KB, " + Kb(r.Speed) + L" KB/s.");
        }
        CHECK(progress.front().Speed == 0);
        CHECK(progress.back().Current == newer.size());
        CHECK(tab.StatusText() == L"Updating is completed.");
        CHECK(ReadAll(f.List) == newer);
        CHECK(f.Engine().ShieldOn == shieldOn);
        if (shieldOn) {
            // The new list became the hosts file at once, and the tab shows it.
            CHECK(ReadAll(f.Hosts) == sktest::ShieldedFrom(newer, HostsText(3)));
            CHECK(tab.ListedLines() == Lines(1, 100, L"new"));
            CHECK(tab.lblSecurity_DataInfo.Caption() == DataInfo(153));
        } else {
            // It waits in the list file until the user turns the shield on.
            CHECK(ReadAll(f.Hosts) == hostsBefore);
            CHECK(tab.ListedLines() == Lines(1, 3));
            CHECK(tab.lblSecurity_DataInfo.Caption() == DataInfo(3));
        }
        CHECK(gBoxes.empty());
        // The install is recorded; with the shield on, the hosts file's change too.
        const auto points = f.Points();
        REQUIRE_FALSE(points.empty());
        CHECK(points[0].Operation == L"shield-update");
        CHECK(points[0].Items == std::vector<std::wstring>{f.Url()});

        // Now the local list is the server's: nothing more to fetch.
        f.UpdateAndWait();
        CHECK(tab.StatusText() == L"Current hosts data is the latest version.");
    }
}

TEST_CASE("the download's reports in the user's number format") {
    TTabFixture f;
    TSecurityTab& tab = f.Open();
    const std::wstring dec = FormatNumber2(0, false).substr(1, FormatNumber2(0, false).size() - 3);
    tab.DownloadProgress({.CurrentSize = 1536, .TotalSize = 2048, .SpeedBPS = 1024});
    CHECK(tab.StatusText() == L"Downloading: 1" + dec + L"50 / 2" + dec + L"00 KB, 1" + dec + L"00 KB/s.");
    tab.DownloadProgress({.CurrentSize = 2000000, .TotalSize = 4000000, .SpeedBPS = 0});
    CHECK(tab.StatusText() == L"Downloading: " + FormatNumber2(1953.125, true) + L" / " + FormatNumber2(3906.25, true) +
                                  L" KB, 0" + dec + L"00 KB/s.");
    CHECK(FormatNumber2(1953.125, true).size() > std::wstring(L"1953.13").size());  // with the thousands separator
}

TEST_CASE("update: failed downloads") {
    TTabFixture f;
    struct {
        const char* name;
        sktest::TScript script;
        std::wstring status;
    } const cases[] = {
        {"no list on the server", sktest::Answer(404, "not here\r\n"), Fmt(IDS_IESECURITY_ReasonStatus, 404)},
        {"cut short", sktest::TScript().Send(sktest::ResponseHead(200, 5000) + ListText("2010-10-01", 3)).Close(),
         L"it arrived cut short ("},
    };
    TSecurityTab& tab = f.Open();
    for (const auto& c : cases) {
        CAPTURE(c.name);
        // Without a local list the first download is always due, and the server is not asked first.
        f.Server.On("/hosts.txt", c.script);
        f.UpdateAndWait();
        CHECK(tab.StatusText().find(c.status) != std::wstring::npos);
        CHECK_FALSE(FileExists(f.List));
    }
    CHECK(f.Server.Hits("/hosts.txt") == 2);
    CHECK(gBoxes.empty());
}

TEST_CASE("update while the shield is on: installed, 304, a web page and a refused list") {
    TTabFixture f;
    const std::string user = HostsText(3);
    WriteAll(f.List, ListText("2010-09-07", 5));
    TSecurityTab& tab = f.Open();
    tab.actSecurity_TurnOn.Execute();
    REQUIRE(f.Engine().ShieldOn);

    // A list without a date marker, with the server's validator: installed at once.
    const std::string v1 = sktest::UnifiedList(8);
    f.Server.On("/hosts.txt", sktest::TScript().Send(sktest::ResponseHead(200, v1.size(), "ETag: \"v1\"\r\n") + v1));
    f.UpdateAndWait();
    CHECK(tab.StatusText() == L"Updating is completed.");
    CHECK(ReadAll(f.List) == v1);
    const std::string installed = ReadAll(f.Hosts);
    CHECK(installed == sktest::ShieldedFrom(v1, user));
    CHECK(tab.lblSecurity_DataInfo.Caption() == DataInfo(f.Engine().CountHosts()));

    struct {
        const char* name;
        sktest::TScript script;
        std::wstring status;
    } const cases[] = {
        {"304: not modified", sktest::TScript().Send(sktest::ResponseHead(304, 0)), IDS_IESECURITY_UpdateNotModified},
        {"a captive portal's web page",
         sktest::Answer(200, "<!DOCTYPE html>\r\n<html><head><title>Sign in</title></head><body>Wi-Fi</body></html>\r\n"),
         Fmt(IDS_IESECURITY_UpdateRefused, f.Url(), Fmt(IDS_IESECURITY_ReasonWebPage, 1))},
        {"a list that sends a name elsewhere",
         sktest::Answer(200, "# 2010-10-01\r\n127.0.0.1 a.example\r\n192.0.2.7 mybank.example\r\n"),
         L"sends \"mybank.example\" to 192.0.2.7"},
    };
    for (const auto& c : cases) {
        CAPTURE(c.name);
        f.Server.On("/hosts.txt", c.script);
        const auto points = f.Points().size();
        f.UpdateAndWait();
        CHECK(tab.StatusText().find(c.status) != std::wstring::npos);
        if (c.status != IDS_IESECURITY_UpdateNotModified)
            CHECK(tab.StatusText().find(L"was not installed") != std::wstring::npos);
        // The validator of the installed list was sent.
        CHECK(f.Server.Requests().back().find("If-None-Match: \"v1\"") != std::string::npos);
        CHECK(ReadAll(f.List) == v1);
        CHECK(ReadAll(f.Hosts) == installed);
        CHECK(f.Points().size() == points);  // nothing changed, nothing recorded
        CHECK(f.Shows(true));
    }
    CHECK(gBoxes.empty());
}

TEST_CASE("update: a second update while the list downloads is refused; closing the window stops it") {
    TTabFixture f;
    // The list trickles in: 512 bytes every 100 ms.
    sktest::TScript slow;
    slow.Send(sktest::ResponseHead(200, 200 * 512));
    for (int i = 0; i < 200; ++i)
        slow.Send(std::string(512, '#')).Pause(100);
    f.Server.On("/hosts.txt", slow);
    TSecurityTab& tab = f.Open();

    tab.actUpdateWebListExecute();
    CHECK(tab.StatusText() == L"Start updating...");
    REQUIRE(sktest::PumpUntil([&] { return tab.StatusText().rfind(L"Downloading: ", 0) == 0; }));
    THostsListUpdate* update = tab.ListUpdate();
    REQUIRE(update);
    REQUIRE(update->Busy());

    // The frame's command runs the same update.
    TAction& frameCommand = f.Form->actUpdateWebList;
    frameCommand.Execute();
    CHECK(tab.StatusText() == L"Fail to start downloading.");
    CHECK(tab.ListUpdate() == update);

    f.CloseWindow();
    CHECK(f.Form->Handle() == nullptr);
    CHECK(tab.ListUpdate() == nullptr);
    sktest::PumpFor(300);
    // Stopped without a word (the reports handed over while it stopped may still show), and the
    // list file was never begun.
    const std::wstring status = tab.StatusText();
    CHECK((status == L"Fail to start downloading." || status.rfind(L"Downloading: ", 0) == 0));
    CHECK_FALSE(FileExists(f.List));
    CHECK(sktest::FilesStartingWith(f.Dir.Path(), L"~sk").empty());
    CHECK(sktest::FilesStartingWith(f.Dir.Path(), L"hosts.txt").empty());  // nor its download
    CHECK(gBoxes.empty());
}

TEST_CASE("the all-hosts window: opened by the link, loaded after a second, reloaded by Refresh") {
    TTabFixture f;
    WriteAll(f.Hosts, HostsText(250));
    TSecurityTab& tab = f.Open();
    TfrmShowAll* form = nullptr;
    bool wasEmptyFirst = false;
    TSteps steps;
    steps
        .When([&] { return OpenAllHostsWindow() != nullptr; },
              [&] {
                  form = OpenAllHostsWindow();
                  // Shown, not yet loaded.
                  wasEmptyFirst = form->LineCount() == 0 && form->lblStatus.Caption().empty() && form->TimerRunning();
                  RECT r{};
                  ::GetClientRect(form->Handle(), &r);
                  CHECK(r.right == 465);
                  CHECK(r.bottom == 345);
                  CHECK(form->lblTitle.Caption() == L"View all hosts items");
                  CHECK(sktest::WindowText(form->btnRefresh.Handle()) == L"Refresh");
                  CHECK(sktest::WindowText(form->btnOK.Handle()) == L"Close");
                  CHECK(::IsWindowEnabled(f.Form->Handle()) == FALSE);  // modal
              })
        .When([&] { return form->lblStatus.Caption() == L"Loading is completed."; },
              [&] {
                  CHECK(form->LineCount() == 250);
                  CHECK(form->Line(0) == Line(1));
                  CHECK(form->Line(249) == Line(250));
                  CHECK(::IsWindowEnabled(form->lstMaliciousWebs));
                  CHECK(form->btnOK.Enabled());
                  CHECK(form->btnRefresh.Enabled());
                  CHECK(form->btnClose.Enabled());
                  // The file changes; Refresh reads it again and numbers from 1.
                  WriteAll(f.Hosts, HostsText(4, "other"));
                  ClickCenter(form->btnRefresh.Handle());
              })
        .When([&] { return form->LineCount() == 4 && !form->Loading(); },
              [&] {
                  CHECK(form->Line(0) == Line(1, L"other"));
                  CHECK(form->Line(3) == Line(4, L"other"));
                  CHECK(form->lblStatus.Caption() == L"Loading is completed.");
                  ClickCenter(form->btnOK.Handle());
              });
    steps.Start();
    ClickLabel(tab.lblSecurity_ShowAll);
    REQUIRE(sktest::PumpUntil([&] { return steps.Done() && !OpenAllHostsWindow(); }, 15000));
    CHECK(wasEmptyFirst);
    CHECK(::IsWindowEnabled(f.Form->Handle()));
    CHECK(gBoxes.empty());
    // The tab's own list is not touched by the window.
    CHECK(tab.ListedLines() == Lines(1, 100));
}

TEST_CASE("the all-hosts window: a long file fills progressively, and nothing closes it meanwhile") {
    TTabFixture f;
    constexpr int kCount = 100000;
    WriteAll(f.Hosts, HostsText(kCount));
    TSecurityTab& tab = f.Open();
    struct TSeen {
        int Lines;
        std::wstring Status;
        bool ListEnabled, ButtonsEnabled;
    };
    std::vector<TSeen> during;
    TfrmShowAll* form = nullptr;
    TSteps steps;
    steps.When([&] { return OpenAllHostsWindow() && OpenAllHostsWindow()->Loading(); },
               [&] {
                   form = OpenAllHostsWindow();
                   // The user tries to close it while it loads: Alt+F4, Esc, the buttons.
                   ::PostMessageW(form->Handle(), WM_CLOSE, 0, 0);
                   PostKeyToFocus(form->Handle(), VK_ESCAPE);
                   ClickCenter(form->btnOK.Handle());
                   ClickCenter(form->btnClose.Handle());
               });
    // Observed from a timer while the listing runs: the window keeps handling its messages.
    for (int i = 0; i < 3; ++i)
        steps.Then(
            [&] {
                if (!form || !form->Loading()) return;
                during.push_back({form->LineCount(), form->lblStatus.Caption(),
                                  ::IsWindowEnabled(form->lstMaliciousWebs) != FALSE,
                                  form->btnOK.Enabled() || form->btnClose.Enabled() || form->btnRefresh.Enabled()});
            },
            30);
    steps.When([&] { return form && !form->Loading(); },
               [&] {
                   CHECK(::IsWindowVisible(form->Handle()));
                   CHECK(form->LineCount() == kCount);
                   CHECK(form->Line(kCount - 1) == Line(kCount));
                   CHECK(form->lblStatus.Caption() == L"Loading is completed.");
                   PostKeyToFocus(form->Handle(), VK_ESCAPE);
               });
    steps.Start();
    tab.actSecurity_ShowAll.Execute();
    CHECK(steps.Done());
    REQUIRE_FALSE(during.empty());
    for (const TSeen& seen : during) {
        CHECK(seen.Lines > 0);
        CHECK(seen.Lines < kCount);
        CHECK(seen.Status == L"Please wait for loading...");
        CHECK_FALSE(seen.ListEnabled);
        CHECK_FALSE(seen.ButtonsEnabled);
    }
    CHECK(gBoxes.empty());
}

TEST_CASE("a list downloaded while the all-hosts window loads is installed once the window has closed") {
    TTabFixture f;
    constexpr int kCount = 100000;
    WriteAll(f.List, ListText("2010-09-07", kCount, "bad"));
    TSecurityTab& tab = f.Open();
    tab.actSecurity_TurnOn.Execute();
    REQUIRE(f.Engine().ShieldOn);
    const std::string newer = ListText("2010-10-01", 7, "new");
    f.Server.On("/hosts.txt", sktest::Answer(200, newer));
    std::string hostsDuringLoad;
    bool loadingWhenFetched = false, waitingDuringLoad = false;
    TSteps steps;
    steps
        .When([&] { return OpenAllHostsWindow() && OpenAllHostsWindow()->Loading(); },
              [&] { tab.actUpdateWebListExecute(); })
        // The download ends while the window reads the hosts file.
        .When([&] { return !tab.ListUpdate()->Downloader().Busy(); },
              [&] {
                  loadingWhenFetched = OpenAllHostsWindow()->Loading();
                  hostsDuringLoad = ReadAll(f.Hosts);
                  waitingDuringLoad = tab.ListUpdate()->Busy();
              })
        .When([&] { return !OpenAllHostsWindow()->Loading(); },
              [&] {
                  CHECK(OpenAllHostsWindow()->LineCount() == kCount + 3);
                  PostKeyToFocus(OpenAllHostsWindow()->Handle(), VK_ESCAPE);
              });
    steps.Start();
    tab.actSecurity_ShowAll.Execute();
    CHECK(steps.Done());
    CHECK(loadingWhenFetched);
    CHECK(hostsDuringLoad == sktest::ShieldedFrom(ListText("2010-09-07", kCount, "bad"), HostsText(3)));
    CHECK(waitingDuringLoad);
    REQUIRE(sktest::PumpUntil([&] { return !tab.ListUpdate()->Busy(); }, 20000));
    CHECK(ReadAll(f.Hosts) == sktest::ShieldedFrom(newer, HostsText(3)));
    std::vector<std::wstring> listed = Lines(1, 7, L"new");
    for (int i = 1; i <= 3; ++i) listed.push_back(std::to_wstring(7 + i) + L". site" + std::to_wstring(i) + L".example");
    CHECK(tab.ListedLines() == listed);
    CHECK(tab.lblSecurity_DataInfo.Caption() == DataInfo(10));
    CHECK(tab.StatusText() == L"Updating is completed.");
    CHECK(gBoxes.empty());
}

TEST_CASE("closing the main window while the all-hosts window loads") {
    TTabFixture f;
    WriteAll(f.Hosts, HostsText(100000));
    TSecurityTab& tab = f.Open();
    TSteps steps;
    steps.When([&] { return OpenAllHostsWindow() && OpenAllHostsWindow()->Loading(); },
               [&] { ::PostMessageW(f.Form->Handle(), WM_CLOSE, 0, 0); });
    steps.Start();
    tab.actSecurity_ShowAll.Execute();
    CHECK(steps.Done());
    CHECK(f.Form->Handle() == nullptr);
    CHECK(OpenAllHostsWindow() == nullptr);
    CHECK(f.Engine().ListingDone);
    CHECK(gBoxes.empty());
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
}

TEST_CASE("the all-hosts window: no entries, and a hosts file that cannot be read") {
    TTabFixture f;
    TSecurityTab& tab = f.Open();

    SUBCASE("comments and localhost only") {
        WriteAll(f.Hosts, HostsText(0));
        TSteps steps;
        steps.When(
            [&] {
                return OpenAllHostsWindow() && OpenAllHostsWindow()->lblStatus.Caption() == L"Loading is completed.";
            },
            [&] {
                CHECK(OpenAllHostsWindow()->LineCount() == 0);
                ClickCenter(OpenAllHostsWindow()->btnClose.Handle());
            });
        steps.Start();
        tab.actSecurity_ShowAll.Execute();
        CHECK(steps.Done());
        CHECK(gBoxes.empty());
    }
    SUBCASE("the file is gone: the error box, then the window can be closed") {
        TfrmShowAll* form = nullptr;
        TSteps steps;
        steps
            .When([&] { return OpenAllHostsWindow() != nullptr; },
                  [&] {
                      form = OpenAllHostsWindow();
                      ::DeleteFileW(f.Hosts.c_str());
                  })
            .When([&] { return !gBoxes.empty(); },
                  [&] {
                      CHECK(gBoxes[0].find(f.Hosts) != std::wstring::npos);
                      CHECK_FALSE(form->Loading());
                      CHECK(form->lblStatus.Caption().empty());
                      CHECK(form->btnOK.Enabled());
                      CHECK(form->btnRefresh.Enabled());
                      PostKeyToFocus(form->Handle(), VK_RETURN);
                  });
        steps.Start();
        tab.actSecurity_ShowAll.Execute();
        CHECK(steps.Done());
        CHECK(gBoxes.size() == 1);
    }
}

TEST_CASE("the add dialog: Ok, Cancel, Enter, Esc and the close button") {
    TTabFixture f;
    TfrmSurfkeep* owner = nullptr;
    f.Open();
    owner = f.Form.get();
    struct {
        const char* name;
        std::function<void(TfrmAddSecurityItem&)> act;
        int result;
        std::wstring text;
    } const cases[] = {
        {"typed, then Enter",
         [](TfrmAddSecurityItem& d) {
             Type(d.edtName, L" ads.example ");
             PostKey(d.edtName, VK_RETURN);
         },
         IDOK, L" ads.example "},
        {"Enter with an empty box", [](TfrmAddSecurityItem& d) { PostKey(d.edtName, VK_RETURN); }, IDOK, L""},
        {"typed, then Esc",
         [](TfrmAddSecurityItem& d) {
             Type(d.edtName, L"ads.example");
             PostKey(d.edtName, VK_ESCAPE);
         },
         IDCANCEL, L"ads.example"},
        {"Ok",
         [](TfrmAddSecurityItem& d) {
             Type(d.edtName, L"x.example");
             ClickCenter(d.btnOK.Handle());
         },
         IDOK, L"x.example"},
        {"Cancel", [](TfrmAddSecurityItem& d) { ClickCenter(d.btnCancel.Handle()); }, IDCANCEL, L""},
        {"the close button", [](TfrmAddSecurityItem& d) { ClickCenter(d.btnClose.Handle()); }, IDCANCEL, L""},
    };
    for (const auto& c : cases) {
        CAPTURE(c.name);
        TfrmAddSecurityItem dialog;
        REQUIRE(dialog.Create(owner->Handle()));
        CHECK(dialog.lblTitle.Caption() == L"Add Malicious Website");
        CHECK(dialog.lblName.Caption() == L"website:");
        CHECK(sktest::WindowText(dialog.btnOK.Handle()) == L"Ok");
        CHECK(sktest::WindowText(dialog.btnCancel.Handle()) == L"Cancel");
        RECT r{};
        ::GetClientRect(dialog.Handle(), &r);
        CHECK(r.right == 344);
        CHECK(r.bottom == 176);
        bool focused = false;
        TSteps steps;
        steps.When([&] { return ::IsWindowVisible(dialog.Handle()) && ::GetFocus() == dialog.edtName; },
                   [&] {
                       focused = true;
                       c.act(dialog);
                   });
        steps.Start();
        CHECK(dialog.ShowModal(owner->Handle()) == c.result);
        CHECK(focused);
        CHECK(dialog.Text() == c.text);
        CHECK_FALSE(::IsWindowVisible(dialog.Handle()));
    }
}

TEST_CASE("the hidden Add and Delete commands") {
    TTabFixture f;
    TSecurityTab& tab = f.Open();
    auto addThroughDialog = [&](const std::wstring& typed) {
        TSteps steps;
        steps.When([&] { return OpenAddDialog() && ::GetFocus() == OpenAddDialog()->edtName; },
                   [&] {
                       Type(OpenAddDialog()->edtName, typed);
                       PostKey(OpenAddDialog()->edtName, VK_RETURN);
                   });
        steps.Start();
        tab.actSecurity_Add.Execute();
        CHECK(steps.Done());
    };

    addThroughDialog(L"  ads.example ");
    CHECK(ReadAll(f.Hosts) == HostsText(3) + "127.0.0.1\tads.example\r\n");
    std::vector<std::wstring> expected = Lines(1, 3);
    expected.push_back(L"4. ads.example");
    CHECK(tab.ListedLines() == expected);
    CHECK(tab.lblSecurity_DataInfo.Caption() == DataInfo(3));  // not counted again

    // Already there: the file stays, the list still gets its line.
    addThroughDialog(L"site2.example");
    CHECK(ReadAll(f.Hosts) == HostsText(3) + "127.0.0.1\tads.example\r\n");
    expected.push_back(L"5. site2.example");
    CHECK(tab.ListedLines() == expected);

    // Nothing typed: nothing added.
    addThroughDialog(L"");
    CHECK(tab.ListedLines() == expected);

    // Delete removes the selected lines' hosts from the file; the other lines keep their numbers.
    CHECK_FALSE(tab.actSecurity_Delete.Enabled());
    ::SendMessageW(tab.lstMaliciousWebs, LB_SETSEL, TRUE, 0);
    ::SendMessageW(tab.lstMaliciousWebs, LB_SETSEL, TRUE, 3);
    f.Form->lstActionUpdate();
    REQUIRE(tab.actSecurity_Delete.Enabled());
    tab.actSecurity_Delete.Execute();
    CHECK(tab.ListedLines() == std::vector<std::wstring>{Line(2), Line(3), L"5. site2.example"});
    CHECK(ReadAll(f.Hosts) ==
          "# the user's own hosts file\r\n127.0.0.1       localhost\r\n127.0.0.1\tsite2.example\r\n"
          "127.0.0.1\tsite3.example\r\n# end\r\n");
    CHECK_FALSE(tab.actSecurity_Delete.Enabled());
    CHECK(gBoxes.empty());
    // One point per change that changed the file: the add, then the two deletes.
    std::vector<std::wstring> operations;
    for (const auto& p : f.Points()) operations.push_back(p.Operation);
    CHECK(operations == std::vector<std::wstring>{L"shield-delete", L"shield-delete", L"shield-add"});
}
