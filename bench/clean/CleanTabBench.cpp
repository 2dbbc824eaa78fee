// The Cleaning tab in the real main window: its scan of a generated tree of 20,000 files against a
// bare FindFirstFileW walk of the same tree, its clean against a bare walk that deletes every file,
// its clean of exactly the ticked items (every hundredth unticked in the tree, so the clean goes item
// by item) against the bare deleting walk, and the longest time the window's messages wait during
// the tab's scans and item-by-item cleans.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "CleanBenchSupport.h"
#include "base/Handles.h"
#include "base/MessagePump.h"
#include "base/ProfileFile.h"
#include "base/Settings.h"
#include "base/StringTable.h"
#include "app/FormSurfkeep.h"
#include "clean/ui/CleanTab.h"
#include "registry/RegistryStore.h"
#include "repair/ui/RepairTab.h"

namespace {

using skbench::MakeCacheTree;
using skbench::RemoveTree;
using skbench::TGapPump;

constexpr int kRuns = 3;

bool IsDots(const wchar_t* name) { return name[0] == L'.' && (!name[1] || (name[1] == L'.' && !name[2])); }

// The least a walk can do: list, recurse, add up sizes.
void BareWalk(const std::wstring& folder, int& files, uint64_t& bytes) {
    WIN32_FIND_DATAW fd;
    sk::TFindHandle find(::FindFirstFileW((folder + L"*.*").c_str(), &fd));
    if (!find) return;
    do {
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (!IsDots(fd.cFileName)) BareWalk(folder + fd.cFileName + L"\\", files, bytes);
        } else {
            ++files;
            bytes += (static_cast<uint64_t>(fd.nFileSizeHigh) << 32) | fd.nFileSizeLow;
        }
    } while (::FindNextFileW(find.Get(), &fd));
}

// The least a deleting walk can do: list, recurse, delete.
void BareDelete(const std::wstring& folder, int& files) {
    WIN32_FIND_DATAW fd;
    sk::TFindHandle find(::FindFirstFileW((folder + L"*.*").c_str(), &fd));
    if (!find) return;
    do {
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (!IsDots(fd.cFileName)) BareDelete(folder + fd.cFileName + L"\\", files);
        } else if (::DeleteFileW((folder + fd.cFileName).c_str())) {
            ++files;
        }
    } while (::FindNextFileW(find.Get(), &fd));
}

// Unticks every hundredth item of the tree, as the user's clicks do, and returns their texts.
std::vector<std::wstring> UntickEveryHundredth(sk::TCleanTab& tab) {
    std::vector<std::wstring> unticked;
    for (sk::TCheckNode* category : tab.tvIEClean.TopLevel())
        for (size_t i = 0; i < category->Children.size(); i += 100) {
            sk::TCheckNode& item = *category->Children[i];
            if (tab.tvIEClean.SetCheckState(item, sk::csUnchecked)) unticked.push_back(item.Text);
        }
    return unticked;
}

bool AllExist(const std::vector<std::wstring>& files) {
    for (const std::wstring& file : files)
        if (::GetFileAttributesW(file.c_str()) == INVALID_FILE_ATTRIBUTES) return false;
    return true;
}

size_t ItemsInTree(sk::TCleanTab& tab) {
    size_t n = 0;
    for (const sk::TCheckNode* category : tab.tvIEClean.TopLevel())
        n += category->Children.size();
    return n;
}

}  // namespace

