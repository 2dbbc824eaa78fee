// The downloader against our own server on 127.0.0.1. Its events reach the test thread only while
// that thread pumps messages, as they reach the window thread in the program.
#include <optional>

#include "HttpTestServer.h"
#include "MessageBoxRecorder.h"
#include "SecurityTestSupport.h"
#include "TestSupport.h"
#include "base/Errors.h"
#include "base/Paths.h"
#include "base/StringTable.h"
#include "security/KivHttpGet.h"

using namespace sktest;
using sk::TKivHttpGet;

namespace {

const std::string kOldList = "# 2010-09-07\r\n127.0.0.1 old.example\r\n";

struct TEvent {
    char Kind = 0;  // 'P' progress, 'C' completed, 'E' error, 'S' stopped, 'N' not modified
    uint64_t Current = 0, Total = 0;
    uint32_t Speed = 0, Code = 0;
    int64_t Size = 0;
    std::wstring Url, Local;
    DWORD Thread = 0;
};

struct TDownload {
    TTempDir Dir;
    std::wstring Target = Dir / L"hosts.txt";
    TKivHttpGet Get;
    std::vector<TEvent> Events;
    std::function<void()> OnEachProgress;

    TDownload() {
        Get.TimeoutMs = 1500;
        Get.OnProcess = [this](TKivHttpGet* sender, int index, const std::wstring& url, const std::wstring& local,
                               uint64_t current, uint64_t total, uint32_t speed) {
            CHECK(sender == &Get);
            CHECK(index == 0);
            Events.push_back({'P', current, total, speed, 0, 0, url, local, ::GetCurrentThreadId()});
            if (OnEachProgress) OnEachProgress();
        };
        Get.OnFileCompleted = [this](TKivHttpGet* sender, int index, const std::wstring& url, const std::wstring& local,
                                     int64_t size) {
            CHECK(sender == &Get);
            CHECK(index == 0);
            Events.push_back({'C', 0, 0, 0, 0, size, url, local, ::GetCurrentThreadId()});
        };
        Get.OnError = [this](TKivHttpGet* sender, const std::wstring& url, const std::wstring& local, uint32_t code,
                             bool& continueNext) {
            CHECK(sender == &Get);
            CHECK_FALSE(continueNext);
            Events.push_back({'E', 0, 0, 0, code, 0, url, local, ::GetCurrentThreadId()});
        };
        Get.OnStopped = [this](TKivHttpGet* sender) {
            CHECK(sender == &Get);
            Events.push_back({'S', 0, 0, 0, 0, 0, {}, {}, ::GetCurrentThreadId()});
        };
        Get.OnNotModified = [this](TKivHttpGet* sender) {
            CHECK(sender == &Get);
            Events.push_back({'N', 0, 0, 0, 0, 0, {}, {}, ::GetCurrentThreadId()});
        };
        WriteAll(Target, kOldList);
    }

    // Starts the download and pumps until the worker has ended.
    void Run(const std::wstring& url) {
        REQUIRE(Get.DownloadFile(url, Target));
        REQUIRE(PumpUntil([&] { return !Get.Busy(); }));
    }
    std::string Kinds() const {
        std::string k;
        for (const auto& e : Events) k += e.Kind;
        return k;
    }
    std::vector<std::wstring> Leftovers() const { return FilesStartingWith(Dir.Path(), L"~sk"); }
};

std::vector<std::wstring>& gBoxes = TMessageBoxRecorder::Texts();  // the texts of the boxes shown

}  // namespace

