// The shield with real lists and the user's own hosts file, on real files of a scratch folder: the
// list rules, the public "unified" format, backups, the user's entries kept while the shield is on,
// encodings, limits and replacements that fail half-way. The system hosts file is never touched.
#include <functional>
#include <memory>

#include "SecurityTestSupport.h"
#include "TestSupport.h"
#include "base/Errors.h"
#include "base/Format.h"
#include "base/Paths.h"
#include "base/StringTable.h"
#include "security/HostsLine.h"
#include "security/IESecurityFuncs.h"

using namespace sktest;
using sk::TIESecurity;
using sk::hostsline::TListLine;

namespace {

const std::string kUserHosts = CrLf({"# my own hosts file", "127.0.0.1 dev.example", "192.168.1.20 printer"});
const std::string kList = CrLf({"# 2010-09-07", "127.0.0.1 localhost", "0.0.0.0 ads.example", "0.0.0.0 tracker.example"});
const std::string kListInstalled =
    ShieldedHosts({"# 2010-09-07", "# 127.0.0.1 localhost", "0.0.0.0 ads.example", "0.0.0.0 tracker.example"},
                  {"127.0.0.1 dev.example", "192.168.1.20 printer"});

std::vector<std::wstring> Listed(TIESecurity& shield) {
    std::vector<std::wstring> hosts;
    shield.ListHosts(0, [&](const std::wstring& h) {
        if (!h.empty()) hosts.push_back(h);
    });
    return hosts;
}

bool Holds(const std::wstring& text, const std::wstring& part) { return text.find(part) != std::wstring::npos; }

}  // namespace

