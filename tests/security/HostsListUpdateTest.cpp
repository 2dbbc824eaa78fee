// The update of the hosts list against our own server on 127.0.0.1, on the files of a scratch
// folder: versions by date marker, by the server's validators (304) and by the body's hash; server
// faults, each ending with every file (hosts file, list, backups, settings) as it was; several
// sources merged.
#include <memory>

#include "HttpTestServer.h"
#include "SecurityTestSupport.h"
#include "TestSupport.h"
#include "base/Format.h"
#include "base/Paths.h"
#include "base/ProfileFile.h"
#include "base/StringTable.h"
#include "security/HostsListUpdate.h"

using namespace sktest;
using sk::THostsListUpdate;
using sk::TListUpdateResult;
using sk::TSourceOutcome;

namespace {

const std::string kUserHosts = CrLf({"# my own hosts file", "127.0.0.1 dev.example"});
const std::string kInstalledList = CrLf({"# 2010-09-07", "127.0.0.1 localhost", "0.0.0.0 old.example"});

std::string DatedList(const std::string& date, const std::string& name) {
    return CrLf({"# " + date, "127.0.0.1 localhost", "0.0.0.0 " + name});
}

struct TUpdateFixture {
    TShieldFixture S;
    THttpTestServer Server;
    std::unique_ptr<sk::TIESecurity> Shield;
    std::unique_ptr<THostsListUpdate> Update;

    explicit TUpdateFixture(const std::vector<std::string>& paths = {"/hosts.txt"}) {
        ::CreateDirectoryW((S.Dir / L"etc").c_str(), nullptr);
        WriteAll(S.Hosts, kUserHosts);
        std::string urls;
        for (const auto& p : paths) urls += Narrow(Server.Url(p)) + " ";
        WriteAll(S.Settings, "[SURFKEEP]\r\nHostsListUrl=" + urls + "\r\n");
        Remake();
    }
    void Remake() {
        Update.reset();
        Shield = S.Make();
        Update = std::make_unique<THostsListUpdate>(*Shield);
        Update->TimeoutMs = 3000;
        Update->DeadlineMs = 10000;
    }
    // The shield on, with a list installed by an earlier update from these sources.
    void InstallFirst(const std::string& list = kInstalledList) {
        WriteAll(S.List, list);
        std::wstring urls;
        for (const auto& url : Shield->ListUrls) urls += (urls.empty() ? L"" : L" ") + url;
        sk::TProfileFile(S.Settings).WriteString(L"SURFKEEP", L"HostsListSources", urls);
        Shield->TurnOn();
        REQUIRE(Shield->ShieldOn);
    }
    TListUpdateResult Run(DWORD timeoutMs = 20000) {
        TListUpdateResult result;
        bool done = false;
        Update->OnDone = [&](const TListUpdateResult& r) {
            result = r;
            done = true;
        };
        REQUIRE(Update->Start());
        REQUIRE(PumpUntil([&] { return done; }, timeoutMs));
        CHECK_FALSE(Update->Busy());
        // A new list becomes the hosts file at once while the shield is on.
        if (result.Installed && Shield->ShieldOn) CHECK(result.HostsInstalled);
        return result;
    }
    std::wstring Setting(const wchar_t* key) const {
        return sk::TProfileFile(S.Settings).ReadString(L"SURFKEEP", key, L"(absent)");
    }
};

bool Holds(const std::wstring& text, const std::wstring& part) { return text.find(part) != std::wstring::npos; }

}  // namespace

