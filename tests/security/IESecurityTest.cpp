// The hosts-file manager against real files in a scratch folder and our own server on 127.0.0.1.
// The system hosts file is never touched: every manager here is pointed at the scratch folder.
#include <memory>

#include "CountingPump.h"
#include "HttpTestServer.h"
#include "SecurityTestSupport.h"
#include "TestSupport.h"
#include "base/Errors.h"
#include "base/Paths.h"
#include "base/ProductInfo.h"
#include "security/IESecurityFuncs.h"

using namespace sktest;
using sk::TIESecurity;

namespace {

struct TShield {
    TTempDir Dir;
    std::wstring Hosts = Dir / L"hosts";
    std::wstring List = Dir / L"hosts.txt";
    std::wstring Backup = Dir / L"backup\\hosts";
    std::wstring Settings = Dir / L"config.ini";
    TCountingPump Pump;
    int Flushes = 0;

    sk::TIESecurityOptions Options() {
        sk::TIESecurityOptions o;
        o.HostsFileName = Hosts;
        o.ListFileName = List;
        o.BackupFileName = Backup;
        o.SettingsFileName = Settings;
        o.Pump = &Pump;
        o.FlushResolverCache = [this] { ++Flushes; };
        return o;
    }
    std::unique_ptr<TIESecurity> Make() { return std::make_unique<TIESecurity>(Options()); }
    std::vector<std::wstring> Leftovers() const { return FilesStartingWith(Dir.Path(), L"~sk"); }
};

std::string HostsOf250() {
    std::vector<std::string> lines{"# 2010-09-07", "127.0.0.1       localhost", ""};
    for (int i = 1; i <= 250; ++i) lines.push_back("127.0.0.1\tbad" + std::to_string(i) + ".example");
    return CrLf(lines);
}

std::vector<std::wstring> ListAll(TIESecurity& shield, int limit, std::vector<bool>* doneFlags = nullptr) {
    std::vector<std::wstring> calls;
    shield.ListHosts(limit, [&](const std::wstring& host) {
        calls.push_back(host);
        if (doneFlags) doneFlags->push_back(shield.ListingDone);
    });
    return calls;
}

}  // namespace

TEST_CASE("hosts lines: entries, comments and host fields") {
    struct {
        const wchar_t* line;
        bool entry;
        const wchar_t* host;
    } cases[] = {
        {L"127.0.0.1       localhost", false, L"localhost"},
        {L"127.0.0.1\tLOCALHOST", false, L"LOCALHOST"},
        {L"  # 127.0.0.1 bad.example", false, L"127.0.0.1 bad.example"},
        {L"#comment", false, L""},
        {L"127.0.0.1\tbad.example", true, L"bad.example"},
        // The first space wins over the earlier tab: the trailing comment is the host field.
        {L"127.0.0.1\tbad.example #note", true, L"#note"},
        {L"127.0.0.1 one.example two.example", true, L"one.example two.example"},
        {L"singleword", true, L""},
        {L"", false, L""},
        {L" \t \x01", false, L""},
        {L"\t127.0.0.1   spaced.example \r", true, L"spaced.example"},
        {L"127.0.0.1 \t tabbed.example", true, L"tabbed.example"},
    };
    for (const auto& c : cases) {
        CAPTURE(sktest::Narrow(c.line));
        CHECK(TIESecurity::IsHostEntry(c.line) == c.entry);
        CHECK(TIESecurity::HostOfLine(c.line) == std::wstring(c.host));
    }
}

