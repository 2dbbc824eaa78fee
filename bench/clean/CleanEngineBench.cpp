// The cleaner's folder walk against a bare FindFirstFileW walk of the same generated tree of 20,000
// files, the longest time the window's messages wait during the engine's scan, and a clean of
// exactly the ticked items (all but 1 % of the 20,000) against a bare delete walk of the same tree.
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

// The least a deleting walk can do: list, recurse, delete.
void BareDeleteWalk(const std::wstring& folder, int& files) {
    WIN32_FIND_DATAW fd;
    sk::TFindHandle find(::FindFirstFileW((folder + L"*.*").c_str(), &fd));
    if (!find) return;
    do {
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (fd.cFileName[0] == L'.' && (!fd.cFileName[1] || (fd.cFileName[1] == L'.' && !fd.cFileName[2])))
                continue;
            BareDeleteWalk(folder + fd.cFileName + L"\\", files);
        } else if (::DeleteFileW((folder + fd.cFileName).c_str())) {
            ++files;
        }
    } while (::FindNextFileW(find.Get(), &fd));
}

// Per-item clean of all but every hundredth file, against the bare delete walk; both on a fresh tree.
bool ExactCleanRatio(double& ratio) {
    constexpr int kExactRuns = 3;
    std::vector<double> ratios;
    for (int run = 0; run < kExactRuns; ++run) {
        const std::wstring root = MakeTree();
        sk::TFixedCleanLocations locations(root, L"", L"");
        TGapPump pump;
        sk::TIECleanerPlatform platform;
        platform.Locations = &locations;
        platform.Pump = &pump;
        sk::TIECleaner cleaner(platform);
        cleaner.Scan({sk::IECleanTempFiles}, {});
        sk::TIECleanSelection selection;
        selection.Items.reserve(cleaner.FoundItems.size());
        for (size_t i = 0; i < cleaner.FoundItems.size(); ++i)
            if (i % 100 != 0) selection.Items.push_back(cleaner.FoundItems[i]);
        int32_t cleaned = 0;
        const double exact = skbench::MedianMs(1, [&] {
            cleaner.Clean(selection, [&](const std::wstring&, uint64_t, int32_t count) { cleaned = count; });
        });
        RemoveTree(root);
        if (static_cast<size_t>(cleaned) != selection.Items.size()) {
            std::fprintf(stderr, "exact clean removed %d of %zu files\n", cleaned, selection.Items.size());
            return false;
        }
        const std::wstring bareRoot = MakeTree();
        int bareFiles = 0;
        const double bare = skbench::MedianMs(1, [&] { BareDeleteWalk(bareRoot, bareFiles); });
        RemoveTree(bareRoot);
        ratios.push_back(exact / bare);
    }
    ratio = skbench::Median(ratios);
    return true;
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
    double exactRatio = 0;
    if (!ExactCleanRatio(exactRatio)) return 1;
    skbench::Report("clean-20k-exact-ratio", exactRatio, "", "<= 3");
    return 0;
}
