// The cleaner's folder walk against a bare FindFirstFileW walk of the same generated tree of 20,000
// files, and the longest time the window's messages wait during the engine's scan.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "CleanBenchSupport.h"
#include "base/Handles.h"
#include "base/MessagePump.h"
#include "clean/IECleaner.h"

namespace {

using skbench::RemoveTree;
using skbench::TGapPump;

constexpr int kRuns = 5;

std::wstring MakeTree() {
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    const std::wstring root =
        std::wstring(temp) + L"sk-clean-bench-" + std::to_wstring(::GetCurrentProcessId()) + L"\\";
    skbench::MakeCacheTree(root);
    return root;
}

// The least a walk can do: list, recurse, add up sizes.
void BareWalk(const std::wstring& folder, int& files, uint64_t& bytes) {
    WIN32_FIND_DATAW fd;
    sk::TFindHandle find(::FindFirstFileW((folder + L"*.*").c_str(), &fd));
    if (!find) return;
    do {
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (fd.cFileName[0] == L'.' && (!fd.cFileName[1] || (fd.cFileName[1] == L'.' && !fd.cFileName[2])))
                continue;
            BareWalk(folder + fd.cFileName + L"\\", files, bytes);
        } else {
            ++files;
            bytes += (static_cast<uint64_t>(fd.nFileSizeHigh) << 32) | fd.nFileSizeLow;
        }
    } while (::FindNextFileW(find.Get(), &fd));
}

}  // namespace

int main() {
    const std::wstring root = MakeTree();
    sk::TFixedCleanLocations locations(root, L"", L"");
    TGapPump pump;
    sk::TIECleanerPlatform platform;
    platform.Locations = &locations;
    platform.Pump = &pump;
    sk::TIECleaner cleaner(platform);

    int engineFiles = 0;
    int bareFiles = 0;
    std::vector<double> ratios;
    std::vector<double> gaps;
    for (int run = 0; run < kRuns; ++run) {
        uint64_t bytes = 0;
        const double bare = skbench::MedianMs(1, [&] {
            bareFiles = 0;
            BareWalk(root, bareFiles, bytes);
        });
        const double engine = skbench::MedianMs(1, [&] {
            pump.Start();
            cleaner.Scan({sk::IECleanTempFiles}, [&](int, int, const std::wstring&, const std::wstring&, uint64_t,
                                                     int32_t count) { engineFiles = count; });
            pump.Stop();
        });
        ratios.push_back(engine / bare);
        gaps.push_back(pump.MaxGapMs);
    }
    RemoveTree(root);
    if (engineFiles != skbench::kCacheFolders * skbench::kCacheFilesPerFolder || bareFiles != engineFiles) {
        std::fprintf(stderr, "walks disagree: engine %d, bare %d files\n", engineFiles, bareFiles);
        return 1;
    }
    skbench::Report("clean-engine-scan-ratio", skbench::Median(ratios), "", "<= 3");
    skbench::Report("clean-max-pump-gap-ms", *std::max_element(gaps.begin(), gaps.end()), "ms", "< 100");
    return 0;
}