TEST_CASE("version markers: marker text and date") {
    struct {
        const wchar_t* line;
        const wchar_t* marker;
        int y, m, d;
    } cases[] = {
        {L"# 2010-09-07", L"2010-09-07", 2010, 9, 7},
        {L"#20100907", L"20100907", 2010, 9, 7},
        {L"  2010-9-7  ", L"2010-9-7", 2010, 9, 7},
        {L"127.0.0.1 x # 2010-09-07", L"2010-09-07", 2010, 9, 7},
        {L"# 2010-09", L"2010-09", 0, 0, 0},
        {L"# 2010-09-07-01", L"2010-09-07-01", 0, 0, 0},
        {L"#", L"", 0, 0, 0},
        {L"# 2010097", L"2010097", 2010, 9, 97},
    };
    for (const auto& c : cases) {
        CAPTURE(sktest::Narrow(c.line));
        const std::wstring marker = TIESecurity::MarkerOfLine(c.line);
        CHECK(marker == std::wstring(c.marker));
        const auto date = TIESecurity::ParseVersionDate(marker);
        CHECK(date.Year == c.y);
        CHECK(date.Month == c.m);
        CHECK(date.Day == c.d);
    }

    // Pieces that are no decimal integer raise the conversion error, with the marker in the text.
    for (const wchar_t* bad : {L"2010/09/07", L"abc", L"2010-0a-07", L"2010--07", L"2010- 9-07", L"2010-+9-07"}) {
        CAPTURE(sktest::Narrow(bad));
        try {
            TIESecurity::ParseVersionDate(bad);
            FAIL("no error");
        } catch (const sk::TConvertError& e) {
            CHECK(e.Message().find(bad) != std::wstring::npos);
        }
    }
}

TEST_CASE("URLs: server, object path, port and security") {
    struct {
        const wchar_t* url;
        const wchar_t* server;
        const wchar_t* object;
        int port;
        bool secure;
    } cases[] = {
        {L"http://www.example.com/hosts/hosts.txt", L"www.example.com", L"/hosts/hosts.txt", 80, false},
        {L"HTTP://Host.Example/Path", L"Host.Example", L"/Path", 80, false},
        {L"www.example.com/hosts.txt", L"www.example.com", L"/hosts.txt", 80, false},
        {L"http://www.example.com", L"", L"www.example.com", 80, false},
        {L"http://host.example:8080/list.txt", L"host.example", L"/list.txt", 8080, false},
        {L"https://host.example/list.txt", L"host.example", L"/list.txt", 443, true},
        {L"HTTPS://host.example:8443/a/b?c=d", L"host.example", L"/a/b?c=d", 8443, true},
        {L"http://[::1]:8080/list.txt", L"::1", L"/list.txt", 8080, false},
        {L"http://host.example:99999/x", L"host.example:99999", L"/x", 80, false},
        {L"host.example/go?to=http://other.example/", L"host.example", L"/go?to=http://other.example/", 80, false},
        {L"  http://padded.example/x  ", L"padded.example", L"/x", 80, false},
    };
    for (const auto& c : cases) {
        CAPTURE(sktest::Narrow(c.url));
        const auto parts = TIESecurity::SplitUrl(c.url);
        CHECK(parts.ServerName == std::wstring(c.server));
        CHECK(parts.ObjectPath == std::wstring(c.object));
        CHECK(parts.Port == c.port);
        CHECK(parts.Secure == c.secure);
    }
}

TEST_CASE("addresses a list may use") {
    struct {
        const wchar_t* address;
        bool ok;
    } cases[] = {
        {L"127.0.0.1", true},
        {L"127.255.10.2", true},
        {L"0.0.0.0", true},
        {L"::1", true},
        {L"::", true},
        {L"0:0:0:0:0:0:0:1", true},
        {L"0000::0001", true},
        {L"10.0.0.1", false},
        {L"1.2.3.4", false},
        {L"128.0.0.1", false},
        {L"0177.0.0.1", false},
        {L"127.1", false},
        {L"127.0.0.256", false},
        {L"2130706433", false},
        {L"0x7f.0.0.1", false},
        {L"::2", false},
        {L"::ffff:127.0.0.1", false},
        {L"fe80::1", false},
        {L"::1%1", false},
        {L"", false},
        {L"localhost", false},
        {L"127.0.0.1.", false},
        {L"1:2:3:4:5:6:7:8:9", false},
    };
    for (const auto& c : cases) {
        CAPTURE(sktest::Narrow(c.address));
        CHECK(TIESecurity::IsLoopbackOrNullAddress(c.address) == c.ok);
    }
}