TEST_CASE("events per server behaviour") {
    THttpTestServer server;
    const std::string body1300 = Filler(1300);
    struct {
        const char* name;
        TScript script;
        std::optional<std::vector<uint64_t>> progress;  // the CurrentSize of each OnProcess, when fixed
        uint64_t total;                                 // TotalSize of every OnProcess
        char end;                                       // 'C' or 'E'
        uint32_t value;                                 // FileSize, or the error code (0: a platform error)
        std::optional<std::string> content;             // the target afterwards (nullopt: the old list)
    } cases[] = {
        // The body is read in blocks of up to 64 KiB: a small one comes in one report.
        {"1300 bytes", Answer(200, body1300), std::vector<uint64_t>{1300}, 1300, 'C', 1300, body1300},
        {"not found", Answer(404, "no such list\r\n"), std::vector<uint64_t>{}, 0, 'E', 404, std::nullopt},
        {"server error", Answer(500, "oops\r\n"), std::vector<uint64_t>{}, 0, 'E', 500, std::nullopt},
        {"no length, a body", Answer(200, Filler(700), false), std::vector<uint64_t>{700}, 0, 'E', 0xFFFFFFFF,
         std::nullopt},
        {"no length, no body", Answer(200, "", false), std::vector<uint64_t>{}, 0, 'C', 0, std::string()},
        {"cut short", TScript().Send(ResponseHead(200, 2000) + body1300).Close(), std::vector<uint64_t>{1300}, 2000,
         'E', 0xFFFFFFFF, std::nullopt},
        {"closes after the head", TScript().Send(ResponseHead(200, 100)).Close(), std::vector<uint64_t>{}, 100, 'E',
         0xFFFFFFFF, std::nullopt},
        {"hangs in the body", TScript().Send(ResponseHead(200, 1300) + body1300.substr(0, 600)).Hang(), std::nullopt,
         1300, 'E', 0xFFFFFFFF, std::nullopt},
        {"hangs before answering", TScript().Hang(), std::vector<uint64_t>{}, 0, 'E', 0, std::nullopt},
    };
    int n = 0;
    for (auto& c : cases) {
        const std::string name = c.name;
        CAPTURE(name);
        TDownload d;
        const std::string path = "/case" + std::to_string(n++) + ".txt";
        server.On(path, c.script);
        const std::wstring url = server.Url(path);
        d.Run(url);

        REQUIRE_FALSE(d.Events.empty());
        const TEvent last = d.Events.back();
        CHECK(last.Kind == c.end);
        for (size_t i = 0; i + 1 < d.Events.size(); ++i) CHECK(d.Events[i].Kind == 'P');
        std::vector<uint64_t> sizes;
        for (const auto& e : d.Events) {
            CHECK(e.Thread == ::GetCurrentThreadId());
            CHECK(e.Url == url);
            CHECK(e.Local == d.Target);
            if (e.Kind != 'P') continue;
            sizes.push_back(e.Current);
            CHECK(e.Total == c.total);
            CHECK(e.Speed == 0);  // all within the first second
        }
        if (c.progress)
            CHECK(sizes == *c.progress);
        else
            CHECK_FALSE(sizes.empty());
        if (c.end == 'C')
            CHECK(last.Size == static_cast<int>(c.value));
        else if (c.value)
            CHECK(last.Code == c.value);
        else
            CHECK((last.Code != 0 && last.Code != 0xFFFFFFFF));
        CHECK(ReadAll(d.Target) == c.content.value_or(kOldList));
        CHECK(d.Leftovers().empty());
    }
    server.Release();
}

TEST_CASE("a body longer than announced never installs more than was announced") {
    // WinInet on Windows stops reading at the announced length; Wine reads on to the close.
    THttpTestServer server;
    const std::string body = Filler(1300);
    server.On("/long.txt", TScript().Send(ResponseHead(200, 1000) + body));
    TDownload d;
    d.Run(server.Url("/long.txt"));
    const std::string kinds = d.Kinds();
    REQUIRE_FALSE(kinds.empty());
    if (kinds.back() == 'C') {
        CHECK(d.Events.back().Size == 1000);
        CHECK(ReadAll(d.Target) == body.substr(0, 1000));
    } else {
        CHECK(d.Events.back().Code == 0xFFFFFFFFu);
        CHECK(ReadAll(d.Target) == kOldList);
    }
    CHECK(d.Leftovers().empty());
}

TEST_CASE("the request: agent name and the server's own answer") {
    THttpTestServer server;
    server.On("/list.txt", Answer(200, "# 2010-09-07\r\n"));
    TDownload d;
    d.Run(server.Url("/list.txt"));
    REQUIRE(d.Kinds() == "PC");
    const auto requests = server.Requests();
    REQUIRE(requests.size() == 1);
    CHECK(requests[0].rfind("GET /list.txt HTTP/1.1\r\n", 0) == 0);
    const auto agent = requests[0].find("User-Agent: KivHttpGet_");
    REQUIRE(agent != std::string::npos);
    const auto end = requests[0].find("\r\n", agent);
    const std::string name = requests[0].substr(agent + 12, end - agent - 12);
    CHECK(name.size() > std::string("KivHttpGet__Agent").size());
    CHECK(name.substr(name.size() - 6) == "_Agent");
}

