// A 5 MB download from our loopback server through the downloader, against a bare WinInet read
// loop with 64 KiB reads into a file, the way curl fetches a file, in the same run. The
// downloader reads blocks of up to 64 KiB and hands progress to the window thread about ten times
// a second.
#include <winsock2.h>
#include <windows.h>
#include <wininet.h>

#include <string>

#include "BenchSupport.h"
#include "HttpTestServer.h"
#include "PumpUntil.h"
#include "base/InternetHandles.h"
#include "security/KivHttpGet.h"

namespace {

constexpr size_t kSize = 5 * 1024 * 1024;
constexpr int kRuns = 3;

bool BareFetch(const sktest::THttpTestServer& server, const std::wstring& file) {
    const sk::TInternetHandle internet(::InternetOpenW(L"bench", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    const sk::TInternetHandle connection(
        ::InternetConnectW(internet.Get(), L"127.0.0.1", server.Port(), nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
    const sk::TInternetHandle request(
        ::HttpOpenRequestW(connection.Get(), L"GET", L"/big.bin", nullptr, nullptr, nullptr, INTERNET_FLAG_RELOAD, 0));
    if (!::HttpSendRequestW(request.Get(), nullptr, 0, nullptr, 0)) return false;
    sk::THandle out(::CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    std::string buffer(64 * 1024, '\0');
    size_t total = 0;
    for (;;) {
        DWORD read = 0;
        if (!::InternetReadFile(request.Get(), buffer.data(), static_cast<DWORD>(buffer.size()), &read) || read == 0)
            break;
        DWORD written = 0;
        ::WriteFile(out.Get(), buffer.data(), read, &written, nullptr);
        total += read;
    }
    return total == kSize;
}

}  // namespace

int main() {
    sktest::THttpTestServer server;
    server.On("/big.bin", sktest::Answer(200, sktest::Filler(kSize)));
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    const std::wstring target = std::wstring(temp) + L"sk-bench-download-" + std::to_wstring(::GetCurrentProcessId());
    const std::wstring bare = target + L"-bare";

    bool ok = true;
    const double bareMs = skbench::MedianMs(kRuns, [&] { ok = BareFetch(server, bare) && ok; });

    sk::TKivHttpGet get;
    bool completed = false;
    get.OnProcess = [](sk::TKivHttpGet*, int, const std::wstring&, const std::wstring&, uint64_t, uint64_t, uint32_t) {
    };
    get.OnFileCompleted = [&](sk::TKivHttpGet*, int, const std::wstring&, const std::wstring&, int64_t size) {
        completed = size == static_cast<int>(kSize);
    };
    const double getMs = skbench::MedianMs(kRuns, [&] {
        completed = false;
        get.DownloadFile(server.Url("/big.bin"), target);
        sktest::PumpUntil([&] { return !get.Busy(); }, 600000);
        ok = completed && ok;
    });
    ::DeleteFileW(target.c_str());
    ::DeleteFileW(bare.c_str());

    skbench::Report("download-bare-wininet", bareMs, "ms", "");
    skbench::Report("download-kivhttpget", getMs, "ms", "");
    skbench::Report("download-vs-curl-ratio", getMs / bareMs, "", "<= 3");
    return ok ? 0 : 1;
}