TEST_CASE("construction: file places, backup and list address") {
    SUBCASE("the backup holds the hosts file byte for byte, and is never replaced") {
        TShield s;
        const std::string mine = "# mine \xE9\n127.0.0.1 mine.example\r0.0.0.0 other.example";
        WriteAll(s.Hosts, mine);
        auto shield = s.Make();
        CHECK(shield->HostsFileName == s.Hosts);
        CHECK(shield->ListFileName == s.List);
        CHECK(shield->BackupFileName == s.Backup);
        CHECK_FALSE(shield->ShieldOn);
        CHECK_FALSE(shield->AutoUpdate);
        CHECK(shield->ListingDone);
        CHECK(ReadAll(s.Backup) == mine);
        CHECK(shield->State().BackupProblem.empty());

        WriteAll(s.Hosts, "changed\r\n");
        s.Make();
        CHECK(ReadAll(s.Backup) == mine);
        CHECK(s.Leftovers().empty());
    }
    SUBCASE("without a hosts file the backup is the default text, and the hosts folder is made") {
        TShield s;
        s.Hosts = s.Dir / L"drivers\\etc\\hosts";
        auto shield = s.Make();
        CHECK(sk::DirectoryExists(s.Dir / L"drivers\\etc"));
        CHECK_FALSE(sk::FileExists(s.Hosts));
        std::vector<std::string> expected;
        for (const auto& l : TIESecurity::DefaultHostsText()) expected.push_back(Narrow(l));
        CHECK(ReadAll(s.Backup) == CrLf(expected));
    }
    SUBCASE("a hosts file that cannot be read does not stop the start, and no backup is made") {
        TShield s;
        WriteAll(s.Hosts, "127.0.0.1 mine.example\r\n");
        sk::THandle lock(::CreateFileW(s.Hosts.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        REQUIRE(lock);
        auto shield = s.Make();
        CHECK_FALSE(sk::FileExists(s.Backup));
        lock.Reset();
        s.Make();
        CHECK(ReadAll(s.Backup) == "127.0.0.1 mine.example\r\n");
    }
    SUBCASE("the system hosts file lies in drivers\\etc under the system folder") {
        const std::wstring name = TIESecurity::SystemHostsFileName();
        CHECK(name == sk::SpecialFolderPath(0x25 /* CSIDL_SYSTEM */, false) + L"drivers\\etc\\Hosts");
        CHECK(sk::DirectoryExists(sk::FileFolderOf(name)));
    }
    SUBCASE("the list address comes from the settings file when it names one") {
        struct {
            const char* settings;  // nullptr: no settings file
            const wchar_t* url;
        } cases[] = {
            {nullptr, sk::kHostsListURL},
            {"[SURFKEEP]\r\nIESecurityOn=0\r\n", sk::kHostsListURL},
            {"[SURFKEEP]\r\nHostsListUrl=\r\n", sk::kHostsListURL},
            {"[SURFKEEP]\r\nHostsListUrl=  http://mirror.example:8080/list.txt \r\n",
             L"http://mirror.example:8080/list.txt"},
            {"[LANGUAGE]\r\nHostsListUrl=http://wrong.example/\r\n", sk::kHostsListURL},
        };
        for (const auto& c : cases) {
            TShield s;
            if (c.settings) WriteAll(s.Settings, c.settings);
            CHECK(s.Make()->ListUrl == std::wstring(c.url));
        }
    }
}

TEST_CASE("turning the shield on and off") {
    SUBCASE("without a list nothing changes") {
        TShield s;
        WriteAll(s.Hosts, "127.0.0.1 mine.example");
        auto shield = s.Make();
        shield->TurnOn();
        CHECK_FALSE(shield->ShieldOn);
        CHECK(ReadAll(s.Hosts) == "127.0.0.1 mine.example");
        CHECK(s.Flushes == 0);
    }
    SUBCASE("the list becomes the hosts file, whatever its encoding and line ends; off brings the backup back") {
        struct {
            const char* name;
            std::string list;
        } cases[] = {
            {"ansi crlf", "# 2010-09-07\r\n127.0.0.1\tbad.example\r\n0.0.0.0 worse.example\r\n"},
            {"cr only", "# 2010-09-07\r127.0.0.1\tbad.example\r0.0.0.0 worse.example"},
            {"lf only", "# 2010-09-07\n127.0.0.1\tbad.example\n0.0.0.0 worse.example\n"},
            {"utf-8 bom", "\xEF\xBB\xBF# 2010-09-07\r\n127.0.0.1\tbad.example\r\n0.0.0.0 worse.example\r\n"},
            {"utf-16 bom", Utf16LE(L"# 2010-09-07\r\n127.0.0.1\tbad.example\r\n0.0.0.0 worse.example\r\n")},
        };
        for (const auto& c : cases) {
            const std::string name = c.name;
            CAPTURE(name);
            TShield s;
            WriteAll(s.Hosts, "127.0.0.1 mine.example\n");
            auto shield = s.Make();
            WriteAll(s.List, c.list);
            shield->TurnOn();
            CHECK(shield->ShieldOn);
            // The user's own entry for this computer goes on working, after the list.
            CHECK(ReadAll(s.Hosts) == ShieldedHosts({"# 2010-09-07", "127.0.0.1\tbad.example", "0.0.0.0 worse.example"},
                                                    {"127.0.0.1 mine.example"}));
            CHECK(s.Flushes == 1);
            CHECK(shield->LastTurnOn().ListEntries == 2);
            CHECK(shield->LastTurnOn().UserEntriesKept == 1);
            shield->TurnOff();
            CHECK_FALSE(shield->ShieldOn);
            // The user's file comes back byte for byte: its LF line end too.
            CHECK(ReadAll(s.Hosts) == "127.0.0.1 mine.example\n");
            CHECK(shield->LastTurnOff().RestoredFrom == s.Backup);
            CHECK(s.Flushes == 2);
            CHECK(s.Leftovers().empty());
        }
    }
    SUBCASE("off without a backup writes the 18-line default text") {
        TShield s;
        auto shield = s.Make();
        ::DeleteFileW(s.Backup.c_str());
        shield->ShieldOn = true;
        shield->TurnOff();
        CHECK_FALSE(shield->ShieldOn);
        const std::string text = ReadAll(s.Hosts);
        std::vector<std::string> expected;
        for (const auto& l : TIESecurity::DefaultHostsText()) expected.push_back(Narrow(l));
        REQUIRE(expected.size() == 18);
        CHECK(text == CrLf(expected));
        CHECK(expected[17] == "127.0.0.1       localhost");
        CHECK(expected[2] == "# this is a sample hosts file used by microsoft tcp/ip for windows.");
        for (size_t i = 0; i < 17; ++i) CHECK(expected[i].rfind('#', 0) == 0);
        for (const auto& l : expected)
            for (char c : l) CHECK_FALSE((c >= 'A' && c <= 'Z'));
    }
    SUBCASE("a list that sends a name anywhere but this computer is refused and changes nothing") {
        struct {
            const char* line;
            bool refused;
        } cases[] = {
            {"127.0.0.1 ok.example", false},
            {"0.0.0.0\tok.example", false},
            {"::1 ok.example", false},
            {":: ok.example", false},
            {"127.0.0.1", false},
            {"# 10.0.0.1 commented.example", false},
            {"10.0.0.1 bank.example", true},
            {"1.2.3.4 localhost", true},
            {"0177.0.0.1 octal.example", true},
            {"2130706433 decimal.example", true},
            {"<html><head><title>Login</title>", true},
            // A line without a mapping is no reason to refuse a list; it is written commented out.
            {"bank.example", false},
            {"255.255.255.255 broadcasthost", false},
            {"255.255.255.255 bank.example", true},
            {"fe80::1%lo0 localhost", false},
            {"fe80::1%lo0 bank.example", true},
        };
        for (const auto& c : cases) {
            const std::string line = c.line;
            CAPTURE(line);
            TShield s;
            WriteAll(s.Hosts, "127.0.0.1 mine.example\r\n");
            auto shield = s.Make();
            WriteAll(s.List, CrLf({"# 2010-09-07", "127.0.0.1 fine.example", c.line, "0.0.0.0 last.example"}));
            if (c.refused) {
                try {
                    shield->TurnOn();
                    FAIL("no error");
                } catch (const sk::TError& e) {
                    CHECK(e.Message().find(L"line 3") != std::wstring::npos);
                    CHECK(e.Message().find(s.List) != std::wstring::npos);
                }
                CHECK_FALSE(shield->ShieldOn);
                CHECK(ReadAll(s.Hosts) == "127.0.0.1 mine.example\r\n");
                CHECK(s.Flushes == 0);
            } else {
                shield->TurnOn();
                CHECK(shield->ShieldOn);
            }
        }
    }
}

TEST_CASE("listing and counting 250 entries") {
    TShield s;
    WriteAll(s.Hosts, HostsOf250());
    auto shield = s.Make();
    CHECK(shield->CountHosts() == 250);

    std::vector<bool> done;
    auto calls = ListAll(*shield, 100, &done);
    REQUIRE(calls.size() == 101);
    CHECK(calls[0] == L"bad1.example");
    CHECK(calls[99] == L"bad100.example");
    CHECK(calls[100] == L"");
    for (size_t i = 0; i < 100; ++i) CHECK_FALSE(done[i]);
    CHECK(done[100]);
    CHECK(shield->ListingDone);
    CHECK(shield->OnHostListed != nullptr);

    calls = ListAll(*shield, 0);
    CHECK(calls.size() == 251);
    CHECK(calls[249] == L"bad250.example");
}

TEST_CASE("a single word counts but lists as an empty text") {
    TShield s;
    WriteAll(s.Hosts, CrLf({"127.0.0.1 localhost", "justaword", "# comment", "", "127.0.0.1 a.example"}));
    auto shield = s.Make();
    CHECK(shield->CountHosts() == 2);
    CHECK(ListAll(*shield, 0) == std::vector<std::wstring>{L"", L"a.example", L""});
}

TEST_CASE("listing lets the window run every 10 ms, not before every line") {
    TShield s;
    WriteAll(s.Hosts, HostsOf250());
    auto shield = s.Make();
    TFakePumpClock clock;
    CHECK(ListAll(*shield, 0).size() == 251);
    CHECK(s.Pump.Count == 0);  // the clock stood still: nothing was due, however many lines

    // Each of the 250 hosts takes the receiver 1 ms: the window runs before every eleventh line of a
    // host, when 10 ms have passed since it last ran, and at no other line.
    s.Pump.Count = 0;
    int hosts = 0;
    std::vector<int> pumpedAfter;  // the hosts listed when the window ran
    s.Pump.OnPump = [&](int) { pumpedAfter.push_back(hosts); };
    shield->ListHosts(0, [&](const std::wstring& host) {
        if (host.empty()) return;  // the end of the listing
        ++hosts;
        clock.Advance(1);
    });
    std::vector<int> everyTenth;
    for (int n = 10; n < 250; n += 10) everyTenth.push_back(n);
    CHECK(hosts == 250);
    CHECK(pumpedAfter == everyTenth);
    CHECK(s.Pump.Count == 24);
}

TEST_CASE("a listing started while another runs keeps each its own receiver") {
    // The window may ask for a listing while one is under way (from a message handled during the
    // pump); the new one replaces OnHostListed, and the first must go on calling its own receiver.
    TShield s;
    WriteAll(s.Hosts, HostsOf250());
    auto shield = s.Make();
    int outer = 0, inner = 0;
    shield->ListHosts(0, [&](const std::wstring&) {
        if (outer++ == 0) shield->ListHosts(3, [&](const std::wstring&) { ++inner; });
    });
    CHECK(inner == 4);
    CHECK(outer == 251);
    CHECK(shield->ListingDone);
}

TEST_CASE("missing hosts file") {
    TShield s;
    auto shield = s.Make();
    REQUIRE_FALSE(sk::FileExists(s.Hosts));
    CHECK(shield->CountHosts() == 0);
    CHECK_THROWS_AS(shield->ListHosts(100, [](const std::wstring&) {}), sk::TError);
    CHECK(shield->ListingDone);
    CHECK_THROWS_AS(shield->HostExists(L"a.example"), sk::TError);
    CHECK_THROWS_AS(shield->DeleteHost(L"a.example"), sk::TError);
    CHECK_FALSE(shield->HostExists(L"   "));
    shield->AddHost(L" a.example ", true);
    CHECK(ReadAll(s.Hosts) == "127.0.0.1\ta.example\r\n");
    CHECK(s.Flushes == 1);
}

TEST_CASE("adding a host always starts a line of its own, in the file's encoding") {
    struct {
        const char* name;
        std::string before;
        std::string after;
    } cases[] = {
        {"empty", "", "127.0.0.1\tnew.example\r\n"},
        {"no final break", "127.0.0.1 a.example", "127.0.0.1 a.example\r\n127.0.0.1\tnew.example\r\n"},
        {"crlf", "127.0.0.1 a.example\r\n", "127.0.0.1 a.example\r\n127.0.0.1\tnew.example\r\n"},
        {"lf kept", "# x\n127.0.0.1 a.example\n", "# x\n127.0.0.1 a.example\n127.0.0.1\tnew.example\r\n"},
        {"cr kept", "127.0.0.1 a.example\r", "127.0.0.1 a.example\r127.0.0.1\tnew.example\r\n"},
        {"utf-8 bom",
         "\xEF\xBB\xBF"
         "127.0.0.1 a.example",
         "\xEF\xBB\xBF"
         "127.0.0.1 a.example\r\n127.0.0.1\tnew.example\r\n"},
        {"utf-16", Utf16LE(L"127.0.0.1 a.example"), Utf16LE(L"127.0.0.1 a.example\r\n127.0.0.1\tnew.example\r\n")},
    };
    for (const auto& c : cases) {
        const std::string name = c.name;
        CAPTURE(name);
        TShield s;
        WriteAll(s.Hosts, c.before);
        auto shield = s.Make();
        shield->AddHost(L"  new.example\t", true);
        CHECK(ReadAll(s.Hosts) == c.after);
        CHECK(shield->HostExists(L"NEW.example"));
        CHECK(s.Flushes == 1);
        CHECK(s.Leftovers().empty());
    }
}

TEST_CASE("adding, finding and deleting hosts") {
    TShield s;
    const std::string start =
        CrLf({"#127.0.0.1 commented.example", "127.0.0.1 Twice.example", "127.0.0.1  present.example",
              "127.0.0.1\ttwice.example", "127.0.0.1 a.example b.example"});
    WriteAll(s.Hosts, start);
    auto shield = s.Make();

    SUBCASE("present with skip: unchanged; without skip: a second line") {
        shield->AddHost(L"present.example", true);
        CHECK(ReadAll(s.Hosts) == start);
        CHECK(s.Flushes == 0);
        shield->AddHost(L"present.example", false);
        CHECK(ReadAll(s.Hosts) == start + "127.0.0.1\tpresent.example\r\n");
    }
    SUBCASE("a commented-out mapping is not a present host") {
        CHECK_FALSE(shield->HostExists(L"commented.example"));
        shield->AddHost(L"commented.example", true);
        CHECK(ReadAll(s.Hosts) == start + "127.0.0.1\tcommented.example\r\n");
        shield->DeleteHost(L"commented.example");
        CHECK(ReadAll(s.Hosts).find("#127.0.0.1 commented.example\r\n") == 0);
    }
    SUBCASE("a blank name does nothing") {
        shield->AddHost(L" \t ", false);
        shield->DeleteHost(L"   ");
        CHECK_FALSE(shield->HostExists(L""));
        CHECK(ReadAll(s.Hosts) == start);
        CHECK(s.Flushes == 0);
    }
    SUBCASE("a line of two names matches only the whole text") {
        CHECK_FALSE(shield->HostExists(L"a.example"));
        CHECK(shield->HostExists(L" A.example b.example "));
    }
    SUBCASE("delete removes only the upper of two matches, ignoring ASCII case") {
        shield->DeleteHost(L"TWICE.EXAMPLE");
        CHECK(ReadAll(s.Hosts) == CrLf({"#127.0.0.1 commented.example", "127.0.0.1  present.example",
                                        "127.0.0.1\ttwice.example", "127.0.0.1 a.example b.example"}));
        CHECK(s.Flushes == 1);
        shield->DeleteHost(L"twice.example");
        CHECK_FALSE(shield->HostExists(L"twice.example"));
    }
    SUBCASE("delete of an absent host does not write") {
        WriteAll(s.Hosts, "127.0.0.1 a.example\n");  // LF: a rewrite would show as CR LF
        shield->DeleteHost(L"absent.example");
        CHECK(ReadAll(s.Hosts) == "127.0.0.1 a.example\n");
        CHECK(s.Flushes == 0);
    }
}

TEST_CASE("a read-only or locked hosts file: the old file stays whole and the error is raised") {
    enum TFault { kReadOnly, kLocked };
    const std::string original = CrLf({"# user's own", "127.0.0.1 mine.example", "127.0.0.1 other.example"});
    struct {
        const char* name;
        std::function<void(TIESecurity&)> run;
    } operations[] = {
        {"TurnOn", [](TIESecurity& sh) { sh.TurnOn(); }},
        {"TurnOff", [](TIESecurity& sh) { sh.TurnOff(); }},
        {"AddHost", [](TIESecurity& sh) { sh.AddHost(L"new.example", false); }},
        {"DeleteHost", [](TIESecurity& sh) { sh.DeleteHost(L"mine.example"); }},
    };
    for (TFault fault : {kReadOnly, kLocked}) {
        for (const auto& op : operations) {
            const std::string name = std::string(op.name) + (fault == kReadOnly ? ", read-only" : ", locked");
            CAPTURE(name);
            TShield s;
            WriteAll(s.Hosts, original);
            auto shield = s.Make();
            WriteAll(s.List, CrLf({"# 2010-09-07", "127.0.0.1 bad.example"}));
            WriteAll(s.Backup, "# backup\r\n");
            shield->ShieldOn = op.name == std::string("TurnOff");
            const bool wasOn = shield->ShieldOn;
            sk::THandle lock;
            if (fault == kReadOnly)
                ::SetFileAttributesW(s.Hosts.c_str(), FILE_ATTRIBUTE_READONLY);
            else
                lock.Reset(::CreateFileW(s.Hosts.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
            try {
                op.run(*shield);
                FAIL("no error");
            } catch (const sk::TError& e) {
                CHECK(e.Message().find(s.Hosts) != std::wstring::npos);
            }
            lock.Reset();
            ::SetFileAttributesW(s.Hosts.c_str(), FILE_ATTRIBUTE_NORMAL);
            CHECK(ReadAll(s.Hosts) == original);
            CHECK(shield->ShieldOn == wasOn);
            CHECK(s.Flushes == 0);
            CHECK(s.Leftovers().empty());
        }
    }
}

TEST_CASE("the hosts file is swapped in whole, never rewritten in place") {
    // A reader that has the file open while the shield turns on keeps reading the complete old
    // file; anyone opening it afterwards gets the complete new one.
    TShield s;
    const std::string original = CrLf({"# user's own", "127.0.0.1 mine.example"});
    WriteAll(s.Hosts, original);
    auto shield = s.Make();
    WriteAll(s.List, CrLf({"# 2010-09-07", "127.0.0.1 bad.example"}));
    sk::THandle reader(::CreateFileW(s.Hosts.c_str(), GENERIC_READ,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0,
                                     nullptr));
    REQUIRE(reader);
    shield->TurnOn();
    CHECK(shield->ShieldOn);
    char buffer[256] = {};
    DWORD read = 0;
    REQUIRE(::ReadFile(reader.Get(), buffer, sizeof buffer, &read, nullptr));
    CHECK(std::string(buffer, read) == original);
    reader.Reset();
    CHECK(ReadAll(s.Hosts) == ShieldedHosts({"# 2010-09-07", "127.0.0.1 bad.example"}, {"127.0.0.1 mine.example"}));
    CHECK(s.Leftovers().empty());
}

// The flushes counted by the stand-in resolver library built beside this test.
int FakeFlushes() {
    wchar_t text[32] = {};
    const DWORD n = ::GetEnvironmentVariableW(L"SURFKEEP_TEST_FLUSHES", text, 32);
    return n > 0 && n < 32 ? _wtoi(text) : 0;
}

TEST_CASE("the resolver flush calls DnsFlushResolverCache of the library it names") {
    // Wine always loads its own dnsapi.dll for that name, so the stand-in has a name of its own.
    ::SetEnvironmentVariableW(L"SURFKEEP_TEST_FLUSHES", nullptr);
    const std::wstring fake = TestExeFolder() + L"fake-dnsapi.dll";
    REQUIRE(sk::FileExists(fake));
    CHECK(sk::FlushResolverCacheWith(fake));
    CHECK(sk::FlushResolverCacheWith(fake));
    CHECK(FakeFlushes() == 2);

    // No such library, or one without the function: nothing is called, nothing fails.
    TTempDir empty;
    CHECK_FALSE(sk::FlushResolverCacheWith(empty / L"dnsapi.dll"));
    wchar_t system[MAX_PATH] = {};
    REQUIRE(::GetSystemDirectoryW(system, MAX_PATH) > 0);
    CHECK_FALSE(sk::FlushResolverCacheWith(std::wstring(system) + L"\\version.dll"));

    // The system's own library, which the shield's default flush calls, has the function.
    CHECK(sk::FlushResolverCacheWith(std::wstring(system) + L"\\dnsapi.dll"));
    CHECK(FakeFlushes() == 2);
}