TEST_CASE("unreachable server, missing folder, folder that cannot be made, read-only target") {
    THttpTestServer server;
    server.On("/list.txt", Answer(200, "# 2010-09-07\r\n127.0.0.1 a.example\r\n"));

    SUBCASE("nobody listening: the platform's error") {
        unsigned short closedPort;
        {
            THttpTestServer gone;
            closedPort = gone.Port();
        }
        TDownload d;
        d.Run(L"http://127.0.0.1:" + std::to_wstring(closedPort) + L"/list.txt");
        REQUIRE(d.Kinds() == "E");
        CHECK(d.Events[0].Code == 12029u);  // ERROR_INTERNET_CANNOT_CONNECT
        CHECK(ReadAll(d.Target) == kOldList);
    }
    SUBCASE("an https address asks for a secure connection, which our plain server cannot give") {
        TDownload d;
        d.Run(L"https://127.0.0.1:" + std::to_wstring(server.Port()) + L"/list.txt");
        REQUIRE(d.Kinds() == "E");
        CHECK(d.Events[0].Code != 0);
        CHECK(server.Hits("/list.txt") == 0);
        CHECK(ReadAll(d.Target) == kOldList);
    }
    SUBCASE("missing folders of the local file are made") {
        TDownload d;
        d.Target = d.Dir / L"a\\b\\hosts.txt";
        d.Run(server.Url("/list.txt"));
        CHECK(d.Kinds() == "PC");
        CHECK(ReadAll(d.Target) == "# 2010-09-07\r\n127.0.0.1 a.example\r\n");
    }
    SUBCASE("a folder that cannot be made: no event at all") {
        TDownload d;
        WriteAll(d.Dir / L"blocker", "a file where a folder should be");
        d.Target = d.Dir / L"blocker\\sub\\hosts.txt";
        d.Run(server.Url("/list.txt"));
        CHECK(d.Kinds() == "");
        CHECK(server.Hits("/list.txt") == 0);
    }
    SUBCASE("a read-only target: the platform's error and the old file") {
        TDownload d;
        ::SetFileAttributesW(d.Target.c_str(), FILE_ATTRIBUTE_READONLY);
        d.Run(server.Url("/list.txt"));
        ::SetFileAttributesW(d.Target.c_str(), FILE_ATTRIBUTE_NORMAL);
        REQUIRE(d.Kinds() == "PE");
        CHECK(d.Events[1].Code == static_cast<uint32_t>(ERROR_ACCESS_DENIED));
        CHECK(ReadAll(d.Target) == kOldList);
        CHECK(d.Leftovers().empty());
    }
}

TEST_CASE("speed is measured over at least one second") {
    THttpTestServer server;
    server.On("/slow.txt", TScript().Send(ResponseHead(200, 1024) + Filler(512)).Pause(1200).Send(Filler(512)));
    TDownload d;
    d.Run(server.Url("/slow.txt"));
    REQUIRE(d.Kinds() == "PPC");
    CHECK(d.Events[0].Speed == 0);
    // 1024 bytes since the first report, over 1.2 s or (on a loaded machine) somewhat more.
    CHECK(d.Events[1].Speed >= 200);
    CHECK(d.Events[1].Speed <= 1024);
}