int main() {
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    const std::wstring root =
        std::wstring(temp) + L"sk-cleantab-bench-" + std::to_wstring(::GetCurrentProcessId()) + L"\\";
    const std::wstring cache = root + L"cache\\";
    const std::wstring bare = root + L"bare\\";
    ::CreateDirectoryW(root.c_str(), nullptr);

    // The program's files in the scratch folder; only temporary files are chosen.
    sk::ResetStringTable();
    sk::LoadSettingsFor(root + L"surfkeep.exe");
    const sk::TProfileFile settings(sk::ConfigFileName);
    const bool chosen[4] = {true, false, false, false};
    for (size_t i = 0; i < 4; ++i)
        settings.WriteBool(sk::kSettingsSection, sk::IECleanSettingsKeys[i], chosen[i]);

    MakeCacheTree(cache);
    sk::TFixedCleanLocations locations(cache, L"", L"");
    TGapPump pump;
    sk::TIECleanerPlatform platform;
    platform.Locations = &locations;
    platform.Pump = &pump;
    sk::TIECleaner cleaner(platform);

    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES | ICC_TAB_CLASSES};
    ::InitCommonControlsEx(&icc);
    sk::TMemoryRegistryBackend repairRegistry;
    sk::TfrmSurfkeepArgs args;
    args.RepairTab = std::make_unique<sk::TRepairTab>(repairRegistry);
    auto owned = std::make_unique<sk::TCleanTab>(cleaner);
    sk::TCleanTab& tab = *owned;
    args.Others.push_back(std::move(owned));
    sk::TfrmSurfkeep form(std::move(args));
    if (!form.Create()) {
        std::fprintf(stderr, "the window cannot be made (no display?)\n");
        return 1;
    }
    form.Show();
    form.pgcMain().Select(1);
    pump.Pump();

    std::vector<double> scanRatios, deleteRatios, exactRatios, gaps;
    bool ok = true;
    for (int run = 0; run < kRuns && ok; ++run) {
        if (run > 0) MakeCacheTree(cache);
        MakeCacheTree(bare);

        int bareFiles = 0;
        uint64_t bareBytes = 0;
        const double bareScan = skbench::MedianMs(1, [&] { BareWalk(bare, bareFiles, bareBytes); });
        const double tabScan = skbench::MedianMs(1, [&] {
            pump.Start();
            tab.actIEClean_Scan.Execute();
            pump.Stop();
        });
        gaps.push_back(pump.MaxGapMs);
        const size_t found = ItemsInTree(tab);

        // The two cleans take turns at going first: the file system's own state after thousands of
        // deletions must not count against one of them.
        int bareDeleted = 0;
        double bareClean = 0, tabClean = 0;
        const auto runBare = [&] { bareClean = skbench::MedianMs(1, [&] { BareDelete(bare, bareDeleted); }); };
        const auto runTab = [&] {
            pump.Start();
            tabClean = skbench::MedianMs(1, [&] { tab.actIEClean_Clean.Execute(); });
            pump.Stop();
        };
        const double scanGap = pump.MaxGapMs;
        if (run % 2 == 0) {
            runBare();
            runTab();
        } else {
            runTab();
            runBare();
        }
        int left = 0;
        uint64_t leftBytes = 0;
        BareWalk(cache, left, leftBytes);

        const int expected = skbench::kCacheFolders * skbench::kCacheFilesPerFolder;
        if (bareFiles != expected || found != static_cast<size_t>(expected) || bareDeleted != expected || left != 0 ||
            tab.CleanBusy) {
            std::fprintf(stderr, "walks disagree: bare %d, tab found %zu, bare deleted %d, tab left %d\n", bareFiles,
                         found, bareDeleted, left);
            ok = false;
        }
        scanRatios.push_back(tabScan / bareScan);
        deleteRatios.push_back(tabClean / bareClean);
        std::fprintf(stderr, "run %d: scan %.1f ms (bare %.1f, gap %.1f ms), clean %.1f ms (bare %.1f, gap %.1f ms)\n",
                     run, tabScan, bareScan, scanGap, tabClean, bareClean, pump.MaxGapMs);

        // Item by item: the selection is taken from the tree, then each ticked file goes on its own.
        MakeCacheTree(cache);
        MakeCacheTree(bare);
        tab.actIEClean_Scan.Execute();
        const std::vector<std::wstring> unticked = UntickEveryHundredth(tab);
        int bareExact = 0;
        double exactClean = 0, bareExactClean = 0;
        const auto runExactBare = [&] {
            bareExactClean = skbench::MedianMs(1, [&] { BareDelete(bare, bareExact); });
        };
        const auto runExactTab = [&] {
            pump.Start();
            exactClean = skbench::MedianMs(1, [&] { tab.actIEClean_Clean.Execute(); });
            pump.Stop();
        };
        if (run % 2 == 0) {
            runExactBare();
            runExactTab();
        } else {
            runExactTab();
            runExactBare();
        }
        gaps.push_back(pump.MaxGapMs);
        int exactLeft = 0;
        uint64_t exactLeftBytes = 0;
        BareWalk(cache, exactLeft, exactLeftBytes);
        if (unticked.size() != static_cast<size_t>(expected / 100) || exactLeft != static_cast<int>(unticked.size()) ||
            !AllExist(unticked) || bareExact != expected || tab.CleanBusy) {
            std::fprintf(stderr, "item-by-item clean: %zu unticked, %d left, bare deleted %d\n", unticked.size(),
                         exactLeft, bareExact);
            ok = false;
        }
        exactRatios.push_back(exactClean / bareExactClean);
        std::fprintf(stderr, "run %d: item-by-item clean %.1f ms (bare %.1f, gap %.1f ms)\n", run, exactClean,
                     bareExactClean, pump.MaxGapMs);
        // What is left goes before the next run.
        RemoveTree(cache);
    }
    RemoveTree(root);
    if (!ok) return 1;
    skbench::Report("clean-scan-ratio", skbench::Median(scanRatios), "", "<= 3");
    skbench::Report("clean-delete-ratio", skbench::Median(deleteRatios), "", "<= 3");
    skbench::Report("clean-tab-20k-exact-ratio", skbench::Median(exactRatios), "", "<= 3");
    skbench::Report("clean-tab-max-pump-gap-ms", *std::max_element(gaps.begin(), gaps.end()), "ms", "< 100");
    return 0;
}
