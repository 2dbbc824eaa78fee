// The downloader against our own server on 127.0.0.1. Its events reach the test thread only while
// that thread pumps messages, as they reach the window thread in the program.
#include <optional>

#include "HttpTestServer.h"
#include "MessageBoxRecorder.h"
#include "SecurityTestSupport.h"
#include "TestSupport.h"
#include "base/Errors.h"
#include "base/Paths.h"
#include "security/KivHttpGet.h"

using namespace sktest;
using sk::TKivHttpGet;

namespace {

const std::string kOldList = "# 2010-09-07\r\n127.0.0.1 old.example\r\n";

struct TEvent {
    char Kind = 0;  // 'P' progress, 'C' completed, 'E' error, 'S' stopped
    uint32_t Current = 0, Total = 0, Speed = 0, Code = 0;
    int Size = 0;
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
                               uint32_t current, uint32_t total, uint32_t speed) {
            CHECK(sender == &Get);
            CHECK(index == 0);
            Events.push_back({'P', current, total, speed, 0, 0, url, local, ::GetCurrentThreadId()});
            if (OnEachProgress) OnEachProgress();
        };
        Get.OnFileCompleted = [this](TKivHttpGet* sender, int index, const std::wstring& url, const std::wstring& local,
                                     int size) {
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
        std::optional<std::vector<uint32_t>> progress;  // the CurrentSize of each OnProcess, when fixed
        uint32_t total;                                 // TotalSize of every OnProcess
        char end;                                       // 'C' or 'E'
        uint32_t value;                                 // FileSize, or the error code (0: a platform error)
        std::optional<std::string> content;             // the target afterwards (nullopt: the old list)
    } cases[] = {
        {"1300 bytes", Answer(200, body1300), std::vector<uint32_t>{512, 1024, 1300}, 1300, 'C', 1300, body1300},
        {"not found", Answer(404, "no such list\r\n"), std::vector<uint32_t>{}, 0, 'E', 404, std::nullopt},
        {"server error", Answer(500, "oops\r\n"), std::vector<uint32_t>{}, 0, 'E', 500, std::nullopt},
        {"no length, a body", Answer(200, Filler(700), false), std::vector<uint32_t>{512, 700}, 0, 'E', 0xFFFFFFFF,
         std::nullopt},
        {"no length, no body", Answer(200, "", false), std::vector<uint32_t>{}, 0, 'C', 0, std::string()},
        {"cut short", TScript().Send(ResponseHead(200, 2000) + body1300).Close(),
         std::vector<uint32_t>{512, 1024, 1300}, 2000, 'E', 0xFFFFFFFF, std::nullopt},
        {"closes after the head", TScript().Send(ResponseHead(200, 100)).Close(), std::vector<uint32_t>{}, 100, 'E',
         0xFFFFFFFF, std::nullopt},
        {"hangs in the body", TScript().Send(ResponseHead(200, 1300) + body1300.substr(0, 600)).Hang(), std::nullopt,
         1300, 'E', 0xFFFFFFFF, std::nullopt},
        {"hangs before answering", TScript().Hang(), std::vector<uint32_t>{}, 0, 'E', 0, std::nullopt},
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
        std::vector<uint32_t> sizes;
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
    // The pause leaves ample time for the stop to come first, and is shorter than the read limit.
    server.On("/list.txt", TScript().Send(ResponseHead(200, 1300) + Filler(1024)).Pause(800).Send(Filler(276)));
    TDownload d;
    bool stopping = false;
    int progressWhileStopping = 0;
    d.OnEachProgress = [&] { progressWhileStopping += stopping ? 1 : 0; };
    REQUIRE(d.Get.DownloadFile(server.Url("/list.txt"), d.Target));
    REQUIRE(PumpUntil([&] { return !d.Events.empty(); }));
    // Not pumping for a while leaves the worker blocked in handing over its second chunk; Stop
    // must run that hand-over while it waits, or neither thread would ever go on.
    ::Sleep(200);
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
    CHECK(d.Events[0].Current == 512);
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
            get.OnProcess = [&](TKivHttpGet*, int, const std::wstring&, const std::wstring&, uint32_t, uint32_t,
                                uint32_t) { ++events; };
            get.OnStopped = [&](TKivHttpGet*) { ++stopped; };
            get.OnFileCompleted = [&](TKivHttpGet*, int, const std::wstring&, const std::wstring&, int) { ++ends; };
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
    d.Get.OnFileCompleted = [&](TKivHttpGet*, int, const std::wstring&, const std::wstring&, int) {
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