TEST_CASE("busy, refused second download, idle stop") {
    THttpTestServer server;
    server.On("/slow.txt", TScript().Send(ResponseHead(200, 1024) + Filler(512)).Pause(300).Send(Filler(512)));
    server.On("/other.txt", Answer(200, "other"));
    TDownload d;
    CHECK_FALSE(d.Get.Busy());
    d.Get.Stop(true);  // idle: nothing, and no OnStopped
    CHECK(d.Events.empty());

    REQUIRE(d.Get.DownloadFile(server.Url("/slow.txt"), d.Target));
    CHECK(d.Get.Busy());
    CHECK_FALSE(d.Get.DownloadFile(server.Url("/other.txt"), d.Dir / L"other.txt"));
    REQUIRE(PumpUntil([&] { return !d.Get.Busy(); }));
    CHECK(d.Kinds() == "PPC");
    CHECK(d.Events.back().Url == server.Url("/slow.txt"));
    CHECK(server.Hits("/other.txt") == 0);
    CHECK_FALSE(sk::FileExists(d.Dir / L"other.txt"));

    // The next download starts afresh.
    d.Events.clear();
    d.Run(server.Url("/other.txt"));
    CHECK(d.Kinds() == "PC");
    CHECK(ReadAll(d.Target) == "other");
}

TEST_CASE("a download stopped midway raises no completion and no error, and keeps the old list") {
    THttpTestServer server;
    // A second block 150 ms after the first (reported: a tenth of a second has passed), then a
    // pause that leaves ample time for the stop to come first, shorter than the read limit.
    server.On("/list.txt", TScript()
                               .Send(ResponseHead(200, 1300) + Filler(1024))
                               .Pause(150)
                               .Send(Filler(200))
                               .Pause(800)
                               .Send(Filler(76)));
    TDownload d;
    bool stopping = false;
    int progressWhileStopping = 0;
    d.OnEachProgress = [&] { progressWhileStopping += stopping ? 1 : 0; };
    REQUIRE(d.Get.DownloadFile(server.Url("/list.txt"), d.Target));
    REQUIRE(PumpUntil([&] { return !d.Events.empty(); }));
    // Not pumping for a while leaves the worker blocked in handing over its second block; Stop
    // must run that hand-over while it waits, or neither thread would ever go on.
    ::Sleep(400);
    stopping = true;
    d.Get.Stop(true);
    stopping = false;
    CHECK_FALSE(d.Get.Busy());
    CHECK(progressWhileStopping == 1);
    const std::string kinds = d.Kinds();
    CHECK(kinds == "PPS");
    CHECK(ReadAll(d.Target) == kOldList);
    CHECK(d.Leftovers().empty());
    // Nothing more arrives later.
    PumpUntil([] { return false; }, 300);
    CHECK(d.Kinds() == kinds);

    // A stopped download cannot be resumed; the next one starts from the beginning.
    d.Events.clear();
    d.Run(server.Url("/list.txt"));
    CHECK(d.Kinds() == "PPPC");
    CHECK(d.Events[0].Current <= 1024);
    CHECK(d.Events[2].Current == 1300);
    CHECK(ReadAll(d.Target).size() == 1300);
}

TEST_CASE("stop from inside an event, and destruction during a download") {
    THttpTestServer server;
    server.On("/list.txt", TScript().Send(ResponseHead(200, 1300) + Filler(600)).Pause(800).Send(Filler(700)));

    SUBCASE("stop from inside an event only asks; the download then ends without further events") {
        TDownload d;
        d.OnEachProgress = [&] { d.Get.Stop(true); };
        REQUIRE(d.Get.DownloadFile(server.Url("/list.txt"), d.Target));
        REQUIRE(PumpUntil([&] { return !d.Get.Busy(); }));
        CHECK(d.Kinds() == "P");
        CHECK(ReadAll(d.Target) == kOldList);
    }
    SUBCASE("destroying a busy component waits for its worker, raises no OnStopped, removes the unfinished file") {
        TTempDir dir;
        const std::wstring target = dir / L"hosts.txt";
        WriteAll(target, kOldList);
        int events = 0, stopped = 0, ends = 0;
        {
            TKivHttpGet get;
            get.OnProcess = [&](TKivHttpGet*, int, const std::wstring&, const std::wstring&, uint64_t, uint64_t,
                                uint32_t) { ++events; };
            get.OnStopped = [&](TKivHttpGet*) { ++stopped; };
            get.OnFileCompleted = [&](TKivHttpGet*, int, const std::wstring&, const std::wstring&, int64_t) { ++ends; };
            get.OnError = [&](TKivHttpGet*, const std::wstring&, const std::wstring&, uint32_t, bool&) { ++ends; };
            REQUIRE(get.DownloadFile(server.Url("/list.txt"), target));
            PumpUntil([&] { return events > 0; });
        }
        const int atEnd = events;
        PumpUntil([] { return false; }, 200);
        CHECK(events == atEnd);
        CHECK(stopped == 0);
        CHECK(ends == 0);
        CHECK(ReadAll(target) == kOldList);
        CHECK(FilesStartingWith(dir.Path(), L"~sk").empty());
    }
}