TEST_CASE("the hash that backups and lists are compared by is SHA-256") {
    CHECK(Sha256Of("abc") == "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    CHECK(Sha256Of("") == "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    CHECK(Sha256Of(std::string(1000000, 'a')) == "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST_CASE("list rules: every kind of line") {
    struct {
        const char* line;
        TListLine kind;
    } cases[] = {
        {"0.0.0.0 ads.example", TListLine::Entry},
        {"127.0.0.1\tads.example", TListLine::Entry},
        {"  0.0.0.0   spaced.example  ", TListLine::Entry},
        {"::1 a.example", TListLine::Entry},
        {":: a.example", TListLine::Entry},
        {"127.255.0.9 a.example", TListLine::Entry},
        {"0.0.0.0 123movies.example", TListLine::Entry},
        {"0.0.0.0 1-2-3.example", TListLine::Entry},
        {"0.0.0.0 a.example b.example", TListLine::Entry},
        {"0.0.0.0 a.example # a comment", TListLine::Entry},
        {"0.0.0.0 localhost bad.example", TListLine::Entry},
        // The standard header lines of public lists.
        {"127.0.0.1 localhost", TListLine::Header},
        {"127.0.0.1 localhost.localdomain", TListLine::Header},
        {"127.0.0.1 local", TListLine::Header},
        {"255.255.255.255 broadcasthost", TListLine::Header},
        {"::1 localhost", TListLine::Header},
        {"::1 ip6-localhost ip6-loopback", TListLine::Header},
        {"fe80::1%lo0 localhost", TListLine::Header},
        {"fe00::0 ip6-localnet", TListLine::Header},
        {"ff00::0 ip6-localnet", TListLine::Header},
        {"ff00::0 ip6-mcastprefix", TListLine::Header},
        {"ff02::1 ip6-allnodes", TListLine::Header},
        {"ff02::2 ip6-allrouters", TListLine::Header},
        {"ff02::3 ip6-allhosts", TListLine::Header},
        {"0.0.0.0 0.0.0.0", TListLine::Header},
        {"127.0.0.1 LOCALHOST # loopback", TListLine::Header},
        // No mapping: not a reason to refuse.
        {"singleword", TListLine::NoMapping},
        {"0.0.0.0", TListLine::NoMapping},
        {"0.0.0.0 # nothing but a comment", TListLine::NoMapping},
        {"", TListLine::Blank},
        {" \t ", TListLine::Blank},
        {"# a comment", TListLine::Comment},
        {"#127.0.0.1 commented.example", TListLine::Comment},
        {"   # 10.0.0.1 commented.example", TListLine::Comment},
        // Any other address, in every notation.
        {"10.0.0.1 bank.example", TListLine::ForeignAddress},
        {"1.2.3.4 localhost", TListLine::ForeignAddress},
        {"0177.0.0.1 octal.example", TListLine::ForeignAddress},
        {"0x7f.0.0.1 hex.example", TListLine::ForeignAddress},
        {"0x7f000001 hex.example", TListLine::ForeignAddress},
        {"2130706433 decimal.example", TListLine::ForeignAddress},
        {"127.1 short.example", TListLine::ForeignAddress},
        {"127.0.0.01 padded.example", TListLine::ForeignAddress},
        {"127.0.0.1. dot.example", TListLine::ForeignAddress},
        {"::ffff:127.0.0.1 mapped.example", TListLine::ForeignAddress},
        {"::ffff:1.2.3.4 mapped.example", TListLine::ForeignAddress},
        {"0:0:0:0:0:ffff:7f00:1 mapped.example", TListLine::ForeignAddress},
        {"2001:db8::1 v6.example", TListLine::ForeignAddress},
        {"[::1] bracket.example", TListLine::ForeignAddress},
        {"::1%lo0 zoned.example", TListLine::ForeignAddress},
        {"255.255.255.255 bank.example", TListLine::ForeignAddress},
        {"fe80::1%lo0 bank.example", TListLine::ForeignAddress},
        {"ff02::1 bank.example", TListLine::ForeignAddress},
        {"ff02::1 ip6-allrouters", TListLine::ForeignAddress},
        {"bank.example 10.0.0.1", TListLine::ForeignAddress},
        // Characters a resolver may read as the end of a line.
        {"0.0.0.0 a.example\v10.0.0.1 bank.example", TListLine::ControlCharacter},
        {"0.0.0.0 a.example\f", TListLine::ControlCharacter},
        {"0.0.0.0 a.example\x1b[0m", TListLine::ControlCharacter},
        {"\x7f" "0.0.0.0 a.example", TListLine::ControlCharacter},
        {"# comment\x01 10.0.0.1 bank.example", TListLine::ControlCharacter},
        // A web page.
        {"<!DOCTYPE html>", TListLine::WebPage},
        {"  <html><head><title>Sign in</title>", TListLine::WebPage},
    };
    for (const auto& c : cases) {
        const std::string line = c.line;
        CAPTURE(line);
        CHECK(sk::hostsline::ClassifyListLine(std::string_view(line)) == c.kind);
        CHECK(sk::hostsline::ClassifyListLine(std::wstring_view(Widen(line))) == c.kind);
    }
    const std::string nul("0.0.0.0 a.example\0 10.0.0.1 bank.example", 40);
    CHECK(sk::hostsline::ClassifyListLine(std::string_view(nul)) == TListLine::ControlCharacter);
}

TEST_CASE("the user's entries: this computer and the local network are kept, public addresses are not") {
    struct {
        const char* line;
        bool kept;
    } cases[] = {
        {"127.0.0.1 dev.example", true},
        {"0.0.0.0 blocked.example", true},
        {"::1 v6.example", true},
        {"10.1.2.3 nas.lan", true},
        {"172.16.0.5 a", true},
        {"172.31.255.1 b", true},
        {"192.168.1.20 printer", true},
        {"169.254.10.10 linklocal", true},
        {"fd00::5 ula.example", true},
        {"fc12::1 ula2.example", true},
        {"fe80::1%eth0 router", true},
        {"172.32.0.1 public.example", false},
        {"172.15.0.1 public.example", false},
        {"1.2.3.4 www.bank.example", false},
        {"8.8.8.8 dns.example", false},
        {"2001:db8::1 v6.example", false},
        {"0177.0.0.1 octal.example", false},
        {"justaword", false},
        {"192.168.1.20", false},
        {"10.0.0.1 a\x0b" "b", false},
    };
    for (const auto& c : cases) {
        const std::string line = c.line;
        CAPTURE(line);
        CHECK(sk::hostsline::KeepsUserEntry(std::string_view(line)) == c.kept);
    }
}

TEST_CASE("hostile list files are refused whole and change nothing") {
    struct {
        const char* name;
        std::string list;
        const wchar_t* reason;  // a part of the refusal's text
    } cases[] = {
        {"CR inside a line", "# x\r\n0.0.0.0 a.example\r10.0.0.1 bank.example\r\n", L"its line 3 sends"},
        {"vertical tab", "0.0.0.0 a.example\r\n0.0.0.0 b.example\v1.2.3.4 bank.example\r\n", L"line 2 holds a control"},
        {"NUL", std::string("0.0.0.0 a.example\r\n0.0.0.0 b.example\0\r\n", 40), L"line 2 holds a control"},
        {"UTF-16 without a byte-order mark", Utf16LE(L"0.0.0.0 a.example\r\n", false), L"holds a control"},
        {"UTF-8 with a foreign address", "\xEF\xBB\xBF" "0.0.0.0 a.example\r\n1.2.3.4 bank.example\r\n", L"its line 2"},
        {"UTF-16 with a foreign address", Utf16LE(L"0.0.0.0 a.example\r\n::ffff:1.2.3.4 bank.example\r\n"), L"its line 2"},
        {"a captive portal's page", "<!DOCTYPE html>\n<html><body>Please sign in</body></html>\n", L"web page"},
        {"empty", "", L"it is empty"},
        {"comments only", "# 2010-09-07\r\n# nothing here\r\n127.0.0.1 localhost\r\n", L"it is empty"},
    };
    for (const auto& c : cases) {
        CAPTURE(c.name);
        TShieldFixture s;
        ::CreateDirectoryW((s.Dir / L"etc").c_str(), nullptr);
        WriteAll(s.Hosts, kUserHosts);
        auto shield = s.Make();
        WriteAll(s.List, c.list);
        const auto before = s.Contents();
        const std::wstring error = ErrorOf([&] { shield->TurnOn(); });
        CHECK(Holds(error, L"was not installed"));
        CHECK(Holds(error, c.reason));
        CHECK_FALSE(shield->ShieldOn);
        CHECK(s.Contents() == before);
        CHECK(s.Flushes == 0);
        CHECK_THROWS_AS(TIESecurity::CheckListFile(s.List, shield->Limits()), sk::TShieldRefusal);
    }
}

TEST_CASE("a control character is found wherever it sits, across the reader's 1 MiB pieces too") {
    std::string head;
    while (head.size() < 1024 * 1024 - 12) head += "0.0.0.0 a" + std::to_string(head.size()) + ".example\r\n";
    const size_t boundary = 1024 * 1024;
    struct {
        const char* name;
        size_t at;  // where the vertical tab goes, counted from the start of the file
    } cases[] = {
        {"in a line across the boundary, before it", boundary - 3},
        {"in a line across the boundary, after it", boundary + 3},
        {"well after the boundary", boundary + 5000},
    };
    for (const auto& c : cases) {
        CAPTURE(c.name);
        std::string list = head;
        while (list.size() < boundary + 10000) list += "0.0.0.0 b" + std::to_string(list.size()) + ".example\r\n";
        // Keep the line breaks where they are: replace a letter of a name.
        size_t at = c.at;
        while (list[at] == '\r' || list[at] == '\n' || list[at] == ' ') ++at;
        list[at] = '\v';
        TShieldFixture s;
        ::CreateDirectoryW((s.Dir / L"etc").c_str(), nullptr);
        WriteAll(s.Hosts, kUserHosts);
        auto shield = s.Make();
        WriteAll(s.List, list);
        const auto before = s.Contents();
        CHECK(Holds(ErrorOf([&] { shield->TurnOn(); }), L"holds a control character"));
        CHECK(s.Contents() == before);
        CHECK_THROWS_AS(TIESecurity::CheckListFile(s.List, shield->Limits()), sk::TShieldRefusal);
    }
}

TEST_CASE("lists in other encodings install as plain hosts lines") {
    struct {
        const char* name;
        std::string list;
    } cases[] = {
        {"UTF-8 with a byte-order mark", "\xEF\xBB\xBF# 2010-09-07\n127.0.0.1 localhost\n0.0.0.0 ads.example\n0.0.0.0 tracker.example\n"},
        {"UTF-16 with a byte-order mark", Utf16LE(L"# 2010-09-07\r\n127.0.0.1 localhost\r\n0.0.0.0 ads.example\r\n0.0.0.0 tracker.example")},
    };
    for (const auto& c : cases) {
        CAPTURE(c.name);
        TShieldFixture s;
        ::CreateDirectoryW((s.Dir / L"etc").c_str(), nullptr);
        WriteAll(s.Hosts, kUserHosts);
        auto shield = s.Make();
        WriteAll(s.List, c.list);
        shield->TurnOn();
        CHECK(ReadAll(s.Hosts) == kListInstalled);
        CHECK(shield->CountHosts() == 4);
    }
}

TEST_CASE("a public unified list installs, lists and counts correctly") {
    TShieldFixture s;
    ::CreateDirectoryW((s.Dir / L"etc").c_str(), nullptr);
    WriteAll(s.Hosts, kUserHosts);
    auto shield = s.Make();
    const std::string list = UnifiedList(500);
    WriteAll(s.List, list);

    const sk::TListSummary summary = TIESecurity::CheckListFile(s.List, shield->Limits());
    CHECK(summary.Entries == 500);
    CHECK(summary.HeaderLines == kUnifiedHeaderMappings);
    CHECK(summary.Marker == L"Title: a unified hosts file for tests");
    CHECK_FALSE(summary.HasDate);

    shield->TurnOn();
    REQUIRE(shield->ShieldOn);
    CHECK(shield->LastTurnOn().ListEntries == 500);
    CHECK(shield->LastTurnOn().HeaderLines == kUnifiedHeaderMappings);
    CHECK(shield->LastTurnOn().UserEntriesKept == 2);

    // Every line is there, CR LF ended; the header lines, and only they, are commented out.
    std::vector<std::string> expected;
    size_t start = 0;
    while (start < list.size()) {
        const size_t end = list.find('\n', start);
        std::string line = list.substr(start, end - start);
        const auto kind = sk::hostsline::ClassifyListLine(std::string_view(line));
        expected.push_back(kind == TListLine::Header ? "# " + line : line);
        start = end + 1;
    }
    CHECK(ReadAll(s.Hosts) == ShieldedHosts(expected, {"127.0.0.1 dev.example", "192.168.1.20 printer"}));
    const std::string hosts = ReadAll(s.Hosts);
    CHECK(hosts.find("\r\n# 255.255.255.255 broadcasthost\r\n") != std::string::npos);
    CHECK(hosts.find("\r\n# fe80::1%lo0 localhost\r\n") != std::string::npos);
    CHECK(hosts.find("\r\n#127.0.0.1 commented.example\r\n") != std::string::npos);

    // 500 entries and the user's two; nothing of the header, nor the commented-out entry.
    CHECK(shield->CountHosts() == 502);
    const auto listed = Listed(*shield);
    REQUIRE(listed.size() == 502);
    CHECK(listed[0] == L"0-ads.example");
    CHECK(listed[1] == L"tracker1.example");
    CHECK(listed[499] == L"tracker499.example");
    CHECK(listed[500] == L"dev.example");
    CHECK(listed[501] == L"printer");
    for (const auto& h : listed) {
        CHECK(h.find(L"localhost") == std::wstring::npos);
        CHECK(h != L"commented.example");
        CHECK(h != L"0.0.0.0");
    }
    shield->TurnOff();
    CHECK(ReadAll(s.Hosts) == kUserHosts);
}

TEST_CASE("backups: byte copies before every Turn on, the newest ten kept, Turn off brings back the newest") {
    TShieldFixture s;
    ::CreateDirectoryW((s.Dir / L"etc").c_str(), nullptr);
    WriteAll(s.Hosts, kUserHosts);
    auto shield = s.Make();
    WriteAll(s.List, kList);
    REQUIRE(ReadAll(s.Backup) == kUserHosts);

    SUBCASE("an unchanged hosts file needs no new copy; Turn off brings it back") {
        shield->TurnOn();
        CHECK(shield->LastTurnOn().BackupMade.empty());
        CHECK(shield->State().DatedBackups.empty());
        CHECK(shield->State().NewestBackup == s.Backup);
        shield->TurnOff();
        CHECK(ReadAll(s.Hosts) == kUserHosts);
    }
    SUBCASE("edits made while the shield was off survive an on/off cycle") {
        const std::string edited = "\xEF\xBB\xBF" "# caf\xC3\xA9\r\n10.0.0.5 nas.lan\n127.0.0.1 dev.example";
        WriteAll(s.Hosts, edited);
        shield->TurnOn();
        const std::wstring dated = shield->LastTurnOn().BackupMade;
        REQUIRE_FALSE(dated.empty());
        CHECK(sk::FileNameOf(dated).rfind(L"hosts-", 0) == 0);
        CHECK(ReadAll(dated) == edited);
        CHECK(ReadAll(s.Backup) == kUserHosts);  // the first backup is never replaced
        shield->TurnOff();
        CHECK(ReadAll(s.Hosts) == edited);
        CHECK(shield->LastTurnOff().RestoredFrom == dated);
    }
    SUBCASE("twelve cycles with different files: the newest ten dated copies stay, and the first") {
        std::vector<std::string> versions;
        for (int i = 0; i < 12; ++i) {
            versions.push_back(kUserHosts + "127.0.0.1 edit" + std::to_string(i) + ".example\r\n");
            WriteAll(s.Hosts, versions.back());
            shield->TurnOn();
            shield->TurnOff();
            CHECK(ReadAll(s.Hosts) == versions.back());
        }
        const auto state = shield->State();
        REQUIRE(state.DatedBackups.size() == 10);
        for (size_t i = 0; i < 10; ++i) CHECK(ReadAll(state.DatedBackups[i]) == versions[11 - i]);
        CHECK(state.NewestBackup == state.DatedBackups[0]);
        CHECK(ReadAll(s.Backup) == kUserHosts);
    }
    SUBCASE("no copy of a shielded file: not while the shield is on, nor when the file is the shield's") {
        shield->TurnOn();
        const auto before = s.Contents();
        // Installing a newer list while on.
        WriteAll(s.List, kList + "0.0.0.0 newer.example\r\n");
        shield->TurnOn();
        CHECK(shield->LastTurnOn().BackupMade.empty());
        CHECK(shield->LastTurnOn().BackupNote == IDS_IESECURITY_BackupSkippedOn);
        CHECK(shield->State().DatedBackups.empty());
        // The stored state was lost (the shield reads as off), but the hosts file is the shield's.
        shield->ShieldOn = false;
        CHECK(shield->State().HostsIsShield);
        shield->TurnOn();
        CHECK(shield->LastTurnOn().BackupNote == IDS_IESECURITY_BackupSkippedShield);
        CHECK(shield->State().DatedBackups.empty());
        // The user's entries still come from their own file.
        CHECK(shield->LastTurnOn().UserEntriesFrom == s.Backup);
        CHECK(shield->LastTurnOn().UserEntriesKept == 2);
        shield->TurnOff();
        CHECK(ReadAll(s.Hosts) == kUserHosts);
        (void)before;
    }
    SUBCASE("a hosts file that is a copy of the list (as an earlier version left it) is not the user's") {
        WriteAll(s.Hosts, kList);
        CHECK(shield->IsShieldFile(s.Hosts));
        shield->TurnOn();
        CHECK(shield->LastTurnOn().BackupNote == IDS_IESECURITY_BackupSkippedShield);
        CHECK(shield->State().DatedBackups.empty());
        shield->TurnOff();
        CHECK(ReadAll(s.Hosts) == kUserHosts);
    }
}

TEST_CASE("the first backup is not made of a shielded hosts file") {
    TShieldFixture s;
    ::CreateDirectoryW((s.Dir / L"etc").c_str(), nullptr);
    WriteAll(s.Hosts, kListInstalled);
    auto shield = s.Make();
    CHECK_FALSE(sk::FileExists(s.Backup));
    CHECK(shield->State().BackupProblem == IDS_IESECURITY_BackupSkippedShield);
    CHECK(shield->State().HostsIsShield);
    // Nothing of the user's own is left to save: Turn on refuses.
    WriteAll(s.List, kList);
    const std::wstring error = ErrorOf([&] { shield->TurnOn(); });
    CHECK(Holds(error, IDS_IESECURITY_BackupMissing));
    CHECK(ReadAll(s.Hosts) == kListInstalled);
}

TEST_CASE("the user's entries that are not kept are listed, and come back at Turn off") {
    TShieldFixture s;
    ::CreateDirectoryW((s.Dir / L"etc").c_str(), nullptr);
    const std::string user = CrLf({"# mine", "127.0.0.1 dev.example", "1.2.3.4 www.bank.example", "",
                                   "10.1.2.3 nas.lan", "8.8.8.8 dns.example # fast", "justaword",
                                   "fe80::1%eth0 router", "#5.6.7.8 commented.example"});
    WriteAll(s.Hosts, user);
    auto shield = s.Make();
    WriteAll(s.List, kList);

    auto notKept = shield->UserEntriesNotKept();
    REQUIRE(notKept.size() == 3);
    CHECK(notKept[0].Line == 3);
    CHECK(notKept[0].Text == L"1.2.3.4 www.bank.example");
    CHECK(notKept[1].Line == 6);
    CHECK(notKept[1].Text == L"8.8.8.8 dns.example # fast");
    CHECK(notKept[2].Text == L"justaword");
    CHECK(shield->UserEntries().size() == 6);

    shield->TurnOn();
    CHECK(ReadAll(s.Hosts) ==
          ShieldedHosts({"# 2010-09-07", "# 127.0.0.1 localhost", "0.0.0.0 ads.example", "0.0.0.0 tracker.example"},
                        {"127.0.0.1 dev.example", "10.1.2.3 nas.lan", "fe80::1%eth0 router"}));
    CHECK(shield->LastTurnOn().NotKept.size() == 3);
    // While on, the list comes from the backup.
    notKept = shield->UserEntriesNotKept();
    REQUIRE(notKept.size() == 3);
    CHECK(notKept[0].Text == L"1.2.3.4 www.bank.example");
    CHECK_FALSE(shield->HostExists(L"www.bank.example"));
    shield->TurnOff();
    CHECK(ReadAll(s.Hosts) == user);
}

TEST_CASE("the hosts file keeps its own encoding: Turn on and off, Delete and Add") {
    struct {
        const char* name;
        std::string user;             // the user's hosts file
        std::string shieldPrefix;     // how the shielded file begins
        std::string afterDelete;      // the user's file without its second line
    } cases[] = {
        {"ANSI with a non-ASCII comment", "# caf\xE9\r\n127.0.0.1 a.example\r\n10.0.0.1 b.example", "# Hosts file",
         "# caf\xE9\r\n10.0.0.1 b.example"},
        {"UTF-8 with a byte-order mark", "\xEF\xBB\xBF# caf\xC3\xA9 \xE6\xA1\x86\n127.0.0.1 a.example\n10.0.0.1 b.example\n",
         "\xEF\xBB\xBF# Hosts file", "\xEF\xBB\xBF# caf\xC3\xA9 \xE6\xA1\x86\n10.0.0.1 b.example\n"},
        {"UTF-16", Utf16LE(L"# caf\xE9 \x6846\r\n127.0.0.1 a.example\r\n10.0.0.1 b.example\r\n"),
         Utf16LE(L"# Hosts file"), Utf16LE(L"# caf\xE9 \x6846\r\n10.0.0.1 b.example\r\n")},
    };
    for (const auto& c : cases) {
        CAPTURE(c.name);
        TShieldFixture s;
        ::CreateDirectoryW((s.Dir / L"etc").c_str(), nullptr);
        WriteAll(s.Hosts, c.user);
        auto shield = s.Make();
        CHECK(ReadAll(s.Backup) == c.user);
        WriteAll(s.List, kList);
        shield->TurnOn();
        CHECK(ReadAll(s.Hosts).rfind(c.shieldPrefix, 0) == 0);
        CHECK(shield->HostExists(L"b.example"));  // kept, and readable in that encoding
        CHECK(shield->HostExists(L"ads.example"));
        shield->TurnOff();
        CHECK(ReadAll(s.Hosts) == c.user);

        shield->DeleteHost(L"A.example");
        CHECK(ReadAll(s.Hosts) == c.afterDelete);
        // The last line, without a line break after it.
        WriteAll(s.Hosts, c.user);
        shield->DeleteHost(L"b.example");
        CHECK_FALSE(shield->HostExists(L"b.example"));
        CHECK(shield->HostExists(L"a.example"));
    }
}

TEST_CASE("AddHost refuses names that would make lines of their own") {
    TShieldFixture s;
    ::CreateDirectoryW((s.Dir / L"etc").c_str(), nullptr);
    WriteAll(s.Hosts, kUserHosts);
    auto shield = s.Make();
    for (const wchar_t* bad : {L"a.example\r\n10.0.0.1 bank.example", L"a.example\nb", L"a b.example", L"a\tb",
                               L"a#b", L"a\x01" L"b", L"a\x7F" L"b", L"a\x0B" L"b"}) {
        CAPTURE(Narrow(bad));
        const std::wstring error = ErrorOf([&] { shield->AddHost(bad, false); });
        CHECK(Holds(error, L"was not added"));
        CHECK(ReadAll(s.Hosts) == kUserHosts);
    }
    // A name the file's encoding cannot hold would be written damaged.
    CHECK(Holds(ErrorOf([&] { shield->AddHost(L"\x6846.example", false); }), L"encoding cannot hold"));
    CHECK(ReadAll(s.Hosts) == kUserHosts);
    WriteAll(s.Hosts, "\xEF\xBB\xBF" "127.0.0.1 a.example\r\n");
    shield->AddHost(L"\x6846.example", false);
    CHECK(ReadAll(s.Hosts) == "\xEF\xBB\xBF" "127.0.0.1 a.example\r\n127.0.0.1\t\xE6\xA1\x86.example\r\n");
    // Blanks around a name are trimmed, as before.
    shield->AddHost(L"  ok.example \t", false);
    CHECK(shield->HostExists(L"ok.example"));
}

TEST_CASE("limits: a file beyond the size cap or with a line beyond 4,096 characters is refused whole") {
    const std::string longLine = "0.0.0.0 " + std::string(4089, 'a');  // 4,097 characters
    const std::string okLine = "0.0.0.0 " + std::string(4088, 'a');    // 4,096
    SUBCASE("a list") {
        TShieldFixture s;
        ::CreateDirectoryW((s.Dir / L"etc").c_str(), nullptr);
        WriteAll(s.Hosts, kUserHosts);
        auto shield = s.Make();
        WriteAll(s.List, CrLf({"# 2010-09-07", okLine, longLine, "0.0.0.0 b.example"}));
        const auto before = s.Contents();
        const std::wstring error = ErrorOf([&] { shield->TurnOn(); });
        CHECK(Holds(error, L"its line 3 is longer than 4096 characters"));
        CHECK(s.Contents() == before);
        // One line of five megabytes: refused before it is held whole.
        WriteAll(s.List, "0.0.0.0 " + std::string(5 * 1024 * 1024, 'b'));
        CHECK(Holds(ErrorOf([&] { shield->TurnOn(); }), L"its line 1 is longer"));
        CHECK(s.Contents().size() == before.size());
        WriteAll(s.List, CrLf({"# 2010-09-07", okLine}));
        shield->TurnOn();
        CHECK(shield->ShieldOn);
    }
    SUBCASE("the hosts file and the backup") {
        TShieldFixture s;
        ::CreateDirectoryW((s.Dir / L"etc").c_str(), nullptr);
        WriteAll(s.Hosts, CrLf({"127.0.0.1 a.example", longLine}));
        auto shield = s.Make();
        CHECK_THROWS_AS(shield->CountHosts(), sk::TLineTooLongError);
        CHECK_THROWS_AS(shield->ListHosts(0, [](const std::wstring&) {}), sk::TLineTooLongError);
        CHECK(shield->ListingDone);
        // The backup holds the long line too: the user's entries cannot be read from it.
        WriteAll(s.List, kList);
        CHECK(Holds(ErrorOf([&] { shield->TurnOn(); }), L"longer than 4096"));
        CHECK_FALSE(shield->ShieldOn);
    }
    SUBCASE("the size cap") {
        TShieldFixture s;
        s.MaxFileBytes = 1000;
        ::CreateDirectoryW((s.Dir / L"etc").c_str(), nullptr);
        WriteAll(s.Hosts, kUserHosts);
        auto shield = s.Make();
        std::string big = "# 2010-09-07\r\n";
        while (big.size() <= 1000) big += "0.0.0.0 a-somewhat-long-name.example\r\n";
        WriteAll(s.List, big);
        const auto before = s.Contents();
        CHECK(Holds(ErrorOf([&] { shield->TurnOn(); }), L"larger than"));
        CHECK(s.Contents() == before);
        WriteAll(s.Hosts, big);
        CHECK_THROWS_AS(shield->CountHosts(), sk::TFileTooLargeError);
        CHECK_THROWS_AS(shield->DeleteHost(L"a.example"), sk::TFileTooLargeError);
    }
    SUBCASE("the size cap from the settings file") {
        TShieldFixture s;
        WriteAll(s.Settings, "[SURFKEEP]\r\nHostsMaxSizeMB=2\r\n");
        CHECK(s.Make()->Limits().MaxBytes == 2u * 1024 * 1024);
        WriteAll(s.Settings, "[SURFKEEP]\r\nHostsMaxSizeMB=nonsense\r\n");
        CHECK(s.Make()->Limits().MaxBytes == sk::kDefaultMaxHostsFileBytes);
        CHECK(s.Make()->Limits().MaxLineChars == 4096);
    }
}

TEST_CASE("a replacement that fails half-way never leaves the hosts file missing") {
    struct {
        const char* name;
        std::function<void(TFaultyCalls&)> fault;
        bool done;  // Turn on went through
    } cases[] = {
        {"replacement stops after setting the old file aside: the new one is moved in",
         [](TFaultyCalls& f) { f.ReplaceError = ERROR_UNABLE_TO_MOVE_REPLACEMENT_2; }, true},
        {"... and the new one cannot be moved either: the old one is put back",
         [](TFaultyCalls& f) {
             f.ReplaceError = ERROR_UNABLE_TO_MOVE_REPLACEMENT_2;
             f.MoveFailures = 1;
         },
         false},
        {"... and the old one cannot be moved back: it is copied back",
         [](TFaultyCalls& f) {
             f.ReplaceError = ERROR_UNABLE_TO_MOVE_REPLACEMENT_2;
             f.MoveFailures = 2;
         },
         false},
        {"replacement fails before it began", [](TFaultyCalls& f) { f.ReplaceError = ERROR_UNABLE_TO_MOVE_REPLACEMENT; },
         false},
        {"the disk fills while the new file is written", [](TFaultyCalls& f) { f.WriteBudget = 50; }, false},
        {"the new file cannot be flushed to disk", [](TFaultyCalls& f) { f.FailFlush = true; }, false},
    };
    for (const auto& c : cases) {
        CAPTURE(c.name);
        TShieldFixture s;
        TFaultyCalls faults;
        s.Files = &faults;
        ::CreateDirectoryW((s.Dir / L"etc").c_str(), nullptr);
        WriteAll(s.Hosts, kUserHosts);
        auto shield = s.Make();
        WriteAll(s.List, kList);
        const auto before = s.Contents();
        faults.Target = s.Hosts;
        c.fault(faults);
        const std::wstring error = ErrorOf([&] { shield->TurnOn(); });
        CHECK(shield->ShieldOn == c.done);
        if (c.done) {
            CHECK(error == L"(no error)");
            CHECK(ReadAll(s.Hosts) == kListInstalled);
        } else {
            CHECK(Holds(error, L"Unable to write to " + s.Hosts));
            CHECK(s.Contents() == before);
        }
        CHECK_FALSE(sk::FileExists(sk::AsideNameOf(s.Hosts)));
        CHECK(FilesStartingWith(s.Dir / L"etc\\", L"~sk").empty());
    }
}

TEST_CASE("a swap cut off between its steps is finished at the next start") {
    TShieldFixture s;
    ::CreateDirectoryW((s.Dir / L"etc").c_str(), nullptr);
    WriteAll(s.Hosts, kUserHosts);
    s.Make();
    // The old file was set aside, the new one never arrived, a temporary file stayed.
    ::MoveFileW(s.Hosts.c_str(), sk::AsideNameOf(s.Hosts).c_str());
    WriteAll(s.Dir / L"etc\\~skAB12.tmp", "half of a new file");
    s.Make();
    CHECK(ReadAll(s.Hosts) == kUserHosts);
    CHECK_FALSE(sk::FileExists(sk::AsideNameOf(s.Hosts)));
    CHECK(FilesStartingWith(s.Dir / L"etc\\", L"~sk").empty());
    // The new file arrived, the aside copy stayed: it goes.
    WriteAll(sk::AsideNameOf(s.Hosts), "old");
    s.Make();
    CHECK(ReadAll(s.Hosts) == kUserHosts);
    CHECK_FALSE(sk::FileExists(sk::AsideNameOf(s.Hosts)));
}

TEST_CASE("several list addresses in the settings") {
    TShieldFixture s;
    WriteAll(s.Settings, "[SURFKEEP]\r\nHostsListUrl= http://a.example/one.txt  https://b.example/two.txt\thttp://a.example/one.txt \r\n");
    auto shield = s.Make();
    CHECK(shield->ListUrls == std::vector<std::wstring>{L"http://a.example/one.txt", L"https://b.example/two.txt"});
    CHECK(shield->ListUrl == L"http://a.example/one.txt");
}
