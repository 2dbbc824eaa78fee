// The hosts-file manager on a list of 250,000 entries in the public "unified" format, each figure
// against a plain copy or read of the same file in the same run. Turn on is timed as the user
// meets it: from the shield off, the user's own hosts file edited since the last time (so a dated
// backup is made), every list line checked, the header lines commented out, the user's entries
// carried over.
#include <windows.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "BenchSupport.h"
#include "HostsBenchSupport.h"
#include "base/Handles.h"
#include "security/IESecurityFuncs.h"

namespace {

constexpr int kEntries = skbench::kHostsEntries;
constexpr int kRuns = 11;

// The plain read: the whole file into memory in one go, as a program that reads a text file does.
size_t PlainRead(const std::wstring& file) {
    sk::THandle h(::CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    LARGE_INTEGER size{};
    ::GetFileSizeEx(h.Get(), &size);
    std::string bytes(static_cast<size_t>(size.QuadPart), '\0');
    DWORD read = 0;
    ::ReadFile(h.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
    return read;
}

// The leanest read: 64 KiB at a time into one buffer.
size_t ChunkedRead(const std::wstring& file) {
    static std::string buffer(64 * 1024, '\0');
    sk::THandle h(::CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    size_t total = 0;
    DWORD read = 0;
    while (::ReadFile(h.Get(), buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr) && read) total += read;
    return total;
}

// The write protocol TurnOn follows, without looking at a single line: copy beside the target,
// flush to disk, swap in.
void SafeCopy(const std::wstring& from, const std::wstring& to) {
    const std::wstring temp = to + L".tmp";
    ::CopyFileW(from.c_str(), temp.c_str(), FALSE);
    {
        sk::THandle h(::CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        ::FlushFileBuffers(h.Get());
    }
    if (!::ReplaceFileW(to.c_str(), temp.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr))
        ::MoveFileExW(temp.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING);
}

// Medians of two operations timed in turn, so that the machine's changing load hits both alike.
// tidy runs untimed after each run of a.
template <typename A, typename B, typename Tidy>
std::pair<double, double> MedianPair(int runs, A&& a, B&& b, Tidy&& tidy) {
    std::vector<double> ta, tb;
    for (int i = 0; i < runs; ++i) {
        double t0 = skbench::NowMs();
        a();
        ta.push_back(skbench::NowMs() - t0);
        tidy();
        t0 = skbench::NowMs();
        b();
        tb.push_back(skbench::NowMs() - t0);
    }
    return {skbench::Median(ta), skbench::Median(tb)};
}

template <typename A, typename B>
std::pair<double, double> MedianPair(int runs, A&& a, B&& b) {
    return MedianPair(runs, a, b, [] {});
}

}  // namespace

int main() {
    const std::wstring folder = skbench::MakeScratchFolder(L"sk-bench-hosts-");
    sk::TIESecurityOptions options;
    options.HostsFileName = folder + L"hosts";
    options.ListFileName = folder + L"hosts.txt";
    options.BackupFileName = folder + L"backup\\hosts";
    options.SettingsFileName = folder + L"config.ini";
    skbench::WriteUnifiedHostsList(options.ListFileName);
    {
        const std::string user = "# the user's own hosts file\r\n127.0.0.1 dev.example\r\n192.168.1.20 printer\r\n";
        sk::THandle h(::CreateFileW(options.HostsFileName.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        DWORD written = 0;
        ::WriteFile(h.Get(), user.data(), static_cast<DWORD>(user.size()), &written, nullptr);
    }
    sk::TIESecurity shield(options);  // the real message pump and resolver flush

    // Untimed between two Turn ons: off again, and the user's file edited.
    int edits = 0;
    auto offAndEdit = [&] {
        if (shield.ShieldOn) shield.TurnOff();
        shield.AddHost(L"edit" + std::to_wstring(++edits) + L".example", false);
    };
    const std::wstring copy = folder + L"copy";
    const std::wstring safeCopy = folder + L"safe-copy";
    // The copy is deleted before TurnOn runs: its unwritten pages would otherwise go to disk
    // with TurnOn's flush and be counted against it.
    const auto [copyMs, turnOnMs] = MedianPair(
        kRuns, [&] { ::CopyFileW(options.ListFileName.c_str(), copy.c_str(), FALSE); }, [&] { shield.TurnOn(); },
        [&] {
            ::DeleteFileW(copy.c_str());
            offAndEdit();
        });
    const auto [safeCopyMs, turnOnMs2] =
        MedianPair(kRuns, [&] { SafeCopy(options.ListFileName, safeCopy); }, [&] { shield.TurnOn(); }, offAndEdit);
    const bool backedUp = !shield.LastTurnOn().BackupMade.empty();

    size_t sink = 0;
    int counted = 0, listed = 0;
    auto count = [&] { counted = shield.CountHosts(); };
    auto list = [&] {
        listed = 0;
        shield.ListHosts(0, [&](const std::wstring& host) { listed += host.empty() ? 0 : 1; });
    };
    const auto [readMs, countMs] = MedianPair(
        kRuns, [&] { sink += PlainRead(options.HostsFileName); }, count);
    const auto [readMs2, listMs] = MedianPair(
        kRuns, [&] { sink += PlainRead(options.HostsFileName); }, list);
    const auto [chunkedMs, countMs2] = MedianPair(
        kRuns, [&] { sink += ChunkedRead(options.HostsFileName); }, count);
    const auto [chunkedMs2, listMs2] = MedianPair(
        kRuns, [&] { sink += ChunkedRead(options.HostsFileName); }, list);
    // The list's entries and the user's own (two, and one per edit).
    const int expected = kEntries + 2 + edits;
    if (counted != expected || listed != expected)
        std::printf("wrong result: %d counted, %d listed, %d expected\n", counted, listed, expected);
    if (!backedUp) std::printf("wrong result: Turn on made no dated backup\n");

    skbench::Report("hosts-copy", copyMs, "ms", "");
    skbench::Report("hosts-turnon", turnOnMs, "ms", "");
    skbench::Report("hosts-safe-copy", safeCopyMs, "ms", "");
    skbench::Report("hosts-read", readMs, "ms", "");
    skbench::Report("hosts-count", countMs, "ms", "");
    skbench::Report("hosts-list", listMs, "ms", "");
    skbench::Report("hosts-turnon-ratio", turnOnMs / copyMs, "", "<= 3");
    skbench::Report("hosts-count-ratio", countMs / readMs, "", "<= 3");
    skbench::Report("hosts-list-ratio", listMs / readMs2, "", "<= 3");
    // Against the same flush-and-swap protocol done by plain calls, and the leanest read.
    skbench::Report("hosts-turnon-vs-safe-copy-ratio", turnOnMs2 / safeCopyMs, "", "<= 1.5");
    skbench::Report("hosts-count-vs-chunked-read-ratio", countMs2 / chunkedMs, "", "");
    skbench::Report("hosts-list-vs-chunked-read-ratio", listMs2 / chunkedMs2, "", "");
    skbench::RemoveTree(folder);
    return sink == 0 || counted != expected || !backedUp ? 1 : 0;
}