TEST_CASE("an error raised by an event handler is shown once the worker is released") {
    THttpTestServer server;
    server.On("/list.txt", Answer(200, Filler(1300)));
    std::optional<TMessageBoxRecorder> recorder(std::in_place);
    TDownload d;
    int boxesDuringEvents = -1;
    d.Get.OnFileCompleted = [&](TKivHttpGet*, int, const std::wstring&, const std::wstring&, int64_t) {
        boxesDuringEvents = static_cast<int>(gBoxes.size());
        throw sk::TError(L"Cannot open file \"x\". Access denied.");
    };
    d.Run(server.Url("/list.txt"));
    PumpUntil([] { return !gBoxes.empty(); }, 2000);
    recorder.reset();
    CHECK(boxesDuringEvents == 0);
    REQUIRE(gBoxes.size() == 1);
    CHECK(gBoxes[0] == L"Cannot open file \"x\". Access denied.");
    CHECK(ReadAll(d.Target) == Filler(1300));
}

TEST_CASE("large blocks, about ten reports a second, the last one with the whole size") {
    THttpTestServer server;
    // 3 MB in 30 pieces of 100 KB, 50 ms apart: about 1.5 s.
    TScript script;
    script.Send(ResponseHead(200, 30 * 100000));
    for (int i = 0; i < 30; ++i) script.Send(Filler(100000)).Pause(50);
    server.On("/big.txt", script);
    TDownload d;
    const ULONGLONG start = ::GetTickCount64();
    d.Run(server.Url("/big.txt"));
    const double seconds = static_cast<double>(::GetTickCount64() - start) / 1000.0;
    REQUIRE(d.Kinds().back() == 'C');
    const size_t reports = d.Events.size() - 1;
    CAPTURE(reports);
    CAPTURE(seconds);
    CHECK(reports >= 3);
    CHECK(static_cast<double>(reports) <= seconds * 10 + 3);
    uint64_t previous = 0;
    for (size_t i = 0; i < reports; ++i) {
        CHECK(d.Events[i].Current > previous);
        previous = d.Events[i].Current;
    }
    CHECK(previous == 3000000u);
    CHECK(d.Events.back().Size == 3000000);
}

TEST_CASE("a conditional request: 304 means not modified, and the validators are reported") {
    THttpTestServer server;
    server.On("/same.txt", TScript().Send("HTTP/1.1 304 Not Modified\r\nETag: \"v1\"\r\nConnection: close\r\n\r\n"));
    server.On("/new.txt", TScript().Send(ResponseHead(200, 5, "ETag: \"v2\"\r\nLast-Modified: Wed, 01 Jan 2025 00:00:00 GMT\r\n") + "hello"));

    TDownload d;
    sk::TDownloadOptions options;
    options.IfNoneMatch = L"\"v1\"";
    options.IfModifiedSince = L"Tue, 31 Dec 2024 00:00:00 GMT";
    REQUIRE(d.Get.DownloadFile(server.Url("/same.txt"), d.Target, options));
    REQUIRE(PumpUntil([&] { return !d.Get.Busy(); }));
    CHECK(d.Kinds() == "N");
    CHECK(d.Get.LastResult().Outcome == sk::TDownloadOutcome::NotModified);
    CHECK(ReadAll(d.Target) == kOldList);
    const auto requests = server.Requests();
    REQUIRE(requests.size() == 1);
    CHECK(requests[0].find("If-None-Match: \"v1\"\r\n") != std::string::npos);
    CHECK(requests[0].find("If-Modified-Since: Tue, 31 Dec 2024 00:00:00 GMT\r\n") != std::string::npos);

    d.Events.clear();
    REQUIRE(d.Get.DownloadFile(server.Url("/new.txt"), d.Target, options));
    REQUIRE(PumpUntil([&] { return !d.Get.Busy(); }));
    CHECK(d.Kinds() == "PC");
    CHECK(d.Get.LastResult().ETag == L"\"v2\"");
    CHECK(d.Get.LastResult().LastModified == L"Wed, 01 Jan 2025 00:00:00 GMT");
    CHECK(ReadAll(d.Target) == "hello");

    // Without a conditional request a 304 is just a status other than 200.
    d.Events.clear();
    d.Run(server.Url("/same.txt"));
    REQUIRE(d.Kinds() == "E");
    CHECK(d.Events[0].Code == 304u);
}