TEST_CASE("server faults: the list in use and every other file stay as they were, and the status says why") {
    THttpTestServer other;
    const std::string valid = DatedList("2010-10-01", "new.example");
    TScript endless;
    endless.Send(ResponseHead(200, std::nullopt));
    for (int i = 0; i < 3000; ++i) endless.Send(Filler(1000));
    TScript trickle;
    trickle.Send(ResponseHead(200, 100) + "#");
    for (int i = 0; i < 50; ++i) trickle.Send("x").Pause(20000);  // one byte every 20 s
    struct {
        const char* name;
        std::function<TScript(THttpTestServer&)> script;
        TSourceOutcome outcome;
        std::wstring reason;  // a part of the status line
    } cases[] = {
        {"short body", [&](THttpTestServer&) { return TScript().Send(ResponseHead(200, 5000) + Filler(1000)).Close(); },
         TSourceOutcome::Failed, L"it arrived cut short (1000 of 5000 bytes)"},
        {"no Content-Length", [&](THttpTestServer&) { return Answer(200, valid, false); }, TSourceOutcome::Failed,
         IDS_IESECURITY_ReasonNoLength},
        {"empty 200", [&](THttpTestServer&) { return Answer(200, ""); }, TSourceOutcome::Refused, L"it is empty"},
        {"HTML 200 of a captive portal",
         [&](THttpTestServer&) {
             return Answer(200, "<!DOCTYPE html>\n<html><head><title>Hotel Wi-Fi</title></head><body>Sign in</body></html>\n");
         },
         TSourceOutcome::Refused, L"it is a web page"},
        {"marker 9999-12-31", [&](THttpTestServer&) { return Answer(200, DatedList("9999-12-31", "new.example")); },
         TSourceOutcome::Refused, L"its version date 9999-12-31 lies in the future"},
        {"a newer list that sends a name elsewhere",
         [&](THttpTestServer&) { return Answer(200, valid + "10.0.0.1 bank.example\r\n"); }, TSourceOutcome::Refused,
         L"its line 4 sends \"bank.example\" to 10.0.0.1"},
        {"302 to another port",
         [&](THttpTestServer&) {
             return TScript().Send("HTTP/1.1 302 Found\r\nLocation: " + Narrow(other.Url("/hosts.txt")) +
                                   "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
         },
         TSourceOutcome::Refused, L"the server sent the request on to " + other.Url("/hosts.txt")},
        {"endless body", [&](THttpTestServer&) { return endless; }, TSourceOutcome::Refused, L"it is larger than 1 MB"},
        {"one byte every 20 s", [&](THttpTestServer&) { return trickle; }, TSourceOutcome::Failed,
         IDS_IESECURITY_ReasonTimeout},
        {"a server that never answers", [&](THttpTestServer&) { return TScript().Hang(); }, TSourceOutcome::Failed,
         IDS_IESECURITY_ReasonTimeout},
        {"an error page whose first line is a later date marker",
         [&](THttpTestServer&) { return Answer(404, "# 2099-01-01 this is an error page\r\n"); },
         TSourceOutcome::Failed, L"the server answered with status 404"},
        {"500", [&](THttpTestServer&) { return Answer(500, "# 2099-01-01\r\n"); }, TSourceOutcome::Failed,
         L"the server answered with status 500"},
        {"connection cut in the first line",
         [&](THttpTestServer&) { return TScript().Send(ResponseHead(200, 100) + "# 2010-").Pause(300).Close(); },
         TSourceOutcome::Failed, L"it arrived cut short (7 of 100 bytes)"},
    };
    other.On("/hosts.txt", Answer(200, valid));
    for (const auto& c : cases) {
        const std::string name = c.name;
        CAPTURE(name);
        TUpdateFixture f;
        f.S.MaxFileBytes = 1024 * 1024;
        f.Remake();
        f.InstallFirst();
        f.Update->DeadlineMs = 1500;
        f.Server.On("/hosts.txt", c.script(f.Server));
        const auto before = f.S.Contents();
        const ULONGLONG start = ::GetTickCount64();
        const TListUpdateResult result = f.Run();
        CHECK(::GetTickCount64() - start < 5000);
        CHECK_FALSE(result.Installed);
        CHECK(result.FailedSource == 0);
        REQUIRE(result.Sources.size() == 1);
        CHECK(result.Sources[0].Outcome == c.outcome);
        const std::wstring text = result.Text();
        CAPTURE(Narrow(text));
        CHECK(Holds(text, f.Server.Url("/hosts.txt")));
        CHECK(Holds(text, c.reason));
        CHECK(Holds(text, L"The list in use stays as it was."));
        CHECK(text != IDS_IESECURITY_DownloadCompleted);
        // A worker given up on ends once the server lets go, and takes its unfinished file along.
        f.Server.Stop();
        PumpUntil([&] { return FilesStartingWith(f.S.Dir.Path(), L"~sk").empty(); }, 10000);
        CHECK(f.S.Contents() == before);
    }
    CHECK(other.Hits("/hosts.txt") == 0);
}

TEST_CASE("an address nobody answers at, or that names no server: failed, the list as it was") {
    unsigned short closedPort;
    {
        THttpTestServer gone;
        closedPort = gone.Port();
    }
    for (const std::wstring url : {L"http://127.0.0.1:" + std::to_wstring(closedPort) + L"/hosts.txt",
                                   std::wstring(L"http://127.0.0.1")}) {
        CAPTURE(Narrow(url));
        TUpdateFixture f;
        f.InstallFirst();
        f.Shield->ListUrls = {url};
        const auto before = f.S.Contents();
        const TListUpdateResult result = f.Run();
        CHECK_FALSE(result.Installed);
        CHECK(result.FailedSource == 0);
        REQUIRE(result.Sources.size() == 1);
        CHECK(result.Sources[0].Outcome == TSourceOutcome::Failed);
        CHECK(result.Sources[0].ErrorCode != 0);
        CHECK(Holds(result.Text(), url));
        CHECK(Holds(result.Text(), L"The list in use stays as it was."));
        CHECK(f.S.Contents() == before);
    }
}

TEST_CASE("versions by the date marker") {
    const std::string sameDate = DatedList("2010-09-07", "other.example");
    struct {
        const char* name;
        std::string remote;
        bool installed;
        std::string local = kInstalledList;
    } cases[] = {
        {"a later date", DatedList("2010-10-01", "new.example"), true},
        {"the same date written without dashes", DatedList("20100907", "other.example"), false},
        {"an earlier date", DatedList("2010-08-30", "other.example"), false},
        {"a later date in a list without a final line break", "# 2010-10-01\r\n0.0.0.0 new.example", true},
        {"a later date in a list with CR line ends", "# 2010-10-01\r0.0.0.0 new.example\r", true},
        // The installed list's marker read in every form it may have been written in.
        {"installed with a UTF-8 mark, the date without dashes", sameDate, false,
         "\xEF\xBB\xBF# 20100907\r\n0.0.0.0 old.example\r\n"},
        {"installed in UTF-16", sameDate, false, Utf16LE(L"# 2010-09-07\r\n0.0.0.0 old.example\r\n")},
        {"installed with CR line ends", sameDate, false, "# 2010-09-07\r0.0.0.0 old.example\r"},
    };
    for (const auto& c : cases) {
        const std::string name = c.name;
        CAPTURE(name);
        TUpdateFixture f;
        f.InstallFirst(c.local);
        f.Server.On("/hosts.txt", TScript().Send(ResponseHead(200, c.remote.size(), "ETag: \"e1\"\r\n") + c.remote));
        const auto result = f.Run();
        CHECK(result.Installed == c.installed);
        CHECK(result.UpToDate == !c.installed);
        CHECK(result.Text() == (c.installed ? IDS_IESECURITY_DownloadCompleted : IDS_IESECURITY_LatestFile));
        CHECK(ReadAll(f.S.List) == (c.installed ? c.remote : c.local));
        CHECK(f.Shield->HostExists(L"new.example") == c.installed);
        CHECK(f.Setting(L"HostsListETag") == L"\"e1\"");
        CHECK_FALSE(sk::FileExists(f.S.List + L".new"));
    }
}

TEST_CASE("versions by the server's validators: 304 is up to date") {
    TUpdateFixture f;
    const std::string list = UnifiedList(50);  // no date marker
    f.Server.On("/hosts.txt",
                TScript().Send(ResponseHead(200, list.size(), "ETag: \"abc\"\r\nLast-Modified: Wed, 01 Jan 2025 00:00:00 GMT\r\n") + list));
    auto result = f.Run();
    REQUIRE(result.Installed);
    CHECK(ReadAll(f.S.List) == list);
    CHECK(f.Setting(L"HostsListETag") == L"\"abc\"");
    CHECK(f.Setting(L"HostsListLastModified") == L"Wed, 01 Jan 2025 00:00:00 GMT");
    CHECK(f.Setting(L"HostsListHash") == Widen(Sha256Of(list)));
    CHECK(f.Setting(L"HostsListSources") == f.Server.Url("/hosts.txt"));
    // The first request asked unconditionally: there was nothing installed.
    CHECK(f.Server.Requests()[0].find("If-None-Match") == std::string::npos);

    f.Server.On("/hosts.txt", TScript().Send("HTTP/1.1 304 Not Modified\r\nETag: \"abc\"\r\nConnection: close\r\n\r\n"));
    const auto before = f.S.Contents();
    result = f.Run();
    CHECK(result.UpToDate);
    CHECK(result.Sources[0].Outcome == TSourceOutcome::NotModified);
    CHECK(result.Text() == IDS_IESECURITY_UpdateNotModified);
    CHECK(f.S.Contents() == before);
    const std::string second = f.Server.Requests()[1];
    CHECK(second.find("If-None-Match: \"abc\"\r\n") != std::string::npos);
    CHECK(second.find("If-Modified-Since: Wed, 01 Jan 2025 00:00:00 GMT\r\n") != std::string::npos);

    // Other addresses in the settings: the stored validators are not theirs, and the installed
    // list is not known to be theirs either.
    sk::TProfileFile(f.S.Settings).WriteString(L"SURFKEEP", L"HostsListUrl", f.Server.Url("/mirror.txt"));
    f.Remake();
    f.Server.On("/mirror.txt", Answer(200, list));
    result = f.Run();
    CHECK(f.Server.Requests()[2].find("If-None-Match") == std::string::npos);
    CHECK(result.Sources[0].Outcome == TSourceOutcome::Newer);
    CHECK(f.Setting(L"HostsListSources") == f.Server.Url("/mirror.txt"));
}

TEST_CASE("a server without validators: the body's hash decides") {
    TUpdateFixture f;
    const std::string list = UnifiedList(20);
    f.Server.On("/hosts.txt", Answer(200, list));
    REQUIRE(f.Run().Installed);
    auto result = f.Run();
    CHECK(result.UpToDate);
    CHECK(result.Sources[0].Outcome == TSourceOutcome::SameContent);
    CHECK(result.Text() == IDS_IESECURITY_LatestFile);
    const std::string changed = UnifiedList(21);
    f.Server.On("/hosts.txt", Answer(200, changed));
    result = f.Run();
    CHECK(result.Installed);
    CHECK(ReadAll(f.S.List) == changed);
}

TEST_CASE("a chunked answer without a length is accepted; a secure address never falls back to plain http") {
    TUpdateFixture f;
    f.Server.On("/hosts.txt", TScript().Send("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nConnection: close\r\n\r\n"
                                             "13\r\n0.0.0.0 a.example\r\n\r\n0\r\n\r\n"));
    auto result = f.Run();
    CHECK(result.Installed);
    CHECK(ReadAll(f.S.List) == "0.0.0.0 a.example\r\n");

    WriteAll(f.S.Settings, "[SURFKEEP]\r\nHostsListUrl=https://127.0.0.1:" + std::to_string(f.Server.Port()) + "/hosts.txt\r\n");
    f.Remake();
    const auto before = f.S.Contents();
    result = f.Run();
    CHECK(result.Sources[0].Outcome == TSourceOutcome::Failed);
    CHECK(Holds(result.Text(), L"could not be fetched"));
    CHECK(f.S.Contents() == before);
    CHECK(f.Server.Hits("/hosts.txt") == 1);
}

TEST_CASE("several sources are merged, duplicates removed; one refused source keeps the last good list") {
    TUpdateFixture f({"/one.txt", "/two.txt"});
    const std::string one = CrLf({"# 2010-09-07", "127.0.0.1 localhost", "0.0.0.0 a.example", "0.0.0.0 Shared.example"});
    const std::string two = CrLf({"# Title: another list", "0.0.0.0 shared.example", "0.0.0.0 b.example",
                                  "0.0.0.0 c.example shared.example"});
    f.Server.On("/one.txt", Answer(200, one));
    f.Server.On("/two.txt", TScript().Send(ResponseHead(200, two.size(), "ETag: \"t1\"\r\n") + two));
    f.InstallFirst();
    auto result = f.Run();
    REQUIRE(result.Installed);
    REQUIRE(result.Sources.size() == 2);
    CHECK(result.Sources[0].Entries == 2);
    CHECK(result.Sources[1].Entries == 3);
    const std::string merged = ReadAll(f.S.List);
    CHECK(merged == "\xEF\xBB\xBF" + CrLf({"# 2010-09-07", "# Source 1: " + Narrow(f.Server.Url("/one.txt")), "# 2010-09-07",
                                           "127.0.0.1 localhost", "0.0.0.0 a.example", "0.0.0.0 Shared.example",
                                           "# Source 2: " + Narrow(f.Server.Url("/two.txt")), "# Title: another list",
                                           "0.0.0.0 b.example", "0.0.0.0 c.example shared.example"}));
    CHECK(ReadAll(f.S.Dir / L"lists\\source1.txt") == one);
    CHECK(ReadAll(f.S.Dir / L"lists\\source2.txt") == two);
    CHECK(f.Setting(L"HostsListETag2") == L"\"t1\"");
    CHECK(f.Shield->HostExists(L"b.example"));
    CHECK(f.Shield->HostExists(L"shared.example"));
    CHECK(f.Shield->CountHosts() == 4 + 1);  // and the user's own entry

    SUBCASE("the second source is refused: nothing changes, and the status names it") {
        f.Server.On("/one.txt", Answer(200, DatedList("2010-10-01", "newer.example")));
        f.Server.On("/two.txt", Answer(200, "<html>Sign in</html>\n"));
        const auto before = f.S.Contents();
        result = f.Run();
        CHECK_FALSE(result.Installed);
        CHECK(result.FailedSource == 1);
        CHECK(result.Sources[0].Outcome == TSourceOutcome::Newer);
        CHECK(result.Sources[1].Outcome == TSourceOutcome::Refused);
        CHECK(Holds(result.Text(), f.Server.Url("/two.txt")));
        CHECK(Holds(result.Text(), L"web page"));
        CHECK(f.S.Contents() == before);
    }
    SUBCASE("one source unchanged, the other newer: the merge takes the kept copy of the first") {
        f.Server.On("/two.txt", TScript().Send("HTTP/1.1 304 Not Modified\r\nConnection: close\r\n\r\n"));
        f.Server.On("/one.txt", Answer(200, DatedList("2010-10-01", "b.example")));
        result = f.Run();
        CHECK(result.Installed);
        CHECK(result.Sources[1].Outcome == TSourceOutcome::NotModified);
        const std::string again = ReadAll(f.S.List);
        CHECK(again.find("0.0.0.0 b.example\r\n# Source 2") != std::string::npos);
        // b.example comes first now: the second list's line of it goes, shared.example is its own.
        CHECK(again.find("# Title: another list\r\n0.0.0.0 shared.example\r\n0.0.0.0 c.example shared.example\r\n") !=
              std::string::npos);
        CHECK(f.Shield->HostExists(L"c.example shared.example"));
    }
    SUBCASE("back to one source: the list is that source alone again") {
        sk::TProfileFile(f.S.Settings).WriteString(L"SURFKEEP", L"HostsListUrl", f.Server.Url("/one.txt"));
        f.Remake();
        f.Shield->ShieldOn = true;
        result = f.Run();
        CHECK(result.Installed);
        CHECK(ReadAll(f.S.List) == one);
    }
}

TEST_CASE("stopping an update while the server trickles returns within seconds, without a result") {
    TUpdateFixture f;
    f.InstallFirst();
    TScript trickle;
    trickle.Send(ResponseHead(200, 100) + "#");
    for (int i = 0; i < 50; ++i) trickle.Send("x").Pause(20000);
    f.Server.On("/hosts.txt", trickle);
    f.Update->DeadlineMs = 60000;
    bool done = false;
    f.Update->OnDone = [&](const TListUpdateResult&) { done = true; };
    const auto before = f.S.Contents();
    REQUIRE(f.Update->Start());
    PumpUntil([] { return false; }, 300);
    const ULONGLONG start = ::GetTickCount64();
    f.Update->Stop();
    CHECK(::GetTickCount64() - start < 4000);
    CHECK_FALSE(f.Update->Busy());
    f.Update.reset();  // as the window does when it closes
    CHECK(::GetTickCount64() - start < 5000);
    f.Server.Stop();
    PumpUntil([&] { return FilesStartingWith(f.S.Dir.Path(), L"~sk").empty(); }, 10000);
    CHECK_FALSE(done);
    CHECK(f.S.Contents() == before);
}

TEST_CASE("a new list that cannot become the hosts file: saved, the hosts file as it was, and the status says so") {
    TUpdateFixture f;
    f.InstallFirst();
    const std::string hosts = ReadAll(f.S.Hosts);
    const std::string newer = DatedList("2010-10-01", "new.example");
    f.Server.On("/hosts.txt", Answer(200, newer));
    TListUpdateResult result;
    {
        const sk::THandle lock(::CreateFileW(f.S.Hosts.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        REQUIRE(lock);
        bool done = false;
        f.Update->OnDone = [&](const TListUpdateResult& r) {
            result = r;
            done = true;
        };
        REQUIRE(f.Update->Start());
        REQUIRE(PumpUntil([&] { return done; }, 20000));
    }
    CHECK(result.Installed);
    CHECK_FALSE(result.HostsInstalled);
    CHECK(Holds(result.HostsProblem, f.S.Hosts));
    CHECK(result.Text() == sk::Fmt(IDS_IESECURITY_UpdateHostsNotChanged, result.HostsProblem));
    CHECK(ReadAll(f.S.List) == newer);
    CHECK(ReadAll(f.S.Hosts) == hosts);
    CHECK(f.Shield->ShieldOn);
}
