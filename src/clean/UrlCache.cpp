#include "clean/UrlCache.h"

#include <windows.h>
#include <wininet.h>

#include <vector>

#include "base/Handles.h"

namespace sk {

namespace {

struct TUrlCacheFindTraits {
    using Handle = HANDLE;
    static Handle Invalid() { return nullptr; }
    static bool IsValid(Handle h) { return h != nullptr; }
    static void Close(Handle h) { ::FindCloseUrlCache(h); }
};
using TUrlCacheFind = TScopedHandle<TUrlCacheFindTraits>;

// INTERNET_CACHE_ENTRY_INFOW records hold pointers into themselves: keep the buffer pointer-aligned.
class TEntryBuffer {
public:
    INTERNET_CACHE_ENTRY_INFOW* Get(DWORD size) {
        FWords.resize((size + sizeof(uint64_t) - 1) / sizeof(uint64_t) + 1);
        return reinterpret_cast<INTERNET_CACHE_ENTRY_INFOW*>(FWords.data());
    }

private:
    std::vector<uint64_t> FWords;
};

void ReadEntry(const INTERNET_CACHE_ENTRY_INFOW& info, TUrlCacheEntry& entry) {
    entry.SourceUrlName = info.lpszSourceUrlName ? info.lpszSourceUrlName : L"";
    entry.Size = (static_cast<uint64_t>(info.dwSizeHigh) << 32) | info.dwSizeLow;
}

class TWinInetEnumeration final : public TUrlCacheEnumeration {
public:
    explicit TWinInetEnumeration(TUrlCacheFind find) : FFind(std::move(find)) {}

    TUrlCacheStep Next(TUrlCacheEntry& entry) override {
        DWORD size = 0;
        if (::FindNextUrlCacheEntryW(FFind.Get(), nullptr, &size)) return TUrlCacheStep::Again;
        const DWORD error = ::GetLastError();
        if (error == ERROR_NO_MORE_ITEMS) return TUrlCacheStep::End;
        if (error != ERROR_INSUFFICIENT_BUFFER) return TUrlCacheStep::Again;
        INTERNET_CACHE_ENTRY_INFOW* info = FBuffer.Get(size);
        if (!::FindNextUrlCacheEntryW(FFind.Get(), info, &size)) return TUrlCacheStep::Again;
        ReadEntry(*info, entry);
        return TUrlCacheStep::Entry;
    }

private:
    TUrlCacheFind FFind;
    TEntryBuffer FBuffer;
};

class TWinInetUrlCache final : public TUrlCache {
public:
    std::unique_ptr<TUrlCacheEnumeration> FindFirst(TUrlCacheEntry& first) override {
        DWORD size = 0;
        // Without a buffer no enumeration should open; should one open anyway, it is closed here.
        TUrlCacheFind probe(::FindFirstUrlCacheEntryW(nullptr, nullptr, &size));
        if (probe || ::GetLastError() != ERROR_INSUFFICIENT_BUFFER) return nullptr;
        TEntryBuffer buffer;
        INTERNET_CACHE_ENTRY_INFOW* info = buffer.Get(size);
        TUrlCacheFind find(::FindFirstUrlCacheEntryW(nullptr, info, &size));
        if (!find) return nullptr;
        ReadEntry(*info, first);
        return std::make_unique<TWinInetEnumeration>(std::move(find));
    }

    bool DeleteEntry(const std::wstring& sourceUrlName) override {
        return ::DeleteUrlCacheEntryW(sourceUrlName.c_str()) != FALSE;
    }
};

}  // namespace

TUrlCache& WinInetUrlCache() {
    static TWinInetUrlCache cache;
    return cache;
}

}  // namespace sk
