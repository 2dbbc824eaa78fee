// What the cleaning benchmarks share: the generated cache tree of 20,000 small files, its removal,
// and a pump that notes the longest wait of the window's messages.
#pragma once

#include <windows.h>

#include <algorithm>
#include <string>

#include "BenchSupport.h"
#include "base/Handles.h"
#include "base/MessagePump.h"

namespace skbench {

constexpr int kCacheFolders = 20;
constexpr int kCacheFilesPerFolder = 1000;

// root\Content.IE5\F<n>\page<i>[1].htm, with sizes of 1 to 64 bytes.
inline void MakeCacheTree(const std::wstring& root) {
    ::CreateDirectoryW(root.c_str(), nullptr);
    ::CreateDirectoryW((root + L"Content.IE5").c_str(), nullptr);
    const char data[64] = "cached content";
    for (int d = 0; d < kCacheFolders; ++d) {
        const std::wstring folder = root + L"Content.IE5\\F" + std::to_wstring(d) + L"\\";
        ::CreateDirectoryW(folder.c_str(), nullptr);
        for (int i = 0; i < kCacheFilesPerFolder; ++i) {
            const std::wstring file = folder + L"page" + std::to_wstring(i) + L"[1].htm";
            sk::THandle h(::CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
            DWORD written = 0;
            ::WriteFile(h.Get(), data, static_cast<DWORD>(1 + i % sizeof(data)), &written, nullptr);
        }
    }
}

// Lets the real queue run and notes the longest time between two pumps (and from the start and to
// the end of the operation).
class TGapPump final : public sk::TMessagePump {
public:
    void Start() {
        MaxGapMs = 0;
        FLast = NowMs();
    }
    void Stop() { Note(); }
    void Pump() override {
        sk::WindowsMessagePump().Pump();
        Note();
    }
    double MaxGapMs = 0;

private:
    void Note() {
        const double now = NowMs();
        MaxGapMs = std::max(MaxGapMs, now - FLast);
        FLast = now;
    }
    double FLast = 0;
};

}  // namespace skbench
