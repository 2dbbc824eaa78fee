// The cleaner's folder walk against a bare FindFirstFileW walk of the same generated tree of 20,000
// files, and the longest time the window's messages wait during the engine's scan.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "app/Handles.h"
#include "app/MessagePump.h"
#include "clean/IECleaner.h"

namespace {

constexpr int kFolders = 20;
constexpr int kFilesPerFolder = 1000;
constexpr int kRuns = 5;

// Lets the real queue run and notes the longest time between two pumps (and from the start and
// to the end of the operation).
class TGapPump final : public sk::TMessagePump {
public:
    void Start() { FLast = skbench::NowMs(); }
    void Stop() { Note(); }
    void Pump() override {
        sk::WindowsMessagePump().Pump();
        Note();
    }
    double MaxGapMs = 0;

private:
    void Note() {
        const double now = skbench::NowMs();
        MaxGapMs = std::max(MaxGapMs, now - FLast);
        FLast = now;
    }
    double FLast = 0;
};

std::wstring MakeTree() {
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    const std::wstring root =
        std::wstring(temp) + L"sk-clean-bench-" + std::to_wstring(::GetCurrentProcessId()) + L"\\";
    ::CreateDirectoryW(root.c_str(), nullptr);
    ::CreateDirectoryW((root + L"Content.IE5").c_str(), nullptr);
    const char data[64] = "cached content";
    for (int d = 0; d < kFolders; ++d) {
        const std::wstring folder = root + L"Content.IE5\\F" + std::to_wstring(d) + L"\\";
        ::CreateDirectoryW(folder.c_str(), nullptr);
        for (int i = 0; i < kFilesPerFolder; ++i) {
            const std::wstring file = folder + L"page" + std::to_wstring(i) + L"[1].htm";
            sk::THandle h(::CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
            DWORD written = 0;
            ::WriteFile(h.Get(), data, static_cast<DWORD>(1 + i % sizeof(data)), &written, nullptr);
        }
    }
    return root;
}

void RemoveTree(const std::wstring& folder) {
    WIN32_FIND_DATAW fd;
    {
        sk::TFindHandle find(::FindFirstFileW((folder + L"*").c_str(), &fd));
        if (find) {
            do {
                const std::wstring name = fd.cFileName;
                if (name == L"." || name == L"..") continue;
                if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                    RemoveTree(folder + name + L"\\");
                else
                    ::DeleteFileW((folder + name).c_str());
            } while (::FindNextFileW(find.Get(), &fd));
        }
    }
    ::RemoveDirectoryW(folder.c_str());
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
        pump.MaxGapMs = 0;
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
    if (engineFiles != kFolders * kFilesPerFolder || bareFiles != engineFiles) {
        std::fprintf(stderr, "walks disagree: engine %d, bare %d files\n", engineFiles, bareFiles);
        return 1;
    }
    skbench::Report("clean-engine-scan-ratio", skbench::Median(ratios), "", "<= 3");
    skbench::Report("clean-max-pump-gap-ms", *std::max_element(gaps.begin(), gaps.end()), "ms", "< 100");
    return 0;
}