TEST_CASE("redirects: to the same server and port, or to https; nowhere else") {
    THttpTestServer server, other;
    other.On("/list.txt", Answer(200, "elsewhere"));
    const std::string port = std::to_string(server.Port());
    auto redirect = [](const std::string& location) {
        return TScript().Send("HTTP/1.1 302 Found\r\nLocation: " + location + "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
    };
    server.On("/final.txt", Answer(200, "the list"));
    server.On("/absolute", redirect("http://127.0.0.1:" + port + "/final.txt"));
    server.On("/dir/relative", redirect("../final.txt"));
    server.On("/rooted", redirect("/final.txt"));
    server.On("/other-port", redirect("http://127.0.0.1:" + std::to_string(other.Port()) + "/list.txt"));
    server.On("/other-host", redirect("http://localhost:" + port + "/final.txt"));
    server.On("/secure", redirect("https://127.0.0.1:" + port + "/final.txt"));
    server.On("/nowhere", TScript().Send("HTTP/1.1 302 Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n"));
    server.On("/loop", redirect("/loop"));
    struct {
        const char* path;
        char end;
        uint32_t code;
        const char* content;  // nullptr: the old list
    } cases[] = {
        {"/absolute", 'C', 0, "the list"},
        {"/dir/relative", 'C', 0, "the list"},
        {"/rooted", 'C', 0, "the list"},
        {"/other-port", 'E', sk::kHttpGetRedirectRefused, nullptr},
        {"/other-host", 'E', sk::kHttpGetRedirectRefused, nullptr},
        {"/nowhere", 'E', 302, nullptr},
        {"/loop", 'E', sk::kHttpGetRedirectRefused, nullptr},
        // Allowed, and then the secure connection fails against our plain server: an error of the
        // connection, not a refused redirect, and never a fallback to plain http.
        {"/secure", 'E', 0, nullptr},
    };
    for (const auto& c : cases) {
        CAPTURE(c.path);
        TDownload d;
        d.Run(server.Url(c.path));
        REQUIRE_FALSE(d.Events.empty());
        CHECK(d.Events.back().Kind == c.end);
        if (c.end == 'E') {
            if (c.code)
                CHECK(d.Events.back().Code == c.code);
            else
                CHECK((d.Events.back().Code != 0 && d.Events.back().Code != sk::kHttpGetRedirectRefused));
            CHECK_FALSE(d.Get.LastResult().Reason().empty());
        } else {
            CHECK(d.Get.LastResult().FinalUrl == server.Url("/final.txt"));
        }
        CHECK(ReadAll(d.Target) == (c.content ? std::string(c.content) : kOldList));
    }
    CHECK(other.Hits("/list.txt") == 0);
    CHECK(server.Hits("/loop") == 6);
}

TEST_CASE("size cap, body check, chunked bodies and 64-bit lengths") {
    THttpTestServer server;
    server.On("/long.txt", Answer(200, Filler(5000)));
    TScript endless;
    endless.Send(ResponseHead(200, std::nullopt));
    for (int i = 0; i < 2000; ++i) endless.Send(Filler(1000));
    server.On("/endless.txt", endless);
    server.On("/chunked.txt", TScript().Send("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nConnection: close\r\n\r\n"
                                              "5\r\nhello\r\n6\r\n world\r\n0\r\n\r\n"));
    server.On("/huge.txt", TScript().Send(ResponseHead(200, 5000000000ull) + "0123456789").Close());
    server.On("/ok.txt", Answer(200, "0.0.0.0 a.example\r\n"));

    SUBCASE("a body beyond the cap is refused, before it is read when its length says so") {
        TDownload d;
        sk::TDownloadOptions options;
        options.MaxBytes = 4096;
        REQUIRE(d.Get.DownloadFile(server.Url("/long.txt"), d.Target, options));
        REQUIRE(PumpUntil([&] { return !d.Get.Busy(); }));
        CHECK(d.Kinds() == "E");
        CHECK(d.Events.back().Code == sk::kHttpGetRefused);
        CHECK(d.Get.LastResult().Outcome == sk::TDownloadOutcome::TooLarge);
        CHECK(ReadAll(d.Target) == kOldList);
    }
    SUBCASE("an endless body without a length ends at the cap") {
        TDownload d;
        sk::TDownloadOptions options;
        options.MaxBytes = 100000;
        REQUIRE(d.Get.DownloadFile(server.Url("/endless.txt"), d.Target, options));
        REQUIRE(PumpUntil([&] { return !d.Get.Busy(); }));
        CHECK(d.Kinds().back() == 'E');
        CHECK(d.Get.LastResult().Outcome == sk::TDownloadOutcome::TooLarge);
        CHECK(d.Get.LastResult().Bytes <= 100000u + 65536u);
        CHECK(ReadAll(d.Target) == kOldList);
        CHECK(d.Leftovers().empty());
    }
    SUBCASE("the check turns a body down before it replaces the file") {
        TDownload d;
        sk::TDownloadOptions options;
        std::wstring checked;
        options.CheckBody = [&](const std::wstring& file) {
            checked = file;
            return ReadAll(file).find("a.example") != std::string::npos ? std::wstring(L"not this one") : std::wstring();
        };
        REQUIRE(d.Get.DownloadFile(server.Url("/ok.txt"), d.Target, options));
        REQUIRE(PumpUntil([&] { return !d.Get.Busy(); }));
        CHECK(d.Kinds() == "PE");
        CHECK(d.Events.back().Code == sk::kHttpGetRefused);
        CHECK(d.Get.LastResult().Reason() == L"not this one");
        CHECK(checked != d.Target);
        CHECK(ReadAll(d.Target) == kOldList);
        CHECK(d.Leftovers().empty());
    }
    SUBCASE("a chunked body is complete at its end mark when the caller accepts that") {
        for (const bool accept : {false, true}) {
            CAPTURE(accept);
            TDownload d;
            sk::TDownloadOptions options;
            options.AcceptChunked = accept;
            REQUIRE(d.Get.DownloadFile(server.Url("/chunked.txt"), d.Target, options));
            REQUIRE(PumpUntil([&] { return !d.Get.Busy(); }));
            CHECK(d.Get.LastResult().Chunked);
            CHECK(d.Kinds().back() == (accept ? 'C' : 'E'));
            CHECK(ReadAll(d.Target) == (accept ? std::string("hello world") : kOldList));
        }
    }
    SUBCASE("a length beyond 4 GiB does not wrap around") {
        TDownload d;
        d.Run(server.Url("/huge.txt"));
        REQUIRE(d.Kinds() == "PE");
        CHECK(d.Events[0].Total == 5000000000ull);
        CHECK(d.Events[0].Current == 10u);
        CHECK(d.Events[1].Code == sk::kHttpGetSizeMismatch);
        CHECK(d.Get.LastResult().TotalSize == 5000000000ull);
        CHECK(ReadAll(d.Target) == kOldList);

        TDownload capped;
        sk::TDownloadOptions options;
        options.MaxBytes = 64ull * 1024 * 1024;
        REQUIRE(capped.Get.DownloadFile(server.Url("/huge.txt"), capped.Target, options));
        REQUIRE(PumpUntil([&] { return !capped.Get.Busy(); }));
        CHECK(capped.Kinds() == "E");
        CHECK(capped.Get.LastResult().Outcome == sk::TDownloadOutcome::TooLarge);
    }
    server.Release();
}

TEST_CASE("the deadline: a server that trickles or hangs ends the download on time") {
    THttpTestServer server;
    TScript trickle;
    trickle.Send(ResponseHead(200, 100));
    for (int i = 0; i < 100; ++i) trickle.Send("x").Pause(20000);  // one byte every 20 s
    server.On("/trickle.txt", trickle);
    server.On("/silent.txt", TScript().Hang());
    TScript steady;  // slow but steady: 8 KB over about 1.6 s, 5 KB a second
    steady.Send(ResponseHead(200, 8 * 1024));
    for (int i = 0; i < 8; ++i) steady.Send(Filler(1024)).Pause(200);
    server.On("/steady.txt", steady);

    for (const char* path : {"/trickle.txt", "/silent.txt"}) {
        CAPTURE(path);
        TDownload d;
        d.Get.TimeoutMs = 30000;
        sk::TDownloadOptions options;
        options.DeadlineMs = 1500;
        const ULONGLONG start = ::GetTickCount64();
        REQUIRE(d.Get.DownloadFile(server.Url(path), d.Target, options));
        REQUIRE(PumpUntil([&] { return !d.Get.Busy(); }, 10000));
        const ULONGLONG took = ::GetTickCount64() - start;
        CHECK(took >= 1400);
        CHECK(took < 4000);
        REQUIRE_FALSE(d.Events.empty());
        CHECK(d.Events.back().Kind == 'E');
        CHECK(d.Events.back().Code == static_cast<uint32_t>(ERROR_INTERNET_TIMEOUT));
        CHECK(d.Get.LastResult().Outcome == sk::TDownloadOutcome::TimedOut);
        CHECK(d.Get.LastResult().Reason() == IDS_IESECURITY_ReasonTimeout);
        CHECK(ReadAll(d.Target) == kOldList);
        // Nothing more arrives from the worker it gave up on.
        const std::string kinds = d.Kinds();
        PumpUntil([] { return false; }, 300);
        CHECK(d.Kinds() == kinds);
    }
    SUBCASE("a slow but steady body goes on past the deadline") {
        TDownload d;
        sk::TDownloadOptions options;
        options.DeadlineMs = 500;
        options.MinBytesPerSecond = 1024;
        REQUIRE(d.Get.DownloadFile(server.Url("/steady.txt"), d.Target, options));
        REQUIRE(PumpUntil([&] { return !d.Get.Busy(); }, 10000));
        CHECK(d.Kinds().back() == 'C');
        CHECK(ReadAll(d.Target).size() == 8 * 1024u);
    }
    server.Release();
}

TEST_CASE("Stop and destruction return within seconds while a network call blocks") {
    THttpTestServer server;
    server.On("/hang.txt", TScript().Send(ResponseHead(200, 100) + "x").Hang());
    SUBCASE("Stop") {
        TDownload d;
        d.Get.TimeoutMs = 30000;
        REQUIRE(d.Get.DownloadFile(server.Url("/hang.txt"), d.Target));
        REQUIRE(PumpUntil([&] { return !d.Events.empty(); }));
        const ULONGLONG start = ::GetTickCount64();
        d.Get.Stop(true);
        CHECK(::GetTickCount64() - start < 4000);
        CHECK_FALSE(d.Get.Busy());
        CHECK(d.Kinds() == "PS");
        // A new download may start at once.
        server.On("/ok.txt", Answer(200, "fine"));
        d.Events.clear();
        d.Run(server.Url("/ok.txt"));
        CHECK(d.Kinds() == "PC");
        // The worker it left ends when its call returns, and takes its unfinished file with it.
        server.Release();
        CHECK(PumpUntil([&] { return d.Leftovers().empty(); }, 10000));
        CHECK(d.Kinds() == "PC");
    }
    SUBCASE("destruction") {
        TTempDir dir;
        const ULONGLONG start = ::GetTickCount64();
        {
            TKivHttpGet get;
            get.TimeoutMs = 30000;
            int events = 0;
            get.OnProcess = [&](TKivHttpGet*, int, const std::wstring&, const std::wstring&, uint64_t, uint64_t,
                                uint32_t) { ++events; };
            REQUIRE(get.DownloadFile(server.Url("/hang.txt"), dir / L"hosts.txt"));
            PumpUntil([&] { return events > 0; });
        }
        CHECK(::GetTickCount64() - start < 5000);
        server.Release();
        CHECK(PumpUntil([&] { return FilesStartingWith(dir.Path(), L"~sk").empty(); }, 10000));
    }
}
